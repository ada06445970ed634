// SPDX-License-Identifier: GPL-3.0-or-later
// Number edits checked on every exit: a beep and the focus kept while they hold no number.
#pragma once

#include <QObject>

#include <functional>

class QLineEdit;

// Watches one edit field; created by CheckOnExit as the edit's child, so it lives as long as
// the edit. On every exit — the focus moving to another control of the window, or Return or
// Enter — it runs Check, which applies the text and returns false when the text is not a
// number; then it runs Beep and gives the edit the focus again. Leaving unchanged text counts
// as an exit too. Switching to another window or opening a pop-up menu is not an exit, and
// neither is any exit while Enabled (when given) returns false. While one edit takes its focus
// back, the others do not check, so two invalid edits never trade the focus. Main thread only.
class TCheckedEdit : public QObject {
public:
    TCheckedEdit(QLineEdit* edit, std::function<bool()> check, std::function<void()> beep,
                 std::function<bool()> enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs Check; on failure beeps and, when refocus is set, takes the focus back. True when
    // the focus was taken back.
    bool Exit(bool refocus);

    QLineEdit* edit_;
    std::function<bool()> check_;
    std::function<void()> beep_;
    std::function<bool()> enabled_;
};

// Installs the exit check on `edit` (see TCheckedEdit).
TCheckedEdit* CheckOnExit(QLineEdit* edit, std::function<bool()> check, std::function<void()> beep,
                          std::function<bool()> enabled = {});
