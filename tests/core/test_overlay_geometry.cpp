// SPDX-License-Identifier: GPL-3.0-or-later
// Geometry over the spectrum graph: cursor read-out, band-edge drag rules, marker read-out
// corners, annotation font sizes and label positions.
#include "core/OverlayGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// A linear axis of 0..24000 Hz over 960 pixels: 25 Hz per pixel.
TBandDragContext Linear(int cutOn, int cutOff) {
    TBandDragContext c;
    c.Log = false;
    c.CutOn = cutOn;
    c.CutOff = cutOff;
    c.CutOffMax = 24000;
    c.GraphWidth = 960;
    c.CutOnX = cutOn / 25;
    c.CutOffX = cutOff / 25;
    c.XToFrequency = [](double x) { return x * 25.0; };
    return c;
}

// A log axis of 10..10000 Hz over 900 pixels: 300 pixels per decade.
TBandDragContext Log(int cutOn, int cutOff) {
    TBandDragContext c;
    c.Log = true;
    c.CutOn = cutOn;
    c.CutOff = cutOff;
    c.CutOffMax = 24000;
    c.GraphWidth = 900;
    c.XToFrequency = [](double x) { return std::round(10.0 * std::pow(10.0, x / 300.0)); };
    c.CutOnX = static_cast<int>(std::lround(300.0 * std::log10(cutOn / 10.0)));
    c.CutOffX = static_cast<int>(std::lround(300.0 * std::log10(cutOff / 10.0)));
    return c;
}

} // namespace

TEST(CursorReadout, TextRoundsFrequencyAndLevel) {
    EXPECT_EQ(CursorText(999.6, -20.04, true), "1000Hz\r-20dB");
    EXPECT_EQ(CursorText(1234.4, -3.25, true), "1234Hz\r-3.2dB"); // ties to even
    EXPECT_EQ(CursorText(1234.4, -3.35, true), "1234Hz\r-3.4dB");
    EXPECT_EQ(CursorText(0.4, -0.04, true), "0Hz\r0dB"); // no "-0"
    EXPECT_EQ(CursorText(2500.5, -3.0, false), "2500Hz");
}

TEST(CursorReadout, LabelSitsBesideAndAboveTheCursorInsideTheGraph) {
    const TPixelRect g{60, 20, 800, 400};
    // Right alignment: the label's left edge at the cursor; left: its right edge.
    EXPECT_EQ(CursorLabelPosition(g, 100, 200, 50, 30, true).X, 160);
    EXPECT_EQ(CursorLabelPosition(g, 100, 200, 50, 30, false).X, 110);
    EXPECT_EQ(CursorLabelPosition(g, 100, 200, 50, 30, false).Y, 20 + 170);
    // Near the edges the label stays inside the graph.
    EXPECT_EQ(CursorLabelPosition(g, 10, 200, 50, 30, false).X, 60);
    EXPECT_EQ(CursorLabelPosition(g, 790, 200, 50, 30, true).X, 60 + 800 - 50);
    EXPECT_EQ(CursorLabelPosition(g, 100, 5, 50, 30, true).Y, 20);
    EXPECT_EQ(CursorLabelPosition(g, 100, 900, 50, 30, true).Y, 20 + 400 - 30);
    // A graph smaller than the label: its top-left corner.
    const TPixelPoint tiny = CursorLabelPosition({60, 20, 10, 10}, 5, 5, 50, 30, true);
    EXPECT_EQ(tiny.X, 60);
    EXPECT_EQ(tiny.Y, 20);
}

TEST(BandDrag, CutOnHandleMovesTheBandOnALinearAxisAndOnlyItsEdgeOnALogAxis) {
    // 1000 .. 3000 Hz, the cut-on handle dragged to 1500 Hz.
    const TBandDragResult linear = DragCutOnHandle(Linear(1000, 3000), 60);
    EXPECT_EQ(linear.X, 60);
    EXPECT_EQ(linear.CutOn, 1500);
    EXPECT_EQ(linear.CutOff, 3500);

    const TBandDragContext log = Log(1000, 3000);
    const int x1500 = static_cast<int>(std::lround(300.0 * std::log10(150.0)));
    const TBandDragResult logResult = DragCutOnHandle(log, x1500);
    EXPECT_NEAR(logResult.CutOn, 1500, 15);
    EXPECT_EQ(logResult.CutOff, 3000);
}

TEST(BandDrag, HandlesStayAtLeastOnePixelApart) {
    const TBandDragContext c = Linear(1000, 3000); // handles at x 40 and 120
    const TBandDragResult on = DragCutOnHandle(c, 500);
    EXPECT_EQ(on.X, 119);
    EXPECT_LT(on.CutOn, on.CutOff);
    const TBandDragResult off = DragCutOffHandle(c, 0);
    EXPECT_EQ(off.X, 41);
    EXPECT_EQ(off.CutOff, 1025);
    EXPECT_EQ(off.CutOn, 1000);
    // Past either end of the graph.
    EXPECT_EQ(DragCutOnHandle(c, -50).X, 0);
    EXPECT_EQ(DragCutOffHandle(c, 5000).X, 960);
    EXPECT_EQ(DragCutOffCaption(c, 5000).X, 959);
    const TBandDragContext logC = Log(100, 110);
    const TBandDragResult logOn = DragCutOnHandle(logC, 10000);
    EXPECT_EQ(logOn.X, logC.CutOffX - 1);
    EXPECT_LE(logOn.CutOn, logOn.CutOff);
}

TEST(BandDrag, TheCutOffStaysWithinItsSliderAndTheCutOnBelowIt) {
    // Moving a 1000-Hz band up against the top of the slider range (23500 Hz here).
    TBandDragContext c = Linear(20000, 21000);
    c.CutOffMax = 23500;
    const TBandDragResult r = DragCutOnHandle(c, 839); // fL = 20975
    EXPECT_EQ(r.CutOff, 21975);
    c.CutOffX = 950;
    const TBandDragResult top = DragCutOnHandle(c, 940); // fL = 23500: cut-off 24500 -> 23500
    EXPECT_EQ(top.CutOff, 23500);
    EXPECT_EQ(top.CutOn, 23500);
}

TEST(MarkerReadoutPlaces, CornersAndTheMemoryReadoutsBesideTheMain) {
    const TPixelRect g{10, 20, 800, 400};
    const std::array<TLabelSize, 4> none = {};
    auto p = MarkerReadoutPositions(g, mcTopLeft, 100, 50, none);
    EXPECT_EQ(p[0].X, 12);
    EXPECT_EQ(p[0].Y, 22);
    p = MarkerReadoutPositions(g, mcTopRight, 100, 50, none);
    EXPECT_EQ(p[0].X, 10 + 800 - 100 - 2);
    p = MarkerReadoutPositions(g, mcBottomLeft, 100, 50, none);
    EXPECT_EQ(p[0].X, 12);
    EXPECT_EQ(p[0].Y, 20 + 400 - 50 - 2);

    // Memories 1 and 3 shown (widths 40 and 60): R = (60 + 2) * 2 moves the block left.
    const std::array<TLabelSize, 4> two = {TLabelSize{40, 50, true}, TLabelSize{99, 50, false},
                                           TLabelSize{60, 50, true}, TLabelSize{0, 0, false}};
    p = MarkerReadoutPositions(g, mcBottomRight, 100, 50, two);
    const int mainX = 10 + 800 - 100 - 2 - 124;
    EXPECT_EQ(p[0].X, mainX);
    EXPECT_EQ(p[0].Y, 368);
    EXPECT_EQ(p[1].X, mainX + 100 + 2);
    EXPECT_EQ(p[3].X, mainX + 100 + 2 + 40 + 2);
    EXPECT_EQ(p[1].Y, 368);
    EXPECT_EQ(p[3].Y, 368);
    // The whole block ends 2 pixels before the right edge plus the slack of the narrower one.
    EXPECT_LE(p[3].X + 60, 10 + 800 - 2);
}

TEST(AnnotationLabels, FontFollowsTheWindowWidth) {
    EXPECT_EQ(AnnotationFontSize(2048, 10), 20);
    EXPECT_EQ(AnnotationFontSize(1024, 10), 10);
    EXPECT_EQ(AnnotationFontSize(1126, 10), 11); // 10.996
    EXPECT_EQ(AnnotationFontSize(1075, 10), 10); // 10.498
    EXPECT_EQ(AnnotationFontSize(1, 10), 1);     // never below one point
    EXPECT_EQ(AnnotationFontSize(800, -10), 1);
}

TEST(AnnotationLabels, DefaultStaircaseAndFractionsBothWays) {
    const TPixelRect g{0, 18, 900, 500};
    const auto staircase = DefaultLabelFractions();
    const int h = 24;
    // Mem1 (number 1): its bottom edge 0.16 * 500 = 80 pixels below the graph's top.
    const TPixelPoint mem1 = LabelPositionOfFraction(g, staircase[1], 70, h);
    EXPECT_EQ(mem1.X, 0);
    EXPECT_EQ(mem1.Y + h, 18 + 80);
    EXPECT_EQ(LabelPositionOfFraction(g, staircase[0], 70, h).Y + h, 18 + 50);
    EXPECT_EQ(LabelPositionOfFraction(g, staircase[5], 70, h).Y + h, 18 + 200);

    const TLabelFraction f = LabelFractionOfPosition(g, 450, 18 + 250 - h, h, {});
    EXPECT_DOUBLE_EQ(f.L, 0.5);
    EXPECT_DOUBLE_EQ(f.T, 0.5);
    const TPixelPoint back = LabelPositionOfFraction(g, f, 70, h);
    EXPECT_EQ(back.X, 450);
    EXPECT_EQ(back.Y, 18 + 250 - h);
}

TEST(AnnotationLabels, PositionsStayReachableAndFinite) {
    const TPixelRect g{0, 18, 900, 500};
    // A drag far outside: at least half the label stays over the graph's range.
    const TPixelPoint far = LimitLabelPosition(g, 5000, -5000, 80, 20);
    EXPECT_EQ(far.X, 900 - 40);
    EXPECT_EQ(far.Y, 18 - 10);
    const TPixelPoint left = LimitLabelPosition(g, -5000, 5000, 80, 20);
    EXPECT_EQ(left.X, -40);
    EXPECT_EQ(left.Y, 18 + 500 - 10);
    // Stored fractions from a bigger window, a damaged file or a graph without size.
    const double inf = std::numeric_limits<double>::infinity();
    for (const TLabelFraction f :
         {TLabelFraction{50.0, -7.0}, TLabelFraction{inf, -inf},
          TLabelFraction{std::nan(""), std::nan("")}, TLabelFraction{1e300, 1e300}}) {
        const TPixelPoint p = LabelPositionOfFraction(g, f, 80, 20);
        EXPECT_GE(p.X, -40);
        EXPECT_LE(p.X, 860);
        EXPECT_GE(p.Y, 8);
        EXPECT_LE(p.Y, 508);
    }
    const TPixelRect empty{0, 18, 0, 0};
    const TLabelFraction kept =
        LabelFractionOfPosition(empty, 30, 40, 20, TLabelFraction{0.25, 0.75});
    EXPECT_DOUBLE_EQ(kept.L, 0.25);
    EXPECT_DOUBLE_EQ(kept.T, 0.75);
    const TPixelPoint inEmpty = LabelPositionOfFraction(empty, kept, 80, 20);
    EXPECT_EQ(inEmpty.X, -40);
    EXPECT_EQ(inEmpty.Y, 8);
}
