// SPDX-License-Identifier: GPL-3.0-or-later
// What every tab with views shares: page watching, the window's re-layout, colours, edit checking.
#pragma once

#include "ui/common/ViewMapping.h"

#include <QAction>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QWidget;
class TViewPaintBox;

// What a tab asks of the window. Every hook may stay empty.
struct TViewTabHooks {
    // The window's re-layout (FormResize). Empty: the tab re-lays out only itself.
    std::function<void()> FormResize;
    // The colour dialog: the chosen colour, or nothing when cancelled. Empty: QColorDialog.
    std::function<std::optional<TColour>(TColour initial)> ChooseColour;
    // Tells the user about a refused entry or a failed action. Empty: a message box.
    std::function<void(const std::string& message)> ReportError;
};

// Base of the tabs that draw views on a page they are given: watches the page (resize re-lays
// out, show and hide reach the tab), runs the window's re-layout, picks colours and checks edits.
// The page and its widgets belong to the window; the tab object has no Qt parent and may outlive
// the page. Main thread only.
// Runs `handler` when a menu item is chosen. A checkable item has already toggled itself by then;
// the toggle is undone first because the handlers set the check marks themselves (the settings
// loader calls them the same way).
template <typename Handler> void ConnectClick(QObject* context, QAction* action, Handler handler) {
    QObject::connect(action, &QAction::triggered, context, [action, handler](bool checked) {
        if (action->isCheckable())
            action->setChecked(!checked);
        handler();
    });
}

class TViewTab : public QObject {
public:
    TViewTab(QWidget* page, TViewTabHooks hooks);
    ~TViewTab() override;
    TViewTab(const TViewTab&) = delete;
    TViewTab& operator=(const TViewTab&) = delete;

    // The hooks the base runs. A tab whose own hooks extend TViewTabHooks returns those, so
    // that hooks set after construction reach the base too.
    virtual TViewTabHooks& CommonHooks() { return CommonHooks_; }
    // This tab's part of the window's re-layout.
    virtual void Relayout() = 0;
    // After engine blocks (at most once a frame): shows the latest readings (ShowBlock) while
    // the page is visible; a hidden page only notes the block and catches up when shown.
    void EngineBlockDone();
    // Shows the latest block now if the page skipped it while hidden.
    void CatchUp();

    QWidget* Page = nullptr;

protected:
    // Called when the page is shown or hidden.
    virtual void PageShown() {}
    virtual void PageHidden() {}
    // Shows the latest block's readings on the page.
    virtual void ShowBlock() {}

    void RunFormResize();
    // Sets a read-out's text and fits the label to it, both only when the text changed.
    static void SetMeterText(QLabel* label, const std::string& text);
    std::optional<TColour> ChooseColour(TColour initial);
    void ReportError(const std::string& message);
    // Paints `box` through `paint` and opens `popup` (may be null) on a right click.
    void AttachPaintBox(TViewPaintBox* box, std::function<void(QPainter&)> paint, QMenu* popup);
    // Runs `handler` while the edit is typed into and when it is left; a conversion error
    // (EConvertError) is reported only on leaving, half-entered numbers are simply not applied.
    void ConnectEdit(QLineEdit* edit, std::function<void(bool leaving)> handler);
    // Runs an edit's handler; false when its text is no number (reported only when leaving:
    // through ReportError, else a beep).
    bool EditChanged(const std::function<void()>& handler, bool leaving);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> PageGuard_;
    TViewTabHooks CommonHooks_;
    bool BlockUnshown_ = false; // a block came while the page was hidden
};
