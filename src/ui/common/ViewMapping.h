// SPDX-License-Identifier: GPL-3.0-or-later
// Qt-free pixel mappings, grids, captions and colour blending of the spectrum and scope views.
#pragma once

#include "core/MeasurementState.h"
#include "core/SpectrumSmoothing.h" // BinToFrequency

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// A colour in the 32-bit form the settings keep: low byte red, then green, then blue. A high
// byte of 0xFF names a system colour by its low byte (15 = button face).
using TColour = std::uint32_t;

constexpr TColour SystemColourFlag = 0xFF000000u;
constexpr TColour ButtonFaceColour = 0xFF00000Fu;
constexpr TColour TransparencyKeyColour = 0x010101u; // background shapes in transparent mode
constexpr TColour BlackColour = 0x000000u;
constexpr TColour RedColour = 0x0000FFu;
constexpr TColour BlueColour = 0xFF0000u;
constexpr TColour OliveColour = 0x008080u;

// Looks a system colour up by its index and returns it as a plain colour (high byte 0).
using TSystemColourLookup = std::function<TColour(int index)>;

// Nearest integer, ties to even, limited to the 32-bit range; NaN gives 0.
int RoundToPixel(double value);

// ---------------------------------------------------------------------------------------------
// Spectrum view

// Everything the spectrum mappings need, taken from the graph's size and the current settings.
struct TSpectrumAxis {
    int Width = 0;         // W of the graph, pixels
    int Height = 0;        // H of the graph, pixels
    double FMin = 0.0;     // Hz at x = 0
    double FMax = 0.0;     // Hz at x = W
    bool Log = false;      // logarithmic frequency axis
    double YTop = 0.0;     // dB at the top edge
    int Boxes = 13;        // 10-dB boxes over the height; callers pass EffectiveBoxes()
    double RefLevel = 0.0; // calibration reference, dB
    double YOffset = 0.0;  // display offset, dB
};

// Largest number of 10-dB boxes the view draws; more would only stack lines on the same rows.
constexpr int MaxBoxes = 1000;
// The box count in force: values below 1 count as 1 (no division by zero), above MaxBoxes as
// MaxBoxes.
int EffectiveBoxes(int boxes);

struct TFrequencyRange {
    double Min = 0.0; // Hz
    double Max = 0.0; // Hz
};

// Frequency span of the axis. Linear: [0, fs/2], zoomed [cut-on, cut-off]. Logarithmic:
// [fs/N, fs/2], zoomed [max(fs/N, cut-on), min(fs/2, cut-off)].
TFrequencyRange SpectrumFrequencyRange(bool log, bool zoom, double sampleRateHz, int blockLength,
                                       double cutOnHz, double cutOffHz);

// Linear: x = round(W * (f - fmin) / (fmax - fmin)), 0 for an empty span.
// Logarithmic: x = round(W * ln(f / fmin) / ln(fmax / fmin)), 0 for f <= 0 or an empty span.
int FrequencyToX(const TSpectrumAxis& axis, double frequencyHz);
// Linear: f = fmin + x / W * (fmax - fmin). Logarithmic: f = round(fmin * (fmax / fmin)^(x / W)),
// whole hertz. fmin when W is 0.
double XToFrequency(const TSpectrumAxis& axis, double x);
// 20 log10(max(1e-100, a)); calibrated: minus RefLevel plus YOffset.
double AmplitudeToDb(const TSpectrumAxis& axis, double amplitude, bool calibrated);
// (H - 1) * (YTop - d) / (10 * Boxes), not rounded.
double DbToY(const TSpectrumAxis& axis, double db);
// YTop - 10 * Boxes * y / H.
double YToDb(const TSpectrumAxis& axis, double y);

// Row of the k-th horizontal grid line: H * k div Boxes.
int BoxLineY(int height, int k, int boxes);

// One frequency grid position: its frequency and its x in graph pixels.
struct TGridMark {
    double Frequency = 0.0; // Hz
    int X = 0;              // pixels from the graph's left edge
    bool Decade = true;     // a decade line (false: a sub-tick 2..9 times a decade)
};

// Linear-step grid: fmin = XToFrequency(0), fmax = XToFrequency(W), span = fmax - fmin;
// step = 10^round(log10 span) / 10, doubled when span/step > 10, then times 5 when still > 10;
// f runs from round(fmin / step) * step while f < fmax. Every f is listed (lines are drawn where
// X > 0, captions where X >= 0). Empty for a span of 0.
std::vector<TGridMark> LinearGridMarks(const TSpectrumAxis& axis);
// Logarithmic grid: Lmin = log10 fmin, Lmax = log10 fmax, D = max(1e-10, Lmax - Lmin); for each
// decade d = trunc(Lmin) .. trunc(Lmax) a line at x = round(W * (d - Lmin) / D), and with
// subTicks also at log10(m) + d for m = 2..9.
std::vector<TGridMark> LogGridMarks(const TSpectrumAxis& axis, bool subTicks);

// A caption written on the frequency strip: its text and the x it is centred on (graph pixels).
struct TFrequencyCaption {
    std::string Text;
    int X = 0;
    bool Decade = true; // false: a sub-tick of the log axis (written only where room is left)
};

// Frequency captions. Log axis: each decade, and with subTicks while fewer than 1.1 decades
// are shown also its sub-ticks; only positions with x >= 0. Linear axis: the linear-step grid's
// frequencies with x >= 0.
std::vector<TFrequencyCaption> FrequencyCaptions(const TSpectrumAxis& axis, bool subTicks);
// Left edge of a caption of textWidth pixels centred on x, moved inwards so that the whole
// caption stays within 0 .. graphWidth: clamp(x - textWidth / 2, 0, graphWidth - textWidth), and
// 0 for a caption wider than the graph. Graph pixels.
int CaptionLeft(int x, int textWidth, int graphWidth);
// Mantissa of the frequency with an SI prefix, a blank, the prefix and "Hz": "1 kHz", "500 Hz".
std::string FrequencyCaptionText(double frequencyHz);
// Caption of the k-th dB line: TruncSignificant(YTop - 10k, 4) in the shortest form, a blank
// and the unit.
std::string DbCaptionText(double yTop, int k, const std::string& unit = "dB");
// Every how many dB lines a caption is written so that captions textHeight pixels high do not
// overlap on a graph `height` pixels high of `boxes` boxes: the smallest s >= 1 with
// s * height / boxes >= textHeight (1 for a height or box count that is not positive).
int DbCaptionStride(int height, int boxes, int textHeight);

// A caption's extent along the axis it labels, pixels.
struct TCaptionSpan {
    int Left = 0;
    int Width = 0;
    bool Major = true; // kept before the minor ones
};
// Which captions to write so that no two come closer than `gap` pixels: first the major ones,
// then the others, each from left to right and kept unless it comes closer than `gap` to one
// kept before. One flag per caption, in the order given.
std::vector<bool> CaptionsThatFit(std::span<const TCaptionSpan> captions, int gap);

// The colour as plain red/green/blue (high byte 0): system colours looked up, colours with a
// high byte above 2 taken as black.
TColour ResolveColour(TColour colour, const TSystemColourLookup& lookup);
// p percent of c1 and (100 - p) percent of c2 per channel, in integer arithmetic:
// ((100 - p) * c2 + p * c1) / 100.
TColour BlendColour(TColour c1, TColour c2, int percent, const TSystemColourLookup& lookup);

// Relative luminance of a plain colour (sRGB channels linearised, 0.2126 R + 0.7152 G +
// 0.0722 B), 0 for black to 1 for white.
double RelativeLuminance(TColour plain);
// Black or white, whichever stands out more from `background`: the larger contrast ratio
// (L1 + 0.05) / (L2 + 0.05) of the two relative luminances. For texts drawn over a background
// whose colour the user chooses.
TColour ContrastingColour(TColour background, const TSystemColourLookup& lookup);

// Index ranges of the three pieces of the main trace, [Begin, End) each: records below fL,
// then from the last of those the records below fU, then from the last of those the rest.
// Neighbouring pieces share their joining record. All empty for no records.
struct TTraceSplit {
    std::size_t Begin[3] = {0, 0, 0};
    std::size_t End[3] = {0, 0, 0};
};
TTraceSplit SplitTrace(std::span<const TSpectrumPoint> records, double fLowHz, double fHighHz);

// ---------------------------------------------------------------------------------------------
// Scope view

struct TScopeAxis {
    int Width = 0;         // W of the scope graph, pixels
    int Height = 0;        // H of the scope graph, pixels
    double TimeBase = 0.1; // s over the full width
    int Zoom = 1;          // ScopeZoom, amplitude magnification
    double Vfs = 0.0;      // V at half the height (see ScopeVfs)
};

// Peak voltage into 50 Ohms at half the view height: sqrt(100 * P) / zoom with
// P = 10^((YOffset - RefLevel) / 10) / 1000 W (a full-scale sine of YOffset - RefLevel dBm).
double ScopeVfs(double yOffset, double refLevel, int zoom);
// x = round(W * t / TimeBase).
int TimeToX(const TScopeAxis& axis, double seconds);
// y = round(H * (0.5 - 0.5 * u)) of a value already multiplied by the zoom.
int ValueToY(const TScopeAxis& axis, double u);
// y of a trace point: ValueToY(Zoom * v).
int PointToY(const TScopeAxis& axis, double v);
// y = round(H * (0.5 - 0.5 * V / Vfs)).
int VoltageToY(const TScopeAxis& axis, double volts);
// Spacing of the voltage lines: 10^round(log10 Vfs), then halved, times 2/5 and halved again,
// each only while fewer than 3 steps fit in Vfs: 10^k, 5, 2 or 1 times 10^(k-1). 0 for a Vfs
// that is not a positive finite number.
double ScopeMarkingStep(double vfs);
// A scope caption: mantissa with an SI prefix, the prefix and the unit ("100mV", "500µs").
std::string ScopeCaptionText(double value, const char* unit);

// Top of the trigger mark for a level: round((1 - level) * H / 2 - h / 2).
int TriggerMarkTop(double level, int markHeight, int viewHeight);
// Top of a dragged trigger mark: cursorY + startTop - startCursorY limited to
// -h/2 .. H - h/2.
double DraggedTriggerMarkTop(double cursorY, double startTop, double startCursorY, int markHeight,
                             int viewHeight);
// Level of a mark at top: (0.5 - (top + h/2) / H) * 2; 0 for a view without height.
double TriggerLevelOfMarkTop(double top, int markHeight, int viewHeight);
