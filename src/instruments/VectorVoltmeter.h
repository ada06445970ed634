// SPDX-License-Identifier: GPL-3.0-or-later
// The vector voltmeter of the external four-channel ADC: amplitude and phase at one frequency.
#pragma once

#include "dsp/FloatTypes.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The single-bin transform of N = x.size() samples at K = `cycles` cycles per N samples:
// w = 2 pi K / N, c = 2 cos w; s = c s1 + x - s2 per sample (s2 := s1, s1 := s); then
// X = ((cos w s1 - s2) 2 / N, sin w s1 2 / N). For x[n] = A cos(w n + phi) this is
// A (cos phi, sin phi): the amplitude and the phase at the first sample. Zero for no samples.
TComplex SingleBinTransform(std::span<const std::int32_t> x, int cycles);
TComplex SingleBinTransform(std::span<const double> x, int cycles);

// The part of a block the voltmeter analyses: P = round(fs / f) samples per signal period,
// K = B div P whole periods, N = K P samples.
struct TVvmAnalysis {
    int SamplesPerPeriod = 0; // P
    int Periods = 0;          // K
    int Samples = 0;          // N
};
// Nothing when f <= 0, fs <= 0, P = 0 or K = 0 (no whole period fits the block).
std::optional<TVvmAnalysis> VvmAnalysis(double rateHz, int frequencyHz, int blockSamples);

// One channel's reading: the magnitude (in ADC steps of amplitude, or the ratio to the reference
// channel when one is chosen) and the phase in degrees, in [-180, 180).
struct TVvmReading {
    double Magnitude = 0.0;
    double PhaseDegrees = 0.0;
};

// Amplitude and phase of the four ADC channels at VvmFrequency, from the last block, with
// exponential averaging. Owned by the main window; main thread only.
class TVectorVoltmeter {
public:
    static constexpr int Channels = 4;

    // Phasors of the four channels of `block` (4 x blockSamples samples, channel-major), each over
    // its first N samples (VvmAnalysis). False, and the phasors unchanged, when there is no
    // analysis for this rate and frequency (no division by zero).
    bool AnalyseBlock(std::span<const std::int32_t> block, int blockSamples, double rateHz);
    void SetPhasor(int channel, TComplex phasor) {
        phasor_[static_cast<std::size_t>(channel)] = phasor;
    }
    TComplex Phasor(int channel) const { return phasor_[static_cast<std::size_t>(channel)]; }

    // EFreqChange: VvmFrequency := the integer in `text`; false (unchanged) when it holds none.
    bool SetFrequencyText(std::string_view text);
    int Frequency() const { return frequency_; }

    // EVVMTChange: n = seconds x fs / B blocks; alpha = 1 - exp(-1 / n) for n > 0, else 1.
    void SetAveragingTime(double seconds, double rateHz, int blockSamples);
    // The same from the edit's text; false (alpha unchanged) when it is not a number.
    bool SetAveragingTimeText(std::string_view text, double rateHz, int blockSamples);
    double Alpha() const { return alpha_; }

    // CAd: 0 "none", 1..4 "ADC1".."ADC4".
    void SetReference(int reference);
    int Reference() const { return reference_; }

    // The instantaneous reading of channel 0..3: the phasor, divided by the reference's when
    // one is chosen (the reference itself reads exactly 1 at 0 degrees).
    TVvmReading Instant(int channel) const;
    // CAdChange: the averages become the instantaneous readings.
    void ResetAverages();
    // The update after a block: avg := alpha x reading + (1 - alpha) x avg for magnitude and
    // phase (degrees averaged as plain numbers).
    void UpdateAverages();
    const TVvmReading& Average(int channel) const {
        return average_[static_cast<std::size_t>(channel)];
    }

    // "ADC" i ": " Format("%10.3f", 20 log10 magnitude) "dB / " Format("%10.3f", phase) and the
    // degree sign (UTF-8); a magnitude of 0 counts as 1e-10, and -0.000 is written 0.000.
    static std::string LabelText(int channel, const TVvmReading& reading);

private:
    std::array<TComplex, Channels> phasor_{};
    std::array<TVvmReading, Channels> average_{};
    double alpha_ = 1.0;
    int frequency_ = 1000;
    int reference_ = 0;
};
