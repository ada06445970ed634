// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry of what floats over the spectrum graph, in whole pixels.
#include "core/OverlayGeometry.h"

#include "core/NumberText.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

// Nearest integer, ties to even, limited to the int range; NaN gives 0.
int Nearest(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded <= static_cast<double>(INT_MIN))
        return INT_MIN;
    if (rounded >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(rounded);
}

int FrequencyAt(const TBandDragContext& c, int x) {
    return c.XToFrequency ? Nearest(c.XToFrequency(static_cast<double>(x))) : 0;
}

// The cut-on at fL and the cut-off that goes with it, limited as the sliders limit them.
TBandDragResult CutOnAt(const TBandDragContext& c, int x, int cutOff) {
    const int fL = FrequencyAt(c, x);
    const int limitedCutOff = std::min(cutOff, c.CutOffMax);
    return {x, LimitPixel(fL, 0, limitedCutOff), limitedCutOff};
}

} // namespace

int LimitPixel(int v, int lo, int hi) {
    return std::max(lo, std::min(v, hi));
}

std::string CursorText(double frequencyHz, double levelDb, bool withLevel,
                       const std::string& unit) {
    // + 0.0 turns a rounded -0 into 0.
    std::string text = FormatGeneral(std::nearbyint(frequencyHz) + 0.0) + "Hz";
    if (withLevel)
        text += "\r" + FormatGeneral(std::nearbyint(10.0 * levelDb) / 10.0 + 0.0) + unit;
    return text;
}

TPixelPoint CursorLabelPosition(const TPixelRect& graph, int x, int y, int width, int height,
                                bool alignRight) {
    const int left = alignRight ? graph.Left + x : graph.Left + x - width;
    return {LimitPixel(left, graph.Left, graph.Left + graph.Width - width),
            LimitPixel(y - height, 0, graph.Height - height) + graph.Top};
}

TBandDragResult DragCutOnHandle(const TBandDragContext& c, int cursorX) {
    const int x = LimitPixel(cursorX, 0, c.CutOffX - 1);
    const int fL = FrequencyAt(c, x);
    const int cutOff = c.Log ? c.CutOff : c.CutOff - c.CutOn + fL;
    return CutOnAt(c, x, cutOff);
}

TBandDragResult DragCutOnCaption(const TBandDragContext& c, int relativeX, int startBandwidth) {
    const int x = LimitPixel(relativeX, 0, c.CutOffX - 1);
    const int fL = FrequencyAt(c, x);
    const int cutOff = c.Log ? c.CutOff : fL + startBandwidth;
    return CutOnAt(c, x, cutOff);
}

TBandDragResult DragCutOffHandle(const TBandDragContext& c, int cursorX) {
    const int x = LimitPixel(cursorX, c.CutOnX + 1, c.GraphWidth);
    return {x, c.CutOn, std::min(FrequencyAt(c, x), c.CutOffMax)};
}

TBandDragResult DragCutOffCaption(const TBandDragContext& c, int relativeX) {
    const int x = LimitPixel(relativeX, c.CutOnX + 1, c.GraphWidth - 1);
    return {x, c.CutOn, std::min(FrequencyAt(c, x), c.CutOffMax)};
}

std::array<TPixelPoint, 5> MarkerReadoutPositions(const TPixelRect& graph, int corner, int mainW,
                                                  int mainH,
                                                  std::span<const TLabelSize, 4> memories) {
    int shown = 0;
    int widest = 0;
    for (const TLabelSize& memory : memories)
        if (memory.Visible) {
            ++shown;
            widest = std::max(widest, memory.Width);
        }
    const int r = (widest + 2) * shown;
    const bool right = corner == mcTopRight || corner == mcBottomRight;
    const bool bottom = corner == mcBottomLeft || corner == mcBottomRight;
    TPixelPoint main{graph.Left + 2, graph.Top + 2};
    if (right)
        main.X = graph.Left + graph.Width - mainW - 2 - r;
    if (bottom)
        main.Y = graph.Top + graph.Height - mainH - 2;
    std::array<TPixelPoint, 5> positions;
    positions.fill(main);
    int x = main.X + mainW;
    for (std::size_t k = 0; k < 4; ++k)
        if (memories[k].Visible) {
            positions[k + 1] = {x + 2, main.Y};
            x += 2 + memories[k].Width;
        }
    return positions;
}

int AnnotationFontSize(int clientWidth, int relative) {
    const double size = static_cast<double>(clientWidth) * relative / 1024.0;
    return std::max(1, Nearest(size));
}

TPixelPoint LimitLabelPosition(const TPixelRect& graph, int left, int top, int width, int height) {
    return {LimitPixel(left, -width / 2, graph.Width - width / 2),
            LimitPixel(top, graph.Top - height / 2, graph.Top + graph.Height - height / 2)};
}

TPixelPoint LabelPositionOfFraction(const TPixelRect& graph, const TLabelFraction& f, int width,
                                    int height) {
    // Clamp the products first so that huge fractions cannot overflow the sums.
    const double big = 1e6;
    const int left = Nearest(std::clamp(graph.Width * f.L, -big, big)) + graph.Left;
    const int top = Nearest(std::clamp(graph.Height * f.T, -big, big)) + graph.Top - height;
    return LimitLabelPosition(graph, left, top, width, height);
}

TLabelFraction LabelFractionOfPosition(const TPixelRect& graph, int left, int top, int height,
                                       const TLabelFraction& previous) {
    TLabelFraction f = previous;
    if (graph.Width > 0)
        f.L = static_cast<double>(left - graph.Left) / graph.Width;
    if (graph.Height > 0)
        f.T = static_cast<double>(top + height - graph.Top) / graph.Height;
    return f;
}

std::array<TLabelFraction, 6> DefaultLabelFractions() {
    return {TLabelFraction{0.0, 0.1},  TLabelFraction{0.0, 0.16}, TLabelFraction{0.0, 0.22},
            TLabelFraction{0.0, 0.28}, TLabelFraction{0.0, 0.34}, TLabelFraction{0.0, 0.4}};
}
