// SPDX-License-Identifier: GPL-3.0-or-later
// The sound-card engine on ALSA PCM devices: queued capture and render buffers, blocks on the
// main thread.
#pragma once

#include "audio/AlsaPcm.h"
#include "audio/AudioStreamEngine.h"
#include "audio/MainThreadDispatcher.h"
#include "audio/PcmDeviceList.h"
#include "audio/SampleConversion.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct TMmeSession;

// Streams blocks between ALSA PCM devices and `OnData`.
//
// Owned by the facade; every public call and every callback (`OnData`, `OnFailure`,
// `OnBlockError`) on the main thread. The device lists are a snapshot taken once at program
// start (a device plugged in later is listed after a restart); `Index` is the position in
// DevicesFor(devices, capture).
//
// Threads and ownership while running (one TMmeSession per run):
// - Start only checks the settings and hands the run to a session thread; the main thread
//   never calls the device layer, so a device that hangs (a frozen sound server) never blocks
//   the window. The session thread opens and configures the devices of `Directions`. When that
//   fails, or does not finish within `OpenTimeout`, the main thread is told once (a watchdog
//   thread of the session keeps the time), the engine stops and `OnFailure` gets the message
//   ("Cannot capture from "01  …" at 48000 samples/s, 16 bit: the device did not answer").
//   When it succeeds it posts "opened" (the main thread takes over the formats) and becomes
//   the capture worker; in `ddBoth` it starts a render worker of its own and joins it before
//   it ends.
// - The capture worker owns the capture device. It takes a buffer number from the free
//   queue, fills the buffer with `InputDevice.SamplesPerBuf` frames and posts a completion to
//   the main thread. The main thread converts the bytes into the input block, calls `OnData`,
//   in `ddBoth` renders the output block into the ring, and pushes the number back on the free
//   queue. When the main thread holds all 8 buffers for longer than half the device buffer,
//   the worker reads and discards input at the device's pace and counts it as one gap (frames
//   lost = frames discarded), so a busy main thread never goes unnoticed; overruns that the
//   device reports are counted too. Each of the 8 capture buffers is owned by exactly one side
//   at a time; the hand-over is the queue's mutex one way and IMainThreadDispatcher::Post the
//   other way (Post must make the worker's writes visible to the task, as a mutex-protected
//   queue or a queued Qt call does).
// - The render worker owns the playback device. It takes a buffer number from the filled
//   queue, writes the buffer, and posts a completion; the main thread refills the buffer (from
//   the ring in `ddBoth`, from `OnData` in `ddRender`) and pushes it back. `BufferCount`
//   buffers, all silent at start.
// - The ring of 4 byte buffers with `RingRead` (2 at start) and `RingWrite` (0 at start) is used
//   by the main thread only and needs no lock. The render side never waits for capture: when
//   it catches up it replays older slots.
// - The stop request is std::atomic (release/acquire) and is raised under the session's post
//   mutex: a thread of the session posts only while holding that mutex and seeing no request,
//   so once Stop has raised it nothing more is posted and the dispatcher may go. Gap counters
//   are relaxed atomics (statistics). Completions of a run that has ended are ignored.
// - A device that disappears ends the run: the worker posts one failure, the main thread stops
//   the engine and calls `OnFailure` once. The threads close their devices as they end. Stop
//   waits at most a quarter of a second for the session thread (a healthy device drops and
//   closes in milliseconds); one that hangs in the device layer is left to end on its own,
//   holding the session (and so its devices) until it does.
class TMmeAudioStream final : public TAudioStreamEngine {
public:
    TMmeAudioStream(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                    IMainThreadDispatcher* dispatcher);
    ~TMmeAudioStream() override;
    TMmeAudioStream(const TMmeAudioStream&) = delete;
    TMmeAudioStream& operator=(const TMmeAudioStream&) = delete;

    // Starts opening the devices of `Directions` and streaming; does nothing while running.
    // Settings that cannot work (no such list entry, no block length) throw EAudioError at once;
    // a device that refuses or does not answer is reported later through `OnFailure`, with
    // whatever was opened closed again. Either text is also kept in ErrorMessage. Active from
    // here until Stop or the failure.
    void Start() override;
    // Stops the run (its threads close the devices); does nothing while stopped. Returns within
    // about a quarter of a second whatever the devices do. Never throws.
    void Stop() override;
    bool Active() const override { return Active_; }
    std::vector<std::string> InputNames() const override;
    std::vector<std::string> OutputNames() const override;

    // Text of the last device error (a failed open, a lost device).
    const std::string& ErrorMessage() const { return ErrorMessage_; }

    // Gaps and block errors of the current run, or of the last one after it ended; reset by
    // Start.
    TStreamHealth Health() const override;

    // Whether the devices of the current run are open and streaming (for checks and tests).
    bool CaptureOpen() const;
    bool RenderOpen() const;

    // How long opening and configuring the devices may take before the start is given up.
    std::chrono::milliseconds OpenTimeout{5000};

private:
    friend struct TMmeSession;
    TPcmRequest Request(bool capture, const TDeviceSettings& d, std::string& what) const;
    void Opened(const std::shared_ptr<TMmeSession>& session);
    void CaptureDone(const std::shared_ptr<TMmeSession>& session, int buffer);
    void RenderDone(const std::shared_ptr<TMmeSession>& session, int buffer);
    void DeviceLost(const std::shared_ptr<TMmeSession>& session, const std::string& message);
    void NoteBlockError(const std::string& text);

    std::shared_ptr<const std::vector<TPcmDevice>> devices_;
    IMainThreadDispatcher* dispatcher_;
    bool Active_ = false;
    bool Opened_ = false; // the current run's devices are open (main thread's view)
    std::string ErrorMessage_;
    std::shared_ptr<TMmeSession> session_; // the current run; null while stopped

    // Chosen once when the devices open.
    TSampleFormat InFormat_;
    TSampleFormat OutFormat_;
    TCaptureConverterF convertIn_ = nullptr;
    TRenderConverterF convertOut_ = nullptr;

    // Main-thread state of a run.
    std::array<TByteArray, 4> Ring_;
    int RingRead_ = 2;
    int RingWrite_ = 0;
    TDataBufferF InBlock_;
    TDataBufferF OutBlock_;
    TDataBufferI Int32Block_; // always empty: this engine delivers no integer block
    TStreamHealth health_;    // block errors live here; gap figures are copied in at Stop
};
