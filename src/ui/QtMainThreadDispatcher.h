// Hands engine notifications to the Qt main thread.
#pragma once

#include "audio/MainThreadDispatcher.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

// Posts each task as a queued call on `context`'s thread (the main thread). Tasks posted after
// the context is destroyed are dropped. Post is safe from any thread.
class TQtMainThreadDispatcher final : public IMainThreadDispatcher {
public:
    explicit TQtMainThreadDispatcher(QObject* context) : context_(context) {}

    void Post(std::function<void()> task) override {
        QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
    }

private:
    QObject* context_;
};
