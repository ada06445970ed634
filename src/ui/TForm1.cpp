// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: construction, start-up, device lists and shutdown.
#include "ui/TForm1.h"

#include "audio/AdcHandOver.h"
#include "audio/DeviceEntries.h"
#include "audio/EngineFactory.h"
#include "audio/ExternalAdc.h"
#include "audio/WdmStru.h"
#include "core/CustomExpressions.h"
#include "core/LevelMeters.h"
#include "core/WindowCalibration.h"
#include "core/WindowPlacement.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "instruments/AdcCollection.h"
#include "instruments/VectorVoltmeter.h"
#include "mixtrel/CodecLibrary.h"
#include "ui/QtMainThreadDispatcher.h"
#include "ui/ShownText.h"
#include "ui/detector/DetectorTab.h"
#include "ui/peak/PeakTab.h"
#include "ui/scope/ScopeTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/settings/SettingsBinding.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"
#include "ui/units/UnitsPanel.h"
#include "ui/voltmeter/VoltmeterTab.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include <cmath>
#include <utility>

TForm1::TForm1(TFormEnvironment environment, QWidget* parent)
    : QMainWindow(parent), Env_(std::move(environment)) {
    setObjectName("Form1");
    Dispatcher_ = std::make_unique<TQtMainThreadDispatcher>(this);
    if (!Env_.Devices)
        Env_.Devices = std::make_shared<const std::vector<TPcmDevice>>(TAlsaDeviceLister().List());
    if (!Env_.EngineFactory)
        Env_.EngineFactory = MakeEngineFactory(Env_.Devices, Dispatcher_.get());

    // The stream facade as the window configures it: sound cards, capture only, 16-bit stereo
    // at 48 kHz in blocks of 2048, three queued render buffers.
    AStream_ = std::make_unique<TQuibexStream>(Env_.EngineFactory);
    AStream_->Directions = ddCapture;
    AStream_->InputDevice = TDeviceSettings(0, 2, 48000, 16, 2048);
    AStream_->OutputDevice = TDeviceSettings(0, 2, 48000, 16, 2048);
    AStream_->BufferCount = 3;
    AStream_->OnData = [this](void* sender, TDataBufferI& i32, TDataBufferF& in,
                              TDataBufferF& out) {
        StallWatch_.Block(std::chrono::steady_clock::now());
        AStreamData(sender, i32, in, out);
    };
    AStream_->OnFailure = [this](const std::string& reason) { AStreamFailure(reason); };
    AStream_->OnBlockError = [this](const std::string& text) {
        ShowMessage(QString::fromStdString(text)); // once per run; the rest are counted
        ShowStreamHealth();
    };
    AStream_->SetEngine(aeMME); // reconfigure the engine object with the properties above

    Codec_ = std::make_unique<TCodecLibrary>();
    // The four-ADC library's blocks reach ExternalBlock on the main thread through the ring.
    Adc_ = std::make_unique<TExternalAdc>(*Dispatcher_);
    Adc_->OnBlock = [this](std::span<const std::int32_t> block) { ExternalBlock(block); };
    Adc_->OnBlocksDone = [this] { ExternalBlocksDone(); };
    HandOver_ = std::make_unique<TAdcHandOver>();
    Collection_ = std::make_unique<TAdcCollection>();
    Vvm_ = std::make_unique<TVectorVoltmeter>();
    BuildMenus();
    BuildTabs();
    BuildScreenshotTool();
    BuildInstruments();
    BuildUnits();
    BuildDesktopParts();
    ConnectSamplingControls();
    connect(CEngine, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { CEngineChange(); }); });
    ConnectMeasureControls();
    Settings_ = std::make_unique<TSettingsBinding>(*this);
    connect(CLevel, &QCheckBox::clicked, this, [this] { CLevelClick(); });
    FormCreate();
    UpdateStatusBar();
    StartingUp_ = false;
}

TForm1::~TForm1() {
    // Stop the engine and the external source before the state and the components they feed go
    // away.
    if (AStream_)
        AStream_->Stop();
    Adc_.reset();
    Parts_.Consumers.clear(); // the instrument tabs go before the pipeline
}

void TForm1::BuildScreenshotTool() {
    TScreenshotHooks hooks;
    hooks.FormResize = [this] { FormResize(); };
    hooks.ReportError = [this](const std::string& /*message*/) { Beep(); }; // in place, no box
    hooks.ShowMessage = [this](const QString& text) { ShowMessage(text); };
    hooks.Grab = Env_.GrabClientArea;
    hooks.ChoosePictureFile = Env_.ChoosePictureFile;
    hooks.WindowComposes = Env_.WindowComposes;
    Screenshots_ =
        std::make_unique<TScreenshotTool>(*this, findChild<QMenu*>("Settings1"), menuBar(), hooks);
    // On the "Spectrum / Screenshots" page, after the spectrum display group.
    if (auto* layout = qobject_cast<QBoxLayout*>(TabSpecSettings->layout())) {
        layout->insertWidget(1, Screenshots_->Group());
        Screenshots_->Group()->show();
    }
}

QString TForm1::ProgramFolder() const {
    if (!Env_.SettingsFolder.isEmpty())
        return Env_.SettingsFolder;
    return ChooseSettingsFolder(QCoreApplication::applicationDirPath(), Env_.FolderWritable);
}

void TForm1::Beep() {
    ++BeepCount_;
    QApplication::beep();
}

void TForm1::ShowMessage(const QString& message) {
    ShowMessage(QString(), message);
}

void TForm1::ShowMessage(const QString& caption, const QString& message) {
    // Every message reaches the user here; its CR line breaks become lines.
    const QString text = ShownText(message);
    if (!StartupMessages_.Hold(caption.toStdString(), text.toStdString()))
        ShowMessageNow(caption, text);
}

void TForm1::ShowMessageNow(const QString& caption, const QString& text) {
    if (Env_.ShowMessage)
        Env_.ShowMessage(text);
    else if (caption.isEmpty())
        QMessageBox::information(this, windowTitle(), text);
    else
        QMessageBox::warning(this, caption, text);
}

void TForm1::ShowStartupMessages() {
    ShowHeldMessages(StartupMessages_.Release());
}

void TForm1::ShowHeldMessages(const std::vector<TStartupMessages::TMessage>& held) {
    for (const TStartupMessages::TMessage& message : held) {
        const QString caption = QString::fromStdString(message.Caption);
        const QString text = QString::fromStdString(message.Text);
        if (Env_.ShowStartupMessage)
            Env_.ShowStartupMessage(caption, text);
        else
            ShowMessageNow(caption, text);
    }
}

void TForm1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowMessage(QString::fromStdString(e.what()));
    }
}

void TForm1::FormCreate() {
    // Tabs that are built but not offered yet.
    PageControl1->setTabVisible(PageControl1->indexOf(TabDetector), false);
    if (PageControl1->currentWidget() != TabSpectrum) {
        for (auto* legend : MemLegends)
            legend->setVisible(false);
        C->setVisible(false);
    }

    setWindowTitle(Caption);
    CreateCustomParser();

    FFT_ = std::make_unique<TDSXFastFourier>();
    DSP_ = std::make_unique<TTBDSP>();
    DSP_->SetSamplesPerSecond(48000);
    DSP_->SetAmplification(1.0);
    DSP_->SetFilterType(BandPass);
    DSP_->SetWindowType(Hamming);
    Parts_.FFT = FFT_.get();
    Parts_.DSP = DSP_.get();
    Parts_.CustomLabelText = [this] { return CustomLabelText(); };
    // Long engine blocks run in slices between the window's events (zero timers run after the
    // events already waiting, repaints and input among them).
    Parts_.PostSlice = [this](std::function<void()> task) {
        QTimer::singleShot(0, this, std::move(task));
    };
    Parts_.SlicedBlockDone = [this] { ShowPipelineTexts(); };
    Parts_.StreamGaps = [this] { return SourceHealth().Gaps(); };
    Pipeline_ = std::make_unique<TBlockPipeline>(State_, Parts_);

    FindSoundDevices();
    if (TerminateRequested_)
        return;

    State_.FullScale = 2147483647;

    Label29->setText(
        QStringLiteral(
            "Phonoscale %1\n\n"
            "A real-time audio measurement instrument: calibrated FFT spectrum, level meters, "
            "band-filtered oscilloscope and coherent test sine.\n\n"
            "Copyright (C) 2026 the Phonoscale developers.\n\n"
            "Phonoscale is free software: you can redistribute it and/or modify it under the "
            "terms of the GNU General Public License as published by the Free Software "
            "Foundation, either version 3 of the License, or (at your option) any later "
            "version (GPL-3.0-or-later). It comes with ABSOLUTELY NO WARRANTY. See the file "
            "COPYING (installed: /usr/share/doc/phonoscale/copyright).\n\n"
            "Help > User Guide (F1) opens the user guide. Report problems and suggestions "
            "through the project's issue tracker.")
            .arg(QStringLiteral(PHONOSCALE_VERSION)));

    // Ask for a high scheduling priority; without the privilege we run at the normal one.
    (void)setpriority(PRIO_PROCESS, 0, -10);

    if (ComboAudioDevice->count() > 0) {
        ComboAudioDevice->setCurrentIndex(0);
        ComboAudioDeviceChange();
    }
    {
        const QSignalBlocker block(ComboSamples);
        ComboSamples->clear();
        for (int k = 6; k <= 20; ++k)
            ComboSamples->addItem(QString::number(1 << k));
        ComboSamples->setCurrentIndex(4);
    }
    Guarded([this] { ComboSamplesChange(); });
    FFT_->SetNumSamples(State_.BlockLength);
    DSP_->SetSamplesPerSecond(48000);

    const int half = static_cast<int>(std::nearbyint(State_.SampleRate / 2));
    TrackL->setMaximum(half);
    TrackU->setMaximum(half);
    TrackL->setValue(0);
    TrackU->setValue(TrackU->maximum());
    TrackLChange();
    TrackUChange();
    ECalDBChange();

    ReadSettings(SettingsPath(TSettingsBinding::MainFileName));
    ReadPrivateSettings(SettingsPath(TSettingsBinding::PrivateFileName));
    Settings_->StartingUp = false;
    Guarded([this] { CalibrateWindow(State_, *FFT_); });
    TrackFChange();

    DSP_->SetSamplesPerSecond(static_cast<int>(std::nearbyint(State_.SampleRate)));
    // The sound-card engine with the engine choice hidden, unless the command line chose one.
    const TAudioEngine engine = Env_.Engine.value_or(aeMME);
    {
        const QSignalBlocker block(CEngine);
        CEngine->setCurrentIndex(engine == aeWDM ? 1 : 0);
    }
    SwitchEngine(engine, engine == aeWDM);
    CEngine->setVisible(Env_.Engine.has_value());
    EngineChoiceReady_ = true;
    Label31->setText("Sound source");
    Label31->setVisible(true);
    CN4->setVisible(true);
    Guarded([this] { CN4Change(); });

    // Memory traces kept from the last run, for the memories that are displayed.
    MemTraces_->LoadMemoryFiles();
    SetCustomVariables(State_);
    CompileCustomExpressions();

    // The level library, from the program's folder first; without it CLevel stays disabled.
    // CLevel holds what "AutoLevel=" read (State_.AutoLevel follows it through CLevelClick).
    if (AStream_->Engine() == aeMME && CodecPlatformSupported()) {
        const QString folder =
            Env_.CodecFolder.isEmpty() ? QCoreApplication::applicationDirPath() : Env_.CodecFolder;
        Codec_->LoadCodecLibrary((folder + "/" + kCodecLibraryName).toStdString());
        if (Codec_->CodecAvailable())
            CLevel->setEnabled(true);
        if (CLevel->isEnabled() && CLevel->isChecked())
            AutoSetInputLevel();
    }

    flat->setChecked(State_.Weighting == 0);
    pso->setChecked(State_.Weighting == 1);
    Cmes->setChecked(State_.Weighting == 2);
}

void TForm1::FindSoundDevices() {
    const QSignalBlocker blockIn(ComboAudioDevice);
    const QSignalBlocker blockOut(ComboOutDevice);
    const bool lowLatency = AStream_->Engine() == aeWDM;
    // The low-latency engine numbers its devices by its device table, which both lists share:
    // the combo boxes show the entry of the same device (its number moves when clients before it
    // come or go).
    const auto entryOf = [lowLatency](QComboBox* combo, int index, const std::string& name) {
        if (lowLatency) {
            std::vector<std::string> entries;
            for (int i = 0; i < combo->count(); ++i)
                entries.push_back(combo->itemText(i).toStdString());
            return std::max(FindEntryOfDevice(entries, name), 0);
        }
        return std::clamp(index, 0, std::max(0, combo->count() - 1));
    };
    ComboAudioDevice->clear();
    for (const auto& name : AStream_->InputDeviceNames())
        ComboAudioDevice->addItem(QString::fromStdString(name));
    if (ComboAudioDevice->count() > 0) {
        const int inIndex = AStream_->SelectInputDevice(State_.SelectedDeviceName);
        ComboAudioDevice->setCurrentIndex(
            entryOf(ComboAudioDevice, inIndex, State_.SelectedDeviceName));

        ComboOutDevice->clear();
        for (const auto& name : AStream_->OutputDeviceNames())
            ComboOutDevice->addItem(QString::fromStdString(name));
        if (ComboOutDevice->count() == 0) {
            LSO->setText("No out devices found!");
            CheckOut->setChecked(false);
        }
        const int outIndex = AStream_->SelectOutputDevice(State_.SelectedOutDeviceName);
        ComboOutDevice->setCurrentIndex(
            entryOf(ComboOutDevice, outIndex, State_.SelectedOutDeviceName));
        ComboOutDeviceChange(); // LSO names the device the tone will play on
    } else if (lowLatency) {
        // No JACK server (or no client with ports): nothing to choose; starting says why.
        ComboOutDevice->clear();
        LSD->setText("");
        LSO->setText("No out devices found!");
        CheckOut->setChecked(false);
    } else {
        ShowMessage("No sound card found!\rClosing Phonoscale.");
        TerminateRequested_ = true;
        QCoreApplication::exit(1);
    }
}

void TForm1::SwitchEngine(TAudioEngine engine, bool reselect) {
    if (Sampling()) { // the running engine stops with the switch: so does the window
        SpeedButton1->setChecked(false);
        SpeedButton1Click();
    }
    if (engine == aeWDM)
        WdmAudio().Refresh(); // the clients the server has now
    AStream_->SetEngine(engine);
    FindSoundDevices();
    if (!reselect)
        return;
    // The remembered names and numbers follow the entries the new lists show.
    if (ComboAudioDevice->count() > 0)
        ComboAudioDeviceChange();
    if (ComboOutDevice->count() > 0)
        ComboOutDeviceChange();
}

void TForm1::CEngineChange() {
    const TAudioEngine engine = CEngine->currentIndex() == 1 ? aeWDM : aeMME;
    if (!EngineChoiceReady_)
        return; // start-up selects the engine itself
    if (!Env_.Engine)
        return; // no engine choice offered: a loaded set-up keeps the entry, not the engine
    SwitchEngine(engine, true);
}

std::string TForm1::RefreshDeviceLists(bool withOutput) {
    if (AStream_->Engine() != aeWDM || AStream_->Active())
        return {};
    // The devices the lists show now (none while no server answered).
    const auto shown = [](const QComboBox* combo) {
        return combo->count() > 0 ? combo->currentText().toStdString() : std::string{};
    };
    const std::string in = shown(ComboAudioDevice);
    const std::string out = shown(ComboOutDevice);
    AStream_->RefreshDevices();
    FindSoundDevices(); // reselects both by name
    if (ComboAudioDevice->count() > 0)
        ComboAudioDeviceChange(); // the entry's number may have moved
    if (!in.empty() && FindEntryOfDevice(AStream_->InputDeviceNames(), in) < 0)
        return in;
    if (withOutput && !out.empty() && FindEntryOfDevice(AStream_->OutputDeviceNames(), out) < 0)
        return out;
    return {};
}

void TForm1::ComboAudioDeviceChange() {
    if (ComboAudioDevice->count() == 0)
        return;
    const std::pair<int, std::string> entry{ComboAudioDevice->currentIndex(),
                                            ComboAudioDevice->currentText().toStdString()};
    if (entry == InDeviceApplied_)
        return; // the same entry picked again: its level and settings are in force
    InDeviceApplied_ = entry;
    State_.InDeviceIndex = entry.first;
    State_.SelectedDeviceName = entry.second;
    LSD->setText(QString::fromStdString(State_.SelectedDeviceName) + " selected.");
    const int half = static_cast<int>(std::nearbyint(State_.SampleRate / 2));
    TrackL->setMaximum(half);
    TrackU->setMaximum(half);
    ETimeChange();
    if (CLevel->isEnabled() && CLevel->isChecked())
        AutoSetInputLevel();
}

void TForm1::CLevelClick() {
    State_.AutoLevel = CLevel->isChecked(); // what the "AutoLevel=" setting keeps
    if (CLevel->isEnabled() && CLevel->isChecked())
        AutoSetInputLevel();
}

void TForm1::AutoSetInputLevel() {
    ::AutoSetInputLevel(*Codec_, AStream_->Engine() == aeMME, State_.SelectedDeviceName);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
    if (!FirstShown_) {
        FirstShown_ = true;
        if (std::exchange(MaximizeWhenShown_, false))
            setWindowState(windowState() | Qt::WindowMaximized);
        else
            FitWindowIntoScreen(); // now with its frame
        // The window is up: later messages show at once. Those held show from the event loop,
        // after whoever showed the window has set up the rest (the timer of an unattended run
        // among them).
        QTimer::singleShot(0, this,
                           [this, held = StartupMessages_.Release()] { ShowHeldMessages(held); });
    }
}

bool TForm1::WasMaximized() const {
    return isMaximized() || MaximizeWhenShown_;
}

void TForm1::ApplyWasMaximized(bool maximize) {
    if (!FirstShown_)
        MaximizeWhenShown_ = maximize;
    else if (maximize)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void TForm1::FitWindowIntoScreen() {
    // Before the first showing the frame is not known yet and adds nothing.
    const QSize frame = frameGeometry().size() - size();
    const QRect outer(pos(), size() + frame);
    QRect area;
    if (Env_.ScreenAreaAt) {
        area = Env_.ScreenAreaAt(outer);
    } else {
        const QScreen* at = QGuiApplication::screenAt(outer.center());
        if (!at)
            at = screen() ? screen() : QGuiApplication::primaryScreen();
        if (at)
            area = at->availableGeometry();
    }
    const TPixelRect fitted = FitIntoScreen({outer.x(), outer.y(), outer.width(), outer.height()},
                                            {area.x(), area.y(), area.width(), area.height()});
    if (fitted == TPixelRect{outer.x(), outer.y(), outer.width(), outer.height()})
        return;
    resize(std::max(1, fitted.Width - frame.width()), std::max(1, fitted.Height - frame.height()));
    move(fitted.Left, fitted.Top);
}

void TForm1::FormShow() {
    FormResize();
    PageControl2->update();
}

void TForm1::ShowDetectorClick() {
    const int index = PageControl1->indexOf(TabDetector);
    const bool show = ShowDetector->isChecked();
    PageControl1->setTabVisible(index, show);
    if (show)
        PageControl1->setCurrentIndex(index);
}

bool TForm1::FormCloseQuery() {
    if (Sampling()) {
        SpeedButton1->setChecked(false);
        SpeedButton1Click();
        return false;
    }
    return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!FormCloseQuery()) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
}

void TForm1::FormClose() {
    // The normal size first, so that the settings keep it rather than the screenshot size.
    Screenshots_->LeaveScreenshotSize();
    // A cut-on or cut-off edit holding a non-number must not stop the settings from being
    // written: the sliders keep their last valid values and closing goes on.
    EditLFChange();
    EditUFChange();
    Closing_ = true;
    RestoreInputLevel(*Codec_); // the input level from before the automatic 0 dB, if untouched
    WriteSettingsOnClose();
    MemTraces_->WriteMemoryFiles(); // after the settings, which keep the display flags
}
