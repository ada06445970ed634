// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures of the instrument tabs' pages through the screenshot procedure of the Scope tab.
#include "ui/TForm1.h"
#include "ui/WidgetNaming.h"
#include "ui/screenshot/ScreenshotTool.h"

#include <QMenu>
#include <QTabWidget>

QAction* TScreenshotTool::AddPictureItem(const QString& caption, const QString& objectName,
                                         QWidget* page) {
    QAction* item = NamedAction(Clipboard1, objectName.toUtf8().constData(), caption);
    ConnectClick(this, item, [this, page = QPointer<QWidget>(page)] {
        if (page)
            SavePageClick(page);
    });
    return item;
}

void TScreenshotTool::SavePageClick(QWidget* page) {
    // The page's geometry and fill come back afterwards, like those of the Scope and Spectrum
    // pages (a page that is not shown keeps the layout of its last showing).
    const QRect geometry = page->geometry();
    const bool filled = page->autoFillBackground();
    TRestoreOnExit restore([&] {
        PicturePage_ = nullptr;
        page->setAutoFillBackground(filled);
        if (Form_.PageControl1->currentWidget() != page)
            page->setGeometry(geometry);
    });
    PicturePage_ = page;
    page->setAutoFillBackground(true); // the window's white over the tab frame's own shade
    TakeGuarded(false);
}
