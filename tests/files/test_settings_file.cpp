// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file format: the real form, the bytes written, the key lookup and damaged files.
#include "files/SettingsFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SettingsFolder : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ps-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }
    std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
    std::string folder_;
};

} // namespace

TEST(SettingsReal, FixedScientificFormOfWidth23) {
    EXPECT_EQ(FormatSettingsReal(48000.0), " 4.80000000000000E+0004");
    EXPECT_EQ(FormatSettingsReal(-20.0), "-2.00000000000000E+0001");
    EXPECT_EQ(FormatSettingsReal(1.0), " 1.00000000000000E+0000");
    EXPECT_EQ(FormatSettingsReal(0.0), " 0.00000000000000E+0000");
    EXPECT_EQ(FormatSettingsReal(0.001), " 1.00000000000000E-0003");
    EXPECT_EQ(FormatSettingsReal(1.5e-300), " 1.50000000000000E-0300");
    EXPECT_EQ(FormatSettingsReal(-1.7976931348623157e308), "-1.79769313486232E+0308");
    for (const double v : {48000.0, -3.25, 1e-7, 123456789.125, 0.1, -0.0})
        EXPECT_EQ(FormatSettingsReal(v).size(), 23u) << v;
    // Fifteen significant digits survive a round trip through the text.
    TSettingsReader reader("x=" + FormatSettingsReal(0.1234567890123456) + "\n");
    double back = 0;
    ASSERT_EQ(reader.FindReal("x=", back), TLookup::Found);
    EXPECT_NEAR(back, 0.1234567890123456, 1e-15);
}

TEST_F(SettingsFolder, WriterProducesKeyValueLinesWithCrLf) {
    const std::string path = PathOf("a.ini");
    WriteSettingsFile(path, {{"SoundPlatform=", "0"},
                             {"FrameRate=", FormatSettingsReal(48000)},
                             {"CustUnit=", "µV"},
                             {"CustLabel=", ""},
                             {"Broken=", "one\rtwo\nthree"}});
    EXPECT_EQ(ReadAll(path), "SoundPlatform=0\r\nFrameRate= 4.80000000000000E+0004\r\n"
                             "CustUnit=\xC2\xB5V\r\nCustLabel=\r\nBroken=one two three\r\n");
}

TEST(SettingsLookup, WholeKeyAtTheStartOfALine) {
    TSettingsReader reader("FTop=100\r\nXTop=5\r\n Top=7\r\n");
    double top = -1;
    EXPECT_EQ(reader.FindReal("Top=", top), TLookup::Missing);
    EXPECT_EQ(top, -1);
    TSettingsReader both("FTop=100\r\nTop=-20\r\n");
    EXPECT_EQ(both.FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -20);
    // "Marker1=" does not take "MarkerF1=" and the other way round.
    TSettingsReader markers("MarkerF1=10\nMarker1=1\n");
    std::int32_t mark = 0;
    EXPECT_EQ(markers.FindInt("Marker1=", mark), TLookup::Found);
    EXPECT_EQ(mark, 1);
    EXPECT_EQ(*markers.FindText("MarkerF1="), "10");
}

TEST(SettingsLookup, ForwardSearchWrapsAroundOnce) {
    TSettingsReader reader("A=1\r\nB=2\r\nC=3\r\n");
    std::int32_t v = 0;
    EXPECT_EQ(reader.FindInt("C=", v), TLookup::Found);
    EXPECT_EQ(v, 3);
    EXPECT_EQ(reader.FindInt("A=", v), TLookup::Found); // wraps to the start
    EXPECT_EQ(v, 1);
    EXPECT_EQ(reader.FindInt("D=", v), TLookup::Missing);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(reader.FindInt("B=", v), TLookup::Found);
    EXPECT_EQ(v, 2);
}

TEST(SettingsLookup, AMissAfterTheFirstAveragingKeepsThePosition) {
    TSettingsReader reader("Averaging=0.25\r\nAveraging=300\r\n");
    EXPECT_EQ(*reader.FindText("Averaging="), "0.25");
    EXPECT_FALSE(reader.FindText("Display=").has_value());
    std::int32_t points = 0;
    EXPECT_EQ(reader.FindInt("Averaging=", points), TLookup::Found);
    EXPECT_EQ(points, 300);
}

TEST(SettingsLookup, TwoAveragingLinesGoToTheirOwnLookups) {
    TSettingsReader reader("Averaging=0.25\r\nChannels=1\r\nAveraging=333\r\n");
    EXPECT_EQ(*reader.FindText("Averaging="), "0.25");
    std::int32_t channels = 0;
    EXPECT_EQ(reader.FindInt("Channels=", channels), TLookup::Found);
    std::int32_t points = 0;
    EXPECT_EQ(reader.FindInt("Averaging=", points), TLookup::Found);
    EXPECT_EQ(points, 333);
}

TEST(SettingsLookup, OneAveragingLineIsFoundByBothLookups) {
    TSettingsReader whole("Averaging=1000\r\nChannels=1\r\n");
    EXPECT_EQ(*whole.FindText("Averaging="), "1000");
    std::int32_t points = 7;
    EXPECT_EQ(whole.FindInt("Averaging=", points), TLookup::Found);
    EXPECT_EQ(points, 1000);

    TSettingsReader real("Averaging=0.5\r\n");
    EXPECT_EQ(*real.FindText("Averaging="), "0.5");
    points = 7;
    EXPECT_EQ(real.FindInt("Averaging=", points), TLookup::Malformed);
    EXPECT_EQ(points, 0); // the partial conversion result
}

TEST(SettingsLookup, IntegerConversionAndPartialResults) {
    std::int32_t v = 99;
    EXPECT_TRUE(ParseSettingsInt("-12", v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(ParseSettingsInt("2147483647", v));
    EXPECT_TRUE(ParseSettingsInt("-2147483648", v));
    EXPECT_EQ(v, -2147483648);
    EXPECT_FALSE(ParseSettingsInt("2147483648", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_FALSE(ParseSettingsInt("12abc", v));
    EXPECT_EQ(v, 12);
    EXPECT_FALSE(ParseSettingsInt("", v));
    EXPECT_EQ(v, 0);
    EXPECT_FALSE(ParseSettingsInt("-", v));
    EXPECT_FALSE(ParseSettingsInt(" 5", v));
    EXPECT_FALSE(ParseSettingsInt("99999999999999999999999999", v));
    EXPECT_EQ(v, 2147483647);
}

TEST(SettingsLookup, RealsWithPointOrCommaAndLfOnlyLines) {
    TSettingsReader reader("FrameRate= 4,80000000000000E+0004\nTop=-2.5\nOffset=abc\n");
    double rate = 0, top = 0, offset = 3;
    EXPECT_EQ(reader.FindReal("FrameRate=", rate), TLookup::Found);
    EXPECT_EQ(rate, 48000);
    EXPECT_EQ(reader.FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -2.5);
    EXPECT_EQ(reader.FindReal("Offset=", offset), TLookup::Malformed);
    EXPECT_EQ(offset, 3); // unchanged
}

TEST(SettingsLookup, TextIsTheRestOfTheLine) {
    TSettingsReader reader("CustLabel=sn/sqrt(f_u-f_l) = x\r\nEmpty=\r\nLast=no newline");
    EXPECT_EQ(*reader.FindText("CustLabel="), "sn/sqrt(f_u-f_l) = x");
    EXPECT_EQ(*reader.FindText("Empty="), "");
    EXPECT_EQ(*reader.FindText("Last="), "no newline");
    EXPECT_FALSE(reader.FindText("Nothing=").has_value());
}

TEST(SettingsDamagedFiles, TruncatedGarbageEmptyAndHuge) {
    // Truncated in the middle of a line: the lines before it read, the cut value is malformed.
    TSettingsReader cut("Top=-20\r\nOffset=1.5\r\nboxes=1");
    double top = 0;
    EXPECT_EQ(cut.FindReal("Top=", top), TLookup::Found);
    std::int32_t boxes = 0;
    EXPECT_EQ(cut.FindInt("boxes=", boxes), TLookup::Found);
    TSettingsReader cutKey("Top=-20\r\nOff");
    double offset = 4;
    EXPECT_EQ(cutKey.FindReal("Offset=", offset), TLookup::Missing);

    // Binary garbage around one good line.
    std::mt19937 random(7);
    std::string garbage;
    for (int i = 0; i < 100000; ++i)
        garbage += static_cast<char>(random() & 0xFF);
    TSettingsReader noisy(garbage + "\nTop=-33\n" + garbage);
    EXPECT_EQ(noisy.FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -33);

    TSettingsReader empty("");
    EXPECT_EQ(empty.LineCount(), 0u);
    EXPECT_EQ(empty.FindReal("Top=", top), TLookup::Missing);

    // 50 MB of lines: a few hundred lookups, most of them misses, stay linear in the size.
    std::string huge;
    huge.reserve(50u << 20);
    const std::string filler = "Filler=" + std::string(90, 'x') + "\r\n";
    while (huge.size() < (50u << 20))
        huge += filler;
    huge += "Top=-44\r\n";
    TSettingsReader big(std::move(huge));
    for (int k = 0; k < 300; ++k) {
        double unused = 0;
        big.FindReal("Key" + std::to_string(k) + "=", unused);
    }
    EXPECT_EQ(big.FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -44);
}

TEST_F(SettingsFolder, MissingFileOpensAsNothing) {
    const TSettingsFileRead none = TSettingsReader::Open(PathOf("none.ini"));
    EXPECT_FALSE(none.Reader.has_value());
    EXPECT_TRUE(none.Missing);
    EXPECT_EQ(none.Reason, "");
    std::ofstream(PathOf("one.ini"), std::ios::binary) << "Top=-20";
    auto file = TSettingsReader::Open(PathOf("one.ini"));
    ASSERT_TRUE(file.Reader.has_value());
    double top = 0;
    EXPECT_EQ(file.Reader->FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -20);
}

TEST_F(SettingsFolder, AFileThatCannotBeReadGivesTheReasonInsteadOfThrowing) {
    fs::create_directory(PathOf("folder.ini"));
    // Beyond the limit without taking the disk space (a sparse file).
    { std::ofstream(PathOf("huge.ini"), std::ios::binary) << "Top=-20\r\n"; }
    fs::resize_file(PathOf("huge.ini"), MaxSettingsFileBytes + 1);
    const struct {
        const char* name;
        const char* reason;
    } cases[] = {{"folder.ini", "Is a directory"},
                 {"huge.ini", "it is larger than 64 MB, too large for a settings file"}};
    for (const auto& c : cases) {
        const TSettingsFileRead file = TSettingsReader::Open(PathOf(c.name));
        EXPECT_FALSE(file.Reader.has_value()) << c.name;
        EXPECT_FALSE(file.Missing) << c.name;
        EXPECT_EQ(file.Reason, c.reason);
    }
    // Exactly at the limit it is read.
    fs::resize_file(PathOf("huge.ini"), MaxSettingsFileBytes);
    auto atLimit = TSettingsReader::Open(PathOf("huge.ini"));
    ASSERT_TRUE(atLimit.Reader.has_value()) << atLimit.Reason;
    double top = 0;
    EXPECT_EQ(atLimit.Reader->FindReal("Top=", top), TLookup::Found);
    EXPECT_EQ(top, -20);
}

TEST_F(SettingsFolder, WriterKilledBeforeTheRenameLeavesTheOldFile) {
    const std::string path = PathOf("Phonoscale.ini");
    WriteSettingsFile(path, {{"Top=", "-20"}});
    const std::string before = ReadAll(path);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WriteSettingsFile(path, {{"Top=", "-99"}, {"Offset=", "1"}},
                          [](const std::string&) { ::_exit(42); });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 42);
    EXPECT_EQ(ReadAll(path), before);
}

TEST_F(SettingsFolder, WriteErrorNamesTheFileAndKeepsNothingHalfWritten) {
    const std::string path = PathOf("missing-folder/Phonoscale.ini");
    try {
        WriteSettingsFile(path, {{"Top=", "-20"}});
        FAIL() << "no error";
    } catch (const EFileWriteError& error) {
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
        EXPECT_EQ(error.Path(), path);
    }
    EXPECT_FALSE(fs::exists(path));
}
