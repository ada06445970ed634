// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure's distortion readings (--distortion): JSON fields, CSV columns and text.
#pragma once

#include "analysis/DistortionConsumer.h"
#include "measure/MeasureAddOn.h"

// The distortion analyser of a run, set up from the options (--harmonics, --dist-band,
// --averages, --imd, --imd-tones). Coherent whenever the run's generator plays (--generator).
class TDistortionAddOn final : public TMeasureAddOn {
public:
    explicit TDistortionAddOn(const TMeasureOptions& options);

    TBlockConsumer& Consumer() override { return consumer_; }
    // fundamental_hz, fundamental_db, thd_db, thd_pct, thdn_db, thdn_pct, sinad_db, snr_db,
    // enob_bits, sfdr_db, sfdr_hz, harmonics [{order, hz, dbc}], with --imd imd_db and imd_pct;
    // then distortion_mode ("coherent" or "free"), averages (blocks in the average) and
    // distortion_problem (why the readings are null; empty when they are not).
    void AddJson(TReportLine& line, bool final) const override;
    // The same numbers, harmonics as h2_dbc .. hK_dbc (empty when above the band).
    std::vector<std::string> CsvColumns() const override;
    std::vector<std::string> CsvValues(bool final) const override;
    // "  THD+N -98.31 dB (0.00122 %)  THD ...", or the problem.
    std::string Text(bool final) const override;

private:
    const TDistortionReadings& Readings() const { return consumer_.Analyser().Readings(); }

    mutable TDistortionConsumer consumer_; // its readings are computed when asked for
    int harmonics_;
    bool imd_;
};
