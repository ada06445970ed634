// SPDX-License-Identifier: GPL-3.0-or-later
// Trigger search and sweep assembly of the oscilloscope, and its time-base and trigger settings.
#include "core/ScopeSweep.h"

#include "core/NumberText.h"

#include <algorithm>
#include <array>
#include <cmath>

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
    points.resize(static_cast<std::size_t>(nPts));

    // Time in s of sample j of this block relative to the sweep's trigger instant.
    auto timeOf = [&](std::size_t j) {
        return (static_cast<double>(j) + scope.SweepElapsed - scope.TriggerPos) / fs;
    };
    if (!decimated) {
        while (scope.SweepPoints < nPts && i < n) {
            points[static_cast<std::size_t>(scope.SweepPoints)] = {
                static_cast<float>(timeOf(i)), static_cast<float>(block[i] / kFullScale)};
            ++i;
            ++scope.SweepPoints;
        }
    } else {
        // Min/max pairs over intervals of TimeBase / 3999 s; an interval cut off by the end of
        // the block is closed with the samples it has.
        const double dt = scope.TimeBase / 3999.0;
        while (scope.SweepPoints < nPts - 1 && i < n) {
            // The interval ends at the first sample at or after cursor + dt. timeOf never
            // decreases with j, so the end is estimated and then moved onto the exact boundary.
            const double limit = scope.DecimationCursor + dt;
            const double guess = std::ceil(limit * fs - scope.SweepElapsed + scope.TriggerPos);
            std::size_t end =
                !(guess > static_cast<double>(i))
                    ? i
                    : static_cast<std::size_t>(std::min(guess, static_cast<double>(n)));
            while (end > i && !(timeOf(end - 1) < limit)) {
                --end;
            }
            while (end < n && timeOf(end) < limit) {
                ++end;
            }
            double highest = -kFullScale;
            double lowest = kFullScale;
            for (; i < end; ++i) {
                highest = std::max(highest, block[i]);
                lowest = std::min(lowest, block[i]);
            }
            const auto t = static_cast<float>(scope.DecimationCursor);
            points[static_cast<std::size_t>(scope.SweepPoints)] = {
                t, static_cast<float>(highest / kFullScale)};
            points[static_cast<std::size_t>(scope.SweepPoints) + 1] = {
                t, static_cast<float>(lowest / kFullScale)};
            scope.SweepPoints += 2;
            scope.DecimationCursor += dt;
        }
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
