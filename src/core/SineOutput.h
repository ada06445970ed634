// SPDX-License-Identifier: GPL-3.0-or-later
// Coherent sine generator: fills the output block of each engine block with a 2^p-sample period.
#pragma once

#include "analysis/TwoTone.h"
#include "audio/SndTypes.h"
#include "core/PeriodicNoise.h"

#include <cstdint>
#include <string>
#include <vector>

// Generator settings (copied from CheckOut, COutChan, TrackF) and its running phase. Owned by
// MeasurementState (field Generator); main thread only.
struct TSineOutput {
    static constexpr double Amplitude = 2147483391.0; // 2^31 - 257: renders without overflow

    bool CheckOut = false;     // "Coherent Sinewave Output enabled"
    std::int32_t COutChan = 0; // 0 "+L/+R", 1 "+L/-R", 2 "L only", 3 "R only"
    std::int32_t TrackF = 2;   // exponent p, 2 ... 14: period 2^p samples
    // Sample index of the next output sample within the tone's period (0 ... 2^p - 1).
    std::int64_t PhaseIndex = 0;
    // One period of the tone as 32-bit floats, computed when p changes (periods up to
    // 2^MaxTablePower); TablePower is the p it holds, -1 when empty.
    static constexpr int MaxTablePower = 16;
    std::vector<float> PeriodTable;
    int TablePower = -1;
    // Two-tone output for intermodulation tests: with both frequencies above 0 (and the rate
    // given to FillOutBuffer), each period holds whole cycles of two sines in place of the one
    // (see FillOutBuffer). Zero frequencies: the single sine.
    TTwoTones Tones;
    // The cycles per period of the tones in PeriodTable and their ratio (1, 0, 0 for the single
    // sine).
    std::int64_t TableCycles1 = 1;
    std::int64_t TableCycles2 = 0;
    double TableRatio = 0.0;
    // Periodic noise in place of the tone (response measurements): white or pink, one period of
    // 2^NoisePower samples (the analysis length N) with phases drawn from NoiseSeed. The sine's
    // period p (TrackF) is then left alone. TableStimulus, TableSeed and TableRate say what the
    // table holds.
    TStimulusKind Stimulus = TStimulusKind::Sine;
    std::int32_t NoisePower = 12;
    std::uint64_t NoiseSeed = 1;
    TStimulusKind TableStimulus = TStimulusKind::Sine;
    std::uint64_t TableSeed = 0;
    double TableRate = 0.0;
};

// Fills OutBuffer when CheckOut is set: s(i) = 2147483391 * sin(2 pi (j mod 2^p) / 2^p) with
// j the running sample index, as 32-bit floats, into the channels chosen by COutChan (any other
// selection writes nothing). The phase runs on across blocks, so a block of 2048 samples starts
// at phase 0 whenever the period divides it (p <= 11) and tones with longer periods stay
// continuous. Missing rows are skipped; rows of unequal length are filled to their own length.
// The values of one period are computed once per p (PeriodTable) and copied from then on.
// Two tones (Tones set and sampleRateHz above 0, period of at least 8 samples) replace s(i) by
// a1 sin(2 pi m1 j / 2^p) + a2 sin(2 pi m2 j / 2^p), m1 and m2 the whole cycles per period
// nearest to the tones (CoherentToneCycles), a1 + a2 = 2147483391 (TwoToneAmplitudes), so that
// the sum never exceeds the single sine's amplitude.
// Periodic noise (Stimulus not Sine) replaces s(i) by PeriodicNoisePeriod(Stimulus, NoisePower,
// sampleRateHz, NoiseSeed, 2147483391) at j mod 2^NoisePower; its peak is the sine's amplitude.
void FillOutBuffer(TSineOutput& generator, TDataBufferF& outBuffer, double sampleRateHz = 0.0);

// Restarts the tone at phase 0 (sampling start).
void ResetPhase(TSineOutput& generator);

// TrackFChange: stores p and returns the LFreq caption, sampleRateHz / 2^p in shortest decimal
// form followed by " Hz" ("12000 Hz" for p = 2 at 48 ksps).
std::string TrackFChange(TSineOutput& generator, int p, double sampleRateHz);

// What the two tones play at sampleRateHz: "58.59375 Hz + 6999.0234375 Hz" (the whole cycles
// per period of 2^p samples times sampleRateHz / 2^p, in shortest decimal form); empty when
// the generator plays its single sine.
std::string TwoToneCaption(const TSineOutput& generator, double sampleRateHz);
