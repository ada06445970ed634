// SPDX-License-Identifier: GPL-3.0-or-later
// Device settings of one stream direction: device index, channels, rate, bits, block size.
#pragma once

#include "audio/AudioError.h"

// Common base of objects that can be assigned from one another (settings records).
class TPersistentObject {
public:
    virtual ~TPersistentObject() = default;
};

class TDeviceSettings : public TPersistentObject {
public:
    TDeviceSettings() = default;
    TDeviceSettings(int index, int channels, int samplingRate, int bitsPerSample, int samplesPerBuf)
        : Index(index), Channels(channels), SamplingRate(samplingRate),
          BitsPerSample(bitsPerSample), SamplesPerBuf(samplesPerBuf) {}

    int Index = 0;          // device number from 0: position in the engine's device list
    int Channels = 2;       // channels per frame
    int SamplingRate = 48000; // frames per second
    int BitsPerSample = 16; // container width requested: 16 or 24 from the window
    int SamplesPerBuf = 2048; // frames per block

    // Copies all five fields from another settings record; any other object is refused with
    // "Invalid assignment to DeviceSettings".
    void Assign(const TPersistentObject& source) {
        const auto* other = dynamic_cast<const TDeviceSettings*>(&source);
        if (other == nullptr)
            throw EAudioError("Invalid assignment to DeviceSettings");
        *this = *other;
    }

    bool operator==(const TDeviceSettings& o) const {
        return Index == o.Index && Channels == o.Channels && SamplingRate == o.SamplingRate &&
               BitsPerSample == o.BitsPerSample && SamplesPerBuf == o.SamplesPerBuf;
    }
};
