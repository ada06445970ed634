// SPDX-License-Identifier: GPL-3.0-or-later
// What the block pipeline hands to the window: label texts, bar position, repaint requests, errors.
#pragma once

#include <cstdint>
#include <string>

// Texts keyed by the labels they belong to. The pipeline writes them per processed block; the
// window copies them into its labels after each engine block (AStreamData). Owned by
// MeasurementState; main thread only.
struct TPipelineTexts {
    std::string LSN_M = "____ dB";     // large S+N read-out (Measure tab)
    std::string LSN = "S+N=___.__ dB"; // S+N over the spectrum
    std::string LS = "____ dB";        // S over the spectrum
    std::string LSp = "____ Hz";       // special meter (peak frequency, density or custom)
    std::string LSN_O = "____ dB";     // S+N overlay on the scope
    std::string LCS = "____ cc";       // custom label on the scope
    std::string LCus = "Example";      // custom label on the settings page
    std::string Label23;               // RMS voltage of the calibration level
    std::int32_t ProgressBar1 = 0;     // RMS of the filtered block, % of a full-swing sine
    // Set when the scope asked for a re-layout (time-base change); the window runs FormResize
    // and clears it.
    bool LayoutRequested = false;
    // Incremented once per engine block that completed: the window repaints the scope, the
    // spectrum, its caption strip and the peak recorder when it changed.
    std::uint64_t RepaintRequests = 0;
};

// Errors raised while blocks stream, reported once. The pipeline records every failed engine
// block here instead of letting the exception reach the window; the window shows FirstError in
// one message box when Unreported is set, clears Unreported, and may show Summary() elsewhere.
// Clear() at the start of sampling. Main thread only.
struct TStreamErrorLog {
    std::string FirstError;    // text of the first error since Clear()
    std::uint64_t Repeats = 0; // errors recorded after the first one (any text)
    bool Unreported = false;   // set by the first error; cleared by the window

    void Record(const std::string& text) {
        if (FirstError.empty()) {
            FirstError = text.empty() ? std::string("Unknown error") : text;
            Unreported = true;
        } else {
            ++Repeats;
        }
    }
    void Clear() {
        FirstError.clear();
        Repeats = 0;
        Unreported = false;
    }
    // "<first error>" or "<first error> (repeated N times)"; empty when there was none.
    std::string Summary() const {
        if (FirstError.empty()) {
            return {};
        }
        return Repeats == 0 ? FirstError
                            : FirstError + " (repeated " + std::to_string(Repeats) + " times)";
    }
};

// The line at the end of ListBox1, beside the gap lines, that counts the processed blocks left
// out because they held samples that are not finite numbers:
// "Invalid blocks: 3 (NaN or infinite samples, left out)"; empty for 0.
inline std::string InvalidBlocksLine(std::uint64_t count) {
    if (count == 0) {
        return {};
    }
    return "Invalid blocks: " + std::to_string(count) + " (NaN or infinite samples, left out)";
}
