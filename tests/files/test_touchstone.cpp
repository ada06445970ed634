// SPDX-License-Identifier: GPL-3.0-or-later
// Touchstone files: the bytes we write, files in the shapes other tools write, limits, messages.
#include "files/AtomicFile.h"
#include "files/Touchstone.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

fs::path TempPath(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / "ps-touchstone-test";
    fs::create_directories(folder);
    return folder / name;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// printf's own rendering in the C locale, the yardstick of the written numbers.
std::string Printf(const char* format, double value) {
    char buffer[128];
    if (std::string(format) == "%11.7f")
        std::snprintf(buffer, sizeof buffer, "%11.7f", value);
    else
        std::snprintf(buffer, sizeof buffer, "%14.10f", value);
    return buffer;
}

TTouchstoneRead Read(const std::string& text) {
    return ReadTouchstoneText(text, "test.s1p");
}

bool HasMessage(const TTouchstoneRead& r, const std::string& part) {
    for (const auto& m : r.Messages)
        if (m.Text.find(part) != std::string::npos)
            return true;
    return false;
}

TEST(TouchstoneWrite, SpectrumAndMemoryFilesHaveTheFixedLayout) {
    const TTrace spectrum{{0.0, 1.0}, {46.875, 0.5}, {93.75, 1e-120}};
    const std::string text = SpectrumFileText(spectrum, 3.0, 10.0);
    const double db1 = 20.0 * std::log10(0.5) - 3.0 + 10.0;
    const std::string expected = "! Data written by TALVOR Phonoscale\r\n# Hz S DB R 50\r\n" +
                                 Printf("%11.7f", 46.875) + " " + Printf("%11.7f", db1) + " " +
                                 Printf("%11.7f", 0.0) + " \r\n" + Printf("%11.7f", 93.75) + " " +
                                 Printf("%11.7f", -2000.0 - 3.0 + 10.0) + " " +
                                 Printf("%11.7f", 0.0) + " ";
    EXPECT_EQ(text, expected);

    const TTrace memory{{0.0, 0.25}, {12345.5, 3.1622776601683795}};
    EXPECT_EQ(MemoryFileText(memory),
              "! Data written by TALVOR Phonoscale\r\n# Hz S MA R 50\r\n" + Printf("%11.7f", 0.0) +
                  " " + Printf("%14.10f", 0.25) + " " + Printf("%14.10f", 0.0) + " \r\n" +
                  Printf("%11.7f", 12345.5) + " " + Printf("%14.10f", 3.1622776601683795) + " " +
                  Printf("%14.10f", 0.0) + " ");
    EXPECT_EQ(MemoryFileName(3), "mem3.s1p");
}

TEST(TouchstoneWrite, PointWhateverTheLocaleAndAtMost65000Records) {
    // A comma locale, where one is installed, must not change a byte.
    const std::string before = MemoryFileText(TTrace{{1.5, 0.125}});
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    bool comma = false;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"})
        if (std::setlocale(LC_ALL, name)) {
            comma = true;
            break;
        }
    const std::string during = MemoryFileText(TTrace{{1.5, 0.125}});
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(before, during) << (comma ? "comma locale" : "no comma locale installed");
    EXPECT_EQ(during.find(','), std::string::npos);

    TTrace big(MaxTouchstonePoints + 7);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = {static_cast<double>(i), 1.0};
    const TTouchstoneRead memory = Read(MemoryFileText(big));
    EXPECT_TRUE(memory.Apply);
    EXPECT_EQ(memory.Records.size(), MaxTouchstonePoints);
    EXPECT_TRUE(memory.Messages.empty()) << memory.Messages.front().Text;
    // The saved spectrum leaves the 0 Hz record out and stops after index 65000.
    const TTouchstoneRead saved2 = Read(SpectrumFileText(big, 0.0, 0.0));
    EXPECT_EQ(saved2.Records.size(), MaxTouchstonePoints);
    EXPECT_TRUE(saved2.Messages.empty());
    EXPECT_DOUBLE_EQ(saved2.Records.front().Frequency, 1.0);
    EXPECT_DOUBLE_EQ(saved2.Records.back().Frequency, 65000.0);
}

TEST(TouchstoneWrite, AtomicWritesReplaceWholeFilesAndFailWithoutHarm) {
    const fs::path path = TempPath("mem1.s1p");
    WriteMemoryFile(path.string(), TTrace{{1.0, 2.0}});
    WriteMemoryFile(path.string(), TTrace{{5.0, 0.5}, {6.0, 0.25}});
    const TTouchstoneRead r = ReadTouchstone(path.string());
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Records[1].Magnitude, 0.25);
    const std::string old = Slurp(path);
    EXPECT_THROW(WriteSpectrumFile((TempPath("no-such-folder") / "x.s1p").string(),
                                   TTrace{{0, 1}, {1, 1}}, 0, 0),
                 EFileWriteError);
    EXPECT_EQ(Slurp(path), old);
}

TEST(TouchstoneRead, SavedSpectrumReadsBackAsDisplayedLevelsWithoutTheZeroHzRecord) {
    const TTrace spectrum{{0.0, 1.0}, {100.0, 0.1}, {200.0, 0.001}, {300.0, 1.0}};
    const TTouchstoneRead r = Read(SpectrumFileText(spectrum, 0.0, 10.0));
    ASSERT_TRUE(r.Apply);
    ASSERT_EQ(r.Records.size(), 3u);
    const double expected[] = {0.1, 0.001, 1.0};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(r.Records[i].Frequency, spectrum[i + 1].Frequency);
        // 10 dB of YOffset is in the file; 7 decimals of dB are 1e-7 dB.
        EXPECT_NEAR(r.Records[i].Magnitude / (expected[i] * std::sqrt(10.0)), 1.0, 1e-7);
    }
    EXPECT_TRUE(r.Messages.empty());
}

TEST(TouchstoneRead, OptionLineFieldsAndDefaults) {
    // "#" alone: GHz, S, MA, R 50.
    TTouchstoneRead r = Read("#\n1 0.5 0\n2 0.25 45\n");
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1e9);
    EXPECT_DOUBLE_EQ(r.Records[1].Magnitude, 0.25);

    r = Read("# MHz S RI R 75\n1.5 3 4\n2 -0.6 0.8\n");
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1.5e6);
    EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 5.0);
    EXPECT_DOUBLE_EQ(r.Records[1].Magnitude, 1.0);

    r = Read("# khz db\n1 -20 0\n");
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1000.0);
    EXPECT_NEAR(r.Records[0].Magnitude, 0.1, 1e-15);

    // A field may be left out; a token is offered to the later fields.
    r = Read("# ri\n1 0 2\n");
    ASSERT_EQ(r.Records.size(), 1u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1e9);
    EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 2.0);

    // "R" without its value, as network-analysis libraries write it: 50 Ohms.
    for (const char* lone : {"# GHz S RI R", "# ghz s ri r ", "# RI R", "#\tGHz\tS\tRI\tR"}) {
        r = Read(std::string(lone) + "\n1 3 4\n");
        ASSERT_EQ(r.Records.size(), 1u) << lone;
        EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1e9) << lone;
        EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 5.0) << lone;
        EXPECT_TRUE(r.Messages.empty()) << lone;
    }

    // Other parameters than S, and units that are no frequency, stay refused.
    for (const char* refused :
         {"# Hz Y MA R 50", "# GHz Z RI", "# g", "# H DB R 50", "# Hz S MA R fifty",
          "# Hz S MA R 50 extra", "# Hz S MA Q 50", "# Hz Hz", "# GHz Z RI R", "# GHz Y RI R",
          "# s S RI R", "# V S RI R"}) {
        r = Read(std::string(refused) + "\n1 2 3\n");
        EXPECT_FALSE(r.Apply) << refused;
        ASSERT_EQ(r.Messages.size(), 1u) << refused;
        EXPECT_EQ(r.Messages[0].Text, NotSupportedText);
        EXPECT_EQ(r.Messages[0].Caption, ErrorCaption);
    }
}

TEST(TouchstoneRead, PortExtensionNeedsBothPortLinesWithZeroSecondNumbers) {
    TTouchstoneRead r = Read("# Hz S MA R 50 n1\n! c\n\n# port 1 50 0\n[x]\n# PORT 2 50 0\n"
                             "10 1 0\n");
    ASSERT_EQ(r.Records.size(), 1u) << (r.Messages.empty() ? "" : r.Messages[0].Text);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 10.0);
    for (const char* bad : {"# Hz S MA R 50 n1\n# port 1 50 1\n# port 2 50 0\n10 1 0\n",
                            "# Hz S MA R 50 n1\n# port 1 50 0\n# port 3 50 0\n10 1 0\n",
                            "# Hz S MA R 50 n2\n10 1 0\n", "# Hz S MA R 50 n1\n# port 1 50 0\n"}) {
        r = Read(bad);
        EXPECT_FALSE(r.Apply) << bad;
        EXPECT_TRUE(HasMessage(r, NotSupportedText)) << bad;
    }
}

TEST(TouchstoneRead, SeparatorsSplitValuesAndComments) {
    TTouchstoneRead r = Read("# Hz S MA R 50\r\n1000,5 0,25 0\r\n2000.5 0.5 0\r\n");
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1000.5);
    EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 0.25);
    EXPECT_DOUBLE_EQ(r.Records[1].Frequency, 2000.5);

    // The line ends after the frequency; the next line holds the other two numbers.
    r = Read("just a text line\nanother\n# Hz S MA R 50\n100\n0.5 0\n! between\n\n200 0.75\n0\n");
    ASSERT_EQ(r.Records.size(), 2u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 100.0);
    EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 0.5);
    EXPECT_DOUBLE_EQ(r.Records[1].Magnitude, 0.75);
    EXPECT_TRUE(r.Messages.empty());
}

// As a network analyser or a circuit simulator writes one-port files.
TEST(TouchstoneRead, FilesInTheShapesOtherToolsWrite) {
    const std::string analyser = "! Network analyser export\n"
                                 "! Date: Tuesday\n"
                                 "!Source: Port 1\n"
                                 "  # GHZ S RI R 50.0   \n"
                                 "! freq ReS11 ImS11\n"
                                 "   1.000000000  0.6  -0.8   ! first point\n"
                                 "\t1.5\t0.3\t0.4\t\n"
                                 "2.000000000E+00 -1.0E-01 0.0E+00    \n";
    TTouchstoneRead r = Read(analyser);
    ASSERT_TRUE(r.Apply);
    ASSERT_EQ(r.Records.size(), 3u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 1e9);
    EXPECT_DOUBLE_EQ(r.Records[0].Magnitude, 1.0);
    EXPECT_DOUBLE_EQ(r.Records[1].Frequency, 1.5e9);
    EXPECT_DOUBLE_EQ(r.Records[1].Magnitude, 0.5);
    EXPECT_DOUBLE_EQ(r.Records[2].Frequency, 2e9);
    EXPECT_DOUBLE_EQ(r.Records[2].Magnitude, 0.1);
    EXPECT_TRUE(r.Messages.empty());

    const std::string version2 = "! simulator output\n"
                                 "[Version] 2.0\n"
                                 "# MHZ S DB R 50\n"
                                 "[Number of Ports] 1\n"
                                 "[Number of Frequencies] 3\n"
                                 "[Network Data]\n"
                                 "10 -6.0205999 0\n"
                                 "20 -20 90 ! note\n"
                                 "30 0 180\n"
                                 "[End]\n";
    r = Read(version2);
    ASSERT_EQ(r.Records.size(), 3u);
    EXPECT_DOUBLE_EQ(r.Records[0].Frequency, 10e6);
    EXPECT_NEAR(r.Records[0].Magnitude, 0.5, 1e-9);
    EXPECT_NEAR(r.Records[1].Magnitude, 0.1, 1e-15);
    EXPECT_DOUBLE_EQ(r.Records[2].Frequency, 30e6);
    EXPECT_DOUBLE_EQ(r.Records[2].Magnitude, 1.0);
    EXPECT_TRUE(r.Messages.empty());
}

TEST(TouchstoneRead, TooManyRecordsKeepTheFirst65000WithTheMessage) {
    // 65001 records, indices 0..65000, as a memory file could once be written.
    std::string text = "! Data written by TALVOR Phonoscale\r\n# Hz S MA R 50";
    for (int i = 0; i <= 65000; ++i)
        text += "\r\n" + std::to_string(i) + ".0000000   0.5000000000   0.0000000000 ";
    const TTouchstoneRead r = Read(text);
    EXPECT_TRUE(r.Apply);
    EXPECT_EQ(r.Counted, 65001u);
    ASSERT_EQ(r.Records.size(), 65000u);
    EXPECT_DOUBLE_EQ(r.Records.back().Frequency, 64999.0);
    ASSERT_EQ(r.Messages.size(), 1u);
    EXPECT_EQ(r.Messages[0].Text, "Max. allowed number of Datapoints = 65000");
    EXPECT_EQ(r.Messages[0].Caption, "ERROR: Too many Datapoints! ");
}

TEST(TouchstoneRead, FilesWithoutOnePortDataLeaveTheMemoryAndNameTheFile) {
    const std::string twoPort = "# GHz S MA R 50\n1 0.1 0 0.9 10 0.9 10 0.1 0\n";
    for (const std::string& text :
         {twoPort, std::string("# Hz S MA R 50\n"), std::string(""), std::string("#\n1 2\n")}) {
        const TTouchstoneRead r = Read(text);
        EXPECT_FALSE(r.Apply) << text;
        ASSERT_EQ(r.Messages.size(), 1u) << text;
        EXPECT_NE(r.Messages[0].Text.find("test.s1p"), std::string::npos) << r.Messages[0].Text;
        EXPECT_NE(r.Messages[0].Text.find("unchanged"), std::string::npos) << r.Messages[0].Text;
    }
    // A plain text file's last line is taken as the option line and refused.
    EXPECT_TRUE(HasMessage(Read("Dear reader,\nthis is a letter.\n"), NotSupportedText));
    // More numbers after good records end the reading quietly; the good records stay.
    const TTouchstoneRead r = Read("# Hz S MA R 50\n1 0.5 0\n2 0.5 0 7\n3 0.5 0\n");
    EXPECT_TRUE(r.Apply);
    EXPECT_EQ(r.Records.size(), 1u);
    EXPECT_TRUE(r.Messages.empty());
}

// A file read only in part must not be written back: the reading says so.
TEST(TouchstoneRead, PartialWhenRecordsOfTheFileWereLeftOut) {
    const auto records = [](int from, int to) {
        std::string text;
        for (int i = from; i <= to; ++i)
            text += std::to_string(i) + " 0.5 0\n";
        return text;
    };
    const std::string head = "# Hz S MA R 50\n";
    std::string tooMany = head;
    for (int i = 0; i <= 65000; ++i)
        tooMany += "1 0.5 0\n";
    const struct {
        std::string text;
        std::size_t records;
        bool partial;
    } cases[] = {
        {head + records(1, 500), 500, false},
        {head + records(1, 65) + std::string(MaxTouchstoneLine + 1, '7') + "\n" + records(67, 500),
         65, true},
        {head + records(1, 10) + "11 1e400 0\n" + records(12, 15), 10, true},
        {head + records(1, 10) + "11 O.5 0\n" + records(12, 15), 10, true},
        {head + records(1, 10) + "11 0.5 0 7\n" + records(12, 15), 10, true}, // quietly
        {head + records(1, 10) + "11\n[Keyword]\n" + records(12, 15), 10, true},
        {head + records(1, 10) + "11 0.5", 10, false}, // the end inside a record: nothing after
        {tooMany, 65000, true},
    };
    for (const auto& c : cases) {
        const TTouchstoneRead r = Read(c.text);
        EXPECT_TRUE(r.Apply) << c.text.substr(0, 80);
        EXPECT_EQ(r.Records.size(), c.records) << c.text.substr(0, 80);
        EXPECT_EQ(r.Partial, c.partial) << c.text.substr(0, 80);
    }
}

TEST(TouchstoneRead, ANonNumberNamesItsLineAndKeepsTheRecordsBeforeIt) {
    TTouchstoneRead r = Read("! c\n# Hz S MA R 50\n1 0.5 0\n2 0.5 0\n3 O.5 0\n4 0.5 0\n");
    EXPECT_TRUE(r.Apply);
    ASSERT_EQ(r.Records.size(), 2u);
    ASSERT_EQ(r.Messages.size(), 1u);
    EXPECT_NE(r.Messages[0].Text.find("Line 5 of test.s1p"), std::string::npos)
        << r.Messages[0].Text;
    EXPECT_NE(r.Messages[0].Text.find("\"o.5\""), std::string::npos) << r.Messages[0].Text;

    r = Read("# Hz S MA R 50\nfreq mag ang\n");
    EXPECT_FALSE(r.Apply);
    EXPECT_TRUE(HasMessage(r, "Line 2 of test.s1p"));

    r = Read("# Hz S DB R 50\n1 1e10 0\n"); // 10^(1e10/20) is no magnitude
    EXPECT_FALSE(r.Apply);
    EXPECT_TRUE(HasMessage(r, "Line 2 of test.s1p"));
}

TEST(TouchstoneRead, MissingFileDoesNothing) {
    const TTouchstoneRead r = ReadTouchstone(TempPath("not-there.s1p").string());
    EXPECT_FALSE(r.Exists);
    EXPECT_FALSE(r.Apply);
    EXPECT_TRUE(r.Messages.empty());
    const TTouchstoneRead folder = ReadTouchstone(TempPath("").string());
    EXPECT_TRUE(folder.Exists);
    EXPECT_FALSE(folder.Apply);
    EXPECT_FALSE(folder.Messages.empty());
}

TEST(TouchstoneRead, HundredMegabytesAndAnEndlessLineAreStreamed) {
    const fs::path big = TempPath("big.s1p");
    {
        std::FILE* out = std::fopen(big.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("# Hz S MA R 50\n", out);
        std::string block;
        for (int i = 0; i < 1000; ++i)
            block += "1234.5678901 0.5000000000 0.0000000000 \r\n"; // 41 bytes
        for (int k = 0; k < 2450; ++k)
            std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
    }
    ASSERT_GE(fs::file_size(big), 100'000'000u);
    TTouchstoneRead r = ReadTouchstone(big.string());
    EXPECT_EQ(r.Counted, 2'450'000u);
    EXPECT_EQ(r.Records.size(), MaxTouchstonePoints);
    EXPECT_TRUE(HasMessage(r, "Max. allowed number of Datapoints"));

    const fs::path endless = TempPath("endless.s1p");
    {
        std::FILE* out = std::fopen(endless.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("# Hz S MA R 50\n", out);
        const std::string block(1 << 20, '7');
        for (int k = 0; k < 100; ++k)
            std::fwrite(block.data(), 1, block.size(), out);
        std::fclose(out);
    }
    r = ReadTouchstone(endless.string());
    EXPECT_FALSE(r.Apply);
    EXPECT_TRUE(HasMessage(r, "Line 2 of ")) << r.Messages.front().Text;
    EXPECT_TRUE(HasMessage(r, "longer than"));
    // A comment as long is no data and costs nothing.
    const TTouchstoneRead comment =
        Read("# Hz S MA R 50\n1 0.5 0 !" + std::string(3'000'000, 'x') + "\n2 0.5 0\n");
    EXPECT_EQ(comment.Records.size(), 2u);
    fs::remove(big);
    fs::remove(endless);
}

TEST(TouchstoneTokens, NormaliseAndNextToken) {
    EXPECT_EQ(NormaliseLine("\t #  Hz\t\tS  "), "# Hz S");
    EXPECT_EQ(NormaliseLine(""), "");
    std::string_view rest = "  GHz \"Quoted Text\"\tRI";
    EXPECT_EQ(NextToken(rest), "ghz");
    EXPECT_EQ(NextToken(rest), "Quoted Text");
    EXPECT_EQ(NextToken(rest), "ri");
    EXPECT_EQ(NextToken(rest), "");
    rest = "\"open";
    EXPECT_EQ(NextToken(rest), "open");
    EXPECT_TRUE(rest.empty());
}

} // namespace
