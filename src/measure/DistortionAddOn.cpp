// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's distortion readings in its JSON, CSV and text lines.
#include "measure/DistortionAddOn.h"

#include <charconv>
#include <cmath>

namespace {

constexpr int DbDecimals = 4;
constexpr int PctDecimals = 10;
constexpr int HzDecimals = 4;

// x with `decimals` digits after ".", whatever the locale; empty when not finite.
std::string Fixed(double x, int decimals) {
    if (!std::isfinite(x))
        return {};
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

// x in the shortest form of `digits` significant digits, whatever the locale.
std::string General(double x, int digits) {
    if (!std::isfinite(x))
        return "-";
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::general, digits);
    return ec == std::errc() ? std::string(buffer, end) : std::string("-");
}

// The readings' numbers as the lines give them: name, value, decimals.
struct TField {
    const char* Name;
    double Value;
    int Decimals;
};

std::vector<TField> Fields(const TDistortionReadings& r, bool imd) {
    const bool v = r.Valid;
    const auto value = [v](double x) { return v ? x : TDistortionReadings::None; };
    std::vector<TField> fields = {
        {"fundamental_hz", value(r.FundamentalHz), HzDecimals},
        {"fundamental_db", value(r.FundamentalDb), DbDecimals},
        {"thd_db", value(r.ThdDb), DbDecimals},
        {"thd_pct", value(r.ThdPct), PctDecimals},
        {"thdn_db", value(r.ThdnDb), DbDecimals},
        {"thdn_pct", value(r.ThdnPct), PctDecimals},
        {"sinad_db", value(r.SinadDb), DbDecimals},
        {"snr_db", value(r.SnrDb), DbDecimals},
        {"enob_bits", value(r.EnobBits), DbDecimals},
        {"sfdr_db", value(r.SfdrDb), DbDecimals},
        {"sfdr_hz", value(r.SfdrHz), HzDecimals},
    };
    if (imd) {
        fields.push_back({"imd_db", value(r.ImdDb), DbDecimals});
        fields.push_back({"imd_pct", value(r.ImdPct), PctDecimals});
    }
    return fields;
}

// The settings of the options.
TDistortionSettings SettingsOf(const TMeasureOptions& o) {
    TDistortionSettings s;
    s.Harmonics = o.Harmonics;
    s.BandLowHz = o.DistBandLow.value_or(s.BandLowHz);
    s.BandHighHz = o.DistBandHigh.value_or(s.BandHighHz);
    s.Averages = o.Averages;
    s.Imd = static_cast<TImdKind>(o.Imd);
    s.Tones = DefaultTwoTones(s.Imd);
    s.Tones.F1Hz = o.ImdF1.value_or(s.Tones.F1Hz);
    s.Tones.F2Hz = o.ImdF2.value_or(s.Tones.F2Hz);
    s.Tones.Ratio = o.ImdRatio.value_or(s.Tones.Ratio);
    return s;
}

} // namespace

TDistortionAddOn::TDistortionAddOn(const TMeasureOptions& options)
    : harmonics_(options.Harmonics), imd_(options.Imd != 0) {
    consumer_.Analyser().SetSettings(SettingsOf(options));
    consumer_.SetActive(true);
}

void TDistortionAddOn::AddJson(TReportLine& line, bool /*final*/) const {
    const TDistortionReadings& r = Readings();
    for (const TField& f : Fields(r, false))
        line[f.Name] = ReportNumber(f.Value, f.Decimals);
    TReportLine harmonics = TReportLine::array();
    if (r.Valid)
        for (const THarmonicReading& h : r.Harmonics) {
            TReportLine harmonic;
            harmonic["order"] = h.Order;
            harmonic["hz"] = ReportNumber(h.Hz, HzDecimals);
            harmonic["dbc"] = ReportNumber(h.Dbc, DbDecimals);
            harmonics.push_back(harmonic);
        }
    line["harmonics"] = harmonics;
    if (imd_)
        for (const TField& f : Fields(r, true))
            if (std::string(f.Name).rfind("imd_", 0) == 0)
                line[f.Name] = ReportNumber(f.Value, f.Decimals);
    line["distortion_mode"] = r.Coherent ? "coherent" : "free";
    line["averages"] = r.Averaged;
    line["distortion_problem"] = r.Problem;
}

std::vector<std::string> TDistortionAddOn::CsvColumns() const {
    std::vector<std::string> columns;
    for (const TField& f : Fields({}, imd_))
        columns.emplace_back(f.Name);
    for (int k = 2; k <= harmonics_; ++k)
        columns.push_back("h" + std::to_string(k) + "_dbc");
    columns.insert(columns.end(), {"distortion_mode", "averages", "distortion_problem"});
    return columns;
}

std::vector<std::string> TDistortionAddOn::CsvValues(bool /*final*/) const {
    const TDistortionReadings& r = Readings();
    std::vector<std::string> values;
    for (const TField& f : Fields(r, imd_))
        values.push_back(Fixed(f.Value, f.Decimals));
    for (int k = 2; k <= harmonics_; ++k) {
        const auto i = static_cast<std::size_t>(k - 2);
        values.push_back(r.Valid && i < r.Harmonics.size() ? Fixed(r.Harmonics[i].Dbc, DbDecimals)
                                                           : std::string());
    }
    values.push_back(r.Coherent ? "coherent" : "free");
    values.push_back(std::to_string(r.Averaged));
    values.push_back("\"" + r.Problem + "\"");
    return values;
}

std::string TDistortionAddOn::Text(bool /*final*/) const {
    const TDistortionReadings& r = Readings();
    if (!r.Valid)
        return "  distortion: " + r.Problem;
    std::string text = "  THD+N " + Fixed(r.ThdnDb, 2) + " dB (" + General(r.ThdnPct, 3) +
                       " %)  THD " + Fixed(r.ThdDb, 2) + " dB (" + General(r.ThdPct, 3) +
                       " %)  SINAD " + Fixed(r.SinadDb, 2) + " dB  SNR " + Fixed(r.SnrDb, 2) +
                       " dB  ENOB " + Fixed(r.EnobBits, 2) + "  SFDR " + Fixed(r.SfdrDb, 2) +
                       " dB  f0 " + Fixed(r.FundamentalHz, 2) + " Hz";
    if (imd_)
        text += "  IMD " + Fixed(r.ImdDb, 2) + " dB (" + General(r.ImdPct, 3) + " %)";
    return text + (r.Coherent ? "  [coherent, " : "  [free, ") + std::to_string(r.Averaged) +
           " averaged]";
}
