// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers of the low-latency engine's tests: a private JACK server and a JACK client of our own
// that plays a known sine and records what it is sent.
#pragma once

#include <jack/jack.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace jacktest {

// A JACK server (dummy backend) of this test alone, started and stopped through
// scripts/jack-server.sh; it also ends with this process.
class PrivateJackServer {
public:
    PrivateJackServer() {
        char pattern[] = "/tmp/ps-jack-test-XXXXXX";
        dir_ = mkdtemp(pattern);
    }
    ~PrivateJackServer() {
        Stop();
        std::error_code ignored; // a folder that cannot go stays behind in /tmp
        std::filesystem::remove_all(dir_, ignored);
    }
    PrivateJackServer(const PrivateJackServer&) = delete;
    PrivateJackServer& operator=(const PrivateJackServer&) = delete;

    static bool Installed() { return std::system("command -v jackd >/dev/null 2>&1") == 0; }

    // Starts it (again, under the same name) and points this process's JACK clients at it.
    bool Start(int rate = 48000, int period = 256) {
        FILE* out = popen(Command("start", rate, period).c_str(), "r");
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
        return pclose(out) == 0 && found == 3;
    }

    void Stop() {
        [[maybe_unused]] const int status =
            std::system(Command("stop", 0, 0).c_str()); // gone: fine
    }

    // Sends a signal to the server process (SIGTERM: it shuts down; SIGKILL: it just dies).
    void Signal(int signal) const {
        std::ifstream pidFile(dir_ + "/jackd.pid");
        pid_t pid = 0;
        if (pidFile >> pid && pid > 0)
            kill(pid, signal);
    }

    // Output of a command run against this server (e.g. "jack_lsp -c").
    static std::string Run(const std::string& command) {
        std::string text;
        if (FILE* out = popen((command + " 2>/dev/null").c_str(), "r")) {
            std::array<char, 512> buffer{};
            while (std::fgets(buffer.data(), buffer.size(), out) != nullptr)
                text += buffer.data();
            pclose(out);
        }
        return text;
    }

private:
    std::string Command(const char* verb, int rate, int period) const {
        return "PS_JACK_DIR='" + dir_ + "' PS_JACK_RATE=" + std::to_string(rate) +
               " PS_JACK_PERIOD=" + std::to_string(period) +
               " PS_JACK_WATCH_PID=" + std::to_string(getpid()) +
               " '" PS_SCRIPTS_DIR "/jack-server.sh' " + verb;
    }
    std::string dir_;
};

// Opens a client of the test on the running server. A server that has only just started may
// refuse the first client on a busy machine: up to ten tries, 200 ms apart. Null if none took.
inline jack_client_t* OpenTestClient(const char* name) {
    jack_client_t* client = nullptr;
    for (int attempt = 0; attempt < 10 && client == nullptr; ++attempt) {
        if (attempt > 0)
            usleep(200 * 1000);
        jack_status_t status{};
        client = jack_client_open(name, JackNoStartServer, &status);
    }
    return client;
}

// Registers "out_1", "out_2" and "in_1", "in_2".
inline void RegisterStereoPorts(jack_client_t* client, std::array<jack_port_t*, 2>& out,
                                std::array<jack_port_t*, 2>& in) {
    for (int c = 0; c < 2; ++c) {
        out[c] = jack_port_register(client, ("out_" + std::to_string(c + 1)).c_str(),
                                    JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        in[c] = jack_port_register(client, ("in_" + std::to_string(c + 1)).c_str(),
                                   JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }
}

// Sets the process callback and activates the client; closes it and returns null if the server
// refuses.
inline jack_client_t* ActivateTestClient(jack_client_t* client, JackProcessCallback process,
                                         void* arg) {
    jack_set_process_callback(client, process, arg);
    if (jack_activate(client) != 0) {
        jack_client_close(client);
        return nullptr;
    }
    return client;
}

// Deactivates and closes a client (null: nothing to do).
inline void CloseTestClient(jack_client_t* client) {
    if (client != nullptr) {
        jack_deactivate(client);
        jack_client_close(client);
    }
}

// A JACK client of the test with two output ports that play a sine (phase running on from
// sample to sample, equal on both) and two input ports whose samples it records, up to
// `recordFrames` frames. Its process callback only computes and copies into memory allocated
// beforehand.
class ToneClient {
public:
    ToneClient(const char* name, double frequencyHz, double amplitude,
               std::size_t recordFrames = 48000 * 4)
        : frequency_(frequencyHz), amplitude_(amplitude), left_(recordFrames),
          right_(recordFrames) {
        client_ = OpenTestClient(name);
        if (client_ == nullptr)
            return;
        rate_ = jack_get_sample_rate(client_);
        RegisterStereoPorts(client_, out_, in_);
        client_ = ActivateTestClient(client_, &ToneClient::Process, this);
    }
    ~ToneClient() { Close(); }
    ToneClient(const ToneClient&) = delete;
    ToneClient& operator=(const ToneClient&) = delete;

    bool Open() const { return client_ != nullptr; }
    void Close() {
        CloseTestClient(client_);
        client_ = nullptr;
    }
    // Frames recorded so far; the samples before it are complete (acquire pairs with the
    // callback's release).
    std::size_t Recorded() const { return recorded_.load(std::memory_order_acquire); }
    const std::vector<float>& Left() const { return left_; }
    const std::vector<float>& Right() const { return right_; }
    // Makes the next process cycle take `ms` milliseconds (the server then reports an xrun).
    void StallOnce(int ms) { stallMs_.store(ms, std::memory_order_relaxed); }

private:
    static int Process(jack_nframes_t frames, void* arg) {
        auto& t = *static_cast<ToneClient*>(arg);
        auto* l = static_cast<float*>(jack_port_get_buffer(t.out_[0], frames));
        auto* r = static_cast<float*>(jack_port_get_buffer(t.out_[1], frames));
        const double step = 2.0 * M_PI * t.frequency_ / t.rate_;
        for (jack_nframes_t i = 0; i < frames; ++i, ++t.phase_) {
            const auto s =
                static_cast<float>(t.amplitude_ * std::sin(step * static_cast<double>(t.phase_)));
            l[i] = s;
            r[i] = s;
        }
        const auto* inL = static_cast<const float*>(jack_port_get_buffer(t.in_[0], frames));
        const auto* inR = static_cast<const float*>(jack_port_get_buffer(t.in_[1], frames));
        std::size_t at = t.recorded_.load(std::memory_order_relaxed);
        for (jack_nframes_t i = 0; i < frames && at < t.left_.size(); ++i, ++at) {
            t.left_[at] = inL[i];
            t.right_[at] = inR[i];
        }
        t.recorded_.store(at, std::memory_order_release);
        if (const int ms = t.stallMs_.exchange(0, std::memory_order_relaxed); ms > 0)
            usleep(static_cast<useconds_t>(ms) * 1000);
        return 0;
    }

    jack_client_t* client_ = nullptr;
    std::array<jack_port_t*, 2> out_{};
    std::array<jack_port_t*, 2> in_{};
    double frequency_;
    double amplitude_;
    double rate_ = 48000;
    std::uint64_t phase_ = 0; // the process thread's own
    std::vector<float> left_, right_;
    std::atomic<std::size_t> recorded_{0};
    std::atomic<int> stallMs_{0};
};

// A JACK client of the test with ports of one direction only, as many clients are (a player
// offers outputs, a recorder inputs): `outputs` output ports "out_1"... that play silence, or
// `inputs` input ports "in_1"... Its process callback only clears its output buffers.
class OneWayClient {
public:
    OneWayClient(const char* name, int outputs, int inputs) {
        client_ = OpenTestClient(name);
        if (client_ == nullptr)
            return;
        for (int c = 1; c <= outputs; ++c)
            out_.push_back(jack_port_register(client_, ("out_" + std::to_string(c)).c_str(),
                                              JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
        for (int c = 1; c <= inputs; ++c)
            jack_port_register(client_, ("in_" + std::to_string(c)).c_str(),
                               JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
        client_ = ActivateTestClient(client_, &OneWayClient::Process, this);
    }
    ~OneWayClient() { CloseTestClient(client_); }
    OneWayClient(const OneWayClient&) = delete;
    OneWayClient& operator=(const OneWayClient&) = delete;
    bool Open() const { return client_ != nullptr; }

private:
    static int Process(jack_nframes_t frames, void* arg) {
        for (jack_port_t* port : static_cast<OneWayClient*>(arg)->out_)
            std::fill_n(static_cast<float*>(jack_port_get_buffer(port, frames)), frames, 0.0f);
        return 0;
    }
    jack_client_t* client_ = nullptr;
    std::vector<jack_port_t*> out_;
};

// The ports connected to `port` in the server's own report (`jack_lsp -c`: each port on a line
// of its own, the ports connected to it below it, indented).
inline std::vector<std::string> ConnectionsOf(const std::string& lsp, const std::string& port) {
    std::vector<std::string> peers;
    bool inside = false;
    std::size_t start = 0;
    while (start < lsp.size()) {
        std::size_t end = lsp.find('\n', start);
        if (end == std::string::npos)
            end = lsp.size();
        const std::string line = lsp.substr(start, end - start);
        start = end + 1;
        if (line.empty())
            continue;
        if (line[0] != ' ')
            inside = line == port;
        else if (inside)
            peers.push_back(line.substr(line.find_first_not_of(' ')));
    }
    return peers;
}

} // namespace jacktest
