// SPDX-License-Identifier: GPL-3.0-or-later
// A stop request that a worker thread can both test and wait for in poll().
#pragma once

#include <atomic>

// Set once by the main thread, read by worker threads. `Requested` is an acquire load that
// pairs with the release store of `Request`, so whatever the main thread wrote before asking
// to stop is visible to a worker that sees the request. The descriptor `Fd` becomes readable
// at the request and stays readable (it is never drained), so every worker polling it wakes.
class TStopSignal {
public:
    TStopSignal();
    ~TStopSignal();
    TStopSignal(const TStopSignal&) = delete;
    TStopSignal& operator=(const TStopSignal&) = delete;

    void Request() noexcept;
    bool Requested() const noexcept { return requested_.load(std::memory_order_acquire); }
    int Fd() const noexcept { return fd_; }

private:
    std::atomic<bool> requested_{false};
    int fd_ = -1;
};
