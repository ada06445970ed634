// SPDX-License-Identifier: GPL-3.0-or-later
// How engine worker threads hand work to the main (user-interface) thread.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

// Posts a task to run later on the main thread, in posting order. Post may be called from any
// thread; the task runs on the main thread only. The window supplies the Qt implementation.
class IMainThreadDispatcher {
public:
    virtual ~IMainThreadDispatcher() = default;
    virtual void Post(std::function<void()> task) = 0;
};

// A dispatcher for code without an event loop (tests, tools): tasks wait in a queue until the
// owning thread calls RunPending. Post is thread-safe.
class TQueuedDispatcher final : public IMainThreadDispatcher {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }

    // Runs the tasks posted so far (and any they post in turn); returns how many ran.
    int RunPending() {
        int count = 0;
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty())
                    return count;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
            ++count;
        }
    }

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
};
