// SPDX-License-Identifier: GPL-3.0-or-later
// The stream facade: engine configuration, device selection by name, name lists.
#include "audio/PcmDeviceList.h"
#include "audio/Quibex_Strm.h"

#include <gtest/gtest.h>

namespace {

// An engine that does no I/O and remembers what it was told.
class TMockEngine final : public TAudioStreamEngine {
public:
    explicit TMockEngine(std::vector<std::string> names, int* starts)
        : names_(std::move(names)), starts_(starts) {}
    void Start() override {
        if (active_)
            return;
        active_ = true;
        ++*starts_;
    }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }
    std::vector<std::string> InputNames() const override { return names_; }
    std::vector<std::string> OutputNames() const override {
        return {names_.begin(), names_.begin() + 1};
    }

private:
    std::vector<std::string> names_;
    int* starts_;
    bool active_ = false;
};

struct FacadeFixture : ::testing::Test {
    int starts = 0;
    TMockEngine* last = nullptr;
    TQuibexStream stream{[this](TAudioEngine kind) {
        auto engine = std::make_unique<TMockEngine>(
            kind == aeMME ? std::vector<std::string>{"01  Card", "02  USB", "03  Card"}
                          : std::vector<std::string>{"01  Low Latency"},
            &starts);
        last = engine.get();
        return engine;
    }};
};

} // namespace

TEST_F(FacadeFixture, SoundCardSelectionTakesTheLastEqualEntryElseZero) {
    std::string name = "03  Card";
    EXPECT_EQ(stream.SelectInputDevice(name), 2);
    EXPECT_EQ(stream.InputDevice.Index, 2);
    name = "01  Card";
    EXPECT_EQ(stream.SelectInputDevice(name), 0);
    name = "gone";
    EXPECT_EQ(stream.SelectInputDevice(name), 0);
    EXPECT_EQ(name, "01  Card"); // the name becomes the selected entry
    name = "";
    EXPECT_EQ(stream.SelectOutputDevice(name), 0);
}

TEST_F(FacadeFixture, DuplicateEntriesSelectTheLaterOne) {
    TQuibexStream dup([&](TAudioEngine) {
        return std::make_unique<TMockEngine>(std::vector<std::string>{"01  X", "01  X"}, &starts);
    });
    std::string name = "01  X";
    EXPECT_EQ(dup.SelectInputDevice(name), 1);
}

TEST_F(FacadeFixture, EngineSwitchRebuildsListsAndUnknownNamesGiveMinusOne) {
    stream.SetEngine(aeWDM);
    ASSERT_EQ(stream.InputDeviceNames(), std::vector<std::string>{"01  Low Latency"});
    std::string name = "01  low latency";
    EXPECT_EQ(stream.SelectInputDevice(name), 0); // case-insensitive
    EXPECT_EQ(name, "01  low latency");           // and left alone
    name = "02  USB";
    EXPECT_EQ(stream.SelectInputDevice(name), -1);
    stream.SetEngine(aeMME);
    EXPECT_EQ(stream.InputDeviceNames().size(), 3u);
}

TEST_F(FacadeFixture, StartConfiguresAFreshEngineAndIgnoresASecondStart) {
    stream.Directions = ddBoth;
    stream.InputDevice.SamplesPerBuf = 4096;
    stream.BufferCount = 5;
    stream.Start();
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->Directions, ddBoth);
    EXPECT_EQ(last->InputDevice.SamplesPerBuf, 4096);
    EXPECT_EQ(last->BufferCount, 5);
    stream.Start();
    EXPECT_EQ(starts, 1);
    stream.Stop();
    stream.Stop();
    EXPECT_FALSE(stream.Active());
}

TEST(DeviceSettings, AssignCopiesSettingsAndRefusesOtherObjects) {
    TDeviceSettings a(3, 1, 96000, 24, 512);
    TDeviceSettings b;
    b.Assign(a);
    EXPECT_EQ(b, a);
    TPersistentObject other;
    try {
        b.Assign(other);
        FAIL() << "no exception";
    } catch (const EAudioError& e) {
        EXPECT_STREQ(e.what(), "Invalid assignment to DeviceSettings");
    }
}

TEST(DeviceNames, NumberedFromOneWithTwoBlanksPerDirection) {
    const std::vector<TPcmDevice> devices{{"default", "Default", true, true},
                                          {"mic", "Microphone", true, false},
                                          {"hdmi", "HDMI", false, true}};
    EXPECT_EQ(FormatDeviceNames(devices, true),
              (std::vector<std::string>{"01  Default", "02  Microphone"}));
    EXPECT_EQ(FormatDeviceNames(devices, false),
              (std::vector<std::string>{"01  Default", "02  HDMI"}));
}

namespace {

// An engine that raises OnData as a completion would and touches itself afterwards; it counts
// destructions that happen while it is inside its completion.
class TDeliveringEngine final : public TAudioStreamEngine {
public:
    explicit TDeliveringEngine(int* destroyedInside) : destroyedInside_(destroyedInside) {}
    ~TDeliveringEngine() override {
        if (delivering_)
            ++*destroyedInside_;
    }
    void Start() override { active_ = true; }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }
    std::vector<std::string> InputNames() const override { return {"01  Card"}; }
    std::vector<std::string> OutputNames() const override { return {"01  Card"}; }

    void Complete() {
        delivering_ = true;
        TDataBufferI ints;
        TDataBufferF in(2, TSingleArray(16)), out(2, TSingleArray(16));
        OnData(this, ints, in, out);
        ++completed_; // the engine's own code after the handler
        delivering_ = false;
    }
    void Fail() {
        delivering_ = true;
        active_ = false;
        OnFailure("gone");
        delivering_ = false;
    }

private:
    int* destroyedInside_;
    bool active_ = false;
    bool delivering_ = false;
    int completed_ = 0;
};

struct DeliveringFixture : ::testing::Test {
    int destroyedInside = 0;
    TDeliveringEngine* current = nullptr;
    TQuibexStream stream{[this](TAudioEngine) {
        auto engine = std::make_unique<TDeliveringEngine>(&destroyedInside);
        current = engine.get();
        return engine;
    }};
};

} // namespace

TEST_F(DeliveringFixture, RestartOrEngineSwitchInsideTheHandlersDestroysNoRunningEngine) {
    int calls = 0;
    stream.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        ++calls;
        stream.Stop();
        if (calls % 2 == 0)
            stream.SetEngine(calls % 4 == 0 ? aeMME : aeWDM);
        stream.Start();
    };
    stream.OnFailure = [&](const std::string&) { stream.Start(); };
    stream.Start();
    for (int i = 0; i < 8; ++i) {
        auto* engine = current;
        engine->Complete();
        EXPECT_NE(current, engine);
    }
    current->Fail(); // restarted from the failure handler
    EXPECT_TRUE(stream.Active());
    EXPECT_EQ(calls, 8);
    EXPECT_EQ(destroyedInside, 0);
    EXPECT_GT(stream.RetiredEngines(), 0u);
    stream.Stop(); // outside every handler: the retired engines go now
    EXPECT_EQ(stream.RetiredEngines(), 0u);
    // A retired engine that is entered again from the outer level is not destroyed under itself.
    stream.Start();
    auto* first = current;
    stream.OnData = [&](void*, TDataBufferI&, TDataBufferF&, TDataBufferF&) {
        stream.SetEngine(aeMME);
    };
    first->Complete(); // first is retired inside, kept while it completes
    first->Complete(); // entered again although retired: still kept while inside
    EXPECT_EQ(destroyedInside, 0);
}
