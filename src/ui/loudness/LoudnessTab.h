// SPDX-License-Identifier: GPL-3.0-or-later
// The "Loudness" tab: the sound level meter and the loudness meter, read-outs, bar and history.
#pragma once

#include "analysis/LevelMetersConsumer.h"
#include "ui/common/InstrumentTab.h"

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class TViewPaintBox;

// Owns both meters (fed together by the pipeline) and the tab's controls on the page the host
// gave it. The meters integrate over the run (Leq, integrated loudness, loudness range), so once
// the page has been shown they keep measuring while it is hidden, unless CLoudHidden says to
// stop; then they start afresh each time the page is shown again. Before the page is first shown
// they cost nothing. The sound level meter follows the spectrum's channel (left, right, their sum
// or difference); the loudness meter measures the selected channel alone when that is left or
// right, else both. Levels in dB SPL while the SPL calibration is set, else dB re a full-scale
// sine. Main thread only.
class TLoudnessTab final : public TInstrumentTab {
public:
    explicit TLoudnessTab(TInstrumentHost& host);

    TBlockConsumer& Consumer() override { return Meters_; }
    std::vector<TSettingsRow> SettingsRows() override;
    const TLevelMetersConsumer& Meters() const { return Meters_; }
    double TargetLufs() const { return TargetLufs_; }

    // Handlers.
    void CSlmWeightingChange();
    void CSlmTimeChange();
    void ESlmIntervalChange(); // EConvertError for no number or one outside 1 ... 3600 s
    void ELoudTargetChange();  // EConvertError for no number or one outside -70 ... 0 LUFS
    void CLoudHiddenChange();
    void BLoudResetClick();

    // Controls, named as their objectName().
    QComboBox* CSlmWeighting = nullptr; // A, C, Z
    QComboBox* CSlmTime = nullptr;      // Fast, Slow: the bar's level and Lmax/Lmin
    QLineEdit* ESlmInterval = nullptr;  // seconds of the repeating Leq
    QLineEdit* ELoudTarget = nullptr;   // LUFS of the history's target line
    QComboBox* CLoudHidden = nullptr;   // while hidden: keep measuring, stop
    QPushButton* BLoudReset = nullptr;
    QLabel* LSlmLevel = nullptr; // large: LAF or LAS
    QLabel* LSlmLeq = nullptr;   // large: LAeq
    QLabel* LSlmMore = nullptr;  // interval Leq, Lmax, Lmin, LCpeak
    QLabel* LLoudM = nullptr;    // large: momentary
    QLabel* LLoudS = nullptr;    // large: short-term
    QLabel* LLoudI = nullptr;    // large: integrated
    QLabel* LLoudMore = nullptr; // LRA, maxima, true and sample peak
    TViewPaintBox* PaintSlmBar = nullptr;
    TViewPaintBox* PaintLoudHistory = nullptr;

    // Seconds of history shown.
    static constexpr double HistorySeconds = 60.0;

protected:
    void Refresh() override;
    void PageShown() override;
    void PageHidden() override;

private:
    bool ApplyEdit(QLineEdit* edit, bool leaving);
    void PaintBar(QPainter& painter);
    void PaintHistory(QPainter& painter);

    TLevelMetersConsumer Meters_;
    TSoundLevelReadings Slm_;
    double IntervalSeconds_ = 60.0;
    double TargetLufs_ = -23.0;
    bool EverShown_ = false;
};
