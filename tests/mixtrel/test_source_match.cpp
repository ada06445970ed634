// SPDX-License-Identifier: GPL-3.0-or-later
// Device-name matching rules and friendly-name truncation, without a sound server.
#include "mixtrel/SourceMatch.h"

#include <gtest/gtest.h>

using namespace mixtrel;

namespace {

TSourceEntry Source(const std::string& name, const std::string& description, bool monitor = false,
                    std::map<std::string, std::string> properties = {}) {
    return {name, description, monitor, std::move(properties)};
}

// A machine with a monitor, a USB microphone on card 1 and two capture devices on card 0.
std::vector<TSourceEntry> Machine() {
    return {
        Source("alsa_output.pci.monitor", "Monitor of Built-in Audio", true,
               {{"alsa.card", "0"}, {"alsa.card_name", "HDA Intel PCH"}, {"alsa.device", "0"}}),
        Source("alsa_input.usb", "USB Mic Mono", false,
               {{"alsa.card", "1"},
                {"alsa.card_name", "USB Mic"},
                {"alsa.name", "USB Audio"},
                {"alsa.device", "0"}}),
        Source("alsa_input.pci.analog", "Built-in Audio Analog Stereo", false,
               {{"alsa.card", "0"},
                {"alsa.card_name", "HDA Intel PCH"},
                {"alsa.name", "ALC892 Analog"},
                {"alsa.device", "0"}}),
        Source("alsa_input.pci.alt", "Built-in Audio Alt", false,
               {{"alsa.card", "0"},
                {"alsa.card_name", "HDA Intel PCH"},
                {"alsa.name", "ALC892 Alt Analog"},
                {"alsa.device", "2"}}),
    };
}

TMatchContext Context() {
    TMatchContext c;
    c.DefaultSource = "alsa_input.usb";
    c.Hints = [] {
        return std::vector<TAlsaHint>{
            {"default", "Default ALSA Output (currently PipeWire Media Server)"},
            {"pipewire", "PipeWire Sound Server"},
            {"sysdefault:CARD=PCH", "HDA Intel PCH, ALC892 Analog"},
            {"plughw:CARD=PCH,DEV=2", "HDA Intel PCH, ALC892 Alt Analog"},
            {"jack", "JACK Audio Connection Kit"},
        };
    };
    c.CardIndex = [](const std::string& id) { return id == "PCH" ? 0 : -1; };
    return c;
}

} // namespace

TEST(SourceMatch, DescriptionPrefixComesFirstInServerOrder) {
    const auto sources = Machine();
    EXPECT_EQ(MatchSource("Built-in Audio", sources, Context()), 2); // two match: the first
    EXPECT_EQ(MatchSource("", sources, Context()), 1); // the first source that is no monitor
    EXPECT_EQ(MatchSource("built-in audio", sources, Context()), -1);
    EXPECT_EQ(MatchSource("Built-in Audio Analog Stereo and more", sources, Context()), -1);
}

// A capture entry never means the monitor of an output, whatever its name begins with.
TEST(SourceMatch, NoNameMeansAMonitorByItsDescription) {
    const auto sources = Machine();
    const std::vector<TSourceEntry> monitorOnly{sources[0]};
    for (const char* name : {"", "M", "Monitor", "Monitor of Built-in Audio"}) {
        EXPECT_EQ(MatchSource(name, monitorOnly, Context()), -1) << '"' << name << '"';
        EXPECT_EQ(MatchSource(name, sources, Context()), name[0] == '\0' ? 1 : -1) << name;
    }
}

TEST(SourceMatch, ServerDevicesByNameOrDescriptionGiveTheDefaultSource) {
    const auto sources = Machine();
    for (const char* name :
         {"pulse", "pipewire", "default", "pulse:SERVER=x", "PipeWire Sound Server",
          "Default ALSA Output (currently PipeWire Media Server)"})
        EXPECT_EQ(MatchSource(name, sources, Context()), 1) << name;
    auto noDefault = Context();
    noDefault.DefaultSource = "gone";
    EXPECT_EQ(MatchSource("pipewire", sources, noDefault), -1);
}

TEST(SourceMatch, HardwareEntriesFindTheirCardsCaptureNeverAMonitor) {
    const auto sources = Machine();
    auto c = Context();
    EXPECT_EQ(MatchSource("HDA Intel PCH, ALC892 Analog", sources, c), 2);     // card 0 by id
    EXPECT_EQ(MatchSource("HDA Intel PCH, ALC892 Alt Analog", sources, c), 3); // DEV=2
    EXPECT_EQ(MatchSource("hw:CARD=PCH,DEV=2", sources, c), 3);
    EXPECT_EQ(MatchSource("front:CARD=\"PCH\",DEV=0", sources, c), 2);
    EXPECT_EQ(MatchSource("hw:1", sources, c), 1);
    EXPECT_EQ(MatchSource("hw:5,0", sources, c), -1);
    // Without ALSA's help the card's names in the properties decide.
    c.Hints = nullptr;
    c.CardIndex = nullptr;
    EXPECT_EQ(MatchSource("HDA Intel PCH, ALC892 Alt Analog", sources, c), 3);
    EXPECT_EQ(MatchSource("USB Mic, USB Audio", sources, c), 1);
    EXPECT_EQ(MatchSource("HDA Intel PCH, HDMI 0", sources, c), 2);
    EXPECT_EQ(MatchSource("HDA Intel", sources, c), -1); // not the whole card name
    EXPECT_EQ(MatchSource("JACK Audio Connection Kit", sources, Context()), -1);
    // Only the monitor on the card: nothing.
    const std::vector<TSourceEntry> monitorOnly{sources[0]};
    EXPECT_EQ(MatchSource("hw:0,0", monitorOnly, Context()), -1);
    EXPECT_EQ(MatchSource("HDA Intel PCH, ALC892 Analog", monitorOnly, c), -1);
}

TEST(SourceMatch, TruncationCutsBetweenCharactersWithinBothLimits) {
    EXPECT_EQ(TruncateUtf8("abc", 127, 199), "abc");
    EXPECT_EQ(TruncateUtf8("abcdef", 4, 199), "abcd");
    // 150 two-byte characters: 99 fit into 199 bytes (the 100th would need byte 200).
    std::string e;
    for (int i = 0; i < 150; ++i)
        e += "\xC3\xA9";
    const std::string cut = TruncateUtf8(e, 127, 199);
    EXPECT_EQ(cut.size(), 198u);
    // Three-byte characters: 66 fit (198 bytes); 127 ASCII letters then one more are cut at 127.
    std::string euro;
    for (int i = 0; i < 80; ++i)
        euro += "\xE2\x82\xAC";
    EXPECT_EQ(TruncateUtf8(euro, 127, 199).size(), 198u);
    EXPECT_EQ(TruncateUtf8(std::string(130, 'x'), 127, 199).size(), 127u);
    // A character outside the basic plane takes two UTF-16 units: with one left it goes.
    EXPECT_EQ(TruncateUtf8(std::string(126, 'x') + "\xF0\x9F\x8E\xA4", 127, 199).size(), 126u);
    EXPECT_EQ(TruncateUtf8(std::string(125, 'x') + "\xF0\x9F\x8E\xA4", 127, 199).size(), 129u);
    // A malformed byte counts as one character; a sequence cut short by the end too.
    EXPECT_EQ(TruncateUtf8("a\xFF"
                           "b",
                           2, 199),
              "a\xFF");
    EXPECT_EQ(TruncateUtf8("ab\xE2\x82", 127, 199), "ab\xE2\x82");
}

TEST(SourceMatch, ALongFriendlyNameMatchesByItsKeptPart) {
    std::string longName;
    for (int i = 0; i < 120; ++i)
        longName += "\xC3\xA9"; // 240 bytes
    const std::vector<TSourceEntry> sources{Source("s", longName)};
    EXPECT_EQ(MatchSource(longName.substr(0, 198), sources, Context()), 0);
    EXPECT_EQ(MatchSource(longName.substr(0, 200), sources, Context()), -1);
}
