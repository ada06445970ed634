// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the engine tests: tone measurement, waiting on the dispatcher, sound-server access.
#pragma once

#include "audio/MainThreadDispatcher.h"
#include "audio/SndTypes.h"

#include <array>
#include <chrono>
#include <cmath>
#include <complex>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// A PulseAudio server of this test alone, started and stopped through scripts/sound-server.sh.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        char pattern[] = "/tmp/ps-sound-test-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~PrivateSoundServer() {
        Stop();
        std::error_code ignored; // a folder that cannot go stays behind in /tmp
        std::filesystem::remove_all(dir_, ignored);
    }

    // Starts it and points this process's sound-server clients at it; false when that fails.
    bool Start() {
        if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0)
            return false;
        FILE* out = popen(Command("start").c_str(), "r");
        if (out == nullptr)
            return false;
        std::array<char, 512> line{};
        int found = 0;
        while (std::fgets(line.data(), line.size(), out) != nullptr) {
            // Lines of the form: export NAME='VALUE'
            std::string text(line.data());
            const auto eq = text.find('=');
            if (text.rfind("export ", 0) != 0 || eq == std::string::npos)
                continue;
            const std::string name = text.substr(7, eq - 7);
            std::string value = text.substr(eq + 1);
            while (!value.empty() && (value.back() == '\n' || value.back() == '\''))
                value.pop_back();
            if (!value.empty() && value.front() == '\'')
                value.erase(0, 1);
            setenv(name.c_str(), value.c_str(), 1);
            ++found;
        }
        return pclose(out) == 0 && found == 2;
    }

    void Stop() {
        Signal(SIGCONT);
        [[maybe_unused]] const int status = std::system(Command("stop").c_str()); // gone is fine
    }

    // Sends a signal to the server process (SIGSTOP freezes it: a device that hangs).
    void Signal(int signal) const {
        std::ifstream pidFile(dir_ + "/pulseaudio.pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 0)
            kill(pid, signal);
    }

private:
    std::string Command(const char* verb) const {
        // The server also ends with this process, should the test crash before its destructor.
        return "PS_SOUND_DIR='" + dir_ + "' PS_SOUND_WATCH_PID=" + std::to_string(getpid()) +
               " '" PS_SCRIPTS_DIR "/sound-server.sh' " + verb;
    }
    std::string dir_;
};

} // namespace audiotest
