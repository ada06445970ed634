// SPDX-License-Identifier: GPL-3.0-or-later
// One short connection to the sound server, every wait bounded by a deadline.
#pragma once

#include "mixtrel/SourceMatch.h"

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mixtrel {

// A capture source as the server reports it.
struct TPulseSource {
    TSourceEntry Entry;
    pa_cvolume Volume{};
    bool Mute = false;
    pa_sample_spec SampleSpec{};
};

// A private main loop and context, connected on construction (no autospawn). Every operation
// runs the loop only until `deadline`; once that has passed, or the connection has failed,
// every operation fails at once. Owned by one export call, on that call's thread.
class TPulseSession {
public:
    explicit TPulseSession(std::chrono::steady_clock::time_point deadline);
    ~TPulseSession();
    TPulseSession(const TPulseSession&) = delete;
    TPulseSession& operator=(const TPulseSession&) = delete;

    bool Connected() const { return connected_; }
    // Every capture source, in the server's order; nullopt on failure.
    std::optional<std::vector<TPulseSource>> Sources();
    // The source of that name; nullopt when it is gone or on failure.
    std::optional<TPulseSource> Source(const std::string& name);
    // The server's default source name; nullopt on failure.
    std::optional<std::string> DefaultSource();
    bool SetVolume(const std::string& name, const pa_cvolume& volume);
    bool SetMute(const std::string& name, bool mute);

private:
    // Runs the loop until `done` holds; false at the deadline or when the connection fails.
    bool RunUntil(const std::function<bool()>& done);
    // Waits for `operation` (taking it over) and `finished`; cancels it at the deadline.
    bool Complete(pa_operation* operation, const bool& finished);

    std::chrono::steady_clock::time_point deadline_;
    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    bool connected_ = false;
};

} // namespace mixtrel
