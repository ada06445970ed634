// SPDX-License-Identifier: GPL-3.0-or-later
// Gains and main-lobe width of the spectrum's analysis windows, measured with a test sine.
#include "core/WindowCalibration.h"

#include "core/MeasurementState.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/WindowFunctions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

namespace {

constexpr std::array<double, WindowKindCount> kWindowGain = {
    0.498229650342632,   0.2091458220040955,  0.15167982513551845,
    0.24897954107741643, 0.26892067954765253, 0.1074023463702701};

} // namespace

double WindowGain(int windowKind) {
    if (windowKind < 0 || windowKind >= WindowKindCount) {
        windowKind = 0;
    }
    return kWindowGain[static_cast<std::size_t>(windowKind)];
}

double WindowValue(int windowKind, int i, int L) {
    switch (windowKind) {
    case 1:
        return WindowBlackman(i, L);
    case 2:
        return WindowBlackman2(i, L);
    case 3:
        return WindowHanning(i, L);
    case 4:
        return WindowHamming(i, L);
    case 5:
        return WindowFlatTop(i, L);
    default:
        return WindowRect(i, L);
    }
}

const std::vector<double>& WindowWeights(MeasurementState& state) {
    const int n = std::max(state.BlockLength, 0);
    if (state.WindowTableKind != state.WindowKind || state.WindowTableLength != n) {
        state.WindowTable.resize(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            state.WindowTable[static_cast<std::size_t>(i)] =
                WindowValue(state.WindowKind, i, n - 1);
        }
        state.WindowTableKind = state.WindowKind;
        state.WindowTableLength = n;
    }
    return state.WindowTable;
}

namespace {

// Per-bin amplitudes |X[i]| / L, i = 0 ... L/2 - 1, of a unit sine at `bin` (may be fractional)
// through the window weights (L = fft.NumSamples() of them).
std::vector<double> ToneAmplitudes(const std::vector<double>& weights, TDSXFastFourier& fft,
                                   double bin) {
    const int n = fft.NumSamples();
    auto input = fft.RealInput();
    for (int i = 0; i < n; ++i) {
        // bin * i is exact; whole periods are dropped before the sine.
        const double turns = std::fmod(bin * i, static_cast<double>(n)) / n;
        input[static_cast<std::size_t>(i)] =
            std::sin(2.0 * std::numbers::pi * turns) * weights[static_cast<std::size_t>(i)];
    }
    fft.RealFourierTransform();
    const auto spectrum = fft.ComplexOutput();
    std::vector<double> amplitude(static_cast<std::size_t>(n / 2));
    for (std::size_t i = 0; i < amplitude.size(); ++i) {
        const TComplex x = spectrum[i];
        amplitude[i] = std::sqrt(x.Re * x.Re + x.Im * x.Im) / n;
    }
    return amplitude;
}

double RootSumSquare(const std::vector<double>& amplitude) {
    double sum = 0.0;
    for (const double a : amplitude) {
        sum += a * a;
    }
    return std::sqrt(sum);
}

// Bins each side of bin k that hold all but 0.01 % of the tone's amplitude `total`, within
// 0 ... N/2 - 1.
int LobeHalfWidth(const std::vector<double>& amplitude, int k, double total) {
    const int half = static_cast<int>(amplitude.size());
    const auto at = [&](int j) { return amplitude[static_cast<std::size_t>(j)]; };
    int width = 0;
    double acc = at(k) * at(k);
    while (!(std::sqrt(acc) * 1.0001 >= total) && k - (width + 1) >= 0 &&
           k + (width + 1) <= half - 1) {
        ++width;
        acc += at(k + width) * at(k + width) + at(k - width) * at(k - width);
    }
    return width;
}

constexpr int kLobeMaxLength = 16384;   // points of the lobe-width measurement at most
constexpr int kPeakFitSteps = 64;       // table entries per half bin
constexpr int kPeakFitMaxLength = 4096; // the lobe's shape no longer changes with N beyond this

// The response of the window's peak fit to a complex tone 0 ... 0.5 bin above a bin, measured
// on the lobe |sum_i w(i, L - 1) exp(2 pi i (d - m) i / L)| at m = -1, 0, 1 with
// L = min(N, 4096): the lobe's shape in bins is the same for every N up to terms of order 1/N.
TPeakFitTable MeasurePeakFit(int windowKind, int n) {
    TPeakFitTable table;
    table.Kind = windowKind == 0 ? TPeakFitKind::NeighbourRatio : TPeakFitKind::LogParabola;
    table.Window = windowKind;
    table.Length = n;
    const int length = std::min(n, kPeakFitMaxLength);
    if (length < 4) {
        return table;
    }
    std::vector<double> weights(static_cast<std::size_t>(length));
    for (int i = 0; i < length; ++i) {
        weights[static_cast<std::size_t>(i)] = WindowValue(windowKind, i, length - 1);
    }
    table.Response.resize(kPeakFitSteps + 1);
    for (int j = 0; j <= kPeakFitSteps; ++j) {
        const double offset = 0.5 * j / kPeakFitSteps;
        std::array<double, 3> lobe{};
        for (int m = -1; m <= 1; ++m) {
            const double omega = 2.0 * std::numbers::pi * (offset - m) / length;
            // The phasor turns by a fixed step and is set afresh every 64 samples, which keeps
            // its rounding drift far below the fit's needs.
            const std::complex<double> turn = std::polar(1.0, omega);
            std::complex<double> phasor = 1.0;
            std::complex<double> sum = 0.0;
            for (int i = 0; i < length; ++i) {
                if (i % 64 == 0) {
                    phasor = std::polar(1.0, omega * i);
                }
                sum += weights[static_cast<std::size_t>(i)] * phasor;
                phasor *= turn;
            }
            lobe[static_cast<std::size_t>(m + 1)] = std::abs(sum);
        }
        const auto response = PeakFitOffset(lobe, 1, table.Kind);
        table.Response[static_cast<std::size_t>(j)] = response.value_or(offset);
    }
    table.Response.front() = std::max(table.Response.front(), 0.0);
    for (std::size_t j = 1; j < table.Response.size(); ++j) {
        // A response that does not rise (only conceivable for a degenerate window) is held flat,
        // so that the table can always be searched.
        table.Response[j] = std::max(table.Response[j], table.Response[j - 1]);
    }
    return table;
}

} // namespace

void CalibrateWindow(MeasurementState& state, TDSXFastFourier& fft) {
    const int n = state.BlockLength;
    if (n < 8) {
        return;
    }
    // The test tone sits at a quarter of the sample rate, N/4 bins from 0 Hz and from fs/2, so
    // its main lobe and its mirror image never meet whatever N and the rate are. On that bin the
    // samples are w[i] sin(pi i / 2), and the power of bins 0 ... N/2 - 1 follows from Parseval:
    // (N sum u^2 + |X[0]|^2 - |X[N/2]|^2) / 2, with X[0] = sum u and X[N/2] = sum (-1)^i u.
    const auto& weights = WindowWeights(state);
    double energy = 0.0;
    double dc = 0.0;
    double nyquist = 0.0;
    for (int i = 1; i < n; i += 2) {
        const double u = (i % 4 == 1 ? 1.0 : -1.0) * weights[static_cast<std::size_t>(i)];
        energy += u * u;
        dc += u;
        nyquist -= u; // odd i
    }
    const double halfPower = (n * energy + dc * dc - nyquist * nyquist) / 2.0;
    state.WindowTotalGain = std::sqrt(std::max(halfPower, 0.0)) / n;

    // The lobe width in bins is that of the same window at up to 16384 points (longer windows
    // have the same lobe), for a tone on a bin and one halfway between bins.
    const int length = std::min(n, kLobeMaxLength);
    fft.SetNumSamples(length);
    std::vector<double> shorter;
    if (length < n) {
        shorter.resize(static_cast<std::size_t>(length));
        for (int i = 0; i < length; ++i) {
            shorter[static_cast<std::size_t>(i)] = WindowValue(state.WindowKind, i, length - 1);
        }
    }
    const auto& lobeWeights = length < n ? shorter : weights;
    const int k = length / 4;
    const auto onBin = ToneAmplitudes(lobeWeights, fft, k);
    const auto between = ToneAmplitudes(lobeWeights, fft, k + 0.5);
    state.PeakHalfWidth = std::max(LobeHalfWidth(onBin, k, RootSumSquare(onBin)),
                                   LobeHalfWidth(between, k, RootSumSquare(between)));
    fft.SetNumSamples(n);

    const int fitLength = std::min(n, kPeakFitMaxLength);
    if (state.PeakFit.Window != state.WindowKind ||
        std::min(state.PeakFit.Length, kPeakFitMaxLength) != fitLength) {
        state.PeakFit = MeasurePeakFit(state.WindowKind, n);
    }
    state.WindowCalKind = state.WindowKind;
    state.WindowCalLength = n;
    state.WindowCalRate = state.SampleRate;
}

bool EnsureWindowCalibrated(MeasurementState& state, TDSXFastFourier& fft) {
    if (state.WindowCalKind == state.WindowKind && state.WindowCalLength == state.BlockLength &&
        state.WindowCalRate == state.SampleRate) {
        return false;
    }
    CalibrateWindow(state, fft);
    return true;
}

void WT0Click(MeasurementState& state, TDSXFastFourier* fft, int itemIndex) {
    state.WindowKind = itemIndex;
    if (fft != nullptr) {
        CalibrateWindow(state, *fft);
    }
}
