// SPDX-License-Identifier: GPL-3.0-or-later
// The interface that the stream facade requires of each capture/render engine.
#pragma once

#include "audio/DeviceSettings.h"
#include "audio/SndTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What went wrong while streaming without stopping it, for the window to show (ListBox1).
struct TStreamHealth {
    std::uint64_t CaptureGaps = 0;       // overruns recovered: gaps in the captured signal
    std::uint64_t CaptureFramesLost = 0; // estimated frames missing in those gaps
    std::uint64_t RenderGaps = 0;        // underruns recovered: silent gaps in the output
    std::uint64_t RenderFramesLost = 0;  // estimated frames of silence in those gaps
    std::uint64_t BlockErrors = 0;       // exceptions while a block was handled (OnData included)
    std::string FirstBlockError;         // the text of the first of them

    // Gaps of either kind: each one a jump in what was captured or played.
    std::uint64_t Gaps() const { return CaptureGaps + RenderGaps; }
};

// Lines for a list box, e.g. "Input gaps: 2 (1536 frames lost)"; only the kinds that occurred.
std::vector<std::string> FormatStreamHealth(const TStreamHealth& health);

// Counts one block error in `health`; the first of a run is kept and passed to `report` (if
// set), whose own exceptions are swallowed: a failing report must not stop the stream.
void NoteBlockError(TStreamHealth& health, const std::function<void(const std::string&)>& report,
                    const std::string& text);

// One engine object streams blocks between the devices and `OnData`. Created, configured,
// started and stopped on the main thread by the facade; `OnData` and `OnFailure` are always
// called on the main thread, never concurrently with themselves.
class TAudioStreamEngine {
public:
    virtual ~TAudioStreamEngine() = default;

    TDataDirections Directions = ddBoth;
    TDeviceSettings InputDevice;
    TDeviceSettings OutputDevice;
    int BufferCount = 6; // queued render buffers (engines that queue them)
    TDataEvent OnData;
    // Called once when streaming ends on its own (device lost, server gone), with the reason.
    std::function<void(const std::string&)> OnFailure;
    // Called once per run, at the first exception while a completed buffer was handled; the
    // buffer is queued again and streaming goes on. Later errors only count in Health().
    std::function<void(const std::string&)> OnBlockError;

    // Opens the devices and starts streaming; does nothing while running. Throws EAudioError.
    virtual void Start() = 0;
    // Stops streaming and closes the devices; does nothing while stopped.
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    // Gaps and errors of the current or last run (engines that do not count them report none).
    virtual TStreamHealth Health() const { return {}; }
    // Device-name lists, entries "%.2d  %s".
    virtual std::vector<std::string> InputNames() const = 0;
    virtual std::vector<std::string> OutputNames() const = 0;
    // The device number of a name for engines that look devices up ignoring case (the
    // low-latency engine: a position in its device table): the first entry equal to `name`
    // ignoring case, here of the capture (`capture`) or render list; -1 when none is or `name`
    // is empty.
    virtual int FindDevice(const std::string& name, bool capture) const;
    // The device number that entry `position` of the capture (`capture`) or render list names, as
    // `InputDevice.Index` and `OutputDevice.Index` take it. Here the position itself (the lists
    // number the devices); engines whose numbers are positions in a table of their own override
    // it (-1 for a position outside the list).
    virtual int DeviceOfEntry(bool capture, int position) const;
    // Asks for the current devices again where the lists can change while the program runs (the
    // low-latency engine: the server's clients now); InputNames and OutputNames then give the new
    // lists. Here nothing: the lists are a snapshot. Only while stopped; main thread.
    virtual void RefreshDevices() {}
};
