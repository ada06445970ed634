// SPDX-License-Identifier: GPL-3.0-or-later
// Long run of the external four-ADC hand-over (scripts/adc-soak.sh; not part of the test suite):
// the stand-in library's thread fills the ring, the main thread drains it through the queued
// dispatcher, runs the voltmeter and checks every block it takes against the synthesis.
//
//   adc_soak [seconds] [rate] [speed]     defaults: 300 192000 8
#include "N4StandinSignal.h"

#include "audio/ExternalAdc.h"
#include "instruments/VectorVoltmeter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 300.0;
    const int rate = argc > 2 ? std::atoi(argv[2]) : 192000;
    const char* speed = argc > 3 ? argv[3] : "8";
    ::setenv("N4STANDIN_SPEED", speed, 1);
    const char* signalText = "1000 1000000 0 2000000 30 3000000 -60 4000000 135";
    ::setenv("N4STANDIN_SIGNAL", signalText, 1);
    const auto signal = n4standin::ParseSignal(signalText);

    TQueuedDispatcher dispatcher;
    TExternalAdc adc(dispatcher, 8);
    const int opened = adc.LoadExternalAdc(std::string(N4_STANDIN_DIR) + "/libN4ADC.so", "");
    if (opened != alOpened) {
        std::printf("%s\n", ExternalAdcLoadMessage(opened, adc.LastOpenResult()).c_str());
        return 1;
    }
    TVectorVoltmeter vvm;
    vvm.SetReference(1);
    long long taken = 0;
    long long torn = 0;
    double worstDb = 0.0;
    adc.OnBlock = [&](std::span<const std::int32_t> block) {
        ++taken;
        // A block is whole when its samples are a stretch of one synthesis: ADC1's first sample
        // finds the block's start, the rest must follow from it.
        const int b = adc.BlockSamples();
        vvm.AnalyseBlock(block, b, rate);
        const double ratio = vvm.Instant(3).Magnitude;
        worstDb = std::max(worstDb, std::abs(20.0 * std::log10(ratio / 4.0)));
        for (int c = 1; c < 4; ++c) {
            const double a = vvm.Instant(c).Magnitude * signal.Amplitude[0];
            if (std::abs(a / signal.Amplitude[static_cast<std::size_t>(c)] - 1.0) > 1e-3)
                ++torn;
        }
    };
    adc.Start(4096, rate);
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int round = 0;
    while (std::chrono::steady_clock::now() < end) {
        dispatcher.RunPending();
        // Now and then the main thread is slow, so that the ring fills and blocks are lost.
        std::this_thread::sleep_for(std::chrono::milliseconds(++round % 500 == 0 ? 200 : 3));
        if (round % 3000 == 0) { // restart now and then, as a user would
            adc.Stop();
            adc.Start(4096, rate);
        }
    }
    adc.Stop();
    const TStreamHealth health = adc.Health();
    std::printf("blocks taken %lld, torn %lld, worst ADC4/ADC1 error %.2e dB, gaps in the last run "
                "%llu (%llu frames)\n",
                taken, torn, worstDb, static_cast<unsigned long long>(health.CaptureGaps),
                static_cast<unsigned long long>(health.CaptureFramesLost));
    return torn == 0 && taken > 0 && worstDb < 0.01 ? 0 : 1;
}
