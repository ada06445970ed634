// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrogram's picture: a logarithmic sweep that sox writes is drawn where it belongs, the
// picture kept row by row equals one drawn afresh, and the colour map is perceptually uniform.
#include "measure/MeasureRun.h"
#include "measure/SoundFileSource.h"
#include "ui/spectrogram/ColourMap.h"
#include "ui/spectrogram/SpectrogramPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr double kRate = 48000.0;
constexpr double kSweepSeconds = 10.0;
constexpr double kSweepFrom = 100.0, kSweepTo = 20000.0;

// sox's exponential sweep: f(t) = f0 (f1 / f0)^(t / T).
double SweepHz(double t) {
    return kSweepFrom * std::pow(kSweepTo / kSweepFrom, t / kSweepSeconds);
}

// Relative luminance of an sRGB pixel (0.2126 R + 0.7152 G + 0.0722 B of the linear values).
double Luminance(std::uint32_t argb) {
    const auto linear = [](std::uint32_t c) {
        const double s = c / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(argb >> 16 & 0xFF) + 0.7152 * linear(argb >> 8 & 0xFF) +
           0.0722 * linear(argb & 0xFF);
}

// The history of the sweep file: sox writes it, phonoscale-measure's run feeds it through the
// block pipeline (N = 2048, Blackman²) into the spectrogram, one row per block.
class SweepPicture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            return;
        const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                           ("ps-sweep-" + std::to_string(::getpid()) + ".wav");
        const std::string command =
            "sox -n -r 48000 -b 24 -c 1 " + file.string() + " synth 10 sine 100/20000 vol 0.5";
        if (std::system(command.c_str()) != 0)
            return;
        TMeasureOptions options;
        options.Input = file.string();
        options.Length = 2048;
        TSoundFile sound(file.string());
        TMeasureRun run(options, sound.SampleRate());
        history_ = new TSpectrogram;
        history_->SetAxis(Axis());
        history_->WindowKind = [] { return 2; };
        run.AddConsumer(*history_);
        TDataBufferF block;
        while (const std::size_t got = sound.Read(block, run.EngineBlockLength()))
            if (got >= run.EngineBlockLength())
                run.Feed(block, got);
        std::filesystem::remove(file);
    }
    static void TearDownTestSuite() {
        delete history_;
        history_ = nullptr;
    }
    void SetUp() override {
        if (history_ == nullptr)
            GTEST_SKIP() << "sox could not write the sweep";
    }
    static TSpectrogramAxis Axis() { return {20.0, kRate / 2.0, true}; }
    static TSpectrogram* history_;
};

TSpectrogram* SweepPicture::history_ = nullptr;

} // namespace

// Each row's brightest pixel lies at the sweep's frequency during the row's block (between the
// block's first and last frequency, one bin wider on each side), within two pixels; newest row
// at the top and at the right.
TEST_F(SweepPicture, BrightestPixelOfEachRowFollowsTheSweep) {
    const TSpectrogram& history = *history_;
    const int rows = static_cast<int>(history.RowCount());
    ASSERT_GE(rows, 230); // 10 s in blocks of 2048
    const double blockSeconds = 2048 / kRate, binHz = kRate / 2048;
    for (const TNewestAt newest : {TNewestAt::Top, TNewestAt::Right}) {
        SCOPED_TRACE(newest == TNewestAt::Top ? "newest at the top" : "newest at the right");
        TSpectrogramView view;
        view.Newest = newest;
        view.Width = newest == TNewestAt::Top ? 600 : rows;
        view.Height = newest == TNewestAt::Top ? rows : 600;
        view.Axis = Axis();
        view.TopDb = 0.0;
        view.SpanDb = 120.0;
        TSpectrogramPicture picture;
        picture.Update(history, view);
        const int pixels = 600;
        const auto pixelOf = [&](double hz) {
            return pixels * std::log(hz / view.Axis.FMin) /
                   std::log(view.Axis.FMax / view.Axis.FMin);
        };
        for (int age = 0; age < rows; ++age) {
            // The brightest pixel along the row's line; the middle of a run of equal ones.
            double best = -1.0;
            int first = 0, last = 0;
            for (int u = 0; u < pixels; ++u) {
                const std::uint32_t p = newest == TNewestAt::Top
                                            ? picture.DisplayPixel(u, age)
                                            : picture.DisplayPixel(rows - 1 - age, pixels - 1 - u);
                const double y = Luminance(p);
                if (y > best) {
                    best = y;
                    first = last = u;
                } else if (y == best && last == u - 1) {
                    last = u;
                }
            }
            const double t = history.RowInfo(static_cast<std::size_t>(age)).TimeS;
            const double lo = pixelOf(SweepHz(t) - binHz) - 2.0;
            const double hi = pixelOf(SweepHz(t + blockSeconds) + binHz) + 2.0;
            const double found = (first + last) / 2.0;
            EXPECT_TRUE(found >= lo && found <= hi)
                << "row at " << t << " s: pixel " << found << ", expected " << lo << " ... " << hi;
        }
    }
}

// Rows coloured one by one into the ring (while the history grows past its capacity and past
// the picture's lines) give the same picture as one drawn afresh, in both orientations.
TEST(SpectrogramPicture, KeptRowByRowEqualsDrawnAfresh) {
    const int n = 4096; // 85 ms at 48 kHz: a row per block
    for (const TNewestAt newest : {TNewestAt::Top, TNewestAt::Right}) {
        TSpectrogram history(40);
        history.SetAxis({20.0, kRate / 2.0, true});
        TSpectrogramView view;
        view.Newest = newest;
        view.Width = newest == TNewestAt::Top ? 200 : 64;
        view.Height = newest == TNewestAt::Top ? 64 : 200;
        view.Axis = history.Axis();
        TSpectrogramPicture kept;
        std::vector<TComplex> bins(n / 2);
        for (int block = 0; block < 150; ++block) {
            std::fill(bins.begin(), bins.end(), TComplex{});
            bins[static_cast<std::size_t>(5 + 13 * block % 2000)] = {1e12, 0.0};
            history.Process(bins, kRate, n, 2147483647.0, 2);
            if (block % 7 != 3) // now and then two rows at once
                kept.Update(history, view);
        }
        kept.Update(history, view);
        TSpectrogramPicture fresh;
        fresh.Update(history, view);
        EXPECT_EQ(fresh.FullRenders(), 1u);
        EXPECT_LT(kept.FullRenders(), 3u);
        for (int y = 0; y < view.Height; ++y)
            for (int x = 0; x < view.Width; ++x)
                ASSERT_EQ(kept.DisplayPixel(x, y), fresh.DisplayPixel(x, y)) << x << " " << y;
    }
}

// Lightness rises with every entry and neighbouring entries lie equally far apart in CIELAB
// (Delta E*ab within 10 % of the mean step); the sRGB colours round-trip the entries.
TEST(ColourMap, PerceptuallyUniform) {
    double total = 0.0;
    for (int i = 1; i < 256; ++i) {
        const TLabColour p = LevelColourLab(i - 1), q = LevelColourLab(i);
        total += std::hypot(q.L - p.L, q.a - p.a, q.b - p.b);
    }
    const double mean = total / 255.0;
    for (int i = 1; i < 256; ++i) {
        const TLabColour p = LevelColourLab(i - 1), q = LevelColourLab(i);
        EXPECT_GT(q.L, p.L) << i;
        EXPECT_NEAR(std::hypot(q.L - p.L, q.a - p.a, q.b - p.b), mean, 0.1 * mean) << i;
        EXPECT_GT(Luminance(LevelColours()[static_cast<std::size_t>(i)]),
                  Luminance(LevelColours()[static_cast<std::size_t>(i - 1)]) - 1e-12)
            << i;
    }
}
