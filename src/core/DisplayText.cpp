// SPDX-License-Identifier: GPL-3.0-or-later
// Line breaks of texts on their way to the screen.
#include "core/DisplayText.h"

std::string DisplayLineBreaks(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            shown += c;
            continue;
        }
        shown += '\n';
        // The other half of a two-character break.
        const char partner = c == '\r' ? '\n' : '\r';
        if (i + 1 < text.size() && text[i + 1] == partner)
            ++i;
    }
    return shown;
}
