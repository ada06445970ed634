// Coherent sine generator: fills the output block of each engine block with a 2^p-sample period.
#pragma once

#include "audio/SndTypes.h"

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
};

// Fills OutBuffer when CheckOut is set: s(i) = 2147483391 * sin(2 pi (j mod 2^p) / 2^p) with
// j the running sample index, as 32-bit floats, into the channels chosen by COutChan (any other
// selection writes nothing). The phase runs on across blocks, so a block of 2048 samples starts
// at phase 0 whenever the period divides it (p <= 11) and tones with longer periods stay
// continuous. Missing rows are skipped; rows of unequal length are filled to their own length.
// The values of one period are computed once per p (PeriodTable) and copied from then on.
void FillOutBuffer(TSineOutput& generator, TDataBufferF& outBuffer);

// Restarts the tone at phase 0 (sampling start).
void ResetPhase(TSineOutput& generator);

// TrackFChange: stores p and returns the LFreq caption, sampleRateHz / 2^p in shortest decimal
// form followed by " Hz" ("12000 Hz" for p = 2 at 48 ksps).
std::string TrackFChange(TSineOutput& generator, int p, double sampleRateHz);
