// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure --distortion on a float WAV file written here: the readings through the
// file path, the JSON and CSV fields, and the options' checks.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#ifndef PS_MEASURE_PROGRAM
#error "PS_MEASURE_PROGRAM must name the phonoscale-measure program"
#endif

namespace fs = std::filesystem;

namespace {

// The program's exit code and standard output for these arguments, run in `dir`.
std::pair<int, std::string> Measure(const fs::path& dir, const std::string& args) {
    const std::string command =
        "cd '" + dir.string() + "' && '" PS_MEASURE_PROGRAM "' " + args + " >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    std::ifstream in(dir / "out.txt");
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

// The last line of `text`.
std::string LastLine(const std::string& text) {
    const auto end = text.find_last_not_of('\n');
    const auto start = text.rfind('\n', end);
    return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

} // namespace

// 997 Hz at half scale with H2 at -60 dBc and H3 at -80 dBc in a 32-bit float WAV at 48 kHz,
// four blocks of 65536: the final line holds the closed-form readings (free mode).
TEST(MeasureDistortion, FloatWavReadsItsHarmonicsInJsonAndCsv) {
    char pattern[] = "/tmp/ps-distortion-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    constexpr int rate = 48000;
    constexpr int frames = 4 * 65536;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open((dir / "h.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<float> samples(frames);
    for (int i = 0; i < frames; ++i) {
        const double phase = 2.0 * std::numbers::pi * 997.0 * i / rate;
        samples[static_cast<std::size_t>(i)] =
            static_cast<float>(0.5 * std::sin(phase) + 0.5e-3 * std::sin(2.0 * phase + 0.4) +
                               0.5e-4 * std::sin(3.0 * phase + 1.1));
    }
    ASSERT_EQ(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);

    const auto [code, out] =
        Measure(dir, "--input h.wav --length 65536 --distortion --averages 4 --format json");
    ASSERT_EQ(code, 0) << out;
    const nlohmann::json line = nlohmann::json::parse(LastLine(out));
    EXPECT_EQ(line["distortion_mode"], "free");
    EXPECT_EQ(line["averages"], 4);
    EXPECT_EQ(line["distortion_problem"], "");
    EXPECT_NEAR(line["fundamental_hz"].get<double>(), 997.0, 1e-3);
    EXPECT_NEAR(line["fundamental_db"].get<double>(), 20.0 * std::log10(0.5), 1e-3);
    const double thd = 10.0 * std::log10(1e-6 + 1e-8);
    EXPECT_NEAR(line["thd_db"].get<double>(), thd, 0.01);
    EXPECT_NEAR(line["thd_pct"].get<double>(), 100.0 * std::sqrt(1e-6 + 1e-8), 1e-5);
    EXPECT_NEAR(line["thdn_db"].get<double>(), thd, 0.01);
    EXPECT_NEAR(line["sfdr_db"].get<double>(), 60.0, 0.01);
    ASSERT_EQ(line["harmonics"].size(), 9u);
    EXPECT_EQ(line["harmonics"][0]["order"], 2);
    EXPECT_NEAR(line["harmonics"][0]["hz"].get<double>(), 1994.0, 1e-2);
    EXPECT_NEAR(line["harmonics"][0]["dbc"].get<double>(), -60.0, 0.01);
    EXPECT_NEAR(line["harmonics"][1]["dbc"].get<double>(), -80.0, 0.01);
    for (const char* key : {"thdn_pct", "sinad_db", "snr_db", "enob_bits", "sfdr_hz"})
        EXPECT_TRUE(line[key].is_number()) << key;
    EXPECT_FALSE(line.contains("imd_db"));

    // CSV: the same columns, harmonics as h2_dbc .. hK_dbc; --imd adds its two.
    const auto [csvCode, csv] = Measure(
        dir, "--input h.wav --length 65536 --distortion --harmonics 4 --imd twin --format csv");
    ASSERT_EQ(csvCode, 0) << csv;
    const std::string header = csv.substr(0, csv.find('\n'));
    EXPECT_NE(header.find(",fundamental_hz,fundamental_db,thd_db,thd_pct,thdn_db,thdn_pct,"
                          "sinad_db,snr_db,enob_bits,sfdr_db,sfdr_hz,imd_db,imd_pct,h2_dbc,"
                          "h3_dbc,h4_dbc,distortion_mode,averages,distortion_problem"),
              std::string::npos)
        << header;

    // The analyser's options need --distortion; bad values are refused.
    for (const char* bad :
         {"--harmonics 5", "--distortion --harmonics 21", "--distortion --averages 0",
          "--distortion --imd-tones 60:7000", "--distortion --imd smpte --imd-tones 60:60",
          "--distortion --dist-band 300:200"})
        EXPECT_EQ(Measure(dir, std::string("--input h.wav ") + bad).first, 2) << bad;
    fs::remove_all(dir);
}
