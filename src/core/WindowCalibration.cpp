// Gains and main-lobe width of the spectrum's analysis windows, measured with a test sine.
#include "core/WindowCalibration.h"

#include "core/MeasurementState.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/WindowFunctions.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace {

constexpr std::array<double, WindowKindCount> kWindowGain = {
    0.498229650342632,   0.2091458220040955,  0.15167982513551845,
    0.24897954107741643, 0.26892067954765253, 0.1074023463702701};

constexpr double kTwoPiTimes3300 = 20734.511513692636; // rad/s of the 3300 Hz test sine

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

void CalibrateWindow(MeasurementState& state, TDSXFastFourier& fft) {
    const int n = state.BlockLength;
    fft.SetNumSamples(n);
    auto input = fft.RealInput();
    const auto& weights = WindowWeights(state);
    for (int i = 0; i < n; ++i) {
        input[static_cast<std::size_t>(i)] =
            std::sin(kTwoPiTimes3300 * i / state.SampleRate) * weights[static_cast<std::size_t>(i)];
    }
    fft.RealFourierTransform();
    const auto spectrum = fft.ComplexOutput();

    const int half = n / 2;
    std::vector<double> amplitude(static_cast<std::size_t>(half));
    double sum = 0.0;
    double largest = 0.0;
    int k = 0;
    for (int i = 0; i < half; ++i) {
        const TComplex x = spectrum[static_cast<std::size_t>(i)];
        const double p = x.Re * x.Re + x.Im * x.Im;
        sum += p;
        if (p > largest) {
            largest = p;
            k = i;
        }
        amplitude[static_cast<std::size_t>(i)] = std::sqrt(p) / n;
    }
    state.WindowTotalGain = std::sqrt(sum) / n;

    // Widen around the test tone's peak until it holds all but 0.01 % of the amplitude.
    int width = 0;
    double acc =
        half > 0 ? amplitude[static_cast<std::size_t>(k)] * amplitude[static_cast<std::size_t>(k)]
                 : 0.0;
    while (!(std::sqrt(acc) * 1.0001 >= state.WindowTotalGain) && k >= 2 && k < half - 2 &&
           k - (width + 1) >= 0 && k + (width + 1) <= half - 1) {
        ++width;
        const double above = amplitude[static_cast<std::size_t>(k + width)];
        const double below = amplitude[static_cast<std::size_t>(k - width)];
        acc += above * above + below * below;
    }
    state.PeakHalfWidth = width;
}

void WT0Click(MeasurementState& state, TDSXFastFourier* fft, int itemIndex) {
    state.WindowKind = itemIndex;
    if (fft != nullptr) {
        CalibrateWindow(state, *fft);
    }
}
