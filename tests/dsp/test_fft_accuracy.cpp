// SPDX-License-Identifier: GPL-3.0-or-later
// Accuracy of the fast transforms against a long double DFT and the reference radix-2 algorithm.
#include "dsp/DSXFastFourier.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

namespace {

using Cx = std::complex<double>;
using LCx = std::complex<long double>;

// X[k] = sum_n x[n] exp(sign i 2 pi n k / N), in long double from one table of N roots.
std::vector<LCx> LongDft(const std::vector<Cx>& x, int sign) {
    const std::size_t n = x.size();
    std::vector<LCx> roots(n);
    for (std::size_t j = 0; j < n; ++j) {
        const long double angle = 2.0L * std::numbers::pi_v<long double> *
                                  static_cast<long double>(j) / static_cast<long double>(n);
        roots[j] = {std::cos(angle), sign * std::sin(angle)};
    }
    std::vector<LCx> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        LCx sum = 0;
        std::size_t index = 0; // j * k mod N
        for (std::size_t j = 0; j < n; ++j) {
            sum += LCx(x[j].real(), x[j].imag()) * roots[index];
            index = (index + k) % n;
        }
        out[k] = sum;
    }
    return out;
}

// Random complex samples with a DC offset and a component at N/2, uneven in both parts, so that
// neither symmetry nor a zero imaginary part hides an error.
std::vector<Cx> TestSignal(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<Cx> x(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = {0.25 + 0.5 * dist(gen) + (i % 2 == 0 ? 0.2 : -0.2), 0.6 * dist(gen) - 0.1};
    }
    return x;
}

double MaxAbs(const std::vector<Cx>& x) {
    double m = 0.0;
    for (const Cx& v : x) {
        m = std::max({m, std::abs(v.real()), std::abs(v.imag())});
    }
    return m;
}

double MaxError(std::span<const TComplex> got, const std::vector<LCx>& want, long double scale) {
    double err = 0.0;
    for (std::size_t k = 0; k < want.size(); ++k) {
        err = std::max(err,
                       static_cast<double>(std::abs(LCx(got[k].Re, got[k].Im) - want[k] * scale)));
    }
    return err;
}

void Load(TDSXFastFourier& fft, const std::vector<Cx>& x) {
    for (std::size_t i = 0; i < x.size(); ++i) {
        fft.ComplexInput()[i] = {x[i].real(), x[i].imag()};
        fft.RealInput()[i] = x[i].real();
    }
}

TEST(FastFourierAccuracy, EveryTransformMatchesALongDoubleDftUpTo4096) {
    for (std::size_t n = 2; n <= 4096; n *= 2) {
        SCOPED_TRACE(n);
        const auto x = TestSignal(n, static_cast<unsigned>(n) + 3);
        std::vector<Cx> realPart(n);
        for (std::size_t i = 0; i < n; ++i) {
            realPart[i] = x[i].real();
        }
        const double bound = 1e-13 * static_cast<double>(n) * MaxAbs(x);
        TDSXFastFourier fft;
        fft.SetNumSamples(static_cast<int>(n));
        Load(fft, x);

        fft.FourierTransform();
        EXPECT_LE(MaxError(fft.ComplexOutput(), LongDft(x, +1), 1.0L), bound);
        fft.InverseFourierTransform();
        EXPECT_LE(MaxError(fft.ComplexOutput(), LongDft(x, -1), 1.0L / n), bound / n);
        fft.RealFourierTransform();
        const auto realWant = LongDft(realPart, +1);
        EXPECT_LE(MaxError(fft.ComplexOutput(), realWant, 1.0L), bound);

        // The real inverse of a Hermitian spectrum: use the exact spectrum of the real part.
        for (std::size_t k = 0; k < n; ++k) {
            fft.ComplexInput()[k] = {static_cast<double>(realWant[k].real()),
                                     static_cast<double>(realWant[k].imag())};
        }
        std::vector<double> back(n + 1, 777.0); // one sentinel past the end
        fft.InverseRealFourierTransform(std::span(back).first(n));
        double err = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            err = std::max(err, std::abs(back[i] - x[i].real()));
        }
        EXPECT_LE(err, bound);
        EXPECT_EQ(back[n], 777.0);
    }
}

TEST(FastFourierAccuracy, TransformsAgreeWithTheReferenceAlgorithmUpTo2To20) {
    for (std::size_t n : {8U, 16U, 32U, 64U, 128U, 1U << 10, 1U << 13, 1U << 14, 1U << 15, 1U << 16,
                          1U << 17, 1U << 19, 1U << 20}) {
        SCOPED_TRACE(n);
        const auto x = TestSignal(n, 11);
        TDSXFastFourier fft;
        fft.SetNumSamples(static_cast<int>(n));
        Load(fft, x);
        std::vector<TComplex> want(n);
        // Rounding errors of both algorithms grow about as sqrt(log2 N) times the spectrum's
        // root-mean-square value, sqrt(N) times that of the signal; allow a wide margin of that.
        const double bound = 1e-14 * std::sqrt(static_cast<double>(n)) * 64.0 * MaxAbs(x);
        const auto check = [&](double scale) {
            double err = 0.0;
            for (std::size_t k = 0; k < n; ++k) {
                err = std::max({err, std::abs(fft.ComplexOutput()[k].Re - want[k].Re * scale),
                                std::abs(fft.ComplexOutput()[k].Im - want[k].Im * scale)});
            }
            EXPECT_LE(err, bound * scale);
        };
        fft.FourierTransform();
        ReferenceFourierTransform(fft.ComplexInput(), want, 2 * std::numbers::pi);
        check(1.0);
        fft.InverseFourierTransform();
        ReferenceFourierTransform(fft.ComplexInput(), want, -2 * std::numbers::pi);
        check(1.0 / static_cast<double>(n));
        fft.RealFourierTransform();
        ReferenceFourierTransform(fft.RealInput(), want, 2 * std::numbers::pi);
        check(1.0);
    }
}

TEST(FastFourierAccuracy, ParsevalAndRoundTripsOfTheRealTransforms) {
    for (int n : {16, 64, 1024, 1 << 15, 1 << 18}) {
        SCOPED_TRACE(n);
        const auto x = TestSignal(std::size_t(n), 5);
        TDSXFastFourier fft;
        fft.SetNumSamples(n);
        Load(fft, x);
        double timeEnergy = 0.0;
        for (const Cx& v : x) {
            timeEnergy += v.real() * v.real();
        }
        fft.RealFourierTransform();
        double freqEnergy = 0.0;
        for (std::size_t k = 0; k < std::size_t(n); ++k) {
            const TComplex v = fft.ComplexOutput()[k];
            freqEnergy += v.Re * v.Re + v.Im * v.Im;
            // The spectrum of a real signal is Hermitian, bins 0 and N/2 real.
            const TComplex mirror = fft.ComplexOutput()[(std::size_t(n) - k) % std::size_t(n)];
            ASSERT_NEAR(v.Re, mirror.Re, 1e-13 * std::sqrt(n));
            ASSERT_NEAR(v.Im, -mirror.Im, 1e-13 * std::sqrt(n));
            fft.ComplexInput()[k] = v;
        }
        EXPECT_NEAR(freqEnergy / n, timeEnergy, 1e-12 * timeEnergy);
        // Bins above N/2 and the imaginary parts of bins 0 and N/2 are not read.
        for (std::size_t k = std::size_t(n) / 2 + 1; k < std::size_t(n); ++k) {
            fft.ComplexInput()[k] = {1e300, -1e300};
        }
        fft.ComplexInput()[0].Im = 5.0;
        fft.ComplexInput()[std::size_t(n) / 2].Im = -5.0;
        const std::vector<TComplex> spectrum(fft.ComplexOutput().begin(),
                                             fft.ComplexOutput().end());
        std::vector<double> back(static_cast<std::size_t>(n));
        fft.InverseRealFourierTransform(back);
        for (std::size_t i = 0; i < std::size_t(n); ++i) {
            ASSERT_NEAR(back[i], x[i].real(), 1e-13 * std::log2(n));
        }
        // The real inverse leaves ComplexOutput alone and the forward leaves RealInput alone.
        for (std::size_t k = 0; k < std::size_t(n); ++k) {
            ASSERT_EQ(fft.ComplexOutput()[k].Re, spectrum[k].Re);
            ASSERT_EQ(fft.RealInput()[k], x[k].real());
        }
    }
}

TEST(FastFourierAccuracy, InputsAreLeftAloneAndRepeatedCallsGiveTheSameBits) {
    const std::size_t n = 512;
    const auto x = TestSignal(n, 9);
    TDSXFastFourier fft;
    fft.SetNumSamples(int(n));
    Load(fft, x);
    fft.FourierTransform();
    const std::vector<TComplex> first(fft.ComplexOutput().begin(), fft.ComplexOutput().end());
    fft.RealFourierTransform();
    fft.InverseFourierTransform();
    fft.FourierTransform();
    for (std::size_t i = 0; i < n; ++i) {
        ASSERT_EQ(fft.ComplexInput()[i].Re, x[i].real());
        ASSERT_EQ(fft.ComplexInput()[i].Im, x[i].imag());
        ASSERT_EQ(fft.RealInput()[i], x[i].real());
        ASSERT_EQ(fft.ComplexOutput()[i].Re, first[i].Re);
        ASSERT_EQ(fft.ComplexOutput()[i].Im, first[i].Im);
    }
}

TEST(FastFourierAccuracy, RealInverseRefusesAnOutputOfTheWrongLengthAndABadN) {
    TDSXFastFourier fft;
    fft.SetNumSamples(64);
    std::vector<double> shortOutput(63);
    EXPECT_THROW(fft.InverseRealFourierTransform(shortOutput), EFastFourierError);
    fft.SetNumSamples(6);
    std::vector<double> output(6);
    try {
        fft.InverseRealFourierTransform(output);
        ADD_FAILURE() << "no exception for N = 6";
    } catch (const EFastFourierError& e) {
        EXPECT_STREQ(e.what(), "NumSamples is not a positive integer power of 2");
    }
}

TEST(FastFourierAccuracy, ResizingKeepsTheTransformsRight) {
    // Tables and scratch follow every assignment of NumSamples, also back to a shorter length.
    TDSXFastFourier fft;
    for (int n : {1024, 32, 4096, 16, 2, 256}) {
        SCOPED_TRACE(n);
        fft.SetNumSamples(n);
        for (std::size_t i = 0; i < std::size_t(n); ++i) {
            fft.RealInput()[i] = std::cos(2 * std::numbers::pi * 3 * double(i) / n);
        }
        fft.RealFourierTransform();
        for (std::size_t k = 0; k < std::size_t(n); ++k) {
            const bool line = n > 6 && (k == 3 || k == std::size_t(n) - 3);
            const double want = n == 2   ? (k == 0 ? 0.0 : 2.0)
                                : n == 4 ? 0.0
                                         : (line ? n / 2.0 : 0.0);
            EXPECT_NEAR(fft.ComplexOutput()[k].Re, want, 1e-12 * n) << k;
            EXPECT_NEAR(fft.ComplexOutput()[k].Im, 0.0, 1e-12 * n) << k;
        }
    }
}

} // namespace

TEST(FastFourierAccuracy, TheLowerHalfTransformGivesTheSameBitsAsTheFullOne) {
    // Every length from the reference path (N < 16) through the vector kernels' remainders
    // (N = 16, 32) to the long radix-8 transforms.
    for (int n : {2, 8, 16, 32, 64, 1024, 1 << 15, 1 << 17}) {
        SCOPED_TRACE(n);
        const auto x = TestSignal(static_cast<std::size_t>(n), 21);
        TDSXFastFourier full;
        full.SetNumSamples(n);
        TDSXFastFourier half;
        half.SetNumSamples(n);
        for (int i = 0; i < n; ++i) {
            full.RealInput()[static_cast<std::size_t>(i)] = x[static_cast<std::size_t>(i)].real();
            half.RealInput()[static_cast<std::size_t>(i)] = x[static_cast<std::size_t>(i)].real();
        }
        full.RealFourierTransform();
        half.RealFourierTransformLowerHalf();
        for (int k = 0; k <= n / 2; ++k) {
            const TComplex a = full.ComplexOutput()[static_cast<std::size_t>(k)];
            const TComplex b = half.ComplexOutput()[static_cast<std::size_t>(k)];
            ASSERT_EQ(a.Re, b.Re) << "bin " << k;
            ASSERT_EQ(a.Im, b.Im) << "bin " << k;
        }
    }
}

TEST(FastFourierAccuracy, TheInverseOfAProductIsTheCircularConvolution) {
    // x (*) h computed directly in long double against the inverse of X H formed on the way,
    // for the reference path (N = 8) and the fast kernels; too short a factor is refused.
    for (int n : {8, 16, 64, 512, 4096}) {
        SCOPED_TRACE(n);
        const auto x = TestSignal(static_cast<std::size_t>(n), 5);
        const auto h = TestSignal(static_cast<std::size_t>(n), 6);
        TDSXFastFourier kernel;
        kernel.SetNumSamples(n);
        TDSXFastFourier fft;
        fft.SetNumSamples(n);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
            kernel.RealInput()[i] = h[i].real();
            fft.RealInput()[i] = x[i].real();
        }
        kernel.RealFourierTransform();
        fft.RealFourierTransformLowerHalf();
        const std::vector<TComplex> factor(kernel.ComplexOutput().begin(),
                                           kernel.ComplexOutput().end());
        std::vector<double> y(static_cast<std::size_t>(n));
        fft.InverseRealFourierTransformOfProduct(factor, y);
        double largest = 0.0;
        for (std::size_t t = 0; t < y.size(); ++t) {
            long double direct = 0.0L;
            for (std::size_t j = 0; j < y.size(); ++j) {
                direct += static_cast<long double>(x[j].real()) *
                          static_cast<long double>(h[(t + y.size() - j) % y.size()].real());
            }
            largest = std::max(largest, std::abs(static_cast<double>(direct) - y[t]));
        }
        EXPECT_LT(largest, 1e-13 * n);
        std::vector<TComplex> shortFactor(static_cast<std::size_t>(n / 2));
        EXPECT_THROW(fft.InverseRealFourierTransformOfProduct(shortFactor, y), EFastFourierError);
    }
}
