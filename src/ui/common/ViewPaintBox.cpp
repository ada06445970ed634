// SPDX-License-Identifier: GPL-3.0-or-later
// A drawing surface for the views: paints through a callback, hands mouse events to callbacks.
#include "ui/common/ViewPaintBox.h"

#include <QMouseEvent>
#include <QPainter>

TViewPaintBox::TViewPaintBox(QWidget* parent, const char* name) : QWidget(parent) {
    setObjectName(name);
}

void TViewPaintBox::paintEvent(QPaintEvent* /*event*/) {
    if (!OnPaint)
        return;
    QPainter painter(this);
    OnPaint(painter);
}

void TViewPaintBox::mousePressEvent(QMouseEvent* event) {
    if (OnMouseDown)
        OnMouseDown(event);
    else
        QWidget::mousePressEvent(event);
}

void TViewPaintBox::mouseMoveEvent(QMouseEvent* event) {
    if (OnMouseMove)
        OnMouseMove(event);
    else
        QWidget::mouseMoveEvent(event);
}

void TViewPaintBox::mouseReleaseEvent(QMouseEvent* event) {
    if (OnMouseUp)
        OnMouseUp(event);
    else
        QWidget::mouseReleaseEvent(event);
}
