// SPDX-License-Identifier: GPL-3.0-or-later
// Text lines describing the gaps and errors of a stream.
#include "audio/AudioStreamEngine.h"

std::vector<std::string> FormatStreamHealth(const TStreamHealth& h) {
    std::vector<std::string> lines;
    if (h.CaptureGaps > 0)
        lines.push_back("Input gaps: " + std::to_string(h.CaptureGaps) + " (" +
                        std::to_string(h.CaptureFramesLost) + " frames lost)");
    if (h.RenderGaps > 0)
        lines.push_back("Output gaps: " + std::to_string(h.RenderGaps) + " (" +
                        std::to_string(h.RenderFramesLost) + " frames of silence)");
    if (h.BlockErrors > 0)
        lines.push_back("Block errors: " + std::to_string(h.BlockErrors) +
                        ", first: " + h.FirstBlockError);
    return lines;
}

void NoteBlockError(TStreamHealth& health, const std::function<void(const std::string&)>& report,
                    const std::string& text) {
    if (health.BlockErrors++ > 0)
        return;
    health.FirstBlockError = text;
    if (report) {
        try {
            report(text);
        } catch (...) {
            // A failing report must not stop the stream it reports on.
        }
    }
}
