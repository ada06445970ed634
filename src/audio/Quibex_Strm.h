// SPDX-License-Identifier: GPL-3.0-or-later
// The audio stream facade: one set of device settings and one data event over two engines.
#pragma once

#include "audio/AudioStreamEngine.h"
#include "audio/DeviceSettings.h"
#include "audio/SndTypes.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TAudioEngine { aeMME, aeWDM };

// Makes a new, unstarted engine object of a kind. The window's factory builds the ALSA and JACK
// engines; tests build mock engines that do no I/O.
using TEngineFactory = std::function<std::unique_ptr<TAudioStreamEngine>(TAudioEngine)>;

// Owned by the main window; used on the main thread only. It owns its current engine object and
// the two device-name lists shared by the whole program.
//
// An engine object that is replaced (by Start or SetEngine) is stopped at once but destroyed
// only at the next point where no engine code can be on the stack: a facade call made from
// outside every engine callback, or the entry of the next callback from the outer level. So a
// handler may restart sampling or switch engines from inside `OnData`, `OnFailure` or
// `OnBlockError`: the engine that called it finishes its completion code on a living object.
class TQuibexStream {
public:
    explicit TQuibexStream(TEngineFactory factory);
    ~TQuibexStream();
    TQuibexStream(const TQuibexStream&) = delete;
    TQuibexStream& operator=(const TQuibexStream&) = delete;

    TAudioEngine Engine() const { return Engine_; }
    // Switches engines: stops the current engine object and retires it (see the class comment),
    // then configures a new one of the chosen kind, which refreshes the device-name lists. Does
    // not start it.
    void SetEngine(TAudioEngine engine);

    TDataDirections Directions = ddBoth;
    TDeviceSettings InputDevice{0, 2, 48000, 16, 2048};
    TDeviceSettings OutputDevice{0, 2, 48000, 16, 2048};
    int BufferCount = 6; // queued render buffers of the sound-card engine
    TDataEvent OnData;
    // Called on the main thread when the running engine stops on its own (device lost).
    std::function<void(const std::string&)> OnFailure;
    // Called on the main thread at the first error while a block was handled; streaming goes on.
    std::function<void(const std::string&)> OnBlockError;

    // Creates a fresh engine of the current kind from the properties above and starts it (the
    // previous one is retired). Engine errors pass to the caller; a sound-card start that fails
    // after returning is reported through `OnFailure`.
    void Start();
    // Stops the current engine; safe when nothing runs.
    void Stop();
    bool Active() const { return engine_ && engine_->Active(); }
    // Gaps and errors of the current or last run.
    TStreamHealth Health() const { return engine_ ? engine_->Health() : TStreamHealth{}; }

    // Set the device index from a device name and return it. Sound cards: the last entry equal to
    // `name` (exact), else 0, and `name` becomes that entry. Low-latency engine: the device
    // table's case-insensitive first match, else -1; `name` is left alone.
    int SelectInputDevice(std::string& name);
    int SelectOutputDevice(std::string& name);
    // Set the device index to the device that entry `position` of InputDeviceNames (respectively
    // OutputDeviceNames) names, and return it: the position itself on sound cards; on the
    // low-latency engine the device table's position of that entry's device (its table also
    // holds devices of the other direction), -1 for a position outside the list.
    int SelectInputEntry(int position);
    int SelectOutputEntry(int position);
    // Asks the current engine for its devices again and refills both name lists (the low-latency
    // engine: the server's clients now; sound cards keep the list of the program's start). Call
    // it while stopped; the positions of earlier lists mean nothing afterwards.
    void RefreshDevices();

    const std::vector<std::string>& InputDeviceNames() const { return InputDeviceNames_; }
    const std::vector<std::string>& OutputDeviceNames() const { return OutputDeviceNames_; }

    // The current engine object (never null after construction).
    TAudioStreamEngine* CurrentEngine() const { return engine_.get(); }
    // Replaced engine objects not yet destroyed (for checks and tests).
    std::size_t RetiredEngines() const { return retired_.size(); }

private:
    void Configure();
    void Retire();
    // Destroys the retired engines but `keep`, unless an engine callback is running.
    void ReleaseRetired(const TAudioStreamEngine* keep = nullptr);
    // Counts the engine callbacks on the stack while one runs.
    class TCallbackScope;
    int SelectDevice(std::string& name, const std::vector<std::string>& names,
                     TDeviceSettings& device);

    TEngineFactory factory_;
    TAudioEngine Engine_ = aeMME;
    std::unique_ptr<TAudioStreamEngine> engine_;
    std::vector<std::unique_ptr<TAudioStreamEngine>> retired_; // stopped, destroyed when safe
    int callbackDepth_ = 0; // engine callbacks running (nested ones included)
    std::vector<std::string> InputDeviceNames_;
    std::vector<std::string> OutputDeviceNames_;
};
