// SPDX-License-Identifier: GPL-3.0-or-later
// The automatic 0 dB input level through the whole window, on a private sound server.
#include "../audio/AudioTestSupport.h"
#include "../mixtrel/PactlView.h"

#include "ui/TForm1.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

using namespace mixtreltest;

namespace {

constexpr const char* kLoop = "loop.monitor";
const TPcmDevice kServer{"pulse", "PulseAudio Sound Server", true, true};
const TPcmDevice kJack{"jack", "JACK Audio Connection Kit", true, true};

class AutoLevel : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server_.Start() || !audiotest::SoundServerReachable(audiotest::SoundServerSocket()))
            GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
        char pattern[] = "/tmp/ps-autolevel-XXXXXX";
        folder_ = mkdtemp(pattern);
        ASSERT_TRUE(Pactl(std::string("set-source-volume ") + kLoop + " -20dB"));
    }
    void TearDown() override {
        form_.reset();
        if (!folder_.empty())
            std::filesystem::remove_all(folder_);
    }

    // The window on the sound server's devices; the level library from `codecFolder`.
    TForm1& Open(std::vector<TPcmDevice> devices, const QString& codecFolder) {
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(std::move(devices));
        env.ShowMessage = [this](const QString& text) { messages_.push_back(text); };
        env.SettingsFolder = QString::fromStdString(folder_);
        env.CodecFolder = codecFolder;
        form_ = std::make_unique<TForm1>(std::move(env));
        form_->show();
        return *form_;
    }

    static bool AllNear(const std::vector<double>& levels, double db, double tolerance) {
        if (levels.size() != 2)
            return false;
        for (const double level : levels)
            if (std::fabs(level - db) > tolerance)
                return false;
        return true;
    }

    audiotest::PrivateSoundServer server_;
    std::string folder_;
    std::vector<QString> messages_;
    std::unique_ptr<TForm1> form_;
};

} // namespace

TEST_F(AutoLevel, StartUpSetsTheLoopToZeroDbAndASineReadsItsLevel) {
    TForm1& form = Open({kServer}, MIXTREL_DIR);
    EXPECT_TRUE(form.CLevel->isEnabled());
    EXPECT_TRUE(form.CLevel->isChecked());
    EXPECT_EQ(form.CLevel->text(), "Auto-Set Level to 0dB");
    const auto levels = ChannelDb(kLoop);
    EXPECT_TRUE(AllNear(levels, 0.0, 0.5))
        << levels.size() << " channels, first " << (levels.empty() ? 0.0 : levels[0]);

    // A 1 kHz sine of half full scale (-6.02 dB) played into the loop reads that level.
    const std::string tone = folder_ + "/tone.wav";
    ASSERT_EQ(std::system(("sox -n -r 48000 -c 2 -b 16 '" + tone +
                           "' synth 20 sine 1000 vol 0.5 >/dev/null 2>&1")
                              .c_str()),
              0);
    const std::string player =
        mixtreltest::Run("paplay --device=loop '" + tone + "' >/dev/null 2>&1 & echo $!");
    const pid_t playerPid = static_cast<pid_t>(std::atol(player.c_str()));
    ASSERT_GT(playerPid, 0);
    form.SpeedButton1->click();
    ASSERT_TRUE(form.Sampling());
    const double expected = 20.0 * std::log10(0.5);
    int steady = 0;
    double last = -999.0;
    for (int i = 0; i < 150 && steady < 10; ++i) {
        QTest::qWait(100);
        last = form.State().SNLevel;
        steady = std::fabs(last - expected) < 0.1 ? steady + 1 : 0;
    }
    form.SpeedButton1->click();
    kill(playerPid, SIGTERM);
    std::printf("S+N level of the -6.02 dB sine: %.3f dB\n", last);
    EXPECT_GE(steady, 10) << "S+N level " << last << " dB, expected " << expected;
    EXPECT_TRUE(messages_.empty());
}

TEST_F(AutoLevel, WithoutTheLibraryCLevelStaysDisabledAndNothingChanges) {
    TForm1& form = Open({kServer}, QString::fromStdString(folder_)); // no libmixtrel.so there
    EXPECT_FALSE(form.CLevel->isEnabled());
    EXPECT_TRUE(form.CLevel->isChecked());
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));
    EXPECT_EQ(form.LSD->text(), "01  PulseAudio Sound Server selected.");
    EXPECT_TRUE(messages_.empty());
    form.CLevel->click(); // disabled: no effect
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));
}

TEST_F(AutoLevel, DeviceChangeAndCLevelClickSetTheLevelOnlyWhenChecked) {
    TForm1& form = Open({kServer, kJack}, MIXTREL_DIR);
    ASSERT_TRUE(form.CLevel->isEnabled());
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), 0.0, 0.5));

    Pactl(std::string("set-source-volume ") + kLoop + " -20dB");
    form.ComboAudioDevice->setCurrentIndex(1); // no source behind it: nothing changes
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));
    form.ComboAudioDevice->setCurrentIndex(0);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), 0.0, 0.5));

    Pactl(std::string("set-source-volume ") + kLoop + " -20dB");
    form.CLevel->click(); // now unchecked: the level stays
    EXPECT_FALSE(form.CLevel->isChecked());
    EXPECT_FALSE(form.State().AutoLevel);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));
    form.ComboAudioDevice->setCurrentIndex(1);
    form.ComboAudioDevice->setCurrentIndex(0);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));
    form.CLevel->click(); // checked again: set at once
    EXPECT_TRUE(form.State().AutoLevel);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), 0.0, 0.5));
}

TEST_F(AutoLevel, PickingTheSameEntryAgainLeavesTheLevelAlone) {
    TForm1& form = Open({kServer, kJack}, MIXTREL_DIR);
    ASSERT_TRUE(form.CLevel->isEnabled() && form.CLevel->isChecked());
    Pactl(std::string("set-source-volume ") + kLoop + " -20dB"); // the user's own level

    // The same entry picked from the open list, and its handler run again for it (as a click
    // on it, a settings file naming it and an engine switch run it).
    form.ComboAudioDevice->showPopup();
    QTest::keyClick(form.ComboAudioDevice->view(), Qt::Key_Return);
    form.ComboAudioDeviceChange();
    EXPECT_EQ(form.ComboAudioDevice->currentIndex(), 0);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), -20.0, 0.01));

    // Another entry and back is a change: the level is set again.
    form.ComboAudioDevice->setCurrentIndex(1);
    form.ComboAudioDevice->setCurrentIndex(0);
    EXPECT_TRUE(AllNear(ChannelDb(kLoop), 0.0, 0.5));
    EXPECT_TRUE(messages_.empty());
}

// The automatic 0 dB level holds while the program samples; the source's own level comes back
// when sampling stops and when the window closes, unless someone changed it meanwhile. Each
// step is read in the server's own report (pactl).
TEST_F(AutoLevel, TheSourcesLevelComesBackWhenSamplingStopsAndWhenTheWindowCloses) {
    ASSERT_TRUE(Pactl(std::string("set-source-volume ") + kLoop + " 30%"));
    const auto before = ChannelRaw(kLoop);
    const std::vector<long> full{65536, 65536};
    const auto show = [](const char* when) {
        std::printf("%-28s %s", when,
                    mixtreltest::Run(std::string("pactl get-source-volume ") + kLoop).c_str());
    };
    show("before start-up:");
    TForm1& form = Open({kServer}, MIXTREL_DIR);
    EXPECT_EQ(ChannelRaw(kLoop), full);
    show("after start-up:");
    form.SpeedButton1->click();
    ASSERT_TRUE(form.Sampling());
    EXPECT_EQ(ChannelRaw(kLoop), full);
    show("while sampling:");
    form.SpeedButton1->click();
    EXPECT_EQ(ChannelRaw(kLoop), before);
    show("after stop:");
    form.SpeedButton1->click(); // each start sets 0 dB again
    EXPECT_EQ(ChannelRaw(kLoop), full);
    show("sampling again:");
    form.close(); // while sampling, closing only stops
    ASSERT_FALSE(form.Sampling());
    EXPECT_EQ(ChannelRaw(kLoop), before);
    show("after close while sampling:");

    // Changed by the user while sampling: the user's level stays.
    form.SpeedButton1->click();
    ASSERT_TRUE(Pactl(std::string("set-source-volume ") + kLoop + " 20%"));
    const auto users = ChannelRaw(kLoop);
    form.SpeedButton1->click();
    EXPECT_EQ(ChannelRaw(kLoop), users);

    // Set at start-up and left so until the window closes.
    form_.reset();
    Pactl(std::string("set-source-volume ") + kLoop + " 30%");
    TForm1& again = Open({kServer}, MIXTREL_DIR);
    EXPECT_EQ(ChannelRaw(kLoop), full);
    again.close();
    EXPECT_EQ(ChannelRaw(kLoop), before);
    show("after closing:");
    EXPECT_TRUE(messages_.empty());
}
