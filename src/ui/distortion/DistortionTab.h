// SPDX-License-Identifier: GPL-3.0-or-later
// The "Distortion" tab: THD, THD+N, SINAD, SNR, ENOB, SFDR and intermodulation in large type,
// the harmonics as bars in dBc, the analyser's settings, and the residual on the spectrum graph.
#pragma once

#include "analysis/DistortionConsumer.h"
#include "ui/common/InstrumentTab.h"

#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class TViewPaintBox;

// Owns the distortion analyser (through its consumer) and the controls on its page. The
// analyser runs while the page is shown, and also while "Residual on the spectrum graph" is
// checked, so that the trace it draws there follows the signal; its average starts afresh
// whenever it resumes. The settings edits take effect
// as they are typed; a text that is no number, or out of range, is reported when the edit is
// left and leaves the analyser as it was. Main thread only.
class TDistortionTab final : public TInstrumentTab {
public:
    explicit TDistortionTab(TInstrumentHost& host);

    TBlockConsumer& Consumer() override { return Consumer_; }
    const TDistortionAnalyser& Analyser() const { return Consumer_.Analyser(); }
    // "DistHarmonics=", "DistBandLow=", "DistBandHigh=", "DistAverages=", "DistImd=",
    // "DistImdF1=", "DistImdF2=", "DistImdRatio=", "DistResidual=".
    std::vector<TSettingsRow> SettingsRows() override;

    // Handlers. EDistChange reads every settings edit into the analyser (and the generator's
    // tones); CDistImdChange also puts the kind's default tones into the tone edits.
    void EDistChange(bool leaving);
    void CDistImdChange();
    void CDistResidualClick();
    void BDistResetClick();

    // Readings in large type.
    QLabel* LDistThdn = nullptr;
    QLabel* LDistThd = nullptr;
    QLabel* LDistSinad = nullptr;
    QLabel* LDistSnr = nullptr;
    QLabel* LDistEnob = nullptr;
    QLabel* LDistSfdr = nullptr;
    QLabel* LDistFund = nullptr;
    QLabel* LDistImd = nullptr;
    QLabel* LDistInfo = nullptr; // mode, blocks averaged, the generator's tones, or the problem
    TViewPaintBox* PaintDistBars = nullptr;
    // Settings.
    QLineEdit* EDistHarm = nullptr;
    QLineEdit* EDistLow = nullptr;
    QLineEdit* EDistHigh = nullptr;
    QLineEdit* EDistAv = nullptr;
    QComboBox* CDistImd = nullptr;
    QLineEdit* EDistF1 = nullptr;
    QLineEdit* EDistF2 = nullptr;
    QLineEdit* EDistRatio = nullptr;
    QCheckBox* CDistResidual = nullptr;
    QPushButton* BDistReset = nullptr;

protected:
    void Refresh() override;
    void PageShown() override;
    void PageHidden() override;

private:
    void BuildControls();
    void UpdateActive();
    // The settings of the edits and the combo box; raises EConvertError for a bad text.
    TDistortionSettings SettingsFromControls() const;
    // The harmonics as bars, 0 dBc at the top.
    void PaintBars(QPainter& painter);
    // The residual on the spectrum graph, its largest bin per pixel column.
    void DrawResidual(QPainter& painter, const TSpectrumAxis& axis);

    TDistortionConsumer Consumer_;
};
