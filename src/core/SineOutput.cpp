// SPDX-License-Identifier: GPL-3.0-or-later
// Sine generator for the output block: a tone whose period is a power of two in samples.
#include "core/SineOutput.h"

#include "core/NumberText.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

namespace {

// s(j) = 2147483391 * sin(2 pi j / period) in extended precision, rounded once to float.
float SineSample(long double step, std::int64_t phase) {
    return static_cast<float>(static_cast<long double>(TSineOutput::Amplitude) *
                              std::sin(step * static_cast<long double>(phase)));
}

// a1 sin(step m1 j) + a2 sin(step m2 j) in extended precision (the phases reduced modulo the
// period first, which is exact), rounded once to float.
float TwoToneSample(long double step, std::int64_t period, std::int64_t m1, std::int64_t m2,
                    long double a1, long double a2, std::int64_t phase) {
    const auto at = [&](std::int64_t m) {
        return std::sin(step * static_cast<long double>((m * phase) % period));
    };
    return static_cast<float>(a1 * at(m1) + a2 * at(m2));
}

} // namespace

void FillOutBuffer(TSineOutput& generator, TDataBufferF& outBuffer, double sampleRateHz) {
    if (!generator.CheckOut || outBuffer.empty()) {
        return;
    }
    const bool noise = generator.Stimulus != TStimulusKind::Sine;
    const int p =
        noise ? std::clamp(generator.NoisePower, 3, 20) : std::clamp(generator.TrackF, 0, 30);
    const std::int64_t period = std::int64_t{1} << p;
    const long double step =
        2.0L * std::numbers::pi_v<long double> / static_cast<long double>(period);
    const std::size_t length = outBuffer[0].size();
    std::int64_t phase = generator.PhaseIndex % period;
    // The single sine is (1, 0) cycles at ratio 0.
    const bool twoTones = !noise && generator.Tones.F1Hz > 0.0 && generator.Tones.F2Hz > 0.0 &&
                          sampleRateHz > 0.0 && period >= 8;
    const auto [m1, m2] = twoTones ? CoherentToneCycles(generator.Tones, sampleRateHz, period)
                                   : std::pair<std::int64_t, std::int64_t>{1, 0};
    const double ratio = twoTones ? generator.Tones.Ratio : 0.0;
    const auto [a1, a2] = TwoToneAmplitudes(generator.Tones, TSineOutput::Amplitude);
    const auto sample = [&, m1 = m1, m2 = m2, a1 = a1, a2 = a2](std::int64_t j) {
        return twoTones ? TwoToneSample(step, period, m1, m2, a1, a2, j) : SineSample(step, j);
    };
    const bool tabled = noise || p <= TSineOutput::MaxTablePower;
    if (tabled && (generator.TablePower != p || generator.TableCycles1 != m1 ||
                   generator.TableCycles2 != m2 || generator.TableRatio != ratio ||
                   generator.TableStimulus != generator.Stimulus ||
                   (noise && (generator.TableSeed != generator.NoiseSeed ||
                              generator.TableRate != sampleRateHz)))) {
        generator.PeriodTable.resize(static_cast<std::size_t>(period));
        if (noise) {
            const std::vector<double> values = PeriodicNoisePeriod(
                generator.Stimulus, p, sampleRateHz, generator.NoiseSeed, TSineOutput::Amplitude);
            std::transform(values.begin(), values.end(), generator.PeriodTable.begin(),
                           [](double v) { return static_cast<float>(v); });
        } else {
            for (std::int64_t j = 0; j < period; ++j) {
                generator.PeriodTable[static_cast<std::size_t>(j)] = sample(j);
            }
        }
        generator.TableStimulus = generator.Stimulus;
        generator.TableSeed = generator.NoiseSeed;
        generator.TableRate = sampleRateHz;
        generator.TablePower = p;
        generator.TableCycles1 = m1;
        generator.TableCycles2 = m2;
        generator.TableRatio = ratio;
    }

    TSingleArray* left = &outBuffer[0];
    TSingleArray* right = outBuffer.size() > 1 ? &outBuffer[1] : nullptr;
    // Row r gets min(length, its size) samples of sign * s(j) (sign 0 writes zeros).
    const auto fill = [&](TSingleArray* row, float sign) {
        if (row == nullptr) {
            return;
        }
        const std::size_t count = std::min(length, row->size());
        float* out = row->data();
        std::int64_t j = phase;
        if (sign == 0.0f) {
            std::fill_n(out, count, 0.0f);
        } else if (tabled) {
            // The first period from the table, in whole runs up to its end; after that the row
            // repeats what it already holds, in copies that double (short periods would
            // otherwise take a copy per period).
            const float* table = generator.PeriodTable.data();
            const std::size_t first = std::min(count, static_cast<std::size_t>(period));
            for (std::size_t i = 0; i < first;) {
                const std::size_t run = std::min(first - i, static_cast<std::size_t>(period - j));
                const float* from = table + j;
                if (sign < 0.0f) {
                    std::transform(from, from + run, out + i, std::negate<float>());
                } else {
                    std::copy_n(from, run, out + i);
                }
                i += run;
                j = 0;
            }
            for (std::size_t done = first; done < count;) { // done: whole periods
                const std::size_t run = std::min(done, count - done);
                std::copy_n(out, run, out + done);
                done += run;
            }
        } else {
            for (std::size_t i = 0; i < count; ++i) {
                const float value = sample(j);
                out[i] = sign < 0.0f ? -value : value;
                j = (j + 1) & (period - 1);
            }
        }
    };
    switch (generator.COutChan) {
    case 0:
        fill(left, 1.0f);
        fill(right, 1.0f);
        break;
    case 1:
        fill(left, 1.0f);
        fill(right, -1.0f);
        break;
    case 2:
        fill(left, 1.0f);
        fill(right, 0.0f);
        break;
    case 3:
        fill(left, 0.0f);
        fill(right, 1.0f);
        break;
    default:
        break;
    }
    phase = static_cast<std::int64_t>((static_cast<std::uint64_t>(phase) + length) &
                                      static_cast<std::uint64_t>(period - 1));
    generator.PhaseIndex = phase;
}

void ResetPhase(TSineOutput& generator) {
    generator.PhaseIndex = 0;
}

std::string TrackFChange(TSineOutput& generator, int p, double sampleRateHz) {
    generator.TrackF = p;
    return FormatGeneral(std::pow(2.0, -p) * sampleRateHz) + " Hz";
}

std::string TwoToneCaption(const TSineOutput& generator, double sampleRateHz) {
    const int p = std::clamp(generator.TrackF, 0, 30);
    const std::int64_t period = std::int64_t{1} << p;
    if (generator.Tones.F1Hz <= 0.0 || generator.Tones.F2Hz <= 0.0 || sampleRateHz <= 0.0 ||
        period < 8)
        return {};
    const auto [m1, m2] = CoherentToneCycles(generator.Tones, sampleRateHz, period);
    const double grid = sampleRateHz / static_cast<double>(period);
    return FormatGeneral(static_cast<double>(m1) * grid) + " Hz + " +
           FormatGeneral(static_cast<double>(m2) * grid) + " Hz";
}
