// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven through its named controls: start-up, devices and sampling control.
#include "WindowRig.h"

#include "dsp/TBDSP.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>


using namespace uitest;

TEST(MainWindowStartUp, CaptionSampleLengthsAndDefaults) {
    Window w;
    EXPECT_EQ(w.form->windowTitle(), "TALVOR Phonoscale V3.8.3d beta");
    auto* samples = w.Find<QComboBox>("ComboSamples");
    ASSERT_EQ(samples->count(), 15);
    for (int i = 0; i < 15; ++i)
        EXPECT_EQ(samples->itemText(i).toLongLong(), 1LL << (i + 6));
    EXPECT_EQ(samples->currentText(), "1024");
    EXPECT_EQ(w.form->State().BlockLength, 1024);
    EXPECT_EQ(w.Find<QSlider>("TrackL")->value(), 0);
    EXPECT_EQ(w.Find<QSlider>("TrackU")->value(), 24000);
    EXPECT_EQ(w.Find<QComboBox>("ComboAudioDevice")->currentText(), "01  Default device");
    EXPECT_EQ(w.Find<QLabel>("LSD")->text(), "01  Default device selected.");
    EXPECT_FALSE(w.form->TerminateRequested());
    EXPECT_TRUE(w.Find<QAction>("flat")->isChecked());
    // The named pages other tools fill exist; the detector page is not offered.
    auto* pages = w.Find<QTabWidget>("PageControl1");
    for (const char* tab : {"TabMeasure", "TabScope", "TabSpectrum", "TabPeak", "TabN4VVM", "TabSettings", "TabAbout"})
        EXPECT_NE(w.form->findChild<QWidget*>(tab), nullptr) << tab;
    EXPECT_FALSE(pages->isTabVisible(pages->indexOf(w.form->findChild<QWidget*>("TabDetector"))));
}

TEST(MainWindowStartUp, MeterTextsAtTheMetersFontSizeFromTheFirstStart) {
    Window w; // no settings file
    EXPECT_EQ(w.Find<QLineEdit>("ENFS")->text(), "18");
    for (const char* name : {"LSN", "LS", "LSp", "LSN_O", "LCS"})
        EXPECT_EQ(w.Find<QLabel>(name)->font().pointSize(), 18) << name;
}

TEST(MainWindowSampling, DerivedValuesForEverySampleLength) {
    Window w;
    auto* samples = w.Find<QComboBox>("ComboSamples");
    auto* button = w.Find<QPushButton>("SpeedButton1");
    for (int i = 0; i < 15; ++i) {
        samples->setCurrentIndex(i);
        const int n = 1 << (i + 6);
        EXPECT_EQ(w.form->State().BlockLength, n);
        EXPECT_EQ(w.form->DSP().KernelLength(), n - 1);
        EXPECT_EQ(w.form->DSP().FFT_Order(), i + 7);
        EXPECT_EQ(w.form->FFT().NumSamples(), n);
        button->click(); // start
        ASSERT_TRUE(w.form->Sampling());
        EXPECT_EQ(w.form->AStream().InputDevice.SamplesPerBuf, std::max(n, 2048));
        EXPECT_EQ(w.form->State().SubBlocks, std::max(2048 / n, 1));
        auto* list = w.Find<QListWidget>("ListBox1");
        ASSERT_EQ(list->count(), 4);
        EXPECT_EQ(list->item(0)->text(), QString("BufSize:=%1").arg(n));
        EXPECT_EQ(list->item(1)->text(), QString("FFTOrder:=%1").arg(i + 7));
        EXPECT_EQ(list->item(2)->text(), QString("KernelLength:=%1").arg(n - 1));
        EXPECT_EQ(list->item(3)->text(), "DSP Sampling Rate:=48000");
        button->click(); // stop
        ASSERT_FALSE(w.form->Sampling());
    }
    EXPECT_EQ(w.log.starts, 15);
    EXPECT_EQ(w.log.stops, 15);
}

TEST(MainWindowSampling, StartConfiguresTheStreamAndLocksTheRunControls) {
    Window w;
    w.Find<QComboBox>("ComboRes")->setCurrentIndex(1);
    w.Find<QCheckBox>("CheckOut")->setChecked(true);
    w.Find<QComboBox>("ComboAudioDevice")->setCurrentIndex(1);
    w.Find<QPushButton>("SpeedButton1")->click();
    auto& stream = w.form->AStream();
    EXPECT_EQ(stream.Directions, ddBoth);
    EXPECT_EQ(stream.InputDevice.BitsPerSample, 24);
    EXPECT_EQ(stream.InputDevice.SamplingRate, 48000);
    EXPECT_EQ(stream.InputDevice.Index, 1);
    EXPECT_EQ(w.Find<QPushButton>("SpeedButton1")->text(), "Stop Sampling");
    EXPECT_TRUE(w.Find<QAction>("Run")->isChecked());
    EXPECT_EQ(w.Find<QAction>("Run")->text(), "Stop");
    for (const char* name : {"ComboAudioDevice", "ComboSamples", "ComboRes", "CRed", "EAv", "CFrame"})
        EXPECT_FALSE(w.form->findChild<QWidget*>(name)->isEnabled()) << name;
    EXPECT_FALSE(w.Find<QAction>("BLoad")->isEnabled());
    EXPECT_TRUE(w.Find<QSlider>("TrackL")->isEnabled());
    // The Run menu item stops it again.
    w.Find<QAction>("Run")->trigger();
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.Find<QPushButton>("SpeedButton1")->text(), "Start Sampling");
    EXPECT_TRUE(w.Find<QComboBox>("CFrame")->isEnabled());
}

TEST(MainWindowSampling, AFailedStartLeavesTheWindowStoppedWithOneMessage) {
    Window w;
    w.log.failStart = true;
    w.Find<QPushButton>("SpeedButton1")->click();
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.Find<QPushButton>("SpeedButton1")->text(), "Start Sampling");
    EXPECT_TRUE(w.Find<QComboBox>("ComboSamples")->isEnabled());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "Device or resource busy");
}

namespace {

// The darkest grey level and the strongest colour saturation among the pixels of a widget's
// place in its parent.
struct TInk {
    int Darkest = 255;
    int MostSaturated = 0;
};
TInk InkOf(QWidget* widget) {
    QApplication::processEvents();
    // Drawn by its parent, as on the screen: the parent's background, the widget over it.
    const QImage image = widget->parentWidget()
                             ->grab(widget->geometry())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    TInk ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ink.Darkest = std::min(ink.Darkest, c.value());
            ink.MostSaturated = std::max(ink.MostSaturated, c.hsvSaturation());
        }
    return ink;
}

} // namespace

TEST(MainWindowSampling, MetersAreGreyedFromStopToTheNextStart) {
    Window w;
    QLabel* big = w.Find<QLabel>("LSN_M"); // black text
    QLabel* red = w.Find<QLabel>("LSN");   // red text over the spectrum
    const TInk bigLive = InkOf(big);
    const TInk redLive = InkOf(red);
    ASSERT_LT(bigLive.Darkest, 60);
    ASSERT_GT(redLive.MostSaturated, 150);
    EXPECT_FALSE(w.form->ReadingsStale());

    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
    EXPECT_LT(InkOf(big).Darkest, 60);
    // Stopped by the user: the last reading stays, in grey.
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_FALSE(w.form->Sampling());
    EXPECT_TRUE(w.form->ReadingsStale());
    EXPECT_GT(InkOf(big).Darkest, 70);
    EXPECT_LT(InkOf(red).MostSaturated, 40);
    EXPECT_EQ(big->text(), "____ dB");

    // Live again at the next start.
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
    EXPECT_FALSE(w.form->ReadingsStale());
    EXPECT_LT(InkOf(big).Darkest, 60);
    EXPECT_GT(InkOf(red).MostSaturated, 150);

    // Stopped by a fault of the stream: greyed as well.
    w.form->AStream().OnFailure("Input/output error");
    ASSERT_FALSE(w.form->Sampling());
    EXPECT_TRUE(w.form->ReadingsStale());
    EXPECT_GT(InkOf(big).Darkest, 70);
    for (const char* name : {"LS", "LSp", "LSN_O", "LCS", "ProgressBar1"})
        EXPECT_NE(w.form->findChild<QWidget*>(name)->graphicsEffect(), nullptr) << name;
}

TEST(MainWindowBand, SampleRateSetsSliderRangesAndBins) {
    Window w;
    auto* rate = w.Find<QComboBox>("CFrame");
    rate->setCurrentText("192 ksps");
    EXPECT_EQ(w.form->State().SampleRate, 192000.0);
    EXPECT_EQ(w.Find<QSlider>("TrackL")->maximum(), 96000);
    EXPECT_EQ(w.Find<QSlider>("TrackU")->maximum(), 96000);
    EXPECT_EQ(w.form->DSP().SamplesPerSecond(), 192000);
    rate->setCurrentText("6 ksps");
    EXPECT_EQ(w.Find<QSlider>("TrackU")->maximum(), 3000);
    EXPECT_EQ(w.Find<QSlider>("TrackU")->value(), 3000); // clamped with the range
    EXPECT_EQ(w.form->State().UpperBin, 512);             // round(3000 / 6000 * 1024)
}

TEST(MainWindowBand, EdgesNeverCrossAndEqualEdgesGiveZeroBandwidth) {
    Window w;
    auto* lower = w.Find<QSlider>("TrackL");
    auto* upper = w.Find<QSlider>("TrackU");
    upper->setValue(5000);
    lower->setValue(8000); // cut-on above cut-off is pulled back
    EXPECT_EQ(lower->value(), 5000);
    EXPECT_EQ(w.Find<QLabel>("LBW")->text(), " BW = 0 Hz");
    EXPECT_EQ(w.form->State().LowerBin, w.form->State().UpperBin);
    EXPECT_EQ(w.form->State().LowerBin, 107); // round(5000 / 48000 * 1024) = round(106.67)
    upper->setValue(1000); // cut-off below cut-on is pulled up
    EXPECT_EQ(upper->value(), 5000);
    lower->setValue(1000);
    EXPECT_EQ(w.Find<QLabel>("Label6")->text(), "Input Cut-on Frequency = 1000 Hz");
    EXPECT_EQ(w.Find<QLabel>("Label1")->text(), "Input Cut-off Frequency = 5000 Hz");
    EXPECT_EQ(w.Find<QLabel>("LBW")->text(), " BW = 4000 Hz");
    EXPECT_EQ(w.Find<QLabel>("L_L")->text(), "1000Hz");
    EXPECT_EQ(w.Find<QLineEdit>("EditUF")->text(), "5000");
    EXPECT_DOUBLE_EQ(w.form->DSP().StartFrequency(), 1000.0);
}

TEST(MainWindowBand, EditsMoveTheSlidersOnReturnAndBeepOnNonNumbers) {
    Window w;
    auto* edit = w.Find<QLineEdit>("EditLF");
    auto* lower = w.Find<QSlider>("TrackL");
    edit->setText("1234");
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(lower->value(), 1234);
    const int beeps = w.form->BeepCount();
    edit->setText("");
    QTest::keyClicks(edit, "12a");
    EXPECT_EQ(edit->text(), "12a");
    EXPECT_GT(w.form->BeepCount(), beeps); // the change itself beeps
    const int afterTyping = w.form->BeepCount();
    w.form->EditLFExit();
    EXPECT_EQ(w.form->BeepCount(), afterTyping + 1);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(lower->value(), 1234); // the slider stays where it was
    auto* editU = w.Find<QLineEdit>("EditUF");
    editU->setText("99999");
    QTest::keyClick(editU, Qt::Key_Return);
    EXPECT_EQ(w.Find<QSlider>("TrackU")->value(), 24000); // clamped to the slider's range
}

TEST(MainWindowClose, ClosingWhileSamplingOnlyStopsThenASecondCloseEnds) {
    Window w;
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
    EXPECT_FALSE(w.Close());
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.log.stops, 1);
    EXPECT_TRUE(w.Close());
}

TEST(MainWindowClose, ANonNumberInTheBandEditsDoesNotStopClosing) {
    Window w;
    w.Find<QLineEdit>("EditLF")->setText("abc");
    w.Find<QLineEdit>("EditUF")->setText("");
    EXPECT_TRUE(w.Close());
    EXPECT_TRUE(w.messages.empty());
}

TEST(MainWindowDevices, NoRenderDeviceTurnsTheSineOutputOff) {
    Window w({{"mic", "Microphone", true, false}});
    EXPECT_EQ(w.Find<QLabel>("LSO")->text(), "No out devices found!");
    EXPECT_FALSE(w.Find<QCheckBox>("CheckOut")->isChecked());
    EXPECT_EQ(w.Find<QComboBox>("ComboOutDevice")->count(), 0);
    EXPECT_FALSE(w.form->TerminateRequested());
}

TEST(MainWindowDevices, NoCaptureDeviceSaysSoAndEnds) {
    Window w({{"hdmi", "HDMI", false, true}});
    ASSERT_EQ(w.messages.size(), 1u);
    // The CR of the message is a line break on the screen.
    EXPECT_EQ(w.messages[0], "No sound card found!\nClosing Phonoscale.");
    EXPECT_TRUE(w.form->TerminateRequested());
}

TEST(MainWindowDevices, AnAlsaTestDeviceIsListedByItsDescription) {
    const auto conf = std::filesystem::temp_directory_path() / "phonoscale_ui_alsa.conf";
    std::ofstream(conf) << "pcm.testsine { type null hint { show on description \"Test sine 1 kHz\" } }\n";
    const std::string path = "/usr/share/alsa/alsa.conf:" + conf.string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    TFormEnvironment env; // the real ALSA device list and engines
    env.ShowMessage = [](const QString&) {};
    env.SettingsFolder = QString::fromStdString(std::filesystem::temp_directory_path().string());
    TForm1 form(env);
    unsetenv("ALSA_CONFIG_PATH");
    auto* combo = form.findChild<QComboBox*>("ComboAudioDevice");
    ASSERT_NE(combo, nullptr);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_TRUE(items.filter(QRegularExpression("^\\d\\d  Test sine 1 kHz$")).size() == 1) << items.join(", ").toStdString();
}
