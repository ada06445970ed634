// Sine generator for the output block: a tone whose period is a power of two in samples.
#include "core/SineOutput.h"

#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// s(j) = 2147483391 * sin(2 pi j / period) in extended precision, rounded once to float.
float SineSample(long double step, std::int64_t phase) {
    return static_cast<float>(static_cast<long double>(TSineOutput::Amplitude) *
                              std::sin(step * static_cast<long double>(phase)));
}

} // namespace

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
    const bool tabled = p <= TSineOutput::MaxTablePower;
    if (tabled && generator.TablePower != p) {
        generator.PeriodTable.resize(static_cast<std::size_t>(period));
        for (std::int64_t j = 0; j < period; ++j) {
            generator.PeriodTable[static_cast<std::size_t>(j)] = SineSample(step, j);
        }
        generator.TablePower = p;
    }

    TSingleArray* left = &outBuffer[0];
    TSingleArray* right = outBuffer.size() > 1 ? &outBuffer[1] : nullptr;
    auto put = [](TSingleArray* row, std::size_t i, float value) {
        if (row != nullptr && i < row->size()) {
            (*row)[i] = value;
        }
    };
    for (std::size_t i = 0; i < length; ++i) {
        const float s = tabled ? generator.PeriodTable[static_cast<std::size_t>(phase)]
                               : SineSample(step, phase);
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
