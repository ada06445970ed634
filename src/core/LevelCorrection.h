// SPDX-License-Identifier: GPL-3.0-or-later
// Microphone and interface correction curves and the spectrum-domain weightings they join.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A device's deviation from flat in dB by frequency, as its maker lists it (a microphone that
// reads 3 dB low at 1 kHz has -3 there). Readings are corrected by subtracting it. Plain value;
// any thread.
class TCorrectionCurve {
public:
    TCorrectionCurve() = default;
    // Points in rising frequency order (Hz > 0, dB finite) and an offset in dB added to all.
    TCorrectionCurve(std::vector<double> frequencyHz, std::vector<double> levelDb,
                     double offsetDb = 0.0);

    // Deviation at freqHz in dB: the points' levels interpolated linearly in dB over log
    // frequency, held at the first and last levels outside the points (and at 0 Hz), plus the
    // offset. 0 for a curve without points.
    double DeviationDb(double freqHz) const;

    bool Empty() const { return LogF_.empty(); }
    double OffsetDb() const { return OffsetDb_; }
    std::size_t Size() const { return LogF_.size(); }

private:
    std::vector<double> LogF_; // log10 of the frequencies
    std::vector<double> Db_;
    double OffsetDb_ = 0.0;
};

// A correction file that cannot be used: the text names the file and, where there is one, the
// line. The curve in force stays as it was.
class ECorrectionFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a correction file: the level-file reader's CSV or FRD/TXT ("frequency dB [phase]"
// lines, comments and a header allowed), the phase ignored. A sensitivity line in dB ("Sens
// Factor =-1.2dB", a unit starting with the word "dB" or none) is the curve's overall offset; one
// in another unit
// ("dBV", "mV/Pa") describes the device, not its deviation, and is left out. Records at 0 Hz
// are left out (their level is held from the first one above). Raises ECorrectionFileError for
// what the reader refuses (with the line), a level beyond +-200 dB (with the line), an offset
// beyond +-200 dB, or a file without a record above 0 Hz.
TCorrectionCurve ReadCorrectionFile(const std::string& path);
// The same on text in memory; `name` stands for the file in messages.
TCorrectionCurve ReadCorrectionText(std::string_view text, const std::string& name);

// The correction in force: the microphone's and the interface's curves (each empty when none is
// loaded) and the file names they came from. Generation counts changes, so that tables built
// from it know when to rebuild. Owned by MeasurementState; main thread only.
struct TLevelCorrection {
    TCorrectionCurve Microphone;
    TCorrectionCurve Interface;
    std::string MicrophoneFile;
    std::string InterfaceFile;
    std::uint64_t Generation = 0;

    bool Active() const { return !Microphone.Empty() || !Interface.Empty(); }
    // The combined deviation at freqHz, dB: the sum of both curves' deviations.
    double DeviationDb(double freqHz) const;
};

// Which curve of a TLevelCorrection.
enum class TCorrectionSlot { csMicrophone, csInterface };

// Loads `path` into the slot: an empty path removes the curve; a file that reads replaces it
// (and its file name). Either way Generation counts the change. A file that cannot be read
// leaves the correction as it was and returns the message (naming the file and the line);
// success returns an empty text.
std::string LoadCorrection(TLevelCorrection& correction, TCorrectionSlot slot,
                           const std::string& path);

// Gain in dB of weighting `weighting` (MeasurementState::Weighting: 0 flat, 1 psophometric,
// 2 C-message, 3 A, 4 C, 5 Z) at freqHz; 0 for flat, Z and unknown kinds.
double WeightingGainDb(std::int32_t weighting, double freqHz);
// True for the weightings that change the spectrum (1 to 4).
bool WeightingShapes(std::int32_t weighting);

// Amplitude factor of one bin at freqHz: the weighting's factor times 10^(-deviation / 20) of
// the correction (the deviation is subtracted). Psophometric and C-message use their own
// factors (PsophometricFactor, CMessageFactor), A and C 10^(gain / 20).
double BinFactor(std::int32_t weighting, const TLevelCorrection& correction, double freqHz);
