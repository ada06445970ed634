// SPDX-License-Identifier: GPL-3.0-or-later
// The "Peak Frequency and Level" tab: strip chart, pause, range panel, colours and trace file.
#pragma once

#include "core/MeasurementState.h"
#include "instruments/PeakRecorder.h"
#include "ui/common/ViewTab.h"

#include <functional>
#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPushButton;

// What the tab asks of the window besides the common hooks. Every hook may stay empty.
struct TPeakTabHooks {
    TViewTabHooks Common;
    // True while sampling. Empty: never.
    std::function<bool()> Sampling;
    // The save dialog (SaveDat): a file name, or nothing when cancelled. Empty: QFileDialog.
    std::function<std::optional<std::string>()> ChooseTraceFile;
};

// Creates and owns (through Qt parenthood) the controls of the peak recorder on the page it is
// given. The ring (PeakLog, PeakLogIndex, PeakLogWrapped) and PeakThreshold live in
// MeasurementState, which the pipeline fills and which belongs to the window; the recorder's
// settings live here. Main thread only.
class TPeakTab final : public TViewTab {
public:
    TPeakTab(QWidget* page, MeasurementState& state, TPeakTabHooks hooks = {});

    TPeakTabHooks& Hooks() { return Hooks_; }
    void Relayout() override;
    // The recorder's part of a sampling start: the ring restarts, the chart is cleared and
    // PeakThreshold := the trigger level.
    void SamplingStart();
    bool Paused() const;

    // The settings and one apply action per setting (each as its control would apply it).
    const TPeakRecorderSettings& Settings() const { return Settings_; }
    long long BufferSize() const { return static_cast<long long>(State_.PeakLog.size()); }
    // Resizes the ring (slots kept); false and a message when the size is refused.
    bool ApplyBufferSize(long long points);
    void ApplyTriggerLevel(double db);
    void ApplyFrequencyLower(double hz);
    void ApplyFrequencyUpper(double hz);
    void ApplyLevelLower(double db);
    void ApplyLevelUpper(double db);
    void ApplyDrawFrequency(bool on); // CPeakF checked, then its click handler
    void ApplyDrawLevel(bool on);     // CPeakL checked, then its click handler
    void ApplyTraceColour(TColour colour);
    void ApplyGridColour(TColour colour);
    void ApplyBackColour(TColour colour);
    void ApplyLevelColour(TColour colour);
    void ApplyLevelGridColour(TColour colour);
    // Transparent mode: the background shape takes the transparency key colour instead of the
    // background colour (the chart's own colours stay).
    void SetTransparent(bool on);
    bool Transparent() const { return Transparent_; }

    // Painting in chart pixels; public so that tests can paint into images.
    void PaintPeakPaint(QPainter& painter);

    // Handlers.
    void PaintPeakClick();
    void Grid3Click();
    void Level1Click();
    void race2Click();
    void Level2Click();
    void Background3Click();
    void ClearScreen1Click();
    void SetRange1Click();
    void BPKOKClick();
    // Any panel edit changed (leaving = the edit was left, or OK): the capacity is taken only
    // then, so that typing "5000" does not first cut the ring down to 5 points.
    void EPkHChange(bool leaving);
    void CPeakFClick();
    void CPeakLClick();
    void SaveTracetoFile1Click();

    // Controls, named as their objectName().
    QFrame* PeakBack = nullptr;
    TViewPaintBox* PaintPeak = nullptr;
    QLabel* LPkPause = nullptr;
    QFrame* PanelPeak = nullptr;
    QLineEdit* EPkH = nullptr;
    QLineEdit* EPkL = nullptr;
    QCheckBox* CPeakF = nullptr;
    QLineEdit* EPkLH = nullptr;
    QLineEdit* EPkLL = nullptr;
    QCheckBox* CPeakL = nullptr;
    QLineEdit* EPkN = nullptr;
    QLineEdit* EPkTrg = nullptr;
    QPushButton* BPKOK = nullptr;
    QMenu* PopupPeak = nullptr;
    QAction* Grid3 = nullptr;
    QAction* Level1 = nullptr;
    QAction* race2 = nullptr;
    QAction* Level2 = nullptr;
    QAction* Background3 = nullptr;
    QAction* ClearScreen1 = nullptr;
    QAction* SetRange1 = nullptr;
    QAction* SaveTracetoFile1 = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildPanel();
    void BuildMenu();
    void ApplyBackground();
    bool IsSampling() const;
    void PickColour(TColour& colour);
    // Frame, value grid lines and their values of the frequency (level = false) or level
    // display.
    void DrawGrid(QPainter& painter, bool level);
    // The time lines and their seconds, the current readings and the time resolution: once.
    void DrawTimeAxis(QPainter& painter);
    // The recorded points of one display as a polyline in its trace colour.
    void DrawTrace(QPainter& painter, bool level);
    // Black or white, whichever stands out from the chart's background.
    TColour ChartTextColour() const;

    MeasurementState& State_;
    TPeakTabHooks Hooks_;
    TPeakRecorderSettings Settings_;
    bool Transparent_ = false;
    bool Filling_ = false; // the panel's edits are being filled: their changes are not applied
};
