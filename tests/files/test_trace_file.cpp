// SPDX-License-Identifier: GPL-3.0-or-later
// Trace files told apart by name and by content, and read into a memory in dB.
#include "files/TraceFile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

TEST(TraceFile, FormatByExtensionAndByTheDialogsType) {
    const struct {
        const char* name;
        std::optional<TTraceFileFormat> format;
    } names[] = {{"/a/b.s1p", TTraceFileFormat::tfTouchstone},
                 {"b.CSV", TTraceFileFormat::tfCsv},
                 {"b.frd", TTraceFileFormat::tfFrd},
                 {"b.Txt", TTraceFileFormat::tfFrd},
                 {"b.dat", std::nullopt},
                 {"/a.csv/b", std::nullopt}};
    for (const auto& n : names)
        EXPECT_EQ(TraceFormatOfName(n.name), n.format) << n.name;

    const std::string types =
        "Touchstone files (*.s1p);;CSV files (*.csv);;FRD files (*.frd *.txt)";
    const struct {
        const char* typed;
        const char* type;
        const char* saved;
    } dialogs[] = {{"/x/sweep", "CSV files (*.csv)", "/x/sweep.csv"},
                   {"/x/sweep.dat", "FRD files (*.frd *.txt)", "/x/sweep.dat.frd"},
                   {"/x/sweep.TXT", "CSV files (*.csv)", "/x/sweep.TXT"},
                   {"/x/sweep.s1p", "FRD files (*.frd *.txt)", "/x/sweep.s1p"},
                   {"/x/sweep", "All files (*)", "/x/sweep"}};
    for (const auto& d : dialogs)
        EXPECT_EQ(NameWithTypeExtension(d.typed, d.type, types), d.saved) << d.typed;
}

TEST(TraceFile, ContentTellsTouchstoneFromFrdAndCsv) {
    const double half = 0.5; // -6.0206 dB
    const double halfDb = 20 * std::log10(half);
    const struct {
        const char* what;
        std::string text;
        double frequency;
        double magnitude;
    } cases[] = {
        {"Touchstone in dB",
         "! c\n# Hz S DB R 50 ! comment\n1000 " + std::to_string(halfDb) + " 0\n", 1000, half},
        {"bare # is Touchstone, GHz", "#\n1 0.5 0\n", 1e9, half},
        {"Touchstone 2 keyword", "[Version] 2.0\n# hz s ma r 50\n1000 0.5 0\n", 1000, half},
        {"# comment of an FRD file", "# measured today\n1000 " + std::to_string(halfDb) + "\n",
         1000, half},
        {"CSV in dBFS", "frequency_hz,level_dbfs\n1000," + std::to_string(halfDb) + "\n", 1000,
         half},
        // 1 Veff into 50 Ohms is 20 mW: 13.0103 dBm; Vpp = sqrt(8) Veff.
        {"CSV in Veff", "frequency_hz,level_veff\n1000,1\n", 1000, std::pow(10.0, 13.0103 / 20)},
        {"CSV in Vpp", "frequency_hz,level_vpp\n1000,2.8284271\n", 1000,
         std::pow(10.0, 13.0103 / 20)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TTouchstoneRead read = ReadTraceText(c.text, "t");
        ASSERT_TRUE(read.Apply);
        EXPECT_TRUE(read.Messages.empty());
        ASSERT_EQ(read.Records.size(), 1u);
        EXPECT_DOUBLE_EQ(read.Records[0].Frequency, c.frequency);
        EXPECT_NEAR(read.Records[0].Magnitude, c.magnitude, 1e-5);
    }
}

TEST(TraceFile, LevelsThatAreNotDbOrVoltsLeaveTheMemory) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"frequency_hz,level_pa\n20,1\n", "Line 2 of t.csv: the level unit \"pa\" is not one of"},
        {"frequency_hz,level_vpp\n20,1\n30,0\n",
         "Line 3 of t.csv: the level 0 vpp is not a positive"},
        {"20 7000\n", "Line 1 of t.csv: the level 7000 dB is out of range."},
        {"20 1\n10 1\n", "Line 2 of t.csv: the frequency 10 Hz"},
    };
    for (const auto& c : cases) {
        const TTouchstoneRead read = ReadTraceText(c.text, "t.csv");
        EXPECT_FALSE(read.Apply) << c.text;
        ASSERT_EQ(read.Messages.size(), 1u) << c.text;
        EXPECT_EQ(read.Messages[0].Caption, ErrorCaption);
        EXPECT_NE(read.Messages[0].Text.find(c.says), std::string::npos) << read.Messages[0].Text;
        EXPECT_NE(read.Messages[0].Text.find("The memory is unchanged."), std::string::npos);
    }
    EXPECT_FALSE(ReadTraceFile("/nonexistent/x.csv").Exists);
}

} // namespace
