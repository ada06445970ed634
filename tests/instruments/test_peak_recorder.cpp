// SPDX-License-Identifier: GPL-3.0-or-later
// The peak recorder without a window: ring, mappings, grid and time steps, trace file, range panel.
#include "instruments/PeakRecorder.h"

#include "files/AtomicFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

std::vector<TPeakLogEntry> Ring(std::initializer_list<float> frequencies) {
    std::vector<TPeakLogEntry> log;
    for (float f : frequencies)
        log.push_back({f, -f / 100.0f});
    return log;
}

} // namespace

TEST(PeakRing, ClearZeroesEverySlotAndRestarts) {
    auto log = Ring({1, 2, 3});
    std::int32_t index = 2;
    bool wrapped = true;
    ClearPeakLog(log, index, wrapped);
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(wrapped);
    for (const auto& entry : log) {
        EXPECT_EQ(entry.Frequency, 0.0f);
        EXPECT_EQ(entry.Level, 0.0f);
    }
}

TEST(PeakRing, ResizeKeepsSlotsAndRefusesWhatDoesNotFit) {
    auto log = Ring({1, 2, 3, 4});
    std::int32_t index = 3;
    bool wrapped = false;
    ResizePeakLog(log, index, wrapped, 6);
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[2].Frequency, 3.0f);
    EXPECT_EQ(log[5].Frequency, 0.0f);
    EXPECT_EQ(index, 3);

    // 10^12 points of 8 bytes: refused with a message, the ring untouched.
    try {
        ResizePeakLog(log, index, wrapped, 1000000000000LL);
        FAIL() << "10^12 points were accepted";
    } catch (const EPeakCapacityError& error) {
        EXPECT_STREQ(error.what(), "Not enough memory for 1000000000000 data points.");
    }
    EXPECT_EQ(log.size(), 6u);
    EXPECT_EQ(log[3].Frequency, 4.0f);
    EXPECT_THROW(ResizePeakLog(log, index, wrapped, 1), EPeakCapacityError);
    EXPECT_THROW(ResizePeakLog(log, index, wrapped, -5), EPeakCapacityError);
    EXPECT_EQ(log.size(), 6u);

    // Shrinking below the write position: the ring is full of old points and restarts at 0.
    ResizePeakLog(log, index, wrapped, 2);
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(wrapped);
}

TEST(PeakRing, PointsInRecordingOrder) {
    const auto log = Ring({10, 20, 30, 40, 50});
    auto points = PeakPointsOldestFirst(log, 2, false);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].Frequency, 10.0f);
    EXPECT_EQ(points[1].Frequency, 20.0f);
    // Wrapped with the next slot at 2: slot 2 is the oldest, slot 1 the newest.
    points = PeakPointsOldestFirst(log, 2, true);
    ASSERT_EQ(points.size(), 5u);
    const float expected[] = {30, 40, 50, 10, 20};
    for (int k = 0; k < 5; ++k)
        EXPECT_EQ(points[k].Frequency, expected[k]);
    EXPECT_EQ(PeakPointsOldestFirst(log, 0, true).front().Frequency, 10.0f);
}

TEST(PeakMapping, TimeAndValueToPixels) {
    EXPECT_EQ(PeakTimeToX(0.0, 10.0, 501), 500); // now: the right edge
    EXPECT_EQ(PeakTimeToX(10.0, 10.0, 501), 0);  // the whole span back: the left edge
    EXPECT_EQ(PeakTimeToX(2.5, 10.0, 501), 375);
    EXPECT_EQ(PeakValueToY(20000.0, 0.0, 20000.0, 201), 0);
    EXPECT_EQ(PeakValueToY(0.0, 0.0, 20000.0, 201), 200);
    EXPECT_EQ(PeakValueToY(5000.0, 0.0, 20000.0, 201), 150);
    EXPECT_EQ(PeakValueToY(-50.0, -100.0, 0.0, 201), 100);
    EXPECT_EQ(PeakValueToY(-50.0, -100.0, 0.0, 200), 100); // 99.5 rounds to even
    EXPECT_EQ(PeakValueToY(123.0, 5.0, 5.0, 201), 0);      // no range: the top row
    EXPECT_EQ(PeakValueToY(123.0, 9.0, 5.0, 201), 0);
}

TEST(PeakGrid, StepRule) {
    // d = 20000: 10^4 / 10 = 1000 gives 20 lines, doubled: 2000 and 11 lines from 0.
    auto values = PeakGridValues(0.0, 20000.0);
    ASSERT_EQ(values.size(), 11u);
    EXPECT_DOUBLE_EQ(values[1], 2000.0);
    EXPECT_DOUBLE_EQ(values.back(), 20000.0);
    // d = 100 dB: 10^2 / 10 = 10 gives exactly 10 spans, no change.
    values = PeakGridValues(-100.0, 0.0);
    ASSERT_EQ(values.size(), 11u);
    EXPECT_DOUBLE_EQ(values[0], -100.0);
    EXPECT_DOUBLE_EQ(values[1], -90.0);
    // d = 4000: round(log10 4000) = 4, step 1000 -> 4 spans.
    values = PeakGridValues(1000.0, 5000.0);
    ASSERT_EQ(values.size(), 5u);
    // d = 3000: round(3.48) = 3, step 100 -> 30 spans, x2 = 15 still above 10, x5: step 1000.
    values = PeakGridValues(0.0, 3000.0);
    ASSERT_EQ(values.size(), 4u);
    EXPECT_DOUBLE_EQ(values[1], 1000.0);
    // The first value is the lower limit rounded to a step, and may lie below it.
    values = PeakGridValues(-37.0, 0.0); // step 10: from round(-3.7) = -4 -> -40
    EXPECT_DOUBLE_EQ(values.front(), -40.0);
    EXPECT_TRUE(PeakGridValues(5.0, 5.0).empty());
    EXPECT_TRUE(PeakGridValues(6.0, 5.0).empty());
    EXPECT_LE(PeakGridValues(-1e300, 1e300).size(), 1000u);
}

TEST(PeakTimeAxis, ResolutionAndSpan) {
    const TPeakTimeAxis axis = PeakTimeAxis(1000, 2048, 48000);
    EXPECT_EQ(axis.ResolutionText, "time resolution = 42.7 ms");
    EXPECT_NEAR(axis.Span, 42.67, 0.005);
    // T = 42.67: step 10^(2 - 1) = 10, T / step = 4.3 < 6 -> 5; ticks 5 .. 45 (round(8.53) = 9).
    ASSERT_EQ(axis.Ticks.size(), 9u);
    EXPECT_DOUBLE_EQ(axis.Ticks[0], 5.0);
    EXPECT_DOUBLE_EQ(axis.Ticks.back(), 45.0); // beyond the span: drawn off the chart, no label
    // 10000 points of 1024 at 48000: T = 213.3 s, step 10, 21.3 > 15 -> 20.
    const TPeakTimeAxis wide = PeakTimeAxis(10000, 1024, 48000);
    EXPECT_EQ(wide.ResolutionText, "time resolution = 21.3 ms");
    ASSERT_EQ(wide.Ticks.size(), 11u);
    EXPECT_DOUBLE_EQ(wide.Ticks[0], 20.0);
    EXPECT_TRUE(PeakTimeAxis(0, 1024, 48000).Ticks.empty());
    EXPECT_EQ(PeakTimeAxis(1000, 64, 192000).ResolutionText, "time resolution = 0.3 ms");
}

TEST(PeakTrace, NewestAtTheRightEdgeAndOnlyRecordedPoints) {
    std::vector<TPeakLogEntry> log(5);
    log[0] = {1000.0f, -10.0f};
    log[1] = {2000.0f, -20.0f};
    const auto pixels = PeakTracePixels(log, 2, false, false, 0.0, 4000.0, 101, 41);
    ASSERT_EQ(pixels.size(), 2u); // slots 2..4 are not recorded yet: nothing drawn there
    EXPECT_EQ(pixels[0].X, 100);  // the newest point, slot 1
    EXPECT_EQ(pixels[0].Y, 20);
    EXPECT_EQ(pixels[1].X, 75); // slot 0
    EXPECT_EQ(pixels[1].Y, 30);
    const auto levels = PeakTracePixels(log, 2, false, true, -40.0, 0.0, 101, 41);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].Y, 20);
    EXPECT_EQ(levels[1].Y, 10);
    // Wrapped: every slot, the oldest at the left edge.
    const auto wrapped = PeakTracePixels(log, 2, true, false, 0.0, 4000.0, 101, 41);
    ASSERT_EQ(wrapped.size(), 5u);
    EXPECT_EQ(wrapped[2].X, 50); // slot 4
    EXPECT_EQ(wrapped[4].X, 0);  // slot 2, the oldest
    EXPECT_TRUE(PeakTracePixels(log, 0, false, false, 0.0, 4000.0, 101, 41).empty());
    EXPECT_TRUE(
        PeakTracePixels(std::vector<TPeakLogEntry>(1), 0, true, false, 0, 1, 10, 10).empty());
}

TEST(PeakTraceFile, OldestFirstWithTimesFromZero) {
    // Not wrapped: the recorded slots only.
    const auto log = Ring({1000.5f, 2000, 3000, 0, 0});
    // Each number in the settings files' 23-character form, one blank between them.
    EXPECT_EQ(PeakTraceText(log, 3, false, 0.5),
              " 0.00000000000000E+0000  1.00050000000000E+0003 -1.00050001144409E+0001\n"
              " 5.00000000000000E-0001  2.00000000000000E+0003 -2.00000000000000E+0001\n"
              " 1.00000000000000E+0000  3.00000000000000E+0003 -3.00000000000000E+0001\n");
    // Wrapped with the next slot at 1: slot 1 is the oldest point and starts at time 0.
    const auto full = Ring({50, 10, 20, 30, 40});
    std::istringstream lines(PeakTraceText(full, 1, true, 0.25));
    double t = 0, f = 0, l = 0;
    const double frequencies[] = {10, 20, 30, 40, 50};
    for (int k = 0; k < 5; ++k) {
        ASSERT_TRUE(lines >> t >> f >> l);
        EXPECT_DOUBLE_EQ(t, 0.25 * k);
        EXPECT_EQ(f, frequencies[k]);
    }
    EXPECT_FALSE(lines >> t);
    EXPECT_EQ(PeakTraceText(log, 0, false, 0.5), "");
}

TEST(PeakTraceFile, WrittenAtomicallyAndAFailureLeavesTheOldFile) {
    char pattern[] = "/tmp/ps-peak-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    const std::string path = folder + "/trace.txt";
    const auto log = Ring({100, 200});
    SavePeakTrace(path, log, 2, false, 0.1);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), PeakTraceText(log, 2, false, 0.1));
    // A ".csv" name gives CSV with a header; the recorder's floats as floats.
    SavePeakTrace(folder + "/trace.CSV", Ring({1000.5f, 2000}), 2, false, 0.1);
    std::ifstream csv(folder + "/trace.CSV", std::ios::binary);
    std::stringstream csvText;
    csvText << csv.rdbuf();
    EXPECT_EQ(csvText.str(),
              "time_s,frequency_hz,level_db\r\n0,1000.5,-10.005\r\n0.1,2000,-20\r\n");
    EXPECT_THROW(SavePeakTrace(folder + "/no-such-folder/trace.txt", log, 2, false, 0.1),
                 EFileWriteError);
    std::filesystem::remove_all(folder);
}

TEST(PeakRangePanel, LimitsTakenOnlyWhenSound) {
    TPeakRecorderSettings settings;
    TPeakRangeResult result;
    ASSERT_TRUE(ApplyPeakRange({"8000", "100", "-10", "-90", "500", "-40"}, settings, result));
    EXPECT_EQ(settings.FrequencyUpper, 8000.0);
    EXPECT_EQ(settings.FrequencyLower, 100.0);
    EXPECT_EQ(settings.LevelUpper, -10.0);
    EXPECT_EQ(settings.LevelLower, -90.0);
    EXPECT_EQ(settings.TriggerLevel, -40.0);
    EXPECT_EQ(result.Capacity, 500);

    // Upper 100 below lower 200: ignored; a negative lower limit: ignored; the level range
    // upside down: ignored; one point: no new capacity. The trigger level is always taken.
    ASSERT_TRUE(ApplyPeakRange({"100", "200", "-90", "-10", "1", "-20"}, settings, result));
    EXPECT_EQ(settings.FrequencyUpper, 8000.0);
    EXPECT_EQ(settings.FrequencyLower, 100.0);
    EXPECT_EQ(settings.LevelUpper, -10.0);
    EXPECT_FALSE(result.Capacity);
    EXPECT_EQ(settings.TriggerLevel, -20.0);
    ASSERT_TRUE(ApplyPeakRange({"5000", "-1", "0", "-100", "1000", "-20"}, settings, result));
    EXPECT_EQ(settings.FrequencyUpper, 8000.0);
    EXPECT_EQ(settings.FrequencyLower, 100.0);
    EXPECT_EQ(settings.LevelLower, -100.0);

    // Text that is not a number, or points that are not whole: nothing changes at all.
    const TPeakRecorderSettings before = settings;
    EXPECT_FALSE(ApplyPeakRange({"5000", "0", "0", "-100", "1000", "abc"}, settings, result));
    EXPECT_FALSE(ApplyPeakRange({"5000", "0", "0", "-100", "10.5", "-10"}, settings, result));
    EXPECT_FALSE(ApplyPeakRange({"", "0", "0", "-100", "1000", "-10"}, settings, result));
    EXPECT_EQ(settings.TriggerLevel, before.TriggerLevel);
    EXPECT_EQ(settings.FrequencyLower, before.FrequencyLower);
}

TEST(PeakTexts, FixedTextIgnoresTheLocale) {
    EXPECT_EQ(FixedText(12.0, 7, 1), "   12.0");
    EXPECT_EQ(FixedText(-0.25, 3, 3), "-0.250");
    EXPECT_EQ(FixedText(1234.5678, 10, 6), "1234.567800");
}
