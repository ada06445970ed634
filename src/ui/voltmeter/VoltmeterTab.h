// SPDX-License-Identifier: GPL-3.0-or-later
// The "Vector Voltmeter" tab and the data-collection group of the external four-ADC source.
#pragma once

#include "instruments/VectorVoltmeter.h"

#include <QObject>

#include <array>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QWidget;

// Creates and owns (through Qt parenthood) the voltmeter's controls on its page and the
// collection controls in the group it is given; drives the window's TVectorVoltmeter. The
// sampling rate comes from the window's state through `rateHz`. Main thread only.
class TVoltmeterTab final : public QObject {
public:
    // Samples per ADC block while the external source runs.
    static constexpr int BlockSamples = 4096;

    TVoltmeterTab(QWidget* page, TVectorVoltmeter& voltmeter, std::function<double()> rateHz);
    // Fills the "Norta4 Data Collection to File" group: CN4Save, EN4File ("N4.dat" in the home
    // folder), EN4Time ("10" s).
    void BuildCollectionGroup(QGroupBox* group);

    // VvmFrequency from EFreq (a text that is not an integer leaves it).
    void EFreqChange();
    // The averaging weight from EVVMT at the current rate and B = 4096.
    void EVVMTChange();
    // The reference from CAd; the labels show the instantaneous readings, which become the
    // averages (also the click on L1..L4).
    void CAdChange();
    // The labels show the averages (after the blocks of one hand-over).
    void ShowAverages();

    QLineEdit* EFreq = nullptr;
    QLineEdit* EVVMT = nullptr;
    QComboBox* CAd = nullptr;
    std::array<QLabel*, 4> L{}; // L1..L4
    QCheckBox* CN4Save = nullptr;
    QLineEdit* EN4File = nullptr;
    QLineEdit* EN4Time = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowReadings(bool averages);

    TVectorVoltmeter& Vvm_;
    std::function<double()> RateHz_;
};
