// SPDX-License-Identifier: GPL-3.0-or-later
// Pixel mappings, grids, captions and colour blending of the spectrum and scope views.
#include "ui/common/ViewMapping.h"

#include "core/NumberText.h"

#include <algorithm>
#include <climits>
#include <cmath>

int RoundToPixel(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value); // the default mode: nearest, ties to even
    if (rounded <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (rounded >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(rounded);
}

int EffectiveBoxes(int boxes) {
    return std::clamp(boxes, 1, MaxBoxes);
}

TFrequencyRange SpectrumFrequencyRange(bool log, bool zoom, double sampleRateHz, int blockLength,
                                       double cutOnHz, double cutOffHz) {
    const double half = sampleRateHz / 2;
    if (!log)
        return zoom ? TFrequencyRange{cutOnHz, cutOffHz} : TFrequencyRange{0.0, half};
    const double lowest = blockLength > 0 ? sampleRateHz / blockLength : half;
    if (!zoom)
        return {lowest, half};
    return {std::max(lowest, cutOnHz), std::min(half, cutOffHz)};
}

int FrequencyToX(const TSpectrumAxis& axis, double frequencyHz) {
    if (!axis.Log) {
        const double span = axis.FMax - axis.FMin;
        if (span == 0.0)
            return 0;
        return RoundToPixel(axis.Width * (frequencyHz - axis.FMin) / span);
    }
    // An empty or inverted range (a zoomed band of zero width) and f <= 0 have no logarithm.
    if (frequencyHz <= 0.0 || axis.FMin <= 0.0 || axis.FMax <= axis.FMin)
        return 0;
    return RoundToPixel(axis.Width * std::log(frequencyHz / axis.FMin) /
                        std::log(axis.FMax / axis.FMin));
}

double XToFrequency(const TSpectrumAxis& axis, double x) {
    if (axis.Width <= 0)
        return axis.FMin;
    const double fraction = x / axis.Width;
    if (!axis.Log)
        return axis.FMin + fraction * (axis.FMax - axis.FMin);
    if (axis.FMin <= 0.0 || axis.FMax <= 0.0)
        return axis.FMin;
    return std::nearbyint(axis.FMin * std::pow(axis.FMax / axis.FMin, fraction));
}

double AmplitudeToDb(const TSpectrumAxis& axis, double amplitude, bool calibrated) {
    const double db = 20.0 * std::log10(std::max(1e-100, amplitude));
    return calibrated ? db - axis.RefLevel + axis.YOffset : db;
}

double DbToY(const TSpectrumAxis& axis, double db) {
    return (axis.Height - 1) * (axis.YTop - db) / (10.0 * EffectiveBoxes(axis.Boxes));
}

double YToDb(const TSpectrumAxis& axis, double y) {
    if (axis.Height <= 0)
        return axis.YTop;
    return axis.YTop - 10.0 * EffectiveBoxes(axis.Boxes) * y / axis.Height;
}

int BoxLineY(int height, int k, int boxes) {
    const long long rows = static_cast<long long>(height) * k;
    return static_cast<int>(rows / EffectiveBoxes(boxes));
}

std::vector<TGridMark> LinearGridMarks(const TSpectrumAxis& axis) {
    std::vector<TGridMark> marks;
    const double fmin = XToFrequency(axis, 0);
    const double fmax = XToFrequency(axis, axis.Width);
    const double span = fmax - fmin;
    if (!(span > 0.0) || !std::isfinite(span))
        return marks;
    double step = std::pow(10.0, std::nearbyint(std::log10(span))) / 10;
    if (span / step > 10)
        step *= 2;
    if (span / step > 10)
        step *= 5;
    // At most about 50 steps fit by construction; the cap only guards against f + step == f.
    constexpr int kMaxLines = 1000;
    const double first = std::nearbyint(fmin / step) * step;
    for (int j = 0; j < kMaxLines; ++j) {
        const double f = first + j * step;
        if (!(f < fmax))
            break;
        marks.push_back({f, FrequencyToX(axis, f), true});
    }
    return marks;
}

namespace {

struct TLogSpan {
    double Lmin = 0.0;
    double Lmax = 0.0;
    double D = 1e-10;
};

TLogSpan LogSpanOf(const TSpectrumAxis& axis) {
    TLogSpan span;
    span.Lmin = std::log10(axis.FMin);
    span.Lmax = std::log10(axis.FMax);
    span.D = std::max(1e-10, span.Lmax - span.Lmin);
    return span;
}

int LogX(const TSpectrumAxis& axis, const TLogSpan& span, double position) {
    return RoundToPixel(axis.Width * (position - span.Lmin) / span.D);
}

// Decades of the log grid, trunc(Lmin) .. trunc(Lmax); none when the range has no logarithm.
bool DecadeRange(const TSpectrumAxis& axis, const TLogSpan& span, int& first, int& last) {
    if (!(axis.FMin > 0.0) || !(axis.FMax > 0.0) || !std::isfinite(span.Lmin) ||
        !std::isfinite(span.Lmax))
        return false;
    first = static_cast<int>(std::trunc(span.Lmin));
    last = static_cast<int>(std::trunc(span.Lmax));
    return first <= last;
}

} // namespace

std::vector<TGridMark> LogGridMarks(const TSpectrumAxis& axis, bool subTicks) {
    std::vector<TGridMark> marks;
    const TLogSpan span = LogSpanOf(axis);
    int first = 0;
    int last = 0;
    if (!DecadeRange(axis, span, first, last))
        return marks;
    for (int d = first; d <= last; ++d) {
        marks.push_back({std::pow(10.0, d), LogX(axis, span, d), true});
        if (!subTicks)
            continue;
        for (int m = 2; m <= 9; ++m) {
            const double position = std::log10(static_cast<double>(m)) + d;
            marks.push_back({m * std::pow(10.0, d), LogX(axis, span, position), false});
        }
    }
    return marks;
}

std::vector<TFrequencyCaption> FrequencyCaptions(const TSpectrumAxis& axis, bool subTicks) {
    std::vector<TFrequencyCaption> captions;
    if (axis.Log) {
        const TLogSpan span = LogSpanOf(axis);
        const bool fewDecades = span.Lmax - span.Lmin < 1.1;
        for (const TGridMark& mark : LogGridMarks(axis, subTicks && fewDecades))
            if (mark.X >= 0)
                captions.push_back({FrequencyCaptionText(mark.Frequency), mark.X, mark.Decade});
        return captions;
    }
    for (const TGridMark& mark : LinearGridMarks(axis))
        if (mark.X >= 0)
            captions.push_back({FrequencyCaptionText(mark.Frequency), mark.X});
    return captions;
}

int CaptionLeft(int x, int textWidth, int graphWidth) {
    const int rightmost = std::max(graphWidth - textWidth, 0);
    return std::clamp(x - textWidth / 2, 0, rightmost);
}

std::string FrequencyCaptionText(double frequencyHz) {
    const TEngineeringValue value = FormatEngineering(frequencyHz);
    return FormatGeneral(value.Mantissa) + " " + value.Prefix + "Hz";
}

std::string DbCaptionText(double yTop, int k, const std::string& unit) {
    return FormatGeneral(TruncSignificant(yTop - 10.0 * k, 4)) + " " + unit;
}

int DbCaptionStride(int height, int boxes, int textHeight) {
    if (height <= 0 || boxes <= 0 || textHeight <= 0)
        return 1;
    // s * height / boxes >= textHeight, in integers: s = ceil(textHeight * boxes / height).
    const long long need = static_cast<long long>(textHeight) * boxes;
    return static_cast<int>(std::clamp<long long>((need + height - 1) / height, 1, boxes));
}

std::vector<bool> CaptionsThatFit(std::span<const TCaptionSpan> captions, int gap) {
    std::vector<bool> kept(captions.size(), false);
    const auto clear = [&](const TCaptionSpan& c) {
        for (std::size_t j = 0; j < captions.size(); ++j) {
            if (!kept[j])
                continue;
            const TCaptionSpan& other = captions[j];
            if (c.Left < other.Left + other.Width + gap && other.Left < c.Left + c.Width + gap)
                return false;
        }
        return true;
    };
    for (const bool major : {true, false}) {
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < captions.size(); ++i)
            if (captions[i].Major == major)
                order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return captions[a].Left < captions[b].Left;
        });
        for (const std::size_t i : order)
            kept[i] = clear(captions[i]);
    }
    return kept;
}

TColour ResolveColour(TColour colour, const TSystemColourLookup& lookup) {
    const TColour high = colour >> 24;
    if (high == 0xFF)
        return lookup ? (lookup(static_cast<int>(colour & 0xFF)) & 0xFFFFFFu) : BlackColour;
    if (high > 2)
        return BlackColour;
    return colour & 0xFFFFFFu;
}

TColour BlendColour(TColour c1, TColour c2, int percent, const TSystemColourLookup& lookup) {
    const TColour a = ResolveColour(c1, lookup);
    const TColour b = ResolveColour(c2, lookup);
    TColour out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        const int channel = std::clamp(((100 - percent) * cb + percent * ca) / 100, 0, 255);
        out |= static_cast<TColour>(channel) << shift;
    }
    return out;
}

double RelativeLuminance(TColour plain) {
    const auto linear = [plain](int shift) {
        const double c = static_cast<double>((plain >> shift) & 0xFF) / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(0) + 0.7152 * linear(8) + 0.0722 * linear(16);
}

TColour ContrastingColour(TColour background, const TSystemColourLookup& lookup) {
    const double l = RelativeLuminance(ResolveColour(background, lookup));
    const double onBlack = (l + 0.05) / 0.05; // contrast of black text
    const double onWhite = 1.05 / (l + 0.05); // of white text
    return onBlack >= onWhite ? BlackColour : 0xFFFFFFu;
}

TTraceSplit SplitTrace(std::span<const TSpectrumPoint> records, double fLowHz, double fHighHz) {
    TTraceSplit split;
    const std::size_t n = records.size();
    if (n == 0)
        return split;
    std::size_t i = 0;
    while (i < n && records[i].x < fLowHz)
        ++i;
    split.Begin[0] = 0;
    split.End[0] = i;
    split.Begin[1] = i > 0 ? i - 1 : 0;
    std::size_t j = std::max(i, split.Begin[1]);
    while (j < n && records[j].x < fHighHz)
        ++j;
    split.End[1] = j;
    split.Begin[2] = j > 0 ? j - 1 : 0;
    split.End[2] = n;
    return split;
}

double ScopeVfs(double yOffset, double refLevel, int zoom) {
    const double power = std::pow(10.0, (yOffset - refLevel) / 10) / 1000;
    return std::sqrt(100 * power) / std::max(1, zoom);
}

int TimeToX(const TScopeAxis& axis, double seconds) {
    if (axis.TimeBase == 0.0)
        return 0;
    return RoundToPixel(axis.Width * seconds / axis.TimeBase);
}

int ValueToY(const TScopeAxis& axis, double u) {
    return RoundToPixel(axis.Height * (0.5 - 0.5 * u));
}

int PointToY(const TScopeAxis& axis, double v) {
    return ValueToY(axis, static_cast<double>(axis.Zoom) * v);
}

int VoltageToY(const TScopeAxis& axis, double volts) {
    if (axis.Vfs == 0.0)
        return ValueToY(axis, 0.0);
    return ValueToY(axis, volts / axis.Vfs);
}

double ScopeMarkingStep(double vfs) {
    if (!(vfs > 0.0) || !std::isfinite(vfs))
        return 0.0;
    double step = std::pow(10.0, std::nearbyint(std::log10(vfs)));
    if (vfs / step < 3)
        step = step / 2;
    if (vfs / step < 3)
        step = step * 2 / 5;
    if (vfs / step < 3)
        step = step / 2;
    return step;
}

std::string ScopeCaptionText(double value, const char* unit) {
    return EngineeringText(value) + unit;
}

int TriggerMarkTop(double level, int markHeight, int viewHeight) {
    return RoundToPixel((1 - level) * viewHeight / 2 - markHeight / 2.0);
}

double DraggedTriggerMarkTop(double cursorY, double startTop, double startCursorY, int markHeight,
                             int viewHeight) {
    const double half = markHeight / 2.0;
    const double top = cursorY + startTop - startCursorY;
    return std::clamp(top, -half, std::max(-half, viewHeight - half));
}

double TriggerLevelOfMarkTop(double top, int markHeight, int viewHeight) {
    if (viewHeight <= 0)
        return 0.0;
    return (0.5 - (top + markHeight / 2.0) / viewHeight) * 2;
}
