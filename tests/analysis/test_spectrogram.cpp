// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram history: rows per interval, the strongest block, levels, a bounded ring.
#include "AnalysisTestSignals.h"
#include "analysis/Spectrogram.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace analysistest;

// A row lasts one block, or the chosen interval, and never less than 40 ms.
TEST(Spectrogram, BlocksPerRow) {
    struct Case {
        double rate;
        int n;
        double interval;
        int blocks;
    };
    for (const Case c :
         {Case{192000.0, 64, 0.0, 120}, Case{48000.0, 4096, 0.0, 1}, Case{48000.0, 4096, 0.5, 6},
          Case{48000.0, 1024, 0.04, 2}, Case{48000.0, 960, 0.1, 5}}) {
        TSpectrogram s(4);
        s.SetRowSeconds(c.interval);
        EXPECT_EQ(s.BlocksPerRow(c.rate, c.n), c.blocks)
            << c.rate << " " << c.n << " " << c.interval;
    }
}

// A row gathers the strongest value of its blocks: a tone in one block of 120 shows in the row
// at its frequency with its level (a sine centred on a bin); the row's time is its first block's.
TEST(Spectrogram, RowKeepsTheStrongestBlockAtItsFrequency) {
    const double rate = 192000.0;
    const int n = 64;
    const double toneHz = 9 * rate / n; // bin 9: 27 kHz
    TBlockTransform transform(n, 2);
    TSpectrogram s(8);
    s.SetAxis({0.0, rate / 2.0, false});
    const std::vector<double> silence(n, 0.0);
    const auto tone = Sine(n, toneHz, rate, 0.25);
    for (int block = 0; block < 2 * 120; ++block)
        s.Process(transform.Bins(block == 157 ? tone : silence), rate, n, kFullScale, 2);
    ASSERT_EQ(s.RowCount(), 2u);
    EXPECT_NEAR(s.RowInfo(0).TimeS, 120 * n / rate, 1e-12);
    EXPECT_NEAR(s.RowInfo(1).TimeS, 0.0, 1e-12);
    const int column = static_cast<int>(toneHz / (rate / 2.0) * TSpectrogram::Columns);
    EXPECT_NEAR(TSpectrogram::LevelDb(s.RowLevels(0)[static_cast<std::size_t>(column)]),
                20.0 * std::log10(0.25), 0.01);
    EXPECT_EQ(s.RowLevels(1)[static_cast<std::size_t>(column)], 0); // silence: floor
}

// The ring keeps the newest `capacity` rows and holds the same memory from the first row on.
TEST(Spectrogram, RingIsBoundedAndMemoryFlat) {
    const double rate = 48000.0;
    const int n = 4096; // 85 ms: a row per block
    TBlockTransform transform(n, 2);
    TSpectrogram s(100);
    s.SetAxis({20.0, 20000.0, true});
    const auto tone = Sine(n, 1000.0, rate, 0.5);
    const auto bins = transform.Bins(tone);
    s.Process(bins, rate, n, kFullScale, 2);
    const std::size_t bytes = s.MemoryBytes();
    EXPECT_LT(bytes, 100u * TSpectrogram::Columns * 2 + 100000);
    for (int block = 1; block < 350; ++block)
        s.Process(bins, rate, n, kFullScale, 2);
    EXPECT_EQ(s.MemoryBytes(), bytes);
    EXPECT_EQ(s.RowCount(), 100u);
    EXPECT_EQ(s.RowsAdded(), 350u);
    EXPECT_NEAR(s.RowInfo(0).TimeS, 349 * n / rate, 1e-9);
    EXPECT_NEAR(s.RowInfo(99).TimeS, 250 * n / rate, 1e-9);
    s.Restart();
    EXPECT_EQ(s.RowCount(), 0u);
    EXPECT_EQ(s.Seconds(), 0.0);
}
