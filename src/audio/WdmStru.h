// SPDX-License-Identifier: GPL-3.0-or-later
// The low-latency engine's device table over a JACK server, and its error table.
#pragma once

#include "audio/AudioError.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// Errors of the low-latency engine: a message from a fixed table, with its index.
//
//  0 "No error"                                1 "WDM Audio Engine failed to initialize"
//  2 "Invalid assignment to DeviceSettings"    3 "Waiting thread failed"
//  4 "Unable to read data from the sound card" 5 "Unable to write data to the sound card"
//  6 "Invalid device number: %d"               7 "Invalid number of channels: %d"
//  8 "Invalid data format: %d bits"            9 "Invalid sampling rate: %d Hz"
// 10 "Buffer too large: %d samples"           11 "Input/output buffer size mismatch"
// 12 "Unable to open device: %s"              13 "Unable to start output to %s: error %d"
// 14 "Unable to start input from %s: error %d"
// 15 "Output device does not support selected parameters"
// 16 "Input device does not support selected parameters"
// 17 "Cannot negotiate output format with %s: error %d"
// 18 "Cannot negotiate input format with %s: error %d"
class EWdmAudioError : public EAudioError {
public:
    static constexpr int kMessages = 19;

    // The table entry `index` with its placeholders filled: %d with `number`, %s with `text`.
    explicit EWdmAudioError(int index, int number = 0);
    EWdmAudioError(int index, const std::string& text, int number = 0);

    int Index() const noexcept { return index_; }
    // The unfilled table text of `index` ("" outside the table).
    static const char* Template(int index) noexcept;

private:
    int index_;
};

// A pin's data flow: capture pins deliver samples to us, render pins take ours.
enum TDataFlow { dfCapture, dfRender };

// One direction of one device: on JACK, all output ports of a client (capture) or all its
// input ports (render). Samples are 32-bit floats at the server's one rate.
struct TPin {
    int Filter = 0; // the owning device: its position in the table
    TDataFlow DataFlow = dfCapture;
    int MaxChannels = 0; // the number of ports
    int MinBits = 32, MaxBits = 32;
    int MinRate = 0, MaxRate = 0;   // Hz
    std::vector<std::string> Ports; // full port names ("system:capture_1"), in the client's order
};

// One device of the table: a JACK client that owns audio ports.
struct TFilter {
    std::string ClientName;  // as the server names it
    std::string DisplayName; // "%.2d  %s": table position + 1, client name
    std::vector<TPin> Pins;  // at most one capture and one render pin

    // The first pin of `flow` (null when the device has none).
    const TPin* PinOf(TDataFlow flow) const;
};

// An audio port as the server reports it.
struct TJackPortInfo {
    std::string Name;    // full name, "client:port"
    std::string Client;  // the client part
    bool Output = false; // the client produces samples on it (a capture port for us)
};

// Builds the table from the server's audio ports in the server's order: one device per client
// (in the order of its first port), our own clients ("Phonoscale", "Phonoscale-NN") left out.
std::vector<TFilter> BuildFilters(const std::vector<TJackPortInfo>& ports, int rateHz);

// The process-wide device table. Built from the running server at construction and by Refresh;
// without a server (none is ever started for us) it is uninitialised and has no devices.
// Main thread only.
class TWdmAudio {
public:
    TWdmAudio() = default;
    // Sets the table directly (for tests): initialised.
    TWdmAudio(std::vector<TFilter> filters, int rateHz);

    // Lists the clients of the server that the environment names (JACK_DEFAULT_SERVER), quietly:
    // no server gives an uninitialised, empty table at once and prints nothing; a server that
    // does not answer within `kAnswerWait` gives the same (the look-up ends on its own later).
    void Refresh();

    bool Initialised() const { return initialised_; }
    int SampleRate() const { return rate_; } // the server's rate, Hz (0 when uninitialised)
    const std::vector<TFilter>& Filters() const { return filters_; }
    // Display names of the devices with a capture pin, respectively a render pin, table order.
    const std::vector<std::string>& CaptureNames() const { return captureNames_; }
    const std::vector<std::string>& RenderNames() const { return renderNames_; }
    // The table position of the first device whose display name equals `name` ignoring case;
    // -1 when none does or `name` is empty.
    int Find(const std::string& name) const;

private:
    void List(); // Refresh's work, on a thread of its own
    void Fill(std::vector<TFilter> filters, int rateHz);

    bool initialised_ = false;
    int rate_ = 0;
    std::vector<TFilter> filters_;
    std::vector<std::string> captureNames_;
    std::vector<std::string> renderNames_;
};

// The one table of the process, built at its first use.
TWdmAudio& WdmAudio();

// How long the main thread waits for a JACK server to answer (opening a client, listing its
// ports); a frozen server would otherwise hold it for as long as it stays frozen.
inline constexpr std::chrono::milliseconds kAnswerWait{3000};

// Runs `task` on a thread of its own and waits at most `limit` for it: true when it finished in
// time. Otherwise the thread is left to finish on its own and then runs `whenLate` (which
// must undo what `task` did); both may use only what they own (shared pointers by value).
bool RunWithin(std::chrono::milliseconds limit, std::function<void()> task,
               std::function<void()> whenLate = {});

// The name of our JACK clients.
inline constexpr const char* kJackClientName = "Phonoscale";

// Keeps libjack quiet (its error and information messages go nowhere); called before every
// client is opened. Thread-safe.
void SilenceJack();
