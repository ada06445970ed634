// The interface that the stream facade requires of each capture/render engine.
#pragma once

#include "audio/DeviceSettings.h"
#include "audio/SndTypes.h"

#include <functional>
#include <string>
#include <vector>

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

    // Opens the devices and starts streaming; does nothing while running. Throws EAudioError.
    virtual void Start() = 0;
    // Stops streaming and closes the devices; does nothing while stopped.
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    // Device-name lists, entries "%.2d  %s".
    virtual std::vector<std::string> InputNames() const = 0;
    virtual std::vector<std::string> OutputNames() const = 0;
};
