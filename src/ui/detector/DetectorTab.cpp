// SPDX-License-Identifier: GPL-3.0-or-later
// The "Detector Test" tab: analysis period edits and the four result lines.
#include "ui/detector/DetectorTab.h"

#include "instruments/DetectorTest.h"
#include "ui/WidgetNaming.h"

#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

TDetectorTab::TDetectorTab(QWidget* page, const MeasurementState& state) : State_(state) {
    auto* layout = new QVBoxLayout(page);
    auto* group = Named<QGroupBox>(page, "GroupDetector", "Signal Analysis");
    auto* form = new QFormLayout(group);
    Ep = Named<QLineEdit>(group, "Ep", "4");
    Enp = Named<QLineEdit>(group, "Enp", "1");
    form->addRow("Analysis Period", Ep);
    form->addRow("# analysis periods", Enp);
    LAT = Named<QLabel>(group, "LAT", "___");
    form->addRow(LAT);
    form->addRow(new QLabel("Levels normalized to sine wave with max. amplitude", group));
    Lrms = Named<QLabel>(group, "Lrms", "Lrms");
    Ldet = Named<QLabel>(group, "Ldet", "Ldet");
    form->addRow(Lrms);
    form->addRow(Ldet);
    layout->addWidget(group);
    layout->addStretch(1);
    for (QLineEdit* edit : {Ep, Enp}) {
        connect(edit, &QLineEdit::textChanged, this, [this] { EpChange(); });
        edit->installEventFilter(this);
    }
}

void TDetectorTab::EpChange() {
    if (const auto text = DetectorTestText(State_.SampleRate, Ep->text().toStdString(),
                                           Enp->text().toStdString()))
        LAT->setText(QString::fromStdString(*text));
}

bool TDetectorTab::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == Ep || watched == Enp) && event->type() == QEvent::MouseButtonRelease)
        EpChange();
    return QObject::eventFilter(watched, event);
}
