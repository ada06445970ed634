// SPDX-License-Identifier: GPL-3.0-or-later
// Time constants, per-bin smoothing and display reduction of the amplitude spectrum.
#include "core/SpectrumSmoothing.h"

#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "core/WindowCalibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

double BinOfFrequency(double freqHz, double sampleRateHz, int n) {
    return std::min(n / 2.0, std::max(0.0, freqHz / sampleRateHz * n));
}

double TimeToAlpha(double t, int filterRateHz, int n) {
    if (n == 0) {
        return 1.0;
    }
    const double tau = t * filterRateHz / n;
    return tau <= 0.0 ? 1.0 : 1.0 - std::exp(-1.0 / tau);
}

void ETimeChange(MeasurementState& state, std::string_view eTimeText, int filterRateHz) {
    if (state.BlockLength == 0) {
        return;
    }
    state.MeterAlpha = TimeToAlpha(NumberOrThrow(eTimeText), filterRateHz, state.BlockLength);
}

void EAvChange(MeasurementState& state, std::string_view eAvText) {
    state.ReducePoints = WholeNumberOrThrow(eAvText);
}

void BuildSmoothAlpha(MeasurementState& state, int filterRateHz) {
    const int n = state.BlockLength;
    const int half = n / 2;
    state.SmoothAlpha.assign(static_cast<std::size_t>(std::max(half, 0)), state.MeterAlpha);
    if (state.Controls.CTC != 1) {
        return;
    }
    std::array<double, 6> t{}; // t1 ... t6 in s at 0, 10, 100, 1k, 10k, 100k Hz
    for (std::size_t k = 0; k < t.size(); ++k) {
        const auto value = ParseWholeNumber(state.Controls.ET[k]);
        if (!value) {
            return; // any text that is not a whole number: the meter constant everywhere
        }
        t[k] = *value;
    }
    constexpr std::array<double, 5> kAnchorHz = {10.0, 100.0, 1000.0, 10000.0, 100000.0};
    auto alpha = [&](double seconds) { return TimeToAlpha(seconds, filterRateHz, n); };
    int e = -1;
    for (std::size_t k = 0; k < kAnchorHz.size(); ++k) {
        const int s = e + 1;
        if (s > half - 1) {
            break;
        }
        e = std::min(
            static_cast<int>(std::nearbyint(BinOfFrequency(kAnchorHz[k], state.SampleRate, n))),
            half - 1);
        // Segment from bin s (time constant t[k]) to bin e (t[k + 1]); nothing when the two
        // anchors share a bin, and the next segment then starts after e.
        if (e == s) {
            state.SmoothAlpha[static_cast<std::size_t>(s)] = alpha(t[k]);
        } else if (e > s) {
            for (int j = s; j <= e; ++j) {
                const double fraction = static_cast<double>(j - s) / (e - s);
                state.SmoothAlpha[static_cast<std::size_t>(j)] =
                    alpha(t[k] + fraction * (t[k + 1] - t[k]));
            }
        }
    }
}

double SpectrumScale(const MeasurementState& state) {
    return 1.0 / state.FullScale / WindowGain(state.WindowKind);
}

void UpdateSpectrum(MeasurementState& state, std::span<const double> amplitude) {
    const std::size_t half = static_cast<std::size_t>(std::max(state.BlockLength / 2, 0));
    if (state.Spectrum.size() != half) {
        state.Spectrum.assign(half, 0.0); // a new N: no bin keeps a value of the old one
    }
    const double scale = SpectrumScale(state);
    auto& spectrum = state.Spectrum;
    const auto count = std::min(half, amplitude.size());
    if (state.ResetSmoothing) {
        for (std::size_t i = 0; i < count; ++i) {
            spectrum[i] = amplitude[i] * scale;
        }
    } else if (state.Controls.CTC == 0 || state.Controls.CTC == 1) {
        const auto& alpha = state.SmoothAlpha;
        for (std::size_t i = 0; i < count && i < alpha.size(); ++i) {
            spectrum[i] = SmoothedBin(spectrum[i], alpha[i], amplitude[i] * scale);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            spectrum[i] = HeldBin(spectrum[i], amplitude[i] * scale);
        }
    }
}

namespace {

// Accumulates bins of one display point: mean value, or root mean square for power smoothing.
struct PointSum {
    bool power = false;
    double freqSum = 0.0;
    double valueSum = 0.0;
    int count = 0;

    void Add(double freqHz, double value) {
        freqSum += freqHz;
        valueSum += power ? value * value : value;
        ++count;
    }
    double Value() const {
        const double mean = valueSum / count;
        return power ? std::sqrt(mean) : mean;
    }
};

} // namespace

namespace {

// Band edges of the log axis for N = n, rate fs and m points (see ReduceSpectrum).
void ComputeBands(TReductionBands& bands, int n, double fs, std::int64_t m, bool withUppers) {
    bands.N = n;
    bands.SampleRate = fs;
    bands.M = m;
    bands.UpperEdges.clear();
    // Log axis: band b spans df * (N/2)^((b - 0.5) / d) ... df * (N/2)^((b + 0.5) / d).
    const double df = fs / n;
    const double top = n / 2.0;
    const double d = static_cast<double>(std::max<std::int64_t>(m - 1, 1));
    auto edge = [&](double exponent) { return df * std::pow(top, exponent / d); };
    auto wideEnough = [&](std::int64_t b) {
        const double centre = static_cast<double>(b);
        return edge(centre + 0.5) - edge(centre - 0.5) >= df;
    };
    // Band widths grow with b, so the first band at least one bin wide is found by bisection;
    // when there is none every bin is shown alone.
    bands.FirstBand = m;
    bands.FirstEdge = std::numeric_limits<double>::infinity();
    if (wideEnough(m - 1)) {
        std::int64_t low = 0;
        std::int64_t high = m - 1; // wideEnough(high) holds
        while (low < high) {
            const std::int64_t mid = low + (high - low) / 2;
            if (wideEnough(mid)) {
                high = mid;
            } else {
                low = mid + 1;
            }
        }
        bands.FirstBand = low;
        bands.FirstEdge = edge(static_cast<double>(low) - 0.5);
    }
    if (withUppers) {
        for (std::int64_t b = bands.FirstBand + 1; b < m; ++b) {
            bands.UpperEdges.push_back(edge(static_cast<double>(b) + 0.5));
        }
        bands.BinFrequencies.resize(static_cast<std::size_t>(std::max(n / 2, 0)));
        for (std::size_t j = 0; j < bands.BinFrequencies.size(); ++j) {
            bands.BinFrequencies[j] = BinToFrequency(static_cast<double>(j), fs, n);
        }
    } else {
        bands.BinFrequencies.clear();
    }
}

// Longest list of band edges that is kept between calls.
constexpr std::int64_t kMaxKeptBands = std::int64_t{1} << 16;

void Reduce(MeasurementState& state, TReductionBands* kept) {
    const int n = state.BlockLength;
    const double fs = state.SampleRate;
    const auto& spectrum = state.Spectrum;
    const int bins = std::min(n / 2, static_cast<int>(spectrum.size()));
    const std::int64_t m = state.ReducePoints;
    auto& points = state.DisplayPoints;
    points.clear();

    auto allBins = [&] {
        for (int i = 0; i < bins; ++i) {
            points.push_back({BinToFrequency(i, fs, n), spectrum[static_cast<std::size_t>(i)]});
        }
    };
    const int mode = state.Controls.CRed;
    if ((mode != 1 && mode != 2) || m < 1) {
        allBins();
        return;
    }
    const bool power = mode == 2;

    if (!state.Controls.LogF) {
        const std::int64_t g = n / (2 * m);
        if (g <= 1) {
            allBins();
            return;
        }
        for (std::int64_t j = 0; j < m; ++j) {
            PointSum sum{power};
            for (std::int64_t k = 0; k < g; ++k) {
                const auto index =
                    static_cast<std::size_t>(std::min<std::int64_t>(j * g + k, bins - 1));
                sum.Add(0.0, spectrum[index]);
            }
            const double centre = static_cast<double>(j * g) + static_cast<double>(g - 1) / 2.0;
            points.push_back({BinToFrequency(centre, fs, n), sum.Value()});
        }
        return;
    }

    TReductionBands local;
    const bool keep = kept != nullptr && m <= kMaxKeptBands;
    TReductionBands& bands = keep ? *kept : local;
    if (!keep || bands.N != n || bands.SampleRate != fs || bands.M != m) {
        ComputeBands(bands, n, fs, m, keep);
    }
    const double df = fs / n;
    const double top = n / 2.0;
    const double d = static_cast<double>(std::max<std::int64_t>(m - 1, 1));
    auto upperEdge = [&](std::int64_t b) {
        return keep ? bands.UpperEdges[static_cast<std::size_t>(b - bands.FirstBand - 1)]
                    : df * std::pow(top, (static_cast<double>(b) + 0.5) / d);
    };
    const std::vector<double>& binFrequencies = bands.BinFrequencies;
    auto frequency = [&](int j) {
        return static_cast<std::size_t>(j) < binFrequencies.size()
                   ? binFrequencies[static_cast<std::size_t>(j)]
                   : BinToFrequency(j, fs, n);
    };
    const std::int64_t b0 = bands.FirstBand;
    const double lo0 = bands.FirstEdge;
    int j = 1; // bin 0 is never shown on the log axis
    for (; j < bins && frequency(j) < lo0; ++j) {
        points.push_back({frequency(j), spectrum[static_cast<std::size_t>(j)]});
    }
    for (std::int64_t b = b0 + 1; b < m && j < bins; ++b) {
        const double upper = upperEdge(b);
        PointSum sum{power};
        for (; j < bins; ++j) {
            const double f = frequency(j);
            if (!(f < upper)) {
                break;
            }
            sum.Add(f, spectrum[static_cast<std::size_t>(j)]);
        }
        if (sum.count > 0) { // a band narrower than the bin spacing may gather nothing
            points.push_back({sum.freqSum / sum.count, sum.Value()});
        }
    }
}

} // namespace

void ReduceSpectrum(MeasurementState& state) {
    Reduce(state, nullptr);
}

void ReduceSpectrum(MeasurementState& state, TReductionBands& bands) {
    Reduce(state, &bands);
}
