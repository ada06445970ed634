// SPDX-License-Identifier: GPL-3.0-or-later
// Distortion readings (THD, THD+N, SINAD, SNR, ENOB, SFDR, harmonics, intermodulation) taken
// from an averaged power spectrum.
#pragma once

#include "analysis/TwoTone.h"

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <vector>

// What the distortion analyser measures. Plain data; the analyser limits the values to their
// ranges (LimitedSettings).
struct TDistortionSettings {
    int Harmonics = 10;          // K: harmonics 2 ... K are measured (2 ... 20)
    double BandLowHz = 20.0;     // the analyser's band, Hz; the top is limited to half the rate
    double BandHighHz = 20000.0; //
    int Averages = 1;            // blocks in the power average (1 ... 1000)
    TImdKind Imd = TImdKind::None;
    TTwoTones Tones = DefaultTwoTones(TImdKind::Smpte); // the intermodulation test's tones
};

// The settings with every value in its range: Harmonics 2 ... 20, Averages 1 ... 1000, the band
// edges at least 0 (a non-finite edge becomes its default) and a tone ratio of at least 0.
TDistortionSettings LimitedSettings(TDistortionSettings settings);

// One harmonic: its order n (2 ... K), frequency n f0 in Hz and level in dB re the fundamental.
struct THarmonicReading {
    int Order = 0;
    double Hz = 0.0;
    double Dbc = 0.0;
};

// One intermodulation product: its name ("f2-f1", "2f1-f2", ...), frequency in Hz and level in
// dB re the intermodulation reference (see TDistortionReadings::ImdDb).
struct TImdProductReading {
    std::string Name;
    double Hz = 0.0;
    double Db = 0.0;
};

// The readings of one evaluation. Levels in dB re a full-scale sine (amplitude 1.0), ratios as
// dB = 10 lg of a power ratio and % = 100 * the square root of it. Not-a-number where a reading
// has no value (see Problem).
struct TDistortionReadings {
    static constexpr double None = std::numeric_limits<double>::quiet_NaN();

    bool Valid = false;  // the readings below hold values
    std::string Problem; // why not, when not
    bool Coherent = false;
    int Averaged = 0; // blocks in the power average

    double FundamentalHz = None;
    double FundamentalDb = None;
    std::vector<THarmonicReading> Harmonics;
    double ThdDb = None;
    double ThdPct = None;
    double ThdnDb = None;
    double ThdnPct = None;
    double SinadDb = None;
    double SnrDb = None;
    double EnobBits = None;
    double SfdrDb = None; // fundamental over the largest other component in the band
    double SfdrHz = None; // that component's frequency

    // Intermodulation (TDistortionSettings::Imd not None): SMPTE/DIN relative to the high tone,
    // twin-tone relative to the sum of both tones' amplitudes.
    double ImdDb = None;
    double ImdPct = None;
    double Tone1Hz = None; // the tones as found (coherent: where the generator puts them)
    double Tone2Hz = None;
    std::vector<TImdProductReading> ImdProducts;

    // The bins taken out of the residual: DC is bins 0 ... DcLastBin, the fundamental
    // FundamentalFirstBin ... FundamentalLastBin (empty when not Valid).
    int DcLastBin = -1;
    int FundamentalFirstBin = 0;
    int FundamentalLastBin = -1;
};

// A one-sided power spectrum of a block of N samples, scaled so that the bins of a sine of
// amplitude A add up to its power A^2 / 2 and the bins of broadband noise to its mean square.
struct TPowerSpectrum {
    std::span<const double> Power; // P[k], k = 0 ... N/2
    double RateHz = 0.0;
    int N = 0;
    // Half-width of a component in bins: 0 when each tone sits on one bin (coherent), else the
    // window's main lobe (a component is then every bin within Lobe of its centre).
    int Lobe = 0;
    // Coherent: the generator's frequency, whose whole multiples the tones are (the fundamental,
    // or the grid of the two tones). 0: the tones are searched for.
    double ToneGridHz = 0.0;
};

// The readings of `spectrum` (see the README's "Distortion" section for the definitions).
// `marks` is scratch space (resized to N/2 + 1). Raises nothing: what cannot be read is left
// None, with Problem saying why.
TDistortionReadings ComputeDistortionReadings(const TPowerSpectrum& spectrum,
                                              const TDistortionSettings& settings,
                                              std::vector<std::uint8_t>& marks);
