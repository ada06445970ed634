// SPDX-License-Identifier: GPL-3.0-or-later
// The nine exports of libmixtrel.so over the sound server's capture sources.
#include "mixtrel/Mixtrel.h"
#include "mixtrel/PulseSession.h"
#include "mixtrel/SourceMatch.h"

#include <alsa/asoundlib.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace {

using namespace mixtrel;

// Time limit of one export call, connection included.
constexpr std::chrono::milliseconds kCallLimit{2000};

// The range offered to callers: the server's normal volume (100 %, samples pass unchanged) is
// the top, so that the program's 100-position scale lands exactly on 0 dB.
constexpr float kMinDb = -96.0f;
constexpr float kMaxDb = 0.0f;
// Levels below this are reported as silence (the server's own "minus infinity").
constexpr double kSilenceDb = PA_DECIBEL_MININFTY;

// Handles of opened sources: handle -> the server's source name. Any thread; guarded by the
// mutex. Handles count up from 1 and are not reused before the counter wraps.
std::mutex gHandleMutex;
std::map<int32_t, std::string> gHandles;
int32_t gNextHandle = 1;

int32_t AddHandle(const std::string& sourceName) {
    const std::lock_guard<std::mutex> lock(gHandleMutex);
    while (gNextHandle <= 0 || gHandles.count(gNextHandle) != 0)
        gNextHandle = gNextHandle <= 0 ? 1 : gNextHandle + 1;
    const int32_t handle = gNextHandle;
    gNextHandle = handle == INT32_MAX ? 1 : handle + 1;
    gHandles[handle] = sourceName;
    return handle;
}

std::string SourceNameOf(int32_t handle) {
    const std::lock_guard<std::mutex> lock(gHandleMutex);
    const auto it = gHandles.find(handle);
    return it == gHandles.end() ? std::string{} : it->second;
}

std::chrono::steady_clock::time_point Deadline() {
    return std::chrono::steady_clock::now() + kCallLimit;
}

std::vector<TAlsaHint> AlsaCaptureHints() {
    std::vector<TAlsaHint> hints;
    void** list = nullptr;
    if (snd_device_name_hint(-1, "pcm", &list) < 0 || list == nullptr)
        return hints;
    for (void** h = list; *h != nullptr; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* desc = snd_device_name_get_hint(*h, "DESC");
        char* ioid = snd_device_name_get_hint(*h, "IOID");
        if (name != nullptr && desc != nullptr &&
            (ioid == nullptr || std::string(ioid) == "Input")) {
            std::string description(desc);
            hints.push_back({name, description.substr(0, description.find('\n'))});
        }
        std::free(name);
        std::free(desc);
        std::free(ioid);
    }
    snd_device_name_free_hint(list);
    return hints;
}

int AlsaCardIndex(const std::string& id) {
    return snd_card_get_index(id.c_str());
}

int32_t Open(const char* name) {
    if (name == nullptr)
        return 0;
    TPulseSession session(Deadline());
    auto sources = session.Sources();
    if (!sources || sources->empty())
        return 0;
    std::vector<TSourceEntry> entries;
    entries.reserve(sources->size());
    for (const auto& s : *sources)
        entries.push_back(s.Entry);
    TMatchContext context;
    context.Hints = AlsaCaptureHints;
    context.CardIndex = AlsaCardIndex;
    const std::string wanted(name);
    if (const auto defaultSource = session.DefaultSource())
        context.DefaultSource = *defaultSource;
    const int index = MatchSource(wanted, entries, context);
    if (index < 0)
        return 0;
    return AddHandle(entries[static_cast<std::size_t>(index)].Name);
}

// Runs `body` with a session and the handle's current source; -1 when either is missing.
template <typename Body> int32_t WithSource(int32_t handle, Body body) {
    const std::string name = SourceNameOf(handle);
    if (name.empty())
        return -1;
    TPulseSession session(Deadline());
    auto source = session.Source(name);
    if (!source)
        return -1;
    return body(session, *source);
}

float ToDb(pa_volume_t volume) {
    const double db = pa_sw_volume_to_dB(volume);
    return static_cast<float>(std::isfinite(db) && db > kSilenceDb ? db : kSilenceDb);
}

} // namespace

extern "C" {

MIXTREL_API int32_t openCodec(const char* name) {
    try {
        return Open(name);
    } catch (...) {
        return 0;
    }
}

MIXTREL_API int32_t closeCodec(int32_t handle) {
    try {
        const std::lock_guard<std::mutex> lock(gHandleMutex);
        gHandles.erase(handle);
    } catch (...) {
    }
    return 1;
}

MIXTREL_API int32_t getMixerFormat(int32_t handle, int32_t* channels, int32_t* bitsPerSample,
                                   int32_t* samplesPerSecond) {
    try {
        if (channels == nullptr || bitsPerSample == nullptr || samplesPerSecond == nullptr)
            return -1;
        return WithSource(handle, [&](TPulseSession&, const TPulseSource& source) {
            if (!pa_sample_spec_valid(&source.SampleSpec))
                return -1;
            *channels = source.SampleSpec.channels;
            *bitsPerSample = static_cast<int32_t>(pa_sample_size(&source.SampleSpec) * 8);
            *samplesPerSecond = static_cast<int32_t>(source.SampleSpec.rate);
            return 1;
        });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t getMuteState(int32_t handle) {
    try {
        return WithSource(
            handle, [](TPulseSession&, const TPulseSource& source) { return source.Mute ? 1 : 0; });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t setMuteState(int32_t handle, int32_t mute) {
    try {
        return WithSource(handle, [mute](TPulseSession& session, const TPulseSource& source) {
            return session.SetMute(source.Entry.Name, mute != 0) ? 1 : -1;
        });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t getVolumeRange(int32_t handle, float* minDb, float* maxDb, float* stepDb) {
    try {
        if (minDb == nullptr || maxDb == nullptr || stepDb == nullptr)
            return -1;
        return WithSource(handle, [&](TPulseSession&, const TPulseSource&) {
            *minDb = kMinDb;
            *maxDb = kMaxDb;
            // One unit of the server's volume just below 100 %: 60 log10(65536 / 65535) dB.
            *stepDb = static_cast<float>(pa_sw_volume_to_dB(PA_VOLUME_NORM) -
                                         pa_sw_volume_to_dB(PA_VOLUME_NORM - 1));
            return 1;
        });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t getVolume(int32_t handle, float* levelDb) {
    try {
        if (levelDb == nullptr)
            return -1;
        return WithSource(handle, [levelDb](TPulseSession&, const TPulseSource& source) {
            *levelDb = ToDb(pa_cvolume_max(&source.Volume));
            return 1;
        });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t setVolume(int32_t handle, float levelDb) {
    try {
        // Every level that getVolume reports can be written back, so that a level read before a
        // change can be restored: silence (minus infinity or kSilenceDb and below) up to the
        // server's largest volume, beyond the range offered at both ends.
        if (std::isnan(levelDb) || levelDb > pa_sw_volume_to_dB(PA_VOLUME_MAX))
            return -1;
        return WithSource(handle, [levelDb](TPulseSession& session, const TPulseSource& source) {
            pa_cvolume volume = source.Volume;
            if (!pa_cvolume_valid(&volume))
                return -1;
            // The silence that getVolume reports stands for the muted volume.
            pa_cvolume_scale(&volume, levelDb <= kSilenceDb ? PA_VOLUME_MUTED
                                                            : pa_sw_volume_from_dB(levelDb));
            return session.SetVolume(source.Entry.Name, volume) ? 1 : -1;
        });
    } catch (...) {
        return -1;
    }
}

MIXTREL_API int32_t balanceChannels(int32_t handle) {
    try {
        return WithSource(handle, [](TPulseSession& session, const TPulseSource& source) {
            pa_cvolume volume = source.Volume;
            if (!pa_cvolume_valid(&volume))
                return -1;
            if (volume.channels == 0)
                return 1;
            pa_cvolume_set(&volume, volume.channels, pa_cvolume_max(&source.Volume));
            return session.SetVolume(source.Entry.Name, volume) ? 1 : -1;
        });
    } catch (...) {
        return -1;
    }
}

} // extern "C"
