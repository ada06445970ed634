// SPDX-License-Identifier: GPL-3.0-or-later
// phonoscale-measure --slm and --loudness on a 24-bit WAV that sox writes: fields and levels.
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

std::pair<int, std::string> RunIn(const fs::path& dir, const std::string& command) {
    const int status =
        std::system(("cd '" + dir.string() + "' && " + command + " >out.txt 2>err.txt").c_str());
    std::ifstream in(dir / "out.txt");
    std::stringstream text;
    text << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

} // namespace

// A 1 kHz sine of peak -23 dBFS on both channels, 10 s at 48 kHz, --channel sum (the loudness
// meter takes both channels, the sound level meter left + right), C-weighted with a full-scale
// sine standing for 94 dB SPL: LCeq and LCF 71.0 + 6.02 dB SPL; integrated loudness -23.0 LUFS,
// true and sample peak -23 dB; the block lines carry the momentary loudness only; bad values of
// the new options are refused.
TEST(MeasureLevels, SineFileInJson) {
    char pattern[] = "/tmp/ps-levels-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    const double amplitude = std::pow(10.0, -23.0 / 20.0);
    ASSERT_EQ(RunIn(dir, "sox -n -r 48000 -b 24 -c 2 t.wav synth 10 sine 1000 vol " +
                             std::to_string(amplitude))
                  .first,
              0);
    const auto [code, out] =
        RunIn(dir, "'" PS_MEASURE_PROGRAM "' --input t.wav --length 8192 "
                   "--slm --loudness --channel sum --weighting c --spl-sensitivity 94 "
                   "--format json");
    ASSERT_EQ(code, 0) << out;
    std::istringstream lines(out);
    std::string first, line, last;
    std::getline(lines, first);
    while (std::getline(lines, line))
        if (!line.empty())
            last = line;
    const nlohmann::json block = nlohmann::json::parse(first);
    EXPECT_TRUE(block.contains("lufs_m"));
    EXPECT_FALSE(block.contains("lufs_i"));
    const nlohmann::json r = nlohmann::json::parse(last);
    const double sumDb = 20.0 * std::log10(2.0); // the sound level meter takes left + right
    EXPECT_NEAR(r["lceq"].get<double>(), 71.0 + sumDb, 0.02);
    EXPECT_NEAR(r["lcf"].get<double>(), 71.0 + sumDb, 0.02);
    EXPECT_TRUE(r.contains("lcpeak"));
    EXPECT_NEAR(r["lufs_i"].get<double>(), -23.0, 0.1);
    EXPECT_NEAR(r["lufs_m_max"].get<double>(), -23.0, 0.1);
    EXPECT_NEAR(r["true_peak_dbtp"].get<double>(), -23.0, 0.2);
    EXPECT_NEAR(r["sample_peak_dbfs"].get<double>(), -23.0, 0.01);
    EXPECT_TRUE(r.contains("lra_lu"));

    for (const char* bad : {"--spl-sensitivity x", "--weighting b"})
        EXPECT_EQ(
            RunIn(dir, "'" PS_MEASURE_PROGRAM "' --input t.wav --slm " + std::string(bad)).first, 2)
            << bad;
    fs::remove_all(dir);
}
