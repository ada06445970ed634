// SPDX-License-Identifier: GPL-3.0-or-later
// Paces what the views show to the screen's refresh: many engine blocks, one frame.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>

// Gathers the requests of the engine blocks into frames: the first request after a frame starts
// a timer for the rest of FrameMs since that frame; the requests until it fires only mark the
// frame pending; then ShowFrame runs once, from the latest data. A request long after the last
// frame shows at the next turn of the event loop. Owned by the window; main thread only.
class TFramePacer final : public QObject {
public:
    // About 60 frames a second, the refresh of common screens.
    static constexpr int FrameMs = 17;

    explicit TFramePacer(std::function<void()> showFrame);

    // A block is done: its readings are to be shown with the next frame.
    void Request();
    // Shows a pending frame now (tests, and where the window needs the readings at once).
    void Flush();
    bool Pending() const { return Pending_; }
    // Frames shown so far.
    long long Frames() const { return Frames_; }
    // The least time between two frames, in milliseconds (FrameMs unless a test sets it).
    void SetFrameMs(int ms) { FrameMs_ = ms; }

private:
    void ShowFrame();

    std::function<void()> ShowFrame_;
    QTimer Timer_;
    QElapsedTimer SinceFrame_; // invalid before the first frame
    int FrameMs_ = FrameMs;
    bool Pending_ = false;
    long long Frames_ = 0;
};
