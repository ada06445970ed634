// SPDX-License-Identifier: GPL-3.0-or-later
// True peak of one or two channels through twofold oversampling.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The highest magnitude of each channel's samples (the sample peak) and of those together with
// the values halfway between them (the true peak), the latter interpolated by a half-band filter
// (a Kaiser-windowed sinc over kHalfTaps samples on either side; at 192 ksps flat within 0.003 dB
// up to 60 kHz). This is the twofold oversampling the true peak asks for at the highest sample
// rates, where the loudness library takes the sample peak. Works on interleaved frames as the
// library takes them. One thread; Process allocates nothing.
class TTruePeakInterpolator {
public:
    static constexpr std::size_t kHalfTaps = 8;
    static constexpr std::size_t kChunk = 64; // frames whose values halfway are computed (or
                                              // skipped) together
    static constexpr int kMaxChannels = 2;

    TTruePeakInterpolator();
    // Forgets the peaks and the frames held for the next block; frames of `channels` (1 or 2)
    // interleaved values from now on.
    void Reset(int channels = 1);
    // The next frames, interleaved, full scale 1.0 (a multiple of the channels' count of values).
    void Process(std::span<const double> frames);
    // Highest magnitude of the channel so far, of its samples and the values halfway (linear,
    // 0 before any sample).
    double Peak(int channel) const { return TruePeak_[static_cast<std::size_t>(channel)]; }
    // Highest magnitude of the channel's samples so far.
    double SamplePeak(int channel) const { return SamplePeak_[static_cast<std::size_t>(channel)]; }
    // The instruction sets of the filter that this processor runs, fastest first: of "avx512",
    // "avx2" (with FMA) and "baseline". The fastest is used unless SelectKernel picks another.
    static std::vector<std::string> Kernels();
    // Uses the filter for the named instruction set (one of Kernels(); false if not).
    bool SelectKernel(std::string_view name);
    // The instruction set of the filter in use.
    const char* Kernel() const;

private:
    static constexpr std::size_t kHeld = 2 * kHalfTaps - 1; // frames held for the next block

    std::array<double, kHalfTaps> Taps_{}; // Taps_[k] weighs the two samples k + 1/2 away
    double Bound_ = 0.0; // no value halfway exceeds the highest magnitude of its 2 kHalfTaps
                         // samples times this: the sum of the weights' magnitudes, rounded up
    int Channels_ = 1;
    std::size_t Kernel_ = 0; // the filter's instruction set, an index into the source's table
    // The held frames, then (for the values halfway that reach back into them) the first new ones.
    std::array<double, 2 * kHeld * kMaxChannels> Joint_{};
    std::array<double, kMaxChannels> SamplePeak_{}, TruePeak_{};
};
