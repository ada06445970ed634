// Helpers of the engine tests: tone measurement, waiting on the dispatcher, sound-server access.
#pragma once

#include "audio/MainThreadDispatcher.h"
#include "audio/SndTypes.h"

#include <chrono>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace audiotest {

constexpr double kFullScale = 2147483648.0; // 2^31: full scale of the block values

// Amplitude of the DFT component at (possibly fractional) bin `bin` of `x`, relative to full
// scale: 2 |sum x[n] e^(-2 pi i bin n / N)| / N / 2^31. A sine of peak A at an exact bin gives A.
inline double ToneAmplitude(const TSingleArray& x, double bin) {
    std::complex<double> sum = 0.0;
    const double n = static_cast<double>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        sum += static_cast<double>(x[i]) *
               std::polar(1.0, -2.0 * M_PI * bin * static_cast<double>(i) / n);
    return 2.0 * std::abs(sum) / n / kFullScale;
}

inline double Db(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-12)); }

// Runs posted tasks on this (the "main") thread until `done` holds or `limit` passes.
inline bool PumpUntil(TQueuedDispatcher& dispatcher, const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (dispatcher.RunPending() == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// Runs posted tasks for a while.
inline void PumpFor(TQueuedDispatcher& dispatcher, std::chrono::milliseconds span) {
    PumpUntil(dispatcher, [] { return false; }, span);
}

// The unix socket of the sound server that clients of this process would use, or "".
inline std::string SoundServerSocket() {
    if (const char* server = std::getenv("PULSE_SERVER"); server != nullptr) {
        const std::string s(server);
        return s.rfind("unix:", 0) == 0 ? s.substr(5) : std::string{};
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr)
        return std::string(runtime) + "/pulse/native";
    return {};
}

// Whether a sound server answers on `socketPath` (a connect succeeds).
inline bool SoundServerReachable(const std::string& socketPath) {
    if (socketPath.empty() || socketPath.size() >= sizeof(sockaddr_un::sun_path))
        return false;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    socketPath.copy(address.sun_path, socketPath.size());
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace audiotest
