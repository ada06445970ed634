// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure run as a program on files that sox writes: levels, peak, options, errors.
#include "files/TraceFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#ifndef PS_SOURCE_DIR
#error "PS_SOURCE_DIR must name the source tree"
#endif
#ifndef PS_MEASURE_PROGRAM
#error "PS_MEASURE_PROGRAM must name the phonoscale-measure program"
#endif

namespace fs = std::filesystem;

namespace {

struct TRunResult {
    int Code = -1;
    std::string Out;
    std::string Err;
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The last line of `json` parsed (every line must be valid JSON: a parse error fails the test).
nlohmann::json LastJsonLine(const std::string& json) {
    const auto lineStart = json.rfind('\n', json.size() >= 2 ? json.size() - 2 : 0);
    const std::string last = json.substr(lineStart == std::string::npos ? 0 : lineStart + 1);
    try {
        return nlohmann::json::parse(last);
    } catch (const nlohmann::json::exception& e) {
        ADD_FAILURE() << e.what() << ": " << last;
        return {};
    }
}

// The number of "key" on the last line of `json`, or NaN (missing or null).
double JsonNumber(const std::string& json, const std::string& key) {
    const nlohmann::json line = LastJsonLine(json);
    return line.contains(key) && line[key].is_number() ? line[key].get<double>() : std::nan("");
}

// A scratch folder per test with the sox files it makes.
class MeasureCli : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
        char pattern[] = "/tmp/ps-measure-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    fs::path Path(const std::string& name) const { return dir_ / name; }

    // Runs sox with these arguments in the scratch folder.
    void Sox(const std::string& args) const {
        const std::string command = "cd '" + dir_.string() + "' && sox " + args + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    TRunResult Measure(const std::string& args) const {
        const std::string command = "cd '" + dir_.string() + "' && '" PS_MEASURE_PROGRAM "' " +
                                    args + " >out.txt 2>err.txt";
        const int status = std::system(command.c_str());
        TRunResult r;
        r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.Out = ReadAll(Path("out.txt"));
        r.Err = ReadAll(Path("err.txt"));
        return r;
    }

    fs::path dir_;
};

// 20 log10(0.5): a sine at half of full scale.
constexpr double HalfScaleDb = -6.020599913279624;

TEST_F(MeasureCli, HalfScaleSineReadsItsLevelAndFrequencyInEveryFileFormat) {
    const char* const formats[] = {"-b 24 tone24.wav", "-b 16 tone16.wav", "-b 24 tone24.flac",
                                   "-b 16 tone16.flac", "-e floating-point -b 32 tonef.wav"};
    for (const char* format : formats) {
        const std::string soxFormat = format;
        const std::string name = soxFormat.substr(soxFormat.rfind(' ') + 1);
        Sox("-n -r 48000 -c 2 " + soxFormat + " synth 1 sine 1000 vol 0.5");
        const TRunResult r = Measure("--input " + name + " --format json");
        ASSERT_EQ(r.Code, 0) << name << ": " << r.Err;
        EXPECT_NEAR(JsonNumber(r.Out, "s_db"), HalfScaleDb, 0.005) << name;
        EXPECT_NEAR(JsonNumber(r.Out, "sn_db"), HalfScaleDb, 0.005) << name;
        EXPECT_NEAR(JsonNumber(r.Out, "peak_hz"), 1000.0, 0.05) << name;
        // 48000 samples: 23 whole engine blocks of 2048; the last 896 are less than one N.
        EXPECT_EQ(JsonNumber(r.Out, "blocks"), 23.0) << name;
        EXPECT_EQ(JsonNumber(r.Out, "gaps"), 0.0) << name;
        EXPECT_NE(r.Out.find("\"s_text\":\"S= -6.021 dB\""), std::string::npos) << r.Out;
    }
}

TEST_F(MeasureCli, TwoTonesReadTheStrongerAsSAndThePowerSumAsSPlusN) {
    Sox("-n -r 48000 -b 24 -c 1 a.wav synth 1 sine 1000 vol 0.5");
    Sox("-n -r 48000 -b 24 -c 1 b.wav synth 1 sine 3000 vol 0.25");
    Sox("-m -v 1 a.wav -v 1 b.wav two.wav");
    const TRunResult r = Measure("--input two.wav --format json --length 4096 --window flattop");
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_NEAR(JsonNumber(r.Out, "s_db"), HalfScaleDb, 0.005);
    EXPECT_NEAR(JsonNumber(r.Out, "sn_db"), 10.0 * std::log10(0.25 + 0.0625), 0.005);
    EXPECT_NEAR(JsonNumber(r.Out, "peak_hz"), 1000.0, 0.05);

    // A band above the stronger tone sees the weaker one alone.
    const TRunResult upper = Measure("--input two.wav --format json --band 2000:24000");
    ASSERT_EQ(upper.Code, 0) << upper.Err;
    EXPECT_NEAR(JsonNumber(upper.Out, "s_db"), 20.0 * std::log10(0.25), 0.005);
    EXPECT_NEAR(JsonNumber(upper.Out, "sn_db"), 20.0 * std::log10(0.25), 0.005);
    EXPECT_NEAR(JsonNumber(upper.Out, "peak_hz"), 3000.0, 0.05);
}

TEST_F(MeasureCli, ChannelOptionSelectsLeftRightAndTheirSum) {
    Sox("-n -r 44100 -b 24 -c 1 l.wav synth 1 sine 1000 vol 0.5");
    Sox("-n -r 44100 -b 24 -c 1 r.wav synth 1 sine 5000 vol 0.25");
    Sox("-M l.wav r.wav lr.wav");
    const TRunResult left = Measure("--input lr.wav --format json --channel left");
    const TRunResult right = Measure("--input lr.wav --format json --channel right");
    const TRunResult sum = Measure("--input lr.wav --format json --channel 2 --length 4096");
    ASSERT_EQ(left.Code, 0) << left.Err;
    ASSERT_EQ(right.Code, 0) << right.Err;
    ASSERT_EQ(sum.Code, 0) << sum.Err;
    EXPECT_NEAR(JsonNumber(left.Out, "peak_hz"), 1000.0, 0.05);
    EXPECT_NEAR(JsonNumber(right.Out, "peak_hz"), 5000.0, 0.05);
    EXPECT_NEAR(JsonNumber(right.Out, "s_db"), 20.0 * std::log10(0.25), 0.005);
    EXPECT_NEAR(JsonNumber(sum.Out, "sn_db"), 10.0 * std::log10(0.25 + 0.0625), 0.005);
}

TEST_F(MeasureCli, RunLengthFormatsAndSavedSpectrum) {
    Sox("-n -r 48000 -b 24 -c 2 tone.wav synth 1 sine 1000 vol 0.5");

    // --blocks K measures K engine blocks: K lines and the final one.
    const TRunResult five = Measure("--input tone.wav --format csv --blocks 5");
    ASSERT_EQ(five.Code, 0) << five.Err;
    std::istringstream lines(five.Out);
    std::string line;
    int count = 0;
    std::getline(lines, line);
    EXPECT_EQ(line, "kind,blocks,gaps,sn_db,s_db,peak_hz,sn_text,s_text,peak_text,"
                    "invalid_blocks,clipped_samples,sn_value,s_value,unit");
    std::string last;
    for (; std::getline(lines, line); ++count)
        last = line;
    EXPECT_EQ(count, 6);
    EXPECT_EQ(last.rfind("final,5,0,", 0), 0u) << last;

    // 0.5 s = 24000 samples: 11 engine blocks and a short one holding one N of 1024.
    const TRunResult half = Measure("--input tone.wav --format json --seconds 0.5");
    ASSERT_EQ(half.Code, 0) << half.Err;
    EXPECT_EQ(JsonNumber(half.Out, "blocks"), 12.0);

    const TRunResult text = Measure("--input tone.wav --save-spectrum tone.s1p");
    ASSERT_EQ(text.Code, 0) << text.Err;
    EXPECT_NE(text.Out.find("final: S+N -6.021 dB  S= -6.021 dB  peak 1000.00 Hz"),
              std::string::npos)
        << text.Out;
    const TTouchstoneRead saved = ReadTouchstone(Path("tone.s1p").string());
    ASSERT_TRUE(saved.Apply);
    ASSERT_EQ(saved.Records.size(), 511u); // bins 1 .. N/2 - 1 of N = 1024
    const auto peak = std::max_element(
        saved.Records.begin(), saved.Records.end(),
        [](const TTraceRecord& a, const TTraceRecord& b) { return a.Magnitude < b.Magnitude; });
    EXPECT_NEAR(peak->Frequency, 1000.0, 48000.0 / 1024);
    EXPECT_NEAR(20.0 * std::log10(peak->Magnitude), HalfScaleDb, 1.0);

    // The extension picks the format: CSV in the display's unit (dBFS, not calibrated), FRD.
    for (const char* name : {"tone.csv", "tone.frd"}) {
        const TRunResult other = Measure(std::string("--input tone.wav --save-spectrum ") + name);
        ASSERT_EQ(other.Code, 0) << other.Err;
        std::ifstream in(Path(name), std::ios::binary);
        std::string first;
        std::getline(in, first);
        EXPECT_EQ(first, name == std::string("tone.csv") ? "frequency_hz,level_dbfs\r"
                                                         : "* Data written by TALVOR Phonoscale\r");
        const TTouchstoneRead again = ReadTraceFile(Path(name).string());
        ASSERT_EQ(again.Records.size(), saved.Records.size()) << name;
        for (std::size_t i = 0; i < saved.Records.size(); ++i)
            ASSERT_NEAR(20 * std::log10(again.Records[i].Magnitude),
                        20 * std::log10(saved.Records[i].Magnitude), 1e-6)
                << name << i;
    }
}

// A 32-bit float WAV file of interleaved stereo frames, written here (sox writes no NaN).
void WriteFloatWav(const fs::path& path, const std::vector<float>& interleaved, int rate) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&out](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto u16 = [&out](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = static_cast<std::uint32_t>(interleaved.size() * 4);
    out.write("RIFF", 4);
    u32(36 + bytes);
    out.write("WAVEfmt ", 8);
    u32(16);
    u16(3); // IEEE float
    u16(2);
    u32(static_cast<std::uint32_t>(rate));
    u32(static_cast<std::uint32_t>(rate) * 8);
    u16(8);
    u16(32);
    out.write("data", 4);
    u32(bytes);
    out.write(reinterpret_cast<const char*>(interleaved.data()), bytes);
}

// A NaN and an infinity leave their processed blocks out of the reading (exit code 4, counted
// in every format); samples beyond full scale are measured and counted as clipped.
TEST_F(MeasureCli, NonFiniteSamplesAreLeftOutAndCountedClippedOnesCounted) {
    const int rate = 48000;
    std::vector<float> frames(2 * rate);
    for (int i = 0; i < rate; ++i)
        frames[2 * i] = frames[2 * i + 1] =
            static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * i / rate));
    auto bad = frames;
    bad[2 * 10000] = std::numeric_limits<float>::quiet_NaN();    // engine block 4, second N
    bad[2 * 18500 + 1] = std::numeric_limits<float>::infinity(); // engine block 9, first N
    WriteFloatWav(Path("bad.wav"), bad, rate);
    const TRunResult json = Measure("--input bad.wav --format json --save-spectrum bad.s1p");
    EXPECT_EQ(json.Code, 4) << json.Err;
    EXPECT_EQ(JsonNumber(json.Out, "invalid_blocks"), 2.0) << json.Out;
    EXPECT_EQ(JsonNumber(json.Out, "clipped_samples"), 0.0);
    EXPECT_EQ(JsonNumber(json.Out, "gaps"), 0.0);
    EXPECT_NEAR(JsonNumber(json.Out, "sn_db"), HalfScaleDb, 0.005);
    EXPECT_NEAR(JsonNumber(json.Out, "s_db"), HalfScaleDb, 0.005);
    EXPECT_NEAR(JsonNumber(json.Out, "peak_hz"), 1000.0, 0.05);
    const TTouchstoneRead saved = ReadTouchstone(Path("bad.s1p").string());
    ASSERT_TRUE(saved.Apply);
    for (const auto& record : saved.Records)
        ASSERT_GT(record.Magnitude, 1e-50) << record.Frequency; // no bin at the -2000 dB floor
    const TRunResult csv = Measure("--input bad.wav --format csv");
    EXPECT_EQ(csv.Code, 4);
    EXPECT_NE(csv.Out.find("\",2,0,"), std::string::npos) << csv.Out;
    const TRunResult text = Measure("--input bad.wav");
    EXPECT_EQ(text.Code, 4);
    EXPECT_NE(text.Out.find("(23 blocks, 0 gaps, 2 invalid blocks, 0 clipped samples)"),
              std::string::npos)
        << text.Out;

    // Three samples at 1.25 times full scale: counted, measured, exit code 0.
    auto loud = frames;
    loud[2 * 100] = loud[2 * 200 + 1] = 1.25f;
    loud[2 * 47500] = -1.25f; // in the piece shorter than N after the last block: read too
    WriteFloatWav(Path("loud.wav"), loud, rate);
    const TRunResult clipped = Measure("--input loud.wav --format json");
    EXPECT_EQ(clipped.Code, 0) << clipped.Err;
    EXPECT_EQ(JsonNumber(clipped.Out, "clipped_samples"), 3.0) << clipped.Out;
    EXPECT_EQ(JsonNumber(clipped.Out, "invalid_blocks"), 0.0);

    // Nothing but invalid blocks: no reading at all.
    std::vector<float> none(2 * 4096, std::numeric_limits<float>::quiet_NaN());
    WriteFloatWav(Path("none.wav"), none, rate);
    const TRunResult empty = Measure("--input none.wav --format json");
    EXPECT_EQ(empty.Code, 4);
    EXPECT_NE(empty.Out.find("\"invalid_blocks\":4,\"clipped_samples\":0,\"sn_db\":null"),
              std::string::npos)
        << empty.Out;
}

TEST_F(MeasureCli, BadInputGivesItsMessageAndExitCode) {
    Sox("-n -r 48000 -b 24 -c 2 tone.wav synth 1 sine 1000 vol 0.5");
    Sox("-n -r 48000 -b 16 -c 1 short.wav synth 0.01 sine 1000");
    std::ofstream(Path("not.wav")) << "this is text, not sound\n";
    std::ofstream(Path("bad.frd")) << "100 1.0\n1000 one\n";
    ASSERT_EQ(std::system(("head -c 30000 '" + Path("tone.wav").string() + "' > '" +
                           Path("cut.wav").string() + "'")
                              .c_str()),
              0);

    struct Case {
        const char* Args;
        int Code;
        const char* Message;
    };
    const Case cases[] = {
        {"--input missing.wav", 3, "Cannot open missing.wav: System error : No such file"},
        {"--input not.wav", 3, "Cannot open not.wav"},
        {"--input cut.wav", 3, "cut.wav is truncated"},
        {"--input short.wav", 3, "fewer than one block of 1024"},
        {"--input tone.wav --bogus 1", 2, "Unknown option \"--bogus\""},
        {"--input tone.wav --band 5000:100", 2, "the cut-on LO must lie below the cut-off HI"},
        {"--input tone.wav --band 100:30000", 2, "above half the sample rate (24000 Hz)"},
        {"--input tone.wav --band 100-3000", 2, "LO:HI in whole Hz is needed"},
        {"--input tone.wav --length 1000", 2, "a power of 2 from 64 to 1048576 is needed"},
        {"--input tone.wav --window kaiser", 2, "Bad value \"kaiser\" for --window"},
        {"--input tone.wav --seconds", 2, "Option --seconds needs a value"},
        {"--format json", 2, "No input"},
        {"--input tone.wav --device 1", 2, "Give --input or --device, not both"},
        {"--device 1 --bits 20", 2, "Bad value \"20\" for --bits: 16 or 24 is needed"},
        {"--input tone.wav --octave 2", 2, "Bad value \"2\" for --octave: 1, 3, 6, 12 or 24"},
        {"--input tone.wav --spl-sensitivity 250", 2, "from -200 to 200 is needed"},
        {"--input tone.wav --units dbspl", 2, "Bad value \"dbspl\" for --units"},
        {"--input tone.wav --correction bad.frd", 3, "Line 2 of bad.frd"},
    };
    for (const Case& c : cases) {
        const TRunResult r = Measure(c.Args);
        EXPECT_EQ(r.Code, c.Code) << c.Args << ": " << r.Err;
        EXPECT_NE(r.Err.find(c.Message), std::string::npos) << c.Args << ": " << r.Err;
        if (c.Code == 2)
            EXPECT_NE(r.Err.find("Usage: phonoscale-measure"), std::string::npos) << c.Args;
        else
            EXPECT_EQ(r.Err.find("Usage:"), std::string::npos) << c.Args;
    }

    const TRunResult help = Measure("--help");
    EXPECT_EQ(help.Code, 0);
    EXPECT_NE(help.Out.find("--save-spectrum FILE"), std::string::npos);
}

// The chosen unit beside dB re a full-scale sine: a half-scale 1 kHz sine with a full scale of
// 2 V rms is 1 V, 2.218 dBu (re sqrt(0.6) V); A weighting is 0 dB at 1 kHz; with a sensitivity
// of 120 dB SPL it reads 113.98 dB SPL(A) (N = 16384: the weighting is straight across the
// tone's main lobe).
TEST_F(MeasureCli, UnitsCalibrationAndWeightingInTheReadings) {
    Sox("-n -r 48000 -b 24 -c 2 tone.wav synth 1 sine 1000 vol 0.5");
    const struct {
        const char* Args;
        double Value;
        const char* Unit;
    } cases[] = {
        {"--units dbu --cal-volts 2 --weighting a --length 16384",
         20.0 * std::log10(1.0 / std::sqrt(0.6)), "dBu(A)"},
        {"--units vrms --cal-volts 2", 1.0, "V"},
        {"--units spl --spl-sensitivity 120 --weighting a --length 16384", 120.0 + HalfScaleDb,
         "dB SPL(A)"},
        {"--units dbfs --weighting z", HalfScaleDb, "dBFS(Z)"},
    };
    for (const auto& c : cases) {
        const TRunResult r = Measure(std::string("--input tone.wav --format json ") + c.Args);
        ASSERT_EQ(r.Code, 0) << c.Args << ": " << r.Err;
        EXPECT_NEAR(JsonNumber(r.Out, "sn_value"), c.Value, 0.005) << c.Args;
        EXPECT_EQ(LastJsonLine(r.Out)["unit"], c.Unit) << c.Args;
    }
}

// --octave 3 adds the third-octave bands to the final JSON line: a tone at 1 kHz reads its level
// in the 1 kHz band; bands narrower than two bins at N = 8192 (up to 50 Hz) have "db" null and
// "resolved" false. CSV gets a column per band, the text a table after the final line.
TEST_F(MeasureCli, OctaveBandsOnTheFinalLine) {
    Sox("-n -r 48000 -b 24 -c 1 tone.wav synth 1 sine 1000 vol 0.5");
    const TRunResult r = Measure("--input tone.wav --format json --length 8192 --octave 3");
    ASSERT_EQ(r.Code, 0) << r.Err;
    const nlohmann::json bands = LastJsonLine(r.Out)["bands"];
    ASSERT_EQ(bands.size(), 34u); // 10 Hz ... 20 kHz
    for (const auto& band : bands) {
        const double center = band["center_hz"].get<double>();
        EXPECT_EQ(band["resolved"].get<bool>(), center > 51.0) << center;
        EXPECT_EQ(band["db"].is_null(), center < 51.0) << center;
        EXPECT_NEAR(band["lo_hz"].get<double>() * band["hi_hz"].get<double>(), center * center,
                    1e-3 * center * center);
        if (center == 1000.0) {
            EXPECT_NEAR(band["db"].get<double>(), HalfScaleDb, 0.01);
        }
    }
    EXPECT_EQ(r.Out.find("\"bands\""), r.Out.rfind("\"bands\"")); // the final line only

    const TRunResult csv = Measure("--input tone.wav --format csv --length 8192 --octave 1");
    ASSERT_EQ(csv.Code, 0) << csv.Err;
    EXPECT_NE(csv.Out.find(",band_15.8_db,band_31.6_db,"), std::string::npos) << csv.Out;
    EXPECT_NE(csv.Out.find(",band_1000_db,"), std::string::npos);
    const TRunResult text = Measure("--input tone.wav --length 8192 --octave 1");
    ASSERT_EQ(text.Code, 0) << text.Err;
    EXPECT_NE(text.Out.find("1/1 octave bands, Leq over the run"), std::string::npos) << text.Out;
}

// Everything after the "blocks" count of the final line (the readings and their texts).
std::string FinalReadings(const std::string& out) {
    const auto lineStart = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
    return out.substr(lineStart == std::string::npos ? 0 : lineStart + 1);
}

TEST_F(MeasureCli, SetupFileOfTheWindowSetsTheMeasurementAndOptionsOverrideIt) {
    Sox("-n -r 48000 -b 24 -c 1 l.wav synth 1 sine 1000 vol 0.5");
    Sox("-n -r 48000 -b 24 -c 1 r.wav synth 1 sine 5000 vol 0.25");
    Sox("-M l.wav r.wav lr.wav");
    // Written by hand in the window's form: CR LF, 23-character reals, rows of other settings
    // between, the band's top above half the rate (the window's sliders limit it).
    std::ofstream(Path("right.ini"), std::ios::binary)
        << "SoundDevice=0\r\nFrameRate= 4.80000000000000E+0004\r\nADCResolution=0\r\n"
           "SampleLength=6\r\nAveraging=0\r\nChannels=1\r\nDisplay=0\r\nRefLeveldB=0\r\n"
           "RefLevel= 0.00000000000000E+0000\r\nRefV= 1.00000000000000E+0000\r\n"
           "Normalized=0\r\nCutOn=2000\r\nCutOff=40000\r\nNFont=18\r\nWinType=5\r\n"
           "Top= 0.00000000000000E+0000\r\nOffset= 0.00000000000000E+0000\r\n"
           "Averaging=1000\r\nUDigs=5\r\nFWeight=0\r\n";
    const TRunResult setup = Measure("--input lr.wav --format json --setup right.ini");
    ASSERT_EQ(setup.Code, 0) << setup.Err;
    EXPECT_NEAR(JsonNumber(setup.Out, "peak_hz"), 5000.0, 0.05);
    EXPECT_NEAR(JsonNumber(setup.Out, "s_db"), 20.0 * std::log10(0.25), 0.005);
    EXPECT_EQ(JsonNumber(setup.Out, "blocks"), 11.0); // 48000 samples in blocks of 4096
    // The same as the options that say it.
    const TRunResult options = Measure("--input lr.wav --format json --length 4096 "
                                       "--time-constant 0 --channel right --units db "
                                       "--band 2000:24000 --window flattop --digits 5");
    ASSERT_EQ(options.Code, 0) << options.Err;
    EXPECT_EQ(FinalReadings(setup.Out), FinalReadings(options.Out));
    // The command line overrides the file.
    const TRunResult left = Measure("--setup right.ini --input lr.wav --format json "
                                    "--channel left --band 0:24000");
    ASSERT_EQ(left.Code, 0) << left.Err;
    EXPECT_NEAR(JsonNumber(left.Out, "peak_hz"), 1000.0, 0.05);
    EXPECT_NEAR(JsonNumber(left.Out, "s_db"), HalfScaleDb, 0.005);
    EXPECT_EQ(JsonNumber(left.Out, "blocks"), 11.0);

    // Calibrated readings: dBm, shown level = raw level - reference level + offset.
    std::ofstream(Path("cal.ini"), std::ios::binary)
        << "Display=0\r\nRefLevel= 1.00000000000000E+0001\r\nNormalized=1\r\n"
           "Offset= 2.00000000000000E+0000\r\n";
    const TRunResult cal = Measure("--input l.wav --format json --setup cal.ini");
    ASSERT_EQ(cal.Code, 0) << cal.Err;
    EXPECT_NEAR(JsonNumber(cal.Out, "sn_db"), HalfScaleDb - 8.0, 0.005);
    EXPECT_NEAR(JsonNumber(cal.Out, "s_db"), HalfScaleDb - 8.0, 0.005);
    EXPECT_NE(cal.Out.find("dBm"), std::string::npos) << cal.Out;

    const TRunResult missing = Measure("--input l.wav --setup none.ini");
    EXPECT_EQ(missing.Code, 3);
    EXPECT_NE(missing.Err.find("Cannot read set-up file none.ini"), std::string::npos)
        << missing.Err;
    const TRunResult sound = Measure("--input l.wav --setup l.wav");
    EXPECT_EQ(sound.Code, 3);
    EXPECT_NE(sound.Err.find("holds none of the measurement settings"), std::string::npos)
        << sound.Err;
    // Options are checked before the file is read.
    const TRunResult bad = Measure("--input l.wav --setup right.ini --length 1000");
    EXPECT_EQ(bad.Code, 2);
}

// The same tone through the private sound server's loop (capture from its monitor) reads as
// the file does.
TEST_F(MeasureCli, DeviceThroughTheSoundServerLoopReadsAsTheFile) {
    Sox("-n -r 48000 -b 16 -c 2 tone.wav synth 1 sine 1000 vol 0.5");
    const TRunResult file = Measure("--input tone.wav --format json --length 8192 --window 5");
    ASSERT_EQ(file.Code, 0) << file.Err;

    const std::string server = "'" PS_SOURCE_DIR "/scripts/sound-server.sh'";
    const std::string start = "export PS_SOUND_DIR='" + Path("sound").string() + "'; eval \"$(" +
                              server + " start 2>/dev/null)\" || exit 77; ";
    if (std::system(("(" + start + server + " stop) >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no private sound server on this machine";
    const std::string command =
        "cd '" + dir_.string() + "' && (" + start +
        "sox -n -r 48000 -b 16 -c 2 -t wav - synth 10 sine 1000 vol 0.5 2>/dev/null | "
        "paplay >/dev/null 2>&1 & player=$!; sleep 1.5; '" PS_MEASURE_PROGRAM
        "' --device 'PulseAudio Sound Server' --seconds 2 --format json --length 8192 "
        "--window 5 >out.txt 2>err.txt; code=$?; kill $player; " +
        server + " stop >/dev/null 2>&1; exit $code)";
    const int status = std::system(command.c_str());
    const std::string out = ReadAll(Path("out.txt"));
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << ReadAll(Path("err.txt"));
    EXPECT_NEAR(JsonNumber(out, "s_db"), JsonNumber(file.Out, "s_db"), 0.01) << out;
    EXPECT_NEAR(JsonNumber(out, "sn_db"), JsonNumber(file.Out, "sn_db"), 0.01) << out;
    EXPECT_NEAR(JsonNumber(out, "peak_hz"), 1000.0, 0.05) << out;
    EXPECT_EQ(JsonNumber(out, "gaps"), 0.0) << out;
    EXPECT_EQ(JsonNumber(out, "blocks"), 12.0) << out; // ceil(2 s * 48000 / 8192)
}

} // namespace

namespace {

// The sine played on the loop's sink is captured back from its monitor: full scale at rate / 2^p,
// as the server's own recording of the monitor (parec, measured by sox) says too.
TEST_F(MeasureCli, GeneratorPlaysTheCoherentSineIntoTheLoopWhileMeasuring) {
    const std::string server = "'" PS_SOURCE_DIR "/scripts/sound-server.sh'";
    const std::string start = "export PS_SOUND_DIR='" + Path("sound").string() + "'; eval \"$(" +
                              server + " start 2>/dev/null)\" || exit 77; ";
    if (std::system(("(" + start + server + " stop) >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no private sound server on this machine";
    const std::string device = "--device 'PulseAudio Sound Server' --format json --length 8192 "
                               "--window flattop --time-constant 0 ";
    const std::string command =
        "cd '" + dir_.string() + "' && (" + start + "'" PS_MEASURE_PROGRAM "' " + device +
        "--seconds 0.5 >quiet.txt 2>quiet.err; "
        "parec -d loop.monitor --file-format=wav rec.wav 2>/dev/null & recorder=$!; "
        "'" PS_MEASURE_PROGRAM "' " +
        device +
        "--seconds 3 --generator 6 --output-device 'PulseAudio Sound Server' "
        ">out.txt 2>err.txt; code=$?; kill $recorder; wait $recorder; " +
        server + " stop >/dev/null 2>&1; exit $code)";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << ReadAll(Path("err.txt"));

    // Nothing plays into the loop without the generator.
    const std::string quiet = ReadAll(Path("quiet.txt"));
    EXPECT_LT(JsonNumber(quiet, "sn_db"), -90.0) << quiet;

    const std::string out = ReadAll(Path("out.txt"));
    // 2^31 - 257 of 2^31 - 1: -0.000001 dB; 16-bit samples on the way lose at most 0.0003 dB.
    EXPECT_NEAR(JsonNumber(out, "s_db"), 0.0, 0.001) << out;
    EXPECT_NEAR(JsonNumber(out, "sn_db"), 0.0, 0.001) << out;
    // 48000 / 2^6 Hz, 128 whole periods in 8192 samples: exactly on a bin.
    EXPECT_NEAR(JsonNumber(out, "peak_hz"), 750.0, 0.01) << out;
    EXPECT_EQ(JsonNumber(out, "gaps"), 0.0) << out;
    EXPECT_EQ(JsonNumber(out, "blocks"), 18.0) << out; // ceil(3 s * 48000 / 8192)
    EXPECT_NE(ReadAll(Path("err.txt")).find("playing 750 Hz on 02  PulseAudio Sound Server"),
              std::string::npos);

    // The server's recording of the monitor, half a second once the sine has begun: a full-scale
    // sine has an RMS of 1 / sqrt 2.
    const std::string stat = "cd '" + dir_.string() +
                             "' && sox rec.wav -n silence 1 0.01 1% trim 0.2 0.5 stat 2>&1 | "
                             "sed -n 's/^RMS *amplitude: *//p' > rms.txt";
    ASSERT_EQ(std::system(stat.c_str()), 0);
    EXPECT_NEAR(std::strtod(ReadAll(Path("rms.txt")).c_str(), nullptr), std::sqrt(0.5), 0.001);

    // The sine needs a device to measure and one to play on.
    const TRunResult alone = Measure("--input x.wav --generator 6 --output-device 1");
    EXPECT_EQ(alone.Code, 2);
    EXPECT_NE(alone.Err.find("--generator plays on --output-device while measuring --device"),
              std::string::npos)
        << alone.Err;
    EXPECT_EQ(Measure("--device 1 --generator 15 --output-device 1").Code, 2);
    EXPECT_EQ(Measure("--device 1 --output-device 1").Code, 2);
}

} // namespace

namespace {

// A WAV file of `dataBytes` bytes of 16-bit stereo silence at 48 kHz: a hand-written header, then
// a hole (the file system keeps no blocks for it), so a large file costs no disk.
void WriteSparseWav(const fs::path& path, std::uint32_t dataBytes) {
    std::ofstream out(path, std::ios::binary);
    const auto u32 = [&out](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    const auto u16 = [&out](std::uint16_t v) {
        out.put(static_cast<char>(v & 0xFF));
        out.put(static_cast<char>(v >> 8));
    };
    out << "RIFF";
    u32(36 + dataBytes);
    out << "WAVEfmt ";
    u32(16);
    u16(1);         // PCM
    u16(2);         // channels
    u32(48000);     // frames per second
    u32(48000 * 4); // bytes per second
    u16(4);         // bytes per frame
    u16(16);        // bits per sample
    out << "data";
    u32(dataBytes);
    out.close();
    fs::resize_file(path, 44 + static_cast<std::uintmax_t>(dataBytes));
}

// Runs the program on `input` (output to /dev/null); returns its peak resident set in KiB and
// sets `code` to its exit code.
long PeakResidentKiB(const fs::path& input, int& code) {
    // Under the address sanitizer freed blocks wait in a quarantine that grows with the run;
    // without it the sanitized program's memory is as flat as the plain one's.
    const char* const sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string asanOptions = std::string(sanitizer != nullptr ? sanitizer : "") +
                                    ":quarantine_size_mb=0:thread_local_quarantine_size_kb=0";
    const pid_t child = fork();
    if (child == 0) {
        setenv("ASAN_OPTIONS", asanOptions.c_str(), 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::string path = input.string();
        execl(PS_MEASURE_PROGRAM, PS_MEASURE_PROGRAM, "--input", path.c_str(), "--format", "csv",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return -1;
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return usage.ru_maxrss;
}

// The file is read as a stream: the peak memory of a run does not grow with the file. The file
// here is 128 MiB (about three quarters of an hour of CD-rate stereo) to keep the test short;
// MEASURE_LARGE_FILE_MB=2048 in the environment makes it a 2 GiB one.
TEST(MeasureLargeFile, MemoryStaysFlatWhateverTheFileSize) {
    const char* const sizeText = std::getenv("MEASURE_LARGE_FILE_MB");
    const long megabytes = sizeText != nullptr ? std::strtol(sizeText, nullptr, 10) : 128;
    ASSERT_GT(megabytes, 8);
    ASSERT_LE(megabytes, 4095);
    char pattern[] = "/tmp/ps-measure-large-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    WriteSparseWav(dir / "small.wav", 4u << 20);
    WriteSparseWav(dir / "large.wav", static_cast<std::uint32_t>(megabytes << 20) - 64);

    int smallCode = -1, largeCode = -1;
    const long small = PeakResidentKiB(dir / "small.wav", smallCode);
    const long large = PeakResidentKiB(dir / "large.wav", largeCode);
    fs::remove_all(dir);
    std::cout << "peak resident set: " << small << " KiB for 4 MiB, " << large << " KiB for "
              << megabytes << " MiB\n";
    EXPECT_EQ(smallCode, 0);
    EXPECT_EQ(largeCode, 0);
    ASSERT_GT(small, 0);
    // A few MiB of slack for the allocator; the file itself is at least twice as large as the
    // whole program (about 20 times for the plain build at 128 MiB, 3.5 times under the
    // sanitizers, 300 times at 2 GiB), so a program that kept it would show.
    EXPECT_LT(large, small + 4096);
    EXPECT_LT(large, megabytes * 1024 / 2);
}

} // namespace

namespace {

// Runs `command` through /bin/sh with standard error on a new pseudo-terminal (standard output
// stays as the command redirects it); returns what reached the terminal and sets `code`.
std::string RunWithTerminalStderr(const std::string& command, int& code) {
    code = -1;
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return {};
    const std::string slaveName = ptsname(master);
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        const int slave = open(slaveName.c_str(), O_RDWR);
        dup2(slave, STDERR_FILENO);
        close(slave);
        close(master);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::string seen;
    char buffer[256];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0)
            break; // EIO once the last holder of the terminal has gone
        seen.append(buffer, static_cast<std::size_t>(got));
    }
    close(master);
    int status = 0;
    waitpid(child, &status, 0);
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return seen;
}

// A progress line reaches standard error only when that is a terminal and the run lasts more
// than a second: a device run of 2 s shows it (and wipes it at the end), a short file does not,
// and neither does a run whose standard error is a file.
TEST_F(MeasureCli, ProgressLineOnlyOnATerminalAndForRunsOverASecond) {
    Sox("-n -r 48000 -b 16 -c 2 tone.wav synth 1 sine 1000 vol 0.5");
    int code = -1;
    const std::string shortRun = RunWithTerminalStderr(
        "cd '" + dir_.string() + "' && '" PS_MEASURE_PROGRAM "' --input tone.wav >out.txt", code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(shortRun.find("% measured"), std::string::npos) << shortRun;
    EXPECT_NE(ReadAll(Path("out.txt")).find("final: S+N -6.021 dB"), std::string::npos);

    const std::string server = "'" PS_SOURCE_DIR "/scripts/sound-server.sh'";
    const std::string start = "export PS_SOUND_DIR='" + Path("sound").string() + "'; eval \"$(" +
                              server + " start 2>/dev/null)\" || exit 77; ";
    if (std::system(("(" + start + server + " stop) >/dev/null 2>&1").c_str()) != 0)
        GTEST_SKIP() << "no private sound server on this machine";
    const std::string device = "'" PS_MEASURE_PROGRAM "' --device 'PulseAudio Sound Server' "
                               "--seconds 2 --format csv >out.txt";
    const std::string terminal =
        RunWithTerminalStderr("cd '" + dir_.string() + "' && " + start + device + "; code=$?; " +
                                  server + " stop >/dev/null 2>/dev/null; exit $code",
                              code);
    EXPECT_EQ(code, 0) << terminal;
    EXPECT_NE(terminal.find("\rphonoscale-measure: "), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("% measured"), std::string::npos) << terminal;
    // Wiped at the end: the last thing on the terminal is a carriage return after blanks.
    ASSERT_FALSE(terminal.empty());
    EXPECT_EQ(terminal.back(), '\r') << terminal;
    // The readings themselves went to standard output only.
    EXPECT_EQ(terminal.find("final"), std::string::npos) << terminal;
    EXPECT_NE(ReadAll(Path("out.txt")).find("\nfinal,"), std::string::npos);

    const int toFile =
        std::system(("cd '" + dir_.string() + "' && (" + start + device + " 2>err.txt; code=$?; " +
                     server + " stop >/dev/null 2>&1; exit $code)")
                        .c_str());
    EXPECT_TRUE(WIFEXITED(toFile) && WEXITSTATUS(toFile) == 0);
    EXPECT_EQ(ReadAll(Path("err.txt")).find("measured"), std::string::npos);
}

} // namespace
