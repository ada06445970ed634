// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the instrument tabs: a page of its own, an analyser fed by the pipeline, settings rows,
// and a refresh at the screen's pace while the page is shown.
#pragma once

#include "ui/common/InstrumentHost.h"
#include "ui/common/ViewTab.h"
#include "ui/settings/SettingsBinding.h"

#include <QTimer>

#include <vector>

class TBlockConsumer;

// An instrument tab owns its analyser and its controls (on the page the host gave it). The
// window feeds Consumer() through the pipeline's consumer list and appends SettingsRows() to the
// settings table after the keys it had before (in the order of the instrument list). While the
// page is shown, Refresh() runs at most RefreshPerSecond times a second; hidden, nothing runs.
// Main thread only.
class TInstrumentTab : public TViewTab {
public:
    static constexpr int RefreshPerSecond = 30;

    TInstrumentTab(TInstrumentHost& host, const QString& caption, const QString& objectName);

    // The analyser the pipeline feeds. Its Active() should be false while the tab has nothing
    // to show it for (usually: the page is hidden).
    virtual TBlockConsumer& Consumer() = 0;
    // This tab's keys, each with its getter and apply action (see TSettingsRow).
    virtual std::vector<TSettingsRow> SettingsRows() = 0;
    void Relayout() override {}

    // True while the page is shown.
    bool Shown() const { return Shown_; }

protected:
    // Brings the controls up to date with the analyser; runs while the page is shown.
    virtual void Refresh() = 0;
    void PageShown() override;
    void PageHidden() override;

    TInstrumentHost& Host;

private:
    QTimer RefreshTimer_;
    bool Shown_ = false;
};
