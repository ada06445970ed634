// SPDX-License-Identifier: GPL-3.0-or-later
// The PCM devices that the sound-card engine can open, as the device layer lists them.
#pragma once

#include <string>
#include <vector>

struct TPcmDevice {
    std::string Name;        // the name to open the device with ("default", "plughw:CARD=…")
    std::string Description; // first line of the device's description, shown to the user
    bool Capture = false;    // usable for capture
    bool Playback = false;   // usable for playback
    std::string Detail{};    // second line of the description (empty when there is none)
};

// Source of the device list; the window uses the ALSA lister, tests inject their own lists.
class IPcmDeviceLister {
public:
    virtual ~IPcmDeviceLister() = default;
    virtual std::vector<TPcmDevice> List() = 0;
};

// Lists ALSA PCM devices from the name hints. Entries that are no sound device ("null", the
// rate-converter and channel-mixing plugins, entries without a description) are left out, and
// so are plugins that need a server or interface this engine does not stream through here
// (JACK, OSS, the USB stream device).
class TAlsaDeviceLister final : public IPcmDeviceLister {
public:
    std::vector<TPcmDevice> List() override;
};

// A fixed list, for tests and for a machine where the lister must not touch the device layer.
class TFixedDeviceLister final : public IPcmDeviceLister {
public:
    explicit TFixedDeviceLister(std::vector<TPcmDevice> devices) : devices_(std::move(devices)) {}
    std::vector<TPcmDevice> List() override { return devices_; }

private:
    std::vector<TPcmDevice> devices_;
};

// Builds the entries "%.2d  %s" (number from 1, two digits, two blanks, description) of the
// devices usable for capture (`capture` true) or playback. Where two entries of the list would
// read the same, they read "<description> (<detail>)"; where that still reads the same, the
// device name follows in brackets: "<description> [<name>]".
std::vector<std::string> FormatDeviceNames(const std::vector<TPcmDevice>& devices, bool capture);

// The devices usable for one direction, in list order (entry i of FormatDeviceNames is item i).
std::vector<TPcmDevice> DevicesFor(const std::vector<TPcmDevice>& devices, bool capture);
