// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's menus, tab pages and controls, and the placement of the band-edge marks.
#include "ui/TForm1.h"

#include "core/SampleRates.h"

#include "ui/DeviceCombo.h"
#include "ui/WidgetNaming.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/detector/DetectorTab.h"
#include "ui/peak/PeakTab.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumTab.h"
#include "ui/voltmeter/VoltmeterTab.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
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

#include <cmath>

void TForm1::BuildMenus() {
    auto* settings = menuBar()->addMenu("Settings");
    settings->setObjectName("Settings1");
    BLoad = NamedAction(settings, "BLoad", "Load");
    BSave = NamedAction(settings, "BSave", "Save");
    settings->addSeparator();
    // The detector test calculator's tab, which start-up hides.
    ShowDetector = NamedAction(settings, "ShowDetector", "Detector Test", true);
    connect(ShowDetector, &QAction::triggered, this, [this] { ShowDetectorClick(); });

    BuildMeasureMenus();

    Run = menuBar()->addAction("Run");
    Run->setObjectName("Run");
    Run->setCheckable(true);
}

void TForm1::BuildTabs() {
    auto* central = new QWidget(this);
    central->setObjectName("ClientArea");
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);

    auto* top = new QHBoxLayout;
    SpeedButton1 = Named<QPushButton>(central, "SpeedButton1", "Start Sampling");
    SpeedButton1->setCheckable(true);
    top->addWidget(SpeedButton1);
    top->addStretch(1);
    const char* legendNames[] = {"M1", "M2", "M3", "M4"};
    for (int k = 0; k < 4; ++k) {
        auto* legend = Named<QCheckBox>(central, legendNames[k], QString("M%1").arg(k + 1));
        legend->setChecked(k == 0);
        MemLegends.push_back(legend); // placed at the right edge by the memory traces
    }
    C = Named<QCheckBox>(central, "C", "C");
    layout->addLayout(top);

    PageControl1 = Named<QTabWidget>(central, "PageControl1");
    TabMeasure = BuildMeasureTab();
    TabScope = BuildScopeTab();
    TabSpectrum = BuildSpectrumTab();
    TabPeak = BuildPeakTab();
    TabN4VVM = BuildVoltmeterTab();
    TabDetector = BuildDetectorTab();
    TabSettings = BuildSettingsTab();
    TabAbout = BuildAboutTab();
    PageControl1->addTab(TabMeasure, "Measure");
    PageControl1->addTab(TabScope, "Scope");
    PageControl1->addTab(TabSpectrum, "Spectrum");
    PageControl1->addTab(TabPeak, "Peak Frequency and Level");
    PageControl1->addTab(TabN4VVM, "Vector Voltmeter");
    PageControl1->addTab(TabDetector, "Detector Test");
    PageControl1->addTab(TabSettings, "Settings");
    PageControl1->addTab(TabAbout, "About");
    layout->addWidget(PageControl1, 1);
    setCentralWidget(central);
    resize(900, 640);

    if (auto* spectrumMenu = findChild<QMenu*>("Spectrum1"))
        SpectrumTab_->AddMenuItems(spectrumMenu);
    Reset1 = SpectrumTab_->Reset1;
    BuildMemoryTraces();
    BuildSpectrumOverlays();
}

QWidget* TForm1::BuildMeasureTab() {
    auto* tab = NamedPage("TabMeasure");
    auto* layout = new QVBoxLayout(tab);
    Panel1 = Named<QFrame>(tab, "Panel1");
    auto* panelLayout = new QVBoxLayout(Panel1);
    LSN_M = Named<QLabel>(Panel1, "LSN_M", "____ dB");
    QFont big = LSN_M->font();
    big.setPointSize(36);
    LSN_M->setFont(big);
    LSN_M->setAlignment(Qt::AlignCenter);
    panelLayout->addWidget(LSN_M);
    layout->addWidget(Panel1, 1);
    ProgressBar1 = Named<QProgressBar>(tab, "ProgressBar1");
    ProgressBar1->setTextVisible(false);
    layout->addWidget(ProgressBar1);
    LInfo = Named<QLabel>(tab, "LInfo", "RMS Signal: % of full swing sine");
    layout->addWidget(LInfo);
    layout->addWidget(BuildCalibrationGroup(tab));
    return tab;
}

QWidget* TForm1::BuildScopeTab() {
    auto* tab = NamedPage("TabScope");
    TScopeTabHooks hooks;
    hooks.FormResize = [this] { FormResize(); };
    ScopeTab_ = std::make_unique<TScopeTab>(tab, State_, ViewSettings_, hooks);
    PaintBox1 = ScopeTab_->PaintBox1;
    TrackAmp = ScopeTab_->TrackAmp;
    TrackT = ScopeTab_->TrackT;
    return tab;
}

QWidget* TForm1::BuildSpectrumTab() {
    auto* tab = NamedPage("TabSpectrum");
    TSpectrumTabHooks hooks;
    hooks.FormResize = [this] { FormResize(); };
    hooks.ShowTraceBoxes = [this](bool visible) {
        for (auto* legend : MemLegends)
            legend->setVisible(visible);
        C->setVisible(visible);
    };
    hooks.ReportError = [this](const std::string& /*message*/) { Beep(); }; // in place, no box
    hooks.DrawCustomTrace = [this](QPainter& painter) { DrawCus(painter, SpectrumTab_->Axis()); };
    SpectrumTab_ = std::make_unique<TSpectrumTab>(tab, State_, ViewSettings_, hooks);
    PaintBox2 = SpectrumTab_->PaintBox2;
    PaintSpecCap = SpectrumTab_->PaintSpecCap;
    SpecBack = SpectrumTab_->SpecBack;
    LBW = SpectrumTab_->LBW;
    L_L = SpectrumTab_->L_L;
    L_U = SpectrumTab_->L_U;
    Shape1 = SpectrumTab_->Shape1;
    Shape2 = SpectrumTab_->Shape2;
    LSN = SpectrumTab_->LSN;
    LS = SpectrumTab_->LS;
    LSp = SpectrumTab_->LSp;
    return tab;
}

QWidget* TForm1::BuildPeakTab() {
    auto* tab = NamedPage("TabPeak");
    TPeakTabHooks hooks;
    hooks.Common.ReportError = [this](const std::string& message) {
        ShowMessage(QString::fromStdString(message));
    };
    hooks.Sampling = [this] { return Sampling(); };
    PeakTab_ = std::make_unique<TPeakTab>(tab, State_, hooks);
    PaintPeak = PeakTab_->PaintPeak;
    EPkN = PeakTab_->EPkN;
    LPkPause = PeakTab_->LPkPause;
    return tab;
}

QWidget* TForm1::BuildVoltmeterTab() {
    auto* tab = NamedPage("TabN4VVM");
    VoltmeterTab_ =
        std::make_unique<TVoltmeterTab>(tab, *Vvm_, [this] { return State_.SampleRate; });
    return tab;
}

QWidget* TForm1::BuildDetectorTab() {
    auto* tab = NamedPage("TabDetector");
    DetectorTab_ = std::make_unique<TDetectorTab>(tab, State_);
    return tab;
}

QWidget* TForm1::BuildSettingsTab() {
    auto* tab = NamedPage("TabSettings");
    auto* layout = new QVBoxLayout(tab);
    PageControl2 = Named<QTabWidget>(tab, "PageControl2");
    TabSampling = BuildSamplingPage();
    PageControl2->addTab(TabSampling, "Sampling");

    BuildSmoothingPage();
    PageControl2->addTab(TabSmoothing, "Spec. Smoothing");

    TabCustom = NamedPage("TabCustom");
    BuildCustomPage();
    PageControl2->addTab(TabCustom, "Custom");
    TabSpecSettings = NamedPage("TabSpecSettings");
    auto* specLayout = new QVBoxLayout(TabSpecSettings);
    specLayout->addWidget(SpectrumTab_->SettingsGroup());
    SpectrumTab_->SettingsGroup()->show(); // the overlays' panel below takes the spare height
    PageControl2->addTab(TabSpecSettings, "Spectrum / Screenshots");
    layout->addWidget(PageControl2);
    return tab;
}

QWidget* TForm1::BuildSamplingPage() {
    auto* page = NamedPage("TabSampling");
    auto* columns = new QHBoxLayout(page);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left, 1);
    columns->addLayout(right, 1);

    auto* adc = Named<QGroupBox>(page, "GroupBox1", "ADC");
    auto* adcForm = new QFormLayout(adc);
    CFrame = Named<QComboBox>(adc, "CFrame");
    for (const std::int32_t rate : ListedSampleRates)
        CFrame->addItem(QString::fromStdString(SampleRateCaption(rate)));
    CFrame->setCurrentIndex(CFrame->findText("48 ksps"));
    adcForm->addRow("ADC Sample Rate", CFrame);
    ComboRes = Named<QComboBox>(adc, "ComboRes");
    ComboRes->addItems({"16 bit", "24 bit"});
    adcForm->addRow("ADC Resolution", ComboRes);
    ComboSamples = Named<QComboBox>(adc, "ComboSamples");
    adcForm->addRow("Sample Length", ComboSamples);
    ComboChannel = Named<QComboBox>(adc, "ComboChannel");
    ComboChannel->addItems(
        {"Left Channel", "Right Channel", "Left+Right Channel", "Left-Right Channel"});
    adcForm->addRow("Channel", ComboChannel);
    left->addWidget(adc);

    auto* band = Named<QGroupBox>(page, "GroupBox2", "Input Band (Press Return to update)");
    auto* bandLayout = new QVBoxLayout(band);
    Label6 = Named<QLabel>(band, "Label6", "Input Cut-on Frequency = 300Hz");
    TrackL = Named<QSlider>(band, "TrackL", Qt::Horizontal);
    TrackL->setRange(0, 24000);
    TrackL->setValue(1000);
    EditLF = Named<QLineEdit>(band, "EditLF", "1000");
    Label1 = Named<QLabel>(band, "Label1", "Input Cut-off Frequency = 3000Hz");
    TrackU = Named<QSlider>(band, "TrackU", Qt::Horizontal);
    TrackU->setRange(0, 24000);
    TrackU->setValue(1500);
    EditUF = Named<QLineEdit>(band, "EditUF", "40000");
    for (QWidget* w : std::initializer_list<QWidget*>{Label6, TrackL, EditLF, Label1, TrackU, EditUF})
        bandLayout->addWidget(w);
    left->addWidget(band);
    left->addStretch(1);

    auto* devices = Named<QGroupBox>(page, "GroupBox3", "Sound Card");
    auto* devLayout = new QFormLayout(devices);
    Label31 = Named<QLabel>(devices, "Label31", "Sound engine");
    CEngine = Named<QComboBox>(devices, "CEngine");
    CEngine->addItems({"MME", "WDM"});
    devLayout->addRow(Label31, CEngine);
    CN4 = Named<QComboBox>(devices, "CN4");
    CN4->addItems({"Sound", "Norta4 ADC1+2", "Norta4 ADC3+4"});
    CEngine->setToolTip("MME: ALSA sound cards. WDM: the clients of a running JACK server.");
    devLayout->addRow("", CN4);
    auto* input = Named<TDeviceCombo>(devices, "ComboAudioDevice");
    input->BeforePopup = [this] { Guarded([this] { RefreshDeviceLists(false); }); };
    ComboAudioDevice = input;
    devLayout->addRow("Input", ComboAudioDevice);
    LSD = Named<QLabel>(devices, "LSD", "");
    devLayout->addRow("", LSD);
    CLevel = Named<QCheckBox>(devices, "CLevel", "Auto-Set Level to 0dB");
    CLevel->setChecked(true);
    CLevel->setEnabled(false); // until the level library is bound
    devLayout->addRow("", CLevel);
    right->addWidget(devices);

    GroupBox13 = Named<QGroupBox>(page, "GroupBox13", "Output Audio Device");
    BuildGeneratorControls();
    right->addWidget(GroupBox13);

    GroupN4 = Named<QGroupBox>(page, "GroupN4", "Norta4 Data Collection to File");
    GroupN4->setVisible(false);
    VoltmeterTab_->BuildCollectionGroup(GroupN4);
    right->addWidget(GroupN4);

    ListBox1 = Named<QListWidget>(page, "ListBox1");
    right->addWidget(ListBox1, 1);
    return page;
}

QWidget* TForm1::BuildAboutTab() {
    auto* tab = NamedPage("TabAbout");
    auto* layout = new QVBoxLayout(tab);
    Label29 = Named<QLabel>(tab, "Label29", "");
    Label29->setWordWrap(true);
    Label29->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    layout->addWidget(Label29);
    return tab;
}

void TForm1::FormResize() {
    SpectrumTab_->Relayout();
    ScopeTab_->Relayout();
}
