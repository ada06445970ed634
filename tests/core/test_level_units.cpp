// SPDX-License-Identifier: GPL-3.0-or-later
// Units beside dB: calibrated dBu, dBV and V rms, SPL calibration, correction curves and the A
// and C weightings in the spectrum, each against its closed form.
#include "CoreTestRig.h"

#include "analysis/OctaveAnalyser.h"
#include "core/LevelCorrection.h"
#include "core/LevelMeters.h"
#include "core/LevelUnits.h"
#include "dsp/AudioWeighting.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

// 32 ksps and N = 16384: bins of 1.953125 Hz, so every test tone (a multiple of 31.25 Hz) lies on
// a bin, and the Blackman² window's main lobe spans a few hertz only.
constexpr double kRate = 32000.0;
constexpr int kN = 16384;
constexpr double kBinHz = kRate / kN;

// A rig measuring the whole band with the Blackman² window, meters following every block.
struct UnitsRig : CoreTestRig {
    UnitsRig() : CoreTestRig(kN, kRate, 0, 16000) { state.ResetSmoothing = true; }
    // One engine block of a sine of `amplitude` (1.0 = full scale) at freqHz.
    void Tone(double freqHz, double amplitude) {
        state.ResetSmoothing = true;
        Feed(SineSamples(EngineBlockLength(), freqHz, kRate, amplitude * kFullScaleSine));
    }
    double Bin(double freqHz) const {
        return state.Spectrum[static_cast<std::size_t>(std::lround(freqHz / kBinHz))];
    }
};

double Db(double ratio) {
    return 20.0 * std::log10(ratio);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

} // namespace

// A 1 kHz sine of a known voltage: Vfs (the calibration) times its amplitude re full scale.
TEST(LevelUnits, CalibratedSineReadsItsDbuDbvAndVolts) {
    struct Case {
        double FullScaleVrms;
        double Amplitude;
    } cases[] = {{1.0, 0.5}, {2.45, 0.1}, {0.01, 0.9}};
    for (const Case& c : cases) {
        const double volts = c.FullScaleVrms * c.Amplitude;
        UnitsRig rig;
        SetFullScaleVolts(rig.state, c.FullScaleVrms);
        for (const auto& [unit, text, expectedDb] :
             {std::tuple{luDbu, "dBu", Db(volts / std::sqrt(0.6))},
              std::tuple{luDbv, "dBV", Db(volts)}, std::tuple{luVrms, "V", Db(volts)}}) {
            rig.state.Controls.CUnits = unit;
            rig.Tone(1000.0, c.Amplitude);
            const double value = ReadingValue(rig.state, rig.state.SNLevel);
            const double db = unit == luVrms ? Db(value) : value;
            EXPECT_NEAR(db, expectedDb, 0.001) << text << " at " << volts << " V";
            EXPECT_TRUE(EndsWith(rig.state.Texts.LSN, text)) << rig.state.Texts.LSN;
        }
    }
}

// Without a voltage calibration the voltage units read dBFS; without an SPL one, dB SPL too.
TEST(LevelUnits, MissingReferenceFallsBackToDbfs) {
    UnitsRig rig;
    for (const std::int32_t unit : {luDbu, luDbv, luVrms, luSpl}) {
        rig.state.Controls.CUnits = unit;
        rig.Tone(1000.0, 0.5);
        EXPECT_EQ(rig.state.Texts.LSN, "S+N=" + MeterNumber(3, Db(0.5)) + "dBFS") << unit;
    }
}

// "Calibrate SPL" with a 94 dB calibrator, then the same tone 20 dB lower reads 74 dB SPL; a
// second tone less than 30 dB below the calibrator's refuses the calibration.
TEST(LevelUnits, SplCalibrationThenATone20DbLowerReads74) {
    struct Case {
        double OtherDb; // a second tone at 5 kHz, dB re the calibrator's tone
        bool Made;
    } cases[] = {{-200.0, true}, {-35.0, true}, {-25.0, false}};
    for (const Case& c : cases) {
        UnitsRig rig;
        rig.state.Controls.CUnits = luSpl;
        std::vector<float> both =
            SineSamples(rig.EngineBlockLength(), 1000.0, kRate, 0.3 * kFullScaleSine);
        const std::vector<float> other =
            SineSamples(rig.EngineBlockLength(), 5000.0, kRate,
                        0.3 * std::pow(10.0, c.OtherDb / 20.0) * kFullScaleSine);
        for (std::size_t i = 0; i < both.size(); ++i)
            both[i] += other[i];
        rig.Feed(both);
        const TSplCalibration made = CalibrateSpl(rig.state);
        ASSERT_EQ(made.SensitivityDb.has_value(), c.Made) << c.OtherDb << ": " << made.Message;
        if (!c.Made) {
            EXPECT_NE(made.Message.find("30 dB"), std::string::npos) << made.Message;
            EXPECT_FALSE(rig.state.SplSensitivityDb);
            continue;
        }
        EXPECT_NEAR(*made.SensitivityDb, 94.0 - Db(0.3), 0.001);
        rig.Tone(1000.0, 0.03);
        EXPECT_NEAR(ReadingValue(rig.state, rig.state.SNLevel), 74.0, 0.005);
        EXPECT_EQ(rig.state.Texts.LSN, "S+N=" + MeterNumber(3, 74.0) + "dB SPL");
    }
}

// A microphone file in the shape makers ship (a serial-number header, a sensitivity line, a
// column header, three columns) and an interface file of two columns: the deviations read
// exactly at their points and halfway in dB at the log midpoints, held outside. Subtracted in
// the spectrum, in the S+N band level and in a third-octave band.
TEST(LevelUnits, CorrectionCurvesApplyAtTheirPointsAndBetween) {
    const std::string microphone = "\"Sens Factor =-1.5dB, SERNO: 7001234\"\n"
                                   "* measured 2024-03-01\n"
                                   "Freq(Hz)\tSPL(dB)\tPhase(degrees)\n"
                                   "500\t-2.0\t10.5\n"
                                   "2000\t1.0\t-3.0\n"
                                   "8000\t4.0\t-20.0\n";
    const std::string interface = "* interface response\n"
                                  "250 0.5\n"
                                  "4000 -0.5\n";
    TLevelCorrection correction;
    correction.Microphone = ReadCorrectionText(microphone, "mic.txt");
    correction.Interface = ReadCorrectionText(interface, "iface.txt");
    ++correction.Generation;
    // Expected deviations: microphone (with -1.5 offset) plus interface, by hand.
    // Straight: both curves are straight in log f across the tone's main lobe, so the band
    // levels move by the deviation too (at a corner the lobe averages the two slopes).
    const struct {
        double Hz;
        double Db;
        bool Straight;
    } points[] = {
        {500.0, -2.0 - 1.5 + (0.5 - std::log10(2.0) / std::log10(16.0)), false},
        {1000.0, -0.5 - 1.5 + (0.5 - std::log10(4.0) / std::log10(16.0)), true},
        {2000.0, 1.0 - 1.5 + (0.5 - std::log10(8.0) / std::log10(16.0)), false},
        {4000.0, 2.5 - 1.5 - 0.5, false},
        {8000.0, 4.0 - 1.5 - 0.5, false},
        {12000.0, 4.0 - 1.5 - 0.5, true},
        {93.75, -2.0 - 1.5 + 0.5, true},
    };
    UnitsRig flat, corrected;
    TOctaveAnalyser octaveFlat, octaveCorrected;
    for (auto [rig, octave] : {std::pair{&flat, &octaveFlat}, {&corrected, &octaveCorrected}}) {
        octave->SetFraction(3);
        octave->SetActive(true);
        rig->parts.Consumers.push_back(octave);
    }
    corrected.state.Correction = correction;
    for (const auto& p : points) {
        EXPECT_NEAR(correction.DeviationDb(p.Hz), p.Db, 1e-12) << p.Hz;
        flat.Tone(p.Hz, 0.25);
        corrected.Tone(p.Hz, 0.25);
        EXPECT_NEAR(Db(corrected.Bin(p.Hz) / flat.Bin(p.Hz)), -p.Db, 1e-9) << p.Hz;
        if (!p.Straight)
            continue;
        EXPECT_NEAR(corrected.state.SNLevel - flat.state.SNLevel, -p.Db, 0.001) << p.Hz;
        const auto bandOf = [&p](const TOctaveAnalyser& octave) {
            for (const TOctaveBandReading& band : octave.Readings().Bands)
                if (band.Resolved && band.Band.LoHz < p.Hz && p.Hz < band.Band.HiHz)
                    return band.LastDb;
            return std::nan("");
        };
        { EXPECT_NEAR(bandOf(octaveCorrected) - bandOf(octaveFlat), -p.Db, 0.001) << p.Hz; }
    }
}

// A file that cannot serve gives a message naming its line, and the curve in force stays.
TEST(LevelUnits, BadCorrectionFileKeepsTheCurveInForce) {
    TLevelCorrection correction;
    const struct {
        const char* Text;
        const char* Message;
    } cases[] = {
        {"100 1\n1000 x\n", "Line 2 of"},
        {"100 1\n1000 250\n", "Line 2 of"},
        {"Sens Factor =300dB\n100 1\n", "beyond 200 dB"},
        {"0 1\n", "no frequency above 0 Hz"},
    };
    for (const auto& c : cases) {
        const std::string path = ::testing::TempDir() + "/bad-correction.txt";
        {
            std::FILE* file = std::fopen(path.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fputs(c.Text, file);
            std::fclose(file);
        }
        correction.Microphone = TCorrectionCurve({1000.0}, {3.0});
        correction.MicrophoneFile = "good.frd";
        const std::string message = LoadCorrection(correction, TCorrectionSlot::csMicrophone, path);
        EXPECT_NE(message.find(c.Message), std::string::npos) << c.Text << ": " << message;
        EXPECT_EQ(correction.MicrophoneFile, "good.frd");
        EXPECT_EQ(correction.DeviationDb(100.0), 3.0);
    }
}

// A and C weighting in the spectrum: each bin of a tone is scaled by the closed form at the
// bin's frequency, and so is the band level of a tone that stays in its bin; Z changes nothing.
// Unit texts carry the weighting.
TEST(LevelUnits, AAndCWeightingInTheSpectrumFollowTheClosedForm) {
    const struct {
        std::int32_t Weighting;
        double (*Gain)(double);
        const char* Suffix;
    } weightings[] = {
        {3, AWeightDB, "dB(A)"}, {4, CWeightDB, "dB(C)"}, {5, [](double) { return 0.0; }, "dB(Z)"}};
    UnitsRig flat;
    for (const auto& w : weightings) {
        UnitsRig weighted;
        weighted.state.Weighting = w.Weighting;
        weighted.state.Controls.CUnits = luDb;
        for (const double f :
             {31.25, 62.5, 125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0, 12500.0, 15625.0}) {
            flat.Tone(f, 0.5);
            weighted.Tone(f, 0.5);
            EXPECT_NEAR(Db(weighted.Bin(f) / flat.Bin(f)), w.Gain(f), 0.001) << w.Suffix << f;
            // The band level too, where the weighting is straight across the main lobe.
            if (f >= 250.0) {
                EXPECT_NEAR(weighted.state.SNLevel, Db(0.5) + w.Gain(f), 0.001) << w.Suffix << f;
            }
            EXPECT_TRUE(EndsWith(weighted.state.Texts.LSN, w.Suffix)) << weighted.state.Texts.LSN;
        }
    }
    EXPECT_EQ(UnitText(luDbu, true, 3), "dBu(A)");
    EXPECT_EQ(UnitText(luSpl, true, 4), "dB SPL(C)");
}
