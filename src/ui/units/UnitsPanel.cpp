// SPDX-License-Identifier: GPL-3.0-or-later
// SPL calibration, correction-curve and A/C/Z weighting controls bound to the measurement state.
#include "ui/units/UnitsPanel.h"

#include "core/LevelUnits.h"
#include "core/MeasurementState.h"
#include "core/NumberText.h"
#include "files/AtomicFile.h"
#include "files/SettingsFile.h"
#include "ui/CheckedEdit.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewMapping.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

#include <cmath>

namespace {

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

void Run(const std::function<void()>& f) {
    if (f)
        f();
}

} // namespace

TUnitsPanel::TUnitsPanel(QWidget* parent, MeasurementState& state, QComboBox* units,
                         QMenu* weighting, QActionGroup* weightingGroup, TUnitsPanelHooks hooks)
    : State_(state), Hooks_(std::move(hooks)) {
    units->addItems(
        {"display dBFS", "display dBu", "display dBV", "display V rms", "display dB SPL"});
    WeightA = NamedAction(weighting, "WeightA", "A", true);
    WeightC = NamedAction(weighting, "WeightC", "C", true);
    WeightZ = NamedAction(weighting, "WeightZ", "Z", true);
    int kind = 3;
    for (QAction* item : {WeightA, WeightC, WeightZ}) {
        weightingGroup->addAction(item);
        connect(item, &QAction::triggered, this, [this, kind] { WeightClick(kind); });
        ++kind;
    }

    Box_ = Named<QGroupBox>(parent, "GroupSpl", "SPL and Correction Curves");
    auto* grid = new QGridLayout(Box_);
    ESplCal = Named<QLineEdit>(Box_, "ESplCal", FormatGeneral(State_.SplCalibratorDb).c_str());
    BSplCal = Named<QPushButton>(Box_, "BSplCal", "Calibrate SPL");
    grid->addWidget(new QLabel("Calibrator", Box_), 0, 0);
    grid->addWidget(ESplCal, 0, 1);
    grid->addWidget(new QLabel("dB SPL", Box_), 0, 2);
    grid->addWidget(BSplCal, 0, 3);
    ESplSens = Named<QLineEdit>(Box_, "ESplSens", "");
    LSplMvPa = Named<QLabel>(Box_, "LSplMvPa", "");
    grid->addWidget(new QLabel("Full scale", Box_), 1, 0);
    grid->addWidget(ESplSens, 1, 1);
    grid->addWidget(new QLabel("dB SPL", Box_), 1, 2);
    grid->addWidget(LSplMvPa, 1, 3);
    EMicCorr = Named<QLineEdit>(Box_, "EMicCorr", "");
    BMicCorr = Named<QPushButton>(Box_, "BMicCorr", "...");
    EIfaceCorr = Named<QLineEdit>(Box_, "EIfaceCorr", "");
    BIfaceCorr = Named<QPushButton>(Box_, "BIfaceCorr", "...");
    grid->addWidget(new QLabel("Microphone", Box_), 2, 0);
    grid->addWidget(EMicCorr, 2, 1, 1, 2);
    grid->addWidget(BMicCorr, 2, 3);
    grid->addWidget(new QLabel("Interface", Box_), 3, 0);
    grid->addWidget(EIfaceCorr, 3, 1, 1, 2);
    grid->addWidget(BIfaceCorr, 3, 3);
    CCorrTrace = Named<QCheckBox>(Box_, "CCorrTrace", "Show Correction Curve");
    grid->addWidget(CCorrTrace, 4, 0, 1, 4);

    const auto beep = [this] { Run(Hooks_.Beep); };
    const auto alive = [alive = Alive_] { return *alive; };
    CheckOnExit(
        ESplCal, [this] { return ESplCalExit(); }, beep, alive);
    CheckOnExit(
        ESplSens, [this] { return ESplSensExit(); }, beep, alive);
    connect(BSplCal, &QPushButton::clicked, this, [this] { BSplCalClick(); });
    connect(EMicCorr, &QLineEdit::editingFinished, this, [this] { ApplyCorrection(true); });
    connect(EIfaceCorr, &QLineEdit::editingFinished, this, [this] { ApplyCorrection(false); });
    for (const bool microphone : {true, false}) {
        QPushButton* button = microphone ? BMicCorr : BIfaceCorr;
        QLineEdit* edit = microphone ? EMicCorr : EIfaceCorr;
        connect(button, &QPushButton::clicked, this, [this, edit, microphone] {
            if (!Hooks_.ChooseFile)
                return;
            const QString path = Hooks_.ChooseFile(edit->text());
            if (path.isEmpty())
                return;
            edit->setText(path);
            ApplyCorrection(microphone);
        });
    }
    connect(CCorrTrace, &QCheckBox::toggled, this, [this] { Run(Hooks_.Repaint); });
    ShowSensitivity();
}

TUnitsPanel::~TUnitsPanel() {
    *Alive_ = false;
}

void TUnitsPanel::WeightClick(int weighting) {
    State_.Weighting = weighting;
    ShowWeighting();
    Run(Hooks_.Repaint);
}

void TUnitsPanel::ShowWeighting() {
    WeightA->setChecked(State_.Weighting == 3);
    WeightC->setChecked(State_.Weighting == 4);
    WeightZ->setChecked(State_.Weighting == 5);
}

void TUnitsPanel::ShowSensitivity() {
    ESplSens->setText(State_.SplSensitivityDb
                          ? QString::fromStdString(FormatFixed(*State_.SplSensitivityDb, 2))
                          : QString());
    LSplMvPa->setText(QString::fromStdString(SplSensitivityCaption(State_)));
}

void TUnitsPanel::BSplCalClick() {
    if (!ESplCalExit()) {
        Run(Hooks_.Beep);
        return;
    }
    const TSplCalibration result = CalibrateSpl(State_);
    if (!result.SensitivityDb) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(QString::fromStdString(result.Message));
        return;
    }
    ShowSensitivity();
    Run(Hooks_.Repaint);
}

bool TUnitsPanel::ESplCalExit() {
    const auto level = ParseNumber(Text(ESplCal));
    if (!level)
        return false;
    if (std::fabs(*level) > kSplSensitivityLimitDb) {
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage("The calibrator level must lie between -200 and 200 dB SPL.");
        ESplCal->setText(QString::fromStdString(FormatGeneral(State_.SplCalibratorDb)));
        return true;
    }
    State_.SplCalibratorDb = *level;
    return true;
}

bool TUnitsPanel::ESplSensExit() {
    double value = 0.0;
    switch (ParseSplSensitivity(Text(ESplSens), value)) {
    case TSplEntry::NotANumber:
        return false;
    case TSplEntry::OutOfRange:
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(kSplRangeMessage);
        break; // the value in force comes back
    case TSplEntry::Empty:
        State_.SplSensitivityDb.reset();
        break;
    case TSplEntry::Value:
        State_.SplSensitivityDb = value;
        break;
    }
    // The edit shows the value in force only when it differs (leaving "94" keeps "94").
    const auto shown = ParseNumber(Text(ESplSens));
    if (State_.SplSensitivityDb != shown)
        ShowSensitivity();
    LSplMvPa->setText(QString::fromStdString(SplSensitivityCaption(State_)));
    Run(Hooks_.Repaint);
    return true;
}

void TUnitsPanel::ApplyCorrection(bool microphone) {
    QLineEdit* edit = microphone ? EMicCorr : EIfaceCorr;
    TLevelCorrection& correction = State_.Correction;
    const std::string inForce = microphone ? correction.MicrophoneFile : correction.InterfaceFile;
    const std::string path = Text(edit);
    if (path == inForce &&
        (path.empty() || !(microphone ? correction.Microphone : correction.Interface).Empty()))
        return; // nothing new
    const std::string message = LoadCorrection(
        correction, microphone ? TCorrectionSlot::csMicrophone : TCorrectionSlot::csInterface,
        path);
    if (!message.empty()) {
        edit->setText(QString::fromStdString(inForce)); // the curve in force stays
        if (Hooks_.ShowMessage)
            Hooks_.ShowMessage(QString::fromStdString(message));
    }
    Run(Hooks_.Repaint);
}

void TUnitsPanel::DrawCorrection(QPainter& painter, const TSpectrumAxis& axis) const {
    if (!CCorrTrace->isChecked() || !State_.Correction.Active() || axis.Width <= 0)
        return;
    const double middle = axis.YTop - 5.0 * EffectiveBoxes(axis.Boxes);
    painter.save();
    painter.setPen(QPen(Qt::darkGreen, 1, Qt::DashLine));
    QPointF last;
    for (int x = 0; x <= axis.Width; ++x) {
        const double f = XToFrequency(axis, x);
        const QPointF point(x, DbToY(axis, middle + State_.Correction.DeviationDb(f)));
        if (x > 0)
            painter.drawLine(last, point);
        last = point;
    }
    painter.restore();
}

std::vector<TSettingsRow> TUnitsPanel::SettingsRows() {
    std::vector<TSettingsRow> rows;
    rows.push_back(
        {"SplSensitivity=", srBoth,
         [this] {
             return State_.SplSensitivityDb ? FormatSettingsReal(*State_.SplSensitivityDb)
                                            : std::string();
         },
         [this](TSettingsReader& reader) {
             const auto text = reader.FindText("SplSensitivity=");
             if (!text)
                 return;
             ESplSens->setText(QString::fromStdString(*text).trimmed());
             if (!ESplSensExit())
                 ShowSensitivity(); // not a number: the value in force stays
         },
         [this] { return FormatSettingsReal(State_.SplSensitivityDb.value_or(0.0) + 1.5); }});
    rows.push_back({"SplCalibrator=", srMain,
                    [this] { return FormatSettingsReal(State_.SplCalibratorDb); },
                    [this](TSettingsReader& reader) {
                        double v = 0.0;
                        if (reader.FindReal("SplCalibrator=", v) != TLookup::Found)
                            return;
                        ESplCal->setText(QString::fromStdString(FormatGeneral(v)));
                        ESplCalExit();
                    },
                    [this] { return FormatSettingsReal(State_.SplCalibratorDb + 20.0); }});
    for (const bool microphone : {true, false}) {
        const char* key = microphone ? "MicCorrection=" : "IfaceCorrection=";
        QLineEdit* edit = microphone ? EMicCorr : EIfaceCorr;
        rows.push_back({key, srBoth,
                        [this, microphone] {
                            return microphone ? State_.Correction.MicrophoneFile
                                              : State_.Correction.InterfaceFile;
                        },
                        [this, key, edit, microphone](TSettingsReader& reader) {
                            const auto text = reader.FindText(key);
                            if (!text)
                                return;
                            edit->setText(QString::fromStdString(*text).trimmed());
                            ApplyCorrection(microphone);
                        },
                        [microphone] {
                            // A curve that reads: a flat line of one point in the temporary folder.
                            const std::string path =
                                QDir(QDir::tempPath())
                                    .filePath(microphone ? "phonoscale-probe-mic.frd"
                                                         : "phonoscale-probe-iface.frd")
                                    .toStdString();
                            WriteFileAtomically(path, "1000 0\r\n");
                            return path;
                        }});
    }
    rows.push_back({"CorrTrace=", srMain, [this] { return CCorrTrace->isChecked() ? "1" : "0"; },
                    [this](TSettingsReader& reader) {
                        std::int32_t v = 0;
                        if (reader.FindInt("CorrTrace=", v) == TLookup::Found)
                            CCorrTrace->setChecked(v == 1);
                    },
                    [this] { return std::string(CCorrTrace->isChecked() ? "0" : "1"); }});
    return rows;
}
