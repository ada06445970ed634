// SPDX-License-Identifier: GPL-3.0-or-later
// A stop request backed by an eventfd.
#include "audio/StopSignal.h"

#include "audio/AudioError.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

TStopSignal::TStopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0)
        throw EAudioError(std::string("Cannot create a wake-up descriptor: ") + std::strerror(errno));
}

TStopSignal::~TStopSignal() {
    if (fd_ >= 0)
        close(fd_);
}

void TStopSignal::Request() noexcept {
    requested_.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    // A full counter (impossible here) or EINTR leaves the descriptor readable anyway.
    [[maybe_unused]] const auto written = write(fd_, &one, sizeof one);
}
