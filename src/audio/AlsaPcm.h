// SPDX-License-Identifier: GPL-3.0-or-later
// One open ALSA PCM device: format negotiation, chunked non-blocking transfers, xrun recovery.
#pragma once

#include "audio/AudioError.h"
#include "audio/SampleConversion.h"
#include "audio/StopSignal.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <poll.h>
typedef struct _snd_pcm snd_pcm_t;

// Raised by a transfer when the device is gone for good (unplugged, sound server stopped, a
// fault that recovery cannot mend). The message names the direction, the device and the
// device layer's text.
class EDeviceLost : public EAudioError {
public:
    using EAudioError::EAudioError;
};

// Gaps in one direction's stream: each recovered overrun (capture) or underrun (render) is one
// gap; `FramesLost` estimates the frames missing (capture) or played as silence (render) in
// them. Written by the device's worker thread, read by the main thread for display: relaxed
// atomics, since they are statistics and guard nothing.
struct TGapCounters {
    std::atomic<std::uint64_t> Gaps{0};
    std::atomic<std::uint64_t> FramesLost{0};
};

// The text of a device-layer error code: snd_strerror's text, or "Unknown error: <code>" when
// it has none. For a rejected format (`formatError`) only the text before its first full stop.
std::string PcmErrorText(int code, bool formatError = false);

// Sample containers a device can be asked for.
enum class TPcmContainer { S16, S24Packed, S32, S24LowAligned };

// What to open. Sizes are wishes; the device picks the nearest it can do.
struct TPcmRequest {
    std::string Name;    // ALSA device name ("default", "pulse", "plughw:…")
    std::string Label;   // how messages name the device (its list entry); empty: Name
    bool Capture = true; // capture or playback
    int Channels = 2;
    int Rate = 48000; // frames per second, exact (plug devices resample)
    int Bits = 16;    // 16: S16_LE; 24: S24_3LE, else S32_LE (24 valid), else S24_LE
    std::size_t PeriodFrames = 1024;
    std::size_t BufferFrames = 8192;
    std::size_t StartThreshold = 0; // playback: frames queued before the device starts; 0: buffer
    // Containers to try, in order; empty: the order `Bits` gives above.
    std::vector<TPcmContainer> Containers;
};

// Owns one snd_pcm_t, opened non-blocking. Opened by the engine's session thread (opening may
// hang on a frozen sound server, so never on the main thread); from then on exactly one thread
// at a time calls Start/Transfer/Drop/Close (the device layer is not used from two threads at
// once). Throws EAudioError with the device layer's text; an open that fails
// half way closes the device before the exception leaves the constructor.
class TAlsaPcm {
public:
    explicit TAlsaPcm(const TPcmRequest& request);
    ~TAlsaPcm();
    TAlsaPcm(const TAlsaPcm&) = delete;
    TAlsaPcm& operator=(const TAlsaPcm&) = delete;

    // The frame layout for the sample conversions. With S24_LE the container is described as
    // 32 bits with 24 valid bits, and Transfer shifts the samples to and from that alignment.
    const TSampleFormat& Format() const { return format_; }
    std::size_t PeriodFrames() const { return periodFrames_; }
    std::size_t BufferFrames() const { return bufferFrames_; }
    const std::string& Name() const { return request_.Name; }
    // The device as messages name it: the request's Label, else its Name.
    const std::string& Label() const {
        return request_.Label.empty() ? request_.Name : request_.Label;
    }

    // Starts a capture device (playback starts itself at the start threshold). Throws.
    void Start();

    // Moves `frames` frames between `data` (interleaved, Format()) and the device, in chunks of
    // at most one period. Waits in poll() for the device or for `stop`; returns false when stop
    // was requested before all frames moved. An overrun or underrun is recovered, counted in
    // `gaps` with its estimated length, and the transfer goes on. Throws EDeviceLost when the
    // device is gone or stops moving data for `StallLimit`. Capture bytes are in place only
    // after it returns true; playback bytes are only read (S24_LE realignment happens in a
    // staging buffer, so the same bytes can be written again).
    bool Transfer(std::uint8_t* data, std::size_t frames, const TStopSignal& stop,
                  TGapCounters& gaps);

    // Capture: reads and throws away what the device holds now, in chunks of at most
    // `scratchFrames` frames, without waiting; at most one device buffer. Returns the frames
    // thrown away. Overruns are recovered and counted as in Transfer; throws EDeviceLost.
    std::size_t DiscardAvailable(std::uint8_t* scratch, std::size_t scratchFrames,
                                 TGapCounters& gaps);

    // Discards what is queued in the device and stops it. Never throws.
    void Drop() noexcept;

    // Closes the device (the destructor does it too). Called by the thread that uses the
    // device; a device that hangs blocks only that thread. Never throws.
    void Close() noexcept;
    // Whether the device is still open; may be asked from any thread.
    bool IsOpen() const noexcept { return open_.load(std::memory_order_acquire); }

    // How long a device may neither move data nor report an error before it counts as lost.
    std::chrono::milliseconds StallLimit() const { return stallLimit_; }

    // Number of PCM devices open in this process through this class (for leak checks in tests).
    static int OpenCount() { return openCount_.load(std::memory_order_relaxed); }

private:
    [[noreturn]] void Lost(int code) const;
    bool WaitReady(const TStopSignal& stop);
    void Recover(int code, TGapCounters& gaps);

    TPcmRequest request_;
    snd_pcm_t* pcm_ = nullptr;
    std::atomic<bool> open_{false};
    TSampleFormat format_;
    bool lowAligned24_ = false; // S24_LE: 24 bits in the low three bytes of a 32-bit word
    std::size_t periodFrames_ = 0;
    std::size_t bufferFrames_ = 0;
    std::chrono::milliseconds stallLimit_{5000};
    // Worker-thread state for gap estimates and stall detection.
    std::chrono::steady_clock::time_point lastProgress_{}; // end of the last frames moved
    std::chrono::steady_clock::time_point stallSince_{};   // start of the current wait for data
    std::size_t queuedAfterWrite_ = 0; // playback: frames in the device after the last write
    int xrunsInARow_ = 0;
    std::vector<pollfd> pollFds_;       // the device's descriptors and the stop descriptor
    std::vector<std::uint8_t> staging_; // playback S24_LE: one period realigned for the device

    static std::atomic<int> openCount_;
};
