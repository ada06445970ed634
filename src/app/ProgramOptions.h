// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: the engine chosen at start-up and the help text (no Qt here).
#pragma once

#include "audio/Quibex_Strm.h"

#include <optional>
#include <string>
#include <vector>

struct TProgramOptions {
    bool Help = false;                  // --help or -h: print ProgramUsage() and end
    std::optional<TAudioEngine> Engine; // --engine=alsa|jack (also "--engine NAME")
    std::string Error;                  // what was wrong with the command line ("" when fine)
    std::vector<int> Rest;              // positions in argv of the arguments left for Qt
};

// Reads argv[1 .. argc-1]. Arguments that are not ours (Qt's own, such as -platform) are left
// in Rest in their order, argv[0] first.
TProgramOptions ParseProgramOptions(int argc, const char* const* argv);

// The text that --help prints.
std::string ProgramUsage();
