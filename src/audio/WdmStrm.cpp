// The low-latency engine; devices arrive with the JACK backend.
#include "audio/WdmStrm.h"

#include "audio/AudioError.h"


TWdmAudioStream::TWdmAudioStream() {
    InputDevice = TDeviceSettings(0, 2, 48000, 24, 2048);
    OutputDevice = TDeviceSettings(0, 2, 48000, 16, 2048);
}

void TWdmAudioStream::Start() { throw EAudioError("WDM Audio Engine failed to initialize"); }
