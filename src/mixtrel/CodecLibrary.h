// The program's binding to libmixtrel.so and the automatic 0 dB input level.
#pragma once

#include <cstdint>
#include <string>

// File name of the level library, looked for in the program's folder, then on the library path.
constexpr const char* kCodecLibraryName = "libmixtrel.so";
// The folder of the level library in an installed copy, relative to the program's folder. The
// installed program's run path names it, so loading by file name finds the library there before
// the normal library path; its presence also marks a program that runs installed.
constexpr const char* kInstalledLibraryFolder = "../lib/phonoscale";

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

private:
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
};

// The platform test of the level feature: a sound server is reachable (its socket accepts a
// connection). Servers named by address other than a local socket are assumed reachable.
bool CodecPlatformSupported();

// The device name of a capture device entry "%.2d  %s": the entry without its first four
// characters (bytes; the prefix is ASCII).
std::string CodecDeviceName(const std::string& selectedDeviceName);

// The automatic input level: with the sound-card engine selected and the platform test passed,
// the selected device is set to its 0 dB position. Nothing changes where no source matches.
void AutoSetInputLevel(TCodecLibrary& codec, bool soundCardEngine,
                       const std::string& selectedDeviceName);
