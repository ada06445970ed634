// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the spectrum and the memory traces in the display's unit, as Touchstone, CSV or FRD.
#pragma once

#include "core/MeasurementState.h"
#include "files/LevelFile.h"
#include "files/TraceFile.h"

#include <cstddef>
#include <span>
#include <string>

// The unit levels are written in, as the display shows them: "dbfs" (dB re a full-scale sine)
// until the level is calibrated; then, by CUnits, "dbm" (dB re 1 mW into 50 Ohms), "vpp" or
// "veff" (peak-peak or RMS volts of that sine). With dbOnly, volts give way to "dbm". The units
// referred to a full-scale sine give "dbfs", "dbu", "dbv", "vrms" ("dbv" with dbOnly) and
// "dbspl" (of the effective unit, see EffectiveUnit).
std::string DisplayLevelUnit(const MeasurementState& state, bool dbOnly);

// The records of `points` from index `first` as a CSV or FRD table: frequency in Hz and the level
// L = 20 log10(max(1e-100, a)) + offsetDb in dB, written in the display's unit (CSV; volts by
// DbmToVpp / DbmToVeff of L, 10^(L / 20) for "vrms") or in dB (FRD, with a note naming the unit).
TLevelTable DisplayLevelTable(std::span<const TSpectrumPoint> points, std::size_t first,
                              double offsetDb, const MeasurementState& state,
                              TLevelFileFormat format);

// "Save Data to File": the display points from index 1 (the 0 Hz record is left out) at the
// level as displayed, 20 log10(max(1e-100, a)) - DisplayRefLevel + YOffset; Touchstone as
// WriteSpectrumFile writes it, CSV in the display's unit, FRD in dB. EFileWriteError on failure,
// the old file then unchanged.
void WriteSpectrumAs(const std::string& path, TTraceFileFormat format,
                     const MeasurementState& state);
// A memory trace, all its records; memories hold calibrated magnitudes, so the level is
// 20 log10(max(1e-100, a)); Touchstone as WriteMemoryFile writes it.
void WriteMemoryAs(const std::string& path, TTraceFileFormat format,
                   std::span<const TSpectrumPoint> memory, const MeasurementState& state);
