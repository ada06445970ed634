// SPDX-License-Identifier: GPL-3.0-or-later
// The low-latency engine on a JACK server.
#include "audio/WdmStrm.h"

#include "audio/AlsaPcm.h"
#include "audio/SpscRing.h"
#include "audio/StopSignal.h"

#include <jack/jack.h>
#include <jack/statistics.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// JACK samples are floats with full scale 1.0; block values have full scale 2^31. Both factors
// are powers of two, so the conversions are exact.
constexpr float kFromJack = 2147483648.0f;
constexpr float kToJack = 1.0f / 2147483648.0f;

// How long Stop waits for the server to close our client.
constexpr auto kCloseWait = std::chrono::milliseconds(500);

// How long the worker keeps looking for a vanished port after a port has been removed.
constexpr auto kPortWatch = std::chrono::milliseconds(1000);

std::int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The integer form of a block value: rounded to nearest, limited to the 32-bit range.
std::int32_t ToInt32(float value) {
    const double v = std::nearbyint(static_cast<double>(value));
    return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

} // namespace

// One run of the engine, from Start to Stop. Shared by the engine (main thread), the worker
// and the server's threads (through the raw pointer given to the callbacks, valid until the
// client is closed, which Stop does before it lets the session go); hand-over and failure
// tasks posted to the main thread hold it weakly.
struct TWdmSession {
    TWdmAudioStream* Owner = nullptr; // main thread only; null once the run has ended
    IMainThreadDispatcher* Dispatcher = nullptr;
    TStopSignal StopSignal;
    std::mutex PostMutex;            // held while posting and while raising the stop request
    std::atomic<bool> Failed{false}; // set once by the first report of a failure

    // Fixed at Start, before the client is activated.
    bool Capture = false, Render = false;
    bool IntegerDelivery = false;
    int InChannels = 0, OutChannels = 0;
    std::size_t InFrames = 0, OutFrames = 0;    // block lengths
    std::size_t RenderPad = 0;                  // silence ahead of the first rendered block
    std::vector<std::string> InPeers, OutPeers; // the device's ports, one per channel
    std::string InName, OutName;                // display names of the devices
    int Rate = 0;
    jack_client_t* Client = nullptr; // opened and closed on the main thread
    std::string ClientName;
    std::vector<jack_port_t*> InPorts, OutPorts;

    // The process callback's own (server's process thread only).
    std::vector<const float*> InScratch;
    std::vector<float*> OutScratch;
    bool Overflowing = false, Underrunning = false;

    // Between the process thread and the worker.
    TSpscRing<float> CaptureRing, RenderRing;
    std::atomic<bool> RenderPrimed{false}; // release by the worker after its first block
    TGapCounters InGaps, OutGaps;          // relaxed: statistics
    std::atomic<std::uint64_t> Xruns{0}, XrunFrames{0};
    int WakeFd = -1; // eventfd: written by the server's threads, read by the worker

    // Between the server's notification thread and the worker. `Reason` is written once before
    // the release store of `ServerGone` and read after its acquire load.
    std::atomic<bool> ServerGone{false};
    char Reason[256] = {};
    std::atomic<bool> PortsChanged{false};

    // The hand-over. The block arrays belong to the worker except while a hand-over task runs,
    // when they belong to the main thread; `Done` under `HandMutex` gives them back.
    std::mutex HandMutex;
    std::condition_variable HandDone;
    bool Done = false;
    TDataBufferF InBlock, OutBlock;
    TDataBufferI IntBlock;
    std::int64_t CaptureStamp = 0, RenderStamp = 0;

    std::thread Worker;

    ~TWdmSession() {
        if (WakeFd >= 0)
            ::close(WakeFd);
    }

    void Wake() const noexcept {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(WakeFd, &one, sizeof one);
    }

    // Main thread: ends the run; nothing of it is posted after this returns.
    void RequestStop() {
        {
            std::lock_guard lock(PostMutex);
            StopSignal.Request();
        }
        { std::lock_guard lock(HandMutex); } // orders the request before the worker's re-check
        HandDone.notify_all();
    }

    bool PostUnlessStopped(std::function<void()> task) {
        std::lock_guard lock(PostMutex);
        if (StopSignal.Requested())
            return false;
        Dispatcher->Post(std::move(task));
        return true;
    }

    // Posts the run's one failure report, unless the main thread is stopping the run already.
    static void Fail(const std::shared_ptr<TWdmSession>& s, const std::string& message) {
        if (s->Failed.exchange(true, std::memory_order_acq_rel))
            return;
        s->PostUnlessStopped([weak = std::weak_ptr<TWdmSession>(s), message] {
            if (auto live = weak.lock(); live && live->Owner)
                live->Owner->Lost(live, message);
        });
    }

    void CloseClient() {
        if (Client == nullptr)
            return;
        jack_deactivate(Client);
        jack_client_close(Client);
        Client = nullptr;
    }

    // The server's process thread, once per period: no blocking, allocation or locking.
    static int Process(jack_nframes_t frames, void* arg) {
        auto& s = *static_cast<TWdmSession*>(arg);
        bool wake = false;
        if (s.Capture) {
            const auto ch = static_cast<std::size_t>(s.InChannels);
            for (std::size_t c = 0; c < ch; ++c)
                s.InScratch[c] =
                    static_cast<const float*>(jack_port_get_buffer(s.InPorts[c], frames));
            const std::size_t n = std::min<std::size_t>(frames, s.CaptureRing.WriteSpace() / ch);
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t c = 0; c < ch; ++c)
                    s.CaptureRing.WriteSlot(i * ch + c) = s.InScratch[c][i];
            s.CaptureRing.CommitWrite(n * ch);
            if (n < frames) {
                if (!s.Overflowing)
                    s.InGaps.Gaps.fetch_add(1, std::memory_order_relaxed);
                s.InGaps.FramesLost.fetch_add(frames - n, std::memory_order_relaxed);
            }
            s.Overflowing = n < frames;
            wake = s.CaptureRing.Capacity() - s.CaptureRing.WriteSpace() >= s.InFrames * ch;
        }
        if (s.Render) {
            const auto ch = static_cast<std::size_t>(s.OutChannels);
            for (std::size_t c = 0; c < ch; ++c)
                s.OutScratch[c] = static_cast<float*>(jack_port_get_buffer(s.OutPorts[c], frames));
            const bool primed = s.RenderPrimed.load(std::memory_order_acquire);
            const std::size_t n =
                primed ? std::min<std::size_t>(frames, s.RenderRing.ReadAvailable() / ch) : 0;
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t c = 0; c < ch; ++c)
                    s.OutScratch[c][i] = s.RenderRing.ReadSlot(i * ch + c);
            s.RenderRing.CommitRead(n * ch);
            for (std::size_t c = 0; c < ch; ++c)
                std::fill(s.OutScratch[c] + n, s.OutScratch[c] + frames, 0.0f);
            if (primed && n < frames) {
                if (!s.Underrunning)
                    s.OutGaps.Gaps.fetch_add(1, std::memory_order_relaxed);
                s.OutGaps.FramesLost.fetch_add(frames - n, std::memory_order_relaxed);
            }
            s.Underrunning = primed && n < frames;
            if (!s.Capture) // rendering alone: keep two blocks queued
                wake = wake || s.RenderRing.ReadAvailable() < 2 * s.OutFrames * ch;
        }
        if (wake)
            s.Wake();
        return 0;
    }

    // The server's notification thread.
    static int Xrun(void* arg) {
        auto& s = *static_cast<TWdmSession*>(arg);
        const double delayed = static_cast<double>(jack_get_xrun_delayed_usecs(s.Client));
        const auto frames = static_cast<std::uint64_t>(std::max(0.0, delayed) * s.Rate / 1e6 + 0.5);
        s.Xruns.fetch_add(1, std::memory_order_relaxed);
        s.XrunFrames.fetch_add(frames, std::memory_order_relaxed);
        return 0;
    }

    static void PortRegistration(jack_port_id_t, int registered, void* arg) {
        auto& s = *static_cast<TWdmSession*>(arg);
        if (registered != 0)
            return;
        s.PortsChanged.store(true, std::memory_order_release);
        s.Wake();
    }

    // Our client has ended: the server shut down or threw us out.
    static void Shutdown(jack_status_t, const char* reason, void* arg) {
        auto& s = *static_cast<TWdmSession*>(arg);
        if (s.ServerGone.load(std::memory_order_relaxed))
            return;
        std::snprintf(s.Reason, sizeof s.Reason, "%s",
                      reason != nullptr && *reason != '\0' ? reason : "the JACK server stopped");
        s.ServerGone.store(true, std::memory_order_release);
        s.Wake();
    }
};

// The worker of one run: moves blocks between the rings and the main thread.
class TWdmThread {
public:
    static void Run(std::shared_ptr<TWdmSession> s) {
        try {
            pollfd fds[2] = {{s->WakeFd, POLLIN, 0}, {s->StopSignal.Fd(), POLLIN, 0}};
            // A port goes from the server's graph some time after its notice arrives: after a
            // notice the device's ports are looked at again for a while.
            auto checkUntil = std::chrono::steady_clock::time_point::min();
            for (;;) {
                if (s->StopSignal.Requested())
                    return;
                if (s->ServerGone.load(std::memory_order_acquire)) {
                    TWdmSession::Fail(s, Lead(*s) + ": " + s->Reason);
                    return;
                }
                const auto now = std::chrono::steady_clock::now();
                if (s->PortsChanged.exchange(false, std::memory_order_acq_rel))
                    checkUntil = now + kPortWatch;
                if (now <= checkUntil) {
                    const std::string gone = MissingPort(*s);
                    if (!gone.empty()) {
                        TWdmSession::Fail(s, Lead(*s) + ": the port " + gone + " is gone");
                        return;
                    }
                }
                if (!Pump(s))
                    return;
                if (::poll(fds, 2, now <= checkUntil ? 20 : -1) < 0 && errno != EINTR)
                    throw EWdmAudioError(3);
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = ::read(s->WakeFd, &count, sizeof count);
            }
        } catch (const std::exception& e) {
            TWdmSession::Fail(s, e.what());
        }
    }

private:
    // How a lost run's message begins: the reading side when capturing, else the writing side.
    static std::string Lead(const TWdmSession& s) {
        return EWdmAudioError::Template(s.Capture ? 4 : 5);
    }

    // The first of the device's ports that no longer exists ("" when all do).
    static std::string MissingPort(const TWdmSession& s) {
        for (const auto* peers : {&s.InPeers, &s.OutPeers})
            for (const auto& name : *peers)
                if (jack_port_by_name(s.Client, name.c_str()) == nullptr)
                    return name;
        return {};
    }

    // Hands every complete block over; false when the run is stopping.
    static bool Pump(const std::shared_ptr<TWdmSession>& s) {
        if (s->Capture) {
            const auto ch = static_cast<std::size_t>(s->InChannels);
            const std::size_t need = s->InFrames * ch;
            while (s->CaptureRing.ReadAvailable() >= need) {
                if (s->StopSignal.Requested())
                    return false;
                for (std::size_t c = 0; c < ch; ++c) {
                    auto& row = s->InBlock[c];
                    for (std::size_t i = 0; i < s->InFrames; ++i)
                        row[i] = s->CaptureRing.ReadSlot(i * ch + c) * kFromJack;
                }
                s->CaptureRing.CommitRead(need);
                if (s->IntegerDelivery)
                    for (std::size_t c = 0; c < ch; ++c)
                        std::transform(s->InBlock[c].begin(), s->InBlock[c].end(),
                                       s->IntBlock[c].begin(), ToInt32);
                s->CaptureStamp = NowNs();
                if (!HandOver(s))
                    return false;
                if (s->Render)
                    Render(*s);
            }
        } else if (s->Render) {
            const std::size_t block = s->OutFrames * static_cast<std::size_t>(s->OutChannels);
            while (s->RenderRing.Capacity() - s->RenderRing.WriteSpace() < 2 * block) {
                if (s->StopSignal.Requested() || !HandOver(s))
                    return false;
                Render(*s);
            }
        }
        return true;
    }

    // Runs `OnData` on the main thread and waits until it has returned (or the run stops).
    static bool HandOver(const std::shared_ptr<TWdmSession>& s) {
        {
            std::lock_guard lock(s->HandMutex);
            s->Done = false;
        }
        const bool posted = s->PostUnlessStopped([weak = std::weak_ptr<TWdmSession>(s)] {
            const auto live = weak.lock();
            if (!live)
                return;
            std::string error;
            if (live->Owner)
                live->Owner->Deliver(live, error);
            {
                std::lock_guard lock(live->HandMutex);
                live->Done = true;
            }
            live->HandDone.notify_all();
            // Reported after the arrays are given back: a report that opens a dialog must not
            // hold the stream up.
            if (!error.empty() && live->Owner)
                live->Owner->NoteBlockError(error);
        });
        if (!posted)
            return false;
        std::unique_lock lock(s->HandMutex);
        s->HandDone.wait(lock, [&] { return s->Done || s->StopSignal.Requested(); });
        return s->Done && !s->StopSignal.Requested();
    }

    // Converts the output block into the render ring; a block that does not fit is not played
    // and counts as an output gap.
    static void Render(TWdmSession& s) {
        const auto ch = static_cast<std::size_t>(s.OutChannels);
        const std::size_t need = s.OutFrames * ch;
        const bool primed = s.RenderPrimed.load(std::memory_order_relaxed);
        const std::size_t pad = primed ? 0 : s.RenderPad * ch;
        if (s.RenderRing.WriteSpace() < need + pad) {
            s.OutGaps.Gaps.fetch_add(1, std::memory_order_relaxed);
            s.OutGaps.FramesLost.fetch_add(s.OutFrames, std::memory_order_relaxed);
            return;
        }
        for (std::size_t i = 0; i < pad; ++i)
            s.RenderRing.WriteSlot(i) = 0.0f;
        for (std::size_t c = 0; c < ch; ++c) {
            const TSingleArray* row = c < s.OutBlock.size() ? &s.OutBlock[c] : nullptr;
            for (std::size_t i = 0; i < s.OutFrames; ++i)
                s.RenderRing.WriteSlot(pad + i * ch + c) =
                    row != nullptr && i < row->size() ? (*row)[i] * kToJack : 0.0f;
        }
        s.RenderRing.CommitWrite(pad + need);
        s.RenderStamp = NowNs();
        if (!primed)
            s.RenderPrimed.store(true, std::memory_order_release);
    }
};

namespace {

// Opens our client, registers and connects its ports and activates it (on a thread of its own,
// see Start). Throws EWdmAudioError; whatever was opened is closed by the caller.
void OpenPorts(TWdmSession& s) {
    SilenceJack();
    jack_status_t status{};
    // A server still removing the client of the previous run refuses a new one for a moment:
    // a few tries, well inside the start deadline.
    for (int attempt = 0; attempt < 5 && s.Client == nullptr; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.Client = jack_client_open(kJackClientName, JackNoStartServer, &status);
    }
    if (s.Client == nullptr)
        throw EWdmAudioError(12, s.Capture ? s.InName : s.OutName);
    s.ClientName = jack_get_client_name(s.Client);
    // The server may have been restarted at another rate since the table was built.
    if (static_cast<int>(jack_get_sample_rate(s.Client)) != s.Rate)
        throw EWdmAudioError(s.Capture ? 16 : 15);
    const auto registerPorts = [&s](int count, const char* stem, unsigned long flags,
                                    std::vector<jack_port_t*>& ports, int error,
                                    const std::string& device) {
        for (int c = 1; c <= count; ++c) {
            const std::string name = stem + std::to_string(c);
            jack_port_t* port =
                jack_port_register(s.Client, name.c_str(), JACK_DEFAULT_AUDIO_TYPE, flags, 0);
            if (port == nullptr)
                throw EWdmAudioError(error, device, -1);
            ports.push_back(port);
        }
    };
    registerPorts(s.InChannels, "in_", JackPortIsInput, s.InPorts, 18, s.InName);
    registerPorts(s.OutChannels, "out_", JackPortIsOutput, s.OutPorts, 17, s.OutName);

    // Rings of four blocks and a margin of periods; silence of a block (at least two
    // periods) ahead of the first rendered block absorbs the time the main thread takes.
    const auto period =
        static_cast<std::size_t>(std::max<jack_nframes_t>(jack_get_buffer_size(s.Client), 1));
    const std::size_t margin = 8 * std::max<std::size_t>(period, 1024);
    s.CaptureRing.Allocate(static_cast<std::size_t>(s.InChannels) * (4 * s.InFrames + margin));
    s.RenderPad = std::max(s.OutFrames, 2 * period);
    s.RenderRing.Allocate(static_cast<std::size_t>(s.OutChannels) *
                          (4 * s.OutFrames + s.RenderPad + margin));
    s.InScratch.assign(static_cast<std::size_t>(s.InChannels), nullptr);
    s.OutScratch.assign(static_cast<std::size_t>(s.OutChannels), nullptr);
    AllocateBlock(s.InBlock, s.InChannels, static_cast<int>(s.InFrames));
    AllocateBlock(s.OutBlock, s.OutChannels, static_cast<int>(s.OutFrames));
    s.IntBlock.assign(static_cast<std::size_t>(s.InChannels), TIntegerArray(s.InFrames, 0));
    s.WakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (s.WakeFd < 0)
        throw EWdmAudioError(3);

    jack_set_process_callback(s.Client, &TWdmSession::Process, &s);
    jack_set_xrun_callback(s.Client, &TWdmSession::Xrun, &s);
    jack_set_port_registration_callback(s.Client, &TWdmSession::PortRegistration, &s);
    jack_on_info_shutdown(s.Client, &TWdmSession::Shutdown, &s);
    if (const int r = jack_activate(s.Client); r != 0)
        throw EWdmAudioError(s.Render ? 13 : 14, s.Render ? s.OutName : s.InName, r);
    for (std::size_t c = 0; c < s.OutPorts.size(); ++c) {
        const int r = jack_connect(s.Client, jack_port_name(s.OutPorts[c]), s.OutPeers[c].c_str());
        if (r != 0 && r != EEXIST)
            throw EWdmAudioError(13, s.OutName, r);
    }
    for (std::size_t c = 0; c < s.InPorts.size(); ++c) {
        const int r = jack_connect(s.Client, s.InPeers[c].c_str(), jack_port_name(s.InPorts[c]));
        if (r != 0 && r != EEXIST)
            throw EWdmAudioError(14, s.InName, r);
    }
}

} // namespace

TWdmAudioStream::TWdmAudioStream(IMainThreadDispatcher* dispatcher) : dispatcher_(dispatcher) {
    auto& table = WdmAudio();
    if (!table.Initialised())
        table.Refresh(); // a server started since the last look
    const bool captures = !table.CaptureNames().empty();
    const bool renders = !table.RenderNames().empty();
    Directions = captures && renders ? ddBoth : (captures ? ddCapture : ddRender);
    const auto first = [&table](TDataFlow flow) {
        const auto& filters = table.Filters();
        for (std::size_t i = 0; i < filters.size(); ++i)
            if (filters[i].PinOf(flow) != nullptr)
                return static_cast<int>(i);
        return 0;
    };
    InputDevice = TDeviceSettings(first(dfCapture), 2, 48000, 24, 2048);
    OutputDevice = TDeviceSettings(first(dfRender), 2, 48000, 16, 2048);
}

TWdmAudioStream::~TWdmAudioStream() {
    Stop();
}

int TWdmAudioStream::FindDevice(const std::string& name, bool) const {
    return WdmAudio().Find(name);
}

int TWdmAudioStream::DeviceOfEntry(bool capture, int position) const {
    const TWdmAudio& table = WdmAudio();
    const auto& names = capture ? table.CaptureNames() : table.RenderNames();
    if (position < 0 || static_cast<std::size_t>(position) >= names.size())
        return -1;
    return table.Find(names[static_cast<std::size_t>(position)]);
}

void TWdmAudioStream::RefreshDevices() {
    if (!session_)
        WdmAudio().Refresh();
}

std::string TWdmAudioStream::ClientName() const {
    return session_ ? session_->ClientName : std::string{};
}

TStreamHealth TWdmAudioStream::Health() const {
    TStreamHealth h = health_;
    if (const auto& s = session_) {
        const auto xruns = s->Xruns.load(std::memory_order_relaxed);
        const auto xrunFrames = s->XrunFrames.load(std::memory_order_relaxed);
        h.CaptureGaps = s->InGaps.Gaps.load(std::memory_order_relaxed) + (s->Capture ? xruns : 0);
        h.CaptureFramesLost =
            s->InGaps.FramesLost.load(std::memory_order_relaxed) + (s->Capture ? xrunFrames : 0);
        h.RenderGaps = s->OutGaps.Gaps.load(std::memory_order_relaxed) + (s->Render ? xruns : 0);
        h.RenderFramesLost =
            s->OutGaps.FramesLost.load(std::memory_order_relaxed) + (s->Render ? xrunFrames : 0);
    }
    return h;
}

void TWdmAudioStream::Start() {
    if (session_)
        return;
    health_ = {};
    const TWdmAudio& table = WdmAudio();
    if (!table.Initialised())
        throw EWdmAudioError(1);
    if (dispatcher_ == nullptr)
        throw EAudioError("No main-thread dispatcher for the low-latency engine");
    const bool capture = Directions == ddCapture || Directions == ddBoth;
    const bool render = Directions == ddRender || Directions == ddBoth;
    const auto& filters = table.Filters();
    const auto check = [&filters](const TDeviceSettings& d) {
        if (d.Index < 0 || static_cast<std::size_t>(d.Index) >= filters.size())
            throw EWdmAudioError(6, d.Index);
        if (d.Channels < 1)
            throw EWdmAudioError(7, d.Channels);
        if (d.BitsPerSample < 8 || d.BitsPerSample > 32)
            throw EWdmAudioError(8, d.BitsPerSample);
        if (d.SamplingRate < 1000 || d.SamplingRate > 200000)
            throw EWdmAudioError(9, d.SamplingRate);
        if (static_cast<std::int64_t>(d.SamplesPerBuf) >
            3 * static_cast<std::int64_t>(d.SamplingRate))
            throw EWdmAudioError(10, d.SamplesPerBuf);
        // A block of no samples could never be delivered.
        if (d.SamplesPerBuf < 1)
            throw EAudioError("Invalid buffer size: " + std::to_string(d.SamplesPerBuf) +
                              " samples");
    };
    if (capture)
        check(InputDevice);
    if (render)
        check(OutputDevice);
    if (capture && render &&
        static_cast<std::int64_t>(InputDevice.SamplingRate) * OutputDevice.SamplesPerBuf !=
            static_cast<std::int64_t>(OutputDevice.SamplingRate) * InputDevice.SamplesPerBuf)
        throw EWdmAudioError(11);
    const auto choose = [&filters](const TDeviceSettings& d, TDataFlow flow) -> const TPin& {
        for (const auto& pin : filters[static_cast<std::size_t>(d.Index)].Pins)
            if (pin.DataFlow == flow && pin.MaxChannels >= d.Channels &&
                pin.MinRate <= d.SamplingRate && d.SamplingRate <= pin.MaxRate)
                return pin;
        throw EWdmAudioError(flow == dfCapture ? 16 : 15);
    };

    auto s = std::make_shared<TWdmSession>();
    s->Dispatcher = dispatcher_;
    s->Capture = capture;
    s->Render = render;
    s->IntegerDelivery = IntegerDelivery;
    if (capture) {
        const TPin& pin = choose(InputDevice, dfCapture);
        s->InChannels = InputDevice.Channels;
        s->InFrames = static_cast<std::size_t>(InputDevice.SamplesPerBuf);
        s->InPeers.assign(pin.Ports.begin(), pin.Ports.begin() + InputDevice.Channels);
        s->InName = filters[static_cast<std::size_t>(InputDevice.Index)].DisplayName;
        s->Rate = InputDevice.SamplingRate;
    }
    if (render) {
        const TPin& pin = choose(OutputDevice, dfRender);
        s->OutChannels = OutputDevice.Channels;
        s->OutFrames = static_cast<std::size_t>(OutputDevice.SamplesPerBuf);
        s->OutPeers.assign(pin.Ports.begin(), pin.Ports.begin() + OutputDevice.Channels);
        s->OutName = filters[static_cast<std::size_t>(OutputDevice.Index)].DisplayName;
        s->Rate = OutputDevice.SamplingRate;
    }

    // The server is asked on a thread of its own: one that is frozen cannot hold the window.
    auto failure = std::make_shared<std::exception_ptr>();
    const bool answered = RunWithin(
        kAnswerWait,
        [s, failure] {
            try {
                OpenPorts(*s);
            } catch (...) {
                *failure = std::current_exception();
                s->CloseClient();
            }
        },
        [s] { s->CloseClient(); });
    if (!answered)
        throw EWdmAudioError(12, capture ? s->InName : s->OutName);
    if (*failure)
        std::rethrow_exception(*failure);
    // What the pins were opened with: the channels asked for, 32-bit samples.
    if (capture)
        InputDevice.BitsPerSample = 32;
    if (render)
        OutputDevice.BitsPerSample = 32;
    s->Owner = this;
    session_ = s;
    s->Worker = std::thread(&TWdmThread::Run, s);
}

void TWdmAudioStream::Stop() {
    if (!session_)
        return;
    const auto s = std::move(session_);
    session_.reset();
    s->Owner = nullptr; // tasks still queued for this run do nothing from here on
    s->RequestStop();
    if (s->Worker.joinable())
        s->Worker.join();
    // No callback runs once the client is closed; a server that does not answer keeps the
    // session (held by the closing thread) until it does.
    RunWithin(kCloseWait, [s] { s->CloseClient(); });
    const auto xruns = s->Xruns.load(std::memory_order_relaxed);
    const auto xrunFrames = s->XrunFrames.load(std::memory_order_relaxed);
    health_.CaptureGaps = s->InGaps.Gaps.load(std::memory_order_relaxed) + (s->Capture ? xruns : 0);
    health_.CaptureFramesLost =
        s->InGaps.FramesLost.load(std::memory_order_relaxed) + (s->Capture ? xrunFrames : 0);
    health_.RenderGaps = s->OutGaps.Gaps.load(std::memory_order_relaxed) + (s->Render ? xruns : 0);
    health_.RenderFramesLost =
        s->OutGaps.FramesLost.load(std::memory_order_relaxed) + (s->Render ? xrunFrames : 0);
}

void TWdmAudioStream::Deliver(const std::shared_ptr<TWdmSession>& s, std::string& error) {
    if (s != session_)
        return;
    CaptureTimestamp_ = s->CaptureStamp;
    RenderTimestamp_ = s->RenderStamp;
    try {
        if (OnData)
            OnData(this, s->IntBlock, s->InBlock, s->OutBlock);
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown exception while a block was handled";
    }
}

void TWdmAudioStream::Lost(const std::shared_ptr<TWdmSession>& s, const std::string& message) {
    if (s != session_)
        return;
    ErrorMessage_ = message;
    Stop();
    if (OnFailure)
        OnFailure(message);
}

void TWdmAudioStream::NoteBlockError(const std::string& text) {
    ::NoteBlockError(health_, OnBlockError, text);
}
