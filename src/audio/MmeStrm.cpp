// The sound-card engine on ALSA PCM devices.
#include "audio/MmeStrm.h"

#include "audio/AudioError.h"

TMmeAudioStream::TMmeAudioStream(std::shared_ptr<const std::vector<TPcmDevice>> devices,
                                 IMainThreadDispatcher* dispatcher)
    : devices_(std::move(devices)), dispatcher_(dispatcher) {
    InputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
    OutputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
}

TMmeAudioStream::~TMmeAudioStream() { Stop(); }

void TMmeAudioStream::Start() {
    if (Active_)
        return;
    ErrorMessage_ = "Streaming from sound cards is not available yet";
    throw EAudioError(ErrorMessage_);
}

void TMmeAudioStream::Stop() { Active_ = false; }

std::vector<std::string> TMmeAudioStream::InputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, true) : std::vector<std::string>{};
}

std::vector<std::string> TMmeAudioStream::OutputNames() const {
    return devices_ ? FormatDeviceNames(*devices_, false) : std::vector<std::string>{};
}
