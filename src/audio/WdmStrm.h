// SPDX-License-Identifier: GPL-3.0-or-later
// The low-latency engine on a JACK server: settings checks, pin choice, the worker thread and
// the synchronous hand-over of every block to the main thread.
#pragma once

#include "audio/AudioStreamEngine.h"
#include "audio/MainThreadDispatcher.h"
#include "audio/WdmStru.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TWdmSession;

// Streams blocks between the ports of a JACK client (a device of WdmAudio()) and `OnData`.
//
// Owned by the facade; every public call and every callback (`OnData`, `OnFailure`,
// `OnBlockError`) on the main thread.
//
// Start checks the settings, chooses the pins, opens our client "Phonoscale" with one port per
// channel ("in_1"..., "out_1"...), activates it and connects its ports to the chosen device's
// ports (render first, then capture); then it starts the worker (TWdmThread). Stop ends the
// worker, and closes the client, which disconnects and removes our ports.
//
// Threads while running (one TWdmSession per run):
// - The server's process thread runs the process callback once per period. It copies our input
//   ports into the capture ring and the render ring into our output ports, and wakes the worker
//   through an eventfd (a non-blocking write). It never blocks, allocates or locks; the rings
//   are TSpscRing (release/acquire, see there). Frames that do not fit into the capture ring are
//   dropped and counted as an input gap; a render ring that runs dry after the first block is
//   played as silence and counted as an output gap.
// - The worker (TWdmThread) waits in poll() for the eventfd or the stop request. It takes blocks
//   of `InputDevice.SamplesPerBuf` frames from the capture ring, converts them into the input
//   block and hands the block over: it posts one task to the main thread, which runs `OnData`,
//   and waits until that task has finished (or the run is stopped). Only then does it touch the
//   block arrays again and convert the output block into the render ring, so the arrays are
//   never used by both threads at once; the hand-over's mutex orders the accesses both ways.
//   With `ddRender` alone it keeps two blocks queued in the render ring.
// - The server's notification thread reports xruns (counted as gaps), port registrations (the
//   worker then checks that the device's ports still exist) and the end of our client (server
//   shut down, client thrown out). A lost server or port ends the run: the worker posts one
//   failure, the main thread stops the engine and calls `OnFailure` once.
// - Shared flags and counters are std::atomic; gap counters are relaxed (statistics), flags
//   release/acquire. The stop request is raised under the session's post mutex, and a thread of
//   the session posts only while holding it and seeing no request, so nothing is posted after
//   Stop has raised it.
class TWdmAudioStream final : public TAudioStreamEngine {
public:
    // `dispatcher` runs the hand-over tasks on the main thread and must outlive the engine; the
    // device table is WdmAudio(), built first if it has not been.
    explicit TWdmAudioStream(IMainThreadDispatcher* dispatcher = nullptr);
    ~TWdmAudioStream() override;
    TWdmAudioStream(const TWdmAudioStream&) = delete;
    TWdmAudioStream& operator=(const TWdmAudioStream&) = delete;

    // Checks the settings, opens and connects the ports and starts streaming; does nothing while
    // running. Throws EWdmAudioError.
    void Start() override;
    // Ends the worker and closes our client; does nothing while stopped. Never throws.
    void Stop() override;
    bool Active() const override { return session_ != nullptr; }
    TStreamHealth Health() const override;
    std::vector<std::string> InputNames() const override { return WdmAudio().CaptureNames(); }
    std::vector<std::string> OutputNames() const override { return WdmAudio().RenderNames(); }
    // The device table's position of `name` (ignoring case; -1 when none or empty).
    int FindDevice(const std::string& name, bool capture) const override;
    // The device table's position of the device that entry `position` of the capture
    // (`capture`) or render name list names; -1 outside the list.
    int DeviceOfEntry(bool capture, int position) const override;
    // Lists the server's clients again (WdmAudio().Refresh()); nothing while running.
    void RefreshDevices() override;

    // Text of the last failure that ended a run.
    const std::string& ErrorMessage() const { return ErrorMessage_; }
    // Steady-clock times (ns) at which the worker completed the block now being handed over:
    // taken from the capture ring, respectively rendered into the render ring.
    std::int64_t CaptureTimestamp() const { return CaptureTimestamp_; }
    std::int64_t RenderTimestamp() const { return RenderTimestamp_; }
    // Whether `Int32Buffer` is filled too (off: it keeps the capture shape, all zero).
    bool IntegerDelivery = false;
    // The name the server gave our client in the current run ("" while stopped).
    std::string ClientName() const;

private:
    friend struct TWdmSession;
    friend class TWdmThread;
    void Deliver(const std::shared_ptr<TWdmSession>& session, std::string& error);
    void Lost(const std::shared_ptr<TWdmSession>& session, const std::string& message);
    void NoteBlockError(const std::string& text);

    IMainThreadDispatcher* dispatcher_;
    std::shared_ptr<TWdmSession> session_; // the current run; null while stopped
    std::string ErrorMessage_;
    std::int64_t CaptureTimestamp_ = 0;
    std::int64_t RenderTimestamp_ = 0;
    TStreamHealth health_; // block errors here; gap figures copied in at Stop
};
