// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in level library for the binding tests: a range set by the test, calls recorded.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

namespace {
float gMin = -96.0f, gMax = 0.0f;
float gLastLevel = NAN;
int gSetCalls = 0, gBalanceCalls = 0, gOpen = 0;
} // namespace

extern "C" {
// Test controls (not part of the library's interface).
__attribute__((visibility("default"))) void fakeSetRange(float minDb, float maxDb) {
    gMin = minDb;
    gMax = maxDb;
    gLastLevel = NAN;
    gSetCalls = gBalanceCalls = 0;
}
__attribute__((visibility("default"))) float fakeLastLevel() {
    return gLastLevel;
}
__attribute__((visibility("default"))) int fakeSetCalls() {
    return gSetCalls;
}
__attribute__((visibility("default"))) int fakeBalanceCalls() {
    return gBalanceCalls;
}
__attribute__((visibility("default"))) int fakeOpenHandles() {
    return gOpen;
}

// The nine calls: only the device "Fake Device" exists.
__attribute__((visibility("default"))) int32_t openCodec(const char* name) {
    if (name == nullptr || std::strncmp("Fake Device", name, std::strlen(name)) != 0)
        return 0;
    ++gOpen;
    return 42;
}
#ifndef FAKE_WITHOUT_CLOSE
__attribute__((visibility("default"))) int32_t closeCodec(int32_t) {
    --gOpen;
    return 1;
}
#endif
__attribute__((visibility("default"))) int32_t getMixerFormat(int32_t, int32_t*, int32_t*,
                                                              int32_t*) {
    return -1;
}
__attribute__((visibility("default"))) int32_t getMuteState(int32_t) {
    return 0;
}
__attribute__((visibility("default"))) int32_t setMuteState(int32_t, int32_t) {
    return 1;
}
__attribute__((visibility("default"))) int32_t getVolumeRange(int32_t, float* a, float* b,
                                                              float* c) {
    *a = gMin;
    *b = gMax;
    *c = 0.5f;
    return 1;
}
__attribute__((visibility("default"))) int32_t getVolume(int32_t, float* level) {
    *level = gLastLevel;
    return 1;
}
__attribute__((visibility("default"))) int32_t setVolume(int32_t, float level) {
    gLastLevel = level;
    ++gSetCalls;
    return 1;
}
__attribute__((visibility("default"))) int32_t balanceChannels(int32_t) {
    ++gBalanceCalls;
    return 1;
}
}
