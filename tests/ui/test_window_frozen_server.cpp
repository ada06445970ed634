// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window on a private sound server whose process is frozen (SIGSTOP).
#include "AudioTestSupport.h"

#include "audio/AlsaPcm.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

using namespace audiotest;

namespace {

struct SoundWindow {
    std::vector<QString> messages;
    std::unique_ptr<TForm1> form;

    explicit SoundWindow(std::chrono::milliseconds stallFloor = std::chrono::seconds(2)) {
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(
            std::vector<TPcmDevice>{{"pulse", "Sound server", true, true}});
        env.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        env.SettingsFolder =
            QString::fromStdString(std::filesystem::temp_directory_path().string());
        env.StallFloor = stallFloor;
        form = std::make_unique<TForm1>(std::move(env));
        form->show();
    }
    QPushButton* Button() { return form->findChild<QPushButton*>("SpeedButton1"); }
};

// Runs the event loop until `done` holds or `limitMs` passes; returns the longest time between
// two ticks of a 10 ms timer meanwhile, i.e. how long the window went without handling events.
qint64 LongestStall(const std::function<bool()>& done, int limitMs) {
    QEventLoop loop;
    QElapsedTimer total, sinceTick;
    total.start();
    sinceTick.start();
    qint64 longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTick.restart());
        if (done() || total.elapsed() > limitMs)
            loop.quit();
    });
    tick.start(10);
    loop.exec();
    return longest;
}

} // namespace

TEST(WindowFrozenServer, StartStaysResponsiveAndGivesUpWithOneMessageAndStopIsQuick) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    SoundWindow w;

    // Start against the frozen server.
    server.Signal(SIGSTOP);
    QElapsedTimer click;
    click.start();
    w.Button()->click();
    const qint64 clickMs = click.elapsed();
    const qint64 stall = LongestStall([&] { return !w.messages.empty(); }, 20000);
    const qint64 gaveUpMs = click.elapsed();
    LongestStall([] { return false; }, 300); // a second message would arrive here
    std::printf("Start: click %lld ms, longest stall %lld ms, message after %lld ms\n",
                static_cast<long long>(clickMs), static_cast<long long>(stall),
                static_cast<long long>(gaveUpMs));
    // The session gives up after 5 s; a window that waits for it stalls for seconds. The bounds
    // leave room for a loaded machine (CI, several builds at once) and still catch that.
    EXPECT_LT(clickMs, 1000);
    EXPECT_LT(stall, 1000);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].startsWith("Cannot capture from \"01  Sound server\""))
        << w.messages[0].toStdString();
    EXPECT_TRUE(w.messages[0].endsWith("did not answer")) << w.messages[0].toStdString();
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.Button()->text(), "Start Sampling");

    // Sampling with the sine on, then the server freezes: Stop returns at once.
    server.Signal(SIGCONT);
    LongestStall([] { return TAlsaPcm::OpenCount() == 0; }, 20000); // the left thread closes
    ASSERT_EQ(TAlsaPcm::OpenCount(), 0);
    w.messages.clear();
    w.form->findChild<QCheckBox*>("CheckOut")->setChecked(true);
    w.Button()->click();
    const long long before = w.form->BlocksReceived();
    LongestStall([&] { return w.form->BlocksReceived() >= before + 3; }, 20000);
    ASSERT_GE(w.form->BlocksReceived(), before + 3) << "no blocks from the sound server";
    ASSERT_EQ(w.form->AStream().Directions, ddBoth);
    server.Signal(SIGSTOP);
    LongestStall([] { return false; }, 300);
    click.restart();
    w.Button()->click();
    const qint64 stopMs = click.elapsed();
    std::printf("Stop against the frozen server: %lld ms\n", static_cast<long long>(stopMs));
    EXPECT_LT(stopMs, 2000);
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.Button()->text(), "Start Sampling");
    EXPECT_TRUE(w.messages.empty()) << w.messages[0].toStdString();
    server.Signal(SIGCONT);
    LongestStall([] { return TAlsaPcm::OpenCount() == 0; }, 20000);
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}

TEST(WindowFrozenServer, AServerThatFreezesWhileSamplingStopsItWithOneMessage) {
    PrivateSoundServer server;
    if (!server.Start() || !SoundServerReachable(SoundServerSocket()))
        GTEST_SKIP() << "cannot start a private sound server (pulseaudio missing?)";
    SoundWindow w(std::chrono::milliseconds(1000));
    w.Button()->click();
    const long long before = w.form->BlocksReceived();
    LongestStall([&] { return w.form->BlocksReceived() >= before + 3; }, 20000);
    ASSERT_GE(w.form->BlocksReceived(), before + 3) << "no blocks from the sound server";

    server.Signal(SIGSTOP);
    QElapsedTimer frozen;
    frozen.start();
    const qint64 stall = LongestStall([&] { return !w.messages.empty(); }, 15000);
    const qint64 afterMs = frozen.elapsed();
    LongestStall([] { return false; }, 1200); // a second message would arrive here
    server.Signal(SIGCONT);
    std::printf("No audio for %lld ms before the message; longest stall %lld ms\n",
                static_cast<long long>(afterMs), static_cast<long long>(stall));
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "No audio from \"01  Sound server\" for 1 s");
    EXPECT_LT(stall, 1000);
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_EQ(w.Button()->text(), "Start Sampling");
    EXPECT_TRUE(w.form->ReadingsStale());
    LongestStall([] { return TAlsaPcm::OpenCount() == 0; }, 20000);
    EXPECT_EQ(TAlsaPcm::OpenCount(), 0);
}
