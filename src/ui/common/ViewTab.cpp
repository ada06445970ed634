// SPDX-License-Identifier: GPL-3.0-or-later
// What every tab with views shares: page watching, the window's re-layout, colours, edit checking.
#include "ui/common/ViewTab.h"

#include "core/NumberText.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

TViewTab::TViewTab(QWidget* page, TViewTabHooks hooks)
    : Page(page), PageGuard_(page), CommonHooks_(std::move(hooks)) {
    Page->installEventFilter(this);
}

TViewTab::~TViewTab() {
    // The window may have deleted the page (and its widgets) first.
    if (PageGuard_)
        PageGuard_->removeEventFilter(this);
}

void TViewTab::RunFormResize() {
    if (CommonHooks().FormResize)
        CommonHooks().FormResize();
    else
        Relayout();
}

void TViewTab::EngineBlockDone() {
    if (!Page->isVisible()) {
        BlockUnshown_ = true;
        return;
    }
    BlockUnshown_ = false;
    ShowBlock();
}

void TViewTab::CatchUp() {
    if (!BlockUnshown_)
        return;
    BlockUnshown_ = false;
    ShowBlock();
}

void TViewTab::SetMeterText(QLabel* label, const std::string& text) {
    const QString value = QString::fromStdString(text);
    if (label->text() == value)
        return;
    label->setText(value);
    label->adjustSize();
}

std::optional<TColour> TViewTab::ChooseColour(TColour initial) {
    if (CommonHooks().ChooseColour)
        return CommonHooks().ChooseColour(initial);
    return ChooseColourDialog(initial, Page);
}

void TViewTab::ReportError(const std::string& message) {
    if (CommonHooks().ReportError)
        CommonHooks().ReportError(message);
    else
        QMessageBox::warning(Page, "Phonoscale", QString::fromStdString(message));
}

void TViewTab::AttachPaintBox(TViewPaintBox* box, std::function<void(QPainter&)> paint,
                              QMenu* popup) {
    box->OnPaint = std::move(paint);
    if (!popup)
        return;
    box->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(box, &QWidget::customContextMenuRequested, this,
            [box, popup](const QPoint& at) { popup->popup(box->mapToGlobal(at)); });
}

void TViewTab::ConnectEdit(QLineEdit* edit, std::function<void(bool leaving)> handler) {
    connect(edit, &QLineEdit::textEdited, this, [handler] { handler(false); });
    connect(edit, &QLineEdit::editingFinished, this, [handler] { handler(true); });
}

bool TViewTab::EditChanged(const std::function<void()>& handler, bool leaving) {
    try {
        handler();
        return true;
    } catch (const EConvertError& error) {
        if (!leaving)
            return false;
        if (const TViewTabHooks& hooks = CommonHooks(); hooks.ReportError)
            hooks.ReportError(error.what());
        else
            QApplication::beep();
        return false;
    }
}

bool TViewTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Page) {
        switch (event->type()) {
        case QEvent::Resize:
            Relayout();
            break;
        case QEvent::Show:
            PageShown();
            break;
        case QEvent::Hide:
            PageHidden();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}
