// SPDX-License-Identifier: GPL-3.0-or-later
// CSV and FRD files: the shapes other tools write, bad files, limits, and the bytes we write.
#include "files/AtomicFile.h"
#include "files/LevelFile.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Row {
    double f;
    double level;
    std::optional<double> phase;
};

struct Shape {
    const char* what;
    std::string text;
    TLevelFileFormat format;
    std::string unit;
    std::vector<Row> rows;
    std::vector<std::string> extra = {};
    std::optional<double> sensitivity = std::nullopt;
    std::string sensitivityUnit = "";
};

// Files as spreadsheets, measurement and crossover tools write them, typed by hand.
const std::vector<Shape>& Shapes() {
    static const std::vector<Shape> shapes = {
        {"our CSV",
         "frequency_hz,level_dbfs\n20,-80.5\n1000,-3.25\n",
         TLevelFileFormat::lfCsv,
         "dbfs",
         {{20, -80.5, {}}, {1000, -3.25, {}}}},
        {"CR LF, byte-order mark, phase",
         "\xEF\xBB\xBF"
         "frequency_hz,level_dbm,phase_deg\r\n20,-80.5,10\r\n1000,-3.25,-45.5\r\n",
         TLevelFileFormat::lfCsv,
         "dbm",
         {{20, -80.5, 10}, {1000, -3.25, -45.5}}},
        {"two columns, no header, trailing blanks and tabs",
         "20 -80.5  \n1000 -3.25\t\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, -80.5, {}}, {1000, -3.25, {}}}},
        {"FRD: comments between, a commented header, tabs",
         "* Exported by a measurement tool\n* Freq(Hz)\tSPL(dB)\tPhase(degrees)\n20\t85.1\t-10\n"
         "; a comment between\n\n! another\n1000\t90\t-45\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, 85.1, -10}, {1000, 90, -45}}},
        {"sensitivity line",
         "Sens Factor =-1.2dB\n20 1\n100 2\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, 1, {}}, {100, 2, {}}},
         {},
         -1.2,
         "dB"},
        {"sensitivity behind a comment mark, three columns",
         "* Sensitivity: -38.5 dBV\n20 1 0\n100 2 5\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, 1, 0}, {100, 2, 5}},
         {},
         -38.5,
         "dBV"},
        {"semicolons and decimal commas",
         "Frequency;Level (dB)\n20,5;-80,25\n1000;-3,5;\n",
         TLevelFileFormat::lfCsv,
         "db",
         {{20.5, -80.25, {}}, {1000, -3.5, {}}}},
        {"commas and blanks",
         "20, -80.5, 12\n1000 ,-3.25 , 0\n",
         TLevelFileFormat::lfCsv,
         "db",
         {{20, -80.5, 12}, {1000, -3.25, 0}}},
        {"blanks and decimal commas",
         "20,5 -80,25\n1000 -3,5\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20.5, -80.25, {}}, {1000, -3.5, {}}}},
        {"quoted spreadsheet header, extra column",
         "\"Frequency (Hz)\",\"Level (dBV)\",\"coherence\"\n20,-80,0.9\n40,-70,1\n",
         TLevelFileFormat::lfCsv,
         "dbv",
         {{20, -80, {}}, {40, -70, {}}},
         {"coherence"}},
        {"lone CR line ends, # comments",
         "# made by hand\r20 1\r100 2\r",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, 1, {}}, {100, 2, {}}}},
        {"a title that is no header",
         "Frequency response of the woofer\n20 1 5\n30 2 6\n",
         TLevelFileFormat::lfFrd,
         "db",
         {{20, 1, 5}, {30, 2, 6}}},
        {"the last header counts",
         "Frequency response\nfreq level_vpp\n20 1\n30 2\n",
         TLevelFileFormat::lfFrd,
         "vpp",
         {{20, 1, {}}, {30, 2, {}}}},
        {"blank-separated header with units",
         "Frequency [Hz] Level [dBu]\n+20 .5\n1e3 -.5\n",
         TLevelFileFormat::lfFrd,
         "dbu",
         {{20, 0.5, {}}, {1000, -0.5, {}}}},
    };
    return shapes;
}

TEST(LevelFileRead, ShapesOtherToolsWrite) {
    for (const Shape& shape : Shapes()) {
        SCOPED_TRACE(shape.what);
        const TLevelTable table = ReadLevelText(shape.text, "hand.txt");
        EXPECT_EQ(table.Format, shape.format);
        EXPECT_EQ(table.LevelUnit, shape.unit);
        ASSERT_EQ(table.Records.size(), shape.rows.size());
        for (std::size_t i = 0; i < shape.rows.size(); ++i) {
            EXPECT_DOUBLE_EQ(table.Records[i].FrequencyHz, shape.rows[i].f) << i;
            EXPECT_DOUBLE_EQ(table.Records[i].Level, shape.rows[i].level) << i;
            EXPECT_EQ(table.Records[i].PhaseDeg, shape.rows[i].phase) << i;
        }
        ASSERT_EQ(table.Extra.size(), shape.extra.size());
        for (std::size_t k = 0; k < shape.extra.size(); ++k) {
            EXPECT_EQ(table.Extra[k].Name, shape.extra[k]);
            EXPECT_EQ(table.Extra[k].Values.size(), shape.rows.size());
        }
        ASSERT_EQ(table.Sensitivity.has_value(), shape.sensitivity.has_value());
        if (shape.sensitivity) {
            EXPECT_DOUBLE_EQ(table.Sensitivity->Value, *shape.sensitivity);
            EXPECT_EQ(table.Sensitivity->Unit, shape.sensitivityUnit);
        }
    }
}

TEST(LevelFileRead, BadFilesNameTheFileAndTheLine) {
    const struct {
        std::string text;
        long long line;
        const char* says;
    } cases[] = {
        {"20 1\n10 2\n", 2, "Line 2 of bad.frd: the frequency 10 Hz is not above"},
        {"20 1\n20 2\n", 2, "is not above the one before (20 Hz)"},
        {"* c\n20 1\n30 abc\n", 3, "Line 3 of bad.frd: \"abc\" is not a number."},
        {"", 0, "No frequency and level records found in bad.frd."},
        {"* only\n\ncomments\n", 0, "No frequency and level records found"},
        {"20 1 2\n30 1\n", 2, "Line 2 of bad.frd: 2 columns where line 1 has 3."},
        {"freq,level\n20,1,2\n30,1\n", 3, "2 columns where line 2 has 3."},
        {"frequency_hz,level_db\n20,1\n30,1,4\n", 3,
         "3 columns where the header on line 1 names 2"},
        {"-5 1\n", 1, "the frequency -5 Hz is negative."},
        {"20\n", 1, "a record needs a frequency and a level."},
        {"20,,3\n", 1, "column 2 is empty."},
        {"1 2 3 4 5 6 7 8 9\n", 1, "more than 8 columns."},
        {"1.000,5 3\n", 1, "\"1.000,5\" is not a number."},
        {std::string("\xFF\xFE"
                     "2\0 \0"
                     "1\0",
                     8),
         0, "bad.frd is UTF-16 text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ReadLevelText(c.text, "bad.frd");
            ADD_FAILURE() << "read";
        } catch (const ELevelFileError& error) {
            EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << error.what();
            EXPECT_EQ(error.Line(), c.line);
        }
    }
}

// A source of `lines` generated lines, counting the bytes it hands out.
struct Generated {
    std::size_t bytes = 0;
    TByteSource Source(std::function<std::string(std::size_t)> line, std::size_t lines) {
        return [this, line, lines, k = std::size_t{0},
                pending = std::string()](char* buffer, std::size_t size, int&) mutable {
            std::size_t n = 0;
            while (n < size) {
                if (pending.empty()) {
                    if (k == lines)
                        break;
                    pending = line(k++);
                }
                const std::size_t take = std::min(size - n, pending.size());
                std::memcpy(buffer + n, pending.data(), take);
                pending.erase(0, take);
                n += take;
            }
            bytes += n;
            return n;
        };
    }
};

TEST(LevelFileRead, BoundedWhateverTheSize) {
    // 10^6 records are taken, the next one is refused by its line.
    Generated many;
    try {
        ReadLevelStream(many.Source([](std::size_t k) { return std::to_string(k) + " 0\n"; },
                                    MaxLevelRecords + 1),
                        "many.frd");
        ADD_FAILURE() << "read";
    } catch (const ELevelFileError& error) {
        EXPECT_EQ(error.Line(), 1000001);
        EXPECT_NE(std::string(error.what()).find("more than 1000000 records"), std::string::npos);
    }
    // A 100 MB line is refused after its first MaxLevelLine characters; the rest is never read.
    Generated wide;
    const std::size_t chunk = 1 << 20;
    try {
        ReadLevelStream(
            wide.Source([&](std::size_t k) { return k == 0 ? "20 1\n" : std::string(chunk, '7'); },
                        101),
            "wide.frd");
        ADD_FAILURE() << "read";
    } catch (const ELevelFileError& error) {
        EXPECT_EQ(error.Line(), 2);
        EXPECT_STREQ(error.what(), "Line 2 of wide.frd is longer than 65536 characters.");
    }
    EXPECT_LT(wide.bytes, 4 * chunk);
}

TEST(LevelFileWrite, TheBytesWrittenWhateverTheLocale) {
    TLevelTable table;
    table.LevelUnit = "dbfs";
    table.Records = {{46.875, -3.0103, 12.5}, {100000.5, -120.123456789, -0.0000001}};
    table.Extra = {{"coherence", {0.98765432123, 1}}};
    table.Notes = {"Level in dBFS"};
    const std::string csv = "frequency_hz,level_dbfs,phase_deg,coherence\r\n"
                            "46.875,-3.010300,12.500000,0.987654321\r\n"
                            "100000.5,-120.123457,0.000000,1\r\n";
    const std::string frd = "* Data written by TALVOR Phonoscale\r\n* Level in dBFS\r\n"
                            "* frequency_hz level_dbfs phase_deg\r\n"
                            "46.875 -3.010300 12.500000\r\n100000.5 -120.123457 0.000000\r\n";
    TLevelTable volts;
    volts.LevelUnit = "vpp";
    volts.Records = {{1000, 0.000123456789012, {}}};
    const std::string voltsCsv = "frequency_hz,level_vpp\r\n1000,0.000123456789\r\n";

    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
        if (std::setlocale(LC_ALL, name)) {
            comma = true;
            break;
        }
    const std::string csvDuring = LevelCsvText(table);
    const std::string frdDuring = LevelFrdText(table);
    const std::string voltsDuring = LevelCsvText(volts);
    const TLevelTable back = ReadLevelText(csv, "back.csv");
    std::setlocale(LC_ALL, saved.c_str());
    SCOPED_TRACE(comma ? "comma locale" : "no comma locale installed");
    EXPECT_EQ(csvDuring, csv);
    EXPECT_EQ(frdDuring, frd);
    EXPECT_EQ(voltsDuring, voltsCsv);
    EXPECT_DOUBLE_EQ(back.Records[1].FrequencyHz, 100000.5);
    EXPECT_DOUBLE_EQ(back.Extra[0].Values[0], 0.987654321);

    // Through the atomic writer: a folder that does not exist is a write error.
    const fs::path folder = fs::temp_directory_path() / "ps-level-file-test";
    fs::create_directories(folder);
    WriteLevelFile((folder / "t.frd").string(), table, TLevelFileFormat::lfFrd);
    std::ifstream in(folder / "t.frd", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), frd);
    EXPECT_THROW(
        WriteLevelFile((folder / "none" / "t.csv").string(), table, TLevelFileFormat::lfCsv),
        EFileWriteError);
    fs::remove_all(folder);
}

TEST(LevelFileWrite, WhatIsWrittenReadsBackToTheWrittenPrecision) {
    TLevelTable table;
    table.LevelUnit = "dbm";
    for (int i = 1; i <= 300; ++i)
        table.Records.push_back({i * 48000.0 / 1024, -100.0 + i / 7.0, i * 1.1 - 180});
    table.Extra = {{"coherence", std::vector<double>(300, 0.5)}};
    for (const TLevelFileFormat format : {TLevelFileFormat::lfCsv, TLevelFileFormat::lfFrd}) {
        const std::string text =
            format == TLevelFileFormat::lfCsv ? LevelCsvText(table) : LevelFrdText(table);
        const TLevelTable back = ReadLevelText(text, "back");
        EXPECT_EQ(back.Format, format);
        EXPECT_EQ(back.LevelUnit, "dbm");
        ASSERT_EQ(back.Records.size(), 300u);
        for (std::size_t i = 0; i < 300; ++i) {
            EXPECT_EQ(back.Records[i].FrequencyHz, table.Records[i].FrequencyHz);
            EXPECT_NEAR(back.Records[i].Level, table.Records[i].Level, 5e-7);
            EXPECT_NEAR(*back.Records[i].PhaseDeg, *table.Records[i].PhaseDeg, 5e-7);
        }
        EXPECT_EQ(back.Extra.size(), format == TLevelFileFormat::lfCsv ? 1u : 0u);
        // Written again, the text is the same.
        EXPECT_EQ(format == TLevelFileFormat::lfCsv ? LevelCsvText(back) : LevelFrdText(back),
                  text);
    }
}

} // namespace
