// SPDX-License-Identifier: GPL-3.0-or-later
// Which capture source of the sound server a device name stands for; friendly-name truncation.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace mixtrel {

// Longest friendly name kept, as the library's buffers hold it: 127 UTF-16 units (plus the
// terminator) and 199 bytes of UTF-8 (plus the terminator).
constexpr std::size_t kFriendlyNameUnits = 127;
constexpr std::size_t kFriendlyNameBytes = 199;

// `text` cut to at most `maxUnits` UTF-16 units and `maxBytes` bytes, always between two
// characters. A byte that starts no valid UTF-8 sequence counts as one character of one byte.
std::string TruncateUtf8(const std::string& text, std::size_t maxUnits, std::size_t maxBytes);

// What the matching needs to know of one capture source.
struct TSourceEntry {
    std::string Name;        // the server's name of the source ("alsa_input.pci-…")
    std::string Description; // its friendly name
    bool Monitor = false;    // the monitor of a sink (never a card's capture)
    std::map<std::string, std::string> Properties; // "alsa.card", "alsa.card_name", …
};

// One ALSA PCM name hint: its name ("default", "plughw:CARD=PCH,DEV=0") and the first line of
// its description, the text the program's device list shows.
struct TAlsaHint {
    std::string Name;
    std::string Description;
};

// Where the matching may look beyond the sources.
struct TMatchContext {
    std::string DefaultSource;                        // the server's default source name
    std::function<std::vector<TAlsaHint>()> Hints;    // ALSA's PCM hints (called at most once)
    std::function<int(const std::string&)> CardIndex; // ALSA card id or number -> index, or -1
};

// Index into `sources` of the source that `name` selects, or -1. In this order:
// 1. the first source, monitors left out, whose (truncated) friendly name starts with `name`
//    ("" matches the first such source);
// 2. `name`, or the ALSA device whose description is `name`, is one of the sound server's own
//    ALSA devices ("pulse", "pipewire", "default"): the server's default source;
// 3. that ALSA device names a card ("…:CARD=id,DEV=n", "hw:0,0"): the card's capture source
//    (property "alsa.card"), preferring the one of the same device number ("alsa.device");
// 4. a source of a card whose names make up `name`: "alsa.card_name" + ", " + "alsa.name"
//    equal to it, else "alsa.card_name" + "," at its start.
// Monitors of sinks are never taken by rules 1, 3 and 4; rule 2 gives one only when the server
// itself records from it by default.
int MatchSource(const std::string& name, const std::vector<TSourceEntry>& sources,
                const TMatchContext& context);

} // namespace mixtrel
