// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: owns the measurement state and the components, builds the tabs and menus.
#pragma once

#include "audio/MainThreadDispatcher.h"
#include "audio/PcmDeviceList.h"
#include "audio/Quibex_Strm.h"
#include "audio/StallWatch.h"
#include "core/BlockPipeline.h"
#include "core/MeasurementState.h"
#include "core/StartupMessages.h"
#include "ui/InstrumentTabs.h"
#include "ui/common/FramePacer.h"
#include "ui/common/ViewSettings.h"

#include <QMainWindow>
#include <QRect>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QImage;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QTabWidget;
class QTimer;
class QWidget;
class QPainter;
class TAdcCollection;
class TAdcHandOver;
class TCodecLibrary;
class TExternalAdc;
class TVectorVoltmeter;
class TVoltmeterTab;
class TCustomExpressions;
class TDSXFastFourier;
class TDetectorTab;
class TPeakTab;
class TScopeTab;
class TScreenshotTool;
class TSettingsBinding;
class TSpectrumOverlays;
class TSpectrumTab;
class TTBDSP;
class TMemoryTraces;
class TUnitsPanel;
struct TSpectrumAxis;

// What the window takes from its surroundings. Tests replace the device list, the engines and the
// message box; the program uses the defaults.
struct TFormEnvironment {
    // Devices of the sound-card engine, listed once at start-up. Null: ask ALSA.
    std::shared_ptr<const std::vector<TPcmDevice>> Devices;
    // Builds the engines. Empty: the real ALSA and low-latency engines.
    TEngineFactory EngineFactory;
    // The engine chosen on the command line: selected at start-up, with `CEngine` shown so that
    // it can be changed. Empty: the sound-card engine, `CEngine` hidden.
    std::optional<TAudioEngine> Engine;
    // Shows a message to the user and returns when it is dismissed. Empty: a message box.
    std::function<void(const QString&)> ShowMessage;
    // Shows a message that arose while the window was being built, once the window is up
    // (`caption` empty: the window's title). Empty: as every other message (ShowMessage). A
    // screenshot run prints them to standard error, so that nothing waits for an answer.
    std::function<void(const QString& caption, const QString& text)> ShowStartupMessage;
    // Folder of the settings and memory-trace files. Empty: the program folder when writable and
    // not installed, else the per-user configuration folder (ChooseSettingsFolder).
    QString SettingsFolder;
    // Whether files can be created in a folder. Empty: try it (FolderAcceptsFiles).
    std::function<bool(const QString& folder)> FolderWritable;
    // The file dialogs of "Settings" > "Save" (save = true) and "Load": the chosen path, or an
    // empty text when cancelled. Empty: QFileDialog with the filter "ini file (*.ini)".
    std::function<QString(bool save)> ChooseSettingsFile;
    // Folder searched first for the level library (libmixtrel.so). Empty: the program's folder.
    QString CodecFolder;
    // Asks a question with OK and Cancel and returns true for OK. Empty: a message box.
    std::function<bool(const QString& caption, const QString& text)> Confirm;
    // The trace file (Touchstone, CSV or FRD) chosen in the save (save = true) or open dialog,
    // empty when cancelled. Empty: the file dialogs.
    std::function<QString(bool save)> ChooseFile;
    // Folder searched first for the four-ADC library (libN4ADC.so). Empty: the program's folder.
    QString ExternalAdcFolder;
    // Screenshots: takes the picture of the client area (a null image is a failure). Empty:
    // QWidget::grab.
    std::function<QImage(QWidget* client)> GrabClientArea;
    // Screenshots with "Also save screenshots as PNG": the PNG file to save the picture to as
    // well, chosen in a dialog that proposes `proposed` (folder and file name); an empty text
    // saves none. Empty: the file dialog.
    std::function<QString(const QString& proposed)> ChoosePictureFile;
    // The available area of the screen that a window with these outer bounds opens on; saved
    // bounds are fitted into it. Empty: the window system's screen at the bounds' centre.
    std::function<QRect(const QRect& frame)> ScreenAreaAt;
    // Transparent mode: whether the window system composes translucent windows, asked once
    // while the window is built. Empty: the window system is asked.
    std::function<bool()> WindowComposes;
    // Builds the instrument tabs. Empty: the program's (MakeInstrumentTabs).
    TInstrumentFactory MakeInstruments;
    // The shortest time without a block that stops sampling as stalled (the limit is the longer
    // of it and four engine blocks). Tests shorten it.
    std::chrono::milliseconds StallFloor{2000};
    // "Help" > "User Guide": shows the guide's start page (an HTML file); false when it could
    // not. Empty: the desktop's web browser (QDesktopServices).
    std::function<bool(const QString& file)> OpenGuide;
};

// The one main window. Owns `MeasurementState`, the FFT, the band filter and the stream facade for
// its whole life. Everything here runs on the main thread; engine blocks arrive there through the
// Qt dispatcher. Handlers keep the names of their control and event; they are spread over one
// source file per subsystem (start-up here, sampling control in SamplingControl.cpp, …).
class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* Caption = "TALVOR Phonoscale V3.8.3d beta";

    explicit TForm1(TFormEnvironment environment = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // True when start-up found no capture device and the program must end.
    bool TerminateRequested() const { return TerminateRequested_; }
    // "WasMaximized=": maximised now, or to be maximised when first shown.
    bool WasMaximized() const;
    // Maximises the window when `maximize`: at once when it has been shown, else when it is
    // first shown. False cancels a pending maximising (a shown window keeps its state).
    void ApplyWasMaximized(bool maximize);
    // Brings the window's bounds (frame included) wholly onto the screen it opens on, shrinking
    // it where it is larger (a size saved at another scale factor or on a larger screen).
    void FitWindowIntoScreen();

    // Messages that arise while the window is being built are held (a message box then would
    // stop start-up until answered) until the window is first shown, and then shown from the
    // event loop, oldest first; later messages show at once. The program runs this when
    // start-up ends the program before the window is shown: the held messages show now.
    void ShowStartupMessages();
    // Shows a message (held while starting up); `caption` empty: the window's title.
    void ShowMessage(const QString& caption, const QString& text);
    // How often the window has beeped (an invalid entry); for tests and diagnostics.
    int BeepCount() const { return BeepCount_; }
    // Engine blocks handed to the window since it was created.
    long long BlocksReceived() const { return BlocksReceived_; }
    // The blocks' readings reach the meters and views once a frame (TFramePacer), those of a
    // hidden tab when it is shown. FlushFrame shows the latest readings everywhere now.
    void FlushFrame();
    TFramePacer& FramePacer() { return FramePacer_; }
    // True from the end of sampling to the next start: the meters show their last reading
    // greyed.
    bool ReadingsStale() const { return ReadingsStale_; }

    MeasurementState& State() { return State_; }
    TQuibexStream& AStream() { return *AStream_; }
    TTBDSP& DSP() { return *DSP_; }
    TDSXFastFourier& FFT() { return *FFT_; }
    TSpectrumTab& SpectrumTab() { return *SpectrumTab_; }
    TScopeTab& ScopeTab() { return *ScopeTab_; }
    TPeakTab& PeakTab() { return *PeakTab_; }
    TDetectorTab& DetectorTab() { return *DetectorTab_; }
    TVoltmeterTab& VoltmeterTab() { return *VoltmeterTab_; }
    TExternalAdc& ExternalAdc() { return *Adc_; }
    // The instrument tabs (ui/InstrumentTabs.cpp), in the order of their pages.
    const TInstrumentTabs& Instruments() const { return Instruments_; }
    // SPL calibration, correction curves and the A/C/Z weightings (ui/units).
    TUnitsPanel& Units() { return *Units_; }
    // Clipboard screenshots, F9, the transparent mode and "Exit" (ui/screenshot).
    TScreenshotTool& Screenshots() { return *Screenshots_; }

    // Settings files (ui/settings): the table, the writer, both readers, Load and Save.
    TSettingsBinding& Settings() { return *Settings_; }
    QString SettingsPath(const QString& fileName) const;
    void WriteSettings(const QString& path);
    void ReadSettings(const QString& path);
    void ReadPrivateSettings(const QString& path);
    void BSaveClick();
    void BLoadClick();
    TMemoryTraces& MemTraces() { return *MemTraces_; }
    // The cursor read-out, band-edge drags, markers and annotations over the spectrum.
    TSpectrumOverlays& Overlays() { return *Overlays_; }
    // While deferred (a band-edge drag runs), the band sliders leave the input filter's design
    // alone; ending the deferral designs the filter for the band reached (once per edge moved).
    void DeferFilterDesign(bool deferred);

    // Start-up and shutdown.
    void FindSoundDevices();
    // The engine choice: switches the facade's engine (stopping sampling first), rebuilds the
    // device lists and reselects the device names where the new lists have them.
    void CEngineChange();
    void ComboAudioDeviceChange();
    // The low-latency engine's devices are the server's clients, which come and go: asks for
    // them again and refills both device lists, keeping the chosen devices by name (their
    // numbers may have moved). Returns the chosen capture device's entry (and, with
    // `withOutput`, the playback device's) when it is no longer listed, else "". Sound cards
    // keep the lists of the program's start; nothing happens while the engine runs.
    std::string RefreshDeviceLists(bool withOutput);
    // The automatic 0 dB input level (CLevel) and the level library behind it.
    void CLevelClick();
    void AutoSetInputLevel();
    TCodecLibrary& Codec() { return *Codec_; }
    bool FormCloseQuery();
    void FormClose();
    // "Settings" > "Detector Test": shows the detector tab (and selects it) when checked, hides
    // it when unchecked.
    void ShowDetectorClick();

    // Sampling control.
    void SpeedButton1Click();
    void RunClick();
    void CFrameChange();
    void ComboResChange();
    void ComboSamplesChange();
    void RebuildFilter();
    void TrackLChange();
    void TrackUChange();
    bool EditLFChange();
    bool EditUFChange();
    void EditLFKeyPress(char key);
    void EditUFKeyPress(char key);
    void EditLFExit();
    void EditUFExit();
    bool Sampling() const;

    // The external four-ADC source (voltmeter/ExternalSource.cpp): the source combo, and the
    // blocks the library's thread handed to the main thread.
    void CN4Change();
    void ExternalBlock(std::span<const std::int32_t> block);
    void ExternalBlocksDone();

    // Spectrum estimation, meters, calibration and the sine output (MeasureControls.cpp).
    void WT0Click(int itemIndex);
    void ETimeChange();
    bool ETimeExit(); // applies ETime; false when it holds no number
    bool EAvApply();  // applies EAv; false when it holds no whole number
    void EAvChange();
    void MeasureSetupChanged(); // after a change of N or the rate: calibration, alpha, LFreq
    void flatClick();
    void psoClick();
    void CmesClick();
    void FormKeyDown(int key);
    void CUnitsChange();
    void CDigitsChange();
    void SNLClick();
    void SLClick();
    void DPClick();
    void DSClick();
    void DCClick();
    void DOffClick();
    void Button1Click();
    void BResetClick();
    void BUndoCalClick();
    void ECalDBChange();
    void ECalVChange();
    void CCalUnitChange();
    void ComboChannelChange();
    void CheckOutClick();
    void COutChanChange();
    void TrackFChange();
    void ComboOutDeviceChange();
    // The custom label and trace (CustomControls.cpp).
    void CreateCustomParser();
    void CompileCustomExpressions();
    // Compiles the expression of the edit that was left (ECL: label, ECT: trace); false and the
    // focus back in the edit when it does not compile.
    bool ECLExit(QObject* sender);
    std::string CustomLabelText();
    void CCus_Click();
    void CCSClick();
    void DrawCus(QPainter& painter, const TSpectrumAxis& axis);

    // Engine blocks arrive here on the main thread.
    void AStreamData(void* sender, TDataBufferI& int32Buffer, TDataBufferF& inBuffer,
                     TDataBufferF& outBuffer);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TSettingsBinding;
    friend class TScreenshotTool;
    friend class TFormInstrumentHost;
    void BuildScreenshotTool();
    // Builds the instrument tabs and puts their analysers into the pipeline's consumer list.
    void BuildInstruments();
    // Builds the units panel on the Measure tab and its trace on the spectrum (ui/units).
    void BuildUnits();
    // Writes both settings files; a failure shows one message naming the file and the reason.
    void WriteSettingsOnClose();
    void FormCreate();
    void FormShow();
    void BuildMenus();
    void BuildTabs();
    QWidget* BuildMeasureTab();
    QWidget* BuildScopeTab();
    QWidget* BuildSpectrumTab();
    QWidget* BuildPeakTab();
    QWidget* BuildVoltmeterTab();
    QWidget* BuildDetectorTab();
    QWidget* BuildSettingsTab();
    QWidget* BuildSamplingPage();
    QWidget* BuildAboutTab();
    // The window icon, menu mnemonics and shortcuts, the Help menu, the status bar and the
    // controls' tips (DesktopParts.cpp); after every tab and menu is built.
    void BuildDesktopParts();
    void HelpGuideClick();
    void ConnectSamplingControls();
    void FormResize();
    void Beep();
    void ShowMessage(const QString& text);
    void ShowMessageNow(const QString& caption, const QString& text); // a box, or the hook
    void ShowHeldMessages(const std::vector<TStartupMessages::TMessage>& held);
    // Runs a handler; an exception becomes one message to the user, as the toolkit's general
    // handler would show it.
    void Guarded(const std::function<void()>& handler);
    void StopSampling();
    void StartSampling();
    void StartExternalSource(); // instead of the sound card's engine, when CN4 names an ADC pair
    void StopExternalSource();  // "_Stop", then the collection file
    void ShowExternalRate(double rateHz);
    TStreamHealth SourceHealth() const; // gaps of the running source's blocks
    void SetSamplingControlsEnabled(bool enabled);
    // Greys the meters (no blocks arrive, their reading is old) or shows them live again
    // (StaleReadings.cpp).
    void ShowReadingsStale(bool stale);
    // Watches the engine's blocks while sampling (StaleReadings.cpp): when none arrives for
    // max(StallFloor, four engine blocks), sampling stops with one message naming the device.
    void WatchForStall(bool on);
    void CheckForStall();
    void BuildMeasureMenus();
    QWidget* BuildCalibrationGroup(QWidget* parent);
    void BuildSmoothingPage();
    void BuildGeneratorControls();
    void ConnectMeasureControls();
    void SpecialMeterSelect(int meter);
    void ApplyCalResult(const struct TCalEditResult& result, QLineEdit* edited);
    bool ApplyCalEdit(const struct TCalEditResult& result, QLineEdit* edited);
    void ShowPipelineTexts();
    // One frame of the blocks' readings: meter texts, progress, the views' repaints.
    void ShowFrame();
    void ShowStreamHealth();
    void BuildCustomPage();
    void RepaintSpectrum();
    void BuildMemoryTraces();
    void BuildSpectrumOverlays();
    void ShowTraceError(const QString& text); // empty: hides it
    void AStreamFailure(const std::string& reason);
    QString ProgramFolder() const;

    TFormEnvironment Env_;
    TStartupMessages StartupMessages_; // held until the window is up
    bool FirstShown_ = false;
    bool MaximizeWhenShown_ = false; // "WasMaximized=1" read before the first showing
    std::unique_ptr<IMainThreadDispatcher> Dispatcher_;
    MeasurementState State_;
    TViewSettings ViewSettings_;
    std::unique_ptr<TSpectrumTab> SpectrumTab_; // the Spectrum tab's controls and drawing
    std::unique_ptr<TScopeTab> ScopeTab_;       // the Scope tab's controls and drawing
    std::unique_ptr<TPeakTab> PeakTab_;         // the peak recorder's controls and chart
    std::unique_ptr<TDetectorTab> DetectorTab_; // the detector test calculator
    std::unique_ptr<TVectorVoltmeter> Vvm_;     // the four-ADC voltmeter (and its tab below)
    std::unique_ptr<TVoltmeterTab> VoltmeterTab_;
    std::unique_ptr<TMemoryTraces> MemTraces_;    // the four memory traces and their items
    std::unique_ptr<TSpectrumOverlays> Overlays_; // cursor, band drags, markers, annotations
    std::unique_ptr<TDSXFastFourier> FFT_;
    std::unique_ptr<TTBDSP> DSP_;
    std::unique_ptr<TQuibexStream> AStream_;
    TPipelineComponents Parts_;
    std::unique_ptr<TBlockPipeline> Pipeline_;
    std::unique_ptr<TCustomExpressions> Custom_;
    std::unique_ptr<TScreenshotTool> Screenshots_;
    std::unique_ptr<TInstrumentHost> InstrumentHost_;
    std::unique_ptr<TUnitsPanel> Units_;
    TInstrumentTabs Instruments_;                // their consumers are in Parts_.Consumers
    std::unique_ptr<TSettingsBinding> Settings_; // after the state and controls it binds
    std::unique_ptr<TCodecLibrary> Codec_;       // the level library, bound at start-up
    bool CustomSwitchGuard_ = false;             // C is being set to mirror CCus
    bool TraceErrorShown_ = false;               // the custom trace's evaluation error is on show
    QLabel* LCusErr = nullptr; // that error, on the spectrum graph (made when first needed)
    // The four-ADC library (while CN4 names a pair), its blocks gathered for the pipeline, and
    // its samples kept for the collection file.
    std::unique_ptr<TExternalAdc> Adc_;
    std::unique_ptr<TAdcHandOver> HandOver_;
    std::unique_ptr<TAdcCollection> Collection_;
    std::uint64_t ShownRepaints_ = 0;
    TFramePacer FramePacer_{[this] { ShowFrame(); }};
    int HealthLines_ = 0;         // lines at the end of ListBox1 that describe stream gaps
    std::uint64_t ShownGaps_ = 0; // capture + render gaps those lines describe
    // The status bar's noise bandwidth (bins) and the window kind and N it was figured for.
    double StatusEnbw_ = 1.0;
    int StatusEnbwKind_ = -1;
    int StatusEnbwLength_ = 0;
    std::uint64_t ShownInvalidBlocks_ = 0; // invalid blocks those lines describe
    bool TerminateRequested_ = false;
    int BeepCount_ = 0;
    long long BlocksReceived_ = 0;
    bool Closing_ = false;
    bool ReadingsStale_ = false;
    TStallWatch StallWatch_;
    QTimer* StallTimer_ = nullptr; // ticks CheckForStall while the watch is armed
    // The capture entry (position, text) ComboAudioDeviceChange last applied; picking the same
    // entry again changes nothing.
    std::optional<std::pair<int, std::string>> InDeviceApplied_;
    bool FilterDesignDeferred_ = false; // a band-edge drag runs
    bool FilterDesignPending_ = false;  // the band moved while the design was deferred
    bool StartingUp_ = true;            // until the constructor has run FormCreate
    QString AdcFailureShown_;        // the last failure of the four-ADC library shown at start-up
    bool EngineChoiceReady_ = false; // start-up has selected the engine; CEngine may switch it
    void SwitchEngine(TAudioEngine engine, bool reselect);

public:
    // The user guide's start page: installed beside the program (../share/doc/phonoscale/guide),
    // else the one built in the build tree; empty when neither exists.
    static QString UserGuideFile();
    // Shows engine, device, rate, resolution, N, resolution bandwidth and gaps in StatusInfo
    // (twice a second, and at once when called).
    void UpdateStatusBar();

    // Controls, named as their objectName().
    QAction* HelpGuide = nullptr;
    QAction* HelpAbout = nullptr;
    QLabel* StatusInfo = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QTabWidget* PageControl2 = nullptr;
    QWidget* TabMeasure = nullptr;
    QWidget* TabScope = nullptr;
    QWidget* TabSpectrum = nullptr;
    QWidget* TabPeak = nullptr;
    QWidget* TabN4VVM = nullptr;
    QWidget* TabDetector = nullptr;
    QWidget* TabSettings = nullptr;
    QWidget* TabAbout = nullptr;
    QWidget* TabSampling = nullptr;
    QWidget* TabSmoothing = nullptr;
    QWidget* TabCustom = nullptr;
    QWidget* TabSpecSettings = nullptr;

    QPushButton* SpeedButton1 = nullptr;
    QAction* Run = nullptr;
    QAction* BLoad = nullptr;
    QAction* BSave = nullptr;
    QAction* ShowDetector = nullptr; // "Detector Test": shows or hides TabDetector
    QAction* flat = nullptr;
    QAction* pso = nullptr;
    QAction* Cmes = nullptr;
    std::vector<QAction*> DispMem;      // DispMem1..DispMem4
    std::vector<QCheckBox*> MemLegends; // M1..M4
    QCheckBox* C = nullptr;

    QComboBox* CFrame = nullptr;
    QComboBox* ComboRes = nullptr;
    QComboBox* ComboSamples = nullptr;
    QComboBox* ComboChannel = nullptr;
    QComboBox* ComboAudioDevice = nullptr;
    QComboBox* ComboOutDevice = nullptr;
    QComboBox* CEngine = nullptr;
    QComboBox* CN4 = nullptr;
    QCheckBox* CheckOut = nullptr;
    QCheckBox* CLevel = nullptr;
    QSlider* TrackL = nullptr;
    QSlider* TrackU = nullptr;
    QLineEdit* EditLF = nullptr;
    QLineEdit* EditUF = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label31 = nullptr;
    QLabel* LSD = nullptr;
    QLabel* LSO = nullptr;
    QListWidget* ListBox1 = nullptr;
    QGroupBox* GroupN4 = nullptr;
    QGroupBox* GroupBox13 = nullptr;

    QComboBox* CRed = nullptr;
    QLineEdit* EAv = nullptr;
    QLineEdit* ETime = nullptr;
    QComboBox* CTC = nullptr;
    std::vector<QLineEdit*> ETs; // ET1..ET6
    std::vector<QAction*> WT;    // WT0..WT5
    QAction* Reset1 = nullptr;
    QAction* SNL = nullptr;
    QAction* SL = nullptr;
    QAction* DP = nullptr;
    QAction* DS = nullptr;
    QAction* DC = nullptr;
    QAction* DOff = nullptr;
    QComboBox* CUnits = nullptr;
    QComboBox* CDigits = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* BReset = nullptr;
    QPushButton* BUndoCal = nullptr;
    QLineEdit* ECalDB = nullptr;
    QLineEdit* ECalV = nullptr;
    QComboBox* CCalUnit = nullptr;
    QComboBox* COutChan = nullptr;
    QSlider* TrackF = nullptr;
    QLabel* LFreq = nullptr;
    QLabel* LCus = nullptr; // the custom label on its settings page
    QLineEdit* EPkN = nullptr;
    QLabel* LPkPause = nullptr;

    QWidget* PaintBox1 = nullptr;
    QSlider* TrackAmp = nullptr;
    QSlider* TrackT = nullptr;
    QWidget* PaintBox2 = nullptr;
    QWidget* PaintSpecCap = nullptr;
    QFrame* SpecBack = nullptr;
    QLabel* LBW = nullptr;
    QLabel* L_L = nullptr;
    QLabel* L_U = nullptr;
    QFrame* Shape1 = nullptr;
    QFrame* Shape2 = nullptr;
    QLabel* LSN = nullptr;
    QLabel* LS = nullptr;
    QLabel* LSp = nullptr;
    QWidget* PaintPeak = nullptr;

    QWidget* Panel1 = nullptr;
    QLabel* LSN_M = nullptr;
    QLabel* Label23 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* LInfo = nullptr;
    QLabel* Label29 = nullptr;
    QLineEdit* ECT = nullptr;
    QLineEdit* ECL = nullptr;
    QLineEdit* EUnit = nullptr;
    QComboBox* CDigs = nullptr;
    QLineEdit* EID = nullptr;
    QCheckBox* CCS = nullptr;
    QLabel* LErr1 = nullptr;
    QLabel* LErr2 = nullptr;
    QAction* CCus = nullptr;
};
