// SPDX-License-Identifier: GPL-3.0-or-later
// Paces what the views show to the screen's refresh: many engine blocks, one frame.
#include "ui/common/FramePacer.h"

#include <algorithm>

TFramePacer::TFramePacer(std::function<void()> showFrame) : ShowFrame_(std::move(showFrame)) {
    Timer_.setSingleShot(true);
    Timer_.setTimerType(Qt::PreciseTimer); // a coarse timer may fire early
    connect(&Timer_, &QTimer::timeout, this, [this] { ShowFrame(); });
}

void TFramePacer::Request() {
    if (Pending_)
        return;
    Pending_ = true;
    const qint64 since = SinceFrame_.isValid() ? SinceFrame_.elapsed() : FrameMs_;
    Timer_.start(static_cast<int>(std::max<qint64>(0, FrameMs_ - since)));
}

void TFramePacer::Flush() {
    if (Pending_)
        ShowFrame();
}

void TFramePacer::ShowFrame() {
    Timer_.stop();
    Pending_ = false;
    SinceFrame_.start();
    ++Frames_;
    if (ShowFrame_)
        ShowFrame_();
}
