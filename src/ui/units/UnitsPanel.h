// SPDX-License-Identifier: GPL-3.0-or-later
// The window's controls of the units beside dB: SPL calibration, correction curves, A/C/Z.
#pragma once

#include "ui/settings/SettingsBinding.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPushButton;
class QWidget;
struct MeasurementState;
struct TSpectrumAxis;

// What the panel asks of the window.
struct TUnitsPanelHooks {
    std::function<void()> Beep;                        // a refused entry
    std::function<void(const QString&)> ShowMessage;   // a message box
    std::function<void()> Repaint;                     // the spectrum graph and its captions
    std::function<QString(const QString&)> ChooseFile; // an open-file dialog; empty: cancelled
};

// Owns the group "SPL and Correction Curves" (on the Measure tab, below the level calibration),
// the units "display dBFS" ... "display dB SPL" appended to CUnits and the weightings "A",
// "C" and "Z" appended to the weighting menu. It writes SplSensitivityDb, SplCalibratorDb,
// Correction and Weighting (3..5) of the state; the logic lives in core/LevelUnits and
// core/LevelCorrection. Created and owned by the window after CUnits and the weighting menu (its
// widgets belong to `parent`); main thread only.
class TUnitsPanel : public QObject {
public:
    TUnitsPanel(QWidget* parent, MeasurementState& state, QComboBox* units, QMenu* weighting,
                QActionGroup* weightingGroup, TUnitsPanelHooks hooks);

    ~TUnitsPanel() override;
    TUnitsPanel(const TUnitsPanel&) = delete;
    TUnitsPanel& operator=(const TUnitsPanel&) = delete;

    QGroupBox* Box() const { return Box_; }

    // The settings keys of the panel, appended after the table's other keys.
    std::vector<TSettingsRow> SettingsRows();
    // Marks the weighting item of the state's Weighting (after a settings file set it).
    void ShowWeighting();
    // Draws the combined correction curve (when "Show Correction Curve" is checked) about the
    // graph's middle line, 10 dB per box.
    void DrawCorrection(QPainter& painter, const TSpectrumAxis& axis) const;

    // Controls, named as their objectName().
    QLineEdit* ESplCal = nullptr;      // calibrator level, dB SPL
    QPushButton* BSplCal = nullptr;    // "Calibrate SPL"
    QLineEdit* ESplSens = nullptr;     // dB SPL of a full-scale sine; empty: none
    QLabel* LSplMvPa = nullptr;        // "= 12.6 mV/Pa"
    QLineEdit* EMicCorr = nullptr;     // microphone correction file
    QPushButton* BMicCorr = nullptr;   // "..." to choose it
    QLineEdit* EIfaceCorr = nullptr;   // interface correction file
    QPushButton* BIfaceCorr = nullptr; // "..."
    QCheckBox* CCorrTrace = nullptr;   // "Show Correction Curve"
    QAction* WeightA = nullptr;
    QAction* WeightC = nullptr;
    QAction* WeightZ = nullptr;

    // Handlers (also run by the settings rows).
    void BSplCalClick();
    bool ESplCalExit();  // false: not a number (beep, focus kept)
    bool ESplSensExit(); // false: not a number; out of range: message, previous value back
    void ApplyCorrection(bool microphone); // loads the edit's file; a failure keeps the old one
    void WeightClick(int weighting);       // 3 A, 4 C, 5 Z

private:
    void ShowSensitivity();

    MeasurementState& State_;
    TUnitsPanelHooks Hooks_;
    QGroupBox* Box_ = nullptr;
    // False once the panel is gone: the exit checks of its edits, which live on with the
    // widgets, then do nothing.
    std::shared_ptr<bool> Alive_ = std::make_shared<bool>(true);
};
