// SPDX-License-Identifier: GPL-3.0-or-later
// Line breaks of texts on their way to the screen: the program's texts end lines with CR.
#pragma once

#include <string>
#include <string_view>

// The text with every line break as one LF, the form message boxes and labels understand:
// CR LF, LF CR (in that order, one break as some messages write it) and a lone CR each become
// LF; LF stays. Nothing else changes.
std::string DisplayLineBreaks(std::string_view text);
