// SPDX-License-Identifier: GPL-3.0-or-later
// Responses to and from CSV and FRD files through the level-file formats.
#include "analysis/ResponseFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

TResponseCurve CurveOfReadings(const TResponseReadings& readings) {
    TResponseCurve curve;
    if (!readings.Valid)
        return curve;
    curve.FrequencyHz = readings.FrequencyHz;
    curve.MagnitudeDb = readings.MagnitudeDb;
    curve.PhaseDeg = readings.PhaseDeg;
    curve.Coherence = readings.Coherence;
    return curve;
}

TLevelTable ResponseTable(const TResponseCurve& curve) {
    TLevelTable table;
    table.LevelUnit = "db";
    const std::size_t count =
        std::min({curve.FrequencyHz.size(), curve.MagnitudeDb.size(), curve.PhaseDeg.size()});
    bool coherence = curve.Coherence.size() >= count;
    for (std::size_t i = 0; i < count && coherence; ++i)
        coherence = std::isfinite(curve.Coherence[i]);
    TExtraColumn column{"coherence", {}};
    for (std::size_t i = 0; i < count; ++i) {
        if (!std::isfinite(curve.MagnitudeDb[i]))
            continue;
        table.Records.push_back({curve.FrequencyHz[i], curve.MagnitudeDb[i], curve.PhaseDeg[i]});
        if (coherence)
            column.Values.push_back(curve.Coherence[i]);
    }
    if (coherence)
        table.Extra.push_back(std::move(column));
    table.Notes.push_back("Frequency response: frequency in Hz, magnitude in dB, phase in degrees");
    return table;
}

void WriteResponseFile(const std::string& path, const TResponseCurve& curve) {
    std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : std::string();
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    WriteLevelFile(path, ResponseTable(curve),
                   tail == ".csv" ? TLevelFileFormat::lfCsv : TLevelFileFormat::lfFrd);
}

TResponseCurve ReadResponseFile(const std::string& path) {
    const TLevelTable table = ReadLevelFile(path, [](const TLevelTable& t, const TLevelRecord&) {
        return t.LevelUnit.rfind("db", 0) == 0 ? std::string()
                                               : "a response needs its levels in dB";
    });
    TResponseCurve curve;
    curve.Name = path;
    const std::vector<double>* coherence = nullptr;
    for (const TExtraColumn& extra : table.Extra)
        if (extra.Name == "coherence")
            coherence = &extra.Values;
    for (std::size_t i = 0; i < table.Records.size(); ++i) {
        const TLevelRecord& r = table.Records[i];
        curve.FrequencyHz.push_back(r.FrequencyHz);
        curve.MagnitudeDb.push_back(r.Level);
        curve.PhaseDeg.push_back(r.PhaseDeg.value_or(0.0));
        curve.Coherence.push_back(coherence != nullptr ? (*coherence)[i]
                                                       : std::numeric_limits<double>::quiet_NaN());
    }
    return curve;
}
