// SPDX-License-Identifier: GPL-3.0-or-later
// The "Detector Test" tab: analysis period edits and the four result lines.
#pragma once

#include "core/MeasurementState.h"

#include <QObject>

class QLabel;
class QLineEdit;
class QWidget;

// Creates and owns (through Qt parenthood) the controls of the detector test on the page it is
// given; reads SampleRate from MeasurementState, which belongs to the window. Main thread only.
class TDetectorTab final : public QObject {
public:
    TDetectorTab(QWidget* page, const MeasurementState& state);

    // Recomputes LAT from Ep, Enp and the sample rate; a text that is not a whole number, or a
    // figure that cannot be computed, leaves LAT as it was.
    void EpChange();

    QLineEdit* Ep = nullptr;
    QLineEdit* Enp = nullptr;
    QLabel* LAT = nullptr;
    QLabel* Lrms = nullptr;
    QLabel* Ldet = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const MeasurementState& State_;
};
