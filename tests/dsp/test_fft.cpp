// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the FFT component against closed forms, a naive DFT, Parseval and buffer bounds.
#include "dsp/DSXFastFourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#include <fstream>
#include <sys/resource.h>
#define PS_CAN_LIMIT_MEMORY 1
#endif

namespace {

using Cx = std::complex<double>;
constexpr double kTol = 1e-9;

// X[k] = sum x[n] exp(sign * i 2 pi n k / N), computed term by term.
std::vector<Cx> NaiveDft(const std::vector<Cx>& x, double sign) {
    const std::size_t n = x.size();
    std::vector<Cx> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        for (std::size_t j = 0; j < n; ++j) {
            const double angle = sign * 2.0 * std::numbers::pi * double(j * k % n) / double(n);
            out[k] += x[j] * std::polar(1.0, angle);
        }
    }
    return out;
}

std::vector<Cx> RandomSignal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<Cx> x(n);
    for (Cx& v : x)
        v = {dist(gen), dist(gen)};
    return x;
}

void ExpectBin(const TComplex& got, Cx want, double tol = kTol) {
    EXPECT_NEAR(got.Re, want.real(), tol);
    EXPECT_NEAR(got.Im, want.imag(), tol);
}

TDSXFastFourier RealTransformOf(int n, double (*f)(int)) {
    TDSXFastFourier fft;
    fft.SetNumSamples(n);
    for (int i = 0; i < n; ++i)
        fft.RealInput()[std::size_t(i)] = f(i);
    fft.RealFourierTransform();
    return fft;
}

TEST(FastFourierClosedForms, TwoPointsGiveSumAndDifference) {
    TDSXFastFourier fft;
    fft.SetNumSamples(2);
    fft.ComplexInput()[0] = {3.0, 1.0};
    fft.ComplexInput()[1] = {5.0, -2.0};
    fft.FourierTransform();
    ExpectBin(fft.ComplexOutput()[0], {8.0, -1.0}, 0.0);
    ExpectBin(fft.ComplexOutput()[1], {-2.0, 3.0}, 0.0);
}

TEST(FastFourierClosedForms, SineAndCosineOfEightPointsLandInBinsOneAndSeven) {
    const auto sine =
        RealTransformOf(8, [](int i) { return std::sin(2 * std::numbers::pi * i / 8); });
    const auto cosine =
        RealTransformOf(8, [](int i) { return std::cos(2 * std::numbers::pi * i / 8); });
    for (std::size_t k = 0; k < 8; ++k) {
        ExpectBin(sine.ComplexOutput()[k], k == 1 ? Cx{0, 4} : k == 7 ? Cx{0, -4} : Cx{});
        ExpectBin(cosine.ComplexOutput()[k], k == 1 || k == 7 ? Cx{4, 0} : Cx{});
    }
}

TEST(FastFourierClosedForms, ConstantAndImpulse) {
    for (int n : {2, 16, 1024}) {
        const auto constant = RealTransformOf(n, [](int) { return 1.0; });
        const auto impulse = RealTransformOf(n, [](int i) { return i == 0 ? 1.0 : 0.0; });
        for (std::size_t k = 0; k < std::size_t(n); ++k) {
            ExpectBin(constant.ComplexOutput()[k], k == 0 ? Cx(n) : Cx{});
            ExpectBin(impulse.ComplexOutput()[k], {1.0, 0.0});
        }
    }
}

TEST(FastFourierAgainstDft, ForwardInverseAndRealMatchNaiveSums) {
    for (int n = 2; n <= 256; n *= 2) {
        TDSXFastFourier fft;
        fft.SetNumSamples(n);
        const auto x = RandomSignal(std::size_t(n), unsigned(n));
        for (int i = 0; i < n; ++i) {
            fft.ComplexInput()[std::size_t(i)] = {x[std::size_t(i)].real(),
                                                  x[std::size_t(i)].imag()};
            fft.RealInput()[std::size_t(i)] = x[std::size_t(i)].real();
        }
        const auto forward = NaiveDft(x, +1.0);
        const auto inverse = NaiveDft(x, -1.0);
        std::vector<Cx> realPart(x.size());
        for (std::size_t i = 0; i < x.size(); ++i)
            realPart[i] = x[i].real();
        const auto realForward = NaiveDft(realPart, +1.0);
        fft.FourierTransform();
        for (std::size_t k = 0; k < x.size(); ++k)
            ExpectBin(fft.ComplexOutput()[k], forward[k]);
        fft.InverseFourierTransform();
        for (std::size_t k = 0; k < x.size(); ++k)
            ExpectBin(fft.ComplexOutput()[k], inverse[k] / double(n));
        fft.RealFourierTransform();
        for (std::size_t k = 0; k < x.size(); ++k)
            ExpectBin(fft.ComplexOutput()[k], realForward[k]);
        // No transform changes its inputs.
        EXPECT_EQ(fft.ComplexInput()[1].Im, x[1].imag());
        EXPECT_EQ(fft.RealInput()[1], x[1].real());
    }
}

TEST(FastFourierAgainstDft, InverseRoundTripAndParseval) {
    for (int n : {2, 64, 4096, 1 << 16}) {
        TDSXFastFourier fft;
        fft.SetNumSamples(n);
        const auto x = RandomSignal(std::size_t(n), 7);
        double timeEnergy = 0.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            fft.ComplexInput()[i] = {x[i].real(), x[i].imag()};
            timeEnergy += std::norm(x[i]);
        }
        fft.FourierTransform();
        double freqEnergy = 0.0;
        for (std::size_t k = 0; k < x.size(); ++k) {
            freqEnergy += fft.ComplexOutput()[k].Re * fft.ComplexOutput()[k].Re +
                          fft.ComplexOutput()[k].Im * fft.ComplexOutput()[k].Im;
            fft.ComplexInput()[k] = fft.ComplexOutput()[k];
        }
        EXPECT_NEAR(freqEnergy / n, timeEnergy, 1e-9 * timeEnergy);
        fft.InverseFourierTransform();
        for (std::size_t i = 0; i < x.size(); ++i)
            ExpectBin(fft.ComplexOutput()[i], x[i]);
    }
}

TEST(FastFourierBounds, ReferenceTransformLeavesSentinelsPastTheEndUntouched) {
    const TComplex sentinel{1234.5, -678.25};
    for (std::size_t n : {2U, 8U, 512U}) {
        std::vector<TComplex> in(n + 1, TComplex{0.5, 0.25});
        std::vector<double> realIn(n + 1, 0.5);
        std::vector<TComplex> out(n + 1, sentinel);
        in[n] = sentinel;
        ReferenceFourierTransform(std::span(in).first(n), std::span(out).first(n),
                                  2 * std::numbers::pi);
        EXPECT_EQ(out[n].Re, sentinel.Re);
        EXPECT_EQ(out[n].Im, sentinel.Im);
        ReferenceFourierTransform(std::span(realIn).first(n), std::span(out).first(n),
                                  2 * std::numbers::pi);
        EXPECT_EQ(out[n].Re, sentinel.Re);
        EXPECT_EQ(out[n].Im, sentinel.Im);
    }
}

TEST(FastFourierLength, InvalidLengthsAreAcceptedButEveryTransformRefusesAndWritesNothing) {
    for (int n : {0, 1, 3, 6, -4}) {
        TDSXFastFourier fft;
        fft.SetNumSamples(n);
        EXPECT_EQ(fft.NumSamples(), n);
        EXPECT_EQ(fft.SampleCount(), n);
        if (n > 0)
            fft.ComplexOutput()[0] = {42.0, 43.0};
        for (auto transform :
             {&TDSXFastFourier::FourierTransform, &TDSXFastFourier::InverseFourierTransform,
              &TDSXFastFourier::RealFourierTransform}) {
            try {
                (fft.*transform)();
                ADD_FAILURE() << "no exception for N = " << n;
            } catch (const EFastFourierError& e) {
                EXPECT_STREQ(e.what(), "NumSamples is not a positive integer power of 2");
            }
        }
        if (n > 0)
            ExpectBin(fft.ComplexOutput()[0], {42.0, 43.0}, 0.0);
    }
}

TEST(FastFourierLength, ResizingKeepsRealInputAndZeroFillsGrowth) {
    TDSXFastFourier fft;
    fft.SetNumSamples(4);
    for (std::size_t i = 0; i < 4; ++i)
        fft.RealInput()[i] = double(i + 1);
    fft.SetNumSamples(8);
    ASSERT_EQ(fft.RealInput().size(), 8U);
    ASSERT_EQ(fft.ComplexInput().size(), 8U);
    ASSERT_EQ(fft.ComplexOutput().size(), 8U);
    for (std::size_t i = 0; i < 8; ++i)
        EXPECT_EQ(fft.RealInput()[i], i < 4 ? double(i + 1) : 0.0);
    fft.SetNumSamples(2);
    EXPECT_EQ(fft.RealInput()[1], 2.0);
}

#ifdef PS_CAN_LIMIT_MEMORY
TEST(FastFourierLength, OutOfMemoryRaisesAndLeavesNoUsableBuffers) {
    std::ifstream statm("/proc/self/statm");
    unsigned long long pages = 0;
    statm >> pages;
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_AS, &old), 0);
    rlimit limited = old;
    limited.rlim_cur = pages * 4096ULL + (256ULL << 20); // room for 256 MiB more
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
    TDSXFastFourier fft;
    fft.SetNumSamples(4);
    std::string message;
    try {
        fft.SetNumSamples(1 << 26); // 1 GiB per complex buffer
    } catch (const EFastFourierError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_AS, &old);
    EXPECT_EQ(message, "Could not allocate memory for complex arrays");
    EXPECT_EQ(fft.NumSamples(), 1 << 26);
    EXPECT_TRUE(fft.ComplexInput().empty());
    EXPECT_TRUE(fft.ComplexOutput().empty());
    EXPECT_THROW(fft.RealFourierTransform(), EFastFourierError);
    fft.SetNumSamples(8);
    EXPECT_NO_THROW(fft.RealFourierTransform());
}
#endif

} // namespace

// The portable kernels' run of this suite (PHONOSCALE_FFT_KERNELS=baseline) must really use them.
TEST(FastFourierKernels, TheChosenKernelsFollowTheProcessorOrTheForcedChoice) {
    const char* const forced = std::getenv("PHONOSCALE_FFT_KERNELS");
    const std::string active = ActiveFftKernels();
    if (forced != nullptr && std::string(forced) == "baseline")
        EXPECT_EQ(active, "baseline");
    else
        EXPECT_TRUE(active == "avx2" || active == "baseline") << active;
}
