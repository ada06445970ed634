// SPDX-License-Identifier: GPL-3.0-or-later
// The whole window on the low-latency engine, on a private JACK server: the engine chosen at
// start-up, switched from the window, a server that goes away while sampling, and a restart;
// the clients connected are the ones the lists show, lists that follow the server's clients,
// and a server that freezes while sampling.
#include "JackTestSupport.h"

#include "audio/WdmStru.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

using namespace jacktest;

namespace {

struct JackWindow {
    std::vector<QString> messages;
    std::unique_ptr<TForm1> form;
    std::string folder;

    explicit JackWindow(std::optional<TAudioEngine> engine,
                        std::chrono::milliseconds stallFloor = std::chrono::seconds(2)) {
        char pattern[] = "/tmp/ps-window-jack-XXXXXX";
        folder = ::mkdtemp(pattern);
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(
            std::vector<TPcmDevice>{{"null", "Null device", true, true}});
        env.Engine = engine;
        env.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        env.SettingsFolder = QString::fromStdString(folder);
        env.StallFloor = stallFloor;
        form = std::make_unique<TForm1>(std::move(env));
        form->show();
    }
    ~JackWindow() {
        form.reset();
        std::filesystem::remove_all(folder);
    }
    template <typename T> T* Find(const char* name) { return form->findChild<T*>(name); }
    QPushButton* Button() { return Find<QPushButton>("SpeedButton1"); }
    QComboBox* Combo(const char* name) { return Find<QComboBox>(name); }
    // Starts sampling and waits for a few blocks; false (and the new message) when it does not.
    testing::AssertionResult StartAndWaitForBlocks();
    QStringList Items(const char* combo) {
        QStringList items;
        auto* box = Find<QComboBox>(combo);
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
};

// Runs the event loop until `done` holds or `limitMs` passes.
bool Wait(const std::function<bool()>& done, int limitMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > limitMs)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

testing::AssertionResult JackWindow::StartAndWaitForBlocks() {
    const std::size_t said = messages.size();
    Button()->click();
    if (messages.size() > said)
        return testing::AssertionFailure() << messages.back().toStdString();
    const long long before = form->BlocksReceived();
    if (!Wait([&] { return form->BlocksReceived() >= before + 3; }))
        return testing::AssertionFailure() << "no blocks";
    return testing::AssertionSuccess();
}

// The server's own report of the connections, printed for the record.
std::string Lsp() {
    const std::string lsp = PrivateJackServer::Run("jack_lsp -c");
    std::printf("jack_lsp -c:\n%s", lsp.c_str());
    return lsp;
}

using Ports = std::vector<std::string>;

class WindowOnJack : public ::testing::Test {
protected:
    void SetUp() override {
        if (!PrivateJackServer::Installed())
            GTEST_SKIP() << "jackd is not installed: the JACK window tests are skipped";
        ASSERT_TRUE(server_.Start());
        tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
        ASSERT_TRUE(tone_->Open());
    }
    PrivateJackServer server_;
    std::unique_ptr<ToneClient> tone_;
};

} // namespace

TEST_F(WindowOnJack, TheCommandLinesEngineIsSelectedShownAndSamplesUntilTheServerGoesAway) {
    JackWindow w(aeWDM);
    auto* engine = w.Find<QComboBox>("CEngine");
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(engine->isHidden());
    EXPECT_EQ(engine->currentIndex(), 1);
    EXPECT_EQ(w.form->AStream().Engine(), aeWDM);
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest"}));
    EXPECT_EQ(w.Items("ComboOutDevice"), (QStringList{"01  system", "02  pstest"}));
    w.Find<QComboBox>("ComboAudioDevice")->setCurrentIndex(1);
    EXPECT_EQ(w.Find<QLabel>("LSD")->text(), "02  pstest selected.");

    w.Button()->click();
    ASSERT_TRUE(w.messages.empty()) << w.messages.front().toStdString();
    EXPECT_FALSE(engine->isEnabled()) << "no engine switch while sampling";
    const long long before = w.form->BlocksReceived();
    ASSERT_TRUE(Wait([&] { return w.form->BlocksReceived() >= before + 5; }));

    // The server goes away: one message, the window stopped, no hang.
    tone_.reset();
    server_.Signal(SIGKILL);
    ASSERT_TRUE(Wait([&] { return !w.messages.empty(); }));
    Wait([] { return false; }, 300); // a second message would arrive here
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].startsWith("Unable to read data from the sound card: "))
        << w.messages[0].toStdString();
    EXPECT_FALSE(w.Button()->isChecked());
    EXPECT_EQ(w.Button()->text(), "Start Sampling");
    EXPECT_FALSE(w.form->AStream().Active());
    EXPECT_TRUE(engine->isEnabled());

    // The server is back: sampling starts again on the same device.
    server_.Stop();
    ASSERT_TRUE(server_.Start());
    tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
    ASSERT_TRUE(tone_->Open());
    w.Button()->click();
    EXPECT_EQ(w.messages.size(), 1u);
    const long long again = w.form->BlocksReceived();
    EXPECT_TRUE(Wait([&] { return w.form->BlocksReceived() >= again + 5; }));
    EXPECT_EQ(w.Button()->text(), "Stop Sampling");
    w.Button()->click();
}

TEST_F(WindowOnJack, EngineChangeRebuildsTheListsAndReselectsTheNames) {
    JackWindow w(aeMME);
    auto* engine = w.Find<QComboBox>("CEngine");
    EXPECT_FALSE(engine->isHidden()) << "an engine chosen on the command line can be changed";
    EXPECT_EQ(w.Items("ComboAudioDevice"), QStringList{"01  Null device"});

    engine->setCurrentIndex(1);
    EXPECT_EQ(w.form->AStream().Engine(), aeWDM);
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest"}));
    w.Find<QComboBox>("ComboAudioDevice")->setCurrentIndex(1);
    w.Find<QComboBox>("ComboOutDevice")->setCurrentIndex(1);

    // A new client appears; the switch back and forth lists it and keeps the chosen names.
    ToneClient later("alater", 1000.0, 0.1);
    ASSERT_TRUE(later.Open());
    engine->setCurrentIndex(0);
    EXPECT_EQ(w.Items("ComboAudioDevice"), QStringList{"01  Null device"});
    engine->setCurrentIndex(1);
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest", "03  alater"}));
    EXPECT_EQ(w.Find<QComboBox>("ComboAudioDevice")->currentIndex(), 0)
        << "the sound-card name is not in this list";

    // Sampling on the low-latency engine; switching engines stops it first.
    w.Find<QComboBox>("ComboAudioDevice")->setCurrentIndex(1);
    w.Button()->click();
    ASSERT_TRUE(w.messages.empty()) << w.messages.front().toStdString();
    ASSERT_TRUE(Wait([&] { return w.form->BlocksReceived() >= 2; }));
    w.form->CEngine->setCurrentIndex(0); // as a settings file could
    EXPECT_FALSE(w.Button()->isChecked());
    EXPECT_EQ(w.form->AStream().Engine(), aeMME);
    EXPECT_FALSE(w.form->AStream().Active());
}

TEST_F(WindowOnJack, WithoutAChoiceOnTheCommandLineTheEngineChoiceStaysHidden) {
    JackWindow w(std::nullopt);
    auto* engine = w.Find<QComboBox>("CEngine");
    EXPECT_TRUE(engine->isHidden());
    engine->setCurrentIndex(1); // as a loaded settings file does: the entry, not the engine
    EXPECT_EQ(w.form->AStream().Engine(), aeMME);
    EXPECT_EQ(w.Items("ComboAudioDevice"), QStringList{"01  Null device"});
}

TEST(WindowWithoutJack, TheLowLatencyEngineWithoutAServerHasNoDevicesAndSaysSoAtStart) {
    setenv("JACK_DEFAULT_SERVER", "ps-no-such-server-here", 1);
    JackWindow w(aeWDM);
    EXPECT_FALSE(w.form->TerminateRequested()) << "the window stays for the other engine";
    EXPECT_TRUE(w.Items("ComboAudioDevice").isEmpty());
    EXPECT_EQ(w.Find<QLabel>("LSO")->text(), "No out devices found!");
    w.Button()->click();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "WDM Audio Engine failed to initialize");
    EXPECT_FALSE(w.Button()->isChecked());
    // The sound-card engine is one switch away.
    w.Find<QComboBox>("CEngine")->setCurrentIndex(0);
    EXPECT_EQ(w.Items("ComboAudioDevice"), QStringList{"01  Null device"});
}

TEST_F(WindowOnJack, TheClientsConnectedAreTheOnesTheListsShowWithOneWayClients) {
    // Clients registered one after another: the table holds both directions, each list one.
    tone_.reset();
    OneWayClient asink("asink", 0, 2), bsrcA("bsrcA", 2, 0), csrcB("csrcB", 2, 0),
        dsink("dsink", 0, 2);
    ASSERT_TRUE(asink.Open() && bsrcA.Open() && csrcB.Open() && dsink.Open());
    JackWindow w(aeWDM);
    ASSERT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "03  bsrcA", "04  csrcB"}));
    ASSERT_EQ(w.Items("ComboOutDevice"), (QStringList{"01  system", "02  asink", "05  dsink"}));

    w.Combo("ComboAudioDevice")->setCurrentIndex(2);
    EXPECT_EQ(w.Find<QLabel>("LSD")->text(), "04  csrcB selected.");
    ASSERT_TRUE(w.StartAndWaitForBlocks());
    std::string lsp = Lsp();
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:in_1"), Ports{"csrcB:out_1"});
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:in_2"), Ports{"csrcB:out_2"});
    w.Button()->click();

    // With the sine on, the output goes to the playback entry's client.
    w.Combo("ComboOutDevice")->setCurrentIndex(2);
    w.Find<QCheckBox>("CheckOut")->setChecked(true);
    ASSERT_TRUE(w.StartAndWaitForBlocks());
    lsp = Lsp();
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:in_1"), Ports{"csrcB:out_1"});
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:out_1"), Ports{"dsink:in_1"});
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:out_2"), Ports{"dsink:in_2"});
    EXPECT_TRUE(ConnectionsOf(lsp, "bsrcA:out_1").empty());
    w.Button()->click();
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(WindowOnJack, TheListsFollowTheServersClientsWhenOpenedAndAtEveryStart) {
    JackWindow w(aeWDM);
    ASSERT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest"}));

    // A client that came after the lists were filled is there when the list opens.
    auto bsrcA = std::make_unique<OneWayClient>("bsrcA", 2, 0);
    ASSERT_TRUE(bsrcA->Open());
    w.Combo("ComboAudioDevice")->showPopup();
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest", "03  bsrcA"}));
    w.Combo("ComboAudioDevice")->hidePopup();
    w.Combo("ComboAudioDevice")->setCurrentIndex(2);

    // The server restarts and its clients come back in another order: Start finds the chosen
    // client under its new number.
    bsrcA.reset();
    tone_.reset();
    server_.Stop();
    ASSERT_TRUE(server_.Start());
    bsrcA = std::make_unique<OneWayClient>("bsrcA", 2, 0);
    tone_ = std::make_unique<ToneClient>("pstest", 1500.0, 0.5);
    ASSERT_TRUE(bsrcA->Open() && tone_->Open());
    ASSERT_TRUE(w.StartAndWaitForBlocks());
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  bsrcA", "03  pstest"}));
    EXPECT_EQ(w.Find<QLabel>("LSD")->text(), "02  bsrcA selected.");
    const std::string lsp = Lsp();
    EXPECT_EQ(ConnectionsOf(lsp, "Phonoscale:in_1"), Ports{"bsrcA:out_1"});
    w.Button()->click();

    // The chosen client is gone at the next start: one message naming it, nothing else taken.
    bsrcA.reset();
    w.Button()->click();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0], "Unable to open device: 02  bsrcA");
    EXPECT_FALSE(w.form->Sampling());
    EXPECT_FALSE(w.form->AStream().Active());
    EXPECT_EQ(w.Items("ComboAudioDevice"), (QStringList{"01  system", "02  pstest"}));
}

TEST_F(WindowOnJack, AServerFrozenWhileSamplingStopsItWithOneMessageAndARestartWorks) {
    JackWindow w(aeWDM, std::chrono::milliseconds(1000));
    w.Combo("ComboAudioDevice")->setCurrentIndex(1);
    ASSERT_TRUE(w.StartAndWaitForBlocks());
    EXPECT_FALSE(w.form->ReadingsStale());

    QElapsedTimer frozen;
    server_.Signal(SIGSTOP);
    frozen.start();
    const bool said = Wait([&] { return !w.messages.empty(); }, 15000);
    const qint64 afterMs = frozen.elapsed();
    Wait([] { return false; }, 1200); // a second message would arrive here
    server_.Signal(SIGCONT);
    std::printf("No audio for %lld ms before the message\n", static_cast<long long>(afterMs));
    ASSERT_TRUE(said);
    ASSERT_EQ(w.messages.size(), 1u) << w.messages.back().toStdString();
    EXPECT_EQ(w.messages[0], "No audio from \"02  pstest\" for 1 s");
    EXPECT_GE(afterMs, 900);
    EXPECT_FALSE(w.Button()->isChecked());
    EXPECT_EQ(w.Button()->text(), "Start Sampling");
    EXPECT_FALSE(w.form->AStream().Active());
    EXPECT_TRUE(w.form->ReadingsStale()) << "the meters grey as after a stop";

    // The server goes on: sampling starts again on the same client, and nothing more is said.
    ASSERT_TRUE(w.StartAndWaitForBlocks());
    EXPECT_FALSE(w.form->ReadingsStale());
    w.Button()->click();
    EXPECT_EQ(w.messages.size(), 1u);
}
