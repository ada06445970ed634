// SPDX-License-Identifier: GPL-3.0-or-later
// The spectrum saved as CSV and FRD in the display's unit, and the round trip through a memory.
#include "core/SpectrumFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Folder {
    fs::path path = fs::temp_directory_path() / "ps-spectrum-files-test";
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
};

// Display points of a 1024-point spectrum at 48 kHz, magnitudes from 1 down to 1e-7.
std::vector<TSpectrumPoint> Points() {
    std::vector<TSpectrumPoint> points(512);
    for (std::size_t i = 0; i < points.size(); ++i)
        points[i] = {i * 46.875, std::pow(10.0, -7.0 * static_cast<double>(i) / 511.0)};
    return points;
}

const struct Unit {
    bool calibrated;
    int units; // CUnits: 0 dB, 1 Vpp, 2 Veff
    const char* csvHeader;
    const char* frdNote;
} Units[] = {
    {false, 1, "frequency_hz,level_dbfs", "* Level in dBFS: dB re a full-scale sine"},
    {true, 0, "frequency_hz,level_dbm", "* Level in dBm: dB re 1 mW into 50 Ohms (calibrated)"},
    {true, 1, "frequency_hz,level_vpp", "* Level in dBm"},
    {true, 2, "frequency_hz,level_veff", "* Level in dBm"},
};

MeasurementState StateFor(const Unit& unit) {
    MeasurementState state;
    state.DisplayPoints = Points();
    state.Calibrated = unit.calibrated;
    state.Controls.CUnits = unit.units;
    state.RefLevel = unit.calibrated ? -13.0103 : 0.0; // full scale reads 1 Veff when calibrated
    state.YOffset = unit.calibrated ? 0.0 : 3.0;
    return state;
}

TEST(SpectrumFiles, SpectrumToFileToMemoryToFileGivesTheSameNumbers) {
    Folder folder;
    for (const Unit& unit : Units) {
        for (const TTraceFileFormat format : {TTraceFileFormat::tfCsv, TTraceFileFormat::tfFrd}) {
            SCOPED_TRACE(std::string(unit.csvHeader) + TraceFileExtension(format));
            const MeasurementState state = StateFor(unit);
            const fs::path first =
                folder.path / (std::string("first") + TraceFileExtension(format));
            const fs::path second =
                folder.path / (std::string("again") + TraceFileExtension(format));
            WriteSpectrumAs(first.string(), format, state);
            const std::string text = Slurp(first);
            EXPECT_EQ(text.find(format == TTraceFileFormat::tfCsv ? unit.csvHeader : unit.frdNote),
                      format == TTraceFileFormat::tfCsv ? 0u : 37u);

            // "File => Mem", then the memory saved in the same unit: the same text.
            const TTouchstoneRead read = ReadTraceFile(first.string());
            ASSERT_TRUE(read.Apply);
            ASSERT_EQ(read.Records.size(), 511u); // no 0 Hz record
            std::vector<TSpectrumPoint> memory;
            for (const TTraceRecord& record : read.Records)
                memory.push_back({record.Frequency, record.Magnitude});
            WriteMemoryAs(second.string(), format, memory, state);
            EXPECT_EQ(Slurp(second), text);
        }
    }
}

TEST(SpectrumFiles, LevelsInTheDisplaysUnit) {
    // Magnitude 0.5 of full scale: -6.0206 dB; calibrated so that full scale is 13.0103 dBm,
    // i.e. 1 Veff into 50 Ohms (P = V^2 / R = 20 mW): 0.5 Veff, 1.41421356 Vpp.
    const struct {
        Unit unit;
        double level;
    } cases[] = {{Units[0], -3.0206}, // YOffset 3 dB
                 {Units[1], 13.0103 - 6.0206},
                 {Units[2], 0.5 * std::sqrt(8.0)},
                 {Units[3], 0.5}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit.csvHeader);
        MeasurementState state = StateFor(c.unit);
        state.DisplayPoints = {{0, 1}, {1000, 0.5}};
        const TLevelTable csv = DisplayLevelTable(
            state.DisplayPoints, 1, state.YOffset - state.RefLevel, state, TLevelFileFormat::lfCsv);
        ASSERT_EQ(csv.Records.size(), 1u);
        EXPECT_NEAR(csv.Records[0].Level, c.level, 1e-4 * std::abs(c.level));
        EXPECT_FALSE(csv.Records[0].PhaseDeg);
    }
}

} // namespace
