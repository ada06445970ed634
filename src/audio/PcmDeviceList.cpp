// ALSA device listing through the PCM name hints.
#include "audio/PcmDeviceList.h"

#include <alsa/asoundlib.h>

#include <cstdio>
#include <cstdlib>
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
        if (device.Name.empty() || IsProcessingPlugin(device.Name) || description.empty())
            continue;
        const auto newline = description.find('\n');
        device.Description = description.substr(0, newline);
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
    std::vector<std::string> names;
    int number = 0;
    for (const auto& d : DevicesFor(devices, capture)) {
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "%.2d  ", ++number);
        names.push_back(prefix + d.Description);
    }
    return names;
}
