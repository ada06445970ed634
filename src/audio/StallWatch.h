// SPDX-License-Identifier: GPL-3.0-or-later
// Notices a sampling run whose blocks stop arriving (a frozen sound server, a device that hangs).
#pragma once

#include <chrono>
#include <string>

// How long a run may go without a block before it counts as stalled: max(`floor`, four engine
// blocks), an engine block lasting samplesPerBuf / rateHz seconds. A healthy stream delivers a
// block per block duration, so four of them never pass without one.
std::chrono::nanoseconds StallLimit(int samplesPerBuf, int rateHz,
                                    std::chrono::nanoseconds floor = std::chrono::seconds(2));

// The message of a stall: "No audio from "02  pstest" for 2 s" (the limit in seconds, at most
// three significant digits, "." decimals).
std::string StallMessage(const std::string& device, std::chrono::nanoseconds limit);

// The watch over one run, driven by the caller's clock: Start when the run starts, Block for
// every block that arrives, Check at regular intervals (a fraction of the limit). Check reports a
// stall once; a block ends it, and the next stall is reported again. Time in which the caller
// did not check (its thread was busy for more than half the limit) does not count: blocks could
// not reach it then either. Plain value; one thread.
class TStallWatch {
public:
    using TTime = std::chrono::steady_clock::time_point;

    // Arms the watch at `now` for blocks expected every `limit` at the latest; the first block
    // may take `startAllowance` longer (the time an engine may take to open its devices).
    void Start(TTime now, std::chrono::nanoseconds limit,
               std::chrono::nanoseconds startAllowance = std::chrono::nanoseconds(0));
    // Disarms it: Check reports nothing until the next Start.
    void Stop() { armed_ = false; }
    // A block arrived at `now`; true when it ends a reported stall.
    bool Block(TTime now);
    // True once, at the first check `limit` or more after the last block (or after Start plus
    // the allowance) while armed.
    bool Check(TTime now);

    bool Armed() const { return armed_; }
    bool Stalled() const { return armed_ && reported_; }
    std::chrono::nanoseconds Limit() const { return limit_; }

private:
    bool armed_ = false;
    bool reported_ = false;
    std::chrono::nanoseconds limit_{0};
    TTime deadline_{};  // a stall from here on
    TTime lastCheck_{}; // the previous Check (or Start)
};
