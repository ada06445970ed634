// SPDX-License-Identifier: GPL-3.0-or-later
// The custom label and custom trace: their settings page, compiling on leave or Enter, the label
// text for the meters and the trace drawn over the spectrum.
#include "ui/TForm1.h"

#include "core/CustomExpressions.h"
#include "ui/ShownText.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewMapping.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <cmath>

void TForm1::BuildCustomPage() {
    auto* layout = new QVBoxLayout(TabCustom);
    auto* trace = Named<QGroupBox>(TabCustom, "GroupBox8", "Custom Trace");
    auto* traceForm = new QFormLayout(trace);
    ECT = Named<QLineEdit>(trace, "ECT", "1/f");
    traceForm->addRow("Expression to be plotted", ECT);
    layout->addWidget(trace);

    auto* label = Named<QGroupBox>(TabCustom, "GroupBox9", "Custom Label");
    auto* labelForm = new QFormLayout(label);
    ECL = Named<QLineEdit>(label, "ECL", "sn/sqrt(f_u-f_l)");
    labelForm->addRow("Expression to be evaluated", ECL);
    EUnit = Named<QLineEdit>(label, "EUnit", "Veff");
    labelForm->addRow("Unit", EUnit);
    CDigs = Named<QComboBox>(label, "CDigs");
    CDigs->addItems({"2", "3", "4", "5", "6", "7"});
    CDigs->setCurrentIndex(1);
    labelForm->addRow("Digits", CDigs);
    EID = Named<QLineEdit>(label, "EID", "ID=");
    labelForm->addRow("Identifier", EID);
    CCS = Named<QCheckBox>(label, "CCS", "Display in Scope");
    labelForm->addRow("", CCS);
    LCus = Named<QLabel>(label, "LCus", "Example");
    labelForm->addRow("", LCus);
    layout->addWidget(label);

    auto* panel = Named<QFrame>(TabCustom, "Panel2");
    panel->setFrameShape(QFrame::StyledPanel);
    auto* panelLayout = new QVBoxLayout(panel);
    LErr1 = Named<QLabel>(panel, "LErr1", "");
    LErr2 = Named<QLabel>(panel, "LErr2", "");
    panelLayout->addWidget(LErr1);
    panelLayout->addWidget(LErr2);
    layout->addWidget(panel);
    layout->addStretch(1);

    if (auto* display = findChild<QMenu*>("Display2")) {
        CCus = NamedAction(display, "CCus", "Custom Trace", true);
        connect(CCus, &QAction::triggered, this, [this] {
            CCus->setChecked(!CCus->isChecked()); // CCus_Click toggles it itself
            CCus_Click();
        });
    }
    connect(C, &QCheckBox::clicked, this, [this] {
        if (!CustomSwitchGuard_)
            CCus_Click();
    });
    connect(CCS, &QCheckBox::toggled, this, [this] { CCSClick(); });
    ECT->installEventFilter(this);
    ECL->installEventFilter(this);
}

void TForm1::CreateCustomParser() {
    if (!Custom_)
        Custom_ = std::make_unique<TCustomExpressions>();
}

void TForm1::CompileCustomExpressions() {
    // At start-up errors are not shown: the slot simply stays not compiled.
    Custom_->Compile(TCustomExpressions::LabelSlot, ECL->text().toStdString());
    Custom_->Compile(TCustomExpressions::TraceSlot, ECT->text().toStdString());
}

bool TForm1::ECLExit(QObject* sender) {
    LErr1->setText("");
    LErr2->setText("");
    QLineEdit* edit = nullptr;
    int slot = 0;
    if (sender == ECL) {
        edit = ECL;
        slot = TCustomExpressions::LabelSlot;
    } else if (sender == ECT) {
        edit = ECT;
        slot = TCustomExpressions::TraceSlot;
    } else {
        return true;
    }
    const TCustomCompileResult result = Custom_->Compile(slot, edit->text().toStdString());
    TraceErrorShown_ = false;
    if (result.Ok) {
        LErr2->setText("no Errors");
        const QString text = ShownText(CustomLabelText());
        ScopeTab_->LCS->setText(text);
        if (slot == TCustomExpressions::LabelSlot)
            LCus->setText(text);
        if (slot == TCustomExpressions::TraceSlot)
            RepaintSpectrum();
        return true;
    }
    LErr1->setText(ShownText(result.ErrorPrefix));
    LErr2->setText(ShownText(result.ErrorMessage));
    edit->setFocus();
    return false;
}

std::string TForm1::CustomLabelText() {
    return Custom_->LabelText(State_, EID->text().toStdString(), EUnit->text().toStdString(),
                              CDigs->currentIndex() + 2);
}

void TForm1::CCus_Click() {
    CCus->setChecked(!CCus->isChecked());
    CustomSwitchGuard_ = true; // C mirrors the menu item without running its own handler
    C->setChecked(CCus->isChecked());
    CustomSwitchGuard_ = false;
    TraceErrorShown_ = false;
    RepaintSpectrum();
}

void TForm1::CCSClick() {
    ScopeTab_->LCS->setVisible(CCS->isChecked());
    FormResize();
}

void TForm1::RepaintSpectrum() {
    SpectrumTab_->Invalidate();
}

void TForm1::DrawCus(QPainter& painter, const TSpectrumAxis& axis) {
    if (!CCus->isChecked() || !Custom_->BeginTrace(State_)) {
        ShowTraceError({});
        return;
    }
    painter.setPen(PenOf(ViewSettings_.CusTraceColor, ViewSettings_.TraceWidth, palette()));
    bool penDown = false;
    QPointF last;
    for (int x = 0; x < axis.Width; ++x) {
        double value = 0.0;
        try {
            value = Custom_->TraceValue(State_, XToFrequency(axis, x));
        } catch (const std::exception& e) {
            // A trace that cannot be evaluated would fail on every repaint: stop drawing it for
            // this repaint and say why on the graph itself, apart from the label's errors.
            ShowTraceError(QString("Custom trace ") + ECT->text() + ": " + e.what());
            return;
        }
        const double y = DbToY(axis, AmplitudeToDb(axis, value, false));
        const QPointF point(x, std::round(std::clamp(y, -1e6, 1e6)));
        if (!penDown) {
            penDown = true;
        } else if (y >= 0) {
            painter.drawLine(last, point);
        } else {
            penDown = false; // above the top of the graph: lift the pen
            continue;
        }
        last = point;
    }
    ShowTraceError({});
}

void TForm1::ShowTraceError(const QString& text) {
    TraceErrorShown_ = !text.isEmpty();
    if (!LCusErr) {
        if (text.isEmpty())
            return;
        LCusErr = Named<QLabel>(PaintBox2, "LCusErr", "");
        LCusErr->setAutoFillBackground(true);
        LCusErr->move(4, 4);
    }
    if (LCusErr->text() != text) {
        LCusErr->setText(text);
        LCusErr->adjustSize();
    }
    if (LCusErr->isVisible() != TraceErrorShown_)
        LCusErr->setVisible(TraceErrorShown_);
}
