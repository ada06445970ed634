// SPDX-License-Identifier: GPL-3.0-or-later
// Hands engine notifications to the Qt main thread.
#pragma once

#include "audio/MainThreadDispatcher.h"

#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>

// Posts each task as a queued call on `context`'s thread (the main thread). Tasks posted after
// the context or this dispatcher is destroyed are dropped, and so are tasks still queued when
// this dispatcher goes. Post is safe from any thread, also while the context is being destroyed.
//
// Created and destroyed on the main thread. The context pointer lives in a record shared with
// the queued tasks: Post reads it under the record's mutex, and the context's `destroyed` signal
// (emitted on the main thread while the context still exists) clears it under the same mutex,
// so a queued call is only ever made on a living object. Tasks already queued when the context
// goes are discarded by Qt with the context's posted events.
class TQtMainThreadDispatcher final : public IMainThreadDispatcher {
public:
    explicit TQtMainThreadDispatcher(QObject* context) : life_(std::make_shared<TLifetime>()) {
        life_->Context = context;
        destroyed_ =
            QObject::connect(context, &QObject::destroyed, [life = life_] { life->Clear(); });
    }

    ~TQtMainThreadDispatcher() override {
        QObject::disconnect(destroyed_);
        life_->Clear();
    }

    TQtMainThreadDispatcher(const TQtMainThreadDispatcher&) = delete;
    TQtMainThreadDispatcher& operator=(const TQtMainThreadDispatcher&) = delete;

    void Post(std::function<void()> task) override {
        std::lock_guard lock(life_->Mutex);
        if (life_->Context == nullptr)
            return;
        QMetaObject::invokeMethod(
            life_->Context,
            [life = life_, task = std::move(task)] {
                if (life->Alive())
                    task();
            },
            Qt::QueuedConnection);
    }

private:
    struct TLifetime {
        std::mutex Mutex;
        QObject* Context = nullptr; // null once the context or the dispatcher is gone

        void Clear() {
            std::lock_guard lock(Mutex);
            Context = nullptr;
        }
        bool Alive() {
            std::lock_guard lock(Mutex);
            return Context != nullptr;
        }
    };

    std::shared_ptr<TLifetime> life_;
    QMetaObject::Connection destroyed_;
};
