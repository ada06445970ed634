// SPDX-License-Identifier: GPL-3.0-or-later
// Correction curves read from level files, their interpolation, and the per-bin factors.
#include "core/LevelCorrection.h"

#include "core/LevelUnits.h"
#include "dsp/AudioWeighting.h"
#include "dsp/WeightingCurves.h"
#include "files/LevelFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>

TCorrectionCurve::TCorrectionCurve(std::vector<double> frequencyHz, std::vector<double> levelDb,
                                   double offsetDb)
    : Db_(std::move(levelDb)), OffsetDb_(offsetDb) {
    LogF_.resize(frequencyHz.size());
    std::transform(frequencyHz.begin(), frequencyHz.end(), LogF_.begin(),
                   [](double f) { return std::log10(f); });
    Db_.resize(LogF_.size());
}

double TCorrectionCurve::DeviationDb(double freqHz) const {
    if (LogF_.empty())
        return 0.0;
    if (!(freqHz > 0.0))
        return Db_.front() + OffsetDb_;
    const double x = std::log10(freqHz);
    const auto above = std::upper_bound(LogF_.begin(), LogF_.end(), x);
    if (above == LogF_.begin())
        return Db_.front() + OffsetDb_;
    if (above == LogF_.end())
        return Db_.back() + OffsetDb_;
    const auto i = static_cast<std::size_t>(above - LogF_.begin()) - 1;
    const double t = (x - LogF_[i]) / (LogF_[i + 1] - LogF_[i]);
    return Db_[i] + t * (Db_[i + 1] - Db_[i]) + OffsetDb_;
}

namespace {

// True when a sensitivity's unit is dB: its leading word (the letters before anything else, as
// in "dB, SERNO: 7001234") is "dB" in any case, or there is none.
bool IsDbUnit(const std::string& unit) {
    std::string word;
    for (const char c : unit) {
        if (!std::isalpha(static_cast<unsigned char>(c)))
            break;
        word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return word.empty() || word == "db";
}

TCorrectionCurve CurveOf(const TLevelTable& table, const std::string& name) {
    double offset = 0.0;
    if (table.Sensitivity && IsDbUnit(table.Sensitivity->Unit)) {
        offset = table.Sensitivity->Value;
        if (std::fabs(offset) > kSplSensitivityLimitDb)
            throw ECorrectionFileError(name + ": the sensitivity line \"" +
                                       table.Sensitivity->Line +
                                       "\" lies beyond 200 dB either side of 0.");
    }
    std::vector<double> f, db;
    for (const TLevelRecord& record : table.Records) {
        if (record.FrequencyHz <= 0.0)
            continue;
        f.push_back(record.FrequencyHz);
        db.push_back(record.Level);
    }
    if (f.empty())
        throw ECorrectionFileError(name + ": the file holds no frequency above 0 Hz.");
    return {std::move(f), std::move(db), offset};
}

// Refuses levels that are no sensible deviation (the reader refuses values that are not finite).
std::string CheckRecord(const TLevelTable& /*table*/, const TLevelRecord& record) {
    if (std::fabs(record.Level) > kSplSensitivityLimitDb)
        return "the level lies beyond 200 dB either side of 0";
    return {};
}

} // namespace

TCorrectionCurve ReadCorrectionFile(const std::string& path) {
    try {
        return CurveOf(ReadLevelFile(path, CheckRecord), path);
    } catch (const ELevelFileError& error) {
        throw ECorrectionFileError(error.what());
    }
}

TCorrectionCurve ReadCorrectionText(std::string_view text, const std::string& name) {
    try {
        return CurveOf(ReadLevelText(text, name, CheckRecord), name);
    } catch (const ELevelFileError& error) {
        throw ECorrectionFileError(error.what());
    }
}

double TLevelCorrection::DeviationDb(double freqHz) const {
    return Microphone.DeviationDb(freqHz) + Interface.DeviationDb(freqHz);
}

std::string LoadCorrection(TLevelCorrection& correction, TCorrectionSlot slot,
                           const std::string& path) {
    const bool microphone = slot == TCorrectionSlot::csMicrophone;
    TCorrectionCurve curve;
    if (!path.empty()) {
        try {
            curve = ReadCorrectionFile(path);
        } catch (const ECorrectionFileError& error) {
            return error.what();
        }
    }
    (microphone ? correction.Microphone : correction.Interface) = std::move(curve);
    (microphone ? correction.MicrophoneFile : correction.InterfaceFile) = path;
    ++correction.Generation;
    return {};
}

double WeightingGainDb(std::int32_t weighting, double freqHz) {
    switch (weighting) {
    case 1:
        return PsophometricWeightDB(freqHz);
    case 2:
        return CMessageWeightDB(freqHz);
    case 3:
        return AWeightDB(freqHz);
    case 4:
        return CWeightDB(freqHz);
    default:
        return 0.0;
    }
}

bool WeightingShapes(std::int32_t weighting) {
    return weighting >= 1 && weighting <= 4;
}

double BinFactor(std::int32_t weighting, const TLevelCorrection& correction, double freqHz) {
    double factor = 1.0;
    switch (weighting) {
    case 1:
        factor = PsophometricFactor(freqHz);
        break;
    case 2:
        factor = CMessageFactor(freqHz);
        break;
    case 3:
    case 4:
        factor = std::pow(10.0, WeightingGainDb(weighting, freqHz) / 20.0);
        break;
    default:
        break;
    }
    if (correction.Active())
        factor *= std::pow(10.0, -correction.DeviationDb(freqHz) / 20.0);
    return factor;
}
