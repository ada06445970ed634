// SPDX-License-Identifier: GPL-3.0-or-later
// Marker levels on a trace (bisection, dB interpolation, the ends) and the read-out texts.
#include "core/MarkerReadout.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <vector>

namespace {

// Records at the given frequencies with the given levels in dB (magnitude 10^(L/20)).
std::vector<TSpectrumPoint> Trace(const std::vector<std::pair<double, double>>& records) {
    std::vector<TSpectrumPoint> trace;
    for (const auto& [f, db] : records)
        trace.push_back({f, std::pow(10.0, db / 20.0)});
    return trace;
}

} // namespace

TEST(MarkerLevel, OnARecordBetweenRecordsAndBeyondTheEnds) {
    const auto trace = Trace({{0, -100}, {100, 0}, {200, -40}, {400, -10}});
    EXPECT_NEAR(MarkerLevelDb(trace, 100, 0), 0.0, 1e-12);
    EXPECT_NEAR(MarkerLevelDb(trace, 200, 0), -40.0, 1e-12);
    // Half-way in frequency is half-way in dB (-20), not half the magnitude (about -5.9 dB).
    EXPECT_NEAR(MarkerLevelDb(trace, 150, 0), -20.0, 1e-9);
    EXPECT_NEAR(MarkerLevelDb(trace, 250, 0), -32.5, 1e-9);
    // Above the last record: the last record's level; below the first: the first's.
    EXPECT_NEAR(MarkerLevelDb(trace, 400, 0), -10.0, 1e-12);
    EXPECT_NEAR(MarkerLevelDb(trace, 1e9, 0), -10.0, 1e-12);
    EXPECT_NEAR(MarkerLevelDb(Trace({{20, -3}, {40, -6}}), 10, 0), -3.0, 1e-12);
    EXPECT_NEAR(MarkerLevelDb(trace, -5, 0), -100.0, 1e-12);
    // The calibration offset is added to every level.
    EXPECT_NEAR(MarkerLevelDb(trace, 150, 7.5), -12.5, 1e-9);
}

TEST(MarkerLevel, EmptyTraceSilenceAndOneRecord) {
    EXPECT_EQ(MarkerLevelDb({}, 1000, 0), 0.0);
    const std::vector<TSpectrumPoint> silent = {{0, 0.0}, {10, 0.0}};
    EXPECT_NEAR(MarkerLevelDb(silent, 5, 0), -2000.0, 1e-9); // floored at 1e-100
    const auto one = Trace({{50, -6}});
    EXPECT_NEAR(MarkerLevelDb(one, 10, 0), -6.0, 1e-12);
    EXPECT_NEAR(MarkerLevelDb(one, 90, 0), -6.0, 1e-12);
    EXPECT_EQ(MarkerLevelDb(one, std::nan(""), 0), 0.0);
}

TEST(MarkerLevel, BisectionAgreesWithAScanForEverySizeAndPosition) {
    // Odd and even sizes around powers of two; records spaced unevenly; markers on every
    // record, between every pair and outside.
    for (std::size_t n : {1u, 2u, 3u, 7u, 8u, 9u, 1023u, 1024u, 1025u}) {
        std::vector<TSpectrumPoint> trace(n);
        for (std::size_t i = 0; i < n; ++i)
            trace[i] = {static_cast<double>(i * i + 3 * i), 1.0 / (1.0 + static_cast<double>(i))};
        const auto scan = [&trace](double f) {
            std::size_t i = 0;
            while (i + 1 < trace.size() && trace[i + 1].x <= f)
                ++i;
            const double la = MagnitudeDb(trace[i].y, 0);
            if (trace[i].x >= f || i + 1 == trace.size())
                return la;
            const double lb = MagnitudeDb(trace[i + 1].y, 0);
            return la + (lb - la) * (f - trace[i].x) / (trace[i + 1].x - trace[i].x);
        };
        for (std::size_t i = 0; i < n; i += std::max<std::size_t>(1, n / 50)) {
            for (double f : {trace[i].x, trace[i].x + 0.5, trace[i].x - 0.25}) {
                SCOPED_TRACE(testing::Message() << "n=" << n << " f=" << f);
                EXPECT_NEAR(MarkerLevelDb(trace, f, 0), scan(f), 1e-9);
            }
        }
    }
}

TEST(MarkerTexts, FixedWidthLinesForTheCheckedMarkersOnly) {
    const auto main = Trace({{0, -90}, {1000, -20}, {2000, -40}});
    const auto mem1 = Trace({{500, -3.04}, {1000, -6.05}});
    TMarkerTraces traces;
    traces.Main = main;
    traces.MainOffsetDb = 10.0;
    traces.Memory[0] = mem1;
    traces.MemoryChecked = {true, false, true, false};
    const std::vector<TMarker> markers = {{true, 1000}, {false, 100}, {true, 1500},
                                          {false, 0},   {false, 0},   {true, 123456.6}};
    const TMarkerTexts texts = BuildMarkerTexts(markers, traces);
    EXPECT_TRUE(texts.AnyChecked);
    EXPECT_EQ(texts.Main, "  1000 Hz:  -10.0 dB\r\n"
                          "  1500 Hz:  -20.0 dB\r\n"
                          "123457 Hz:  -30.0 dB\r\n");
    // Memory levels are not calibrated; an empty memory reads 0; an unchecked one stays blank.
    EXPECT_EQ(texts.Memory[0], "   -6.0 dB\r\n   -6.0 dB\r\n   -6.0 dB\r\n");
    EXPECT_EQ(texts.Memory[1], "\r\n\r\n\r\n");
    EXPECT_EQ(texts.Memory[2], "    0.0 dB\r\n    0.0 dB\r\n    0.0 dB\r\n");

    const TMarkerTexts none = BuildMarkerTexts(std::vector<TMarker>(6), traces);
    EXPECT_FALSE(none.AnyChecked);
    EXPECT_EQ(none.Main, "");
}

TEST(MarkerTexts, PointAsDecimalSeparatorInEveryLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma installed";
    const auto main = Trace({{0, -12.25}, {10, -12.25}});
    TMarkerTraces traces;
    traces.Main = main;
    const std::vector<TMarker> markers = {{true, 5}};
    const std::string text = BuildMarkerTexts(markers, traces).Main;
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(text, "     5 Hz:  -12.2 dB\r\n");
}
