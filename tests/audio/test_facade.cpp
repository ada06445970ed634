// The stream facade: engine configuration, device selection by name, name lists.
#include "audio/PcmDeviceList.h"
#include "audio/Quibex_Strm.h"

#include <gtest/gtest.h>

namespace {

// An engine that does no I/O and remembers what it was told.
class TMockEngine final : public TAudioStreamEngine {
public:
    explicit TMockEngine(std::vector<std::string> names, int* starts) : names_(std::move(names)), starts_(starts) {}
    void Start() override {
        if (active_)
            return;
        active_ = true;
        ++*starts_;
    }
    void Stop() override { active_ = false; }
    bool Active() const override { return active_; }
    std::vector<std::string> InputNames() const override { return names_; }
    std::vector<std::string> OutputNames() const override { return {names_.begin(), names_.begin() + 1}; }

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
    EXPECT_EQ(FormatDeviceNames(devices, true), (std::vector<std::string>{"01  Default", "02  Microphone"}));
    EXPECT_EQ(FormatDeviceNames(devices, false), (std::vector<std::string>{"01  Default", "02  HDMI"}));
}
