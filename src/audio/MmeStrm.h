// The sound-card engine on ALSA PCM devices: queued capture and render buffers, blocks on the
// main thread.
#pragma once

#include "audio/AudioStreamEngine.h"
#include "audio/MainThreadDispatcher.h"
#include "audio/PcmDeviceList.h"

#include <memory>
#include <string>
#include <vector>

// Owned by the facade; all public calls on the main thread. Device lists are a snapshot taken
// once at program start (a device plugged in later is listed after a restart).
class TMmeAudioStream final : public TAudioStreamEngine {
public:
    TMmeAudioStream(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                    IMainThreadDispatcher* dispatcher);
    ~TMmeAudioStream() override;

    void Start() override;
    void Stop() override;
    bool Active() const override { return Active_; }
    std::vector<std::string> InputNames() const override;
    std::vector<std::string> OutputNames() const override;

    // Text of the last device error.
    const std::string& ErrorMessage() const { return ErrorMessage_; }

private:
    std::shared_ptr<const std::vector<TPcmDevice>> devices_;
    IMainThreadDispatcher* dispatcher_;
    bool Active_ = false;
    std::string ErrorMessage_;
};
