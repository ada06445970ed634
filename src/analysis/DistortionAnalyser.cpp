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

void TDistortionAnalyser::ProcessInput(double generatorHz) {
    if (n_ == 0)
        throw std::invalid_argument("The distortion analyser is not configured");
    // Coherent when the generator's tone falls on a bin: m = f N / fs whole (its period
    // divides N) and below N/2.
    const double cycles = generatorHz * n_ / rateHz_;
    const bool coherent = generatorHz > 0.0 && std::abs(cycles - std::nearbyint(cycles)) < 1e-9 &&
                          cycles >= 0.5 && cycles < n_ / 2 - 0.5;
    const double grid = coherent ? generatorHz : 0.0;
    if (averaged_ > 0 && grid != gridHz_)
        averaged_ = 0; // another mode or tone: the average starts afresh
    gridHz_ = grid;

    // The block's mean square, and the window applied.
    const std::span<double> input = Input();
    double sum = 0.0;
    if (coherent) {
        for (const double x : input)
            sum += x * x;
    } else {
        for (std::size_t i = 0; i < input.size(); ++i) {
            sum += input[i] * input[i];
            input[i] *= window_[i];
        }
    }
    // A level more than 0.5 dB off the previous block's: the signal changed (or a tone set in),
    // and the average starts afresh with this block.
    constexpr double step = 1.1220184543019633; // 10^(0.5 / 10)
    const double meanSquare = sum / n_;
    if (averaged_ > 0 &&
        (meanSquare > step * lastMeanSquare_ || step * meanSquare < lastMeanSquare_))
        averaged_ = 0;
    lastMeanSquare_ = meanSquare;
    fft_.RealFourierTransformLowerHalf();

    // P[k] = 2 |X[k]|^2 / (N sum w^2) (bins 0 and N/2 without the 2): a sine's bins add up to
    // A^2 / 2, noise bins to the mean square (sum w^2 = N for the rectangular window).
    const double scale = 1.0 / (static_cast<double>(n_) * (coherent ? n_ : windowPowerSum_));
    averaged_ = std::min(averaged_ + 1, settings_.Averages);
    const double weight = 1.0 / averaged_;
    const std::span<const TComplex> bins = fft_.ComplexOutput();
    const std::size_t half = static_cast<std::size_t>(n_ / 2);
    double* power = power_.data();
    for (std::size_t k = 0; k <= half; ++k) {
        const double p = (bins[k].Re * bins[k].Re + bins[k].Im * bins[k].Im) * scale *
                         (k == 0 || k == half ? 1.0 : 2.0);
        power[k] += weight * (p - power[k]);
    }
    stale_ = true;
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
