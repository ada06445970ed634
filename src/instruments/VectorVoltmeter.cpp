// SPDX-License-Identifier: GPL-3.0-or-later
// The vector voltmeter of the external four-channel ADC: amplitude and phase at one frequency.
#include "instruments/VectorVoltmeter.h"

#include "expr/ComplexMath.h"
#include "files/TextNumbers.h"

#include <charconv>
#include <cmath>
#include <numbers>

namespace {

template <typename Sample> TComplex Transform(std::span<const Sample> x, int cycles) {
    if (x.empty())
        return {};
    const double n = static_cast<double>(x.size());
    const double w = 2.0 * std::numbers::pi * cycles / n;
    const double c = 2.0 * std::cos(w);
    double s1 = 0.0;
    double s2 = 0.0;
    for (const Sample sample : x) {
        const double s = c * s1 + static_cast<double>(sample) - s2;
        s2 = s1;
        s1 = s;
    }
    return {(std::cos(w) * s1 - s2) * 2.0 / n, std::sin(w) * s1 * 2.0 / n};
}

// "%10.3f" without a minus sign on a value that rounds to zero.
std::string Fixed3(double value) {
    std::string text = FormatFixed(value, 10, 3);
    const auto minus = text.find("-0.000");
    if (minus != std::string::npos && text.size() == minus + 6)
        text.replace(minus, 1, " ");
    return text;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

TComplex SingleBinTransform(std::span<const std::int32_t> x, int cycles) {
    return Transform(x, cycles);
}

TComplex SingleBinTransform(std::span<const double> x, int cycles) {
    return Transform(x, cycles);
}

std::optional<TVvmAnalysis> VvmAnalysis(double rateHz, int frequencyHz, int blockSamples) {
    if (frequencyHz <= 0 || !(rateHz > 0.0) || blockSamples <= 0)
        return std::nullopt;
    const double period = std::nearbyint(rateHz / frequencyHz);
    if (!(period >= 1.0) || period > blockSamples)
        return std::nullopt;
    TVvmAnalysis analysis;
    analysis.SamplesPerPeriod = static_cast<int>(period);
    analysis.Periods = blockSamples / analysis.SamplesPerPeriod;
    analysis.Samples = analysis.Periods * analysis.SamplesPerPeriod;
    return analysis;
}

bool TVectorVoltmeter::AnalyseBlock(std::span<const std::int32_t> block, int blockSamples,
                                    double rateHz) {
    const auto analysis = VvmAnalysis(rateHz, frequency_, blockSamples);
    const auto b = static_cast<std::size_t>(blockSamples);
    if (!analysis || block.size() < Channels * b)
        return false;
    for (std::size_t adc = 0; adc < Channels; ++adc)
        phasor_[adc] = SingleBinTransform(
            block.subspan(adc * b, static_cast<std::size_t>(analysis->Samples)), analysis->Periods);
    return true;
}

bool TVectorVoltmeter::SetFrequencyText(std::string_view text) {
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size())
        return false;
    frequency_ = value;
    return true;
}

void TVectorVoltmeter::SetAveragingTime(double seconds, double rateHz, int blockSamples) {
    const double n = blockSamples > 0 ? seconds * rateHz / blockSamples : 0.0;
    alpha_ = n > 0.0 && std::isfinite(n) ? 1.0 - std::exp(-1.0 / n) : 1.0;
}

bool TVectorVoltmeter::SetAveragingTimeText(std::string_view text, double rateHz,
                                            int blockSamples) {
    double seconds = 0.0;
    if (!ParseReal(text, seconds))
        return false;
    SetAveragingTime(seconds, rateHz, blockSamples);
    return true;
}

void TVectorVoltmeter::SetReference(int reference) {
    reference_ = reference >= 0 && reference <= Channels ? reference : 0;
}

TVvmReading TVectorVoltmeter::Instant(int channel) const {
    TComplex ratio = phasor_[static_cast<std::size_t>(channel)];
    if (reference_ != 0) {
        const TComplex reference = phasor_[static_cast<std::size_t>(reference_ - 1)];
        if (channel == reference_ - 1 && (reference.Re != 0.0 || reference.Im != 0.0))
            ratio = {1.0, 0.0};
        else
            ratio = ComplexDivide(ratio, reference);
    }
    return {std::hypot(ratio.Re, ratio.Im), PhaseDegrees(ratio)};
}

void TVectorVoltmeter::ResetAverages() {
    for (int adc = 0; adc < Channels; ++adc)
        average_[static_cast<std::size_t>(adc)] = Instant(adc);
}

void TVectorVoltmeter::UpdateAverages() {
    for (int adc = 0; adc < Channels; ++adc) {
        const TVvmReading now = Instant(adc);
        TVvmReading& avg = average_[static_cast<std::size_t>(adc)];
        avg.Magnitude = alpha_ * now.Magnitude + (1.0 - alpha_) * avg.Magnitude;
        avg.PhaseDegrees = alpha_ * now.PhaseDegrees + (1.0 - alpha_) * avg.PhaseDegrees;
    }
}

std::string TVectorVoltmeter::LabelText(int channel, const TVvmReading& reading) {
    const double magnitude = reading.Magnitude == 0.0 ? 1e-10 : reading.Magnitude;
    return "ADC" + std::to_string(channel + 1) + ": " + Fixed3(20.0 * std::log10(magnitude)) +
           "dB / " + Fixed3(reading.PhaseDegrees) + "\u00B0";
}
