// SPDX-License-Identifier: GPL-3.0-or-later
// The "Octave Bands" tab: fractional-octave band levels as bars with peak hold and Leq.
#pragma once

#include "analysis/OctaveAnalyser.h"
#include "ui/common/InstrumentTab.h"

#include <QString>

#include <functional>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QRect;
class TViewPaintBox;

// Owns the analyser the pipeline feeds (while the page is shown) and the tab's controls on the
// page the host gave it. Bars show the time-weighted band level, a red mark the peak hold and a
// black mark the Leq since the run started (or "Reset"); levels as the spectrum shows them (its
// calibration and Y offset applied). Bands narrower than two bins are hatched, without a level.
// Main thread only.
class TOctaveTab final : public TInstrumentTab {
public:
    explicit TOctaveTab(TInstrumentHost& host);

    TBlockConsumer& Consumer() override { return Analyser_; }
    std::vector<TSettingsRow> SettingsRows() override;

    const TOctaveAnalyser& Analyser() const { return Analyser_; }
    // The readings as shown at the last refresh.
    const TOctaveReadings& Readings() const { return Readings_; }
    // Shown level = analyser level + this (the spectrum's calibration and Y offset), dB.
    double OffsetDb() const;
    QRect GraphRect() const;
    // The band under graph x (graph pixels), or nothing.
    std::optional<std::size_t> BandAt(int x) const;
    // The read-out of band i as LOctCursor shows it.
    QString BandText(std::size_t i) const;

    // The CSV file to save to (empty: cancelled). Empty hook: a file dialog.
    std::function<QString()> ChooseCsvFile;

    // Handlers.
    void COctBandsChange();
    void COctTimeChange();
    void EOctTopChange();  // EConvertError for a text that is no number
    void EOctSpanChange(); // EConvertError for no number or a span outside 1 ... 1000 dB
    void BOctResetClick();
    void BOctSaveClick();

    // Controls, named as their objectName().
    QComboBox* COctBands = nullptr;
    QComboBox* COctTime = nullptr;
    QLineEdit* EOctTop = nullptr;
    QLineEdit* EOctSpan = nullptr;
    QPushButton* BOctReset = nullptr;
    QPushButton* BOctSave = nullptr;
    QLabel* LOctInfo = nullptr;
    QLabel* LOctCursor = nullptr;
    TViewPaintBox* PaintOct = nullptr;

    // Time constants of COctTime's items, s.
    static constexpr double TimeConstants[] = {0.125, 1.0};

protected:
    void Refresh() override;
    void PageShown() override;
    void PageHidden() override;

private:
    void Paint(QPainter& painter);
    bool ApplyEdit(QLineEdit* edit, bool leaving);
    void ShowCursor(int boxX);
    int DbToY(double shownDb, int height) const;

    TOctaveAnalyser Analyser_;
    TOctaveReadings Readings_;
    double TopDb_ = 0.0;
    double SpanDb_ = 100.0;
    std::optional<int> CursorX_; // box pixels of the last read-out
    QString Folder_;             // where the last CSV file went
};
