// SPDX-License-Identifier: GPL-3.0-or-later
// The peak frequency and level recorder: its ring, chart mappings, grids, time axis and trace file.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// One entry of the peak recorder's ring: peak frequency in Hz and level in dB. Empty slots hold
// zeros.
struct TPeakLogEntry {
    float Frequency = 0.0f;
    float Level = 0.0f;
};

// The recorder's settings: display ranges, trigger level, the two display switches and the
// colours (32-bit, low byte red; high byte 0xFF names a system colour by its low byte). The ring's
// capacity is the length of the ring itself. Owned by the recorder tab, main thread only.
struct TPeakRecorderSettings {
    double TriggerLevel = -30.0;     // dB; recording threshold while not paused
    double FrequencyLower = 0.0;     // Hz, lower edge of the chart
    double FrequencyUpper = 20000.0; // Hz, upper edge of the chart
    double LevelLower = -100.0;      // dB
    double LevelUpper = 0.0;         // dB
    bool DrawFrequency = true;
    bool DrawLevel = true;
    std::uint32_t TraceColour = 0xFF0000u;     // frequency trace, blue
    std::uint32_t GridColour = 0x000000u;      // frequency grid, black
    std::uint32_t BackColour = 0xFF00000Fu;    // background, the system's button face
    std::uint32_t LevelColour = 0x0000FFu;     // level trace, red
    std::uint32_t LevelGridColour = 0xFFFFFFu; // level grid, white
};

// The threshold that stops all recording while paused.
constexpr double PausedThreshold = 1e99;

// A capacity that cannot be had. The old ring is unchanged.
class EPeakCapacityError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Sets every slot to zero and restarts the ring: index 0, not wrapped.
void ClearPeakLog(std::vector<TPeakLogEntry>& log, std::int32_t& index, bool& wrapped);

// Resizes the ring to `capacity` points, keeping the first slots. Capacities of 2 points and more
// whose memory fits in half the machine's physical memory (and in a 32-bit index) are taken;
// anything else raises EPeakCapacityError ("Not enough memory for <n> data points.") and leaves
// the ring alone. An index beyond the new end restarts at 0 with the ring marked wrapped.
void ResizePeakLog(std::vector<TPeakLogEntry>& log, std::int32_t& index, bool& wrapped,
                   long long capacity);

// The recorded points in the order of recording, oldest first: slots 0 .. index - 1 while the
// ring has not wrapped, else slots index .. end, then 0 .. index - 1.
std::vector<TPeakLogEntry> PeakPointsOldestFirst(const std::vector<TPeakLogEntry>& log,
                                                 std::int32_t index, bool wrapped);

// Chart column of a point t seconds before now over a span of T seconds, on a chart W pixels
// wide: round((W - 1) (1 - t / T)), ties to even.
int PeakTimeToX(double t, double span, int width);
// Chart row of value v on a chart H pixels high showing lower .. upper:
// round((H - 1) (1 - (v - lower) / (upper - lower))); 0 when upper is not above lower.
int PeakValueToY(double v, double lower, double upper, int height);

// Values of the horizontal grid lines for lower .. upper: d := upper - lower;
// step := 10^round(log10 d) / 10, doubled while d / step > 10 once, then times 5 if still above;
// values from round(lower / step) step while not above upper. None when d is not above 0.
std::vector<double> PeakGridValues(double lower, double upper);

// Time axis of the chart for a ring of `capacity` points of blocks of `sampleLength` samples at
// `sampleRate` samples/s.
struct TPeakTimeAxis {
    double BlockTime = 0.0;     // s: sampleLength / sampleRate
    double Span = 0.0;          // s: capacity x BlockTime
    std::string ResolutionText; // "time resolution = 42.7 ms": round(B x 10000) / 10 ms
    std::vector<double>
        Ticks; // s before now of the vertical lines: k x step, k = 1 .. round(T / step)
};
// step := 10^(round(log10 T) - 1), halved when T / step < 6, doubled when T / step > 15.
TPeakTimeAxis PeakTimeAxis(long long capacity, double sampleLength, double sampleRate);

// One trace point in chart pixels.
struct TPeakPixel {
    int X = 0;
    int Y = 0;
};
// The polyline of one trace over the recorded slots of the ring: point j (j = 0 newest, slot
// index - 1 - j wrapped into the ring) at x = round((n - 1 - j) (W - 1) / (n - 1)) and the y of
// its frequency (or level) in lower .. upper; j runs over all n slots once the ring has wrapped,
// else over the `index` slots recorded (the rest of the chart stays empty). Nothing for rings
// below 2 slots.
std::vector<TPeakPixel> PeakTracePixels(const std::vector<TPeakLogEntry>& log, std::int32_t index,
                                        bool wrapped, bool level, double lower, double upper,
                                        int width, int height);

// The trace file: one line "time frequency level" per recorded point, oldest first, times
// k x blockTime from 0 at the oldest point, separated by one blank; each number in the
// 23-character scientific form of the settings files (FormatSettingsReal: a blank or "-", one
// digit, ".", 14 digits, "E", the exponent's sign and four digits, " 1.00000000000000E+0003");
// lines end in "\n".
std::string PeakTraceText(const std::vector<TPeakLogEntry>& log, std::int32_t index, bool wrapped,
                          double blockTime);
// The same points as CSV: the header "time_s,frequency_hz,level_db", then "time,frequency,level"
// per point, numbers in the shortest fixed "." form that reads back exactly (the recorder's
// floats as floats); lines end in CR LF.
std::string PeakTraceCsvText(const std::vector<TPeakLogEntry>& log, std::int32_t index,
                             bool wrapped, double blockTime);
// Writes PeakTraceCsvText when `path` ends in ".csv" (any case), else PeakTraceText, through the
// atomic writer (EFileWriteError on failure, the old file unchanged).
void SavePeakTrace(const std::string& path, const std::vector<TPeakLogEntry>& log,
                   std::int32_t index, bool wrapped, double blockTime);

// The six edits of the range panel as typed.
struct TPeakRangeTexts {
    std::string FrequencyUpper, FrequencyLower, LevelUpper, LevelLower, Points, Trigger;
};
// What the panel's edits ask for after TriggerLevel and the limits were taken into `settings`:
// the trigger level always; the frequency limits only when upper > lower and lower >= 0; the
// level limits only when upper > lower; the capacity only when above 1. False, and nothing
// changed, when any text is not a number (the points must be a whole number).
struct TPeakRangeResult {
    std::optional<long long> Capacity;
};
bool ApplyPeakRange(const TPeakRangeTexts& texts, TPeakRecorderSettings& settings,
                    TPeakRangeResult& result);

// Fixed notation with `decimals` digits, right-aligned to `width` with blanks, "." as the decimal
// separator whatever the locale: FixedText(12.0, 7, 1) is "   12.0".
std::string FixedText(double x, int width, int decimals);
