// SPDX-License-Identifier: GPL-3.0-or-later
// One open ALSA PCM device: format negotiation, chunked non-blocking transfers, xrun recovery.
#include "audio/AlsaPcm.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <poll.h>
#include <thread>
#include <vector>

std::atomic<int> TAlsaPcm::openCount_{0};

namespace {

using Clock = std::chrono::steady_clock;

// Poll wake-up interval: how often a waiting worker looks at the stall limit.
constexpr int kPollTimeoutMs = 100;
// Overruns/underruns in a row without a frame moved in between: recovery is not working.
constexpr int kMaxXrunsInARow = 64;

void Check(int code, bool formatError = false) {
    if (code < 0)
        throw EAudioError(PcmErrorText(code, formatError));
}

// Frames in a time span at `rate` frames per second.
std::uint64_t FramesIn(Clock::duration span, int rate) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(span).count();
    return ns <= 0 ? 0 : static_cast<std::uint64_t>(static_cast<double>(ns) * rate / 1e9);
}

// S24_LE holds a sample in the low three bytes of a 32-bit word; the conversions expect it
// left-justified. Capture: shift up by 8 bits; playback: shift down, keeping the sign.
void ShiftUp24(std::uint8_t* data, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i, data += 4) {
        std::uint32_t w;
        std::memcpy(&w, data, 4);
        w <<= 8;
        std::memcpy(data, &w, 4);
    }
}

// Copies `words` samples from `from` to `to`, shifted down, keeping the sign.
void ShiftDown24(const std::uint8_t* from, std::uint8_t* to, std::size_t words) {
    for (std::size_t i = 0; i < words; ++i, from += 4, to += 4) {
        std::int32_t w;
        std::memcpy(&w, from, 4);
        w >>= 8; // arithmetic shift: the sign fills the top byte
        std::memcpy(to, &w, 4);
    }
}

snd_pcm_format_t AlsaFormat(TPcmContainer c) {
    switch (c) {
    case TPcmContainer::S16:
        return SND_PCM_FORMAT_S16_LE;
    case TPcmContainer::S24Packed:
        return SND_PCM_FORMAT_S24_3LE;
    case TPcmContainer::S32:
        return SND_PCM_FORMAT_S32_LE;
    case TPcmContainer::S24LowAligned:
        return SND_PCM_FORMAT_S24_LE;
    }
    return SND_PCM_FORMAT_UNKNOWN;
}

struct HwParamsDeleter {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsDeleter {
    void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};

} // namespace

std::string PcmErrorText(int code, bool formatError) {
    const char* raw = snd_strerror(code);
    std::string text = raw != nullptr ? raw : "";
    if (text.empty() || text.rfind("Unknown error", 0) == 0)
        return "Unknown error: " + std::to_string(code);
    if (formatError) {
        const auto dot = text.find('.');
        if (dot != std::string::npos)
            text.erase(dot);
    }
    return text;
}

TAlsaPcm::TAlsaPcm(const TPcmRequest& request) : request_(request) {
    const auto stream = request.Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    Check(snd_pcm_open(&pcm_, request.Name.c_str(), stream, SND_PCM_NONBLOCK));
    openCount_.fetch_add(1, std::memory_order_relaxed);
    open_.store(true, std::memory_order_release);
    try {
        snd_pcm_hw_params_t* hwRaw = nullptr;
        Check(snd_pcm_hw_params_malloc(&hwRaw));
        const std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter> hw(hwRaw);
        Check(snd_pcm_hw_params_any(pcm_, hw.get()));
        Check(snd_pcm_hw_params_set_access(pcm_, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED));

        // The container the requested resolution asks for, in order of preference.
        std::vector<snd_pcm_format_t> wanted;
        if (request.Bits == 16)
            wanted = {SND_PCM_FORMAT_S16_LE};
        else if (request.Bits == 24)
            wanted = {SND_PCM_FORMAT_S24_3LE, SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S24_LE};
        else if (request.Bits == 32)
            wanted = {SND_PCM_FORMAT_S32_LE};
        if (!request.Containers.empty()) {
            wanted.clear();
            for (const auto c : request.Containers)
                wanted.push_back(AlsaFormat(c));
        }
        if (wanted.empty())
            Check(-EINVAL, true);
        snd_pcm_format_t chosen = wanted.front();
        for (const auto f : wanted)
            if (snd_pcm_hw_params_test_format(pcm_, hw.get(), f) == 0) {
                chosen = f;
                break;
            }
        Check(snd_pcm_hw_params_set_format(pcm_, hw.get(), chosen), true);
        Check(snd_pcm_hw_params_set_channels(pcm_, hw.get(),
                                             static_cast<unsigned>(std::max(request.Channels, 0))),
              true);
        Check(snd_pcm_hw_params_set_rate(pcm_, hw.get(),
                                         static_cast<unsigned>(std::max(request.Rate, 0)), 0),
              true);

        snd_pcm_uframes_t period = std::max<std::size_t>(request.PeriodFrames, 16);
        snd_pcm_uframes_t buffer = std::max<std::size_t>(request.BufferFrames, 2 * period);
        int dir = 0;
        Check(snd_pcm_hw_params_set_period_size_near(pcm_, hw.get(), &period, &dir));
        Check(snd_pcm_hw_params_set_buffer_size_near(pcm_, hw.get(), &buffer));
        Check(snd_pcm_hw_params(pcm_, hw.get()));
        Check(snd_pcm_hw_params_get_period_size(hw.get(), &period, &dir));
        Check(snd_pcm_hw_params_get_buffer_size(hw.get(), &buffer));
        periodFrames_ = std::max<snd_pcm_uframes_t>(period, 1);
        bufferFrames_ = buffer;
        if (!request.Capture && chosen == SND_PCM_FORMAT_S24_LE)
            staging_.assign(
                periodFrames_ * 4 * static_cast<std::size_t>(std::max(request.Channels, 1)), 0);

        snd_pcm_sw_params_t* swRaw = nullptr;
        Check(snd_pcm_sw_params_malloc(&swRaw));
        const std::unique_ptr<snd_pcm_sw_params_t, SwParamsDeleter> sw(swRaw);
        Check(snd_pcm_sw_params_current(pcm_, sw.get()));
        Check(snd_pcm_sw_params_set_avail_min(pcm_, sw.get(), period));
        if (!request.Capture) {
            const snd_pcm_uframes_t threshold =
                request.StartThreshold == 0
                    ? buffer
                    : std::min<snd_pcm_uframes_t>(request.StartThreshold, buffer);
            Check(snd_pcm_sw_params_set_start_threshold(pcm_, sw.get(), threshold));
        }
        Check(snd_pcm_sw_params(pcm_, sw.get()));

        format_.Channels = request.Channels;
        format_.Float = false;
        switch (chosen) {
        case SND_PCM_FORMAT_S16_LE:
            format_.ContainerBits = 16;
            format_.ValidBits = 16;
            break;
        case SND_PCM_FORMAT_S24_3LE:
            format_.ContainerBits = 24;
            format_.ValidBits = 24;
            break;
        case SND_PCM_FORMAT_S24_LE:
            format_.ContainerBits = 32;
            format_.ValidBits = 24;
            lowAligned24_ = true;
            break;
        default:
            format_.ContainerBits = 32;
            format_.ValidBits = request.Bits == 24 ? 24 : 32;
            break;
        }
        // A device that moves nothing for four buffer lengths (at least 5 s) is taken as lost.
        const auto bufferMs =
            static_cast<long>(1000.0 * static_cast<double>(buffer) / std::max(request.Rate, 1));
        stallLimit_ = std::chrono::milliseconds(std::max(5000L, 4 * bufferMs));
    } catch (...) {
        Close();
        throw;
    }
}

TAlsaPcm::~TAlsaPcm() {
    Close();
}

void TAlsaPcm::Close() noexcept {
    if (pcm_ == nullptr)
        return;
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
    open_.store(false, std::memory_order_release);
    openCount_.fetch_sub(1, std::memory_order_relaxed);
}

void TAlsaPcm::Start() {
    Check(snd_pcm_start(pcm_));
    lastProgress_ = Clock::now();
}

void TAlsaPcm::Drop() noexcept {
    snd_pcm_drop(pcm_);
}

void TAlsaPcm::Lost(int code) const {
    throw EDeviceLost((request_.Capture ? "The capture device \"" : "The playback device \"") +
                      Label() + "\" is no longer available: " + PcmErrorText(code));
}

bool TAlsaPcm::Transfer(std::uint8_t* data, std::size_t frames, const TStopSignal& stop,
                        TGapCounters& gaps) {
    const auto frameBytes = static_cast<std::size_t>(format_.BlockAlign());
    const auto words = frames * static_cast<std::size_t>(format_.Channels);
    if (lastProgress_ == Clock::time_point{})
        lastProgress_ = Clock::now();
    stallSince_ = Clock::now();

    std::size_t done = 0;
    while (done < frames) {
        if (stop.Requested())
            return false;
        const auto chunk = static_cast<snd_pcm_uframes_t>(std::min(frames - done, periodFrames_));
        std::uint8_t* at = data + done * frameBytes;
        if (!request_.Capture && lowAligned24_) {
            // The caller's bytes stay as they are: a buffer written again (a refill that
            // failed) must not be shifted twice.
            ShiftDown24(at, staging_.data(), chunk * static_cast<std::size_t>(format_.Channels));
            at = staging_.data();
        }
        const snd_pcm_sframes_t moved =
            request_.Capture ? snd_pcm_readi(pcm_, at, chunk) : snd_pcm_writei(pcm_, at, chunk);
        if (moved > 0) {
            done += static_cast<std::size_t>(moved);
            lastProgress_ = stallSince_ = Clock::now();
            xrunsInARow_ = 0;
            if (!request_.Capture) {
                const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm_);
                queuedAfterWrite_ =
                    avail < 0
                        ? 0
                        : bufferFrames_ - std::min(bufferFrames_, static_cast<std::size_t>(avail));
            }
        } else if (moved == 0 || moved == -EAGAIN) {
            if (!WaitReady(stop))
                return false;
        } else if (moved == -EPIPE || moved == -ESTRPIPE || moved == -EINTR) {
            Recover(static_cast<int>(moved), gaps);
        } else {
            Lost(static_cast<int>(moved));
        }
    }
    if (request_.Capture && lowAligned24_)
        ShiftUp24(data, words);
    return true;
}

std::size_t TAlsaPcm::DiscardAvailable(std::uint8_t* scratch, std::size_t scratchFrames,
                                       TGapCounters& gaps) {
    std::size_t discarded = 0;
    while (discarded < bufferFrames_) {
        const auto chunk = static_cast<snd_pcm_uframes_t>(
            std::min({scratchFrames, periodFrames_, bufferFrames_ - discarded}));
        const snd_pcm_sframes_t moved = snd_pcm_readi(pcm_, scratch, chunk);
        if (moved > 0) {
            discarded += static_cast<std::size_t>(moved);
            lastProgress_ = stallSince_ = Clock::now();
            xrunsInARow_ = 0;
        } else if (moved == 0 || moved == -EAGAIN) {
            break;
        } else if (moved == -EPIPE || moved == -ESTRPIPE || moved == -EINTR) {
            Recover(static_cast<int>(moved), gaps);
        } else {
            Lost(static_cast<int>(moved));
        }
    }
    return discarded;
}

bool TAlsaPcm::WaitReady(const TStopSignal& stop) {
    const int count = snd_pcm_poll_descriptors_count(pcm_);
    if (count < 0)
        Lost(count);
    pollFds_.resize(static_cast<std::size_t>(count) + 1); // no allocation after the first wait
    snd_pcm_poll_descriptors(pcm_, pollFds_.data(), static_cast<unsigned>(count));
    pollFds_[static_cast<std::size_t>(count)] = pollfd{stop.Fd(), POLLIN, 0};

    const int ready = poll(pollFds_.data(), pollFds_.size(), kPollTimeoutMs);
    if (stop.Requested())
        return false;
    if (ready < 0 && errno != EINTR)
        Lost(-errno);
    if (Clock::now() - stallSince_ > stallLimit_)
        throw EDeviceLost((request_.Capture ? "The capture device \"" : "The playback device \"") +
                          Label() + "\" stopped responding");
    if (ready <= 0)
        return true;

    unsigned short revents = 0;
    const int rc = snd_pcm_poll_descriptors_revents(pcm_, pollFds_.data(),
                                                    static_cast<unsigned>(count), &revents);
    if (rc < 0)
        Lost(rc);
    if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
        switch (snd_pcm_state(pcm_)) {
        case SND_PCM_STATE_DISCONNECTED:
            Lost(-ENODEV);
        case SND_PCM_STATE_XRUN:
        case SND_PCM_STATE_SUSPENDED:
            break; // the next transfer reports it and recovers
        default:
            // An error wake-up without an error state: give the device a moment instead of
            // spinning; the stall limit ends a fault that persists.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            break;
        }
    }
    return true;
}

void TAlsaPcm::Recover(int code, TGapCounters& gaps) {
    const auto now = Clock::now();
    if (++xrunsInARow_ > kMaxXrunsInARow)
        Lost(code);
    const int rc = snd_pcm_recover(pcm_, code, 1);
    if (rc < 0)
        Lost(rc);
    if (code == -EINTR)
        return; // an interrupted call, no gap
    // Capture: preparing the device again discards everything since the last read.
    // Playback: silence began when the frames queued at the last write had played.
    const std::uint64_t elapsed = FramesIn(now - lastProgress_, request_.Rate);
    const std::uint64_t lost =
        request_.Capture ? elapsed
                         : (elapsed > queuedAfterWrite_ ? elapsed - queuedAfterWrite_ : 0);
    gaps.Gaps.fetch_add(1, std::memory_order_relaxed);
    gaps.FramesLost.fetch_add(lost, std::memory_order_relaxed);
    if (request_.Capture) {
        const int started = snd_pcm_start(pcm_);
        if (started < 0)
            Lost(started);
    }
    lastProgress_ = stallSince_ = Clock::now();
    queuedAfterWrite_ = 0;
}
