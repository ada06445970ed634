// Sine generator for the output block: a tone whose period is a power of two in samples.
#include "core/SineOutput.h"

#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void FillOutBuffer(TSineOutput& generator, TDataBufferF& outBuffer) {
    if (!generator.CheckOut || outBuffer.empty()) {
        return;
    }
    const int p = std::clamp(generator.TrackF, 0, 30);
    const std::int64_t period = std::int64_t{1} << p;
    const long double step =
        2.0L * std::numbers::pi_v<long double> / static_cast<long double>(period);
    const std::size_t length = outBuffer[0].size();
    std::int64_t phase = generator.PhaseIndex % period;

    TSingleArray* left = &outBuffer[0];
    TSingleArray* right = outBuffer.size() > 1 ? &outBuffer[1] : nullptr;
    auto put = [](TSingleArray* row, std::size_t i, float value) {
        if (row != nullptr && i < row->size()) {
            (*row)[i] = value;
        }
    };
    for (std::size_t i = 0; i < length; ++i) {
        const auto s = static_cast<float>(static_cast<long double>(TSineOutput::Amplitude) *
                                          std::sin(step * static_cast<long double>(phase)));
        switch (generator.COutChan) {
        case 0:
            put(left, i, s);
            put(right, i, s);
            break;
        case 1:
            put(left, i, s);
            put(right, i, -s);
            break;
        case 2:
            put(left, i, s);
            put(right, i, 0.0f);
            break;
        case 3:
            put(left, i, 0.0f);
            put(right, i, s);
            break;
        default:
            break;
        }
        phase = phase + 1 == period ? 0 : phase + 1;
    }
    generator.PhaseIndex = phase;
}

void ResetPhase(TSineOutput& generator) {
    generator.PhaseIndex = 0;
}

std::string TrackFChange(TSineOutput& generator, int p, double sampleRateHz) {
    generator.TrackF = p;
    return FormatGeneral(std::pow(2.0, -p) * sampleRateHz) + " Hz";
}
