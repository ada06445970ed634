// SPDX-License-Identifier: GPL-3.0-or-later
// The sound-card engine on ALSA PCM devices.
#include "audio/MmeStrm.h"

#include "audio/AlsaPcm.h"
#include "audio/AudioError.h"
#include "audio/BufferQueue.h"
#include "audio/StopSignal.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

namespace {

constexpr int kCaptureBuffers = 8; // fixed, whatever BufferCount says
constexpr int kRingSlots = 4;
// How long Stop waits for the session thread before leaving it to end on its own: a healthy
// device drops and closes in milliseconds; one behind a frozen sound server hangs there, and
// the window is not kept waiting for it.
constexpr auto kStopWait = std::chrono::milliseconds(250);
// After a failure the threads only close their devices, which may hang on the fault itself: the
// wait is short; after a start that did not answer, the session thread hangs for certain.
constexpr auto kFailedStopWait = std::chrono::milliseconds(50);

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

} // namespace

// One run of the engine, from Start to Stop. Shared by the engine (main thread), the session
// thread, its watchdog and its render worker; completions posted to the main thread hold it
// weakly, so a completion that arrives after its run has ended finds either nothing or a session
// whose Owner is null.
struct TMmeSession {
    TMmeAudioStream* Owner = nullptr; // main thread only; null once the run has ended
    TStopSignal StopSignal;
    std::mutex PostMutex;            // held while posting and while raising the stop request
    std::atomic<bool> Failed{false}; // set once by the first thread that reports a failure
    std::atomic<bool> Hung{false};   // the watchdog gave up waiting for the devices to open

    // What to open, fixed at Start; `InWhat`/`OutWhat` begin the start-failure messages.
    bool Capture = false, Render = false;
    TPcmRequest InRequest, OutRequest;
    std::string InWhat, OutWhat;
    int RenderBuffers = 0;

    // Opening, watched by the watchdog (under OpenMutex).
    enum class TOpen { Opening, Done };
    std::mutex OpenMutex;
    std::condition_variable OpenChanged;
    TOpen OpenState = TOpen::Opening;
    bool OpeningRender = false; // which device the session thread is waiting for

    // Capture side: the session thread owns InPcm; buffers move as described in the header.
    // Everything here is written before "opened" is posted and read by the main thread after.
    std::unique_ptr<TAlsaPcm> InPcm;
    std::vector<TByteArray> InBuffers;
    std::size_t InFrames = 0;
    int InRate = 0; // frames per second
    TBufferQueue InFree;
    TGapCounters InGaps;

    // Render side, the same with the filled buffers waiting to be written.
    std::unique_ptr<TAlsaPcm> OutPcm;
    std::vector<TByteArray> OutBuffers;
    std::size_t OutFrames = 0;
    TBufferQueue OutFilled;
    TGapCounters OutGaps;

    std::thread Thread;       // the session thread
    std::future<void> Exited; // ready once the session thread has closed everything

    void WakeAll() {
        InFree.Wake();
        OutFilled.Wake();
        { std::lock_guard lock(OpenMutex); } // orders the request before the watchdog's re-check
        OpenChanged.notify_all();
    }

    // Main thread: ends the run. Nothing of this session is posted after it returns.
    void RequestStop() {
        {
            std::lock_guard lock(PostMutex);
            StopSignal.Request();
        }
        WakeAll();
    }

    // Posts `task` unless the run is stopping; true when posted.
    bool PostUnlessStopped(IMainThreadDispatcher* d, std::function<void()> task) {
        std::lock_guard lock(PostMutex);
        if (StopSignal.Requested())
            return false;
        d->Post(std::move(task));
        return true;
    }

    // Posts the run's one failure report and stops the run's threads; once per run, and not at
    // all when the main thread is stopping the run already.
    static void ReportFailure(const std::shared_ptr<TMmeSession>& s, IMainThreadDispatcher* d,
                              const std::string& message) {
        if (s->Failed.exchange(true, std::memory_order_acq_rel))
            return;
        {
            std::lock_guard lock(s->PostMutex);
            if (!s->StopSignal.Requested())
                d->Post([weak = std::weak_ptr<TMmeSession>(s), message] {
                    if (auto live = weak.lock(); live && live->Owner)
                        live->Owner->DeviceLost(live, message);
                });
            s->StopSignal.Request();
        }
        s->WakeAll();
    }

    // Gives up the start when opening takes longer than `timeout`.
    static void Watch(std::shared_ptr<TMmeSession> s, IMainThreadDispatcher* d,
                      std::chrono::milliseconds timeout) {
        std::unique_lock lock(s->OpenMutex);
        if (s->OpenChanged.wait_for(lock, timeout, [&] {
                return s->OpenState != TOpen::Opening || s->StopSignal.Requested();
            }))
            return;
        const std::string what = s->OpeningRender ? s->OutWhat : s->InWhat;
        lock.unlock();
        s->Hung.store(true, std::memory_order_release);
        ReportFailure(s, d, what + "the device did not answer");
    }

    void SetOpening(bool render) {
        std::lock_guard lock(OpenMutex);
        OpeningRender = render;
    }

    void EndOpening() {
        {
            std::lock_guard lock(OpenMutex);
            OpenState = TOpen::Done;
        }
        OpenChanged.notify_all();
    }

    static void Run(std::shared_ptr<TMmeSession> s, IMainThreadDispatcher* d,
                    std::chrono::milliseconds timeout, std::promise<void> exited) {
        std::thread watchdog(&TMmeSession::Watch, s, d, timeout);
        std::string failure;
        try {
            if (s->Capture) {
                s->SetOpening(false);
                s->InPcm = std::make_unique<TAlsaPcm>(s->InRequest);
                const auto frameBytes = static_cast<std::size_t>(s->InPcm->Format().BlockAlign());
                s->InBuffers.assign(kCaptureBuffers, TByteArray(s->InFrames * frameBytes));
                for (int i = 0; i < kCaptureBuffers; ++i)
                    s->InFree.Push(i);
            }
            if (s->Render) {
                s->SetOpening(true);
                s->OutPcm = std::make_unique<TAlsaPcm>(s->OutRequest);
                const auto frameBytes = static_cast<std::size_t>(s->OutPcm->Format().BlockAlign());
                // Silence at the start: every queued buffer.
                s->OutBuffers.assign(static_cast<std::size_t>(s->RenderBuffers),
                                     TByteArray(s->OutFrames * frameBytes, 0));
                for (int i = 0; i < s->RenderBuffers; ++i)
                    s->OutFilled.Push(i);
            }
            if (s->Capture) {
                s->SetOpening(false);
                s->InPcm->Start();
            }
        } catch (const std::exception& e) {
            std::lock_guard lock(s->OpenMutex);
            failure = (s->OpeningRender ? s->OutWhat : s->InWhat) + e.what();
        }
        s->EndOpening();
        watchdog.join();
        if (!failure.empty())
            ReportFailure(s, d, failure);
        const bool go =
            failure.empty() && s->PostUnlessStopped(d, [weak = std::weak_ptr<TMmeSession>(s)] {
                if (auto live = weak.lock(); live && live->Owner)
                    live->Owner->Opened(live);
            });
        if (go) {
            std::thread render;
            if (s->Capture && s->Render)
                render = std::thread(&TMmeSession::RenderLoop, s, d);
            if (s->Capture)
                CaptureLoop(s, d);
            else
                RenderLoop(s, d);
            if (render.joinable())
                render.join();
        }
        if (s->InPcm)
            s->InPcm->Close();
        if (s->OutPcm)
            s->OutPcm->Close();
        exited.set_value();
    }

    static void CaptureLoop(const std::shared_ptr<TMmeSession>& s, IMainThreadDispatcher* d) {
        bool lost = false;
        try {
            TAlsaPcm& pcm = *s->InPcm;
            const double rate = std::max(s->InRate, 1);
            const auto period =
                std::chrono::duration<double>(static_cast<double>(pcm.PeriodFrames()) / rate);
            // How long the main thread may hold every buffer before input is dropped: half the
            // device buffer, so a short hiccup costs nothing.
            const auto patience =
                std::max(std::chrono::duration<double>(0.02),
                         std::chrono::duration<double>(static_cast<double>(pcm.BufferFrames()) /
                                                       2.0 / rate));
            TByteArray scratch(pcm.PeriodFrames() *
                               static_cast<std::size_t>(pcm.Format().BlockAlign()));
            bool dropping = false;
            for (;;) {
                int buffer = 0;
                const auto got =
                    s->InFree.PopFor(buffer, s->StopSignal, dropping ? period : patience);
                if (got == TBufferQueue::TPop::Stopped)
                    break;
                if (got == TBufferQueue::TPop::TimedOut) {
                    // The main thread holds every buffer: drop input at the device's pace
                    // rather than let the device overrun (some devices drop it silently), and
                    // count it as one gap.
                    if (!dropping)
                        s->InGaps.Gaps.fetch_add(1, std::memory_order_relaxed);
                    dropping = true;
                    const auto frames =
                        pcm.DiscardAvailable(scratch.data(), pcm.PeriodFrames(), s->InGaps);
                    s->InGaps.FramesLost.fetch_add(frames, std::memory_order_relaxed);
                    continue;
                }
                dropping = false;
                auto& bytes = s->InBuffers[static_cast<std::size_t>(buffer)];
                std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
                if (!s->InPcm->Transfer(bytes.data(), s->InFrames, s->StopSignal, s->InGaps))
                    break;
                if (!s->PostUnlessStopped(d, [weak = std::weak_ptr<TMmeSession>(s), buffer] {
                        if (auto live = weak.lock(); live && live->Owner)
                            live->Owner->CaptureDone(live, buffer);
                    }))
                    break;
            }
        } catch (const std::exception& e) {
            lost = true;
            ReportFailure(s, d, e.what());
        }
        // The worker closes its own device, so that a device that hangs blocks only this
        // thread; a lost device is not asked to drop its data first (that may hang too).
        if (!lost)
            s->InPcm->Drop();
        s->InPcm->Close();
    }

    static void RenderLoop(const std::shared_ptr<TMmeSession>& s, IMainThreadDispatcher* d) {
        bool lost = false;
        try {
            int buffer = 0;
            while (s->OutFilled.Pop(buffer, s->StopSignal)) {
                auto& bytes = s->OutBuffers[static_cast<std::size_t>(buffer)];
                if (!s->OutPcm->Transfer(bytes.data(), s->OutFrames, s->StopSignal, s->OutGaps))
                    break;
                if (!s->PostUnlessStopped(d, [weak = std::weak_ptr<TMmeSession>(s), buffer] {
                        if (auto live = weak.lock(); live && live->Owner)
                            live->Owner->RenderDone(live, buffer);
                    }))
                    break;
            }
        } catch (const std::exception& e) {
            lost = true;
            ReportFailure(s, d, e.what());
        }
        if (!lost)
            s->OutPcm->Drop();
        s->OutPcm->Close();
    }
};

TMmeAudioStream::TMmeAudioStream(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                                 IMainThreadDispatcher* dispatcher)
    : devices_(std::move(devices)), dispatcher_(dispatcher) {
    InputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
    OutputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
}

TMmeAudioStream::~TMmeAudioStream() {
    Stop();
}

std::vector<std::string> TMmeAudioStream::InputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, true) : std::vector<std::string>{};
}

std::vector<std::string> TMmeAudioStream::OutputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, false) : std::vector<std::string>{};
}

bool TMmeAudioStream::CaptureOpen() const {
    return Opened_ && session_ && session_->InPcm && session_->InPcm->IsOpen();
}

bool TMmeAudioStream::RenderOpen() const {
    return Opened_ && session_ && session_->OutPcm && session_->OutPcm->IsOpen();
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

TPcmRequest TMmeAudioStream::Request(bool capture, const TDeviceSettings& d,
                                     std::string& what) const {
    const auto list = devices_ ? DevicesFor(*devices_, capture) : std::vector<TPcmDevice>{};
    const auto names =
        devices_ ? FormatDeviceNames(*devices_, capture) : std::vector<std::string>{};
    const bool listed = d.Index >= 0 && static_cast<std::size_t>(d.Index) < list.size();
    const std::string label =
        listed ? names[static_cast<std::size_t>(d.Index)] : "device " + std::to_string(d.Index + 1);
    // "Cannot capture from "04  Sound server" at 96000 samples/s, 16 bit: " + the reason.
    what = std::string(capture ? "Cannot capture from \"" : "Cannot play to \"") + label +
           "\" at " + std::to_string(d.SamplingRate) + " samples/s, " +
           std::to_string(d.BitsPerSample) + " bit: ";
    if (!listed)
        throw EAudioError(what + PcmErrorText(-ENODEV));
    if (d.SamplesPerBuf < 1)
        throw EAudioError(what + PcmErrorText(-EINVAL));
    TPcmRequest request;
    request.Name = list[static_cast<std::size_t>(d.Index)].Name;
    request.Label = label;
    request.Capture = capture;
    request.Channels = d.Channels;
    request.Rate = d.SamplingRate;
    request.Bits = d.BitsPerSample;
    request.PeriodFrames = PeriodFor(d);
    request.BufferFrames = BufferFor(d);
    return request;
}

void TMmeAudioStream::Start() {
    if (Active_)
        return;
    Active_ = true;
    Opened_ = false;
    health_ = {};
    try {
        if (dispatcher_ == nullptr)
            throw EAudioError("No main-thread dispatcher for the sound-card engine");
        auto s = std::make_shared<TMmeSession>();
        s->Capture = Directions == ddCapture || Directions == ddBoth;
        s->Render = Directions == ddRender || Directions == ddBoth;
        if (s->Capture) {
            s->InRequest = Request(true, InputDevice, s->InWhat);
            s->InFrames = static_cast<std::size_t>(InputDevice.SamplesPerBuf);
            s->InRate = InputDevice.SamplingRate;
        }
        if (s->Render) {
            s->OutRequest = Request(false, OutputDevice, s->OutWhat);
            s->RenderBuffers = std::max(BufferCount, 1);
            s->OutFrames = static_cast<std::size_t>(OutputDevice.SamplesPerBuf);
            // Start playing once the device buffer is full, or once every queued buffer is in it.
            s->OutRequest.StartThreshold = static_cast<std::size_t>(s->RenderBuffers) *
                                           static_cast<std::size_t>(OutputDevice.SamplesPerBuf);
        }
        RingWrite_ = 0;
        RingRead_ = 2;
        AllocateBlock(InBlock_, InputDevice.Channels, InputDevice.SamplesPerBuf);
        AllocateBlock(OutBlock_, OutputDevice.Channels, OutputDevice.SamplesPerBuf);
        Int32Block_.clear();

        s->Owner = this;
        std::promise<void> exited;
        s->Exited = exited.get_future();
        s->Thread = std::thread(&TMmeSession::Run, s, dispatcher_, OpenTimeout, std::move(exited));
        session_ = std::move(s);
    } catch (const std::exception& e) {
        ErrorMessage_ = e.what();
        Stop();
        throw;
    } catch (...) {
        Stop();
        throw;
    }
}

void TMmeAudioStream::Opened(const std::shared_ptr<TMmeSession>& s) {
    if (s != session_ || !Active_)
        return;
    Opened_ = true;
    if (s->InPcm) {
        InFormat_ = s->InPcm->Format();
        convertIn_ = SelectCaptureConverter(InFormat_);
    }
    if (s->OutPcm) {
        OutFormat_ = s->OutPcm->Format();
        convertOut_ = SelectRenderConverter(OutFormat_);
        // Silence in every ring slot at the start.
        const TByteArray silence(s->OutFrames * static_cast<std::size_t>(OutFormat_.BlockAlign()),
                                 0);
        for (auto& slot : Ring_)
            slot = silence;
    }
}

void TMmeAudioStream::Stop() {
    if (!Active_)
        return;
    Active_ = false;
    Opened_ = false;
    const auto s = std::move(session_);
    session_.reset();
    if (!s)
        return;
    s->Owner = nullptr; // completions still queued for this run are ignored from here on
    s->RequestStop();
    if (s->Thread.joinable()) {
        const auto wait = s->Hung.load(std::memory_order_acquire)     ? std::chrono::milliseconds(0)
                          : s->Failed.load(std::memory_order_acquire) ? kFailedStopWait
                                                                      : kStopWait;
        if (s->Exited.wait_for(wait) == std::future_status::timeout)
            s->Thread.detach(); // it holds the session; the devices close when it finally ends
        else
            s->Thread.join();
    }
    health_.CaptureGaps = s->InGaps.Gaps.load(std::memory_order_relaxed);
    health_.CaptureFramesLost = s->InGaps.FramesLost.load(std::memory_order_relaxed);
    health_.RenderGaps = s->OutGaps.Gaps.load(std::memory_order_relaxed);
    health_.RenderFramesLost = s->OutGaps.FramesLost.load(std::memory_order_relaxed);
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

void TMmeAudioStream::DeviceLost(const std::shared_ptr<TMmeSession>& s,
                                 const std::string& message) {
    if (s != session_ || !Active_)
        return;
    ErrorMessage_ = message;
    Stop();
    if (OnFailure)
        OnFailure(message);
}

void TMmeAudioStream::NoteBlockError(const std::string& text) {
    ::NoteBlockError(health_, OnBlockError, text);
}
