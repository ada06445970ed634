// SPDX-License-Identifier: GPL-3.0-or-later
// Responses as frequency-level tables: to and from the CSV and FRD files.
#pragma once

#include "analysis/ResponseAnalyser.h"
#include "files/LevelFile.h"

#include <string>

// One response as a memory keeps it: per point the frequency in Hz, the magnitude in dB, the
// phase in degrees (-180 ... 180) and the coherence (NaN when unknown, as in a file without it).
struct TResponseCurve {
    std::vector<double> FrequencyHz;
    std::vector<double> MagnitudeDb;
    std::vector<double> PhaseDeg;
    std::vector<double> Coherence;
    std::string Name; // where it came from: a file name, or empty
};

// The shown curves of valid readings (empty when not valid).
TResponseCurve CurveOfReadings(const TResponseReadings& readings);

// The table of a curve: level unit "db", the phase, and "coherence" as an extra column when every
// point has one. Points whose magnitude is not finite are left out.
TLevelTable ResponseTable(const TResponseCurve& curve);

// Writes the curve: CSV (frequency_hz, level_db, phase_deg, coherence) when the name ends in
// ".csv" (any case), else FRD (frequency, dB, degrees), through the atomic writer
// (EFileWriteError on failure, an old file unchanged).
void WriteResponseFile(const std::string& path, const TResponseCurve& curve);

// Reads a CSV or FRD file as a curve (ELevelFileError for a file that cannot serve, naming it
// and the line): levels must be in dB; a file without phases reads as phase 0, without a
// "coherence" column as coherence NaN.
TResponseCurve ReadResponseFile(const std::string& path);
