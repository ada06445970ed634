// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the instrument tabs: the page, the refresh timer and the page's visibility.
#include "ui/common/InstrumentTab.h"

#include <QWidget>

TInstrumentTab::TInstrumentTab(TInstrumentHost& host, const QString& caption,
                               const QString& objectName)
    : TViewTab(host.AddPage(caption, objectName), host.ViewHooks()), Host(host) {
    RefreshTimer_.setInterval(1000 / RefreshPerSecond);
    QObject::connect(&RefreshTimer_, &QTimer::timeout, this, [this] { Refresh(); });
}

void TInstrumentTab::PageShown() {
    Shown_ = true;
    Refresh();
    RefreshTimer_.start();
}

void TInstrumentTab::PageHidden() {
    Shown_ = false;
    RefreshTimer_.stop();
}
