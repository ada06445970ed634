// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface of libmixtrel.so: level and mute of a capture source of the sound server.
#pragma once

#include <stdint.h>

#if defined(MIXTREL_BUILDING)
#define MIXTREL_API __attribute__((visibility("default")))
#else
#define MIXTREL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Every call may be made from any thread; each one talks to the sound server afresh and gives
// up after a fixed time limit (MixtrelCallLimitMs), so a vanished or frozen server gives a
// failure result, never a hang. Levels are in dB through the server's volume mapping.

// Handle of the first capture source whose description starts with `name` (byte-wise, "" is
// the first source; monitors of outputs are left out), else of the source that an ALSA device
// entry of that description or name stands for (the server's own devices: its default source);
// 0 when none matches or the server cannot be reached.
MIXTREL_API int32_t openCodec(const char* name);
// Forgets the handle. Always 1.
MIXTREL_API int32_t closeCodec(int32_t handle);
// The source's channel count, bits per sample and sample rate (Hz). 1, or -1.
MIXTREL_API int32_t getMixerFormat(int32_t handle, int32_t* channels, int32_t* bitsPerSample,
                                   int32_t* samplesPerSecond);
// 1 muted, 0 not muted, -1 failure.
MIXTREL_API int32_t getMuteState(int32_t handle);
// Mutes (non-zero) or unmutes the source. 1, or -1.
MIXTREL_API int32_t setMuteState(int32_t handle, int32_t mute);
// The level range offered, in dB: -96 .. 0, and the finest step of the server's scale there.
MIXTREL_API int32_t getVolumeRange(int32_t handle, float* minDb, float* maxDb, float* stepDb);
// The master level (loudest channel) in dB, -200 for a silenced source. 1, or -1.
MIXTREL_API int32_t getVolume(int32_t handle, float* levelDb);
// Sets the master level in dB, keeping the balance of the channels. 1, or -1. Besides the range
// offered, every level getVolume reports is accepted (silence, and above 100 %), so that a level
// read can be given back; not a number or beyond the server's largest volume: -1.
MIXTREL_API int32_t setVolume(int32_t handle, float levelDb);
// Sets every channel to the master level. 1, or -1.
MIXTREL_API int32_t balanceChannels(int32_t handle);

#ifdef __cplusplus
}
#endif
