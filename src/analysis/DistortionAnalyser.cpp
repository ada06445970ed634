// SPDX-License-Identifier: GPL-3.0-or-later
// The distortion analyser: window, transform and power average of each block, readings on demand.
#include "analysis/DistortionAnalyser.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

// The modified Bessel function of the first kind of order 0, I0(x) = sum_k ((x/2)^k / k!)^2,
// summed until the terms no longer change the sum (about 60 terms for x = 24).
double BesselI0(double x) {
    const double half = 0.5 * x;
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 500; ++k) {
        term *= (half / k) * (half / k);
        sum += term;
        if (term < sum * 1e-18)
            break;
    }
    return sum;
}

// input[i] := sample(i), times w[i] when Windowed, for i < input.size() (a multiple of 4);
// returns the sum of sample(i)^2 (in four partial sums, so that the sum does not hold up the
// loop). input may be what sample reads: each element is read before it is written.
template <bool Windowed, class Sample>
double Load(std::span<double> input, const double* w, Sample sample) {
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    for (std::size_t i = 0; i < input.size(); i += 4)
        for (std::size_t j = 0; j < 4; ++j) {
            const double x = sample(i + j);
            sums[j] += x * x;
            if constexpr (Windowed)
                input[i + j] = x * w[i + j];
            else
                input[i + j] = x;
        }
    return (sums[0] + sums[1]) + (sums[2] + sums[3]);
}

} // namespace

std::vector<double> HighRejectionWindow(int n) {
    std::vector<double> w(static_cast<std::size_t>(std::max(n, 0)));
    const double scale = 1.0 / BesselI0(HighRejectionBeta);
    // Symmetric about n / 2: w[n - i] = w[i].
    for (int i = 0; i <= n / 2 && i < n; ++i) {
        const double r = 2.0 * i / n - 1.0;
        const double value =
            BesselI0(HighRejectionBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) * scale;
        w[static_cast<std::size_t>(i)] = value;
        if (i > 0)
            w[static_cast<std::size_t>(n - i)] = value;
    }
    return w;
}

void TDistortionAnalyser::Configure(double rateHz, int n) {
    if (n < 8 || !TDSXFastFourier::IsPowerOfTwo(n))
        throw EFastFourierError("The distortion analyser needs a block length that is a power "
                                "of 2 from 8 on");
    fft_.SetNumSamples(n);
    rateHz_ = rateHz;
    n_ = n;
    window_ = HighRejectionWindow(n);
    double sum = 0.0;
    windowPowerSum_ = 0.0;
    for (const double w : window_) {
        sum += w;
        windowPowerSum_ += w * w;
    }
    windowEnbw_ = n * windowPowerSum_ / (sum * sum);
    power_.assign(static_cast<std::size_t>(n / 2 + 1), 0.0);
    residual_.assign(power_.size(), std::numeric_limits<double>::quiet_NaN());
    Restart();
}

void TDistortionAnalyser::SetSettings(const TDistortionSettings& settings) {
    settings_ = LimitedSettings(settings);
    averaged_ = std::min(averaged_, settings_.Averages);
    stale_ = true;
}

void TDistortionAnalyser::Restart() {
    averaged_ = 0;
    gridHz_ = 0.0;
    stale_ = true;
}

void TDistortionAnalyser::Process(std::span<const double> samples, double generatorHz) {
    if (n_ == 0 || samples.size() < static_cast<std::size_t>(n_))
        throw std::invalid_argument("The distortion analyser got fewer samples than its block "
                                    "length");
    std::copy_n(samples.begin(), n_, Input().begin());
    ProcessInput(generatorHz);
}

bool TDistortionAnalyser::CoherentAt(double generatorHz) const {
    const double cycles = generatorHz * n_ / rateHz_;
    return n_ > 0 && generatorHz > 0.0 && std::abs(cycles - std::nearbyint(cycles)) < 1e-9 &&
           cycles >= 0.5 && cycles < n_ / 2 - 0.5;
}

void TDistortionAnalyser::StartBlock(double grid, double meanSquare) {
    if (averaged_ > 0 && grid != gridHz_)
        averaged_ = 0; // another mode or tone: the average starts afresh
    gridHz_ = grid;
    if (LevelChanged(meanSquare))
        averaged_ = 0;
    lastMeanSquare_ = meanSquare;
}

bool TDistortionAnalyser::LevelChanged(double meanSquare) const {
    // A level more than 0.5 dB off the previous block's: the signal changed (or a tone set in),
    // and the average starts afresh with this block.
    constexpr double step = 1.1220184543019633; // 10^(0.5 / 10)
    return averaged_ > 0 &&
           (meanSquare > step * lastMeanSquare_ || step * meanSquare < lastMeanSquare_);
}

double TDistortionAnalyser::AddBlock(const TComplex* bins, std::size_t stride, double scale,
                                     double weight) {
    const std::size_t half = static_cast<std::size_t>(n_ / 2);
    double* power = power_.data();
    const auto add = [&](std::size_t k, double factor) {
        const TComplex& bin = bins[k * stride];
        const double p = (bin.Re * bin.Re + bin.Im * bin.Im) * scale * factor;
        power[k] += weight * (p - power[k]);
        return p;
    };
    // Four partial sums, so that the sum does not hold up the loop (N/2 is a multiple of 4).
    double total[4] = {add(0, 1.0), 0.0, 0.0, 0.0};
    for (std::size_t k = 1; k + 3 < half; k += 4) {
        total[0] += add(k, 2.0);
        total[1] += add(k + 1, 2.0);
        total[2] += add(k + 2, 2.0);
        total[3] += add(k + 3, 2.0);
    }
    for (std::size_t k = half - 3; k < half; ++k)
        total[1] += add(k, 2.0);
    total[2] += add(half, 1.0);
    stale_ = true;
    return (total[0] + total[1]) + (total[2] + total[3]);
}

void TDistortionAnalyser::ProcessInput(double generatorHz) {
    if (n_ == 0)
        throw std::invalid_argument("The distortion analyser is not configured");
    const std::span<double> input = Input();
    const auto same = [input](std::size_t i) { return input[i]; };
    const bool coherent = CoherentAt(generatorHz);
    TransformInput(coherent, generatorHz,
                   coherent ? Load<false>(input, nullptr, same)
                            : Load<true>(input, window_.data(), same));
}

void TDistortionAnalyser::ProcessFloats(std::span<const float> a, std::span<const float> b,
                                        int combine, double scale, double generatorHz) {
    const auto n = static_cast<std::size_t>(n_);
    if (n_ == 0 || a.size() < n || (combine != 0 && b.size() < n))
        throw std::invalid_argument("The distortion analyser got fewer samples than its block "
                                    "length");
    const float* x = a.data();
    const float* y = b.data();
    const bool coherent = CoherentAt(generatorHz);
    const std::span<double> input = Input();
    const double* w = coherent ? nullptr : window_.data();
    const auto load = [&](auto sample) {
        return coherent ? Load<false>(input, w, sample) : Load<true>(input, w, sample);
    };
    double sum = 0.0;
    if (combine > 0)
        sum = load([=](std::size_t i) { return (static_cast<double>(x[i]) + y[i]) * scale; });
    else if (combine < 0)
        sum = load([=](std::size_t i) { return (static_cast<double>(x[i]) - y[i]) * scale; });
    else
        sum = load([=](std::size_t i) { return x[i] * scale; });
    TransformInput(coherent, generatorHz, sum);
}

void TDistortionAnalyser::TransformInput(bool coherent, double generatorHz, double sumOfSquares) {
    StartBlock(coherent ? generatorHz : 0.0, sumOfSquares / n_);
    fft_.RealFourierTransformLowerHalf();
    // P[k] = 2 |X[k]|^2 / (N sum w^2) (bins 0 and N/2 without the 2): a sine's bins add up to
    // A^2 / 2, noise bins to the mean square (sum w^2 = N for the rectangular window).
    averaged_ = std::min(averaged_ + 1, settings_.Averages);
    AddBlock(fft_.ComplexOutput().data(), 1,
             1.0 / (static_cast<double>(n_) * (coherent ? n_ : windowPowerSum_)), 1.0 / averaged_);
}

void TDistortionAnalyser::ProcessRectangularBins(std::span<const TComplex> bins, std::size_t stride,
                                                 double scale, double generatorHz) {
    if (!CoherentAt(generatorHz))
        throw std::invalid_argument("The distortion analyser takes a rectangular transform only "
                                    "for a tone on a bin");
    if (stride == 0 || bins.size() <= static_cast<std::size_t>(n_ / 2) * stride)
        throw std::invalid_argument("The distortion analyser got fewer bins than its block "
                                    "length needs");
    if (averaged_ > 0 && generatorHz != gridHz_)
        averaged_ = 0; // another mode or tone: the average starts afresh
    gridHz_ = generatorHz;
    // As ProcessInput with the samples scale * x: P[k] = 2 scale^2 |X[k]|^2 / N^2. The bins add
    // up to the block's mean square (Parseval), which tells whether the level changed only once
    // the block is in the average: then the average is this block alone.
    const double n = n_;
    const double binScale = scale * scale / (n * n);
    const int count = std::min(averaged_ + 1, settings_.Averages);
    const double meanSquare = AddBlock(bins.data(), stride, binScale, 1.0 / count);
    if (LevelChanged(meanSquare)) {
        AddBlock(bins.data(), stride, binScale, 1.0); // the average is this block alone
        averaged_ = 1;
    } else {
        averaged_ = count;
    }
    lastMeanSquare_ = meanSquare;
}

const TDistortionReadings& TDistortionAnalyser::Readings() {
    if (!stale_)
        return readings_;
    stale_ = false;
    residualStale_ = true;
    if (averaged_ == 0 || n_ == 0) {
        readings_ = {};
        readings_.Problem = "No block measured yet";
        return readings_;
    }
    TPowerSpectrum spectrum;
    spectrum.Power = power_;
    spectrum.RateHz = rateHz_;
    spectrum.N = n_;
    spectrum.Lobe = Coherent() ? 0 : HighRejectionLobe;
    spectrum.ToneGridHz = gridHz_;
    readings_ = ComputeDistortionReadings(spectrum, settings_, marks_);
    readings_.Averaged = averaged_;
    return readings_;
}

std::span<const double> TDistortionAnalyser::Residual() {
    Readings();
    if (!residualStale_)
        return residual_;
    residualStale_ = false;
    const double enbw = Coherent() ? 1.0 : windowEnbw_;
    const bool none = averaged_ == 0;
    for (std::size_t k = 0; k < residual_.size(); ++k) {
        const int bin = static_cast<int>(k);
        const bool removed =
            none || bin <= readings_.DcLastBin ||
            (bin >= readings_.FundamentalFirstBin && bin <= readings_.FundamentalLastBin);
        residual_[k] =
            removed ? std::numeric_limits<double>::quiet_NaN() : std::sqrt(2.0 * power_[k] * enbw);
    }
    return residual_;
}
