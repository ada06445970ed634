// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's loudness meter (--loudness): LUFS, loudness range, true and sample peak.
#pragma once

#include "analysis/LoudnessMeter.h"
#include "measure/MeasureAddOn.h"

#include <string>

// Feeds a TLoudnessMeter with the run's samples (one channel when the options' channel is left
// or right, else both). Block lines carry the momentary and short-term loudness ("lufs_m",
// "lufs_s"); the final line adds "lufs_m_max", "lufs_s_max", "lufs_i", "lra_lu",
// "true_peak_dbtp" and "sample_peak_dbfs". One thread.
class TLoudnessAddOn final : public TMeasureAddOn {
public:
    explicit TLoudnessAddOn(const TMeasureOptions& options);

    TBlockConsumer& Consumer() override { return Meter_; }
    void AddJson(TReportLine& line, bool final) const override;
    // Every column on every line: the values so far.
    std::vector<std::string> CsvColumns() const override;
    std::vector<std::string> CsvValues(bool final) const override;
    std::string Text(bool final) const override;

private:
    TLoudnessMeter Meter_;
};
