// SPDX-License-Identifier: GPL-3.0-or-later
// Command-line options of phonoscale-measure and their parser.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A command line that cannot be run: the program prints the text and the usage, exit code 2.
class EUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TOutputFormat : std::uint8_t { ofText, ofJson, ofCsv };

// What one run measures and prints. Plain data, filled by ParseMeasureOptions.
struct TMeasureOptions {
    bool Help = false;
    std::string Input;                    // sound file read through libsndfile
    std::string Device;                   // or a capture device: its list entry, name or number
    bool ListDevices = false;             // print the device lists and exit
    std::int32_t Rate = 48000;            // device sample rate, samples/s
    std::int32_t Bits = 16;               // device resolution, 16 or 24
    std::int32_t Length = 1024;           // FFT length N, a power of 2 from 64 to 2^20
    std::int32_t Channel = 0;             // 0 left, 1 right, 2 left+right, 3 left-right
    std::int32_t WindowKind = 2;          // 0 rect ... 5 flat top, as the window's list
    std::int32_t Weighting = 0;           // 0 flat, 1 psophometric, 2 C-message, 3 A, 4 C, 5 Z
    std::optional<std::int32_t> BandLow;  // cut-on, Hz (default 0)
    std::optional<std::int32_t> BandHigh; // cut-off, Hz (default half the sample rate)
    bool BandFromSetup = false;           // the band came from a set-up file: limited to the
                                          // rate's range as the window's sliders limit it
    // 0 dB, 1 sine eq. Vpp, 2 Veff, 3 dBFS, 4 dBu, 5 dBV, 6 V rms, 7 dB SPL (the window's CUnits)
    std::int32_t Units = 0;
    std::string TimeConstant = "0.5";  // meter time constant, seconds (the window's ETime)
    std::int32_t Digits = 3;           // significant digits of the read-outs, 2..7
    std::int32_t SpectrumTimeMode = 0; // the window's CTC: 0 meter, 1 custom, 2 peak hold
    std::array<std::string, 6> CustomTimes = {"10", "10", "8", "5", "2", "1"}; // ET1..ET6, s
    // Calibration as a set-up file keeps it: the dBm field, the reference level in dB, its
    // peak-peak volts and whether the readings are calibrated; the display offset in dB.
    std::string CalLevelText = "0";
    double RefLevel = 0.0;
    double RefV = 1.0;
    bool Calibrated = false;
    double YOffset = 0.0;
    std::optional<double> CalVolts;         // RMS volts of a full-scale sine (--cal-volts)
    std::optional<double> SplSensitivityDb; // dB SPL of a full-scale sine (--spl-sensitivity)
    std::vector<std::string> Corrections;   // microphone, then interface correction file
    std::string Setup;                      // set-up file read before the other options
    std::optional<std::int32_t> Generator;  // exponent p of the coherent sine, 2..14
    std::string OutputDevice;               // playback device of the sine: entry, name or number
    std::optional<std::int64_t> Blocks;     // engine blocks to measure (default: the whole file)
    std::optional<double> Seconds;          // or seconds of input
    TOutputFormat Format = TOutputFormat::ofText;
    std::string SaveSpectrum; // file for the final spectrum, format by extension (empty: none)
    // The distortion analyser (--distortion) and its settings.
    bool Distortion = false;
    std::int32_t Harmonics = 10;        // harmonics 2 .. K, K 2..20
    std::optional<double> DistBandLow;  // its band, Hz (default 20 to min(20000, rate / 2))
    std::optional<double> DistBandHigh; //
    std::int32_t Averages = 1;          // blocks in the power average, 1..1000
    bool AveragesGiven = false;         // --averages was given (the response's default is 16)
    std::int32_t Imd = 0;               // intermodulation: 0 none, 1 smpte, 2 twin
    std::optional<double> ImdF1;        // its tones, Hz (default: those of the kind)
    std::optional<double> ImdF2;        //
    std::optional<double> ImdRatio;     // amplitude of tone 1 over tone 2
    std::optional<std::int32_t> Octave; // b of 1/b octave bands (1, 3, 6, 12, 24); none: off
    // The frequency response (--response) and its settings; --averages above is shared.
    bool Response = false;
    std::int32_t Reference = 0; // 0 left (response right), 1 right (response left), 2 output
    std::int32_t Smoothing = 0; // b of 1/b-octave smoothing (1, 2, 3, 6, 12, 24, 48); 0 off
    std::string SaveResponse;   // file for the final response: .csv CSV, else FRD
    std::int32_t Stimulus = 0;  // periodic noise on --output-device: 0 none, 1 white, 2 pink
    bool Slm = false;                   // the sound level meter (--slm)
    bool Loudness = false;              // the loudness meter (--loudness)
};

// True when the run plays on --output-device: the coherent sine or the periodic noise.
inline bool PlaysOutput(const TMeasureOptions& o) {
    return o.Generator.has_value() || o.Stimulus != 0;
}

// Parses argv[1..argc-1] over `base` (the defaults, or the options a set-up file gave). Raises
// EUsageError with a one-line reason for an unknown option, a missing or malformed value, a value
// out of range, or neither or both of --input and --device (unless --help or --list-devices), and
// for --generator without --device and --output-device; the distortion options need
// --distortion, --imd-tones needs --imd; --averages needs --distortion or --response, the other
// response options --response; --stimulus needs --device and --output-device and excludes
// --generator; --reference output needs --stimulus.
TMeasureOptions ParseMeasureOptions(const std::vector<std::string>& args,
                                    const TMeasureOptions& base = {});

// The usage text printed by --help and after a bad command line.
std::string MeasureUsage();
