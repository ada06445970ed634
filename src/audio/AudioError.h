// SPDX-License-Identifier: GPL-3.0-or-later
// Exceptions of the audio engines and the stream facade.
#pragma once

#include <stdexcept>
#include <string>

// Raised by the engines with the device layer's text (or "Unknown error: <code>").
class EAudioError : public std::runtime_error {
public:
    explicit EAudioError(const std::string& message) : std::runtime_error(message) {}
};
