// SPDX-License-Identifier: GPL-3.0-or-later
// Analysers that phonoscale-measure runs beside the meters, and what they add to its output.
#pragma once

#include "analysis/BlockConsumer.h"
#include "measure/MeasureOptions.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

// One output line as JSON, fields in the order they were added.
using TReportLine = nlohmann::ordered_json;

// x rounded to `decimals` digits after the point (printed in the shortest form that reads back
// as that value), or null when x is not finite.
TReportLine ReportNumber(double x, int decimals = 6);

// An analyser fed by the run's pipeline (through its block consumer) whose readings join the
// output lines. Created from the options before the run; used on the run's thread only.
class TMeasureAddOn {
public:
    virtual ~TMeasureAddOn() = default;

    // What the run's pipeline feeds.
    virtual TBlockConsumer& Consumer() = 0;
    // JSON: adds this analyser's fields to a block line (final false) or to the final line.
    virtual void AddJson(TReportLine& line, bool final) const = 0;
    // CSV: the column names (fixed for the run, after the meters' columns) and the values of one
    // line in that order (an empty text leaves the field empty).
    virtual std::vector<std::string> CsvColumns() const = 0;
    virtual std::vector<std::string> CsvValues(bool final) const = 0;
    // Plain text appended to a line ("  THD -80.00 dB"); empty adds nothing.
    virtual std::string Text(bool /*final*/) const { return {}; }
    // After the final line: files the options asked for. Raises on a write error.
    virtual void Finish() {}
};

// The analysers that the options ask for, in a fixed order, for a run at sampleRateHz.
std::vector<std::unique_ptr<TMeasureAddOn>> MakeMeasureAddOns(const TMeasureOptions& options,
                                                              int sampleRateHz);
