// SPDX-License-Identifier: GPL-3.0-or-later
// Sampling control: start and stop, sample rate, resolution, sample length and the input band.
#include "ui/TForm1.h"

#include "audio/ExternalAdc.h"
#include "audio/WdmStru.h"

#include "ui/detector/DetectorTab.h"
#include "ui/peak/PeakTab.h"

#include "core/MeasurementState.h"
#include "core/SampleRates.h"
#include "core/ScopeSweep.h"
#include "ui/CheckedEdit.h"
#include "ui/spectrum/SpectrumTab.h"

#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "mixtrel/CodecLibrary.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <cmath>

namespace {

int RoundToInt(double value) { return static_cast<int>(std::nearbyint(value)); }

// The integer value of an edit's text, when it is a whole number.
std::optional<int> WholeNumber(const QLineEdit* edit) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace

void TForm1::ConnectSamplingControls() {
    connect(SpeedButton1, &QPushButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
    connect(Run, &QAction::triggered, this, [this] {
        Run->setChecked(!Run->isChecked()); // undo the menu's own toggle: RunClick inverts it
        Guarded([this] { RunClick(); });
    });
    connect(CFrame, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { CFrameChange(); }); });
    connect(CFrame, &QComboBox::activated, this, [this] {
        if (!CFrame->isEditable())
            return; // an unchanged item: nothing to do
        {
            const QSignalBlocker block(CFrame); // it showed an external run's rate
            CFrame->setEditable(false);
        }
        Guarded([this] { CFrameChange(); });
    });
    connect(CN4, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { CN4Change(); }); });
    connect(ComboRes, &QComboBox::currentIndexChanged, this, [this] { ComboResChange(); });
    connect(ComboSamples, &QComboBox::currentIndexChanged, this, [this] { Guarded([this] { ComboSamplesChange(); }); });
    connect(ComboAudioDevice, &QComboBox::currentIndexChanged, this, [this] { ComboAudioDeviceChange(); });
    connect(ComboOutDevice, &QComboBox::currentIndexChanged, this, [this] { ComboOutDeviceChange(); });
    connect(TrackL, &QSlider::valueChanged, this, [this] { Guarded([this] { TrackLChange(); }); });
    connect(TrackU, &QSlider::valueChanged, this, [this] { Guarded([this] { TrackUChange(); }); });
    connect(EditLF, &QLineEdit::textEdited, this, [this] { EditLFChange(); });
    connect(EditUF, &QLineEdit::textEdited, this, [this] { EditUFChange(); });
    // Enter and every exit move the slider to a whole number, or beep and keep the focus.
    for (auto [edit, track] : {std::pair{EditLF, TrackL}, std::pair{EditUF, TrackU}}) {
        CheckOnExit(
            edit,
            [edit, track] {
                const auto value = WholeNumber(edit);
                if (value)
                    track->setValue(*value);
                return value.has_value();
            },
            [this] { Beep(); }, [this] { return !Closing_; });
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ECT || watched == ECL) {
        // Enter in either expression, and leaving it, compile it.
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                ECLExit(watched);
                return true;
            }
        } else if (event->type() == QEvent::FocusOut && !Closing_) {
            ECLExit(watched);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::Sampling() const { return SpeedButton1->isChecked(); }

void TForm1::SetSamplingControlsEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{ComboAudioDevice, ComboSamples, ComboRes,
                                                            CRed, EAv, CFrame, CN4, CEngine})
        control->setEnabled(enabled);
    BLoad->setEnabled(enabled);
    BSave->setEnabled(enabled);
}

void TForm1::SpeedButton1Click() {
    DetectorTab_->EpChange();
    LPkPause->setVisible(false);
    const bool down = SpeedButton1->isChecked();
    Run->setChecked(down);
    Run->setText(down ? "Stop" : "Run");
    State_.Scope.ScopeRedraw = true;
    RestartSweep(State_.Scope);

    ListBox1->clear();
    HealthLines_ = 0;
    ShownGaps_ = 0;
    ShownInvalidBlocks_ = 0;
    ListBox1->addItem(QString("BufSize:=%1").arg(State_.BlockLength));
    ListBox1->addItem(QString("FFTOrder:=%1").arg(DSP_->FFT_Order()));
    ListBox1->addItem(QString("KernelLength:=%1").arg(DSP_->KernelLength()));
    ListBox1->addItem(QString("DSP Sampling Rate:=%1").arg(DSP_->SamplesPerSecond()));

    if (down)
        StartSampling();
    else
        StopSampling();
}

void TForm1::StartSampling() {
    State_.EngineBlock = 2048;
    ResetForStart(State_); // peak log, scope sweep, tone phase, error log
    State_.Generator.CheckOut = CheckOut->isChecked();
    try {
        DSP_->CreateFilter();
    } catch (const std::exception&) {
        SpeedButton1->setChecked(false);
        Run->setChecked(false);
        Run->setText("Run");
        throw std::runtime_error("Error setting up FIR filter!");
    }
    EPkN->setEnabled(false);
    PeakTab_->SamplingStart(); // ring restarted, chart cleared, PeakThreshold from the setting

    // The device, the sample length, the resolution, the reduction and (unlike the controls'
    // original behaviour) the sample rate stay fixed while sampling: a rate change would leave
    // the band filter undesigned for every following block.
    SetSamplingControlsEnabled(false);
    SpeedButton1->setText("Stop Sampling");

    const int n = State_.BlockLength;
    AStream_->InputDevice.SamplesPerBuf = std::max(n, State_.EngineBlock);
    AStream_->OutputDevice.SamplesPerBuf = AStream_->InputDevice.SamplesPerBuf;
    State_.SubBlocks = std::max(State_.EngineBlock / n, 1);
    for (TDeviceSettings* device : {&AStream_->InputDevice, &AStream_->OutputDevice}) {
        device->BitsPerSample = State_.SampleBits;
        device->SamplingRate = RoundToInt(State_.SampleRate);
    }
    // The 0 dB input level holds while sampling; StopSampling gives the previous level back.
    if (CN4->currentIndex() == 0 && CLevel->isEnabled() && CLevel->isChecked())
        AutoSetInputLevel();

    try {
        if (CN4->currentIndex() == 0) {
            // The low-latency engine's clients may have changed since the lists were filled.
            const std::string gone = RefreshDeviceLists(CheckOut->isChecked());
            if (!gone.empty())
                throw EWdmAudioError(12, gone);
        }
        // The engine's number of the device each list entry names (the low-latency engine's
        // table also holds devices of the other direction).
        AStream_->SelectInputEntry(State_.InDeviceIndex);
        AStream_->SelectOutputEntry(State_.OutDeviceIndex);
        AStream_->Directions = CheckOut->isChecked() ? ddBoth : ddCapture;
        if (CN4->currentIndex() != 0) {
            StartExternalSource();
        } else {
            AStream_->Start();
            WatchForStall(true);
        }
    } catch (...) {
        // The engine did not start: return to the stopped state so that the window does not
        // claim to sample, then let the error reach the user.
        SpeedButton1->setChecked(false);
        SpeedButton1Click();
        throw;
    }
    ShowReadingsStale(false);
}

void TForm1::StopSampling() {
    WatchForStall(false);
    if (Adc_->Running())
        StopExternalSource();
    else
        AStream_->Stop();
    RestoreInputLevel(*Codec_);      // the input level from before the automatic 0 dB, if untouched
    Pipeline_->FinishPendingBlock(); // a long block that came before the stop is still shown
    FramePacer_.Flush(); // the last block's readings (a hidden tab's when it is shown)
    ShowReadingsStale(true); // the meters keep their last reading until the next start
    ShowStreamHealth();
    SetSamplingControlsEnabled(true);
    SpeedButton1->setText("Start Sampling");
    EPkN->setEnabled(true);
}

void TForm1::RunClick() {
    Run->setChecked(!Run->isChecked());
    SpeedButton1->setChecked(Run->isChecked());
    SpeedButton1Click();
}

void TForm1::CFrameChange() {
    State_.SampleRate = SampleRateOfCaption(CFrame->currentText().toStdString());
    const int half = RoundToInt(State_.SampleRate / 2);
    TrackL->setMaximum(half);
    TrackU->setMaximum(half);
    DSP_->SetSamplesPerSecond(RoundToInt(State_.SampleRate));
    State_.LowerBin = RoundToInt(TrackL->value() / State_.SampleRate * State_.BlockLength);
    State_.UpperBin = RoundToInt(TrackU->value() / State_.SampleRate * State_.BlockLength);
    MeasureSetupChanged();
    FormResize();
}

void TForm1::ComboResChange() { State_.SampleBits = ComboRes->currentIndex() * 8 + 16; }

void TForm1::ComboSamplesChange() {
    if (ComboAudioDevice->count() == 0 || ComboSamples->currentIndex() < 0)
        return;
    const int index = ComboSamples->currentIndex();
    const int n = 1 << (index + 6);
    State_.BlockLength = n;
    State_.PeakBin = 0;
    FFT_->SetNumSamples(n);
    State_.FilterIn.assign(static_cast<std::size_t>(n), 0.0);
    State_.FilterOut.assign(static_cast<std::size_t>(n), 0.0);
    // The band filter is replaced before anything designs it at the new length: designing the
    // old one first would only be thrown away (and at the largest N each design holds some
    // 300 MB and takes a tenth of a second).
    RebuildFilter();

    ListBox1->clear();
    HealthLines_ = 0;
    ListBox1->addItem(QString("Audio Buffer Size = %1").arg(n));
    ListBox1->addItem(QString("FFT-Order = %1").arg(DSP_->FFT_Order()));
    ListBox1->addItem(QString("Kernel Length = %1").arg(DSP_->KernelLength()));

    TrackLChange();
    TrackUChange();
    MeasureSetupChanged();
    FormResize(); // N moves the low end of a logarithmic frequency axis
}

void TForm1::RebuildFilter() {
    // The old filter and its buffers go before the new one is sized, so that two filters of the
    // largest length are never alive together. Should the design fail, the new filter stays
    // undesigned and starting the sampling reports it.
    DSP_ = std::make_unique<TTBDSP>();
    Parts_.DSP = DSP_.get();
    DSP_->SetAmplification(1.0);
    DSP_->SetFilterType(BandPass);
    DSP_->SetSamplesPerSecond(RoundToInt(State_.SampleRate));
    DSP_->SetStartFrequency(TrackL->value());
    DSP_->SetStopFrequency(TrackU->value());
    DSP_->SetKernelLength(State_.BlockLength - 1);
    DSP_->SetFFT_Order(ComboSamples->currentIndex() + 7);
    DSP_->CreateFilter();
}

void TForm1::TrackLChange() {
    if (TrackU->value() < TrackL->value())
        TrackL->setValue(TrackU->value()); // re-enters through valueChanged; the rest is idempotent
    if (FilterDesignDeferred_)
        FilterDesignPending_ = true;
    else if (DSP_->StartFrequency() != TrackL->value() || !DSP_->FilterCreated())
        DSP_->SetStartFrequency(TrackL->value()); // an unchanged edge needs no new design
    Label6->setText("Input Cut-on Frequency = " +
                    QString::number(static_cast<double>(TrackL->value()), 'g', 15) + " Hz");
    EditLF->setText(QString::number(TrackL->value()));
    State_.LowerBin = RoundToInt(TrackL->value() / State_.SampleRate * State_.BlockLength);
    State_.Controls.TrackL = TrackL->value();
    SpectrumTab_->PlaceBandMarks(); // also writes LBW, L_L and L_U
}

void TForm1::TrackUChange() {
    if (TrackL->value() > TrackU->value())
        TrackU->setValue(TrackL->value());
    if (FilterDesignDeferred_)
        FilterDesignPending_ = true;
    else if (DSP_->StopFrequency() != TrackU->value() || !DSP_->FilterCreated())
        DSP_->SetStopFrequency(TrackU->value()); // an unchanged edge needs no new design
    Label1->setText("Input Cut-off Frequency = " +
                    QString::number(static_cast<double>(TrackU->value()), 'g', 15) + " Hz");
    EditUF->setText(QString::number(TrackU->value()));
    State_.UpperBin = RoundToInt(TrackU->value() / State_.SampleRate * State_.BlockLength);
    State_.Controls.TrackU = TrackU->value();
    SpectrumTab_->PlaceBandMarks();
}

bool TForm1::EditLFChange() {
    if (WholeNumber(EditLF))
        return true;
    Beep();
    if (!Closing_)
        EditLF->setFocus();
    return false;
}

bool TForm1::EditUFChange() {
    if (WholeNumber(EditUF))
        return true;
    Beep();
    if (!Closing_)
        EditUF->setFocus();
    return false;
}

void TForm1::EditLFKeyPress(char key) {
    if (key != '\r')
        return;
    if (const auto value = WholeNumber(EditLF))
        TrackL->setValue(*value);
    else
        Beep();
}

void TForm1::EditUFKeyPress(char key) {
    if (key != '\r')
        return;
    if (const auto value = WholeNumber(EditUF))
        TrackU->setValue(*value);
    else
        Beep();
}

void TForm1::EditLFExit() {
    if (const auto value = WholeNumber(EditLF))
        TrackL->setValue(*value);
    else
        Beep();
}

void TForm1::EditUFExit() {
    if (const auto value = WholeNumber(EditUF))
        TrackU->setValue(*value);
    else
        Beep();
}

void TForm1::AStreamFailure(const std::string& reason) {
    if (Sampling()) {
        SpeedButton1->setChecked(false);
        SpeedButton1Click();
    }
    ShowMessage(QString::fromStdString(reason));
}
