// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's fractional-octave bands (--octave B): band Leq over the run.
#include "measure/OctaveAddOn.h"

#include "files/TextNumbers.h"

namespace {

// Mid-band frequency in a column name: whole Hz from 100 Hz on, else one decimal.
std::string CenterText(double hz) {
    return FormatFixed(hz, 0, hz >= 100.0 ? 0 : 1);
}

} // namespace

TOctaveAddOn::TOctaveAddOn(const TMeasureOptions& options, int sampleRateHz) {
    const int kind = options.WindowKind;
    Analyser_.WindowKind = [kind] { return kind; };
    Analyser_.SetFraction(options.Octave.value_or(3));
    Analyser_.Prepare(sampleRateHz, options.Length);
}

void TOctaveAddOn::AddJson(TReportLine& line, bool final) const {
    if (!final)
        return;
    TReportLine bands = TReportLine::array();
    for (const TOctaveBandReading& b : Analyser_.Readings().Bands) {
        TReportLine band;
        band["center_hz"] = ReportNumber(b.Band.CenterHz, 3);
        band["lo_hz"] = ReportNumber(b.Band.LoHz, 3);
        band["hi_hz"] = ReportNumber(b.Band.HiHz, 3);
        band["db"] = b.Resolved ? ReportNumber(b.LeqDb, 3) : TReportLine(nullptr);
        band["resolved"] = b.Resolved;
        bands.push_back(std::move(band));
    }
    line["bands"] = std::move(bands);
}

std::vector<std::string> TOctaveAddOn::CsvColumns() const {
    std::vector<std::string> columns;
    for (const TOctaveBandReading& b : Analyser_.Readings().Bands)
        columns.push_back("band_" + CenterText(b.Band.CenterHz) + "_db");
    return columns;
}

std::vector<std::string> TOctaveAddOn::CsvValues(bool /*final*/) const {
    std::vector<std::string> values;
    for (const TOctaveBandReading& b : Analyser_.Readings().Bands)
        values.push_back(b.Resolved ? FormatFixed(b.LeqDb, 0, 3) : std::string());
    return values;
}

std::string TOctaveAddOn::Text(bool final) const {
    if (!final)
        return {};
    const TOctaveReadings r = Analyser_.Readings();
    std::string text = "\n1/" + std::to_string(r.Fraction) +
                       " octave bands, Leq over the run, dB re a full-scale sine:";
    for (const TOctaveBandReading& b : r.Bands) {
        text += "\n" + FormatFixed(b.Band.CenterHz, 10, 3) + " Hz  (" +
                FormatFixed(b.Band.LoHz, 0, 3) + " .. " + FormatFixed(b.Band.HiHz, 0, 3) + " Hz)  ";
        text += b.Resolved ? FormatFixed(b.LeqDb, 8, 3)
                           : "not resolved (needs --length " +
                                 std::to_string(BandNeedsLength(b.Band, r.SampleRate)) + ")";
    }
    return text;
}
