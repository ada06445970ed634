// SPDX-License-Identifier: GPL-3.0-or-later
// Texts on their way into a message box or a label: the program's CR line breaks become Qt's LF.
#pragma once

#include "core/DisplayText.h"

#include <QString>

#include <string_view>

// The text as a message box or label shows it (DisplayLineBreaks: CR, CR LF, LF CR -> LF).
inline QString ShownText(std::string_view text) {
    return QString::fromStdString(DisplayLineBreaks(text));
}
inline QString ShownText(const QString& text) {
    return ShownText(std::string_view(text.toStdString()));
}
