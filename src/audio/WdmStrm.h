// The low-latency engine behind the facade's second engine choice.
#pragma once

#include "audio/AudioStreamEngine.h"

#include <string>

// Without a low-latency server this engine has no devices and refuses to start with
// "WDM Audio Engine failed to initialize".
class TWdmAudioStream final : public TAudioStreamEngine {
public:
    TWdmAudioStream();
    ~TWdmAudioStream() override { Stop(); }

    void Start() override;
    void Stop() override {}
    bool Active() const override { return false; }
    std::vector<std::string> InputNames() const override { return {}; }
    std::vector<std::string> OutputNames() const override { return {}; }
};
