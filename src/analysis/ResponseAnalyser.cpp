// SPDX-License-Identifier: GPL-3.0-or-later
// The response analyser: window, transforms and averaged spectra of each block pair, readings on
// demand.
#include "analysis/ResponseAnalyser.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

constexpr double kPi = std::numbers::pi;

// x - 2 pi round(x / 2 pi): the angle in -pi ... pi.
double Wrapped(double x) {
    return x - 2.0 * kPi * std::nearbyint(x / (2.0 * kPi));
}

// J(r) = sum_k c_k cos(phi_k + omega_k r) and its first two derivatives, over bins lo ... hi
// (every stride-th),
// from the unit phasors u_k = exp(i phi_k): exp(i omega_k r) = z^k, z = exp(i 2 pi r / N), by
// repeated products (no sine per bin).
struct TSlopeSum {
    double J = 0.0, D1 = 0.0, D2 = 0.0;
};
TSlopeSum SlopeSum(std::span<const TComplex> unit, std::span<const double> weight, int lo, int hi,
                   int n, double r, int stride = 1) {
    TSlopeSum s;
    const double step = 2.0 * kPi / n;
    const TComplex z{std::cos(step * r * stride), std::sin(step * r * stride)};
    TComplex p{std::cos(step * r * lo), std::sin(step * r * lo)};
    for (int k = lo; k <= hi; k += stride) {
        const auto i = static_cast<std::size_t>(k);
        const double re = unit[i].Re * p.Re - unit[i].Im * p.Im;
        const double im = unit[i].Re * p.Im + unit[i].Im * p.Re;
        const double omega = step * k;
        s.J += weight[i] * re;
        s.D1 -= weight[i] * omega * im;
        s.D2 -= weight[i] * omega * omega * re;
        p = {p.Re * z.Re - p.Im * z.Im, p.Re * z.Im + p.Im * z.Re};
    }
    return s;
}

} // namespace

TResponseSettings LimitedSettings(TResponseSettings s) {
    const TResponseSettings defaults;
    s.Averages = std::clamp(s.Averages, 1, 1000);
    s.TimeConstantS = std::isfinite(s.TimeConstantS) ? std::clamp(s.TimeConstantS, 0.01, 1000.0)
                                                     : defaults.TimeConstantS;
    s.Smoothing = std::clamp(s.Smoothing, 0, 48);
    s.BandLowHz = std::isfinite(s.BandLowHz) ? std::max(s.BandLowHz, 0.0) : defaults.BandLowHz;
    s.BandHighHz = std::isfinite(s.BandHighHz) ? std::max(s.BandHighHz, 0.0) : defaults.BandHighHz;
    return s;
}

void TResponseAnalyser::Configure(double rateHz, int n) {
    if (n < 16 || n > (1 << 20) || !TDSXFastFourier::IsPowerOfTwo(n))
        throw EFastFourierError("The response analyser needs a block length that is a power of 2 "
                                "from 16 to 1048576");
    fftX_.SetNumSamples(n);
    fftY_.SetNumSamples(n);
    rateHz_ = rateHz;
    n_ = n;
    window_.resize(static_cast<std::size_t>(n));
    const auto half = static_cast<std::size_t>(n / 2 + 1);
    for (auto* v : {&gxx_, &gyy_, &heldXx_, &heldYy_, &coherence_})
        v->assign(half, 0.0);
    gxy_.assign(half, TComplex{});
    heldXy_.assign(half, TComplex{});
    SetSettings(settings_);
    Restart();
}

void TResponseAnalyser::SetSettings(const TResponseSettings& settings) {
    const TResponseSettings s = LimitedSettings(settings);
    const bool restart =
        s.Averages != settings_.Averages || s.Exponential != settings_.Exponential ||
        s.TimeConstantS != settings_.TimeConstantS || s.Rectangular != settings_.Rectangular;
    settings_ = s;
    // The periodic Hann window, w[i] = (1 - cos(2 pi i / N)) / 2, or 1.
    for (int i = 0; i < n_; ++i)
        window_[static_cast<std::size_t>(i)] =
            s.Rectangular ? 1.0 : 0.5 - 0.5 * std::cos(2.0 * kPi * i / n_);
    if (restart)
        Restart();
    stale_ = true;
}

void TResponseAnalyser::Restart() {
    std::fill(gxx_.begin(), gxx_.end(), 0.0);
    std::fill(gyy_.begin(), gyy_.end(), 0.0);
    std::fill(gxy_.begin(), gxy_.end(), TComplex{});
    running_ = 0;
    held_ = 0;
    blocks_ = 0;
    completed_ = false;
    stale_ = true;
}

void TResponseAnalyser::Process(std::span<const double> x, std::span<const double> y,
                                int alignment) {
    const auto n = static_cast<std::size_t>(n_);
    if (n_ == 0 || x.size() < n || y.size() < n)
        throw std::invalid_argument("The response analyser got fewer samples than its block "
                                    "length");
    auto inX = fftX_.RealInput();
    auto inY = fftY_.RealInput();
    for (std::size_t i = 0; i < n; ++i) {
        inX[i] = window_[i] * x[i];
        inY[i] = window_[i] * y[i];
    }
    fftX_.RealFourierTransformLowerHalf();
    fftY_.RealFourierTransformLowerHalf();
    const TComplex* a = fftX_.ComplexOutput().data(); // conj of the usual transform
    const TComplex* b = fftY_.ComplexOutput().data();
    const std::size_t half = n / 2 + 1;
    // The block's products with the usual sign: conj(X) Y = a conj(b).
    double weight = 1.0; // linear: sums
    if (settings_.Exponential) {
        const double alpha = 1.0 - std::exp(-n_ / (rateHz_ * settings_.TimeConstantS));
        weight = std::max(alpha, 1.0 / (running_ + 1));
    }
    const double keep = settings_.Exponential ? 1.0 - weight : 1.0;
    for (std::size_t k = 0; k < half; ++k) {
        const TComplex p = a[k], q = b[k];
        gxx_[k] = keep * gxx_[k] + weight * (p.Re * p.Re + p.Im * p.Im);
        gyy_[k] = keep * gyy_[k] + weight * (q.Re * q.Re + q.Im * q.Im);
        gxy_[k].Re = keep * gxy_[k].Re + weight * (p.Re * q.Re + p.Im * q.Im);
        gxy_[k].Im = keep * gxy_[k].Im + weight * (p.Im * q.Re - p.Re * q.Im);
    }
    ++running_;
    ++blocks_;
    alignment_ = alignment;
    completed_ = false;
    if (!settings_.Exponential && running_ >= settings_.Averages) {
        heldXx_.swap(gxx_);
        heldYy_.swap(gyy_);
        heldXy_.swap(gxy_);
        held_ = running_;
        running_ = 0;
        std::fill(gxx_.begin(), gxx_.end(), 0.0);
        std::fill(gyy_.begin(), gyy_.end(), 0.0);
        std::fill(gxy_.begin(), gxy_.end(), TComplex{});
        completed_ = true;
    } else if (settings_.Exponential) {
        running_ = std::min(running_, 1 << 30);
        completed_ = blocks_ % settings_.Averages == 0;
    }
    stale_ = true;
}

int TResponseAnalyser::Averaged() const {
    return held_ > 0 ? held_ : running_;
}

void TResponseAnalyser::ShownSpectra(std::span<const double>& gxx, std::span<const double>& gyy,
                                     std::span<const TComplex>& gxy) const {
    const bool held = !settings_.Exponential && held_ > 0;
    gxx = held ? heldXx_ : gxx_;
    gyy = held ? heldYy_ : gyy_;
    gxy = held ? heldXy_ : gxy_;
}

double TResponseAnalyser::ResidualDelay() {
    Evaluate();
    return readings_.Valid ? readings_.DelaySamples - alignment_ : TResponseReadings::None;
}

const TResponseReadings& TResponseAnalyser::Readings() {
    Evaluate();
    return readings_;
}

void TResponseAnalyser::Evaluate() {
    if (!stale_)
        return;
    stale_ = false;
    TResponseReadings& r = readings_;
    // Cleared keeping the vectors' memory: no allocation after the first evaluation.
    r.Valid = false;
    r.Problem.clear();
    r.DelaySamples = r.DelayMs = r.CoherenceMean = TResponseReadings::None;
    for (auto* v : {&r.FrequencyHz, &r.MagnitudeDb, &r.PhaseDeg, &r.UnwrappedDeg, &r.GroupDelayMs,
                    &r.Coherence})
        v->clear();
    r.Averaged = Averaged();
    if (n_ == 0 || r.Averaged == 0) {
        r.Problem = "No block measured yet";
        return;
    }
    std::span<const double> gxx, gyy;
    std::span<const TComplex> gxy;
    ShownSpectra(gxx, gyy, gxy);
    const int half = n_ / 2;
    const double binHz = rateHz_ / n_;
    // The band's bins, within 1 ... N/2 - 1.
    const int lo =
        std::clamp(static_cast<int>(std::ceil(settings_.BandLowHz / binHz)), 1, half - 1);
    const int hi =
        std::clamp(static_cast<int>(std::floor(settings_.BandHighHz / binHz)), lo, half - 1);
    double sumXx = 0.0, sumYy = 0.0;
    for (int k = lo; k <= hi; ++k) {
        sumXx += gxx[static_cast<std::size_t>(k)];
        sumYy += gyy[static_cast<std::size_t>(k)];
    }
    if (!(sumXx > 0.0)) {
        r.Problem = "No signal at the reference";
        return;
    }
    if (!(sumYy > 0.0)) {
        r.Problem = "No signal at the response";
        return;
    }
    const auto count = static_cast<std::size_t>(half + 1);
    std::vector<double>& phase = scratch_.Phase;
    std::vector<double>& magnitude2 = scratch_.Magnitude2;
    std::vector<TComplex>& unit = scratch_.Unit;
    phase.assign(count, 0.0);
    magnitude2.assign(count, 0.0);
    unit.assign(count, TComplex{});
    for (std::size_t k = 1; k < count; ++k) {
        const double den = gxx[k] * gyy[k];
        const double cross2 = gxy[k].Re * gxy[k].Re + gxy[k].Im * gxy[k].Im;
        coherence_[k] = den > 0.0 ? std::min(cross2 / den, 1.0) : 0.0;
        phase[k] = std::atan2(gxy[k].Im, gxy[k].Re);
        const double size = std::sqrt(cross2);
        unit[k] = size > 0.0 ? TComplex{gxy[k].Re / size, gxy[k].Im / size} : TComplex{};
        magnitude2[k] = gxx[k] > 0.0 ? cross2 / (gxx[k] * gxx[k]) : TResponseReadings::None;
    }
    // The residual delay: the best whole sample within +-8, then Newton steps on the peak.
    std::vector<double>& weight = scratch_.Weight;
    weight.assign(count, 0.0);
    double coherenceSum = 0.0;
    for (int k = lo; k <= hi; ++k) {
        weight[static_cast<std::size_t>(k)] = coherence_[static_cast<std::size_t>(k)];
        coherenceSum += coherence_[static_cast<std::size_t>(k)];
    }
    r.CoherenceMean = coherenceSum / (hi - lo + 1);
    double residual = 0.0;
    double best = -1e300;
    // Whole samples within +-8 need only every stride-th bin (the sum's period in r is N / stride).
    const int stride = std::max(1, (hi - lo) / 512);
    for (int t = -8; t <= 8; ++t) {
        const double j = SlopeSum(unit, weight, lo, hi, n_, t, stride).J;
        if (j > best) {
            best = j;
            residual = t;
        }
    }
    for (int i = 0; i < 30; ++i) {
        const TSlopeSum s = SlopeSum(unit, weight, lo, hi, n_, residual);
        if (!(s.D2 < 0.0))
            break;
        const double step = std::clamp(-s.D1 / s.D2, -0.5, 0.5);
        residual += step;
        if (std::abs(step) < 1e-9)
            break;
    }
    r.DelaySamples = alignment_ + residual;
    r.DelayMs = 1000.0 * r.DelaySamples / rateHz_;

    // The phase as shown: the residual taken out, or the alignment put back.
    const double shift = settings_.RemoveDelay ? residual : -static_cast<double>(alignment_);
    std::vector<double>& unwrapped = scratch_.Unwrapped;
    unwrapped.assign(count, 0.0);
    double last = 0.0;
    for (std::size_t k = 1; k < static_cast<std::size_t>(half); ++k) {
        const double p = phase[k] + 2.0 * kPi * static_cast<double>(k) / n_ * shift;
        unwrapped[k] = k == 1 ? Wrapped(p) : unwrapped[k - 1] + Wrapped(p - last);
        last = p;
    }
    // Smoothing over 1/b octave: the means of |H|^2, the unwrapped phase and the coherence over
    // the bins from k 2^(-1/2b) to k 2^(1/2b) (prefix sums).
    const int m = half - 1; // bins 1 ... N/2 - 1
    r.FrequencyHz.resize(static_cast<std::size_t>(m));
    r.MagnitudeDb.resize(static_cast<std::size_t>(m));
    r.PhaseDeg.resize(static_cast<std::size_t>(m));
    r.UnwrappedDeg.resize(static_cast<std::size_t>(m));
    r.GroupDelayMs.resize(static_cast<std::size_t>(m));
    r.Coherence.resize(static_cast<std::size_t>(m));
    std::vector<double>& sumM = scratch_.SumM;
    std::vector<double>& sumP = scratch_.SumP;
    std::vector<double>& sumC = scratch_.SumC;
    for (auto* v : {&sumM, &sumP, &sumC})
        v->assign(count + 1, 0.0);
    for (std::size_t k = 1; k < static_cast<std::size_t>(half); ++k) {
        sumM[k + 1] = sumM[k] + magnitude2[k];
        sumP[k + 1] = sumP[k] + unwrapped[k];
        sumC[k + 1] = sumC[k] + coherence_[k];
    }
    const double factor = settings_.Smoothing > 0 ? std::exp2(0.5 / settings_.Smoothing) : 1.0;
    std::vector<double>& shown = scratch_.Shown;
    shown.assign(count, 0.0);
    for (int k = 1; k < half; ++k) {
        int a = k, b = k;
        if (settings_.Smoothing > 0) {
            a = std::clamp(static_cast<int>(std::nearbyint(k / factor)), 1, k);
            b = std::clamp(static_cast<int>(std::nearbyint(k * factor)), k, half - 1);
        }
        const double width = b - a + 1;
        const auto i = static_cast<std::size_t>(k - 1);
        const auto ua = static_cast<std::size_t>(a), ub = static_cast<std::size_t>(b) + 1;
        r.FrequencyHz[i] = k * binHz;
        r.MagnitudeDb[i] = 10.0 * std::log10((sumM[ub] - sumM[ua]) / width);
        shown[static_cast<std::size_t>(k)] = (sumP[ub] - sumP[ua]) / width;
        r.UnwrappedDeg[i] = shown[static_cast<std::size_t>(k)] * 180.0 / kPi;
        r.PhaseDeg[i] = Wrapped(shown[static_cast<std::size_t>(k)]) * 180.0 / kPi;
        r.Coherence[i] = (sumC[ub] - sumC[ua]) / width;
    }
    // Group delay -d(phase)/d(omega), omega = 2 pi f: central differences, one-sided at the ends.
    const double domega = 2.0 * kPi * binHz;
    for (int k = 1; k < half; ++k) {
        const int a = std::max(k - 1, 1), b = std::min(k + 1, half - 1);
        const auto i = static_cast<std::size_t>(k - 1);
        r.GroupDelayMs[i] =
            b > a ? -1000.0 *
                        (shown[static_cast<std::size_t>(b)] - shown[static_cast<std::size_t>(a)]) /
                        ((b - a) * domega)
                  : TResponseReadings::None;
    }
    r.Valid = true;
}
