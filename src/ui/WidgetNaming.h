// SPDX-License-Identifier: GPL-3.0-or-later
// Creating named widgets and menu items: the name is how settings, tests and layout find them.
#pragma once

#include <QAction>
#include <QMenu>
#include <QString>
#include <QWidget>

#include <utility>

// A new child of `parent` called `name` (its objectName()).
template <typename Widget, typename... Args>
Widget* Named(QWidget* parent, const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)..., parent);
    widget->setObjectName(name);
    return widget;
}

inline QAction* NamedAction(QMenu* menu, const char* name, const QString& caption,
                            bool checkable = false) {
    auto* action = menu->addAction(caption);
    action->setObjectName(name);
    action->setCheckable(checkable);
    return action;
}

inline QWidget* NamedPage(const char* name) {
    auto* page = new QWidget;
    page->setObjectName(name);
    return page;
}
