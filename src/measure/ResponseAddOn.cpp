// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's frequency response readings in its JSON, CSV and text lines.
#include "measure/ResponseAddOn.h"

#include "analysis/ResponseFile.h"

#include <charconv>
#include <cmath>

namespace {

// x with `decimals` digits after ".", whatever the locale; empty when not finite.
std::string Fixed(double x, int decimals) {
    if (!std::isfinite(x))
        return {};
    char buffer[400];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof(buffer), x, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string();
}

std::size_t Points(const TResponseReadings& r) {
    return r.Valid ? r.FrequencyHz.size() : 0;
}

} // namespace

TResponseAddOn::TResponseAddOn(const TMeasureOptions& options) : savePath_(options.SaveResponse) {
    consumer_.SetReference(static_cast<TResponseReference>(options.Reference));
    TResponseSettings settings;
    settings.Averages = options.AveragesGiven ? options.Averages : 16;
    settings.Smoothing = options.Smoothing;
    settings.Rectangular = options.Stimulus != 0;
    consumer_.Analyser().SetSettings(settings);
    consumer_.SetActive(true);
}

void TResponseAddOn::AddJson(TReportLine& line, bool /*final*/) const {
    const TResponseReadings& r = Readings();
    line["delay_samples"] = ReportNumber(r.DelaySamples, 4);
    line["delay_ms"] = ReportNumber(r.DelayMs, 6);
    line["coherence_mean"] = ReportNumber(r.CoherenceMean, 6);
    line["response_points"] = Points(r);
    line["response_averages"] = r.Averaged;
    line["response_problem"] = r.Problem;
}

std::vector<std::string> TResponseAddOn::CsvColumns() const {
    return {"delay_samples",   "delay_ms",          "coherence_mean",
            "response_points", "response_averages", "response_problem"};
}

std::vector<std::string> TResponseAddOn::CsvValues(bool /*final*/) const {
    const TResponseReadings& r = Readings();
    return {Fixed(r.DelaySamples, 4),  Fixed(r.DelayMs, 6),        Fixed(r.CoherenceMean, 6),
            std::to_string(Points(r)), std::to_string(r.Averaged), "\"" + r.Problem + "\""};
}

std::string TResponseAddOn::Text(bool /*final*/) const {
    const TResponseReadings& r = Readings();
    if (!r.Valid)
        return "  response: " + r.Problem;
    return "  delay " + Fixed(r.DelaySamples, 3) + " samples (" + Fixed(r.DelayMs, 3) +
           " ms)  coherence " + Fixed(r.CoherenceMean, 4) + "  [" + std::to_string(r.Averaged) +
           " averaged]";
}

void TResponseAddOn::Finish() {
    if (savePath_.empty())
        return;
    const TResponseReadings& r = Readings();
    if (!r.Valid)
        throw std::runtime_error("No response to write to " + savePath_ + ": " + r.Problem);
    WriteResponseFile(savePath_, CurveOfReadings(r));
}
