// SPDX-License-Identifier: GPL-3.0-or-later
// The fractional-octave readings as a CSV file.
//
// The lines are composed here for now; when the program's shared CSV writer is in, this file
// hands it the header and the rows instead, and the callers stay as they are.
#include "analysis/OctaveCsv.h"

#include "files/AtomicFile.h"
#include "files/TextNumbers.h"

namespace {

std::string Field(double value, int decimals) {
    return FormatFixed(value, 0, decimals);
}

} // namespace

std::string ComposeOctaveCsv(const TOctaveReadings& readings, double offsetDb) {
    std::string text = "center_hz,lo_hz,hi_hz,level_db,peak_db,leq_db,resolved\r\n";
    for (const TOctaveBandReading& b : readings.Bands) {
        text += Field(b.Band.CenterHz, 3) + "," + Field(b.Band.LoHz, 3) + "," +
                Field(b.Band.HiHz, 3) + ",";
        if (b.Resolved)
            text += Field(b.LevelDb + offsetDb, 2) + "," + Field(b.PeakDb + offsetDb, 2) + "," +
                    Field(b.LeqDb + offsetDb, 2) + ",1\r\n";
        else
            text += ",,,0\r\n";
    }
    return text;
}

void WriteOctaveCsv(const std::string& path, const TOctaveReadings& readings, double offsetDb) {
    WriteFileAtomically(path, ComposeOctaveCsv(readings, offsetDb));
}
