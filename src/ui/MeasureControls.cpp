// SPDX-License-Identifier: GPL-3.0-or-later
// Spectrum estimation, meters, calibration and sine-output controls, and the per-block hand-over
// from the engine to the pipeline and back to the labels.
#include "ui/TForm1.h"

#include "core/Calibration.h"
#include "core/LevelMeters.h"
#include "core/NumberText.h"
#include "core/SineOutput.h"
#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "ui/CheckedEdit.h"
#include "ui/DeviceCombo.h"
#include "ui/WidgetNaming.h"
#include "ui/scope/ScopeTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

std::string Text(const QLineEdit* edit) {
    return edit->text().toStdString();
}

} // namespace

void TForm1::BuildMeasureMenus() {
    auto* spectrum = menuBar()->addMenu("Spectrum");
    spectrum->setObjectName("Spectrum1");

    auto* windowType = spectrum->addMenu("Window Type");
    windowType->setObjectName("WindowType1");
    auto* windowGroup = new QActionGroup(this);
    const char* windowNames[] = {"WT0", "WT1", "WT2", "WT3", "WT4", "WT5"};
    const char* windowCaptions[] = {"Rect",    "Blackman", "Blackman²",
                                    "Hanning", "Hamming",  "Flat Top"};
    for (int k = 0; k < 6; ++k) {
        auto* item =
            NamedAction(windowType, windowNames[k], QString::fromUtf8(windowCaptions[k]), true);
        windowGroup->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, k] { Guarded([this, k] { WT0Click(k); }); });
        WT.push_back(item);
    }
    WT[static_cast<std::size_t>(State_.WindowKind)]->setChecked(true);

    auto* weighting = spectrum->addMenu("Spectral Weighting Function");
    weighting->setObjectName("Weighting1");
    auto* weightingGroup = new QActionGroup(this);
    flat = NamedAction(weighting, "flat", "flat", true);
    pso = NamedAction(weighting, "pso", "psophometric", true);
    Cmes = NamedAction(weighting, "Cmes", "C-message", true);
    for (auto* item : {flat, pso, Cmes})
        weightingGroup->addAction(item);
    flat->setChecked(true);
    connect(flat, &QAction::triggered, this, [this] { flatClick(); });
    connect(pso, &QAction::triggered, this, [this] { psoClick(); });
    connect(Cmes, &QAction::triggered, this, [this] { CmesClick(); });

    auto* display = spectrum->addMenu("Display");
    display->setObjectName("Display2");
    auto* memTrace = display->addMenu("Mem Trace");
    memTrace->setObjectName("MemTrace1");
    const char* memNames[] = {"DispMem1", "DispMem2", "DispMem3", "DispMem4"};
    for (int k = 0; k < 4; ++k)
        DispMem.push_back(NamedAction(memTrace, memNames[k], QString::number(k + 1), true));
    DispMem[0]->setChecked(true);

    // Keys of the smoothing modes and of the reset ("Reset" of the graph's pop-up menu); they act
    // wherever the focus is in the window, except that "r" still types into an edit.
    for (const int key :
         {int(Qt::Key_R), int(Qt::Key_F8), int(Qt::Key_F9), int(Qt::Key_F11), int(Qt::Key_F12)}) {
        auto* action = new QAction(this);
        action->setShortcut(QKeySequence(key));
        connect(action, &QAction::triggered, this, [this, key] { FormKeyDown(key); });
        addAction(action);
    }

    auto* meters = menuBar()->addMenu("Meters");
    meters->setObjectName("Display1");
    SNL = NamedAction(meters, "SNL", "S+N", true);
    SL = NamedAction(meters, "SL", "S", true);
    SNL->setChecked(true);
    SL->setChecked(true);
    connect(SNL, &QAction::triggered, this, [this] {
        SNL->setChecked(!SNL->isChecked()); // SNLClick inverts the mark itself
        SNLClick();
    });
    connect(SL, &QAction::triggered, this, [this] {
        SL->setChecked(!SL->isChecked());
        SLClick();
    });
    auto* special = meters->addMenu("Special");
    special->setObjectName("SpecialLabel1");
    DP = NamedAction(special, "DP", "Peak Frequency", true);
    DS = NamedAction(special, "DS", "Spectral Density", true);
    DC = NamedAction(special, "DC", "Custom", true);
    DOff = NamedAction(special, "DOff", "Off", true);
    DP->setChecked(true);
    connect(DP, &QAction::triggered, this, [this] { DPClick(); });
    connect(DS, &QAction::triggered, this, [this] { DSClick(); });
    connect(DC, &QAction::triggered, this, [this] { DCClick(); });
    connect(DOff, &QAction::triggered, this, [this] { DOffClick(); });
}

QWidget* TForm1::BuildCalibrationGroup(QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);

    auto* display = Named<QGroupBox>(box, "GroupBox5", "Display");
    auto* displayForm = new QFormLayout(display);
    CUnits = Named<QComboBox>(display, "CUnits");
    CUnits->addItems({"display dB", "display sine eq. Vpp", "display Veff"});
    CUnits->setCurrentIndex(1);
    displayForm->addRow("Units", CUnits);
    CDigits = Named<QComboBox>(display, "CDigits");
    CDigits->addItems({"2", "3", "4", "5", "6", "7"});
    CDigits->setCurrentIndex(State_.MeterDigits - 2);
    displayForm->addRow("Digits", CDigits);
    row->addWidget(display);

    auto* cal = Named<QGroupBox>(box, "GroupBox6", "Level Calibration");
    auto* grid = new QGridLayout(cal);
    ECalDB = Named<QLineEdit>(cal, "ECalDB", "0");
    grid->addWidget(ECalDB, 0, 0);
    grid->addWidget(new QLabel("dBm into 50 Ohms", cal), 0, 1, 1, 2);
    ECalV = Named<QLineEdit>(cal, "ECalV", "0");
    grid->addWidget(ECalV, 1, 0);
    CCalUnit = Named<QComboBox>(cal, "CCalUnit");
    CCalUnit->addItems({"V", "mV", "uV"});
    grid->addWidget(CCalUnit, 1, 1);
    grid->addWidget(new QLabel("Peak-Peak", cal), 1, 2);
    Label23 = Named<QLabel>(cal, "Label23", "");
    grid->addWidget(Label23, 2, 0, 1, 3);
    Button1 = Named<QPushButton>(cal, "Button1", "Calibrate Level");
    BReset = Named<QPushButton>(cal, "BReset", "Reset Level Cal");
    BReset->setEnabled(false);
    BUndoCal = Named<QPushButton>(cal, "BUndoCal", "Undo Calibration");
    BUndoCal->setEnabled(false);
    grid->addWidget(Button1, 3, 0);
    grid->addWidget(BReset, 3, 1, 1, 2);
    grid->addWidget(BUndoCal, 4, 0, 1, 3);
    row->addWidget(cal, 1);
    return box;
}

void TForm1::BuildSmoothingPage() {
    TabSmoothing = NamedPage("TabSmoothing");
    auto* form = new QFormLayout(TabSmoothing);
    ETime = Named<QLineEdit>(TabSmoothing, "ETime", "0.5");
    form->addRow("Meter Time Constant (s)", ETime);
    CTC = Named<QComboBox>(TabSmoothing, "CTC");
    CTC->addItems({"= Meter Time Constant", "= Custom Time Constants", "PEAK HOLD"});
    form->addRow("Spectrum Time Constant", CTC);
    auto* custom = Named<QGroupBox>(TabSmoothing, "GroupBox7", "Custom Time Constants (s)");
    auto* grid = new QGridLayout(custom);
    const char* names[] = {"ET1", "ET2", "ET3", "ET4", "ET5", "ET6"};
    const char* at[] = {"0 Hz", "10 Hz", "100 Hz", "1 kHz", "10 kHz", "100 kHz"};
    for (int k = 0; k < 6; ++k) {
        auto* edit = Named<QLineEdit>(
            custom, names[k],
            QString::fromStdString(State_.Controls.ET[static_cast<std::size_t>(k)]));
        grid->addWidget(new QLabel(at[k], custom), 0, k);
        grid->addWidget(edit, 1, k);
        ETs.push_back(edit);
    }
    form->addRow(custom);
    CRed = Named<QComboBox>(TabSmoothing, "CRed");
    CRed->addItems({"No Reduction", "Smooth Voltage to", "Smooth Power to"});
    EAv = Named<QLineEdit>(TabSmoothing, "EAv", "1000");
    ::EAvChange(State_, Text(EAv)); // the reduction shown is the one in force
    form->addRow("Data Reduction / Smoothing", CRed);
    form->addRow("points", EAv);
    form->addRow(new QLabel("r       =  reset spectrum smoothing or peak hold\n"
                            "F8      =  peak hold\n"
                            "F9      =  toggle normal/screenshot size\n"
                            "F11     =  meter time constant\n"
                            "F12     =  custom time constants",
                            TabSmoothing));
}

void TForm1::BuildGeneratorControls() {
    auto* form = new QFormLayout(GroupBox13);
    auto* output = Named<TDeviceCombo>(GroupBox13, "ComboOutDevice");
    output->BeforePopup = [this] { Guarded([this] { RefreshDeviceLists(false); }); };
    ComboOutDevice = output;
    form->addRow("Output", ComboOutDevice);
    LSO = Named<QLabel>(GroupBox13, "LSO", "");
    form->addRow("", LSO);
    CheckOut = Named<QCheckBox>(GroupBox13, "CheckOut", "Coherent Sinewave Output enabled");
    form->addRow("", CheckOut);
    COutChan = Named<QComboBox>(GroupBox13, "COutChan");
    COutChan->addItems({"+L/+R", "+L/-R", "L only", "R only"});
    form->addRow("Channels", COutChan);
    TrackF = Named<QSlider>(GroupBox13, "TrackF", Qt::Horizontal);
    TrackF->setRange(2, 14);
    TrackF->setValue(2);
    form->addRow("Period", TrackF);
    LFreq = Named<QLabel>(GroupBox13, "LFreq", "");
    form->addRow("", LFreq);
}

void TForm1::ConnectMeasureControls() {
    connect(ETime, &QLineEdit::textEdited, this, [this] { ETimeChange(); });
    connect(EAv, &QLineEdit::textEdited, this, [this] { EAvApply(); }); // checked when left
    // Every exit of these edits checks them: a beep and the focus kept while they hold no number.
    const auto beep = [this] { Beep(); };
    const auto open = [this] { return !Closing_; };
    CheckOnExit(
        ETime, [this] { return ETimeExit(); }, beep, open);
    CheckOnExit(
        EAv, [this] { return EAvApply(); }, beep, open);
    CheckOnExit(
        ECalDB, [this] { return ApplyCalEdit(::ECalDBChange(State_, Text(ECalDB)), ECalDB); }, beep,
        open);
    CheckOnExit(
        ECalV,
        [this] {
            return ApplyCalEdit(::ECalVChange(State_, Text(ECalV), CCalUnit->currentIndex()),
                                ECalV);
        },
        beep, open);
    connect(CTC, &QComboBox::currentIndexChanged, this,
            [this](int index) { State_.Controls.CTC = index; });
    for (std::size_t k = 0; k < ETs.size(); ++k)
        connect(ETs[k], &QLineEdit::textChanged, this,
                [this, k](const QString& text) { State_.Controls.ET[k] = text.toStdString(); });
    connect(CRed, &QComboBox::currentIndexChanged, this,
            [this](int index) { State_.Controls.CRed = index; });
    connect(CUnits, &QComboBox::currentIndexChanged, this, [this] { CUnitsChange(); });
    connect(CDigits, &QComboBox::currentIndexChanged, this, [this] { CDigitsChange(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(BReset, &QPushButton::clicked, this, [this] { BResetClick(); });
    connect(BUndoCal, &QPushButton::clicked, this, [this] { BUndoCalClick(); });
    connect(ECalDB, &QLineEdit::textEdited, this, [this] { ECalDBChange(); });
    connect(ECalV, &QLineEdit::textEdited, this, [this] { ECalVChange(); });
    connect(CCalUnit, &QComboBox::currentIndexChanged, this, [this] { CCalUnitChange(); });
    connect(ComboChannel, &QComboBox::currentIndexChanged, this, [this] { ComboChannelChange(); });
    connect(CheckOut, &QCheckBox::toggled, this, [this] { CheckOutClick(); });
    connect(COutChan, &QComboBox::currentIndexChanged, this, [this] { COutChanChange(); });
    connect(TrackF, &QSlider::valueChanged, this, [this] { TrackFChange(); });
}

void TForm1::WT0Click(int itemIndex) {
    for (std::size_t k = 0; k < WT.size(); ++k)
        WT[k]->setChecked(static_cast<int>(k) == itemIndex);
    ::WT0Click(State_, FFT_.get(), itemIndex);
}

void TForm1::ETimeChange() {
    try {
        ::ETimeChange(State_, Text(ETime), DSP_->SamplesPerSecond());
    } catch (const EConvertError&) {
        // Half-typed numbers are normal while editing; leaving the field checks it.
    }
}

bool TForm1::ETimeExit() {
    try {
        ::ETimeChange(State_, Text(ETime), DSP_->SamplesPerSecond());
        return true;
    } catch (const EConvertError&) {
        return false; // the exit check beeps and keeps the focus
    }
}

bool TForm1::EAvApply() {
    try {
        ::EAvChange(State_, Text(EAv));
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

void TForm1::EAvChange() {
    if (!EAvApply()) {
        Beep();
        EAv->setFocus();
    }
}

void TForm1::MeasureSetupChanged() {
    // The window's gain, lobe width and peak fit, the meter time constant and the tone's
    // frequency all depend on N and the rate.
    if (!FFT_ || !DSP_ || !ETime || !TrackF || !LFreq)
        return; // still being built
    Guarded([this] { EnsureWindowCalibrated(State_, *FFT_); });
    ETimeChange();
    TrackFChange();
}

void TForm1::flatClick() {
    State_.Weighting = 0;
    flat->setChecked(true);
}

void TForm1::psoClick() {
    State_.Weighting = 1;
    pso->setChecked(true);
}

void TForm1::CmesClick() {
    State_.Weighting = 2;
    Cmes->setChecked(true);
}

void TForm1::FormKeyDown(int key) {
    switch (key) {
    case Qt::Key_R:
        State_.ResetSmoothing = true;
        break;
    case Qt::Key_F8:
        CTC->setCurrentIndex(2);
        break;
    case Qt::Key_F9:
        Screenshots_->ToggleScreenshotSize();
        break;
    case Qt::Key_F11:
        CTC->setCurrentIndex(0);
        break;
    case Qt::Key_F12:
        CTC->setCurrentIndex(1);
        break;
    default:
        break;
    }
}

void TForm1::CUnitsChange() {
    State_.Controls.CUnits = CUnits->currentIndex();
}

void TForm1::CDigitsChange() {
    State_.MeterDigits = CDigits->currentIndex() + 2;
}

void TForm1::SNLClick() {
    SNL->setChecked(!SNL->isChecked());
    LSN->setVisible(SNL->isChecked());
    FormResize();
}

void TForm1::SLClick() {
    SL->setChecked(!SL->isChecked());
    LS->setVisible(SL->isChecked());
    FormResize();
}

void TForm1::SpecialMeterSelect(int meter) {
    const int shown = SpecialMeterClick(State_, meter);
    DP->setChecked(shown == 0);
    DS->setChecked(shown == 1);
    DC->setChecked(shown == 2);
    DOff->setChecked(shown == 3);
    LSp->setVisible(shown != 3);
    if (shown != 3)
        LSp->setPalette(shown == 0 ? LS->palette() : LSN->palette());
    FormResize();
}

void TForm1::DPClick() {
    SpecialMeterSelect(0);
}
void TForm1::DSClick() {
    SpecialMeterSelect(1);
}
void TForm1::DCClick() {
    SpecialMeterSelect(2);
}
void TForm1::DOffClick() {
    SpecialMeterSelect(3);
}

void TForm1::Button1Click() {
    ::Button1Click(State_);
    BReset->setEnabled(State_.Calibrated);
    BUndoCal->setEnabled(State_.PreviousCal.has_value());
}

void TForm1::BResetClick() {
    ::BResetClick(State_);
    BReset->setEnabled(State_.Calibrated);
    BUndoCal->setEnabled(State_.PreviousCal.has_value());
}

void TForm1::BUndoCalClick() {
    ::BUndoCalClick(State_);
    BReset->setEnabled(State_.Calibrated);
    BUndoCal->setEnabled(State_.PreviousCal.has_value());
}

void TForm1::ApplyCalResult(const TCalEditResult& result, QLineEdit* edited) {
    if (!ApplyCalEdit(result, edited)) {
        Beep();
        edited->setFocus();
    }
}

bool TForm1::ApplyCalEdit(const TCalEditResult& result, QLineEdit* /*edited*/) {
    if (result.Outcome == TCalEditResult::Invalid)
        return false;
    if (result.Outcome != TCalEditResult::Applied)
        return true;
    const TCalGuardScope guard(State_); // our own writes below must not re-enter the handlers
    if (result.CCalUnit >= 0)
        CCalUnit->setCurrentIndex(result.CCalUnit);
    if (!result.ECalV.empty())
        ECalV->setText(QString::fromStdString(result.ECalV));
    if (!result.ECalDB.empty())
        ECalDB->setText(QString::fromStdString(result.ECalDB));
    Label23->setText(QString::fromStdString(result.Label23));
    return true;
}

void TForm1::ECalDBChange() {
    ApplyCalResult(::ECalDBChange(State_, Text(ECalDB)), ECalDB);
}

void TForm1::ECalVChange() {
    ApplyCalResult(::ECalVChange(State_, Text(ECalV), CCalUnit->currentIndex()), ECalV);
}

void TForm1::CCalUnitChange() {
    ApplyCalResult(::CCalUnitChange(State_, Text(ECalV), CCalUnit->currentIndex()), ECalV);
}

void TForm1::ComboChannelChange() {
    State_.Controls.ComboChannel = ComboChannel->currentIndex();
}

void TForm1::CheckOutClick() {
    // Takes effect at the next start, when the stream's directions are set.
    if (!Sampling())
        State_.Generator.CheckOut = CheckOut->isChecked();
}

void TForm1::COutChanChange() {
    State_.Generator.COutChan = COutChan->currentIndex();
}

void TForm1::TrackFChange() {
    LFreq->setText(QString::fromStdString(
        ::TrackFChange(State_.Generator, TrackF->value(), State_.SampleRate)));
}

void TForm1::ComboOutDeviceChange() {
    if (ComboOutDevice->count() == 0)
        return;
    State_.OutDeviceIndex = ComboOutDevice->currentIndex();
    State_.SelectedOutDeviceName = ComboOutDevice->currentText().toStdString();
    LSO->setText(ComboOutDevice->currentText() + " selected.");
}

void TForm1::AStreamData(void* sender, TDataBufferI& int32Buffer, TDataBufferF& inBuffer,
                         TDataBufferF& outBuffer) {
    ++BlocksReceived_;
    Pipeline_->AStreamData(sender, int32Buffer, inBuffer, outBuffer);
    ShowPipelineTexts();
    const TStreamHealth health = SourceHealth();
    if (health.Gaps() != ShownGaps_ ||
        State_.InvalidBlocks != ShownInvalidBlocks_)
        ShowStreamHealth();
}

void TForm1::ShowPipelineTexts() {
    // The readings are taken per block (MeasurementState); what shows them follows at most once
    // a frame, from the latest block (ShowFrame).
    if (State_.Texts.LayoutRequested) {
        State_.Texts.LayoutRequested = false;
        FormResize();
    }
    FramePacer_.Request();
    if (State_.StreamErrors.Unreported) {
        // One message per run of failing blocks; how often it repeated is kept in the list.
        State_.StreamErrors.Unreported = false;
        ListBox1->addItem(QString::fromStdString(State_.StreamErrors.FirstError));
        ShowMessage(QString::fromStdString(State_.StreamErrors.FirstError));
    }
}

void TForm1::FlushFrame() {
    FramePacer_.Flush();
    SpectrumTab_->CatchUp();
    ScopeTab_->CatchUp();
}

void TForm1::ShowFrame() {
    // The Spectrum and Scope tabs copy their own meter texts in EngineBlockDone below.
    const TPipelineTexts& texts = State_.Texts;
    const auto show = [](QLabel* label, const std::string& text) {
        const QString value = QString::fromStdString(text);
        if (label->text() != value)
            label->setText(value);
    };
    show(LSN_M, texts.LSN_M);
    show(LCus, texts.LCus);
    if (!texts.Label23.empty()) // the calibration edits write it directly until a block does
        show(Label23, texts.Label23);
    const int progress = std::clamp(texts.ProgressBar1, 0, ProgressBar1->maximum());
    if (ProgressBar1->value() != progress)
        ProgressBar1->setValue(progress);
    if (texts.RepaintRequests != ShownRepaints_) {
        ShownRepaints_ = texts.RepaintRequests;
        SpectrumTab_->EngineBlockDone();
        ScopeTab_->EngineBlockDone();
        PaintPeak->update();
    }
}

void TForm1::ShowStreamHealth() {
    // The gap and error lines stay at the end of ListBox1 and are replaced as they change.
    const TStreamHealth health = SourceHealth();
    for (; HealthLines_ > 0 && ListBox1->count() > 0; --HealthLines_)
        delete ListBox1->takeItem(ListBox1->count() - 1);
    HealthLines_ = 0;
    auto lines = FormatStreamHealth(health);
    if (State_.InvalidBlocks > 0)
        lines.push_back(InvalidBlocksLine(State_.InvalidBlocks));
    for (const auto& line : lines) {
        ListBox1->addItem(QString::fromStdString(line));
        ++HealthLines_;
    }
    ShownGaps_ = health.Gaps();
    ShownInvalidBlocks_ = State_.InvalidBlocks;
}
