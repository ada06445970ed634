// SPDX-License-Identifier: GPL-3.0-or-later
// The response analyser fed by the block pipeline: channel choice, rings, delay search and
// alignment.
#include "analysis/ResponseConsumer.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

// -60 dB re full scale: a signal's first sample above it marks its start.
constexpr double kOnsetLevel = 1e-3;
// Peaks of the search within this fraction of the highest are candidates.
constexpr double kCandidate = 0.8;
// Engine blocks that may still be queued ahead of a gap's jump when the gap is counted: the
// capture engines hold at most 8, the playing ones at most 6 more.
constexpr std::int64_t kQueuedEngineBlocks = 16;

} // namespace

void TResponseConsumer::Restart() {
    gaps_ = kGapsUnknown; // a new run counts its gaps from 0
    settle_ = 0;
    fromStart_ = true;
    StartAfresh();
}

void TResponseConsumer::StartAfresh() {
    fromStart_ = fromStart_ && written_ == 0;
    written_ = 0;
    onsetX_ = -1;
    onsetY_ = -1;
    acquired_ = false;
    shift_ = 0;
    next_ = 0;
    if (n_ > 0)
        analyser_.Restart();
}

void TResponseConsumer::RestartAverage() {
    if (n_ > 0)
        analyser_.Restart();
}

void TResponseConsumer::SetReference(TResponseReference reference) {
    if (reference == reference_)
        return;
    reference_ = reference;
    n_ = 0; // set up again by the next block
    StartAfresh();
}

void TResponseConsumer::SetResponseChannel(int channel) {
    const int c = channel >= 0 && channel <= 3 ? channel : -1;
    if (c == fixedChannel_)
        return;
    fixedChannel_ = c;
    n_ = 0;
    StartAfresh();
}

void TResponseConsumer::SetMaxDelay(double seconds) {
    const double s = std::isfinite(seconds) ? std::clamp(seconds, 0.001, 10.0) : 0.5;
    if (s == maxDelayS_)
        return;
    maxDelayS_ = s;
    n_ = 0;
    StartAfresh();
}

void TResponseConsumer::Reconfigure(double rateHz, int n, int channel) {
    analyser_.Configure(rateHz, n);
    rateHz_ = rateHz;
    n_ = n;
    channel_ = channel;
    const auto maxDelay = static_cast<int>(std::lround(maxDelayS_ * rateHz));
    lagMin_ = reference_ == TResponseReference::Output ? 0 : -maxDelay;
    lagMax_ = maxDelay;
    const auto capacity = std::bit_ceil(static_cast<std::size_t>(lagMax_ - lagMin_) +
                                        4 * static_cast<std::size_t>(n));
    ringX_.assign(capacity, 0.0);
    ringY_.assign(capacity, 0.0);
    mask_ = capacity - 1;
    blockX_.assign(static_cast<std::size_t>(n), 0.0);
    blockY_.assign(static_cast<std::size_t>(n), 0.0);
    StartAfresh();
}

void TResponseConsumer::EngineBlock(const TEngineBlockView& block) {
    if (block.Gaps == gaps_)
        return;
    if (gaps_ != kGapsUnknown) {
        fromStart_ = false;
        StartAfresh();
        settle_ = std::max<std::int64_t>(1, std::llround(maxDelayS_ * block.SampleRate) +
                                                kQueuedEngineBlocks *
                                                    static_cast<std::int64_t>(block.Left.size()));
    }
    gaps_ = block.Gaps;
}

void TResponseConsumer::ProcessedBlock(const TProcessedBlockView& block) {
    const auto n = static_cast<std::size_t>(block.N);
    if (block.N <= 0 || block.Left.size() < n || block.Right.size() < n)
        return;
    if (settle_ > 0) { // after a gap: the signal may still jump
        settle_ -= block.N;
        if (settle_ <= 0)
            StartAfresh();
        return;
    }
    const bool output = reference_ == TResponseReference::Output;
    const int channel = fixedChannel_ >= 0 ? fixedChannel_ : block.Channel;
    if (block.N != n_ || block.SampleRate != rateHz_ || (output && channel != channel_))
        Reconfigure(block.SampleRate, block.N, channel);
    Append(block);
    if (!acquired_) {
        const std::int64_t end = written_ - std::max(0, -lagMin_);
        const bool signal = onsetY_ >= 0 && end - n_ >= onsetY_ && (!output || onsetX_ >= 0);
        if (!signal || !Acquire(end))
            return;
    }
    AnalyseReady();
}

void TResponseConsumer::Append(const TProcessedBlockView& block) {
    const auto n = static_cast<std::size_t>(block.N);
    const double scale = 1.0 / block.FullScale;
    const float* left = block.Left.data();
    const float* right = block.Right.data();
    const float* x = nullptr;
    const float* y = nullptr;
    const float* y2 = nullptr; // the second term of the sum or difference
    float sign = 1.0f;
    switch (reference_) {
    case TResponseReference::LeftRight:
        x = left;
        y = right;
        break;
    case TResponseReference::RightLeft:
        x = right;
        y = left;
        break;
    case TResponseReference::Output: {
        const bool rightChannel = channel_ == 1;
        const std::span<const float> played = rightChannel ? block.OutRight : block.OutLeft;
        x = played.size() >= n ? played.data() : nullptr;
        y = rightChannel ? right : left;
        if (channel_ == 2 || channel_ == 3) {
            y2 = right;
            sign = channel_ == 3 ? -1.0f : 1.0f;
        }
        break;
    }
    }
    bool finite = true;
    for (std::size_t i = 0; i < n; ++i) {
        const double xv = x != nullptr ? x[i] * scale : 0.0;
        const double yv = (y2 != nullptr ? static_cast<double>(y[i]) + sign * y2[i] : y[i]) * scale;
        finite = finite && std::isfinite(xv) && std::isfinite(yv);
        const std::int64_t t = written_ + static_cast<std::int64_t>(i);
        ringX_[static_cast<std::size_t>(t) & mask_] = xv;
        ringY_[static_cast<std::size_t>(t) & mask_] = yv;
        if (onsetX_ < 0 && std::abs(xv) > kOnsetLevel)
            onsetX_ = t;
        if (onsetY_ < 0 && std::abs(yv) > kOnsetLevel)
            onsetY_ = t;
    }
    if (!finite) { // a gap in the signal: everything starts afresh after it
        fromStart_ = false;
        StartAfresh();
        return;
    }
    written_ += static_cast<std::int64_t>(n);
}

bool TResponseConsumer::Acquire(std::int64_t end) {
    const int n = n_;
    const int length = n + lagMax_ - lagMin_;
    const auto m = static_cast<int>(std::bit_ceil(static_cast<unsigned>(length)));
    if (search_.NumSamples() != m)
        search_.SetNumSamples(m);
    const auto at = [&](bool response, std::int64_t t) {
        return t < 0 || t >= written_ ? 0.0 : (response ? AtY(t) : AtX(t));
    };
    // a: the response block; b: the reference from lagMax before it to -lagMin after it.
    auto input = search_.RealInput();
    for (int j = 0; j < m; ++j)
        input[static_cast<std::size_t>(j)] = j < n ? at(true, end - n + j) : 0.0;
    search_.RealFourierTransformLowerHalf();
    const std::size_t half = static_cast<std::size_t>(m / 2);
    std::vector<TComplex> fa(search_.ComplexOutput().begin(),
                             search_.ComplexOutput().begin() +
                                 static_cast<std::ptrdiff_t>(half + 1));
    for (int j = 0; j < m; ++j)
        input[static_cast<std::size_t>(j)] = j < length ? at(false, end - n - lagMax_ + j) : 0.0;
    search_.RealFourierTransformLowerHalf();
    // c[q] = sum_j a[j] b[j + q] is the inverse (ours) of conj(Fa) Fb, Fa and Fb our transforms;
    // the phase transform keeps only the phase of each bin.
    auto z = search_.ComplexInput();
    const auto fb = search_.ComplexOutput();
    for (std::size_t k = 0; k <= half; ++k) {
        const TComplex p = fa[k], q = fb[k];
        const double re = p.Re * q.Re + p.Im * q.Im;
        const double im = p.Re * q.Im - p.Im * q.Re;
        const double size = std::hypot(re, im);
        z[k] =
            (k == 0 || k == half || !(size > 1e-300)) ? TComplex{} : TComplex{re / size, im / size};
    }
    std::vector<double> c(static_cast<std::size_t>(m));
    search_.InverseRealFourierTransform(c);
    const int last = lagMax_ - lagMin_;
    double highest = 0.0;
    for (int q = 0; q <= last; ++q)
        highest = std::max(highest, c[static_cast<std::size_t>(q)]);
    if (!(highest > 0.0))
        return false;
    const bool onsets = fromStart_ && onsetX_ >= 0 && onsetY_ >= 0 &&
                        (reference_ == TResponseReference::Output || onsetX_ > 0);
    const double target = onsets ? static_cast<double>(onsetY_ - onsetX_) : 0.0;
    int chosen = 0;
    double distance = 1e300;
    for (int q = 0; q <= last; ++q) {
        const double v = c[static_cast<std::size_t>(q)];
        const bool peak = v >= kCandidate * highest &&
                          (q == 0 || v >= c[static_cast<std::size_t>(q - 1)]) &&
                          (q == last || v >= c[static_cast<std::size_t>(q + 1)]);
        const int lag = lagMax_ - q;
        if (peak && std::abs(lag - target) < distance) {
            distance = std::abs(lag - target);
            chosen = lag;
        }
    }
    shift_ = chosen;
    acquired_ = true;
    next_ = end - n;
    analyser_.Restart();
    return true;
}

void TResponseConsumer::AnalyseReady() {
    const auto n = static_cast<std::int64_t>(n_);
    const auto capacity = static_cast<std::int64_t>(mask_ + 1);
    while (next_ + n <= written_ && next_ - shift_ + n <= written_) {
        if (std::min(next_, next_ - shift_) < written_ - capacity)
            next_ = written_ - n; // overwritten meanwhile: go on from the newest block
        if (!fromStart_ && std::min(next_, next_ - shift_) < 0) {
            next_ = std::max<std::int64_t>(0, shift_); // its signal came before the rings' start
            continue;
        }
        for (std::int64_t i = 0; i < n; ++i) {
            const std::int64_t tx = next_ - shift_ + i;
            blockX_[static_cast<std::size_t>(i)] = tx < 0 ? 0.0 : AtX(tx);
            blockY_[static_cast<std::size_t>(i)] = AtY(next_ + i);
        }
        analyser_.Process(blockX_, blockY_, shift_);
        next_ += n;
        if (analyser_.AverageCompleted()) {
            const double residual = analyser_.ResidualDelay();
            const auto whole = std::isfinite(residual) ? std::lround(residual) : 0L;
            if (whole != 0) { // the delay moved: align anew, average afresh
                shift_ += static_cast<int>(whole);
                analyser_.Restart();
            }
        }
    }
}
