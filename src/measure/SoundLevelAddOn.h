// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's sound level meter (--slm): LxF, LxS, LxEQ, LxFmax, LxFmin, LCpeak.
#pragma once

#include "analysis/SoundLevelMeter.h"
#include "measure/MeasureAddOn.h"

#include <string>

// Feeds a TSoundLevelMeter with the run's samples (the options' channel) and reports its
// readings under lower-case names with the weighting's letter ("laf", "las", "laeq", "lafmax",
// "lafmin", "lcpeak"; --weighting c gives "lcf" ..., z "lzf" ...; other weightings A), in dB
// re a full-scale sine or, with --spl-sensitivity, dB SPL. Every line carries the readings so
// far. One thread.
class TSoundLevelAddOn final : public TMeasureAddOn {
public:
    explicit TSoundLevelAddOn(const TMeasureOptions& options);

    TBlockConsumer& Consumer() override { return Meter_; }
    void AddJson(TReportLine& line, bool final) const override;
    std::vector<std::string> CsvColumns() const override;
    std::vector<std::string> CsvValues(bool final) const override;
    // After the final line: the readings with their names ("LAeq -23.01 dB").
    std::string Text(bool final) const override;

private:
    TSoundLevelMeter Meter_;
};
