// SPDX-License-Identifier: GPL-3.0-or-later
// The window with the stand-in four-ADC library: selecting the source, its failures, the
// pipeline on the chosen pair, the vector voltmeter and the collection file.
#include "N4StandinSignal.h"
#include "WindowRig.h"

#include "audio/ExternalAdc.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace uitest;

namespace {

// The stand-in's environment for one test, cleared afterwards.
struct StandinEnv {
    explicit StandinEnv(const char* open = "0", const char* signal = nullptr,
                        const char* speed = "8") {
        ::setenv("N4STANDIN_OPEN", open, 1);
        if (signal)
            ::setenv("N4STANDIN_SIGNAL", signal, 1);
        ::setenv("N4STANDIN_SPEED", speed, 1);
    }
    ~StandinEnv() {
        for (const char* name :
             {"N4STANDIN_OPEN", "N4STANDIN_SIGNAL", "N4STANDIN_SPEED", "N4STANDIN_RATE"})
            ::unsetenv(name);
    }
};

// Runs the event loop until `done` holds or `seconds` passed.
template <typename Done> bool PumpUntil(Done done, double seconds = 10.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Visible(Window& w, const char* tab) {
    auto* pages = w.Find<QTabWidget>("PageControl1");
    return pages->isTabVisible(pages->indexOf(w.form->findChild<QWidget*>(tab)));
}

} // namespace

TEST(ExternalSource, ChoosingAPairOpensTheLibraryAndShowsItsControls) {
    StandinEnv env;
    Window w;
    auto* source = w.Find<QComboBox>("CN4");
    ASSERT_EQ(source->count(), 3);
    EXPECT_EQ(source->currentText(), "Sound");
    EXPECT_TRUE(w.Find<QGroupBox>("GroupN4")->isHidden());
    EXPECT_FALSE(Visible(w, "TabN4VVM"));

    source->setCurrentIndex(1);
    EXPECT_TRUE(w.form->ExternalAdc().AdcOpen());
    EXPECT_FALSE(w.Find<QGroupBox>("GroupN4")->isHidden());
    EXPECT_TRUE(Visible(w, "TabN4VVM"));
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.Find<QLineEdit>("EN4File")->text(), QDir(QDir::homePath()).filePath("N4.dat"));
    EXPECT_EQ(w.Find<QLineEdit>("EN4Time")->text(), "10");
    source->setCurrentIndex(2); // the library stays open from one pair to the other
    EXPECT_TRUE(w.form->ExternalAdc().AdcOpen());

    source->setCurrentIndex(0);
    EXPECT_FALSE(w.form->ExternalAdc().AdcOpen());
    EXPECT_TRUE(w.Find<QGroupBox>("GroupN4")->isHidden());
    EXPECT_FALSE(Visible(w, "TabN4VVM"));
}

TEST(ExternalSource, EachFailureShowsItsMessageAndReturnsToSound) {
    struct Case {
        const char* folder;
        const char* open;
        QString message;
    };
    const Case cases[] = {
        {"/nonexistent/folder", "0", "Error: Library libN4ADC.so not found!"},
        {N4_INCOMPLETE_DIR, "0", "Error: Library libN4ADC.so is missing a function!"},
        {N4_STANDIN_DIR, "1", "Error: No Norta4 hardware found!"},
        {N4_STANDIN_DIR, "2", "Error: Library Norta4_USB.dll or not found!"},
        {N4_STANDIN_DIR, "9",
         "Error: Library libN4ADC.so answered 9 when asked to open the Norta4 "
         "hardware, which is no known result!"}};
    for (const Case& c : cases) {
        StandinEnv env(c.open);
        Window w(kBothWays, {}, [&c](TFormEnvironment& e) { e.ExternalAdcFolder = c.folder; });
        w.Find<QComboBox>("CN4")->setCurrentIndex(1);
        EXPECT_EQ(w.Find<QComboBox>("CN4")->currentIndex(), 0) << c.folder << " " << c.open;
        EXPECT_FALSE(w.form->ExternalAdc().AdcOpen());
        EXPECT_FALSE(Visible(w, "TabN4VVM"));
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0], c.message);
        // Sampling then uses the sound card.
        w.Find<QPushButton>("SpeedButton1")->click();
        EXPECT_EQ(w.log.starts, 1);
        w.Find<QPushButton>("SpeedButton1")->click();
    }
}

TEST(ExternalSource, TheMetersReadTheLevelOfADC3WithThePairADC3And4) {
    // ADC3 carries 3e6 steps at 1 kHz: times 255 in the pipeline's 32-bit scale.
    StandinEnv env("0", "1000 1000000 0 2000000 30 3000000 -60 500000 135", "32");
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(2);
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
    EXPECT_EQ(w.log.starts, 0) << "the sound card is not started";
    EXPECT_EQ(w.form->State().EngineBlock, 4096);
    EXPECT_EQ(w.form->State().SubBlocks, 4); // 4096 / 1024
    EXPECT_EQ(w.Find<QComboBox>("CFrame")->currentText(), "48 ksps");
    EXPECT_FALSE(w.Find<QComboBox>("CN4")->isEnabled()) << "the source is fixed while sampling";
    // Seven seconds of signal: the meters' 0.5 s time constant has long settled.
    ASSERT_TRUE(PumpUntil([&] { return w.form->BlocksReceived() >= 80; }));
    const double expected = 20.0 * std::log10(3.0e6 * 255.0 / 2147483647.0);
    EXPECT_NEAR(w.form->State().SNLevel, expected, 0.01);
    EXPECT_NEAR(w.form->State().SLevel, expected, 0.01);
    // The right channel is ADC4.
    w.Find<QComboBox>("ComboChannel")->setCurrentIndex(1);
    const long long seen = w.form->BlocksReceived();
    ASSERT_TRUE(PumpUntil([&] { return w.form->BlocksReceived() >= seen + 80; }));
    EXPECT_NEAR(w.form->State().SNLevel, 20.0 * std::log10(0.5e6 * 255.0 / 2147483647.0), 0.01);
    w.Find<QPushButton>("SpeedButton1")->click();
    EXPECT_FALSE(w.form->ExternalAdc().Running());
    EXPECT_TRUE(w.form->ReadingsStale());
    EXPECT_TRUE(w.Find<QComboBox>("CN4")->isEnabled());
}

TEST(ExternalSource, SampleLengthsAboveAndBelowTheBlockGatherAndSplit) {
    StandinEnv env;
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    auto* samples = w.Find<QComboBox>("ComboSamples");
    for (const auto& [item, subBlocks, perCall] : {std::tuple{5, 2, 1}, std::tuple{7, 1, 2}}) {
        samples->setCurrentIndex(item); // 2048, then 8192
        const long long before = w.form->BlocksReceived();
        w.Find<QPushButton>("SpeedButton1")->click();
        EXPECT_EQ(w.form->State().SubBlocks, subBlocks);
        ASSERT_TRUE(PumpUntil([&] { return w.form->ExternalAdc().BlocksTaken() >= 8; }));
        w.Find<QPushButton>("SpeedButton1")->click();
        QApplication::processEvents();
        const auto taken = static_cast<long long>(w.form->ExternalAdc().BlocksTaken());
        const long long calls = w.form->BlocksReceived() - before;
        // One pipeline call per ADC block, or per two; a last half-gathered one is left over.
        EXPECT_EQ(calls, taken / perCall) << item;
    }
}

TEST(ExternalSource, TheVoltmeterShowsEachAdcAgainstTheReference) {
    StandinEnv env("0", "1000 1000000 0 2000000 30 3000000 -60 4000000 135");
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    w.Find<QComboBox>("CAd")->setCurrentIndex(2); // "ADC2"
    w.Find<QPushButton>("SpeedButton1")->click();
    const auto label = [&](const char* name) { return w.Find<QLabel>(name)->text(); };
    ASSERT_TRUE(PumpUntil([&] { return w.form->ExternalAdc().BlocksTaken() >= 3; }));
    QApplication::processEvents();
    EXPECT_EQ(label("L2"), QString("ADC2:      0.000dB /      0.000\u00B0"));
    EXPECT_EQ(label("L1"), QString("ADC1:     -6.021dB /    -30.000\u00B0"));
    EXPECT_EQ(label("L3"), QString("ADC3:      3.522dB /    -90.000\u00B0"));
    EXPECT_EQ(label("L4"), QString("ADC4:      6.021dB /    105.000\u00B0"));
    // A frequency without a whole period in the block leaves the readings as they are.
    w.Find<QLineEdit>("EFreq")->setText("0");
    const auto arrived = w.form->ExternalAdc().BlocksTaken();
    ASSERT_TRUE(PumpUntil([&] { return w.form->ExternalAdc().BlocksTaken() >= arrived + 2; }));
    QApplication::processEvents();
    EXPECT_EQ(label("L4"), QString("ADC4:      6.021dB /    105.000\u00B0"));
    w.Find<QPushButton>("SpeedButton1")->click();
}

TEST(ExternalSource, TheCollectionFileHoldsWhatTheLibrarySent) {
    const char* signalText = "1000 1000000 0 2000000 30 3000000 -60 4000000 135 50";
    StandinEnv env("0", signalText);
    const auto signal = n4standin::ParseSignal(signalText);
    Window w;
    const std::string path = w.folder + "/collected.dat";
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    w.Find<QCheckBox>("CN4Save")->setChecked(true);
    w.Find<QLineEdit>("EN4File")->setText(QString::fromStdString(path));
    w.Find<QLineEdit>("EN4Time")->setText("0.2"); // round(9600) div 4096 = 2 blocks
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(PumpUntil([&] { return w.form->ExternalAdc().BlocksTaken() >= 4; }));
    w.Find<QPushButton>("SpeedButton1")->click();
    EXPECT_TRUE(w.messages.empty());
    std::ifstream file(path);
    ASSERT_TRUE(file.good());
    std::string line;
    long long j = 0;
    bool equal = true;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        double t = -1;
        long long s[4] = {};
        in >> t >> s[0] >> s[1] >> s[2] >> s[3];
        EXPECT_DOUBLE_EQ(t, static_cast<double>(j) / 48000.0);
        for (int c = 0; c < 4; ++c)
            equal =
                equal && s[c] == n4standin::Sample(signal, c, static_cast<std::uint64_t>(j), 48000);
        ++j;
    }
    EXPECT_EQ(j, 2 * 4096);
    EXPECT_TRUE(equal);
}

TEST(ExternalSource, AnIntervalTooLongForMemoryIsRefusedAndAWriteErrorShowsOnce) {
    StandinEnv env;
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    w.Find<QCheckBox>("CN4Save")->setChecked(true);
    w.Find<QLineEdit>("EN4Time")->setText("1e12");
    w.Find<QPushButton>("SpeedButton1")->click();
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_FALSE(w.form->ExternalAdc().Running());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].contains("Shorten the Save Time Interval"))
        << w.messages[0].toStdString();

    w.messages.clear();
    w.Find<QLineEdit>("EN4Time")->setText("0.1");
    w.Find<QLineEdit>("EN4File")->setText("/nonexistent/folder/N4.dat");
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(PumpUntil([&] { return w.form->ExternalAdc().BlocksTaken() >= 2; }));
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].startsWith("Could not write \"/nonexistent/folder/N4.dat\""))
        << w.messages[0].toStdString();
}

TEST(ExternalSource, BlocksLostWhileTheWindowIsBusyShowAsInputGaps) {
    StandinEnv env("0", nullptr, "64");
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    w.Find<QPushButton>("SpeedButton1")->click();
    // The window does not run its event loop for a while: the ring fills, later blocks drop.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (w.form->ExternalAdc().Health().CaptureGaps == 0 &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(w.form->ExternalAdc().Health().CaptureGaps, 1u);
    ASSERT_TRUE(PumpUntil([&] {
        auto* list = w.Find<QListWidget>("ListBox1");
        return list->count() > 0 &&
               list->item(list->count() - 1)->text().startsWith("Input gaps: ");
    }));
    w.Find<QPushButton>("SpeedButton1")->click();
    auto* list = w.Find<QListWidget>("ListBox1");
    EXPECT_TRUE(list->item(list->count() - 1)->text().contains(" frames lost)"));
}

TEST(ExternalSource, AReportedRateThatIsNoItemIsShownAsItIs) {
    StandinEnv env;
    ::setenv("N4STANDIN_RATE", "47999.5", 1);
    Window w;
    w.Find<QComboBox>("CN4")->setCurrentIndex(1);
    w.Find<QPushButton>("SpeedButton1")->click();
    EXPECT_EQ(w.form->State().SampleRate, 47999.5);
    EXPECT_EQ(w.Find<QComboBox>("CFrame")->currentText(), "47.9995 ksps");
    w.Find<QPushButton>("SpeedButton1")->click();
    // Back to the sound card: the rate is the chosen item's again.
    w.Find<QComboBox>("CN4")->setCurrentIndex(0);
    EXPECT_EQ(w.Find<QComboBox>("CFrame")->currentText(), "48 ksps");
    EXPECT_EQ(w.form->State().SampleRate, 48000.0);
}

TEST(ExternalSource, StartUpOpensTheSourceTheSettingsNameOrSaysWhyNot) {
    char pattern[] = "/tmp/ps-adc-start-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string folder = pattern;
    {
        std::ofstream ini(folder + "/Phonoscale.ini");
        ini << "SoundPlatform=2\r\n";
    }
    {
        StandinEnv env;
        Window w(kBothWays, folder);
        EXPECT_EQ(w.Find<QComboBox>("CN4")->currentIndex(), 2);
        EXPECT_TRUE(w.form->ExternalAdc().AdcOpen());
        EXPECT_TRUE(Visible(w, "TabN4VVM"));
        EXPECT_TRUE(w.messages.empty());
    }
    {
        std::ofstream ini(folder + "/PhonoscalePrivate.ini");
        ini << "SoundPlatform=2\r\n";
    }
    {
        StandinEnv env("1"); // the hardware is gone: one message, and the sound card
        Window w(kBothWays, folder);
        EXPECT_EQ(w.Find<QComboBox>("CN4")->currentIndex(), 0);
        EXPECT_FALSE(Visible(w, "TabN4VVM"));
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_EQ(w.messages[0], "Error: No Norta4 hardware found!");
    }
    std::filesystem::remove_all(folder);
}
