// SPDX-License-Identifier: GPL-3.0-or-later
// Writers of the spectrum and memory traces in the display's unit and the chosen file format.
#include "core/SpectrumFiles.h"

#include "core/LevelMeters.h"
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

} // namespace

std::string DisplayLevelUnit(const MeasurementState& state, bool dbOnly) {
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
        table.Notes.push_back(table.LevelUnit == "dbm"
                                  ? "Level in dBm: dB re 1 mW into 50 Ohms (calibrated)"
                                  : "Level in dBFS: dB re a full-scale sine");
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
                   DisplayLevelTable(state.DisplayPoints, 1, state.YOffset - state.RefLevel, state,
                                     LevelFormat(format)),
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
