// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's fractional-octave bands (--octave B): band Leq over the run.
#pragma once

#include "analysis/OctaveAnalyser.h"
#include "measure/MeasureAddOn.h"

// Feeds a TOctaveAnalyser of 1/B octave with the run's blocks (the window kind of the options)
// and reports each band's level averaged over the run by power (Leq), in dB re a full-scale
// sine; a band narrower than two bins at the run's N is reported with "db" null and "resolved"
// false. The band list is fixed by B and the run's sample rate. One thread.
class TOctaveAddOn final : public TMeasureAddOn {
public:
    TOctaveAddOn(const TMeasureOptions& options, int sampleRateHz);

    TBlockConsumer& Consumer() override { return Analyser_; }
    // Final line: "bands": [{"center_hz", "lo_hz", "hi_hz", "db", "resolved"}, ...].
    void AddJson(TReportLine& line, bool final) const override;
    // One column per band, "band_<mid-band Hz>_db": the Leq so far, empty when not resolved.
    std::vector<std::string> CsvColumns() const override;
    std::vector<std::string> CsvValues(bool final) const override;
    // After the final line: a table of the bands and their Leq.
    std::string Text(bool final) const override;

private:
    TOctaveAnalyser Analyser_;
};
