// SPDX-License-Identifier: GPL-3.0-or-later
// ALSA device listing through the PCM name hints.
#include "audio/PcmDeviceList.h"

#include <alsa/asoundlib.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>

namespace {

std::string TakeHint(const void* hint, const char* id) {
    char* value = snd_device_name_get_hint(hint, id);
    if (value == nullptr)
        return {};
    std::string text(value);
    std::free(value);
    return text;
}

// Plugins that only convert or route what another device delivers: they are no sound device of
// their own, so offering them would only confuse the choice.
bool IsProcessingPlugin(const std::string& name) {
    static const char* const plugins[] = {"null",  "lavrate", "samplerate", "speexrate",
                                          "speex", "upmix",   "vdownmix"};
    for (const char* plugin : plugins)
        if (name == plugin)
            return true;
    return false;
}

// Plugins that stream through something this engine does not use here: JACK has an engine of
// its own, OSS needs a kernel interface these systems no longer have, the USB stream device
// serves one kind of card only through its own driver.
bool IsForeignPlugin(const std::string& name) {
    static const char* const plugins[] = {"jack", "oss", "usbstream"};
    for (const char* plugin : plugins)
        if (name == plugin || name.rfind(std::string(plugin) + ":", 0) == 0)
            return true;
    return false;
}

// Indexes of entries whose label occurs more than once.
std::vector<std::size_t> Repeated(const std::vector<std::string>& labels) {
    std::map<std::string, int> count;
    for (const auto& l : labels)
        ++count[l];
    std::vector<std::size_t> result;
    for (std::size_t i = 0; i < labels.size(); ++i)
        if (count[labels[i]] > 1)
            result.push_back(i);
    return result;
}

} // namespace

std::vector<TPcmDevice> TAlsaDeviceLister::List() {
    std::vector<TPcmDevice> devices;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || hints == nullptr)
        return devices;
    for (void** h = hints; *h != nullptr; ++h) {
        TPcmDevice device;
        device.Name = TakeHint(*h, "NAME");
        std::string description = TakeHint(*h, "DESC");
        const std::string ioid = TakeHint(*h, "IOID"); // empty: both directions
        if (device.Name.empty() || IsProcessingPlugin(device.Name) ||
            IsForeignPlugin(device.Name) || description.empty())
            continue;
        const auto newline = description.find('\n');
        device.Description = description.substr(0, newline);
        if (newline != std::string::npos) {
            const auto end = description.find('\n', newline + 1);
            device.Detail =
                description.substr(newline + 1, end == std::string::npos ? end : end - newline - 1);
        }
        device.Capture = ioid.empty() || ioid == "Input";
        device.Playback = ioid.empty() || ioid == "Output";
        devices.push_back(std::move(device));
    }
    snd_device_name_free_hint(hints);
    return devices;
}

std::vector<TPcmDevice> DevicesFor(const std::vector<TPcmDevice>& devices, bool capture) {
    std::vector<TPcmDevice> result;
    for (const auto& d : devices)
        if (capture ? d.Capture : d.Playback)
            result.push_back(d);
    return result;
}

std::vector<std::string> FormatDeviceNames(const std::vector<TPcmDevice>& devices, bool capture) {
    const auto list = DevicesFor(devices, capture);
    std::vector<std::string> labels;
    for (const auto& d : list)
        labels.push_back(d.Description);
    for (const auto i : Repeated(labels))
        if (!list[i].Detail.empty())
            labels[i] += " (" + list[i].Detail + ")";
    for (const auto i : Repeated(labels))
        labels[i] += " [" + list[i].Name + "]";
    std::vector<std::string> names;
    for (std::size_t i = 0; i < labels.size(); ++i) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%.2d  ", static_cast<int>(i + 1));
        names.push_back(prefix + labels[i]);
    }
    return names;
}
