// SPDX-License-Identifier: GPL-3.0-or-later
// Writers of the spectrum and memory traces in the display's unit and the chosen file format.
#include "core/SpectrumFiles.h"

#include "core/LevelMeters.h"
#include "core/LevelUnits.h"
#include "files/Touchstone.h"

#include <algorithm>
#include <cmath>

namespace {

TTrace ToTrace(std::span<const TSpectrumPoint> points) {
    TTrace trace(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        trace[i] = {points[i].x, points[i].y};
    return trace;
}

TLevelFileFormat LevelFormat(TTraceFileFormat format) {
    return format == TTraceFileFormat::tfCsv ? TLevelFileFormat::lfCsv : TLevelFileFormat::lfFrd;
}

// The FRD note that names the level's unit.
std::string LevelNote(const std::string& unit) {
    if (unit == "dbm")
        return "Level in dBm: dB re 1 mW into 50 Ohms (calibrated)";
    if (unit == "dbu")
        return "Level in dBu: dB re 0.775 V rms (calibrated)";
    if (unit == "dbv")
        return "Level in dBV: dB re 1 V rms (calibrated)";
    if (unit == "dbspl")
        return "Level in dB SPL: dB re 20 uPa (calibrated)";
    return "Level in dBFS: dB re a full-scale sine";
}

} // namespace

std::string DisplayLevelUnit(const MeasurementState& state, bool dbOnly) {
    switch (EffectiveUnit(state.Controls.CUnits, UnitReferenceOf(state))) {
    case luDbfs:
        return "dbfs";
    case luDbu:
        return "dbu";
    case luDbv:
        return "dbv";
    case luVrms:
        return dbOnly ? "dbv" : "vrms";
    case luSpl:
        return "dbspl";
    default:
        break;
    }
    if (!state.Calibrated)
        return "dbfs";
    if (dbOnly)
        return "dbm";
    switch (state.Controls.CUnits) {
    case 1:
        return "vpp";
    case 2:
        return "veff";
    default:
        return "dbm";
    }
}

TLevelTable DisplayLevelTable(std::span<const TSpectrumPoint> points, std::size_t first,
                              double offsetDb, const MeasurementState& state,
                              TLevelFileFormat format) {
    TLevelTable table;
    table.Format = format;
    table.LevelUnit = DisplayLevelUnit(state, format == TLevelFileFormat::lfFrd);
    if (format == TLevelFileFormat::lfFrd)
        table.Notes.push_back(LevelNote(table.LevelUnit));
    const std::size_t count = points.size() > first ? points.size() - first : 0;
    table.Records.resize(std::min(count, MaxLevelRecords));
    for (std::size_t i = 0; i < table.Records.size(); ++i) {
        const TSpectrumPoint& point = points[first + i];
        const double db = 20.0 * std::log10(std::max(1e-100, point.y)) + offsetDb;
        double level = db;
        if (table.LevelUnit == "vpp")
            level = DbmToVpp(db);
        else if (table.LevelUnit == "veff")
            level = DbmToVeff(db);
        else if (table.LevelUnit == "vrms")
            level = std::pow(10.0, db / 20.0); // db is dBV here
        table.Records[i] = {point.x, level, std::nullopt};
    }
    return table;
}

void WriteSpectrumAs(const std::string& path, TTraceFileFormat format,
                     const MeasurementState& state) {
    if (format == TTraceFileFormat::tfTouchstone) {
        WriteSpectrumFile(path, ToTrace(state.DisplayPoints), state.RefLevel, state.YOffset);
        return;
    }
    WriteLevelFile(path,
                   DisplayLevelTable(state.DisplayPoints, 1, state.YOffset - DisplayRefLevel(state),
                                     state, LevelFormat(format)),
                   LevelFormat(format));
}

void WriteMemoryAs(const std::string& path, TTraceFileFormat format,
                   std::span<const TSpectrumPoint> memory, const MeasurementState& state) {
    if (format == TTraceFileFormat::tfTouchstone) {
        WriteMemoryFile(path, ToTrace(memory));
        return;
    }
    WriteLevelFile(path, DisplayLevelTable(memory, 0, 0.0, state, LevelFormat(format)),
                   LevelFormat(format));
}
