// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: reads arbitrary bytes as a CSV or FRD file and as any trace file, checks what
// the readers promise, and that what the writers make of a table reads back to the same text.
#include "files/LevelFile.h"
#include "files/TraceFile.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

void CheckTable(const TLevelTable& table) {
    Require(!table.Records.empty() && table.Records.size() <= MaxLevelRecords);
    const bool phase = table.HasPhase();
    for (std::size_t i = 0; i < table.Records.size(); ++i) {
        const TLevelRecord& record = table.Records[i];
        Require(std::isfinite(record.FrequencyHz) && record.FrequencyHz >= 0.0);
        Require(std::isfinite(record.Level));
        Require(record.PhaseDeg.has_value() == phase);
        Require(!record.PhaseDeg || std::isfinite(*record.PhaseDeg));
        Require(i == 0 || record.FrequencyHz > table.Records[i - 1].FrequencyHz);
    }
    Require(2 + (phase ? 1 : 0) + table.Extra.size() <= MaxLevelColumns);
    for (const TExtraColumn& column : table.Extra)
        Require(column.Values.size() == table.Records.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    try {
        const TLevelTable table = ReadLevelText(text, "fuzz.csv");
        CheckTable(table);
        // Written, read and written again: the same text (the written precision is stable).
        const std::string csv = LevelCsvText(table);
        const TLevelTable fromCsv = ReadLevelText(csv, "again.csv");
        CheckTable(fromCsv);
        Require(fromCsv.Records.size() == table.Records.size());
        Require(LevelCsvText(fromCsv) == csv);
        const std::string frd = LevelFrdText(table);
        const TLevelTable fromFrd = ReadLevelText(frd, "again.frd");
        Require(fromFrd.Records.size() == table.Records.size());
        Require(LevelFrdText(fromFrd) == frd);
    } catch (const ELevelFileError& error) {
        Require(std::string_view(error.what()).find("fuzz.csv") != std::string_view::npos);
    }

    const TTouchstoneRead read = ReadTraceText(text, "fuzz.txt");
    Require(read.Exists);
    Require(read.Apply == !read.Records.empty());
    if (!read.Apply)
        Require(!read.Messages.empty());
    for (const TTraceRecord& record : read.Records)
        Require(std::isfinite(record.Frequency) && std::isfinite(record.Magnitude));
    return 0;
}
