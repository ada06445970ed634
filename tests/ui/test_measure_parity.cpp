// SPDX-License-Identifier: GPL-3.0-or-later
// The window and phonoscale-measure's run, set up from the same set-up file and fed the same
// blocks, show the same meter texts.
#include "WindowRig.h"
#include "measure/MeasureRun.h"
#include "measure/MeasureSetup.h"

#include <QLabel>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>

namespace {

using namespace uitest;

// Engine block k of a test signal: tones of different level on the two channels, a weaker
// second tone, a little noise and a level step halfway, so that smoothing and the band matter.
TDataBufferF TestBlock(int k, std::uint32_t& noise) {
    constexpr int Length = 2048;
    constexpr double Rate = 48000.0;
    constexpr double Full = 2147483647.0;
    TDataBufferF block(2, TSingleArray(Length));
    const double step = k < 6 ? 0.5 : 0.2;
    for (int i = 0; i < Length; ++i) {
        const double t = (static_cast<double>(k) * Length + i) / Rate;
        noise = noise * 1664525u + 1013904223u; // a fixed sequence, the same for both
        const double n = (static_cast<double>(noise >> 8) / 16777216.0 - 0.5) * 2e-4;
        const double left = step * std::sin(2 * M_PI * 1234.5 * t) +
                            0.01 * std::sin(2 * M_PI * 7000.0 * t + 0.3) + n;
        const double right =
            0.3 * std::sin(2 * M_PI * 440.0 * t) + 0.05 * std::sin(2 * M_PI * 3000.0 * t) + n;
        block[0][static_cast<std::size_t>(i)] = static_cast<float>(Full * left);
        block[1][static_cast<std::size_t>(i)] = static_cast<float>(Full * right);
    }
    return block;
}

struct TParityCase {
    const char* Rows; // the rows that differ between the cases
    const char* Name;
};

TEST(MeasureParity, WindowAndMeasureRunShowTheSameTextsForTheSameSetupAndBlocks) {
    const TParityCase cases[] = {
        {"Channels=0\r\nDisplay=0\r\nNormalized=1\r\nWinType=4\r\nUDigs=4\r\nFWeight=1\r\n",
         "left, dBm, Hamming, psophometric"},
        {"Channels=1\r\nDisplay=2\r\nNormalized=0\r\nWinType=5\r\nUDigs=3\r\nFWeight=0\r\n",
         "right, Veff, flat top"},
        {"Channels=2\r\nDisplay=1\r\nNormalized=1\r\nWinType=2\r\nUDigs=6\r\nFWeight=2\r\n",
         "sum, Vpp, C-message"},
    };
    for (const TParityCase& c : cases) {
        SCOPED_TRACE(c.Name);
        Window w;
        // The set-up goes into the window through its reader; its own writer saves it again
        // with every key, and that file sets up the run without a window.
        const std::string handWritten = w.folder + "/bench.ini";
        const std::string saved = w.folder + "/saved.ini";
        std::ofstream(handWritten, std::ios::binary)
            << "FrameRate= 4.80000000000000E+0004\r\nADCResolution=1\r\nSampleLength=5\r\n"
               "Averaging=0.3\r\n"
            << c.Rows
            << "RefLeveldB=10\r\nRefLevel= 3.50000000000000E+0000\r\n"
               "RefV= 1.50000000000000E+0000\r\nCutOn=200\r\nCutOff=15000\r\n"
               "Offset= 1.25000000000000E+0000\r\nAveraging=1000\r\nSpecTMode=0\r\n";
        w.form->ReadSettings(QString::fromStdString(handWritten));
        w.form->WriteSettings(QString::fromStdString(saved));
        TMeasureOptions options;
        ApplySetupFile(saved, options);
        ASSERT_EQ(options.Length, 2048);
        ASSERT_EQ(options.BandLow, 200);
        TMeasureRun run(options, options.Rate);

        w.Find<QPushButton>("SpeedButton1")->click();
        ASSERT_TRUE(w.form->Sampling());
        w.form->FormKeyDown(Qt::Key_R); // the run starts its meters afresh, as "r" does

        QLabel* const lsnM = w.Find<QLabel>("LSN_M");
        QLabel* const ls = w.Find<QLabel>("LS");
        QLabel* const lsp = w.Find<QLabel>("LSp");
        std::uint32_t noiseWindow = 1, noiseRun = 1;
        TDataBufferF out(2, TSingleArray(2048));
        for (int k = 0; k < 12; ++k) {
            TDataBufferF forWindow = TestBlock(k, noiseWindow);
            TDataBufferF forRun = TestBlock(k, noiseRun);
            w.Deliver(forWindow, out);
            ASSERT_TRUE(run.Feed(forRun, 2048));
            const TMeasureReading r = run.Reading();
            EXPECT_EQ(lsnM->text().toStdString(), r.SNText) << "block " << k;
            EXPECT_EQ(ls->text().toStdString(), r.SText) << "block " << k;
            EXPECT_EQ(lsp->text().toStdString(), r.SpecialText) << "block " << k;
        }
        // The texts are readings, not placeholders.
        EXPECT_EQ(lsnM->text().indexOf("__"), -1) << lsnM->text().toStdString();
        EXPECT_EQ(lsp->text().indexOf("Hz"), lsp->text().size() - 2) << lsp->text().toStdString();
        w.Find<QPushButton>("SpeedButton1")->click();
    }
}

} // namespace
