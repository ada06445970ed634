// SPDX-License-Identifier: GPL-3.0-or-later
// Matching a device name to a capture source of the sound server.
#include "mixtrel/SourceMatch.h"

#include <cstdlib>

namespace mixtrel {

namespace {

// Length in bytes of the UTF-8 sequence that starts at text[i], and its UTF-16 units; a
// malformed sequence is one byte, one unit.
void NextCharacter(const std::string& text, std::size_t i, std::size_t& bytes, std::size_t& units) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length > 1) {
        if (i + length > text.size())
            length = 1;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                length = 1;
                break;
            }
    }
    bytes = length;
    units = length == 4 ? 2 : 1;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

std::string Property(const TSourceEntry& source, const char* key) {
    const auto it = source.Properties.find(key);
    return it == source.Properties.end() ? std::string{} : it->second;
}

// The server's own ALSA devices: their capture is the server's default source.
bool IsServerDevice(const std::string& alsaName) {
    const std::string base = alsaName.substr(0, alsaName.find(':'));
    return base == "pulse" || base == "pipewire" || base == "default";
}

// Whether `name` is written as an ALSA device name rather than a description.
bool LooksLikeAlsaName(const std::string& name) {
    return IsServerDevice(name) ||
           (name.find(':') != std::string::npos && name.find(' ') == std::string::npos);
}

std::string Unquoted(const std::string& text) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

// Card and device of an ALSA device name: "x:CARD=PCH,DEV=1" or "hw:0,1". Empty card: none.
void CardOf(const std::string& alsaName, std::string& card, std::string& device) {
    card.clear();
    device.clear();
    const auto colon = alsaName.find(':');
    if (colon == std::string::npos)
        return;
    std::string args = alsaName.substr(colon + 1);
    int position = 0;
    while (!args.empty()) {
        const auto comma = args.find(',');
        const std::string arg = args.substr(0, comma);
        args = comma == std::string::npos ? std::string{} : args.substr(comma + 1);
        const auto eq = arg.find('=');
        if (eq != std::string::npos) {
            const std::string key = arg.substr(0, eq);
            const std::string value = Unquoted(arg.substr(eq + 1));
            if (key == "CARD")
                card = value;
            else if (key == "DEV")
                device = value;
        } else if (position == 0) {
            card = Unquoted(arg);
        } else if (position == 1) {
            device = Unquoted(arg);
        }
        ++position;
    }
}

int IndexByName(const std::vector<TSourceEntry>& sources, const std::string& sourceName) {
    for (std::size_t i = 0; i < sources.size(); ++i)
        if (!sourceName.empty() && sources[i].Name == sourceName)
            return static_cast<int>(i);
    return -1;
}

int IndexByCard(const std::vector<TSourceEntry>& sources, int card, const std::string& device) {
    int first = -1;
    const std::string cardText = std::to_string(card);
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].Monitor || Property(sources[i], "alsa.card") != cardText)
            continue;
        if (!device.empty() && Property(sources[i], "alsa.device") == device)
            return static_cast<int>(i);
        if (first < 0)
            first = static_cast<int>(i);
    }
    return first;
}

int IndexByCardName(const std::vector<TSourceEntry>& sources, const std::string& name) {
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string cardName = Property(sources[i], "alsa.card_name");
        if (!sources[i].Monitor && !cardName.empty() &&
            cardName + ", " + Property(sources[i], "alsa.name") == name)
            return static_cast<int>(i);
    }
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string cardName = Property(sources[i], "alsa.card_name");
        if (!sources[i].Monitor && !cardName.empty() && StartsWith(name, cardName + ","))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

std::string TruncateUtf8(const std::string& text, std::size_t maxUnits, std::size_t maxBytes) {
    std::size_t i = 0;
    std::size_t units = 0;
    while (i < text.size()) {
        std::size_t bytes = 0;
        std::size_t charUnits = 0;
        NextCharacter(text, i, bytes, charUnits);
        if (i + bytes > maxBytes || units + charUnits > maxUnits)
            break;
        i += bytes;
        units += charUnits;
    }
    return text.substr(0, i);
}

int MatchSource(const std::string& name, const std::vector<TSourceEntry>& sources,
                const TMatchContext& context) {
    // A capture entry never means the monitor of an output, however its name begins.
    for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i].Monitor)
            continue;
        const std::string friendly =
            TruncateUtf8(sources[i].Description, kFriendlyNameUnits, kFriendlyNameBytes);
        if (StartsWith(friendly, name))
            return static_cast<int>(i);
    }

    std::string alsaName;
    if (LooksLikeAlsaName(name)) {
        alsaName = name;
    } else if (context.Hints) {
        for (const auto& hint : context.Hints())
            if (hint.Description == name) {
                alsaName = hint.Name;
                break;
            }
    }
    if (!alsaName.empty()) {
        if (IsServerDevice(alsaName))
            return IndexByName(sources, context.DefaultSource);
        std::string card;
        std::string device;
        CardOf(alsaName, card, device);
        if (!card.empty()) {
            int index = -1;
            char* end = nullptr;
            const long number = std::strtol(card.c_str(), &end, 10);
            if (end != card.c_str() && *end == '\0')
                index = static_cast<int>(number);
            else if (context.CardIndex)
                index = context.CardIndex(card);
            if (index >= 0) {
                const int found = IndexByCard(sources, index, device);
                if (found >= 0)
                    return found;
            }
        }
    }
    return IndexByCardName(sources, name);
}

} // namespace mixtrel
