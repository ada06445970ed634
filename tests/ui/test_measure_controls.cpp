// SPDX-License-Identifier: GPL-3.0-or-later
// Measurement controls of the window: menus, smoothing, meters, calibration, sine output.
#include "WindowRig.h"

#include "core/SpectrumSmoothing.h"
#include "core/WindowCalibration.h"
#include "dsp/DSXFastFourier.h"
#include "dsp/TBDSP.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

using namespace uitest;

// Readable QString values in failure messages.
static void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Replaces an edit's text the way the user does: select everything, then type.
void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
}

// Replaces an edit's text in one go, as pasting over a selection does.
void Paste(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    edit->insert(text);
}

// Brings the page holding `widget` to the front of every tab widget above it (a page's parent
// is the tab widget's page stack).
void Reveal(QWidget* widget) {
    for (QWidget* page = widget; page->parentWidget() != nullptr; page = page->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget()))
            if (tabs->indexOf(page) >= 0)
                tabs->setCurrentWidget(page);
}

// The meter text of a level in dB with `digits` decimals, written independently of the window.
QString DbText(double level, int digits, const char* unit) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, " %*.*f ", digits + 3, digits, level);
    QString text = QString::fromLatin1(buffer);
    if (!text.contains(QRegularExpression("[1-9]")))
        text.replace('-', ' '); // a reading that rounds to zero carries no sign
    return text + unit;
}

// Starts sampling with sample length 2^(index + 6) at 48 ksps.
void StartSampling(Window& w, int samplesIndex = 4) {
    w.Find<QComboBox>("ComboSamples")->setCurrentIndex(samplesIndex);
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
}

// Delivers `blocks` engine blocks of 2048 samples of a full-scale sine at `hz`.
void Feed(Window& w, int blocks, double hz = 1500.0) {
    TDataBufferF out(2, TSingleArray(2048));
    for (int k = 0; k < blocks; ++k) {
        TDataBufferF in = SineBlock(2048, hz);
        w.Deliver(in, out);
    }
}

QString Text(Window& w, const char* label) {
    return w.Find<QLabel>(label)->text();
}

QAction* WindowItem(Window& w, int k) {
    return w.Find<QAction>(QString("WT%1").arg(k).toLatin1().constData());
}

} // namespace

TEST(MeasureMenus, WindowTypeChecksOneItemAndRecalibrates) {
    Window w;
    auto& state = w.form->State();
    std::vector<double> gains;
    for (int k = 0; k < 6; ++k) {
        WindowItem(w, k)->trigger();
        EXPECT_EQ(state.WindowKind, k);
        for (int j = 0; j < 6; ++j)
            EXPECT_EQ(WindowItem(w, j)->isChecked(), j == k) << "after " << k << ", item " << j;
        for (double earlier : gains)
            EXPECT_GT(std::fabs(state.WindowTotalGain - earlier), 1e-3) << "window " << k;
        gains.push_back(state.WindowTotalGain);
    }
    // A unit sine's power over the positive bins is N^2 mean(w^2) / 4: Rect gives 1/2, Hanning
    // (mean of w^2 = 3/8) gives sqrt(3/8) / 2.
    EXPECT_NEAR(gains[0], 0.5, 2e-3);
    EXPECT_NEAR(gains[3], std::sqrt(3.0 / 8.0) / 2.0, 2e-3);

    // Whatever the window, a full-scale sine then reads 0 dB.
    StartSampling(w, 5);
    for (int k : {0, 5, 1}) {
        WindowItem(w, k)->trigger();
        w.Find<QAction>("Reset1")->trigger();
        Feed(w, 1);
        EXPECT_NEAR(state.SNLevel, 0.0, 0.01) << "window " << k;
    }
}

TEST(MeasureMenus, WeightingItemsSetTheWeightingAndStayExclusive) {
    Window w;
    const char* items[] = {"flat", "pso", "Cmes"};
    for (int k : {1, 2, 0, 2}) {
        w.Find<QAction>(items[k])->trigger();
        EXPECT_EQ(w.form->State().Weighting, k);
        for (int j = 0; j < 3; ++j)
            EXPECT_EQ(w.Find<QAction>(items[j])->isChecked(), j == k) << items[j];
    }
}

TEST(MeasureKeys, FunctionKeysChooseTheTimeConstantAndRResets) {
    Window w;
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    auto* ctc = w.Find<QComboBox>("CTC");
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_F8, 2}, {Qt::Key_F11, 0}, {Qt::Key_F12, 1}, {Qt::Key_F8, 2}};
    for (const auto& [key, item] : keys) {
        QTest::keyClick(w.form.get(), key);
        EXPECT_EQ(ctc->currentIndex(), item) << key;
        EXPECT_EQ(w.form->State().Controls.CTC, item);
    }

    auto& state = w.form->State();
    QTest::keyClick(w.form.get(), 'r');
    EXPECT_TRUE(state.ResetSmoothing);
    state.ResetSmoothing = false;
    w.Find<QAction>("Reset1")->trigger();
    EXPECT_TRUE(state.ResetSmoothing);

    // In an edit the letter is text.
    auto* edit = w.Find<QLineEdit>("ET1");
    Reveal(edit);
    edit->setFocus();
    QTest::keyClick(edit, 'r');
    EXPECT_EQ(edit->text(), "10r");
    EXPECT_EQ(state.Controls.ET[0], "10r");
    // The function keys still act from inside an edit.
    QTest::keyClick(edit, Qt::Key_F11);
    EXPECT_EQ(ctc->currentIndex(), 0);
}

TEST(MeasureSmoothing, TimeConstantAndReductionEdits) {
    Window w;
    auto& state = w.form->State();
    EXPECT_EQ(state.ReducePoints, 1000); // the edit's start value is in force
    auto* time = w.Find<QLineEdit>("ETime");
    Type(time, "2");
    EXPECT_DOUBLE_EQ(state.MeterAlpha, 1.0 - std::exp(-1.0 / (2.0 * 48000.0 / 1024.0)));
    Type(time, "0.5");
    EXPECT_DOUBLE_EQ(state.MeterAlpha, 1.0 - std::exp(-1.0 / 23.4375));

    // A non-number is quiet while typed and beeps when the edit is left; alpha stays.
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    Reveal(time);
    time->setFocus();
    const int beeps = w.form->BeepCount();
    Type(time, "0.5x");
    EXPECT_EQ(w.form->BeepCount(), beeps);
    w.Find<QComboBox>("CTC")->setFocus();
    EXPECT_EQ(w.form->BeepCount(), beeps + 1);
    EXPECT_TRUE(time->hasFocus());
    EXPECT_DOUBLE_EQ(state.MeterAlpha, 1.0 - std::exp(-1.0 / 23.4375));

    // The reduction takes whole numbers as they are entered; others beep when the edit is left.
    auto* points = w.Find<QLineEdit>("EAv");
    Paste(points, "250");
    EXPECT_EQ(state.ReducePoints, 250);
    Paste(points, "2.5");
    EXPECT_EQ(w.form->BeepCount(), beeps + 1);
    QTest::keyClick(points, Qt::Key_Return);
    EXPECT_EQ(w.form->BeepCount(), beeps + 2);
    EXPECT_EQ(state.ReducePoints, 250);

    // The reduction in force shapes the spectrum: 1024 / (2 * 100) = 5 bins a point.
    w.Find<QComboBox>("CRed")->setCurrentIndex(1);
    Paste(points, "100");
    StartSampling(w);
    Feed(w, 1);
    EXPECT_EQ(state.DisplayPoints.size(), 100u);
    EXPECT_DOUBLE_EQ(state.DisplayPoints[1].x, 7 * 48000.0 / 1024);
}

TEST(MeasureMeters, FullScaleSineReadsZeroDbAtItsFrequency) {
    Window w;
    w.Find<QComboBox>("CUnits")->setCurrentIndex(0);
    StartSampling(w, 5); // N = 2048: 1500 Hz falls on bin 64
    Feed(w, 6);
    const auto& state = w.form->State();
    EXPECT_NEAR(state.SNLevel, 0.0, 0.005);
    EXPECT_EQ(Text(w, "LSN_M"), DbText(state.SNLevel, 3, "dB"));
    EXPECT_TRUE(QRegularExpression("^  ?(-| )0\\.00\\d dB$").match(Text(w, "LSN_M")).hasMatch())
        << Text(w, "LSN_M").toStdString();
    EXPECT_EQ(Text(w, "LSN"), "S+N=" + DbText(state.SNLevel, 3, "dB"));
    EXPECT_EQ(Text(w, "LS"), "S=" + DbText(state.SLevel, 3, "dB"));
    EXPECT_NEAR(state.SLevel, 0.0, 0.01);

    // The peak fit on the window's main lobe puts a tone that sits on a bin within a hundredth
    // of a bin (23.4375 Hz) of it.
    const QString peak = Text(w, "LSp");
    ASSERT_TRUE(QRegularExpression("^\\d+\\.\\d\\d Hz$").match(peak).hasMatch())
        << peak.toStdString();
    EXPECT_NEAR(peak.chopped(3).toDouble(), 1500.0, 0.01 * 48000.0 / 2048.0);
    EXPECT_NEAR(w.Find<QProgressBar>("ProgressBar1")->value(), 100, 2);

    // Volts: a full-scale sine is sqrt(8/20) V peak-peak before calibration, shown without a unit.
    w.Find<QComboBox>("CUnits")->setCurrentIndex(1);
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "632 m"); // 0.632456 V to three digits
    EXPECT_EQ(Text(w, "LSN"), "S+N=632 m");
    w.Find<QComboBox>("CUnits")->setCurrentIndex(2); // RMS: sqrt(1/20) V
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "223 m");

    // Five digits: five significant digits in volts, five decimals in dB.
    w.Find<QComboBox>("CDigits")->setCurrentText("5");
    EXPECT_EQ(state.MeterDigits, 5);
    w.Find<QComboBox>("CUnits")->setCurrentIndex(1);
    Feed(w, 1);
    EXPECT_TRUE(QRegularExpression("^632\\.\\d\\d m$").match(Text(w, "LSN_M")).hasMatch())
        << Text(w, "LSN_M").toStdString();
    w.Find<QComboBox>("CUnits")->setCurrentIndex(0);
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), DbText(state.SNLevel, 5, "dB"));
    EXPECT_TRUE(QRegularExpression("^ +-?0\\.\\d{5} dB$").match(Text(w, "LSN_M")).hasMatch());
}

TEST(MeasureMeters, MeterMenuShowsAndHidesTheReadOuts) {
    Window w;
    auto* special = w.Find<QLabel>("LSp");
    EXPECT_TRUE(w.Find<QAction>("DP")->isChecked());
    EXPECT_FALSE(special->isHidden());
    w.Find<QAction>("DS")->trigger();
    EXPECT_EQ(w.form->State().SpecialMeter, 1);
    EXPECT_TRUE(w.Find<QAction>("DS")->isChecked());
    EXPECT_FALSE(w.Find<QAction>("DP")->isChecked());
    EXPECT_FALSE(special->isHidden());
    w.Find<QAction>("DS")->trigger(); // a second click switches the special meter off
    EXPECT_EQ(w.form->State().SpecialMeter, 3);
    EXPECT_TRUE(special->isHidden());
    EXPECT_TRUE(w.Find<QAction>("DOff")->isChecked());
    for (const char* other : {"DP", "DS", "DC"})
        EXPECT_FALSE(w.Find<QAction>(other)->isChecked()) << other;
    w.Find<QAction>("DC")->trigger();
    EXPECT_EQ(w.form->State().SpecialMeter, 2);
    EXPECT_FALSE(special->isHidden());
    w.Find<QAction>("DOff")->trigger();
    EXPECT_TRUE(special->isHidden());
    EXPECT_TRUE(w.Find<QAction>("DOff")->isChecked());

    const std::pair<const char*, const char*> toggles[] = {{"SNL", "LSN"}, {"SL", "LS"}};
    for (const auto& [item, label] : toggles) {
        auto* action = w.Find<QAction>(item);
        action->trigger();
        EXPECT_FALSE(action->isChecked()) << item;
        EXPECT_TRUE(w.Find<QLabel>(label)->isHidden()) << label;
        action->trigger();
        EXPECT_TRUE(action->isChecked()) << item;
        EXPECT_FALSE(w.Find<QLabel>(label)->isHidden()) << label;
    }
}

TEST(MeasureCalibration, LevelAndVoltageEditsFollowEachOther) {
    Window w;
    auto* db = w.Find<QLineEdit>("ECalDB");
    auto* volts = w.Find<QLineEdit>("ECalV");
    auto* unit = w.Find<QComboBox>("CCalUnit");
    auto* rms = w.Find<QLabel>("Label23");

    Type(db, "10"); // 10 mW into 50 Ohms: 0.707 V RMS, 2 V peak-peak
    EXPECT_EQ(unit->currentText(), "V");
    EXPECT_EQ(volts->text(), "2");
    EXPECT_EQ(rms->text(), "= 0.71 Veffective");
    EXPECT_DOUBLE_EQ(w.form->State().CalLevel, 10.0);

    Type(db, "-40"); // 0.1 uW: 6.32456 mV peak-peak, truncated to six digits
    EXPECT_EQ(unit->currentText(), "mV");
    EXPECT_EQ(volts->text(), "6.32455");
    EXPECT_EQ(rms->text(), "= 2.24 mVeffective");

    unit->setCurrentText("V");
    Type(volts, "1"); // 1 V peak-peak: 10 log10(1 / 8 / 50 * 1000) = 3.979400087 dBm
    EXPECT_EQ(db->text(), "3.9794");
    EXPECT_EQ(rms->text(), "= 0.35 V effective");
    unit->setCurrentText("mV");        // the unit rescales the same number
    EXPECT_EQ(db->text(), "-56.0205"); // -56.02059991 truncated toward zero
    EXPECT_EQ(volts->text(), "1");

    const int beeps = w.form->BeepCount();
    Paste(db, "1O");
    EXPECT_EQ(w.form->BeepCount(), beeps + 1);
    EXPECT_EQ(volts->text(), "1");
    EXPECT_EQ(unit->currentText(), "mV");
    EXPECT_EQ(rms->text(), "= 0.35 mV effective");
    EXPECT_NEAR(w.form->State().CalLevel, -56.0206, 1e-4);
    Paste(volts, "x");
    EXPECT_EQ(w.form->BeepCount(), beeps + 2);
    EXPECT_EQ(db->text(), "1O");
}

TEST(MeasureCalibration, CalibratingMakesTheNextReadingTheCalibrationLevel) {
    Window w;
    w.Find<QComboBox>("CUnits")->setCurrentIndex(0);
    Type(w.Find<QLineEdit>("ETime"), "0"); // no averaging: every block of the tone reads alike
    EXPECT_EQ(w.form->State().MeterAlpha, 1.0);
    auto* reset = w.Find<QPushButton>("BReset");
    EXPECT_FALSE(reset->isEnabled());
    // A calibration withdrawn before a block was measured leaves the meters uncalibrated.
    auto* level = w.Find<QLineEdit>("ECalDB");
    Paste(level, "-20");
    w.Find<QPushButton>("Button1")->click();
    reset->click();
    StartSampling(w, 5);
    Feed(w, 3);
    EXPECT_EQ(w.form->State().RefLevel, 0.0);
    EXPECT_EQ(Text(w, "LSN_M"), DbText(w.form->State().SNLevel, 3, "dB"));
    EXPECT_NEAR(w.form->State().SNLevel, 0.0, 0.01);

    Paste(level, "0");
    w.Find<QPushButton>("Button1")->click();
    EXPECT_TRUE(reset->isEnabled());
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "  0.000 dBm");
    EXPECT_EQ(Text(w, "LSN"), "S+N=  0.000 dBm");
    Feed(w, 3);
    EXPECT_EQ(Text(w, "LSN_M"), "  0.000 dBm");
    w.Find<QComboBox>("CUnits")->setCurrentIndex(1); // 0 dBm is 632 mV peak-peak
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "632 mVpp");

    reset->click();
    EXPECT_FALSE(reset->isEnabled());
    EXPECT_EQ(w.form->State().RefLevel, 0.0);
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "632 m");

    // The reset is undone in one step: the meters read 0 dBm again.
    auto* undo = w.Find<QPushButton>("BUndoCal");
    ASSERT_TRUE(undo->isEnabled());
    undo->click();
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_TRUE(reset->isEnabled());
    Feed(w, 1);
    EXPECT_EQ(Text(w, "LSN_M"), "632 mVpp");
}

TEST(MeasureSineOutput, FrequencyLabelAndDeviceChoice) {
    Window w;
    auto* period = w.Find<QSlider>("TrackF");
    EXPECT_EQ(Text(w, "LFreq"), "12000 Hz");
    period->setValue(14);
    EXPECT_EQ(Text(w, "LFreq"), "2.9296875 Hz"); // 48000 / 16384
    period->setValue(2);
    EXPECT_EQ(Text(w, "LFreq"), "12000 Hz");

    auto* devices = w.Find<QComboBox>("ComboOutDevice");
    ASSERT_EQ(devices->count(), 2);
    devices->setCurrentIndex(1);
    EXPECT_EQ(Text(w, "LSO"), "02  USB codec selected.");
    EXPECT_EQ(w.form->State().SelectedOutDeviceName, "02  USB codec");
    StartSampling(w);
    EXPECT_EQ(w.form->AStream().OutputDevice.Index, 1);
}

TEST(MeasureSineOutput, OutputBlockCarriesTheToneOnTheChosenChannels) {
    Window w;
    const float a = static_cast<float>(2147483391.0);
    auto* enable = w.Find<QCheckBox>("CheckOut");
    enable->setChecked(true);
    StartSampling(w);
    EXPECT_EQ(w.form->AStream().Directions, ddBoth);

    TDataBufferF in = SineBlock(2048, 1500.0);
    TDataBufferF out(2, TSingleArray(2048, 7.0f));
    w.Deliver(in, out);
    for (std::size_t i = 0; i < 2048; i += 4) {
        EXPECT_NEAR(out[0][i], 0.0f, 1.0f) << i;
        EXPECT_EQ(out[0][i + 1], a) << i;
        EXPECT_NEAR(out[0][i + 2], 0.0f, 1.0f) << i;
        EXPECT_EQ(out[0][i + 3], -a) << i;
    }
    EXPECT_EQ(out[1], out[0]);

    w.Find<QComboBox>("COutChan")->setCurrentText("+L/-R");
    w.Deliver(in, out);
    for (std::size_t i = 0; i < 2048; ++i)
        ASSERT_EQ(out[1][i], -out[0][i]) << i;
    EXPECT_EQ(out[0][1], a);
    w.Find<QComboBox>("COutChan")->setCurrentText("R only");
    w.Deliver(in, out);
    EXPECT_EQ(out[0], TSingleArray(2048, 0.0f));
    EXPECT_EQ(out[1][3], -a);

    // Switching the output off while sampling waits for the next start.
    enable->setChecked(false);
    out.assign(2, TSingleArray(2048, 7.0f));
    w.Deliver(in, out);
    EXPECT_EQ(out[1][1], a);
    w.Find<QPushButton>("SpeedButton1")->click();
    StartSampling(w);
    EXPECT_EQ(w.form->AStream().Directions, ddCapture);
    out.assign(2, TSingleArray(2048, 7.0f));
    w.Deliver(in, out);
    EXPECT_EQ(out[0][1], 7.0f);
    EXPECT_EQ(out[1][1], 7.0f);

    // And switching it on while sampling waits as well.
    enable->setChecked(true);
    w.Deliver(in, out);
    EXPECT_EQ(out[0][1], 7.0f);
}

TEST(MeasureErrors, FailingBlocksGiveOneMessageAndAListLine) {
    Window w;
    StartSampling(w); // N = 1024, two processed blocks per engine block
    TDataBufferF shortBlock = SineBlock(1500, 1500.0);
    TDataBufferF out(2, TSingleArray(1500));
    for (int k = 0; k < 20; ++k)
        w.Deliver(shortBlock, out);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_FALSE(w.messages[0].isEmpty());
    auto* list = w.Find<QListWidget>("ListBox1");
    EXPECT_EQ(list->findItems(w.messages[0], Qt::MatchExactly).size(), 1);
    // Good blocks afterwards are measured again, without further messages.
    Feed(w, 2);
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.form->State().Texts.RepaintRequests, 2u);
    // A new run reports its first failure again.
    w.Find<QPushButton>("SpeedButton1")->click();
    StartSampling(w);
    w.Deliver(shortBlock, out);
    EXPECT_EQ(w.messages.size(), 2u);
    EXPECT_EQ(list->findItems(w.messages[0], Qt::MatchExactly).size(), 1);
}

// A block holding a NaN or an infinity is left out: the readings stay, no message box, and one
// line at the end of ListBox1 counts such blocks until the next start.
TEST(MeasureErrors, NonFiniteBlocksAreLeftOutAndCountedInTheList) {
    Window w;
    StartSampling(w); // N = 1024, two processed blocks per engine block
    Feed(w, 3);
    const MeasurementState& state = w.form->State();
    const double level = state.SNLevel;
    const QString shown = Text(w, "LSN_M");
    const std::vector<double> spectrum = state.Spectrum;
    TDataBufferF out(2, TSingleArray(2048));
    TDataBufferF bad = SineBlock(2048, 1500.0);
    bad[0][100] = std::numeric_limits<float>::quiet_NaN();
    bad[1][1500] = std::numeric_limits<float>::infinity();
    w.Deliver(bad, out);
    EXPECT_EQ(state.SNLevel, level);
    EXPECT_EQ(state.Spectrum, spectrum);
    EXPECT_EQ(Text(w, "LSN_M"), shown);
    auto* list = w.Find<QListWidget>("ListBox1");
    const auto line = [list](const char* text) {
        return list->findItems(text, Qt::MatchExactly).size();
    };
    EXPECT_EQ(line("Invalid blocks: 2 (NaN or infinite samples, left out)"), 1);
    bad[0][100] = 0.0f;
    w.Deliver(bad, out); // one processed block left out, the other measured
    EXPECT_EQ(line("Invalid blocks: 3 (NaN or infinite samples, left out)"), 1);
    EXPECT_EQ(line("Invalid blocks: 2 (NaN or infinite samples, left out)"), 0);
    EXPECT_EQ(list->item(list->count() - 1)->text().toStdString(),
              "Invalid blocks: 3 (NaN or infinite samples, left out)");
    EXPECT_TRUE(w.messages.empty());
    w.Find<QPushButton>("SpeedButton1")->click(); // stopped: the count stays in the list
    EXPECT_EQ(line("Invalid blocks: 3 (NaN or infinite samples, left out)"), 1);
    StartSampling(w); // a new run counts afresh
    Feed(w, 1);
    EXPECT_EQ(list->findItems("Invalid blocks", Qt::MatchStartsWith).size(), 0);
}

// A change of the rate or of N recalibrates the window, re-derives the meter time constant and
// refreshes the tone's frequency, without the window being picked again.
TEST(MeasureSetup, RateAndLengthChangesRederiveCalibrationAlphaAndToneFrequency) {
    Window w;
    auto& state = w.form->State();
    auto* rate = w.Find<QComboBox>("CFrame");
    auto* length = w.Find<QComboBox>("ComboSamples");
    auto* tone = w.Find<QLabel>("LFreq");
    EXPECT_TRUE(tone->text().startsWith("12000")) << tone->text().toStdString();

    rate->setCurrentText("192 ksps");
    EXPECT_DOUBLE_EQ(state.MeterAlpha, TimeToAlpha(0.5, 192000, 1024));
    EXPECT_TRUE(tone->text().startsWith("48000")) << tone->text().toStdString();
    EXPECT_EQ(state.WindowCalRate, 192000.0);

    // The calibration equals a fresh one of the window at the new N.
    w.Find<QAction>("WT0")->trigger(); // Rect, whose lobe width depends most on N
    for (const char* n : {"64", "16384"}) {
        length->setCurrentText(n);
        MeasurementState fresh;
        fresh.BlockLength = std::atoi(n);
        fresh.SampleRate = 192000.0;
        fresh.WindowKind = 0;
        TDSXFastFourier fft;
        CalibrateWindow(fresh, fft);
        EXPECT_EQ(state.WindowCalLength, fresh.BlockLength);
        EXPECT_DOUBLE_EQ(state.WindowTotalGain, fresh.WindowTotalGain) << n;
        EXPECT_EQ(state.PeakHalfWidth, fresh.PeakHalfWidth) << n;
        EXPECT_DOUBLE_EQ(state.MeterAlpha, TimeToAlpha(0.5, 192000, fresh.BlockLength)) << n;
    }

    // The custom time constants follow the rate too (they are rebuilt from it every block).
    rate->setCurrentText("48 ksps");
    EXPECT_TRUE(tone->text().startsWith("12000")) << tone->text().toStdString();
    state.Controls.CTC = 1;
    BuildSmoothAlpha(state, w.form->DSP().SamplesPerSecond());
    EXPECT_DOUBLE_EQ(state.SmoothAlpha[0], TimeToAlpha(10, 48000, 16384));
}

// Every exit of a checked edit holding a non-number beeps and keeps the focus, also the second
// time it is left unchanged; the calibration edits and the spectrum's axis edits included, and
// without a message box.
TEST(MeasureEdits, EveryExitOfANonNumberBeepsAndKeepsTheFocus) {
    Window w;
    w.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.form.get()));
    auto& spectrum = w.form->SpectrumTab();
    for (QLineEdit* edit :
         {w.Find<QLineEdit>("ETime"), w.Find<QLineEdit>("EAv"), w.Find<QLineEdit>("ECalDB"),
          w.Find<QLineEdit>("ECalV"), spectrum.ETop, spectrum.EOffset, spectrum.EBoxes,
          w.Find<QLineEdit>("EditLF"), w.Find<QLineEdit>("EditUF")}) {
        const std::string name = edit->objectName().toStdString();
        Reveal(edit);
        edit->setFocus();
        ASSERT_TRUE(edit->hasFocus()) << name;
        Paste(edit, "1x");
        const int beeps = w.form->BeepCount();
        for (int exit = 1; exit <= 2; ++exit) {
            QTest::keyClick(edit, Qt::Key_Tab); // on to the next control
            EXPECT_EQ(w.form->BeepCount(), beeps + exit) << name << " exit " << exit;
            EXPECT_TRUE(edit->hasFocus()) << name << " exit " << exit;
        }
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(w.form->BeepCount(), beeps + 3) << name;
        Paste(edit, "2");
        QTest::keyClick(edit, Qt::Key_Tab);
        EXPECT_FALSE(edit->hasFocus()) << name; // a number lets the focus go
        EXPECT_EQ(w.form->BeepCount(), beeps + 3) << name;
    }
    EXPECT_TRUE(w.messages.empty());
}
