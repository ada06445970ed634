// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's sound level meter (--slm): LxF, LxS, LxEQ, LxFmax, LxFmin, LCpeak.
#include "measure/SoundLevelAddOn.h"

#include "files/TextNumbers.h"

#include <cctype>
#include <cmath>
#include <utility>
#include <vector>

namespace {

constexpr int kDecimals = 2;

// Field suffixes after "L" and the letter, and the readings they show.
std::vector<std::pair<std::string, double>> Fields(const TSoundLevelReadings& r) {
    const std::string x(1, r.Letter);
    return {{"L" + x + "F", r.FastDb},   {"L" + x + "S", r.SlowDb},   {"L" + x + "eq", r.LeqDb},
            {"L" + x + "Fmax", r.MaxDb}, {"L" + x + "Fmin", r.MinDb}, {"LCpeak", r.CPeakDb}};
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

TSoundLevelAddOn::TSoundLevelAddOn(const TMeasureOptions& options) {
    const int channel = options.Channel;
    Meter_.Channel = [channel] { return channel; };
    const std::optional<double> spl = options.SplSensitivityDb;
    Meter_.SplSensitivity = [spl] { return spl; };
    Meter_.SetWeighting(options.Weighting == 4   ? TAudioWeighting::C
                        : options.Weighting == 5 ? TAudioWeighting::Z
                                                 : TAudioWeighting::A);
}

void TSoundLevelAddOn::AddJson(TReportLine& line, bool /*final*/) const {
    for (const auto& [name, value] : Fields(Meter_.Readings()))
        line[Lower(name)] = ReportNumber(value, kDecimals);
}

std::vector<std::string> TSoundLevelAddOn::CsvColumns() const {
    std::vector<std::string> columns;
    for (const auto& field : Fields(Meter_.Readings()))
        columns.push_back(Lower(field.first));
    return columns;
}

std::vector<std::string> TSoundLevelAddOn::CsvValues(bool /*final*/) const {
    std::vector<std::string> values;
    for (const auto& field : Fields(Meter_.Readings()))
        values.push_back(std::isfinite(field.second) ? FormatFixed(field.second, 0, kDecimals)
                                                     : std::string());
    return values;
}

std::string TSoundLevelAddOn::Text(bool final) const {
    if (!final)
        return {};
    const TSoundLevelReadings r = Meter_.Readings();
    std::string text =
        "\nSound level, " + std::string(r.Spl ? "dB SPL" : "dB re a full-scale sine") + ":";
    for (const auto& [name, value] : Fields(r))
        text += "  " + name + " " + (std::isfinite(value) ? FormatFixed(value, 0, kDecimals) : "-");
    return text;
}
