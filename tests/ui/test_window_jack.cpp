// The whole window on the low-latency engine, on a private JACK server: the engine chosen at
// start-up, switched from the window, a server that goes away while sampling, and a restart.
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

#include <csignal>
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

    explicit JackWindow(std::optional<TAudioEngine> engine) {
        char pattern[] = "/tmp/ps-window-jack-XXXXXX";
        folder = ::mkdtemp(pattern);
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(
            std::vector<TPcmDevice>{{"null", "Null device", true, true}});
        env.Engine = engine;
        env.ShowMessage = [this](const QString& text) { messages.push_back(text); };
        env.SettingsFolder = QString::fromStdString(folder);
        form = std::make_unique<TForm1>(std::move(env));
        form->show();
    }
    ~JackWindow() {
        form.reset();
        std::filesystem::remove_all(folder);
    }
    template <typename T> T* Find(const char* name) { return form->findChild<T*>(name); }
    QPushButton* Button() { return Find<QPushButton>("SpeedButton1"); }
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
