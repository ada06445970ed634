// SPDX-License-Identifier: GPL-3.0-or-later
// The peak recorder in the whole window on a private sound server: the window's own coherent
// tone loops back through the server's monitor, steps from 1500 Hz to 3000 Hz and is recorded,
// paused and saved.
#include "../audio/AudioTestSupport.h"
#include "WindowRig.h"

#include "instruments/PeakRecorder.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/peak/PeakTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

using namespace std::chrono_literals;

namespace {

bool PumpWindowUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (done())
            return true;
        std::this_thread::sleep_for(2ms);
    }
    return done();
}

// Points of the ring (oldest first) within 1 Hz of `hz` and 0.2 dB of full scale.
int PointsAt(const MeasurementState& state, double hz) {
    int n = 0;
    for (const auto& p :
         PeakPointsOldestFirst(state.PeakLog, state.PeakLogIndex, state.PeakLogWrapped))
        n += std::abs(p.Frequency - hz) < 1.0 && std::abs(p.Level) < 0.2;
    return n;
}

} // namespace

TEST(PeakEndToEnd, ToneStepRecordedPausedAndSavedOldestFirst) {
    audiotest::PrivateSoundServer server;
    if (!server.Start() || !audiotest::SoundServerReachable(audiotest::SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";

    std::vector<QString> messages;
    TFormEnvironment env;
    env.Devices = std::make_shared<const std::vector<TPcmDevice>>(
        std::vector<TPcmDevice>{{"pulse", "Sound server", true, true}});
    env.ShowMessage = [&](const QString& text) { messages.push_back(text); };
    env.SettingsFolder = QString::fromStdString(std::filesystem::temp_directory_path().string());
    TForm1 form(std::move(env));
    form.show();
    auto& state = form.State();
    TPeakTab& peak = form.PeakTab();
    form.PageControl1->setCurrentWidget(form.TabPeak); // the chart paints from live data

    // 150 points (the ring wraps during the run), set through the panel while stopped.
    peak.SetRange1Click();
    peak.EPkN->setText("150");
    peak.BPKOK->click();
    ASSERT_EQ(state.PeakLog.size(), 150u);

    // Sample length 1024 at 48 ksps, the tone with a period of 32 samples: 1500 Hz, bin 32.
    form.findChild<QCheckBox*>("CheckOut")->setChecked(true);
    form.findChild<QSlider*>("TrackF")->setValue(5);
    form.SpeedButton1->click();
    ASSERT_TRUE(form.Sampling()) << (messages.empty() ? "" : messages[0].toStdString());

    EXPECT_TRUE(PumpWindowUntil([&] { return state.PeakLogIndex >= 100; }, 20s));
    EXPECT_GE(PointsAt(state, 1500.0), 80) << "index " << state.PeakLogIndex;
    EXPECT_EQ(PointsAt(state, 3000.0), 0);

    // Period 16: 3000 Hz. Run on until the ring has wrapped past slot 40 (the loop through the
    // server delays the step by a few dozen blocks).
    form.findChild<QSlider*>("TrackF")->setValue(4);
    EXPECT_TRUE(
        PumpWindowUntil([&] { return state.PeakLogWrapped && state.PeakLogIndex >= 40; }, 20s));
    EXPECT_GE(PointsAt(state, 3000.0), 40);
    EXPECT_GE(PointsAt(state, 1500.0), 40);

    // A click on the chart pauses: nothing more is recorded.
    QTest::mouseClick(peak.PaintPeak, Qt::LeftButton, {}, QPoint(50, 50));
    ASSERT_TRUE(peak.LPkPause->isVisible());
    const std::vector<TPeakLogEntry> paused = state.PeakLog;
    const std::int32_t pausedIndex = state.PeakLogIndex;
    const long long blocks = form.BlocksReceived();
    PumpWindowUntil([&] { return form.BlocksReceived() >= blocks + 12; }, 5s);
    EXPECT_GE(form.BlocksReceived(), blocks + 12) << "the engine stopped delivering";
    EXPECT_EQ(state.PeakLogIndex, pausedIndex);
    form.SpeedButton1->click();
    ASSERT_FALSE(form.Sampling());
    EXPECT_FALSE(peak.LPkPause->isVisible());
    for (std::size_t i = 0; i < paused.size(); ++i)
        ASSERT_EQ(paused[i].Frequency, state.PeakLog[i].Frequency) << i;

    // Saved: 150 lines, times from 0 in steps of 1024 / 48000 s, the 1500 Hz points first and
    // the 3000 Hz points last, exactly as the ring holds them oldest first.
    const std::string path =
        (std::filesystem::temp_directory_path() / "ps-peak-e2e-trace.txt").string();
    peak.Hooks().ChooseTraceFile = [&] { return std::optional<std::string>(path); };
    peak.SaveTracetoFile1Click();
    EXPECT_TRUE(messages.empty()) << messages[0].toStdString();
    const auto expected =
        PeakPointsOldestFirst(state.PeakLog, state.PeakLogIndex, state.PeakLogWrapped);
    ASSERT_EQ(expected.size(), 150u);
    std::ifstream in(path);
    std::string line;
    std::size_t k = 0;
    bool reached3000 = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double t = 0, f = 0, l = 0;
        ASSERT_TRUE(fields >> t >> f >> l) << line;
        ASSERT_LT(k, expected.size());
        EXPECT_NEAR(t, static_cast<double>(k) * 1024.0 / 48000.0, 1e-14) << k; // 15 digits
        EXPECT_EQ(static_cast<float>(f), expected[k].Frequency) << k;
        EXPECT_EQ(static_cast<float>(l), expected[k].Level) << k;
        if (std::abs(f - 3000.0) < 1.0)
            reached3000 = true;
        EXPECT_FALSE(reached3000 && std::abs(f - 1500.0) < 1.0) << "1500 Hz after 3000 Hz at " << k;
        ++k;
    }
    EXPECT_EQ(k, 150u);
    EXPECT_NEAR(expected.front().Frequency, 1500.0, 1.0);
    EXPECT_NEAR(expected.back().Frequency, 3000.0, 1.0);
    std::filesystem::remove(path);
}
