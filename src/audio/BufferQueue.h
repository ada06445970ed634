// SPDX-License-Identifier: GPL-3.0-or-later
// A queue of buffer numbers handed from the main thread to a device worker thread.
#pragma once

#include "audio/StopSignal.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

// One producer (the main thread), one consumer (the worker); at most as many numbers as buffers.
// Pushing a number hands the buffer (its bytes) to the consumer: the mutex makes everything the
// producer wrote to the buffer before Push visible to the consumer after Pop (release on unlock,
// acquire on lock). Pop waits until a number arrives or the stop signal is raised.
class TBufferQueue {
public:
    void Push(int buffer) {
        {
            std::lock_guard lock(mutex_);
            items_.push_back(buffer);
        }
        ready_.notify_one();
    }

    // The oldest number, or false when `stop` was requested first.
    bool Pop(int& buffer, const TStopSignal& stop) {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return stop.Requested() || !items_.empty(); });
        if (stop.Requested())
            return false;
        buffer = items_.front();
        items_.pop_front();
        return true;
    }

    enum class TPop { Got, TimedOut, Stopped };

    // As Pop, but gives up after `patience` when no number arrives.
    template <typename Duration>
    TPop PopFor(int& buffer, const TStopSignal& stop, Duration patience) {
        std::unique_lock lock(mutex_);
        if (!ready_.wait_for(lock, patience, [&] { return stop.Requested() || !items_.empty(); }))
            return TPop::TimedOut;
        if (stop.Requested())
            return TPop::Stopped;
        buffer = items_.front();
        items_.pop_front();
        return TPop::Got;
    }

    // Wakes a waiting consumer so that it sees a stop request made before this call.
    void Wake() {
        { std::lock_guard lock(mutex_); } // orders the request before the consumer's re-check
        ready_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<int> items_;
};
