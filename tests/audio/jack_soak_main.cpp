// SPDX-License-Identifier: GPL-3.0-or-later
// Long run of the low-latency engine on a JACK server: a tone client plays a sine into our
// capture ports, our render ports carry a block-scale copy back to it; gaps, level, CPU, memory.
//
// jack_soak [seconds] [sample-length]     defaults: 600 s, 64
// The server is the one the environment names (scripts/soak-jack.sh starts one). Engine blocks
// are max(sample length, 2048) frames, cut into sample-length pieces as the pipeline does; the
// tone's level is taken in every piece. Prints a line every 30 s and a summary; exit code 1 if
// the run was lost or a gap occurred.
#include "AudioTestSupport.h"
#include "JackTestSupport.h"

#include "audio/WdmStrm.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
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
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process that is its own (KiB): the JACK library's shared memory
// with the server, which counts in the resident size too, left out.
long RssKiB() {
    std::ifstream rollup("/proc/self/smaps_rollup");
    std::string key;
    long value = 0, total = 0;
    while (rollup >> key) {
        if (key == "Private_Clean:" || key == "Private_Dirty:") {
            rollup >> value;
            total += value;
        }
        rollup.ignore(1 << 12, '\n');
    }
    return total;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int length = argc > 2 ? std::atoi(argv[2]) : 64;
    const int block = std::max(length, 2048);
    constexpr int kRate = 48000;
    // 1500 Hz: a whole number of periods in every piece of 32 samples or more.
    jacktest::ToneClient tone("pssoak", 1500.0, 0.5, 1);
    if (!tone.Open()) {
        std::fprintf(stderr, "jack_soak: no JACK server\n");
        return 1;
    }
    WdmAudio().Refresh();
    const int device = WdmAudio().Find("02  pssoak");
    if (device < 0) {
        std::fprintf(stderr, "jack_soak: the tone client is not listed\n");
        return 1;
    }
    WaitingDispatcher dispatcher;
    TWdmAudioStream engine(&dispatcher);
    engine.Directions = ddBoth;
    engine.InputDevice = TDeviceSettings(device, 2, kRate, 16, block);
    engine.OutputDevice = TDeviceSettings(device, 2, kRate, 16, block);
    long long blocks = 0, pieces = 0;
    double lowest = 1e9, highest = -1e9;
    std::string failure;
    engine.OnFailure = [&](const std::string& reason) { failure = reason; };
    engine.OnData = [&](void*, TDataBufferI&, TDataBufferF& in, TDataBufferF& out) {
        ++blocks;
        for (int start = 0; start + length <= block; start += length) {
            const TSingleArray piece(in[0].begin() + start, in[0].begin() + start + length);
            const double level =
                audiotest::Db(audiotest::ToneAmplitude(piece, 1500.0 * length / kRate));
            if (blocks > 2) { // after the start-up silence
                lowest = std::min(lowest, level);
                highest = std::max(highest, level);
                ++pieces;
            }
        }
        for (std::size_t c = 0; c < out.size(); ++c)
            std::copy(in[c].begin(), in[c].end(), out[c].begin());
    };
    const double cpu0 = CpuSeconds();
    const long rss0 = RssKiB();
    const auto begin = std::chrono::steady_clock::now();
    engine.Start();
    for (int t = 30; t <= seconds + 29 && failure.empty(); t += 30) {
        dispatcher.RunUntil(begin + std::chrono::seconds(std::min(t, seconds)));
        const TStreamHealth h = engine.Health();
        std::printf(
            "%4d s: %lld blocks, input gaps %llu, output gaps %llu, private memory %ld KiB\n",
            std::min(t, seconds), blocks, static_cast<unsigned long long>(h.CaptureGaps),
            static_cast<unsigned long long>(h.RenderGaps), RssKiB());
        std::fflush(stdout);
    }
    const TStreamHealth h = engine.Health();
    engine.Stop();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("summary: %d s at %d Hz, engine block %d, sample length %d\n", seconds, kRate,
                block, length);
    std::printf("  blocks %lld (expected about %d), pieces measured %lld\n", blocks,
                seconds * kRate / block, pieces);
    std::printf("  input gaps %llu (%llu frames), output gaps %llu (%llu frames)\n",
                static_cast<unsigned long long>(h.CaptureGaps),
                static_cast<unsigned long long>(h.CaptureFramesLost),
                static_cast<unsigned long long>(h.RenderGaps),
                static_cast<unsigned long long>(h.RenderFramesLost));
    std::printf("  tone level %.4f ... %.4f dB\n", lowest, highest);
    std::printf("  program %.1f s CPU = %.1f %% of one core, private memory %ld -> %ld KiB\n", cpu,
                100.0 * cpu / seconds, rss0, RssKiB());
    if (!failure.empty())
        std::printf("  lost: %s\n", failure.c_str());
    return failure.empty() && h.CaptureGaps == 0 && h.RenderGaps == 0 ? 0 : 1;
}
