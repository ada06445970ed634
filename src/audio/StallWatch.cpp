// SPDX-License-Identifier: GPL-3.0-or-later
// Notices a sampling run whose blocks stop arriving.
#include "audio/StallWatch.h"

#include <algorithm>
#include <charconv>

std::chrono::nanoseconds StallLimit(int samplesPerBuf, int rateHz, std::chrono::nanoseconds floor) {
    if (samplesPerBuf <= 0 || rateHz <= 0)
        return floor;
    const double blockSeconds = static_cast<double>(samplesPerBuf) / rateHz;
    const auto fourBlocks = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(4.0 * blockSeconds));
    return std::max(floor, fourBlocks);
}

std::string StallMessage(const std::string& device, std::chrono::nanoseconds limit) {
    // to_chars writes "." whatever the locale.
    char seconds[32];
    const auto end =
        std::to_chars(seconds, seconds + sizeof seconds,
                      std::chrono::duration<double>(limit).count(), std::chars_format::general, 3)
            .ptr;
    return "No audio from \"" + device + "\" for " + std::string(seconds, end) + " s";
}

void TStallWatch::Start(TTime now, std::chrono::nanoseconds limit,
                        std::chrono::nanoseconds startAllowance) {
    armed_ = true;
    reported_ = false;
    limit_ = limit;
    deadline_ = now + limit + startAllowance;
    lastCheck_ = now;
}

bool TStallWatch::Block(TTime now) {
    const bool ended = armed_ && reported_;
    reported_ = false;
    deadline_ = now + limit_;
    return ended;
}

bool TStallWatch::Check(TTime now) {
    if (!armed_)
        return false;
    const auto sinceCheck = now - lastCheck_;
    lastCheck_ = now;
    if (sinceCheck > limit_ / 2) {
        // We were away, and so were the blocks the run delivered meanwhile: that time does not
        // count.
        deadline_ += sinceCheck;
        return false;
    }
    if (reported_ || now < deadline_)
        return false;
    reported_ = true;
    return true;
}
