// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's loudness meter (--loudness): LUFS, loudness range, true and sample peak.
#include "measure/LoudnessAddOn.h"

#include "files/TextNumbers.h"

#include <cmath>
#include <vector>

namespace {

constexpr int kDecimals = 2;

struct TField {
    const char* Name;
    const char* Label; // in the text
    const char* Unit;
    double Value;
    bool Final; // only in the final line of JSON
};

std::vector<TField> Fields(const TLoudnessReadings& r) {
    return {{"lufs_m", "M", "LUFS", r.MomentaryLufs, false},
            {"lufs_s", "S", "LUFS", r.ShortTermLufs, false},
            {"lufs_m_max", "M max", "LUFS", r.MomentaryMaxLufs, true},
            {"lufs_s_max", "S max", "LUFS", r.ShortTermMaxLufs, true},
            {"lufs_i", "I", "LUFS", r.IntegratedLufs, true},
            {"lra_lu", "LRA", "LU", r.RangeLu, true},
            {"true_peak_dbtp", "true peak", "dBTP", r.TruePeakDbtp, true},
            {"sample_peak_dbfs", "sample peak", "dBFS", r.SamplePeakDbfs, true}};
}

} // namespace

TLoudnessAddOn::TLoudnessAddOn(const TMeasureOptions& options) {
    const int channel = options.Channel;
    Meter_.Channel = [channel] { return channel; };
}

// Block lines take the integrated loudness and range at most a second old (see Readings).
void TLoudnessAddOn::AddJson(TReportLine& line, bool final) const {
    for (const TField& f : Fields(Meter_.Readings(final ? 0 : 10)))
        if (final || !f.Final)
            line[f.Name] = ReportNumber(f.Value, kDecimals);
}

std::vector<std::string> TLoudnessAddOn::CsvColumns() const {
    std::vector<std::string> columns;
    for (const TField& f : Fields(Meter_.Readings()))
        columns.emplace_back(f.Name);
    return columns;
}

std::vector<std::string> TLoudnessAddOn::CsvValues(bool final) const {
    std::vector<std::string> values;
    for (const TField& f : Fields(Meter_.Readings(final ? 0 : 10)))
        values.push_back(std::isfinite(f.Value) ? FormatFixed(f.Value, 0, kDecimals)
                                                : std::string());
    return values;
}

std::string TLoudnessAddOn::Text(bool final) const {
    const TLoudnessReadings r = Meter_.Readings(final ? 0 : 10);
    std::string text = final ? "\nLoudness:" : "";
    for (const TField& f : Fields(r)) {
        if (final || !f.Final)
            text += std::string("  ") + f.Label + " " +
                    (std::isfinite(f.Value) ? FormatFixed(f.Value, 0, kDecimals) : "-") + " " +
                    f.Unit;
    }
    return text;
}
