// SPDX-License-Identifier: GPL-3.0-or-later
// The views' pixel mappings, grids, captions, colour blending and trace split, without Qt.
#include "core/NumberText.h"
#include "ui/common/ViewMapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

TSpectrumAxis LinearAxis(int width, int height, double fmin, double fmax) {
    TSpectrumAxis axis;
    axis.Width = width;
    axis.Height = height;
    axis.FMin = fmin;
    axis.FMax = fmax;
    return axis;
}

TSpectrumAxis LogAxis(int width, int height, double sampleRate, int n, bool zoom = false,
                      double cutOn = 0, double cutOff = 0) {
    const TFrequencyRange range = SpectrumFrequencyRange(true, zoom, sampleRate, n, cutOn, cutOff);
    TSpectrumAxis axis = LinearAxis(width, height, range.Min, range.Max);
    axis.Log = true;
    return axis;
}

std::vector<std::string> Texts(const std::vector<TFrequencyCaption>& captions) {
    std::vector<std::string> texts;
    for (const auto& caption : captions)
        texts.push_back(caption.Text);
    return texts;
}

const std::string kMicro = "\xC2\xB5";

} // namespace

TEST(ViewMapping, RoundsToNearestWithTiesToEvenWithinTheIntegerRange) {
    EXPECT_EQ(RoundToPixel(2.5), 2);
    EXPECT_EQ(RoundToPixel(3.5), 4);
    EXPECT_EQ(RoundToPixel(-2.5), -2);
    EXPECT_EQ(RoundToPixel(2.4999), 2);
    EXPECT_EQ(RoundToPixel(1e300), INT32_MAX);
    EXPECT_EQ(RoundToPixel(-1e300), INT32_MIN);
    EXPECT_EQ(RoundToPixel(std::nan("")), 0);
}

TEST(ViewMapping, FrequencyRangeFollowsAxisAndZoom) {
    const auto linear = SpectrumFrequencyRange(false, false, 48000, 1024, 1000, 3000);
    EXPECT_DOUBLE_EQ(linear.Min, 0);
    EXPECT_DOUBLE_EQ(linear.Max, 24000);
    const auto linearZoom = SpectrumFrequencyRange(false, true, 48000, 1024, 1000, 3000);
    EXPECT_DOUBLE_EQ(linearZoom.Min, 1000);
    EXPECT_DOUBLE_EQ(linearZoom.Max, 3000);
    const auto log = SpectrumFrequencyRange(true, false, 48000, 1024, 1000, 3000);
    EXPECT_DOUBLE_EQ(log.Min, 46.875);
    EXPECT_DOUBLE_EQ(log.Max, 24000);
    const auto logZoom = SpectrumFrequencyRange(true, true, 48000, 1024, 0, 30000);
    EXPECT_DOUBLE_EQ(logZoom.Min, 46.875); // the cut-on below fs/N does not reach the log axis
    EXPECT_DOUBLE_EQ(logZoom.Max, 24000);
}

TEST(ViewMapping, LinearFrequencyMapping) {
    const TSpectrumAxis axis = LinearAxis(1000, 300, 0, 24000);
    EXPECT_EQ(FrequencyToX(axis, 0), 0);
    EXPECT_EQ(FrequencyToX(axis, 12000), 500);
    EXPECT_EQ(FrequencyToX(axis, 24000), 1000);
    EXPECT_EQ(FrequencyToX(axis, 60), 2); // 2.5 rounds to the even 2
    EXPECT_DOUBLE_EQ(XToFrequency(axis, 250), 6000);
    EXPECT_DOUBLE_EQ(XToFrequency(axis, 1), 24); // not rounded
    const TSpectrumAxis empty = LinearAxis(1000, 300, 1500, 1500);
    EXPECT_EQ(FrequencyToX(empty, 1500), 0);
    EXPECT_EQ(FrequencyToX(empty, 3000), 0);
}

TEST(ViewMapping, LogFrequencyMappingRoundsToWholeHertz) {
    const TSpectrumAxis axis = LinearAxis(600, 300, 10, 10000);
    TSpectrumAxis log = axis;
    log.Log = true;
    EXPECT_EQ(FrequencyToX(log, 10), 0);
    EXPECT_EQ(FrequencyToX(log, 100), 200);
    EXPECT_EQ(FrequencyToX(log, 1000), 400);
    EXPECT_EQ(FrequencyToX(log, 10000), 600);
    EXPECT_EQ(FrequencyToX(log, 0), 0);
    EXPECT_DOUBLE_EQ(XToFrequency(log, 200), 100);
    EXPECT_DOUBLE_EQ(XToFrequency(log, 100), 32); // 31.62 rounded
    for (int x = 0; x <= 600; x += 37)
        EXPECT_EQ(XToFrequency(log, x), std::round(XToFrequency(log, x)));
}

TEST(ViewMapping, LogMappingOfAnEmptyZoomedBandStaysAtTheLeftEdge) {
    const TSpectrumAxis axis = LogAxis(800, 300, 48000, 1024, true, 2000, 2000);
    EXPECT_EQ(FrequencyToX(axis, 2000), 0);
    EXPECT_EQ(FrequencyToX(axis, 5000), 0);
    EXPECT_EQ(FrequencyToX(axis, -5), 0);
    EXPECT_TRUE(LogGridMarks(axis, true).size() <= 9u);
}

TEST(ViewMapping, LevelMappingPutsFullScaleOnTheTopEdge) {
    TSpectrumAxis axis = LinearAxis(800, 401, 0, 24000);
    axis.YTop = 0;
    axis.Boxes = 13;
    EXPECT_DOUBLE_EQ(AmplitudeToDb(axis, 1.0, true), 0.0);
    EXPECT_DOUBLE_EQ(DbToY(axis, AmplitudeToDb(axis, 1.0, true)), 0.0);
    EXPECT_DOUBLE_EQ(AmplitudeToDb(axis, 0.1, false), -20.0);
    EXPECT_DOUBLE_EQ(AmplitudeToDb(axis, 0.0, false), -2000.0);
    EXPECT_DOUBLE_EQ(DbToY(axis, -130), 400.0); // (H - 1) at the bottom of 13 boxes
    EXPECT_DOUBLE_EQ(DbToY(axis, -65), 200.0);
    EXPECT_DOUBLE_EQ(YToDb(axis, 0), 0.0);
    EXPECT_NEAR(YToDb(axis, 401), -130.0, 1e-12);

    axis.RefLevel = 3;
    axis.YOffset = 10;
    EXPECT_DOUBLE_EQ(AmplitudeToDb(axis, 1.0, true), 7.0);
    EXPECT_DOUBLE_EQ(AmplitudeToDb(axis, 1.0, false), 0.0);
}

TEST(ViewMapping, BoxesBelowOneCountAsOne) {
    EXPECT_EQ(EffectiveBoxes(0), 1);
    EXPECT_EQ(EffectiveBoxes(-7), 1);
    EXPECT_EQ(EffectiveBoxes(13), 13);
    EXPECT_EQ(EffectiveBoxes(2000000000), MaxBoxes);
    TSpectrumAxis axis = LinearAxis(800, 101, 0, 24000);
    axis.Boxes = 0;
    EXPECT_DOUBLE_EQ(DbToY(axis, -10), 100.0);
    EXPECT_DOUBLE_EQ(YToDb(axis, 101), -10.0);
    EXPECT_EQ(BoxLineY(101, 1, 0), 101);
    EXPECT_EQ(BoxLineY(500, 3, 13), 115);         // 1500 div 13
    EXPECT_EQ(BoxLineY(40000, 999, 1000), 39960); // no 32-bit overflow on the way
}

TEST(ViewMapping, BinToFrequencyIsLimitedToHalfTheRate) {
    EXPECT_DOUBLE_EQ(BinToFrequency(10, 48000, 1024), 468.75);
    EXPECT_DOUBLE_EQ(BinToFrequency(600, 48000, 1024), 24000);
    EXPECT_DOUBLE_EQ(BinToFrequency(-3, 48000, 1024), 0);
    EXPECT_DOUBLE_EQ(BinToFrequency(5, 48000, 0), 0);
}

TEST(ViewMapping, LinearGridAt48kspsHasLinesAt10And20kHzOnly) {
    const TSpectrumAxis axis = LinearAxis(1000, 300, 0, 24000);
    std::vector<double> lines;
    for (const TGridMark& mark : LinearGridMarks(axis))
        if (mark.X > 0)
            lines.push_back(mark.Frequency);
    EXPECT_EQ(lines, (std::vector<double>{10000, 20000}));
    EXPECT_EQ(Texts(FrequencyCaptions(axis, true)),
              (std::vector<std::string>{"0 Hz", "10 kHz", "20 kHz"}));
}

TEST(ViewMapping, CaptionsAreCentredButKeptInsideTheGraph) {
    EXPECT_EQ(CaptionLeft(500, 40, 1000), 480); // centred where it fits
    EXPECT_EQ(CaptionLeft(0, 40, 1000), 0);     // "0 Hz" of a linear axis: from the left edge
    EXPECT_EQ(CaptionLeft(10, 40, 1000), 0);
    EXPECT_EQ(CaptionLeft(1000, 40, 1000), 960); // ends on the right edge
    EXPECT_EQ(CaptionLeft(995, 41, 1000), 959);
    EXPECT_EQ(CaptionLeft(50, 200, 100), 0); // wider than the graph: starts at its left edge
}

TEST(ViewMapping, LinearGridStepsAreOneTwoOrTenTimesAPowerOfTen) {
    // span 3000: step 100 -> 200 -> 1000 (no 500 step).
    const auto marks = LinearGridMarks(LinearAxis(1000, 300, 1000, 4000));
    ASSERT_GE(marks.size(), 2u);
    EXPECT_DOUBLE_EQ(marks[1].Frequency - marks[0].Frequency, 1000);
    EXPECT_DOUBLE_EQ(marks.front().Frequency, 1000);
    // span 800: step 100 -> 100 (8 steps fit).
    const auto narrow = LinearGridMarks(LinearAxis(1000, 300, 1000, 1800));
    ASSERT_GE(narrow.size(), 2u);
    EXPECT_DOUBLE_EQ(narrow[1].Frequency - narrow[0].Frequency, 100);
    // span 1500: step 100 -> 200.
    const auto middle = LinearGridMarks(LinearAxis(1000, 300, 0, 1500));
    EXPECT_DOUBLE_EQ(middle[1].Frequency - middle[0].Frequency, 200);
    EXPECT_TRUE(LinearGridMarks(LinearAxis(1000, 300, 1000, 1000)).empty());
}

TEST(ViewMapping, LogGridAt32768PointsHasDecadesFrom1HzWithTheFirstLeftOfTheGraph) {
    const TSpectrumAxis axis = LogAxis(1000, 300, 48000, 32768);
    EXPECT_NEAR(axis.FMin, 1.46484375, 1e-12);
    std::vector<double> decades;
    std::vector<int> xs;
    for (const TGridMark& mark : LogGridMarks(axis, true))
        if (mark.Decade) {
            decades.push_back(mark.Frequency);
            xs.push_back(mark.X);
        }
    ASSERT_EQ(decades.size(), 5u);
    EXPECT_NEAR(decades[0], 1, 1e-12);
    EXPECT_NEAR(decades[4], 10000, 1e-9);
    EXPECT_LT(xs[0], 0); // 1 Hz lies left of the graph
    for (std::size_t i = 1; i < xs.size(); ++i) {
        EXPECT_GT(xs[i], 0);
        EXPECT_LT(xs[i], 1000);
        EXPECT_EQ(xs[i], FrequencyToX(axis, decades[i]));
    }
    // Over four decades no sub-tick captions; the captions start at 10 Hz.
    EXPECT_EQ(Texts(FrequencyCaptions(axis, true)),
              (std::vector<std::string>{"10 Hz", "100 Hz", "1 kHz", "10 kHz"}));
}

TEST(ViewMapping, ZoomedLogViewOfLessThanADecadeWritesSubTickCaptions) {
    const TSpectrumAxis axis = LogAxis(1000, 300, 48000, 1024, true, 1000, 1500);
    EXPECT_DOUBLE_EQ(axis.FMin, 1000);
    EXPECT_DOUBLE_EQ(axis.FMax, 1500);
    // No decade line inside the graph: 1 kHz is its left edge.
    for (const TGridMark& mark : LogGridMarks(axis, true)) {
        if (mark.Decade) {
            EXPECT_TRUE(mark.X <= 0 || mark.X >= 1000);
        }
    }
    const auto texts = Texts(FrequencyCaptions(axis, true));
    EXPECT_EQ(texts, (std::vector<std::string>{"1 kHz", "2 kHz", "3 kHz", "4 kHz", "5 kHz", "6 kHz",
                                               "7 kHz", "8 kHz", "9 kHz"}));
    // Without sub-ticks only the decade remains.
    EXPECT_EQ(Texts(FrequencyCaptions(axis, false)), (std::vector<std::string>{"1 kHz"}));
    // A zoomed view of 100 Hz .. 1 kHz shows the sub-tick captions inside the graph.
    const TSpectrumAxis wider = LogAxis(1000, 300, 48000, 1024, true, 100, 1000);
    const auto captions = FrequencyCaptions(wider, true);
    ASSERT_GE(captions.size(), 9u);
    EXPECT_EQ(captions[1].Text, "200 Hz");
    EXPECT_EQ(captions[1].X, 301); // 1000 * log10(2)
}

TEST(ViewMapping, CaptionTexts) {
    EXPECT_EQ(FrequencyCaptionText(0), "0 Hz");
    EXPECT_EQ(FrequencyCaptionText(500), "500 Hz");
    EXPECT_EQ(FrequencyCaptionText(1000), "1 kHz");
    EXPECT_EQ(FrequencyCaptionText(2500), "2.5 kHz");
    EXPECT_EQ(DbCaptionText(0, 0), "0 dB");
    EXPECT_EQ(DbCaptionText(0, 1), "-10 dB");
    EXPECT_EQ(DbCaptionText(0, 12), "-120 dB");
    EXPECT_EQ(DbCaptionText(-3.14159, 0), "-3.141 dB");
    EXPECT_EQ(DbCaptionText(12.34567, 1), "2.345 dB");
}

TEST(ViewMapping, EngineeringFormOfHalfAMillisecondIsFiveHundredMicro) {
    const TEngineeringValue value = FormatEngineering(0.0005);
    EXPECT_DOUBLE_EQ(value.Mantissa, 500);
    EXPECT_EQ(value.Prefix, kMicro);
    EXPECT_EQ(ScopeCaptionText(0.0005, "s"), "500" + kMicro + "s");
    const TEngineeringValue hundred = FormatEngineering(100);
    EXPECT_DOUBLE_EQ(hundred.Mantissa, 100);
    EXPECT_EQ(hundred.Prefix, "");
    EXPECT_EQ(ScopeCaptionText(0.1, "V"), "100mV");
}

TEST(ViewMapping, BlendColourMixesChannelsInIntegerArithmetic) {
    const auto none = TSystemColourLookup{};
    // Blue trace over white: red and green (100-50)*255/100 = 127, blue 255.
    EXPECT_EQ(BlendColour(BlueColour, 0xFFFFFF, 50, none), 0xFF7F7Fu);
    EXPECT_EQ(BlendColour(0x0000FF, 0x000000, 25, none), 0x00003Fu); // 25*255/100 = 63
    EXPECT_EQ(BlendColour(0x102030, 0x102030, 50, none), 0x102030u);
    // A system colour is looked up; other high bytes above 2 count as black.
    const TSystemColourLookup lookup = [](int index) {
        return index == 15 ? TColour{0xF0F0F0} : TColour{0};
    };
    EXPECT_EQ(BlendColour(BlueColour, ButtonFaceColour, 50, lookup), 0xF77878u);
    EXPECT_EQ(ResolveColour(ButtonFaceColour, lookup), 0xF0F0F0u);
    EXPECT_EQ(ResolveColour(0x0512345u, lookup), 0x512345u); // high byte 0
    EXPECT_EQ(ResolveColour(0x02123456u, lookup), 0x123456u);
    EXPECT_EQ(ResolveColour(0x30123456u, lookup), 0u);
    EXPECT_EQ(BlendColour(0x30FFFFFFu, 0x000000, 100, lookup), 0u);
}

TEST(ViewMapping, TraceSplitsIntoThreePiecesSharingTheirJoins) {
    std::vector<TSpectrumPoint> records;
    for (int f : {100, 200, 300, 400, 500, 600})
        records.push_back({static_cast<double>(f), 1.0});
    const TTraceSplit split = SplitTrace(records, 250, 450);
    EXPECT_EQ(split.Begin[0], 0u);
    EXPECT_EQ(split.End[0], 2u); // 100, 200
    EXPECT_EQ(split.Begin[1], 1u);
    EXPECT_EQ(split.End[1], 4u); // 200 .. 400
    EXPECT_EQ(split.Begin[2], 3u);
    EXPECT_EQ(split.End[2], 6u); // 400 .. 600

    const TTraceSplit all = SplitTrace(records, 0, 1000);
    EXPECT_EQ(all.End[0], 0u);
    EXPECT_EQ(all.Begin[1], 0u);
    EXPECT_EQ(all.End[1], 6u);
    EXPECT_EQ(all.Begin[2], 5u);

    const TTraceSplit none = SplitTrace({}, 0, 1000);
    for (int piece = 0; piece < 3; ++piece)
        EXPECT_EQ(none.End[piece] - none.Begin[piece], 0u);
}

TEST(ViewMapping, ScopeMappings) {
    TScopeAxis axis;
    axis.Width = 1000;
    axis.Height = 401;
    axis.TimeBase = 0.01;
    axis.Zoom = 4;
    axis.Vfs = ScopeVfs(0, 0, 4);
    EXPECT_NEAR(axis.Vfs, std::sqrt(0.1) / 4, 1e-15);
    EXPECT_EQ(TimeToX(axis, 0.005), 500);
    EXPECT_EQ(TimeToX(axis, -0.00001), -1);
    EXPECT_EQ(ValueToY(axis, 0), 200); // 200.5 rounds to the even 200
    EXPECT_EQ(PointToY(axis, 0.25), 0);
    EXPECT_EQ(PointToY(axis, -0.25), 401);
    EXPECT_EQ(VoltageToY(axis, axis.Vfs), 0);
    EXPECT_EQ(VoltageToY(axis, 0), 200);
    EXPECT_NEAR(ScopeVfs(10, 0, 1), 1.0, 1e-12); // 10 dBm: 10 mW, 1 V peak into 50 Ohms
    EXPECT_NEAR(ScopeVfs(13, 3, 2), 0.5, 1e-12);
}

TEST(ViewMapping, ScopeMarkingStepsKeepAtLeastThreeStepsInTheHalfHeight) {
    EXPECT_NEAR(ScopeMarkingStep(std::sqrt(0.1)), 0.1, 1e-15); // 1 -> 0.5 -> 0.2 -> 0.1
    EXPECT_NEAR(ScopeMarkingStep(1.0), 0.2, 1e-15);            // 1 -> 0.5 -> 0.2
    EXPECT_NEAR(ScopeMarkingStep(2.0), 0.5, 1e-15);            // 1 -> 0.5
    EXPECT_NEAR(ScopeMarkingStep(3.5), 1.0, 1e-15);            // 10 -> 5 -> 2 -> 1
    EXPECT_EQ(ScopeMarkingStep(0.0), 0.0);
    EXPECT_EQ(ScopeMarkingStep(INFINITY), 0.0);
    // TrackAmp 24: zoom 2^24 and steps in the nanovolt range.
    const double vfs = ScopeVfs(0, 0, 16777216);
    const double step = ScopeMarkingStep(vfs);
    EXPECT_NEAR(step, 5e-9, 1e-24);
    EXPECT_EQ(ScopeCaptionText(TruncSignificant(2 * step, 2), "V"), "10nV");
    EXPECT_EQ(ScopeCaptionText(TruncSignificant(3 * step, 2), "V"), "15nV");
}

TEST(ViewMapping, TriggerMarkFollowsTheLevelAndStopsAtTheEdges) {
    EXPECT_EQ(TriggerMarkTop(0.0, 14, 400), 193);
    EXPECT_EQ(TriggerMarkTop(1.0, 14, 400), -7);
    EXPECT_EQ(TriggerMarkTop(-1.0, 14, 400), 393);
    EXPECT_DOUBLE_EQ(DraggedTriggerMarkTop(-500, 193, 200, 14, 400), -7);
    EXPECT_DOUBLE_EQ(DraggedTriggerMarkTop(5000, 193, 200, 14, 400), 393);
    EXPECT_DOUBLE_EQ(DraggedTriggerMarkTop(100, 193, 200, 14, 400), 93);
    EXPECT_DOUBLE_EQ(TriggerLevelOfMarkTop(-7, 14, 400), 1.0);
    EXPECT_DOUBLE_EQ(TriggerLevelOfMarkTop(393, 14, 400), -1.0);
    EXPECT_DOUBLE_EQ(TriggerLevelOfMarkTop(93, 14, 400), 0.5);
    EXPECT_DOUBLE_EQ(TriggerLevelOfMarkTop(93, 14, 0), 0.0);
}

TEST(ViewMapping, DbCaptionsOnEnoughLinesApartToRead) {
    const struct {
        int height, boxes, text, stride;
    } cases[] = {
        {520, 13, 15, 1}, // 40 px boxes
        {120, 13, 15, 2}, // 9.2 px boxes: every second line
        {120, 13, 19, 3}, // 18.5 < 19: every third
        {40, 13, 15, 5},  // 3 px boxes
        {10, 13, 15, 13}, // only the top line
        {0, 13, 15, 1},   // no graph
    };
    for (const auto& c : cases)
        EXPECT_EQ(DbCaptionStride(c.height, c.boxes, c.text), c.stride)
            << c.height << " px of " << c.boxes << " boxes";
}

TEST(ViewMapping, CaptionsThatFitKeepMajorOnesFirstThenFromTheLeft) {
    // Spans of 40 px every 30 px: every other one fits with a gap of 3 px.
    std::vector<TCaptionSpan> row;
    for (int i = 0; i < 7; ++i)
        row.push_back({i * 30, 40, true});
    EXPECT_EQ(CaptionsThatFit(row, 3),
              (std::vector<bool>{true, false, true, false, true, false, true}));
    // A decade keeps its place against a sub-tick left of it, which then yields.
    const std::vector<TCaptionSpan> log = {
        {0, 30, true}, {50, 30, false}, {70, 30, true}, {140, 30, false}};
    EXPECT_EQ(CaptionsThatFit(log, 3), (std::vector<bool>{true, false, true, true}));
    // Captions that do not touch are all kept.
    EXPECT_EQ(CaptionsThatFit(std::vector<TCaptionSpan>{{0, 10, false}, {14, 10, false}}, 3),
              (std::vector<bool>{true, true}));
    EXPECT_TRUE(CaptionsThatFit({}, 3).empty());
}

TEST(ViewMapping, ContrastingColourIsBlackOnLightAndWhiteOnDark) {
    const auto buttonFace = [](int) { return TColour{0xEFEFEF}; };
    const std::pair<TColour, TColour> cases[] = {
        {0xFFFFFFu, BlackColour},           {ButtonFaceColour, BlackColour},
        {TransparencyKeyColour, 0xFFFFFFu}, {0x800000u, 0xFFFFFFu},   // navy
        {0x00FFFFu, BlackColour},           {0x0000FFu, BlackColour}, // yellow, red
    };
    for (const auto& [background, text] : cases)
        EXPECT_EQ(ContrastingColour(background, buttonFace), text) << std::hex << background;
    EXPECT_NEAR(RelativeLuminance(0xFFFFFFu), 1.0, 1e-12);
    EXPECT_NEAR(RelativeLuminance(0x00FF00u), 0.7152, 1e-12);
}
