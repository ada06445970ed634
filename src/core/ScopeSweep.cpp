// SPDX-License-Identifier: GPL-3.0-or-later
// Trigger search and sweep assembly of the oscilloscope, and its time-base and trigger settings.
#include "core/ScopeSweep.h"

#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr double kFullScale = 2147483647.0;

constexpr std::array<double, 19> kTimeBases = {100,   50,    20,     10,     5,     2,    1,
                                               0.5,   0.2,   0.1,    0.05,   0.02,  0.01, 0.005,
                                               0.002, 0.001, 0.0005, 0.0002, 0.0001};

} // namespace

double TimeBaseOfPosition(int position) {
    const int clamped = std::clamp(position, 1, static_cast<int>(kTimeBases.size()));
    return kTimeBases[static_cast<std::size_t>(clamped - 1)];
}

double FindTrigger(const TScopeSweep& scope, std::span<const double> block) {
    if (scope.TriggerMode == 0) {
        return 0.0;
    }
    const double zoom = scope.ScopeZoom != 0 ? scope.ScopeZoom : 1.0;
    const double thr = kFullScale * scope.TriggerLevel / zoom;
    for (std::size_t i = 0; i + 1 < block.size(); ++i) {
        const double a = block[i];
        const double b = block[i + 1];
        const bool crossing = scope.TriggerRising ? (a <= thr && b >= thr) : (a >= thr && b <= thr);
        if (crossing) {
            const double index = static_cast<double>(i);
            return a != b ? index + (thr - a) / (b - a) : index;
        }
    }
    return -1.0;
}

namespace {

// The sample times of one block as AssembleSweep evaluates them, (j + elapsed - triggerPos) /
// fs, which never decrease with j.
struct TSampleClock {
    double fs = 0.0;
    double elapsed = 0.0;
    double triggerPos = 0.0;
    std::size_t n = 0;
    double spread = 0.0; // 2 |elapsed| + 2 |triggerPos| + n + 1

    TSampleClock(double rate, double elapsedSamples, double trigger, std::size_t length)
        : fs(rate), elapsed(elapsedSamples), triggerPos(trigger), n(length),
          spread(2.0 * (std::fabs(elapsedSamples) + std::fabs(trigger)) +
                 static_cast<double>(length) + 1.0) {}

    double TimeOf(std::size_t j) const {
        return (static_cast<double>(j) + elapsed - triggerPos) / fs;
    }

    // The first j in [i, n] whose time is not before limit (n when none is). The estimate
    // ceil(limit fs - elapsed + triggerPos) is the answer when it lies well away from an integer:
    // the roundings of both sides stay below 2^-49 M, M the largest magnitude involved, so a
    // distance of 2^-40 M cannot flip a comparison. Otherwise, and for odd inputs, the estimate
    // is moved onto the boundary by evaluating the times themselves.
    std::size_t End(std::size_t i, double limit) const {
        const double estimate = limit * fs - elapsed + triggerPos;
        if (std::fabs(estimate) < 0x1p52 && fs > 0.0) {
            const auto whole = static_cast<std::int64_t>(estimate); // rounded towards zero
            const bool up = static_cast<double>(whole) < estimate;
            const std::int64_t guess = whole + (up ? 1 : 0); // ceil(estimate)
            const double gap = static_cast<double>(guess) - estimate;
            const double margin = 0x1p-40 * (std::fabs(estimate) + spread); // >= 2^-40 M
            if (gap > margin && gap < 1.0 - margin) {
                return guess <= static_cast<std::int64_t>(i)
                           ? i
                           : std::min(static_cast<std::size_t>(guess), n);
            }
        }
        const double guess = std::ceil(estimate);
        std::size_t end = !(guess > static_cast<double>(i))
                              ? i
                              : static_cast<std::size_t>(std::min(guess, static_cast<double>(n)));
        while (end > i && !(TimeOf(end - 1) < limit)) {
            --end;
        }
        while (end < n && TimeOf(end) < limit) {
            ++end;
        }
        return end;
    }
};

// (float) (a / 2147483647) and (float) (b / 2147483647), both divisions in one instruction where
// the compiler offers two-lane vectors.
using ScaledPair = std::pair<float, float>;
#if defined(__GNUC__)
inline ScaledPair Scaled(double a, double b) {
    using Pair = double __attribute__((vector_size(2 * sizeof(double))));
    const Pair q = Pair{a, b} / Pair{kFullScale, kFullScale};
    return {static_cast<float>(q[0]), static_cast<float>(q[1])};
}
#else
inline ScaledPair Scaled(double a, double b) {
    return {static_cast<float>(a / kFullScale), static_cast<float>(b / kFullScale)};
}
#endif

// highest := std::max(highest, x[k]) and lowest := std::min(lowest, x[k]) over x[0 ... count - 1]
// for Width <= count <= 2 Width (Width even): the first and the last Width samples cover the run,
// and a sample taken twice changes neither. As in the running form, a NaN sample is passed over.
template <std::size_t Width>
void CoveredExtremes(const double* x, std::size_t count, double& highest, double& lowest) {
    const double* const tail = x + (count - Width);
#if defined(__SSE2__)
    // maxpd and minpd return their second operand when either is NaN.
    __m128d h = _mm_set1_pd(highest);
    __m128d l = _mm_set1_pd(lowest);
    for (std::size_t k = 0; k < Width; k += 2) {
        const __m128d a = _mm_loadu_pd(x + k);
        const __m128d b = _mm_loadu_pd(tail + k);
        h = _mm_max_pd(b, _mm_max_pd(a, h));
        l = _mm_min_pd(b, _mm_min_pd(a, l));
    }
    highest = _mm_cvtsd_f64(_mm_max_pd(_mm_unpackhi_pd(h, h), h));
    lowest = _mm_cvtsd_f64(_mm_min_pd(_mm_unpackhi_pd(l, l), l));
#else
    double h = highest;
    double l = lowest;
    for (std::size_t k = 0; k < Width; ++k) {
        h = std::max(std::max(h, x[k]), tail[k]);
        l = std::min(std::min(l, x[k]), tail[k]);
    }
    highest = h;
    lowest = l;
#endif
}

// The extremes of block[i ... end - 1] together with the starting values highest = -2147483647
// and lowest = +2147483647 (the values of an empty interval), as the running std::max and
// std::min give them.
void IntervalExtremes(const double* block, std::size_t i, std::size_t end, double& highest,
                      double& lowest) {
    const std::size_t count = end - i;
    const double* const x = block + i;
    double h = -kFullScale;
    double l = kFullScale;
    if (count >= 4 && count <= 8) {
        CoveredExtremes<4>(x, count, h, l);
    } else if (count >= 2 && count < 4) {
        CoveredExtremes<2>(x, count, h, l);
    } else if (count > 8) {
        // Four running extremes, combined at the end (the order does not change the result).
        std::array<double, 4> hs = {h, h, h, h};
        std::array<double, 4> ls = {l, l, l, l};
        std::size_t k = 0;
        for (; k + 4 <= count; k += 4) {
            for (std::size_t j = 0; j < 4; ++j) {
                hs[j] = std::max(hs[j], x[k + j]);
                ls[j] = std::min(ls[j], x[k + j]);
            }
        }
        for (; k < count; ++k) {
            hs[0] = std::max(hs[0], x[k]);
            ls[0] = std::min(ls[0], x[k]);
        }
        h = std::max(std::max(hs[0], hs[1]), std::max(hs[2], hs[3]));
        l = std::min(std::min(ls[0], ls[1]), std::min(ls[2], ls[3]));
    } else if (count == 1) {
        h = std::max(h, x[0]);
        l = std::min(l, x[0]);
    }
    highest = h;
    lowest = l;
}

} // namespace

void AssembleSweep(TScopeSweep& scope, std::span<const double> block, double sampleRateHz) {
    if (scope.TriggerMode == 3 && scope.SingleDone) {
        return;
    }
    if (scope.SweepPoints == 0) {
        scope.DecimationCursor = 0.0;
        scope.TriggerPos = FindTrigger(scope, block);
        if (scope.TriggerPos < 0.0) {
            if (scope.TriggerMode == 1) {
                return; // Norm without a crossing: the view keeps its last sweep
            }
            scope.TriggerPos = 0.0; // Auto and Single run free from the block's first sample
        }
    } else {
        scope.TriggerPos = 0.0;
    }
    scope.NewScopeData = true;

    const double fs = sampleRateHz;
    const std::size_t n = block.size();
    auto i = static_cast<std::size_t>(scope.TriggerPos);
    // Points of a sweep: every sample of TimeBase plus three; the list never exceeds 8000.
    const double wanted = std::trunc(scope.TimeBase * fs) + 3.0;
    const bool decimated = !(wanted < TScopeSweep::MaxPoints);
    const std::int32_t nPts =
        decimated ? TScopeSweep::MaxPoints : static_cast<std::int32_t>(wanted);
    auto& points = scope.ScopePoints;
    // The first sweep grows block by block; the list is cut back to its points at the end.
    const auto filled = static_cast<std::size_t>(scope.SweepPoints);
    const auto room = static_cast<std::size_t>(std::max(nPts - scope.SweepPoints, 0));
    points.resize(scope.FirstSweepDone
                      ? static_cast<std::size_t>(nPts)
                      : filled + std::min(room, decimated ? 2 * (n + 1) : n - std::min(i, n)));

    const double elapsed = scope.SweepElapsed;
    const double triggerPos = scope.TriggerPos;
    if (!decimated) {
        // Time in s of sample j relative to the sweep's trigger instant, and the sample.
        const std::size_t count = std::min(room, n - std::min(i, n));
        TScopePoint* const out = points.data() + filled;
        const double* const x = block.data() + i;
        for (std::size_t k = 0; k < count; ++k) {
            const double t = (static_cast<double>(i + k) + elapsed - triggerPos) / fs;
            out[k] = {static_cast<float>(t), static_cast<float>(x[k] / kFullScale)};
        }
        i += count;
        scope.SweepPoints += static_cast<std::int32_t>(count);
    } else {
        // Min/max pairs over intervals of TimeBase / 3999 s; an interval ends at the first sample
        // at or after cursor + dt, and one cut off by the end of the block is closed with the
        // samples it has.
        const double dt = scope.TimeBase / 3999.0;
        const TSampleClock clock(fs, elapsed, triggerPos, n);
        double cursor = scope.DecimationCursor;
        auto p = static_cast<std::size_t>(scope.SweepPoints);
        const auto lastPair = static_cast<std::size_t>(nPts - 1);
        std::size_t size = points.size();
        while (p < lastPair && i < n) {
            if (p + 2 > size) {
                points.resize(static_cast<std::size_t>(nPts)); // more intervals than estimated
                size = points.size();
            }
            const std::size_t end = clock.End(i, cursor + dt);
            double highest = 0.0;
            double lowest = 0.0;
            IntervalExtremes(block.data(), i, end, highest, lowest);
            i = end;
            const auto t = static_cast<float>(cursor);
            const ScaledPair v = Scaled(highest, lowest);
            points[p] = {t, v.first};
            points[p + 1] = {t, v.second};
            p += 2;
            cursor += dt;
        }
        scope.SweepPoints = static_cast<std::int32_t>(p);
        scope.DecimationCursor = cursor;
    }
    if (!scope.FirstSweepDone) {
        points.resize(static_cast<std::size_t>(scope.SweepPoints)); // the first sweep grows
    }
    scope.SweepElapsed = static_cast<double>(i) + scope.SweepElapsed - scope.TriggerPos;
    if (scope.SweepPoints >= nPts) {
        scope.SweepPoints = 0;
        scope.SweepElapsed = 0.0;
        scope.FirstSweepDone = true;
        if (scope.TriggerMode == 3) {
            scope.SingleDone = true;
        }
    }
}

void RestartSweep(TScopeSweep& scope) {
    scope.SweepPoints = 0;
    scope.SweepElapsed = 0.0;
    scope.SingleDone = false;
    scope.FirstSweepDone = false;
}

std::string TrackTChange(TScopeSweep& scope, int position) {
    scope.TimeBase = TimeBaseOfPosition(position);
    scope.ScopeRedraw = true;
    scope.SweepPoints = 0;
    scope.SweepElapsed = 0.0;
    scope.FirstSweepDone = false;
    return EngineeringText(scope.TimeBase) + "s";
}

void TrackAmpChange(TScopeSweep& scope, int position) {
    scope.ScopeZoom = static_cast<std::int32_t>(std::nearbyint(std::pow(2.0, position)));
}

void SetTriggerMode(TScopeSweep& scope, int mode) {
    scope.TriggerMode = mode;
    if (mode == 3) {
        scope.SingleDone = false;
        scope.FirstSweepDone = false;
    }
}
