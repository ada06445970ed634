// SPDX-License-Identifier: GPL-3.0-or-later
// The low-latency engine's device table over a JACK server, and its error table.
#include "audio/WdmStru.h"

#include <jack/jack.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

namespace {

constexpr const char* kMessages[EWdmAudioError::kMessages] = {
    "No error",
    "WDM Audio Engine failed to initialize",
    "Invalid assignment to DeviceSettings",
    "Waiting thread failed",
    "Unable to read data from the sound card",
    "Unable to write data to the sound card",
    "Invalid device number: %d",
    "Invalid number of channels: %d",
    "Invalid data format: %d bits",
    "Invalid sampling rate: %d Hz",
    "Buffer too large: %d samples",
    "Input/output buffer size mismatch",
    "Unable to open device: %s",
    "Unable to start output to %s: error %d",
    "Unable to start input from %s: error %d",
    "Output device does not support selected parameters",
    "Input device does not support selected parameters",
    "Cannot negotiate output format with %s: error %d",
    "Cannot negotiate input format with %s: error %d",
};

// Fills the placeholders of `format`: %d with `number`, %s with `text`.
std::string Fill(const char* format, int number, const std::string& text) {
    std::string out;
    for (const char* p = format; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 'd') {
            out += std::to_string(number);
            ++p;
        } else if (p[0] == '%' && p[1] == 's') {
            out += text;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// Our own clients: "Phonoscale" and the numbered names the server gives further instances.
bool IsOurClient(const std::string& client) {
    const std::string own = kJackClientName;
    if (client == own)
        return true;
    if (client.size() <= own.size() + 1 || client.compare(0, own.size(), own) != 0 ||
        client[own.size()] != '-')
        return false;
    return std::all_of(client.begin() + static_cast<std::ptrdiff_t>(own.size()) + 1, client.end(),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

void Quiet(const char*) {}

} // namespace

EWdmAudioError::EWdmAudioError(int index, int number)
    : EAudioError(Fill(Template(index), number, {})), index_(index) {}

EWdmAudioError::EWdmAudioError(int index, const std::string& text, int number)
    : EAudioError(Fill(Template(index), number, text)), index_(index) {}

const char* EWdmAudioError::Template(int index) noexcept {
    return index >= 0 && index < kMessages ? ::kMessages[index] : "";
}

const TPin* TFilter::PinOf(TDataFlow flow) const {
    for (const auto& pin : Pins)
        if (pin.DataFlow == flow)
            return &pin;
    return nullptr;
}

std::vector<TFilter> BuildFilters(const std::vector<TJackPortInfo>& ports, int rateHz) {
    std::vector<TFilter> filters;
    const auto pinFor = [rateHz](TFilter& filter, int position, TDataFlow flow) -> TPin& {
        for (auto& pin : filter.Pins)
            if (pin.DataFlow == flow)
                return pin;
        TPin pin;
        pin.Filter = position;
        pin.DataFlow = flow;
        pin.MinRate = rateHz;
        pin.MaxRate = rateHz;
        filter.Pins.push_back(pin);
        return filter.Pins.back();
    };
    for (const auto& port : ports) {
        if (port.Client.empty() || IsOurClient(port.Client))
            continue;
        auto it = std::find_if(filters.begin(), filters.end(),
                               [&](const TFilter& f) { return f.ClientName == port.Client; });
        if (it == filters.end()) {
            TFilter filter;
            filter.ClientName = port.Client;
            filters.push_back(std::move(filter));
            it = filters.end() - 1;
        }
        const int position = static_cast<int>(it - filters.begin());
        TPin& pin = pinFor(*it, position, port.Output ? dfCapture : dfRender);
        pin.Ports.push_back(port.Name);
        pin.MaxChannels = static_cast<int>(pin.Ports.size());
    }
    for (std::size_t i = 0; i < filters.size(); ++i) {
        char number[16];
        std::snprintf(number, sizeof number, "%.2d", static_cast<int>(i + 1));
        filters[i].DisplayName = std::string(number) + "  " + filters[i].ClientName;
    }
    return filters;
}

TWdmAudio::TWdmAudio(std::vector<TFilter> filters, int rateHz) {
    Fill(std::move(filters), rateHz);
}

void TWdmAudio::Fill(std::vector<TFilter> filters, int rateHz) {
    initialised_ = true;
    rate_ = rateHz;
    filters_ = std::move(filters);
    captureNames_.clear();
    renderNames_.clear();
    for (const auto& filter : filters_) {
        if (filter.PinOf(dfCapture) != nullptr)
            captureNames_.push_back(filter.DisplayName);
        if (filter.PinOf(dfRender) != nullptr)
            renderNames_.push_back(filter.DisplayName);
    }
}

void TWdmAudio::Refresh() {
    auto fresh = std::make_shared<TWdmAudio>();
    if (RunWithin(kAnswerWait, [fresh] { fresh->List(); }))
        *this = std::move(*fresh);
    else
        *this = TWdmAudio();
}

void TWdmAudio::List() {
    *this = TWdmAudio();
    SilenceJack();
    jack_status_t status{};
    jack_client_t* client = jack_client_open(kJackClientName, JackNoStartServer, &status);
    if (client == nullptr)
        return;
    const int rate = static_cast<int>(jack_get_sample_rate(client));
    std::vector<TJackPortInfo> ports;
    if (const char** names = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0)) {
        for (const char** name = names; *name != nullptr; ++name) {
            const jack_port_t* port = jack_port_by_name(client, *name);
            if (port == nullptr)
                continue; // gone meanwhile
            TJackPortInfo info;
            info.Name = *name;
            const std::string shortName = jack_port_short_name(port);
            if (info.Name.size() > shortName.size() + 1)
                info.Client = info.Name.substr(0, info.Name.size() - shortName.size() - 1);
            info.Output = (jack_port_flags(port) & JackPortIsOutput) != 0;
            ports.push_back(std::move(info));
        }
        jack_free(names);
    }
    jack_client_close(client);
    Fill(BuildFilters(ports, rate), rate);
}

int TWdmAudio::Find(const std::string& name) const {
    if (name.empty())
        return -1;
    const std::string wanted = Lower(name);
    for (std::size_t i = 0; i < filters_.size(); ++i)
        if (Lower(filters_[i].DisplayName) == wanted)
            return static_cast<int>(i);
    return -1;
}

TWdmAudio& WdmAudio() {
    static TWdmAudio table = [] {
        TWdmAudio t;
        t.Refresh();
        return t;
    }();
    return table;
}

bool RunWithin(std::chrono::milliseconds limit, std::function<void()> task,
               std::function<void()> whenLate) {
    // Under `Mutex` exactly one side decides: the thread finished in time (the caller goes on),
    // or the caller gave up first (the thread cleans up after itself).
    struct TShared {
        std::mutex Mutex;
        std::condition_variable Finished;
        bool Done = false;
        bool GaveUp = false;
    };
    auto shared = std::make_shared<TShared>();
    std::thread thread([shared, task = std::move(task), whenLate = std::move(whenLate)] {
        task();
        bool late = false;
        {
            std::lock_guard lock(shared->Mutex);
            shared->Done = true;
            late = shared->GaveUp;
        }
        shared->Finished.notify_all();
        if (late && whenLate)
            whenLate();
    });
    std::unique_lock lock(shared->Mutex);
    if (shared->Finished.wait_for(lock, limit, [&] { return shared->Done; })) {
        lock.unlock();
        thread.join();
        return true;
    }
    shared->GaveUp = true;
    lock.unlock();
    thread.detach();
    return false;
}

void SilenceJack() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function(Quiet);
        jack_set_info_function(Quiet);
    });
}
