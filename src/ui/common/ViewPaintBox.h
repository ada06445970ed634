// SPDX-License-Identifier: GPL-3.0-or-later
// A drawing surface for the views: paints through a callback, hands mouse events to callbacks.
#pragma once

#include <QWidget>

#include <functional>

class QMouseEvent;
class QPainter;

// A transparent widget that paints nothing of its own: its owner draws into it from the current
// data on every paint event (no cached picture), and may take its mouse events. Created and
// used on the main thread; owned by its parent widget.
class TViewPaintBox final : public QWidget {
public:
    explicit TViewPaintBox(QWidget* parent, const char* name);

    std::function<void(QPainter&)> OnPaint;
    std::function<void(QMouseEvent*)> OnMouseDown;
    std::function<void(QMouseEvent*)> OnMouseMove;
    std::function<void(QMouseEvent*)> OnMouseUp;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};
