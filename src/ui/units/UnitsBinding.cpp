// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the units panel: where it sits, its hooks and its trace on the spectrum.
#include "ui/TForm1.h"

#include "ui/spectrum/SpectrumTab.h"
#include "ui/units/UnitsPanel.h"

#include <QAction>
#include <QActionGroup>
#include <QFileDialog>
#include <QGroupBox>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>

void TForm1::BuildUnits() {
    TUnitsPanelHooks hooks;
    hooks.Beep = [this] { Beep(); };
    hooks.ShowMessage = [this](const QString& text) { ShowMessage(text); };
    hooks.Repaint = [this] { SpectrumTab().Invalidate(); };
    hooks.ChooseFile = [this](const QString& current) {
        return QFileDialog::getOpenFileName(this, "Correction Curve", current,
                                            "Correction curves (*.frd *.txt *.csv);;All files (*)");
    };
    auto* weighting = menuBar()->findChild<QMenu*>("Weighting1");
    Units_ = std::make_unique<TUnitsPanel>(TabMeasure, State_, CUnits, weighting,
                                           flat->actionGroup(), std::move(hooks));
    TabMeasure->layout()->addWidget(Units_->Box());
    SpectrumTab().Hooks().ExtraTraces.push_back(
        [this](QPainter& painter, const TSpectrumAxis& axis) {
            Units_->DrawCorrection(painter, axis);
        });
}
