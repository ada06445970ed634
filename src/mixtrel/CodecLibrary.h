// SPDX-License-Identifier: GPL-3.0-or-later
// The program's binding to libmixtrel.so and the automatic 0 dB input level.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// File name of the level library, looked for in the program's folder, then on the library path.
constexpr const char* kCodecLibraryName = "libmixtrel.so";
// The folder of the level library in an installed copy, relative to the program's folder. The
// installed program's run path names it, so loading by file name finds the library there before
// the normal library path; its presence also marks a program that runs installed. The build
// names it: "../lib/<multiarch triplet>/phonoscale", or "../lib/phonoscale" without a triplet.
#ifndef PHONOSCALE_PRIVATE_LIBDIR
#define PHONOSCALE_PRIVATE_LIBDIR "../lib/phonoscale"
#endif
constexpr const char* kInstalledLibraryFolder = PHONOSCALE_PRIVATE_LIBDIR;

// The loaded level library and its nine entry points. Owned by the main window from start-up to
// exit; used on the main thread only. Unloads the library on destruction.
class TCodecLibrary {
public:
    TCodecLibrary() = default;
    ~TCodecLibrary();
    TCodecLibrary(const TCodecLibrary&) = delete;
    TCodecLibrary& operator=(const TCodecLibrary&) = delete;

    // Loads the library from `path`, else (when that fails) by its file name from the library
    // path, and binds the nine names in the order openCodec, getMixerFormat, getMuteState,
    // setMuteState, getVolumeRange, getVolume, setVolume, balanceChannels, closeCodec.
    // -1: not loadable; -2: a name is missing (the library is unloaded again); 0: bound, and
    // CodecAvailable() holds. A library already bound stays bound (0).
    int LoadCodecLibrary(const std::string& path);
    bool CodecAvailable() const { return available_; }

    // Position 1..100 (for the usual ranges) of the 100-position logarithmic scale over the
    // device's range at which its level is 0 dB: round(10^((0 - min) * 2 / (max - min))), ties
    // to even; -1 when the library is not bound, no source matches `deviceName`, or the range
    // is empty or not finite.
    int ZeroDbPosition(const std::string& deviceName);
    // Sets the device's level for `position`: level = log10(max(position, 1)) / 2 *
    // (max - min) + min in dB, then balances the channels. True when done; `levelDb` is left
    // untouched otherwise (no library, no match, empty or non-finite range).
    bool SetLevelPosition(const std::string& deviceName, int position, float& levelDb);

    // The device's master level in dB (its loudest channel) as the library reports it; false
    // when the library is not bound, no source matches or the call fails.
    bool GetLevel(const std::string& deviceName, float& levelDb);
    // Sets the device's master level in dB keeping the balance of its channels; true when done.
    bool SetLevel(const std::string& deviceName, float levelDb);

    // The level that the automatic 0 dB setting took over, to give it back later. Before it
    // changes `deviceName`, TakeLevel remembers the device's present level, unless the level
    // kept from an earlier change of the same device is still the one set then (the level from
    // before the first change stays kept); a level kept for another device is given back first.
    // After the change, NoteLevelSet records the level the device then has.
    void TakeLevel(const std::string& deviceName);
    void NoteLevelSet(const std::string& deviceName);
    // Gives the kept level back to its device, provided the device still has the level that was
    // set (nobody changed it since), and forgets it. True when it gave a level back.
    bool RestoreLevel();
    // True while a level is kept.
    bool HoldsLevel() const { return held_.has_value(); }

private:
    // A level taken over: the device, its master level before the change and after it (dB, as
    // getVolume reported them).
    struct THeldLevel {
        std::string DeviceName;
        float BeforeDb = 0.0f;
        float SetDb = 0.0f;
        bool Set = false; // SetDb is known
    };

    using OpenFn = std::int32_t (*)(const char*);
    using HandleFn = std::int32_t (*)(std::int32_t);
    using FormatFn = std::int32_t (*)(std::int32_t, std::int32_t*, std::int32_t*, std::int32_t*);
    using SetMuteFn = std::int32_t (*)(std::int32_t, std::int32_t);
    using RangeFn = std::int32_t (*)(std::int32_t, float*, float*, float*);
    using GetVolumeFn = std::int32_t (*)(std::int32_t, float*);
    using SetVolumeFn = std::int32_t (*)(std::int32_t, float);

    // The device's range in dB; false when it is empty or not finite.
    bool Range(std::int32_t handle, float& minDb, float& maxDb);
    void Unload();

    void* module_ = nullptr;
    bool available_ = false;
    OpenFn openCodec_ = nullptr;
    FormatFn getMixerFormat_ = nullptr;
    HandleFn getMuteState_ = nullptr;
    SetMuteFn setMuteState_ = nullptr;
    RangeFn getVolumeRange_ = nullptr;
    GetVolumeFn getVolume_ = nullptr;
    SetVolumeFn setVolume_ = nullptr;
    HandleFn balanceChannels_ = nullptr;
    HandleFn closeCodec_ = nullptr;
    std::optional<THeldLevel> held_;
};

// The platform test of the level feature: a sound server is reachable (its socket accepts a
// connection). Servers named by address other than a local socket are assumed reachable.
bool CodecPlatformSupported();

// The device name of a capture device entry "%.2d  %s": the entry without its first four
// characters (bytes; the prefix is ASCII).
std::string CodecDeviceName(const std::string& selectedDeviceName);

// The automatic input level: with the sound-card engine selected and the platform test passed,
// the selected device is set to its 0 dB position. Nothing changes where no source matches.
// The level the device had before is kept in `codec` (TakeLevel) for RestoreInputLevel.
void AutoSetInputLevel(TCodecLibrary& codec, bool soundCardEngine,
                       const std::string& selectedDeviceName);

// Gives the level that AutoSetInputLevel took over back to its device (when sampling stops and
// when the program closes), unless someone changed the device's level since; see RestoreLevel.
void RestoreInputLevel(TCodecLibrary& codec);
