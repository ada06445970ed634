// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's frequency response (--response): JSON fields, CSV columns, text and the
// response file.
#pragma once

#include "analysis/ResponseConsumer.h"
#include "measure/MeasureAddOn.h"

// The response analyser of a run, set up from the options (--reference, --averages,
// --smoothing, --save-response; a rectangular window while --stimulus plays the periodic noise,
// whose period is the run's N).
class TResponseAddOn final : public TMeasureAddOn {
public:
    explicit TResponseAddOn(const TMeasureOptions& options);

    TBlockConsumer& Consumer() override { return consumer_; }
    // delay_samples, delay_ms, coherence_mean (over 20 Hz ... 20 kHz, at most half the rate),
    // response_points (points of the response and of its file), response_averages and
    // response_problem (why the readings are null; empty when they are not).
    void AddJson(TReportLine& line, bool final) const override;
    std::vector<std::string> CsvColumns() const override;
    std::vector<std::string> CsvValues(bool final) const override;
    // "  delay 37.000 samples (0.771 ms)  coherence 0.9990  [16 averaged]", or the problem.
    std::string Text(bool final) const override;
    // Writes --save-response.
    void Finish() override;

private:
    const TResponseReadings& Readings() const { return consumer_.Analyser().Readings(); }

    mutable TResponseConsumer consumer_; // its readings are computed when asked for
    std::string savePath_;
};
