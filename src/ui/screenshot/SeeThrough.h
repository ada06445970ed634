// SPDX-License-Identifier: GPL-3.0-or-later
// See-through graph backgrounds for the transparent mode: whether the window system composes
// translucent windows, and the holes painted into the background shapes while it does.
#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class QWidget;

// Whether the window system shows the alpha channel of a top-level window to the desktop,
// checked at the call: Wayland always composes; on X11 a compositing manager owns the selection
// "_NET_WM_CM_S<screen>" (the screen of DISPLAY, 0 when it names none); every other platform
// (offscreen, linuxfb, a build without xcb) counts as not composing. A compositing manager that
// starts later is not noticed by a window already built.
bool WindowSystemComposes();

// Paints the widgets it watches as fully transparent pixels (alpha 0, composition mode Source,
// so whatever their parents painted below is replaced) while it is open, before their own
// painting and before the widgets stacked above them paint. Owned by its Qt parent; main thread.
class TSeeThroughHoles final : public QObject {
public:
    explicit TSeeThroughHoles(QObject* parent) : QObject(parent) {}

    void Watch(QWidget* shape);
    // Opens or closes the holes and repaints the watched widgets.
    void SetOpen(bool open);
    bool Open() const { return Open_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::vector<QPointer<QWidget>> Shapes_;
    bool Open_ = false;
};
