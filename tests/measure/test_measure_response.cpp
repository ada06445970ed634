// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure --response: a sox-made file (right = left at half amplitude, 37 samples
// later), the loop of a private sound server measured against our own periodic noise, the
// response files and the options' checks.
#include "files/LevelFile.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#ifndef PS_MEASURE_PROGRAM
#error "PS_MEASURE_PROGRAM must name the phonoscale-measure program"
#endif

namespace fs = std::filesystem;

namespace {

class MeasureResponse : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v sox >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "sox is not installed";
        char pattern[] = "/tmp/ps-response-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (!dir_.empty())
            fs::remove_all(dir_);
    }

    // Runs a shell command in the scratch folder; its exit code.
    int Run(const std::string& command) const {
        const int status = std::system(("cd '" + dir_.string() + "' && (" + command + ")").c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // The last line of out.txt as JSON.
    nlohmann::json Final() const {
        const std::string out = Read("out.txt");
        const auto start = out.rfind('\n', out.size() >= 2 ? out.size() - 2 : 0);
        return nlohmann::json::parse(out.substr(start == std::string::npos ? 0 : start + 1));
    }
    // The largest deviation of level and phase from (db, 0) from 20 Hz to 20 kHz in a response
    // file, and whether it has a coherence column.
    void ExpectFlat(const std::string& name, double db, double dbTolerance,
                    double degTolerance) const {
        const TLevelTable table = ReadLevelFile((dir_ / name).string());
        ASSERT_TRUE(table.HasPhase());
        double level = 0.0, phase = 0.0;
        for (const TLevelRecord& r : table.Records) {
            if (r.FrequencyHz < 20.0 || r.FrequencyHz > 20000.0)
                continue;
            level = std::max(level, std::abs(r.Level - db));
            phase = std::max(phase, std::abs(*r.PhaseDeg));
        }
        EXPECT_LT(level, dbTolerance) << name;
        EXPECT_LT(phase, degTolerance) << name;
    }

    fs::path dir_;
};

} // namespace

// The file path: 24-bit WAV, the right channel at half the left's amplitude (-6.02 dB) and 37
// samples later, as sox writes it; both file formats.
TEST_F(MeasureResponse, SoxFileReadsItsDelayAndGainAndWritesBothFormats) {
    ASSERT_EQ(Run("sox -n -r 48000 -c 1 -b 24 -e signed-integer m.wav synth 3 whitenoise vol 0.3 "
                  "&& sox m.wav -b 24 s.wav remix 1 1v0.5 delay 0 37s"),
              0);
    for (const char* file : {"r.csv", "r.frd"}) {
        ASSERT_EQ(Run("'" PS_MEASURE_PROGRAM "' --input s.wav --length 4096 --response "
                      "--averages 8 --format json --save-response " +
                      std::string(file) + " >out.txt 2>err.txt"),
                  0)
            << Read("err.txt");
        const nlohmann::json line = Final();
        EXPECT_NEAR(line["delay_samples"].get<double>(), 37.0, 1e-3);
        EXPECT_NEAR(line["delay_ms"].get<double>(), 37.0 / 48.0, 1e-5);
        EXPECT_GT(line["coherence_mean"].get<double>(), 0.9999);
        EXPECT_EQ(line["response_points"], 2047);
        EXPECT_EQ(line["response_averages"], 8);
        ExpectFlat(file, 20.0 * std::log10(0.5), 0.001, 0.01);
    }
    EXPECT_NE(Read("r.csv").find("frequency_hz,level_db,phase_deg,coherence\r\n"),
              std::string::npos);
}

// Our own white periodic noise through the sound server's loop (sink to monitor), our output as
// the reference: flat within 0.01 dB and 0.1 degree once the loop's delay is taken out.
TEST_F(MeasureResponse, TheSoundServersLoopIsFlatAgainstOurOutput) {
    const std::string server = "'" PS_SOURCE_DIR "/scripts/sound-server.sh'";
    const std::string start = "export PS_SOUND_DIR='" + (dir_ / "sound").string() + "'; eval \"$(" +
                              server + " start 2>/dev/null)\" || exit 77; ";
    const int code = Run(start +
                         "'" PS_MEASURE_PROGRAM "' --device 'PulseAudio Sound Server' "
                         "--output-device 'PulseAudio Sound Server' --stimulus white "
                         "--response --reference output --length 4096 --seconds 3 "
                         "--format json --save-response loop.csv >out.txt 2>err.txt; "
                         "code=$?; " +
                         server + " stop >/dev/null 2>&1; exit $code");
    if (code == 77)
        GTEST_SKIP() << "no private sound server on this machine";
    ASSERT_EQ(code, 0) << Read("err.txt");
    const nlohmann::json line = Final();
    std::printf("loop delay %s samples\n", line["delay_samples"].dump().c_str());
    EXPECT_GT(line["delay_samples"].get<double>(), 0.0);
    EXPECT_GT(line["coherence_mean"].get<double>(), 0.9999);
    ExpectFlat("loop.csv", 0.0, 0.01, 0.1);
}

// Options that cannot be run together are refused with exit code 2 and a reason.
TEST_F(MeasureResponse, OptionsThatDoNotFitAreRefused) {
    const struct {
        const char* Args;
        const char* Reason;
    } cases[] = {
        {"--input x.wav --response --reference output", "--reference output needs --stimulus"},
        {"--input x.wav --response --smoothing 1/5", "Bad value \"1/5\" for --smoothing"},
        {"--input x.wav --averages 4", "--averages needs --distortion or --response"},
        {"--input x.wav --smoothing 1/3", "--smoothing needs --response"},
        {"--input x.wav --response --stimulus pink", "--stimulus plays on --output-device"},
        {"--device 1 --output-device 1 --generator 6 --stimulus white", "not both"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run("'" PS_MEASURE_PROGRAM "' " + std::string(c.Args) + " >out.txt 2>err.txt"), 2)
            << c.Args;
        EXPECT_NE(Read("err.txt").find(c.Reason), std::string::npos) << Read("err.txt");
    }
}
