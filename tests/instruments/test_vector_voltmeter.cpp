// SPDX-License-Identifier: GPL-3.0-or-later
// The vector voltmeter and the collection of the external four-ADC source, without a library.
#include "instruments/AdcCollection.h"
#include "instruments/VectorVoltmeter.h"

#include "files/AtomicFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <vector>

namespace {

constexpr double kPi = std::numbers::pi;

// Four channels of B samples: channel c is A_c cos(2 pi f n / fs + phi_c), rounded.
std::vector<std::int32_t> Block(int b, double fs, double f, const double (&a)[4],
                                const double (&phiDeg)[4]) {
    std::vector<std::int32_t> block(4 * static_cast<std::size_t>(b));
    for (int c = 0; c < 4; ++c)
        for (int n = 0; n < b; ++n)
            block[static_cast<std::size_t>(c * b + n)] = static_cast<std::int32_t>(
                std::nearbyint(a[c] * std::cos(2 * kPi * f * n / fs + phiDeg[c] * kPi / 180)));
    return block;
}

} // namespace

TEST(SingleBinTransform, ACosineOfWholeCyclesGivesItsAmplitudeAndPhase) {
    // Odd and even lengths; K cycles of A cos(w n + phi) give A (cos phi, sin phi).
    for (const int n : {1023, 1024, 1025, 4080}) {
        for (const int k : {1, 7, 85}) {
            std::vector<double> x(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i)
                x[static_cast<std::size_t>(i)] = 3.5 * std::cos(2 * kPi * k * i / n + 0.3);
            const TComplex X = SingleBinTransform(x, k);
            EXPECT_NEAR(X.Re, 3.5 * std::cos(0.3), 1e-9) << n << " " << k;
            EXPECT_NEAR(X.Im, 3.5 * std::sin(0.3), 1e-9) << n << " " << k;
        }
    }
    // Another whole number of cycles, and a constant, contribute nothing.
    std::vector<double> other(480);
    for (int i = 0; i < 480; ++i)
        other[static_cast<std::size_t>(i)] = std::cos(2 * kPi * 3 * i / 480) + 100.0;
    const TComplex X = SingleBinTransform(other, 10);
    EXPECT_NEAR(std::hypot(X.Re, X.Im), 0.0, 1e-9);
    EXPECT_EQ(SingleBinTransform(std::span<const double>{}, 3).Re, 0.0);
}

TEST(VectorVoltmeter, AnalysedLengthAtTheEdges) {
    const auto a = VvmAnalysis(48000, 1000, 4096);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->SamplesPerPeriod, 48);
    EXPECT_EQ(a->Periods, 85);
    EXPECT_EQ(a->Samples, 4080);
    EXPECT_FALSE(VvmAnalysis(48000, 0, 4096)) << "0 Hz";
    EXPECT_FALSE(VvmAnalysis(48000, -5, 4096));
    EXPECT_FALSE(VvmAnalysis(48000, 100000, 4096)) << "above twice the rate: P = 0";
    EXPECT_FALSE(VvmAnalysis(48000, 11, 4096)) << "a period longer than the block: K = 0";
    EXPECT_TRUE(VvmAnalysis(48000, 12, 4096)) << "P = 4000 still fits once";
}

TEST(VectorVoltmeter, AFrequencyWithoutAnalysisLeavesTheReadingsUnchanged) {
    TVectorVoltmeter vvm;
    const double a[4] = {1e6, 2e6, 3e6, 4e6};
    const double p[4] = {0, 10, 20, 30};
    const auto block = Block(4096, 48000, 1000, a, p);
    ASSERT_TRUE(vvm.AnalyseBlock(block, 4096, 48000));
    const TComplex before = vvm.Phasor(2);
    for (const char* text : {"0", "100000", "5"}) {
        ASSERT_TRUE(vvm.SetFrequencyText(text));
        EXPECT_FALSE(vvm.AnalyseBlock(block, 4096, 48000)) << text;
        EXPECT_EQ(vvm.Phasor(2).Re, before.Re);
        EXPECT_EQ(vvm.Phasor(2).Im, before.Im);
        EXPECT_TRUE(std::isfinite(vvm.Instant(2).Magnitude));
    }
    EXPECT_FALSE(vvm.SetFrequencyText("1k"));
    EXPECT_FALSE(vvm.SetFrequencyText(""));
    EXPECT_EQ(vvm.Frequency(), 5);
    EXPECT_TRUE(vvm.SetFrequencyText(" 1000 "));
    EXPECT_EQ(vvm.Frequency(), 1000);
}

TEST(VectorVoltmeter, AReferenceChannelReadsZeroAndTheOthersRelativeToIt) {
    TVectorVoltmeter vvm;
    const double a[4] = {1e6, 2e6, 3e6, 4e6};
    const double p[4] = {-170, 30, 100, 175};
    ASSERT_TRUE(vvm.AnalyseBlock(Block(4096, 48000, 1000, a, p), 4096, 48000));
    vvm.SetReference(2); // "ADC2"
    vvm.ResetAverages();
    EXPECT_EQ(TVectorVoltmeter::LabelText(1, vvm.Average(1)),
              "ADC2:      0.000dB /      0.000\u00B0");
    for (int c = 0; c < 4; ++c) {
        const auto i = static_cast<std::size_t>(c);
        EXPECT_NEAR(20 * std::log10(vvm.Instant(c).Magnitude), 20 * std::log10(a[i] / a[1]), 1e-5);
        double expected = p[i] - p[1];
        expected = std::fmod(expected + 540.0, 360.0) - 180.0; // into [-180, 180)
        EXPECT_NEAR(vvm.Instant(c).PhaseDegrees, expected, 1e-4) << c;
    }
    EXPECT_EQ(TVectorVoltmeter::LabelText(0, vvm.Instant(0)),
              "ADC1:     -6.021dB /    160.000\u00B0");
    // Without a reference: the ADC's own amplitude in steps (1e6 = 120 dB) and phase.
    vvm.SetReference(0);
    EXPECT_EQ(TVectorVoltmeter::LabelText(0, vvm.Instant(0)),
              "ADC1:    120.000dB /   -170.000\u00B0");
    // A reference that reads nothing gives nothing, not a division by zero.
    std::vector<std::int32_t> silent(4 * 4096, 0);
    ASSERT_TRUE(vvm.AnalyseBlock(silent, 4096, 48000));
    vvm.SetReference(4);
    EXPECT_TRUE(std::isfinite(vvm.Instant(0).Magnitude));
    EXPECT_EQ(TVectorVoltmeter::LabelText(3, vvm.Instant(3)),
              "ADC4:   -200.000dB /    -90.000\u00B0");
}

TEST(VectorVoltmeter, PhaseOfANegativeRealRatioReadsMinus180) {
    TVectorVoltmeter vvm;
    vvm.SetPhasor(0, {-2.0, 0.0});
    vvm.SetPhasor(1, {1.0, 0.0});
    vvm.SetReference(2);
    EXPECT_EQ(vvm.Instant(0).PhaseDegrees, -180.0);
    vvm.SetPhasor(0, {0.0, 3.0});
    EXPECT_EQ(vvm.Instant(0).PhaseDegrees, 90.0);
    vvm.SetPhasor(0, {0.0, -3.0});
    EXPECT_EQ(vvm.Instant(0).PhaseDegrees, -90.0);
}

TEST(VectorVoltmeter, AveragingTimeSetsTheWeightAndSmoothsEachUpdate) {
    TVectorVoltmeter vvm;
    vvm.SetAveragingTime(0.0, 48000, 4096);
    EXPECT_EQ(vvm.Alpha(), 1.0) << "0 s: no averaging";
    ASSERT_TRUE(vvm.SetAveragingTimeText("2", 48000, 4096));
    const double n = 2.0 * 48000 / 4096;
    EXPECT_DOUBLE_EQ(vvm.Alpha(), 1.0 - std::exp(-1.0 / n));
    EXPECT_FALSE(vvm.SetAveragingTimeText("two", 48000, 4096));
    EXPECT_DOUBLE_EQ(vvm.Alpha(), 1.0 - std::exp(-1.0 / n));

    // A step from magnitude 1 at 10 degrees to 3 at 50 degrees: after k updates the average
    // is the step's end less (1 - alpha)^k of the step.
    vvm.SetPhasor(0, {std::cos(10 * kPi / 180), std::sin(10 * kPi / 180)});
    vvm.ResetAverages();
    vvm.SetPhasor(0, {3 * std::cos(50 * kPi / 180), 3 * std::sin(50 * kPi / 180)});
    const double alpha = vvm.Alpha();
    for (int k = 1; k <= 30; ++k) {
        vvm.UpdateAverages();
        const double left = std::pow(1 - alpha, k);
        EXPECT_NEAR(vvm.Average(0).Magnitude, 3 - 2 * left, 1e-12) << k;
        EXPECT_NEAR(vvm.Average(0).PhaseDegrees, 50 - 40 * left, 1e-9) << k;
    }
    // Without averaging each update shows the block's own reading.
    vvm.SetAveragingTime(0.0, 48000, 4096);
    vvm.UpdateAverages();
    EXPECT_NEAR(vvm.Average(0).Magnitude, 3.0, 1e-12);
}

namespace {

struct TempFolder {
    std::filesystem::path path;
    TempFolder() {
        char pattern[] = "/tmp/ps-collect-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TempFolder() { std::filesystem::remove_all(path); }
};

} // namespace

TEST(AdcCollection, TheLimitInBlocksAndTheFileOfOneLinePerSample) {
    TAdcCollection collection;
    collection.Begin(0.2, 48000, 4096, 1ull << 32); // round(9600) div 4096 = 2 blocks
    EXPECT_EQ(collection.Limit(), 2);
    collection.Begin(0.0, 48000, 4096, 1ull << 32);
    EXPECT_EQ(collection.Limit(), 1) << "at least one block";

    collection.Begin(0.2, 48000, 8, 1ull << 32); // small blocks to read the file by eye
    const std::int64_t limit = collection.Limit();
    EXPECT_EQ(limit, 1200);
    std::vector<std::int32_t> block(32);
    for (std::int64_t k = 0; k < limit + 3; ++k) {
        for (int c = 0; c < 4; ++c)
            for (int j = 0; j < 8; ++j)
                block[static_cast<std::size_t>(c * 8 + j)] =
                    static_cast<std::int32_t>((c % 2 ? -1 : 1) * ((k * 8 + j) * 1000 + c));
        collection.Add(block);
    }
    EXPECT_EQ(collection.Blocks(), limit) << "blocks beyond the limit are not kept";
    // The text of the first lines, and the file through the atomic writer.
    const std::string text = collection.FileText(48000);
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "0 0 -1 2 -3");
    std::getline(lines, line);
    EXPECT_EQ(line, "2.0833333333333333e-05 1000 -1001 1002 -1003");
    TempFolder folder;
    const std::string path = (folder.path / "N4.dat").string();
    collection.WriteFile(path, 48000);
    EXPECT_TRUE(collection.Empty());
    std::ifstream file(path);
    std::int64_t count = 0;
    double t = 0;
    long long s[4];
    while (file >> t >> s[0] >> s[1] >> s[2] >> s[3]) {
        EXPECT_DOUBLE_EQ(t, static_cast<double>(count) / 48000);
        EXPECT_EQ(s[3], -(count * 1000) - 3);
        ++count;
    }
    EXPECT_EQ(count, limit * 8);

    // The extremes of the 32-bit range are written as they are.
    collection.Begin(0.0, 48000, 1, 1ull << 30);
    const std::int32_t extremes[4] = {-2147483647 - 1, 2147483647, 0, -1};
    collection.Add(extremes);
    EXPECT_EQ(collection.FileText(48000), "0 -2147483648 2147483647 0 -1\n");
}

TEST(AdcCollection, AnIntervalThatDoesNotFitInMemoryIsRefusedAndAWriteErrorIsReported) {
    TAdcCollection collection;
    EXPECT_THROW(collection.Begin(1e12, 48000, 4096, 1ull << 34), EAdcCollectionError);
    EXPECT_THROW(collection.Begin(std::nan(""), 48000, 4096, 1ull << 34), EAdcCollectionError);
    // 100 s at 48 kHz needs about 420 MB: refused with 512 MiB, taken with 1 GiB.
    EXPECT_THROW(collection.Begin(100, 48000, 4096, 512ull << 20), EAdcCollectionError);
    EXPECT_NO_THROW(collection.Begin(100, 48000, 4096, 1ull << 30));
    EXPECT_GT(PhysicalMemoryBytes(), 0u);

    collection.Begin(0.1, 48000, 4096, 1ull << 30);
    std::vector<std::int32_t> block(4 * 4096, 7);
    collection.Add(block);
    EXPECT_THROW(collection.WriteFile("/nonexistent/folder/N4.dat", 48000), EFileWriteError);
    EXPECT_TRUE(collection.Empty());
}
