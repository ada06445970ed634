// SPDX-License-Identifier: GPL-3.0-or-later
// Lean and sliced engine blocks: every reading, peak-log point, scope point and output sample
// equals the per-block computation; the cached sine period, sweep intervals and band edges too;
// blocks holding samples that are no finite numbers are left out.
#include "CoreTestRig.h"

#include "core/LevelMeters.h"
#include "core/ScopeSweep.h"
#include "core/SineOutput.h"
#include "core/SpectrumSmoothing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <limits>
#include <random>
#include <string>

namespace {

// One set-up of the window, applied to both rigs.
struct TSetUp {
    int n = 64;
    int units = 0;   // CUnits
    int special = 0; // SpecialMeter
    int trigger = 2; // TriggerMode
    double timeBase = 0.1;
    bool logAxis = true;
    int reduction = 1; // CRed
    int ctc = 0;       // CTC
    bool calibrated = false;
    int channel = 0; // ComboChannel
};

std::string Describe(const TSetUp& s) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "N=%d units=%d special=%d trigger=%d timebase=%g log=%d red=%d ctc=%d cal=%d "
                  "channel=%d",
                  s.n, s.units, s.special, s.trigger, s.timeBase, s.logAxis, s.reduction, s.ctc,
                  s.calibrated, s.channel);
    return text;
}

// A rig at 48 ksps, band 100 Hz ... 15 kHz, with a custom label that prints the readings it is
// given to 17 digits, the generator on and smoothing with a 0.05 s time constant.
struct TLeanRig : CoreTestRig {
    explicit TLeanRig(const TSetUp& s, bool lean) : CoreTestRig(s.n, 48000.0, 100, 15000) {
        pipeline.SetLean(lean);
        state.Controls.CUnits = s.units;
        state.SpecialMeter = s.special;
        state.Scope.TriggerMode = s.trigger;
        state.Scope.TimeBase = s.timeBase;
        state.Scope.TriggerLevel = 0.2;
        state.Controls.LogF = s.logAxis;
        state.Controls.CRed = s.reduction;
        state.Controls.CTC = s.ctc;
        state.Controls.ET = {"1", "2", "3", "1", "1", "1"};
        state.Controls.ComboChannel = s.channel;
        state.ReducePoints = 40;
        state.Calibrated = s.calibrated;
        state.RefLevel = s.calibrated ? -3.5 : 0.0;
        state.PeakThreshold = -80.0;
        state.Generator.CheckOut = true;
        state.Generator.TrackF = 5;
        ETimeChange(state, "0.05", dsp->SamplesPerSecond());
        parts.CustomLabelText = [this] {
            char text[200];
            std::snprintf(text, sizeof text, "%.17g %.17g %.17g %.17g", state.CustomVarsVolts[5].Re,
                          state.CustomVarsVolts[6].Re, state.CustomVarsVolts[7].Re,
                          state.CustomVarsVolts[8].Re);
            return std::string(text);
        };
    }
};

// Engine block k of a test signal: a tone whose level steps from block to block and from
// sub-block to sub-block (so that Norm triggers come and go), plus noise; right is a scaled,
// shifted copy.
void SignalBlock(int k, std::size_t length, int n, std::vector<float>& left,
                 std::vector<float>& right) {
    std::mt19937 gen(static_cast<unsigned>(k) + 11U);
    std::normal_distribution<double> noise(0.0, 3.0e6);
    left = SineSamples(length, 1234.5 + 37.0 * k, 48000.0, kFullScaleSine / 4);
    right.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
        const std::size_t sub = i / static_cast<std::size_t>(n);
        const double level = ((sub + static_cast<std::size_t>(k)) % 3 == 0) ? 0.05 : 1.0;
        left[i] = static_cast<float>(left[i] * level + noise(gen));
        right[i] = static_cast<float>(0.5 * left[(i + 3) % length] + noise(gen));
    }
}

void ExpectSameShown(const MeasurementState& lean, const MeasurementState& full,
                     const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(lean.Texts.LSN_M, full.Texts.LSN_M);
    EXPECT_EQ(lean.Texts.LSN, full.Texts.LSN);
    EXPECT_EQ(lean.Texts.LS, full.Texts.LS);
    EXPECT_EQ(lean.Texts.LSp, full.Texts.LSp);
    EXPECT_EQ(lean.Texts.LSN_O, full.Texts.LSN_O);
    EXPECT_EQ(lean.Texts.LCS, full.Texts.LCS);
    EXPECT_EQ(lean.Texts.LCus, full.Texts.LCus);
    EXPECT_EQ(lean.Texts.ProgressBar1, full.Texts.ProgressBar1);
    EXPECT_EQ(lean.Texts.RepaintRequests, full.Texts.RepaintRequests);
    EXPECT_EQ(lean.Texts.LayoutRequested, full.Texts.LayoutRequested);
    EXPECT_EQ(lean.SNLevel, full.SNLevel);
    EXPECT_EQ(lean.SLevel, full.SLevel);
    EXPECT_EQ(lean.SNRaw, full.SNRaw);
    EXPECT_EQ(lean.SRaw, full.SRaw);
    EXPECT_EQ(lean.ScopeRms, full.ScopeRms);
    EXPECT_EQ(lean.PeakBinFine, full.PeakBinFine);
    EXPECT_EQ(lean.Spectrum, full.Spectrum);
    ASSERT_EQ(lean.DisplayPoints.size(), full.DisplayPoints.size());
    for (std::size_t i = 0; i < full.DisplayPoints.size(); ++i) {
        ASSERT_EQ(lean.DisplayPoints[i].x, full.DisplayPoints[i].x) << "point " << i;
        ASSERT_EQ(lean.DisplayPoints[i].y, full.DisplayPoints[i].y) << "point " << i;
    }
    ASSERT_EQ(lean.PeakLogIndex, full.PeakLogIndex);
    EXPECT_EQ(lean.PeakLogWrapped, full.PeakLogWrapped);
    for (std::size_t i = 0; i < full.PeakLog.size(); ++i) {
        ASSERT_EQ(lean.PeakLog[i].Frequency, full.PeakLog[i].Frequency) << "peak " << i;
        ASSERT_EQ(lean.PeakLog[i].Level, full.PeakLog[i].Level) << "peak " << i;
    }
    const TScopeSweep& a = lean.Scope;
    const TScopeSweep& b = full.Scope;
    EXPECT_EQ(a.NewScopeData, b.NewScopeData);
    EXPECT_EQ(a.SweepPoints, b.SweepPoints);
    EXPECT_EQ(a.SingleDone, b.SingleDone);
    ASSERT_EQ(a.ScopePoints.size(), b.ScopePoints.size());
    for (std::size_t i = 0; i < b.ScopePoints.size(); ++i) {
        ASSERT_EQ(a.ScopePoints[i].t, b.ScopePoints[i].t) << "scope point " << i;
        ASSERT_EQ(a.ScopePoints[i].v, b.ScopePoints[i].v) << "scope point " << i;
    }
}

// Feeds the same engine blocks to a lean and a full rig and compares after every one.
void RunBothWays(const TSetUp& s, int engineBlocks = 4) {
    TLeanRig lean(s, true);
    TLeanRig full(s, false);
    std::vector<float> left;
    std::vector<float> right;
    for (int k = 0; k < engineBlocks; ++k) {
        SignalBlock(k, lean.EngineBlockLength(), s.n, left, right);
        if (k == 2) { // a user reset between engine blocks
            lean.state.ResetSmoothing = true;
            full.state.ResetSmoothing = true;
        }
        lean.Feed(left, right);
        full.Feed(left, right);
        ExpectSameShown(lean.state, full.state, Describe(s) + " block " + std::to_string(k));
        EXPECT_EQ(lean.outBuffer, full.outBuffer);
        EXPECT_TRUE(lean.state.StreamErrors.FirstError.empty());
    }
}

} // namespace

TEST(LeanPipeline, ShowsWhatEveryBlockWouldShowForEveryMeterAndUnit) {
    for (int n : {64, 256, 1024}) {
        for (int units = 0; units < 3; ++units) {
            for (int special = 0; special < 4; ++special) {
                TSetUp s;
                s.n = n;
                s.units = units;
                s.special = special;
                s.calibrated = (units + special) % 2 == 1;
                s.channel = special;
                RunBothWays(s);
            }
        }
    }
}

TEST(LeanPipeline, ScopeTextsComeFromTheBlockThatWroteThemLast) {
    // Norm with a level that only some sub-blocks cross, a Single sweep that ends in the first
    // sub-block (later ones leave LSN_O and LCS to an earlier block), trigger off, and sweeps
    // short enough to keep every sample or long enough to be decimated.
    for (int trigger = 0; trigger < 4; ++trigger) {
        for (double timeBase : {0.0001, 0.001, 0.02, 1.0}) {
            for (int n : {64, 128}) {
                TSetUp s;
                s.n = n;
                s.trigger = trigger;
                s.timeBase = timeBase;
                RunBothWays(s, 5);
            }
        }
    }
}

TEST(LeanPipeline, ReductionAndTimeConstantsMatch) {
    for (int reduction = 0; reduction < 3; ++reduction) {
        for (bool logAxis : {false, true}) {
            for (int ctc = 0; ctc < 3; ++ctc) {
                TSetUp s;
                s.n = 256;
                s.reduction = reduction;
                s.logAxis = logAxis;
                s.ctc = ctc;
                RunBothWays(s, 3);
            }
        }
    }
}

TEST(LeanPipeline, FailingBlocksLeaveTheSameTexts) {
    // A filter that was never designed fails in every block after the spectrum.
    TSetUp s;
    TLeanRig lean(s, true);
    TLeanRig full(s, false);
    for (TLeanRig* rig : {&lean, &full}) {
        rig->dsp->SetKernelLength(63); // clears the design
    }
    std::vector<float> left;
    std::vector<float> right;
    SignalBlock(0, lean.EngineBlockLength(), s.n, left, right);
    lean.Feed(left, right);
    full.Feed(left, right);
    EXPECT_EQ(lean.state.StreamErrors.FirstError, "You must run CreateFilter before filtering.");
    EXPECT_EQ(lean.state.StreamErrors.FirstError, full.state.StreamErrors.FirstError);
    EXPECT_EQ(lean.state.Texts.RepaintRequests, 0u);
    ExpectSameShown(lean.state, full.state, "failing filter");
}

TEST(SineOutput, TabledPeriodEqualsTheExtendedPrecisionSine) {
    for (int p : {2, 7, 11, 14, 16, 17}) {
        TSineOutput gen;
        gen.CheckOut = true;
        gen.TrackF = p;
        gen.COutChan = 1;
        const std::int64_t period = std::int64_t{1} << p;
        std::int64_t j = 0;
        for (int block = 0; block < 3; ++block) {
            TDataBufferF out;
            AllocateBlock(out, 2, 3000); // not a multiple of any period
            FillOutBuffer(gen, out);
            for (std::size_t i = 0; i < 3000; ++i, j = (j + 1) % period) {
                const auto expected = static_cast<float>(
                    2147483391.0L *
                    std::sin(2.0L * std::numbers::pi_v<long double> * static_cast<long double>(j) /
                             static_cast<long double>(period)));
                ASSERT_EQ(out[0][i], expected) << "p " << p << " sample " << j;
                ASSERT_EQ(out[1][i], -expected) << "p " << p << " sample " << j;
            }
        }
        EXPECT_EQ(gen.PhaseIndex, j);
    }
}

namespace {

// The decimating sweep as a plain sample-by-sample loop: the interval of a min/max pair ends at
// the first sample whose time is not before cursor + dt.
void SampleBySampleSweep(TScopeSweep& scope, std::span<const double> block, double fs) {
    if (scope.SweepPoints == 0) {
        scope.DecimationCursor = 0.0;
        scope.TriggerPos = 0.0;
    } else {
        scope.TriggerPos = 0.0;
    }
    scope.NewScopeData = true;
    const std::size_t n = block.size();
    std::size_t i = 0;
    auto& points = scope.ScopePoints;
    points.resize(TScopeSweep::MaxPoints);
    auto timeOf = [&](std::size_t j) {
        return (static_cast<double>(j) + scope.SweepElapsed - scope.TriggerPos) / fs;
    };
    const double dt = scope.TimeBase / 3999.0;
    while (scope.SweepPoints < TScopeSweep::MaxPoints - 1 && i < n) {
        double highest = -2147483647.0;
        double lowest = 2147483647.0;
        while (i < n && timeOf(i) < scope.DecimationCursor + dt) {
            highest = std::max(highest, block[i]);
            lowest = std::min(lowest, block[i]);
            ++i;
        }
        const auto t = static_cast<float>(scope.DecimationCursor);
        points[static_cast<std::size_t>(scope.SweepPoints)] = {
            t, static_cast<float>(highest / 2147483647.0)};
        points[static_cast<std::size_t>(scope.SweepPoints) + 1] = {
            t, static_cast<float>(lowest / 2147483647.0)};
        scope.SweepPoints += 2;
        scope.DecimationCursor += dt;
    }
    if (!scope.FirstSweepDone) {
        points.resize(static_cast<std::size_t>(scope.SweepPoints));
    }
    scope.SweepElapsed = static_cast<double>(i) + scope.SweepElapsed - scope.TriggerPos;
    if (scope.SweepPoints >= TScopeSweep::MaxPoints) {
        scope.SweepPoints = 0;
        scope.SweepElapsed = 0.0;
        scope.FirstSweepDone = true;
    }
}

} // namespace

TEST(ScopeSweep, DecimatedIntervalsMatchTheSampleBySampleRule) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> value(-2.0e9, 2.0e9);
    for (double fs : {8000.0, 44100.0, 48000.0, 96000.0, 192000.0}) {
        // 0.99975 s at 8 ksps: intervals of two samples, whose ends fall on sample instants.
        for (double timeBase : {0.05, 0.1, 0.2, 0.99975, 1.0, 10.0}) {
            if (std::trunc(timeBase * fs) + 3.0 < TScopeSweep::MaxPoints) {
                continue;
            }
            for (std::size_t n : {64U, 1000U, 4096U}) {
                TScopeSweep fast;
                fast.TriggerMode = 0;
                fast.TimeBase = timeBase;
                TScopeSweep plain = fast;
                std::vector<double> block(n);
                for (int k = 0; k < 40; ++k) {
                    for (double& v : block)
                        v = value(gen);
                    AssembleSweep(fast, block, fs);
                    SampleBySampleSweep(plain, block, fs);
                    ASSERT_EQ(fast.SweepPoints, plain.SweepPoints) << fs << " " << timeBase;
                    ASSERT_EQ(fast.SweepElapsed, plain.SweepElapsed) << fs << " " << timeBase;
                    ASSERT_EQ(fast.ScopePoints.size(), plain.ScopePoints.size());
                    for (std::size_t i = 0; i < plain.ScopePoints.size(); ++i) {
                        ASSERT_EQ(fast.ScopePoints[i].t, plain.ScopePoints[i].t);
                        ASSERT_EQ(fast.ScopePoints[i].v, plain.ScopePoints[i].v);
                    }
                }
            }
        }
    }
}

TEST(SpectrumReduction, KeptBandEdgesGiveTheSamePoints) {
    MeasurementState state;
    state.SampleRate = 48000.0;
    state.Controls.LogF = true;
    TReductionBands bands;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> value(0.0, 1.0);
    // Changing N, M and the rate between calls must refresh the kept edges.
    for (int n : {64, 1024, 1024, 65536, 1024}) {
        for (std::int64_t m : {1, 2, 40, 1000, 1000, 5000}) {
            for (int mode : {1, 2}) {
                state.BlockLength = n;
                state.ReducePoints = m;
                state.Controls.CRed = mode;
                state.SampleRate = n == 65536 ? 44100.0 : 48000.0;
                state.Spectrum.resize(static_cast<std::size_t>(n / 2));
                for (double& v : state.Spectrum)
                    v = value(gen);
                ReduceSpectrum(state);
                const auto plain = state.DisplayPoints;
                ReduceSpectrum(state, bands);
                ASSERT_EQ(state.DisplayPoints.size(), plain.size()) << n << " " << m;
                for (std::size_t i = 0; i < plain.size(); ++i) {
                    ASSERT_EQ(state.DisplayPoints[i].x, plain[i].x) << n << " " << m;
                    ASSERT_EQ(state.DisplayPoints[i].y, plain[i].y) << n << " " << m;
                }
            }
        }
    }
}

namespace {

// A rig whose pipeline slices engine blocks of N >= 8192; the posted slices wait in `slices`
// until the test runs them.
struct TSlicedRig : TLeanRig {
    std::deque<std::function<void()>> slices;
    int done = 0;

    explicit TSlicedRig(const TSetUp& s) : TLeanRig(s, true) {
        pipeline.SetSliceLength(8192);
        parts.PostSlice = [this](std::function<void()> task) { slices.push_back(std::move(task)); };
        parts.SlicedBlockDone = [this] { ++done; };
    }
    // Runs the posted slices in order (and any they post); returns how many ran.
    int RunSlices() {
        int count = 0;
        while (!slices.empty()) {
            auto task = std::move(slices.front());
            slices.pop_front();
            task();
            ++count;
        }
        return count;
    }
};

TSetUp SlicedSetUp() {
    TSetUp s;
    s.n = 8192;
    s.units = 1;
    s.special = 2;
    s.timeBase = 0.5;
    return s;
}

} // namespace

TEST(SlicedPipeline, SlicedBlocksShowWhatBlocksInOneGoShow) {
    const TSetUp s = SlicedSetUp();
    TSlicedRig sliced(s);
    TLeanRig whole(s, true);
    std::vector<float> left;
    std::vector<float> right;
    for (int k = 0; k < 4; ++k) {
        SignalBlock(k, whole.EngineBlockLength(), s.n, left, right);
        sliced.Feed(left, right);
        EXPECT_TRUE(sliced.pipeline.BlockPending());
        EXPECT_EQ(sliced.state.Texts.RepaintRequests, static_cast<std::uint64_t>(k));
        EXPECT_EQ(sliced.RunSlices(), 2); // the filter's transform, then the rest
        EXPECT_FALSE(sliced.pipeline.BlockPending());
        EXPECT_EQ(sliced.done, k + 1);
        whole.Feed(left, right);
        ExpectSameShown(sliced.state, whole.state, "block " + std::to_string(k));
        EXPECT_EQ(sliced.outBuffer, whole.outBuffer);
    }
}

TEST(SlicedPipeline, ANewBlockFinishesThePendingOneFirst) {
    const TSetUp s = SlicedSetUp();
    TSlicedRig sliced(s);
    TLeanRig whole(s, true);
    std::vector<float> left;
    std::vector<float> right;
    for (int k = 0; k < 3; ++k) {
        SignalBlock(k, whole.EngineBlockLength(), s.n, left, right);
        sliced.Feed(left, right); // the slices of the previous block never ran from the queue
        whole.Feed(left, right);
    }
    sliced.pipeline.FinishPendingBlock();
    EXPECT_EQ(sliced.done, 3);
    ExpectSameShown(sliced.state, whole.state, "after three blocks");
    sliced.RunSlices(); // stale slices do nothing
    EXPECT_EQ(sliced.state.Texts.RepaintRequests, 3u);
}

TEST(SlicedPipeline, ChangesBetweenSlicesActAsIfMadeBeforeTheBlock) {
    // Each change is made after the first or the second slice in the sliced rig, and before the
    // block in the rig that processes it in one go.
    const std::vector<std::function<void(TLeanRig&)>> changes = {
        [](TLeanRig& r) { r.state.WindowKind = 4; },            // another window
        [](TLeanRig& r) { r.state.Controls.ComboChannel = 1; }, // another channel
        [](TLeanRig& r) { r.state.Weighting = 1; },             // only read by the last slice
        [](TLeanRig& r) { r.state.ResetSmoothing = true; },
        [](TLeanRig& r) { r.dsp->SetStopFrequency(9000.0); },          // a redesign of the filter
        [](TLeanRig& r) { r.fft.SetNumSamples(r.state.BlockLength); }, // FFT buffers replaced
        [](TLeanRig& r) { r.dsp->SetKernelLength(5); }, // the filter is no longer designed
    };
    for (std::size_t c = 0; c < changes.size(); ++c) {
        for (int after = 1; after <= 2; ++after) {
            const TSetUp s = SlicedSetUp();
            TSlicedRig sliced(s);
            TLeanRig whole(s, true);
            std::vector<float> left;
            std::vector<float> right;
            SignalBlock(0, whole.EngineBlockLength(), s.n, left, right);
            sliced.Feed(left, right);
            sliced.RunSlices();
            whole.Feed(left, right);
            SignalBlock(1, whole.EngineBlockLength(), s.n, left, right);
            sliced.Feed(left, right);
            if (after == 2) {
                ASSERT_EQ(sliced.slices.size(), 1u);
                auto first = std::move(sliced.slices.front());
                sliced.slices.pop_front();
                first();
            }
            changes[c](sliced);
            sliced.RunSlices();
            changes[c](whole);
            whole.Feed(left, right);
            const std::string where =
                "change " + std::to_string(c) + " after slice " + std::to_string(after);
            ExpectSameShown(sliced.state, whole.state, where);
            EXPECT_EQ(sliced.state.StreamErrors.FirstError, whole.state.StreamErrors.FirstError)
                << where;
            EXPECT_EQ(sliced.done, 2) << where;
        }
    }
}

TEST(SlicedPipeline, ShortBlocksAndUnslicedPipelinesRunInOneGo) {
    TSetUp s = SlicedSetUp();
    s.n = 4096;
    TSlicedRig shorter(s);
    std::vector<float> left;
    std::vector<float> right;
    SignalBlock(0, shorter.EngineBlockLength(), s.n, left, right);
    shorter.Feed(left, right);
    EXPECT_FALSE(shorter.pipeline.BlockPending());
    EXPECT_TRUE(shorter.slices.empty());
    EXPECT_EQ(shorter.state.Texts.RepaintRequests, 1u);
}

// Samples that are no finite numbers, or whose selected sum or difference overflows: the block
// is left out; finite extremes are not.
TEST(InvalidBlocks, FiniteCheckCoversBothRowsAndTheSelectedCombination) {
    const float big = 3.0e38f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        int channel;
        float left;
        float right;
        bool finite;
    } const cases[] = {
        {0, 0.5f, nan, false},   {1, -inf, 0.0f, false}, {0, big, big, true},
        {2, big, big, false},    {3, big, -big, false},  {3, big, big, true},
        {2, 1e-45f, -big, true}, {0, inf, -inf, false},  {2, 2147483647.0f, 1.0f, true},
        {1, 0.0f, -0.0f, true},
    };
    for (const Case& c : cases) {
        std::vector<float> left(37, 1.0f);
        std::vector<float> right(37, -1.0f);
        left[36] = c.left;
        right[36] = c.right;
        EXPECT_EQ(BlockIsFinite(c.channel, left, right), c.finite)
            << c.channel << " " << c.left << " " << c.right;
    }
}

// A processed block holding a NaN or an infinity is left out of every reading (spectrum,
// meters, texts, peak log, scope): the state is the one of the good blocks alone, wherever the
// bad blocks lie, the last of an engine block and a whole engine block included.
TEST(InvalidBlocks, AreLeftOutOfEveryReading) {
    for (const int channel : {0, 3}) {
        TSetUp s;
        s.n = 256; // eight processed blocks per engine block
        s.channel = channel;
        TLeanRig lean(s, true);
        TLeanRig alone(s, false); // runs the good blocks only
        const std::vector<std::vector<int>> bad = {{2}, {7}, {0, 1, 2, 3, 4, 5, 6, 7}, {0, 5}};
        std::vector<float> left;
        std::vector<float> right;
        for (std::size_t k = 0; k < bad.size(); ++k) {
            SignalBlock(static_cast<int>(k), lean.EngineBlockLength(), s.n, left, right);
            for (const int b : bad[k]) {
                const auto at = static_cast<std::size_t>(b * s.n + 17 * b);
                (b % 2 == 0 ? left : right)[at] = b % 2 == 0
                                                      ? std::numeric_limits<float>::quiet_NaN()
                                                      : -std::numeric_limits<float>::infinity();
            }
            lean.Feed(left, right);
            for (int b = 0; b < 8; ++b) {
                if (std::find(bad[k].begin(), bad[k].end(), b) == bad[k].end()) {
                    const auto from = static_cast<std::size_t>(b * s.n);
                    alone.pipeline.SubStreamData(std::span(left).subspan(from, 256),
                                                 std::span(right).subspan(from, 256));
                }
            }
            alone.state.Texts.RepaintRequests = lean.state.Texts.RepaintRequests;
            ExpectSameShown(lean.state, alone.state,
                            "channel " + std::to_string(channel) + " block " + std::to_string(k));
        }
        EXPECT_EQ(lean.state.InvalidBlocks, 12u);
        EXPECT_EQ(lean.state.Texts.RepaintRequests, 3u); // none for the engine block left out
        EXPECT_TRUE(lean.state.StreamErrors.FirstError.empty());
        ResetForStart(lean.state);
        EXPECT_EQ(lean.state.InvalidBlocks, 0u);
    }
}

// A long block that would be sliced is checked before its first slice.
TEST(InvalidBlocks, ALongBlockIsCheckedBeforeItIsSliced) {
    const TSetUp s = SlicedSetUp();
    TSlicedRig sliced(s);
    std::vector<float> left;
    std::vector<float> right;
    SignalBlock(0, sliced.EngineBlockLength(), s.n, left, right);
    sliced.Feed(left, right);
    sliced.RunSlices();
    const std::vector<double> spectrum = sliced.state.Spectrum;
    const double level = sliced.state.SNLevel;
    SignalBlock(1, sliced.EngineBlockLength(), s.n, left, right);
    right[8000] = std::numeric_limits<float>::infinity();
    sliced.Feed(left, right);
    EXPECT_FALSE(sliced.pipeline.BlockPending());
    EXPECT_EQ(sliced.RunSlices(), 0);
    EXPECT_EQ(sliced.state.InvalidBlocks, 1u);
    EXPECT_EQ(sliced.state.Spectrum, spectrum);
    EXPECT_EQ(sliced.state.SNLevel, level);
    EXPECT_EQ(sliced.state.Texts.RepaintRequests, 1u);
}
