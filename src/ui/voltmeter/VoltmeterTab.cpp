// SPDX-License-Identifier: GPL-3.0-or-later
// The "Vector Voltmeter" tab and the data-collection group of the external four-ADC source.
#include "ui/voltmeter/VoltmeterTab.h"

#include "ui/WidgetNaming.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFont>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TVoltmeterTab::TVoltmeterTab(QWidget* page, TVectorVoltmeter& voltmeter,
                             std::function<double()> rateHz)
    : Vvm_(voltmeter), RateHz_(std::move(rateHz)) {
    auto* layout = new QVBoxLayout(page);
    auto* settings = Named<QGroupBox>(page, "GroupVVM", "Vector Voltmeter");
    auto* form = new QFormLayout(settings);
    EFreq = Named<QLineEdit>(settings, "EFreq", "1000");
    form->addRow("Signal Frequency (Hz)", EFreq);
    EVVMT = Named<QLineEdit>(settings, "EVVMT", "0");
    form->addRow("Averaging Time (s)", EVVMT);
    CAd = Named<QComboBox>(settings, "CAd");
    CAd->addItems({"none", "ADC1", "ADC2", "ADC3", "ADC4"});
    form->addRow("Reference", CAd);
    layout->addWidget(settings);

    // The readings in a fixed-width face, so that the padded numbers line up.
    QFont readingFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    readingFont.setPointSize(16);
    const char* names[] = {"L1", "L2", "L3", "L4"};
    for (int k = 0; k < 4; ++k) {
        L[static_cast<std::size_t>(k)] =
            Named<QLabel>(page, names[k], QString("ADC%1: ").arg(k + 1));
        L[static_cast<std::size_t>(k)]->setFont(readingFont);
        L[static_cast<std::size_t>(k)]->installEventFilter(this);
        layout->addWidget(L[static_cast<std::size_t>(k)]);
    }
    layout->addStretch(1);

    connect(EFreq, &QLineEdit::textChanged, this, [this] { EFreqChange(); });
    connect(EVVMT, &QLineEdit::textChanged, this, [this] { EVVMTChange(); });
    connect(CAd, &QComboBox::currentIndexChanged, this, [this] { CAdChange(); });
}

void TVoltmeterTab::BuildCollectionGroup(QGroupBox* group) {
    auto* form = new QFormLayout(group);
    CN4Save = Named<QCheckBox>(group, "CN4Save", "Save samples to File");
    form->addRow(CN4Save);
    EN4File = Named<QLineEdit>(group, "EN4File", QDir(QDir::homePath()).filePath("N4.dat"));
    form->addRow("File", EN4File);
    EN4Time = Named<QLineEdit>(group, "EN4Time", "10");
    form->addRow("Save Time Interval (s)", EN4Time);
}

void TVoltmeterTab::EFreqChange() {
    Vvm_.SetFrequencyText(EFreq->text().toStdString());
}

void TVoltmeterTab::EVVMTChange() {
    Vvm_.SetAveragingTimeText(EVVMT->text().toStdString(), RateHz_(), BlockSamples);
}

void TVoltmeterTab::CAdChange() {
    Vvm_.SetReference(CAd->currentIndex());
    Vvm_.ResetAverages();
    ShowReadings(false);
}

void TVoltmeterTab::ShowAverages() {
    ShowReadings(true);
}

void TVoltmeterTab::ShowReadings(bool averages) {
    for (int k = 0; k < 4; ++k) {
        const TVvmReading reading = averages ? Vvm_.Average(k) : Vvm_.Instant(k);
        const QString text = QString::fromStdString(TVectorVoltmeter::LabelText(k, reading));
        QLabel* label = L[static_cast<std::size_t>(k)];
        if (label->text() != text)
            label->setText(text);
    }
}

bool TVoltmeterTab::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease)
        for (QLabel* label : L)
            if (watched == label)
                CAdChange();
    return QObject::eventFilter(watched, event);
}
