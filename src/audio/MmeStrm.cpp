// The sound-card engine on ALSA PCM devices.
#include "audio/MmeStrm.h"

#include "audio/AlsaPcm.h"
#include "audio/AudioError.h"
#include "audio/BufferQueue.h"
#include "audio/StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <thread>

namespace {

constexpr int kCaptureBuffers = 8; // fixed, whatever BufferCount says
constexpr int kRingSlots = 4;
// How long Stop waits for a worker before leaving it to end on its own: a healthy device drops
// and closes in milliseconds; after a device failure the worker only closes the broken device,
// which can hang (a frozen sound server), so the window is not kept waiting for it.
constexpr auto kWorkerExitWait = std::chrono::seconds(2);
constexpr auto kFailedWorkerExitWait = std::chrono::milliseconds(250);

// Device period: half a block, within 32..8192 frames; device buffer: at least 8 periods and a
// quarter of a second, so that a busy main thread does not overrun the capture side at once.
std::size_t PeriodFor(const TDeviceSettings& d) {
    return static_cast<std::size_t>(std::clamp(d.SamplesPerBuf / 2, 32, 8192));
}

std::size_t BufferFor(const TDeviceSettings& d) {
    return std::max(8 * PeriodFor(d), static_cast<std::size_t>(std::max(d.SamplingRate, 0) / 4));
}

// Whether every row of `block` holds at least `frames` samples and there are `channels` rows.
bool HasShape(const TDataBufferF& block, int channels, std::size_t frames) {
    if (block.size() != static_cast<std::size_t>(channels))
        return false;
    return std::all_of(block.begin(), block.end(),
                       [frames](const TSingleArray& row) { return row.size() >= frames; });
}

// Waits for a worker to end (see kWorkerExitWait); true when it ended and was joined.
bool JoinWorker(std::thread& worker, std::future<void>& exited, bool failed) {
    if (!worker.joinable())
        return true;
    const auto wait = failed ? std::chrono::duration_cast<std::chrono::milliseconds>(kFailedWorkerExitWait)
                             : std::chrono::duration_cast<std::chrono::milliseconds>(kWorkerExitWait);
    if (exited.valid() && exited.wait_for(wait) == std::future_status::timeout) {
        worker.detach(); // it holds the session; the device closes when it finally ends
        return false;
    }
    worker.join();
    return true;
}

} // namespace

// One run of the engine, from Start to Stop. Shared by the engine (main thread) and the two
// workers; completions posted to the main thread hold it weakly, so a completion that arrives
// after its run has ended finds either nothing or a session whose Owner is null.
struct TMmeSession {
    TMmeAudioStream* Owner = nullptr; // main thread only; null once the run has ended
    TStopSignal StopSignal;
    std::atomic<bool> Failed{false}; // set once by the first worker that loses its device

    // Capture side: the worker owns InPcm; buffers move as described in the engine's header.
    std::unique_ptr<TAlsaPcm> InPcm;
    std::vector<TByteArray> InBuffers;
    std::size_t InFrames = 0;
    int InRate = 0; // frames per second
    TBufferQueue InFree;
    TGapCounters InGaps;
    std::thread InWorker;
    std::future<void> InExited;

    // Render side, the same with the filled buffers waiting to be written.
    std::unique_ptr<TAlsaPcm> OutPcm;
    std::vector<TByteArray> OutBuffers;
    std::size_t OutFrames = 0;
    TBufferQueue OutFilled;
    TGapCounters OutGaps;
    std::thread OutWorker;
    std::future<void> OutExited;

    void RequestStop() {
        StopSignal.Request();
        InFree.Wake();
        OutFilled.Wake();
    }

    // Worker side of a lost device: stop both workers and tell the main thread, once per run.
    static void ReportLost(const std::shared_ptr<TMmeSession>& s, IMainThreadDispatcher* d,
                           const std::string& message) {
        if (s->Failed.exchange(true, std::memory_order_acq_rel))
            return;
        const bool stopping = s->StopSignal.Requested();
        s->RequestStop();
        if (stopping)
            return; // the main thread is stopping the run already
        d->Post([weak = std::weak_ptr<TMmeSession>(s), message] {
            if (auto live = weak.lock(); live && live->Owner)
                live->Owner->DeviceLost(live, message);
        });
    }

    static void CaptureLoop(std::shared_ptr<TMmeSession> s, IMainThreadDispatcher* d,
                            std::promise<void> exited) {
        bool lost = false;
        try {
            TAlsaPcm& pcm = *s->InPcm;
            const double rate = std::max(s->InRate, 1);
            const auto period = std::chrono::duration<double>(
                static_cast<double>(pcm.PeriodFrames()) / rate);
            // How long the main thread may hold every buffer before input is dropped: half the
            // device buffer, so a short hiccup costs nothing.
            const auto patience = std::max(std::chrono::duration<double>(0.02),
                                           std::chrono::duration<double>(
                                               static_cast<double>(pcm.BufferFrames()) / 2.0 / rate));
            TByteArray scratch(pcm.PeriodFrames() * static_cast<std::size_t>(pcm.Format().BlockAlign()));
            bool dropping = false;
            for (;;) {
                int buffer = 0;
                const auto got = s->InFree.PopFor(buffer, s->StopSignal, dropping ? period : patience);
                if (got == TBufferQueue::TPop::Stopped)
                    break;
                if (got == TBufferQueue::TPop::TimedOut) {
                    // The main thread holds every buffer: drop input at the device's pace
                    // rather than let the device overrun (some devices drop it silently), and
                    // count it as one gap.
                    if (!dropping)
                        s->InGaps.Gaps.fetch_add(1, std::memory_order_relaxed);
                    dropping = true;
                    const auto frames = pcm.DiscardAvailable(scratch.data(), pcm.PeriodFrames(), s->InGaps);
                    s->InGaps.FramesLost.fetch_add(frames, std::memory_order_relaxed);
                    continue;
                }
                dropping = false;
                auto& bytes = s->InBuffers[static_cast<std::size_t>(buffer)];
                std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
                if (!s->InPcm->Transfer(bytes.data(), s->InFrames, s->StopSignal, s->InGaps))
                    break;
                d->Post([weak = std::weak_ptr<TMmeSession>(s), buffer] {
                    if (auto live = weak.lock(); live && live->Owner)
                        live->Owner->CaptureDone(live, buffer);
                });
            }
        } catch (const std::exception& e) {
            lost = true;
            ReportLost(s, d, e.what());
        }
        // The worker closes its own device, so that a device that hangs blocks only this
        // thread; a lost device is not asked to drop its data first (that may hang too).
        if (!lost)
            s->InPcm->Drop();
        s->InPcm->Close();
        exited.set_value();
    }

    static void RenderLoop(std::shared_ptr<TMmeSession> s, IMainThreadDispatcher* d,
                           std::promise<void> exited) {
        bool lost = false;
        try {
            int buffer = 0;
            while (s->OutFilled.Pop(buffer, s->StopSignal)) {
                auto& bytes = s->OutBuffers[static_cast<std::size_t>(buffer)];
                if (!s->OutPcm->Transfer(bytes.data(), s->OutFrames, s->StopSignal, s->OutGaps))
                    break;
                d->Post([weak = std::weak_ptr<TMmeSession>(s), buffer] {
                    if (auto live = weak.lock(); live && live->Owner)
                        live->Owner->RenderDone(live, buffer);
                });
            }
        } catch (const std::exception& e) {
            lost = true;
            ReportLost(s, d, e.what());
        }
        // The worker closes its own device, so that a device that hangs blocks only this
        // thread; a lost device is not asked to drop its data first (that may hang too).
        if (!lost)
            s->OutPcm->Drop();
        s->OutPcm->Close();
        exited.set_value();
    }
};

TMmeAudioStream::TMmeAudioStream(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                                 IMainThreadDispatcher* dispatcher)
    : devices_(std::move(devices)), dispatcher_(dispatcher) {
    InputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
    OutputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
}

TMmeAudioStream::~TMmeAudioStream() { Stop(); }

std::vector<std::string> TMmeAudioStream::InputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, true) : std::vector<std::string>{};
}

std::vector<std::string> TMmeAudioStream::OutputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, false) : std::vector<std::string>{};
}

bool TMmeAudioStream::CaptureOpen() const {
    return session_ && session_->InPcm && session_->InPcm->IsOpen();
}

bool TMmeAudioStream::RenderOpen() const {
    return session_ && session_->OutPcm && session_->OutPcm->IsOpen();
}

TStreamHealth TMmeAudioStream::Health() const {
    TStreamHealth h = health_;
    if (session_) {
        h.CaptureGaps = session_->InGaps.Gaps.load(std::memory_order_relaxed);
        h.CaptureFramesLost = session_->InGaps.FramesLost.load(std::memory_order_relaxed);
        h.RenderGaps = session_->OutGaps.Gaps.load(std::memory_order_relaxed);
        h.RenderFramesLost = session_->OutGaps.FramesLost.load(std::memory_order_relaxed);
    }
    return h;
}

void TMmeAudioStream::Start() {
    if (Active_)
        return;
    Active_ = true;
    health_ = {};
    try {
        if (dispatcher_ == nullptr)
            throw EAudioError("No main-thread dispatcher for the sound-card engine");
        auto s = std::make_shared<TMmeSession>();
        s->Owner = this;
        session_ = s;
        RingWrite_ = 0;
        RingRead_ = 2;
        AllocateBlock(InBlock_, InputDevice.Channels, InputDevice.SamplesPerBuf);
        AllocateBlock(OutBlock_, OutputDevice.Channels, OutputDevice.SamplesPerBuf);
        Int32Block_.clear();

        const bool capture = Directions == ddCapture || Directions == ddBoth;
        const bool render = Directions == ddRender || Directions == ddBoth;
        if (capture)
            OpenCapture(*s);
        if (render)
            OpenRender(*s);

        if (capture) {
            s->InPcm->Start();
            std::promise<void> exited;
            s->InExited = exited.get_future();
            s->InWorker = std::thread(&TMmeSession::CaptureLoop, s, dispatcher_, std::move(exited));
        }
        if (render) {
            std::promise<void> exited;
            s->OutExited = exited.get_future();
            s->OutWorker = std::thread(&TMmeSession::RenderLoop, s, dispatcher_, std::move(exited));
        }
    } catch (const std::exception& e) {
        ErrorMessage_ = e.what();
        Stop();
        throw;
    } catch (...) {
        Stop();
        throw;
    }
}

void TMmeAudioStream::OpenCapture(TMmeSession& s) {
    const auto list = devices_ ? DevicesFor(*devices_, true) : std::vector<TPcmDevice>{};
    const TDeviceSettings& d = InputDevice;
    if (d.Index < 0 || static_cast<std::size_t>(d.Index) >= list.size())
        throw EAudioError(PcmErrorText(-ENODEV));
    if (d.SamplesPerBuf < 1)
        throw EAudioError(PcmErrorText(-EINVAL));
    TPcmRequest request;
    request.Name = list[static_cast<std::size_t>(d.Index)].Name;
    request.Capture = true;
    request.Channels = d.Channels;
    request.Rate = d.SamplingRate;
    request.Bits = d.BitsPerSample;
    request.PeriodFrames = PeriodFor(d);
    request.BufferFrames = BufferFor(d);
    s.InPcm = std::make_unique<TAlsaPcm>(request);
    InFormat_ = s.InPcm->Format();
    convertIn_ = SelectCaptureConverter(InFormat_);
    s.InFrames = static_cast<std::size_t>(d.SamplesPerBuf);
    s.InRate = d.SamplingRate;
    s.InBuffers.assign(kCaptureBuffers,
                       TByteArray(s.InFrames * static_cast<std::size_t>(InFormat_.BlockAlign())));
    for (int i = 0; i < kCaptureBuffers; ++i)
        s.InFree.Push(i);
}

void TMmeAudioStream::OpenRender(TMmeSession& s) {
    const auto list = devices_ ? DevicesFor(*devices_, false) : std::vector<TPcmDevice>{};
    const TDeviceSettings& d = OutputDevice;
    if (d.Index < 0 || static_cast<std::size_t>(d.Index) >= list.size())
        throw EAudioError(PcmErrorText(-ENODEV));
    if (d.SamplesPerBuf < 1)
        throw EAudioError(PcmErrorText(-EINVAL));
    const int count = std::max(BufferCount, 1);
    TPcmRequest request;
    request.Name = list[static_cast<std::size_t>(d.Index)].Name;
    request.Capture = false;
    request.Channels = d.Channels;
    request.Rate = d.SamplingRate;
    request.Bits = d.BitsPerSample;
    request.PeriodFrames = PeriodFor(d);
    request.BufferFrames = BufferFor(d);
    // Start playing once the device buffer is full, or once every queued buffer is in it.
    request.StartThreshold = static_cast<std::size_t>(count) * static_cast<std::size_t>(d.SamplesPerBuf);
    s.OutPcm = std::make_unique<TAlsaPcm>(request);
    OutFormat_ = s.OutPcm->Format();
    convertOut_ = SelectRenderConverter(OutFormat_);
    s.OutFrames = static_cast<std::size_t>(d.SamplesPerBuf);
    // Silence everywhere at the start: the queued buffers and all ring slots.
    const TByteArray silence(s.OutFrames * static_cast<std::size_t>(OutFormat_.BlockAlign()), 0);
    s.OutBuffers.assign(static_cast<std::size_t>(count), silence);
    for (auto& slot : Ring_)
        slot = silence;
    for (int i = 0; i < count; ++i)
        s.OutFilled.Push(i);
}

void TMmeAudioStream::Stop() {
    if (!Active_)
        return;
    Active_ = false;
    const auto s = std::move(session_);
    session_.reset();
    if (!s)
        return;
    s->Owner = nullptr; // completions still queued for this run are ignored from here on
    s->RequestStop();
    const bool failed = s->Failed.load(std::memory_order_acquire);
    const bool captureEnded = JoinWorker(s->InWorker, s->InExited, failed);
    const bool renderEnded = JoinWorker(s->OutWorker, s->OutExited, failed);
    health_.CaptureGaps = s->InGaps.Gaps.load(std::memory_order_relaxed);
    health_.CaptureFramesLost = s->InGaps.FramesLost.load(std::memory_order_relaxed);
    health_.RenderGaps = s->OutGaps.Gaps.load(std::memory_order_relaxed);
    health_.RenderFramesLost = s->OutGaps.FramesLost.load(std::memory_order_relaxed);
    // A device whose worker never ran closes here; one whose worker did not end is closed by
    // that worker when it does.
    if (captureEnded && s->InPcm)
        s->InPcm->Close();
    if (renderEnded && s->OutPcm)
        s->OutPcm->Close();
}

void TMmeAudioStream::CaptureDone(const std::shared_ptr<TMmeSession>& s, int buffer) {
    if (s != session_ || !Active_ || Directions == ddRender)
        return;
    std::optional<std::string> error;
    try {
        if (!HasShape(InBlock_, InputDevice.Channels, s->InFrames))
            AllocateBlock(InBlock_, InputDevice.Channels, InputDevice.SamplesPerBuf);
        convertIn_(s->InBuffers[static_cast<std::size_t>(buffer)].data(), s->InFrames, InFormat_,
                   InBlock_, 0);
        if (OnData)
            OnData(this, Int32Block_, InBlock_, OutBlock_);
        if (Active_ && s == session_ && Directions == ddBoth) {
            if (!HasShape(OutBlock_, OutputDevice.Channels, s->OutFrames))
                throw EAudioError("The output block lost its shape in the data handler");
            convertOut_(OutBlock_, 0, s->OutFrames, OutFormat_,
                        Ring_[static_cast<std::size_t>(RingWrite_)].data());
            RingWrite_ = (RingWrite_ + 1) % kRingSlots;
        }
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown exception while a block was handled";
    }
    // The buffer goes back to the device whatever happened above, before the error is reported
    // (a report that opens a dialog must not hold the buffer back).
    if (Active_ && s == session_)
        s->InFree.Push(buffer);
    if (error)
        NoteBlockError(*error);
}

void TMmeAudioStream::RenderDone(const std::shared_ptr<TMmeSession>& s, int buffer) {
    if (s != session_ || !Active_ || Directions == ddCapture)
        return;
    auto& bytes = s->OutBuffers[static_cast<std::size_t>(buffer)];
    std::optional<std::string> error;
    try {
        if (Directions == ddBoth) {
            const auto& slot = Ring_[static_cast<std::size_t>(RingRead_)];
            std::memcpy(bytes.data(), slot.data(), std::min(bytes.size(), slot.size()));
            RingRead_ = (RingRead_ + 1) % kRingSlots;
            if (RingRead_ == RingWrite_) // caught up with capture: replay older slots
                RingRead_ = (RingRead_ + 2) % kRingSlots;
        } else {
            if (OnData)
                OnData(this, Int32Block_, InBlock_, OutBlock_);
            if (Active_ && s == session_) {
                if (!HasShape(OutBlock_, OutputDevice.Channels, s->OutFrames))
                    throw EAudioError("The output block lost its shape in the data handler");
                convertOut_(OutBlock_, 0, s->OutFrames, OutFormat_, bytes.data());
            }
        }
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = "Unknown exception while a block was handled";
    }
    if (Active_ && s == session_)
        s->OutFilled.Push(buffer);
    if (error)
        NoteBlockError(*error);
}

void TMmeAudioStream::DeviceLost(const std::shared_ptr<TMmeSession>& s, const std::string& message) {
    if (s != session_ || !Active_)
        return;
    ErrorMessage_ = message;
    Stop();
    if (OnFailure)
        OnFailure(message);
}

void TMmeAudioStream::NoteBlockError(const std::string& text) {
    if (health_.BlockErrors++ > 0)
        return;
    health_.FirstBlockError = text;
    if (OnBlockError) {
        try {
            OnBlockError(text);
        } catch (...) {
            // A failing report must not stop the stream it reports on.
        }
    }
}
