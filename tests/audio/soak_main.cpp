// SPDX-License-Identifier: GPL-3.0-or-later
// Long run of the sound-card engine with the generator on: gaps, level stability, CPU, memory.
//
// audio_soak [seconds] [rate] [sample-length] [device] [bits]
//   defaults: 600 s, 192000 Hz, 64, "pulse", 16
// Plays the coherent sine on the device and captures it back (a loop such as a null sink and
// its monitor), cutting each captured block into sample-length pieces as the measurement
// pipeline does. Prints a progress line every 30 s and a summary; exit code 1 if the device
// was lost or a block error occurred.
#include "audio/MmeStrm.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>

namespace {

// A main-thread dispatcher that sleeps until work arrives.
class WaitingDispatcher final : public IMainThreadDispatcher {
public:
    void Post(std::function<void()> task) override {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
    }

    // Runs tasks until `until`; returns when it passes.
    void RunUntil(std::chrono::steady_clock::time_point until) {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex_);
                if (!ready_.wait_until(lock, until, [this] { return !tasks_.empty(); }))
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::function<void()>> tasks_;
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4; // 4 KiB pages
}

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 192000;
    const int sampleLength = argc > 3 ? std::atoi(argv[3]) : 64;
    const std::string device = argc > 4 ? argv[4] : "pulse";
    const int bits = argc > 5 ? std::atoi(argv[5]) : 16;
    const int block = std::max(sampleLength, 2048);
    const int exponent = 6; // tone period 64 samples: rate / 64 Hz, coherent with every piece

    WaitingDispatcher dispatcher;
    auto devices = std::make_shared<const std::vector<TPcmDevice>>(
        std::vector<TPcmDevice>{{device, device, true, true}});
    TMmeAudioStream engine(devices, &dispatcher);
    engine.Directions = ddBoth;
    engine.BufferCount = 3;
    engine.InputDevice = TDeviceSettings(0, 2, rate, bits, block);
    engine.OutputDevice = TDeviceSettings(0, 2, rate, bits, block);

    long blocks = 0, toneBlocks = 0, offBlocks = 0;
    double minDb = 1e9, maxDb = -1e9;
    bool toneSeen = false;
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        ++blocks;
        // Generator: the coherent sine, phase 0 at the start of every block.
        const double k = std::pow(2.0, -exponent);
        for (std::size_t i = 0; i < out[0].size(); ++i) {
            const auto s = static_cast<float>(2147483391.0 * std::sin(static_cast<double>(i) * 2.0 * M_PI * k));
            out[0][i] = s;
            out[1][i] = s;
        }
        // Pipeline stand-in: the tone's amplitude in each piece of sampleLength samples (the
        // tone is at bin sampleLength / 64 of a piece).
        const std::size_t n = static_cast<std::size_t>(sampleLength);
        const double bin = static_cast<double>(sampleLength) / 64.0;
        double blockMin = 1e9;
        for (std::size_t start = 0; start + n <= in[0].size(); start += n) {
            double re = 0, im = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const double phase = 2.0 * M_PI * bin * static_cast<double>(i) / static_cast<double>(n);
                re += in[0][start + i] * std::cos(phase);
                im -= in[0][start + i] * std::sin(phase);
            }
            const double amplitude = 2.0 * std::hypot(re, im) / static_cast<double>(n) / 2147483648.0;
            blockMin = std::min(blockMin, 20.0 * std::log10(std::max(amplitude, 1e-12)));
        }
        if (!toneSeen && blockMin > -0.1)
            toneSeen = true;
        if (toneSeen) {
            ++toneBlocks;
            minDb = std::min(minDb, blockMin);
            maxDb = std::max(maxDb, blockMin);
            if (std::abs(blockMin) > 0.05)
                ++offBlocks; // a piece of this block lost the tone: a gap reached the measurement
        }
    };
    std::string failure;
    engine.OnFailure = [&failure](const std::string& why) { failure = why; };
    std::string blockError;
    engine.OnBlockError = [&blockError](const std::string& why) { blockError = why; };

    std::printf("soak: %d s, %d Hz, %d bit, sample length %d, block %d, device \"%s\"\n", seconds,
                rate, bits, sampleLength, block, device.c_str());
    try {
        engine.Start();
    } catch (const std::exception& e) {
        std::printf("start failed: %s\n", e.what());
        return 1;
    }
    const auto begin = std::chrono::steady_clock::now();
    const double cpuBegin = CpuSeconds();
    long rssAfterWarmUp = 0;
    for (int t = 0; t < seconds && engine.Active(); ++t) {
        dispatcher.RunUntil(begin + std::chrono::seconds(t + 1));
        if (t == 9)
            rssAfterWarmUp = ResidentKiB();
        if ((t + 1) % 30 == 0) {
            const auto h = engine.Health();
            std::printf("%5d s  blocks %ld  in gaps %llu (%llu frames)  out gaps %llu (%llu frames)  "
                        "off-level blocks %ld  rss %ld KiB\n",
                        t + 1, blocks, static_cast<unsigned long long>(h.CaptureGaps),
                        static_cast<unsigned long long>(h.CaptureFramesLost),
                        static_cast<unsigned long long>(h.RenderGaps),
                        static_cast<unsigned long long>(h.RenderFramesLost), offBlocks, ResidentKiB());
            std::fflush(stdout);
        }
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const double cpu = CpuSeconds() - cpuBegin;
    const auto h = engine.Health();
    engine.Stop();

    std::printf("\nsummary\n");
    std::printf("  wall time            %.1f s\n", wall);
    std::printf("  blocks               %ld (expected about %.0f)\n", blocks, wall * rate / block);
    std::printf("  capture gaps         %llu, %llu frames lost (%.1f ms)\n",
                static_cast<unsigned long long>(h.CaptureGaps),
                static_cast<unsigned long long>(h.CaptureFramesLost), 1000.0 * h.CaptureFramesLost / rate);
    std::printf("  render gaps          %llu, %llu frames of silence (%.1f ms)\n",
                static_cast<unsigned long long>(h.RenderGaps),
                static_cast<unsigned long long>(h.RenderFramesLost), 1000.0 * h.RenderFramesLost / rate);
    std::printf("  tone level           %.4f .. %.4f dB over %ld blocks, %ld blocks off by > 0.05 dB\n",
                toneBlocks ? minDb : 0.0, toneBlocks ? maxDb : 0.0, toneBlocks, offBlocks);
    std::printf("  block errors         %llu%s%s\n", static_cast<unsigned long long>(h.BlockErrors),
                blockError.empty() ? "" : ", first: ", blockError.c_str());
    std::printf("  device lost          %s\n", failure.empty() ? "no" : failure.c_str());
    std::printf("  CPU (this process)   %.1f s = %.1f %% of one core\n", cpu, 100.0 * cpu / wall);
    std::printf("  memory               rss %ld KiB after 10 s, %ld KiB at end, peak %ld KiB\n",
                rssAfterWarmUp, ResidentKiB(), PeakResidentKiB());
    return failure.empty() && h.BlockErrors == 0 ? 0 : 1;
}
