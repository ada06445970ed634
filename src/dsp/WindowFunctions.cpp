// SPDX-License-Identifier: GPL-3.0-or-later
// Analysis windows evaluated in extended precision and rounded to double on return.
#include "dsp/WindowFunctions.h"

#include <cmath>

namespace {

constexpr long double kPi = 3.141592653589793238462643383279502884L;
constexpr long double kTwoPi = 2.0L * kPi;
constexpr long double kFourPi = 4.0L * kPi;
constexpr long double kSixPi = 6.0L * kPi;
constexpr long double kEightPi = 8.0L * kPi;

// True when i lies inside 0 ... m and the cosine terms (which divide by m) can be evaluated.
bool InsideWithCosines(int i, long long m) {
    return i >= 0 && i <= m && m > 0;
}

// cos(constant * i / m) in extended precision.
long double Cosine(long double constant, int i, long long m) {
    return std::cos(constant * static_cast<long double>(i) / static_cast<long double>(m));
}

long double Blackman(int i, long long m) {
    return 0.42L - 0.5L * Cosine(kTwoPi, i, m) + 0.08L * Cosine(kFourPi, i, m);
}

} // namespace

double WindowRect(int i, int L) {
    return i >= 0 && i < L ? 1.0 : 0.0; // 0 <= i <= M with M = L - 1
}

double WindowBlackman(int i, int L) {
    const long long m = static_cast<long long>(L) - 1; // no overflow for any L
    return InsideWithCosines(i, m) ? static_cast<double>(Blackman(i, m)) : 0.0;
}

double WindowBlackman2(int i, int L) {
    const long long m = static_cast<long long>(L) - 1; // no overflow for any L
    if (!InsideWithCosines(i, m)) {
        return 0.0;
    }
    const long double w = Blackman(i, m);
    return static_cast<double>(w * w);
}

double WindowHanning(int i, int L) {
    const long long m = static_cast<long long>(L) - 1; // no overflow for any L
    return InsideWithCosines(i, m) ? static_cast<double>(0.5L * (1.0L - Cosine(kTwoPi, i, m)))
                                   : 0.0;
}

double WindowHamming(int i, int L) {
    const long long m = static_cast<long long>(L) - 1; // no overflow for any L
    return InsideWithCosines(i, m) ? static_cast<double>(0.54L - 0.46L * Cosine(kTwoPi, i, m))
                                   : 0.0;
}

double WindowFlatTop(int i, int L) {
    const long long m = L;
    if (!InsideWithCosines(i, m)) {
        return 0.0;
    }
    const long double w =
        0.21557895L - 0.41663158L * Cosine(kTwoPi, i, m) + 0.277263158L * Cosine(kFourPi, i, m) -
        0.083578947L * Cosine(kSixPi, i, m) + 0.006947368L * Cosine(kEightPi, i, m);
    return static_cast<double>(w);
}
