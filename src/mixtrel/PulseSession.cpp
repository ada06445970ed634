// SPDX-License-Identifier: GPL-3.0-or-later
// The library's connection to the sound server: a private main loop run against a deadline.
#include "mixtrel/PulseSession.h"

namespace mixtrel {

namespace {

struct TSourceList {
    std::vector<TPulseSource> Sources;
    bool Done = false;
};

TPulseSource FromInfo(const pa_source_info& info) {
    TPulseSource source;
    source.Entry.Name = info.name != nullptr ? info.name : "";
    source.Entry.Description = info.description != nullptr ? info.description : "Unknown";
    source.Entry.Monitor = info.monitor_of_sink != PA_INVALID_INDEX;
    if (info.proplist != nullptr)
        for (const char* key : {"alsa.card", "alsa.card_name", "alsa.name", "alsa.device"})
            if (const char* value = pa_proplist_gets(info.proplist, key); value != nullptr)
                source.Entry.Properties[key] = value;
    source.Volume = info.volume;
    source.Mute = info.mute != 0;
    source.SampleSpec = info.sample_spec;
    return source;
}

void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* userdata) {
    auto* list = static_cast<TSourceList*>(userdata);
    if (eol != 0 || info == nullptr) {
        list->Done = true;
        return;
    }
    list->Sources.push_back(FromInfo(*info));
}

struct TServerInfo {
    std::string DefaultSource;
    bool Done = false;
};

void OnServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* result = static_cast<TServerInfo*>(userdata);
    if (info != nullptr && info->default_source_name != nullptr)
        result->DefaultSource = info->default_source_name;
    result->Done = true;
}

struct TSuccess {
    bool Ok = false;
    bool Done = false;
};

void OnSuccess(pa_context*, int success, void* userdata) {
    auto* result = static_cast<TSuccess*>(userdata);
    result->Ok = success != 0;
    result->Done = true;
}

} // namespace

TPulseSession::TPulseSession(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {
    loop_ = pa_mainloop_new();
    if (loop_ == nullptr)
        return;
    context_ = pa_context_new(pa_mainloop_get_api(loop_), "Phonoscale input level");
    if (context_ == nullptr)
        return;
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return;
    connected_ = RunUntil([this] { return pa_context_get_state(context_) == PA_CONTEXT_READY; });
}

TPulseSession::~TPulseSession() {
    if (context_ != nullptr) {
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr)
        pa_mainloop_free(loop_);
}

bool TPulseSession::RunUntil(const std::function<bool()>& done) {
    while (!done()) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline_ - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (pa_mainloop_prepare(loop_, static_cast<int>(left.count())) < 0 ||
            pa_mainloop_poll(loop_) < 0 || pa_mainloop_dispatch(loop_) < 0)
            return false;
    }
    return true;
}

bool TPulseSession::Complete(pa_operation* operation, const bool& finished) {
    if (operation == nullptr)
        return false;
    const bool ok = RunUntil([&finished] { return finished; });
    if (!ok)
        pa_operation_cancel(operation); // no callback of it runs after this
    pa_operation_unref(operation);
    return ok;
}

std::optional<std::vector<TPulseSource>> TPulseSession::Sources() {
    if (!connected_)
        return std::nullopt;
    TSourceList list;
    if (!Complete(pa_context_get_source_info_list(context_, OnSourceInfo, &list), list.Done))
        return std::nullopt;
    return std::move(list.Sources);
}

std::optional<TPulseSource> TPulseSession::Source(const std::string& name) {
    if (!connected_ || name.empty())
        return std::nullopt;
    TSourceList list;
    if (!Complete(pa_context_get_source_info_by_name(context_, name.c_str(), OnSourceInfo, &list),
                  list.Done) ||
        list.Sources.empty())
        return std::nullopt;
    return std::move(list.Sources.front());
}

std::optional<std::string> TPulseSession::DefaultSource() {
    if (!connected_)
        return std::nullopt;
    TServerInfo info;
    if (!Complete(pa_context_get_server_info(context_, OnServerInfo, &info), info.Done))
        return std::nullopt;
    return info.DefaultSource;
}

bool TPulseSession::SetVolume(const std::string& name, const pa_cvolume& volume) {
    if (!connected_)
        return false;
    TSuccess result;
    return Complete(pa_context_set_source_volume_by_name(context_, name.c_str(), &volume, OnSuccess,
                                                         &result),
                    result.Done) &&
           result.Ok;
}

bool TPulseSession::SetMute(const std::string& name, bool mute) {
    if (!connected_)
        return false;
    TSuccess result;
    return Complete(pa_context_set_source_mute_by_name(context_, name.c_str(), mute ? 1 : 0,
                                                       OnSuccess, &result),
                    result.Done) &&
           result.Ok;
}

} // namespace mixtrel
