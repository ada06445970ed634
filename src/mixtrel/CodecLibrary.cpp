// SPDX-License-Identifier: GPL-3.0-or-later
// Binding libmixtrel.so by name and setting a device's input level on its position scale.
#include "mixtrel/CodecLibrary.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

namespace {

template <typename Fn> bool Bind(void* module, const char* name, Fn& target) {
    target = reinterpret_cast<Fn>(dlsym(module, name));
    return target != nullptr;
}

bool SocketAccepts(const std::string& path) {
    if (path.empty() || path.size() >= sizeof(sockaddr_un::sun_path))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

TCodecLibrary::~TCodecLibrary() {
    Unload();
}

void TCodecLibrary::Unload() {
    available_ = false;
    if (module_ != nullptr)
        dlclose(module_);
    module_ = nullptr;
}

int TCodecLibrary::LoadCodecLibrary(const std::string& path) {
    if (available_)
        return 0;
    module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module_ == nullptr) {
        const auto slash = path.rfind('/');
        if (slash != std::string::npos)
            module_ = dlopen(path.substr(slash + 1).c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (module_ == nullptr)
        return -1;
    const bool bound = Bind(module_, "openCodec", openCodec_) &&
                       Bind(module_, "getMixerFormat", getMixerFormat_) &&
                       Bind(module_, "getMuteState", getMuteState_) &&
                       Bind(module_, "setMuteState", setMuteState_) &&
                       Bind(module_, "getVolumeRange", getVolumeRange_) &&
                       Bind(module_, "getVolume", getVolume_) &&
                       Bind(module_, "setVolume", setVolume_) &&
                       Bind(module_, "balanceChannels", balanceChannels_) &&
                       Bind(module_, "closeCodec", closeCodec_);
    if (!bound) {
        Unload();
        return -2;
    }
    available_ = true;
    return 0;
}

bool TCodecLibrary::Range(std::int32_t handle, float& minDb, float& maxDb) {
    float step = 0.0f;
    minDb = maxDb = 0.0f;
    getVolumeRange_(handle, &minDb, &maxDb, &step);
    // An empty or non-finite range would divide by zero below: the level stays as it is.
    return std::isfinite(minDb) && std::isfinite(maxDb) && maxDb != minDb;
}

int TCodecLibrary::ZeroDbPosition(const std::string& deviceName) {
    if (!available_)
        return -1;
    const std::int32_t handle = openCodec_(deviceName.c_str());
    if (handle == 0)
        return -1;
    float minDb = 0.0f;
    float maxDb = 0.0f;
    const bool usable = Range(handle, minDb, maxDb);
    closeCodec_(handle);
    if (!usable)
        return -1;
    const double y = (0.0 - minDb) * 2.0 / (static_cast<double>(maxDb) - minDb);
    const double position = std::nearbyint(std::pow(10.0, y)); // ties to even (default mode)
    if (!std::isfinite(position) || std::fabs(position) > 2147483647.0)
        return -1;
    return static_cast<int>(position);
}

bool TCodecLibrary::SetLevelPosition(const std::string& deviceName, int position, float& levelDb) {
    if (!available_)
        return false;
    const std::int32_t handle = openCodec_(deviceName.c_str());
    if (handle == 0)
        return false;
    float minDb = 0.0f;
    float maxDb = 0.0f;
    if (!Range(handle, minDb, maxDb)) {
        closeCodec_(handle);
        return false;
    }
    const double p = std::max(position, 1);
    levelDb = static_cast<float>(
        std::log10(p) / std::log10(100.0) * (static_cast<double>(maxDb) - minDb) + minDb);
    setVolume_(handle, levelDb);
    balanceChannels_(handle);
    closeCodec_(handle);
    return true;
}

bool TCodecLibrary::GetLevel(const std::string& deviceName, float& levelDb) {
    if (!available_)
        return false;
    const std::int32_t handle = openCodec_(deviceName.c_str());
    if (handle == 0)
        return false;
    float level = 0.0f;
    const bool read = getVolume_(handle, &level) == 1;
    closeCodec_(handle);
    if (read)
        levelDb = level;
    return read;
}

bool TCodecLibrary::SetLevel(const std::string& deviceName, float levelDb) {
    if (!available_)
        return false;
    const std::int32_t handle = openCodec_(deviceName.c_str());
    if (handle == 0)
        return false;
    const bool done = setVolume_(handle, levelDb) == 1;
    closeCodec_(handle);
    return done;
}

void TCodecLibrary::TakeLevel(const std::string& deviceName) {
    if (held_ && held_->DeviceName != deviceName)
        RestoreLevel();
    float now = 0.0f;
    if (!GetLevel(deviceName, now)) {
        held_.reset(); // nothing known to give back
        return;
    }
    if (held_ && held_->Set && now == held_->SetDb)
        return; // still the level set before: the one from before that change stays kept
    held_ = THeldLevel{deviceName, now, 0.0f, false};
}

void TCodecLibrary::NoteLevelSet(const std::string& deviceName) {
    if (!held_ || held_->DeviceName != deviceName)
        return;
    float now = 0.0f;
    if (GetLevel(deviceName, now)) {
        held_->SetDb = now;
        held_->Set = true;
    } else {
        held_.reset();
    }
}

bool TCodecLibrary::RestoreLevel() {
    if (!held_)
        return false;
    const THeldLevel held = *held_;
    held_.reset();
    float now = 0.0f;
    // Levels compare as the library reports them: the same server volume gives the same value.
    if (!held.Set || !GetLevel(held.DeviceName, now) || now != held.SetDb)
        return false;
    return SetLevel(held.DeviceName, held.BeforeDb);
}

bool CodecPlatformSupported() {
    std::string path;
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr && *server != '\0') {
        const std::string s(server);
        if (s.rfind("unix:", 0) == 0)
            path = s.substr(5);
        else if (s.front() == '/')
            path = s;
        else
            return true; // a server on the network: the library finds out
        return SocketAccepts(path);
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0')
        if (SocketAccepts(std::string(runtime) + "/pulse/native"))
            return true;
    return SocketAccepts("/run/user/" + std::to_string(getuid()) + "/pulse/native") ||
           SocketAccepts("/var/run/pulse/native");
}

std::string CodecDeviceName(const std::string& selectedDeviceName) {
    return selectedDeviceName.size() > 4 ? selectedDeviceName.substr(4) : std::string{};
}

void AutoSetInputLevel(TCodecLibrary& codec, bool soundCardEngine,
                       const std::string& selectedDeviceName) {
    if (!soundCardEngine || !codec.CodecAvailable() || !CodecPlatformSupported())
        return;
    const std::string name = CodecDeviceName(selectedDeviceName);
    const int position = codec.ZeroDbPosition(name);
    // -1 is no position but a failure: taken as position 1 it would drop the level to the
    // bottom of the range should the second look-up succeed.
    if (position < 0)
        return;
    codec.TakeLevel(name);
    float levelDb = 0.0f;
    if (codec.SetLevelPosition(name, position, levelDb))
        codec.NoteLevelSet(name);
}

void RestoreInputLevel(TCodecLibrary& codec) {
    codec.RestoreLevel();
}
