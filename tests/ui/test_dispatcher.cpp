// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt dispatcher: tasks reach the main thread in order, and none reaches a context that is gone.
#include "ui/QtMainThreadDispatcher.h"

#include <QCoreApplication>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

TEST(QtMainThreadDispatcher, RunsTasksOnTheMainThreadInPostingOrder) {
    QObject context;
    TQtMainThreadDispatcher dispatcher(&context);
    std::vector<int> order;
    const auto mainThread = std::this_thread::get_id();
    std::thread worker([&] {
        for (int i = 0; i < 100; ++i)
            dispatcher.Post([&order, i, mainThread] {
                EXPECT_EQ(std::this_thread::get_id(), mainThread);
                order.push_back(i);
            });
    });
    worker.join();
    QCoreApplication::processEvents();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
}

TEST(QtMainThreadDispatcher, TasksPostedAfterTheContextIsDestroyedAreDropped) {
    auto context = std::make_unique<QObject>();
    TQtMainThreadDispatcher dispatcher(context.get());
    int ran = 0;
    dispatcher.Post([&ran] { ++ran; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 1);
    dispatcher.Post([&ran] { ++ran; }); // still queued when the context goes
    context.reset();
    std::thread late([&] { dispatcher.Post([&ran] { ++ran; }); }); // a worker posting late
    late.join();
    dispatcher.Post([&ran] { ++ran; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 1);
}

TEST(QtMainThreadDispatcher, TasksStillQueuedWhenTheDispatcherGoesAreDropped) {
    QObject context;
    int ran = 0;
    {
        TQtMainThreadDispatcher dispatcher(&context);
        dispatcher.Post([&ran] { ++ran; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 0);
}

// A worker that keeps posting while the main thread destroys the context: every post either
// reaches the living context or is dropped (the sanitizer build catches a call on a dead one).
TEST(QtMainThreadDispatcher, PostingWhileTheContextIsDestroyedIsSafe) {
    for (int round = 0; round < 20; ++round) {
        auto context = std::make_unique<QObject>();
        TQtMainThreadDispatcher dispatcher(context.get());
        std::atomic<bool> stop{false};
        std::atomic<int> ran{0};
        std::thread worker([&] {
            while (!stop.load(std::memory_order_acquire))
                dispatcher.Post([&ran] { ran.fetch_add(1, std::memory_order_relaxed); });
        });
        QCoreApplication::processEvents();
        context.reset();
        const int before = ran.load();
        QCoreApplication::processEvents();
        EXPECT_EQ(ran.load(), before) << "a task ran after its context was destroyed";
        stop.store(true, std::memory_order_release);
        worker.join();
    }
}
