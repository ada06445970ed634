// SPDX-License-Identifier: GPL-3.0-or-later
// The fractional-octave readings as a CSV file.
#pragma once

#include "analysis/OctaveAnalyser.h"

#include <string>

// The readings as CSV text: the header line
//   center_hz,lo_hz,hi_hz,level_db,peak_db,leq_db,resolved
// then one line per band, frequencies with 3 decimals, levels with 2 plus `offsetDb` (the
// display's calibration), "." decimals whatever the locale, lines ending in CR LF; a band that
// is not resolved has its levels empty and resolved 0.
std::string ComposeOctaveCsv(const TOctaveReadings& readings, double offsetDb = 0.0);

// Writes ComposeOctaveCsv to `path` through the atomic writer (EFileWriteError on failure; an
// old file stays whole).
void WriteOctaveCsv(const std::string& path, const TOctaveReadings& readings,
                    double offsetDb = 0.0);
