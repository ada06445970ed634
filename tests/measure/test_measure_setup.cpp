// SPDX-License-Identifier: GPL-3.0-or-later
// Set-up files of the window's format applied to the options of a run without a window.
#include "measure/MeasureSetup.h"

#include "files/SettingsFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

TMeasureOptions Applied(const std::string& text, TMeasureOptions base = {}) {
    TSettingsReader reader(text);
    ApplySetup(reader, base);
    return base;
}

TEST(MeasureSetup, MeasurementRowsOfAWholeFileApplyInFileOrder) {
    // The window's key order, CR LF lines, 23-character reals; rows that do not concern the
    // measurement stand between them.
    const std::string file = "SoundDevice=1\r\nOutF=5\r\nFrameRate= 9.60000000000000E+0004\r\n"
                             "ADCResolution=1\r\nSampleLength=6\r\nAveraging=0.25\r\nChannels=3\r\n"
                             "Display=2\r\nRefLeveldB=10\r\nRefLevel= 1.25000000000000E+0001\r\n"
                             "RefV= 2.00000000000000E+0000\r\nNormalized=1\r\nCutOn=300\r\n"
                             "CutOff=15000\r\nNFont=18\r\nWinType=4\r\nTop=-20\r\n"
                             "Offset= 1.50000000000000E+0000\r\nAveraging=1000\r\nUDigs=5\r\n"
                             "SpecTMode=1\r\nT1=20\r\nT2=9\r\nT3=7\r\nT4=4\r\nT5=3\r\nT6=2\r\n"
                             "FWeight=2\r\nFTop=100\r\n";
    const TMeasureOptions o = Applied(file);
    EXPECT_EQ(o.Rate, 96000);
    EXPECT_EQ(o.Bits, 24);
    EXPECT_EQ(o.Length, 4096);
    EXPECT_EQ(o.TimeConstant, "0.25"); // the first "Averaging=", not the smoothing count
    EXPECT_EQ(o.Channel, 3);
    EXPECT_EQ(o.Units, 2);
    EXPECT_EQ(o.CalLevelText, "10");
    EXPECT_DOUBLE_EQ(o.RefLevel, 12.5);
    EXPECT_DOUBLE_EQ(o.RefV, 2.0);
    EXPECT_TRUE(o.Calibrated);
    EXPECT_EQ(o.BandLow, 300);
    EXPECT_EQ(o.BandHigh, 15000);
    EXPECT_TRUE(o.BandFromSetup);
    EXPECT_EQ(o.WindowKind, 4);
    EXPECT_DOUBLE_EQ(o.YOffset, 1.5);
    EXPECT_EQ(o.Digits, 5);
    EXPECT_EQ(o.SpectrumTimeMode, 1);
    EXPECT_EQ(o.CustomTimes, (std::array<std::string, 6>{"20", "9", "7", "4", "3", "2"}));
    EXPECT_EQ(o.Weighting, 2);
    // Nothing else moves.
    EXPECT_TRUE(o.Input.empty());
    EXPECT_FALSE(o.Blocks);
}

TEST(MeasureSetup, ValuesAsTheWindowsControlsTakeThem) {
    // Rates go to the nearest entry of the rate list; 200001 and above leave it.
    EXPECT_EQ(Applied("FrameRate= 4.41000000000000E+0004\r\n").Rate, 44100);
    EXPECT_EQ(Applied("FrameRate=88200\n").Rate, 88200);
    EXPECT_EQ(Applied("FrameRate=7001\n").Rate, 8000);
    EXPECT_EQ(Applied("FrameRate=250000\n").Rate, 48000);
    // A comma as the decimal separator reads as well.
    EXPECT_DOUBLE_EQ(Applied("RefLevel= 1,50000000000000E+0001\n").RefLevel, 15.0);
    // The longest sample length is item 14; item 15 is not in the list.
    EXPECT_EQ(Applied("SampleLength=14\n").Length, 1 << 20);
    EXPECT_EQ(Applied("SampleLength=15\n").Length, 1024);
    // One "Averaging=" line serves both lookups: a real is the meter time constant.
    EXPECT_EQ(Applied("Averaging=1000\n").TimeConstant, "1000");
    EXPECT_EQ(Applied("Averaging= 5.00000000000000E-0001\n").TimeConstant, "0.5");
    // A missing window type selects Blackman², an unknown one keeps the current window.
    TMeasureOptions hamming;
    hamming.WindowKind = 4;
    EXPECT_EQ(Applied("Channels=1\n", hamming).WindowKind, 2);
    EXPECT_EQ(Applied("WinType=9\n", hamming).WindowKind, 4);
    // Digits are stored from the leading digits of a malformed value; out of range is left.
    EXPECT_EQ(Applied("UDigs=4x\n").Digits, 4);
    EXPECT_EQ(Applied("UDigs=12\n").Digits, 3);
    EXPECT_EQ(Applied("FWeight=7\n").Weighting, 0);
    EXPECT_EQ(Applied("Channels=4\n").Channel, 0);
    EXPECT_EQ(Applied("Normalized=0\n").Calibrated, false);
    // A cut-on alone opens the band up to half the rate, a lone cut-off keeps cut-on 0.
    const TMeasureOptions on = Applied("CutOn=2500\n");
    EXPECT_EQ(on.BandLow, 2500);
    EXPECT_FALSE(on.BandHigh);
    EXPECT_EQ(Applied("CutOff=10000.0\n").BandHigh, 10000);
    EXPECT_FALSE(Applied("CutOff=10000.0\n").BandLow);
    // The key is the start of a line: "FTop=" is not "Top=", "XCutOn=" not "CutOn=".
    EXPECT_FALSE(Applied("XCutOn=5\n").BandFromSetup);
}

TEST(MeasureSetup, FileThatCannotServeIsAnError) {
    const auto dir = std::filesystem::temp_directory_path() / "ps-measure-setup-test";
    std::filesystem::create_directories(dir);
    TMeasureOptions o;
    EXPECT_THROW(ApplySetupFile((dir / "missing.ini").string(), o), ESetupError);
    std::ofstream(dir / "other.ini") << "Colour=red\nSize=3\n";
    try {
        ApplySetupFile((dir / "other.ini").string(), o);
        ADD_FAILURE() << "no error";
    } catch (const ESetupError& e) {
        EXPECT_NE(std::string(e.what()).find("holds none of the measurement settings"),
                  std::string::npos);
    }
    std::ofstream(dir / "one.ini") << "Channels=2\n";
    ApplySetupFile((dir / "one.ini").string(), o);
    EXPECT_EQ(o.Channel, 2);
    std::filesystem::remove_all(dir);
}

} // namespace
