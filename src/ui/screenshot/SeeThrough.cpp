// SPDX-License-Identifier: GPL-3.0-or-later
// The window system's composing check and the see-through holes of the transparent mode.
#include "ui/screenshot/SeeThrough.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>

#ifdef PHONOSCALE_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>
#endif

namespace {

#ifdef PHONOSCALE_HAVE_XCB
// The X screen number of DISPLAY ("host:display.screen"); 0 when it names none.
int XScreenNumber() {
    const std::string display = qEnvironmentVariable("DISPLAY").toStdString();
    const auto colon = display.rfind(':');
    const auto dot = display.find('.', colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || dot == std::string::npos)
        return 0;
    const int screen = std::atoi(display.c_str() + dot + 1);
    return std::max(0, screen);
}

bool XCompositingManagerRuns() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(XScreenNumber());
    const auto release = [](void* reply) { std::free(reply); };
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(release)> atom(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str()),
            nullptr),
        release);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false; // nobody ever asked for it: no compositing manager
    const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(release)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom),
                                      nullptr),
        release);
    return owner && owner->owner != XCB_WINDOW_NONE;
}
#endif

} // namespace

bool WindowSystemComposes() {
    const QString platform = QGuiApplication::platformName();
    if (platform.startsWith("wayland"))
        return true;
#ifdef PHONOSCALE_HAVE_XCB
    if (platform == "xcb")
        return XCompositingManagerRuns();
#endif
    return false;
}

void TSeeThroughHoles::Watch(QWidget* shape) {
    Shapes_.emplace_back(shape);
    shape->installEventFilter(this);
    if (Open_)
        shape->update();
}

void TSeeThroughHoles::SetOpen(bool open) {
    if (Open_ == open)
        return;
    Open_ = open;
    for (const QPointer<QWidget>& shape : Shapes_)
        if (shape)
            shape->update();
}

bool TSeeThroughHoles::eventFilter(QObject* watched, QEvent* event) {
    if (Open_ && event->type() == QEvent::Paint) {
        auto* shape = static_cast<QWidget*>(watched); // only widgets are watched
        QPainter painter(shape);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(static_cast<QPaintEvent*>(event)->rect(), QColor(1, 1, 1, 0));
    }
    return QObject::eventFilter(watched, event); // the shape's own painting follows
}
