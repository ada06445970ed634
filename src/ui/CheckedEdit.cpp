// SPDX-License-Identifier: GPL-3.0-or-later
// Exit checks of the number edits, shared by the window and its tabs.
#include "ui/CheckedEdit.h"

#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Set while an edit takes its focus back (main thread only).
bool gRefocusing = false;

} // namespace

TCheckedEdit::TCheckedEdit(QLineEdit* edit, std::function<bool()> check, std::function<void()> beep,
                           std::function<bool()> enabled)
    : QObject(edit), edit_(edit), check_(std::move(check)), beep_(std::move(beep)),
      enabled_(std::move(enabled)) {
    edit->installEventFilter(this);
}

bool TCheckedEdit::Exit(bool refocus) {
    if (gRefocusing || (enabled_ && !enabled_()) || check_())
        return false;
    if (beep_)
        beep_();
    if (!refocus)
        return false;
    gRefocusing = true;
    edit_->setFocus(Qt::OtherFocusReason);
    gRefocusing = false;
    return true;
}

bool TCheckedEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit_) {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
                Exit(true))
                return true; // the edit has the focus again
        } else if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter)
                Exit(false); // the focus is still in the edit
        }
    }
    return QObject::eventFilter(watched, event);
}

TCheckedEdit* CheckOnExit(QLineEdit* edit, std::function<bool()> check, std::function<void()> beep,
                          std::function<bool()> enabled) {
    return new TCheckedEdit(edit, std::move(check), std::move(beep), std::move(enabled));
}
