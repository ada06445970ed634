// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the four-ADC library, for tests only: synthesises four known channels.
//
// Configured through the environment, read when "_Open" and "_Start" are called:
//   N4STANDIN_OPEN    the byte "_Open" returns (default 0)
//   N4STANDIN_SIGNAL  "f a1 p1 a2 p2 a3 p3 a4 p4 [noise]" (see N4StandinSignal.h)
//   N4STANDIN_RATE    the rate "_Start" reports and synthesises at (default: the requested one)
//   N4STANDIN_SPEED   blocks come this many times faster than real time (default 1)
// Built once complete and once without "_Stop" (N4STANDIN_WITHOUT_STOP).
#include "N4StandinSignal.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

using TCallback = void (*)(std::int32_t*);

std::thread g_thread;
std::atomic<bool> g_stop{false};

double EnvNumber(const char* name, double fallback) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0')
        return fallback;
    return std::strtod(text, nullptr);
}

// The hardware's block thread: one block of 4 x B samples every B / rate seconds.
void Produce(int blockSamples, double rateHz, double speed, n4standin::TSignal signal,
             TCallback callback) {
    const auto b = static_cast<std::size_t>(blockSamples);
    std::vector<std::int32_t> block(4 * b);
    const auto start = std::chrono::steady_clock::now();
    const std::chrono::duration<double> period(static_cast<double>(blockSamples) / rateHz / speed);
    for (std::uint64_t k = 0; !g_stop.load(std::memory_order_acquire); ++k) {
        std::this_thread::sleep_until(
            start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        period * static_cast<double>(k + 1)));
        if (g_stop.load(std::memory_order_acquire))
            break;
        for (int c = 0; c < 4; ++c)
            for (std::size_t j = 0; j < b; ++j)
                block[static_cast<std::size_t>(c) * b + j] =
                    n4standin::Sample(signal, c, k * b + j, rateHz);
        callback(block.data());
    }
}

void StopThread() {
    g_stop.store(true, std::memory_order_release);
    if (g_thread.joinable())
        g_thread.join();
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) std::uint8_t _Open(const char* /*argument*/) {
    return static_cast<std::uint8_t>(EnvNumber("N4STANDIN_OPEN", 0.0));
}

__attribute__((visibility("default"))) void _Close() {
    StopThread();
}

__attribute__((visibility("default"))) double _Start(std::int32_t blockSamples, std::int32_t rateHz,
                                                     TCallback callback) {
    StopThread();
    const double rate = EnvNumber("N4STANDIN_RATE", rateHz);
    const double speed = EnvNumber("N4STANDIN_SPEED", 1.0);
    const auto signal = n4standin::ParseSignal(std::getenv("N4STANDIN_SIGNAL"));
    g_stop.store(false, std::memory_order_release);
    g_thread = std::thread(Produce, blockSamples, rate, speed > 0 ? speed : 1.0, signal, callback);
    return rate;
}

#ifndef N4STANDIN_WITHOUT_STOP
__attribute__((visibility("default"))) void _Stop() {
    StopThread();
}
#endif
}
