// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line.
#include "app/ProgramOptions.h"

#include <string_view>

namespace {

std::optional<TAudioEngine> EngineNamed(std::string_view name) {
    if (name == "alsa")
        return aeMME;
    if (name == "jack")
        return aeWDM;
    return std::nullopt;
}

} // namespace

TProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    TProgramOptions options;
    if (argc > 0)
        options.Rest.push_back(0);
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.Help = true;
            continue;
        }
        std::optional<std::string_view> value;
        if (arg.rfind("--engine=", 0) == 0) {
            value = arg.substr(9);
        } else if (arg == "--engine") {
            if (i + 1 >= argc) {
                options.Error = "--engine needs a value: alsa or jack";
                continue;
            }
            value = argv[++i];
        }
        if (!value) {
            options.Rest.push_back(i);
            continue;
        }
        if (const auto engine = EngineNamed(*value))
            options.Engine = engine;
        else
            options.Error = "Unknown engine \"" + std::string(*value) + "\": use alsa or jack";
    }
    return options;
}

std::string ProgramUsage() {
    return "Usage: phonoscale [--engine=alsa|jack] [Qt options]\n"
           "\n"
           "A real-time audio measurement instrument: spectrum, level meters, oscilloscope and a\n"
           "coherent test sine.\n"
           "\n"
           "  --engine=alsa   capture and play through ALSA sound cards (the default); the engine\n"
           "                  choice on the settings page stays hidden\n"
           "  --engine=jack   capture and play through the ports of a client of a running JACK\n"
           "                  server (on PipeWire desktops, PipeWire's JACK server); the settings\n"
           "                  page then offers the engine choice\n"
           "  -h, --help      show this text and end\n";
}
