// SPDX-License-Identifier: GPL-3.0-or-later
// The Spectrogram, Octave Bands and Loudness tabs in the window: recording only while shown (or
// on while hidden), read-outs, the picture through the "Clipboard" menu and the CSV file.
#include "WindowRig.h"

#include "ui/loudness/LoudnessTab.h"
#include "ui/octave/OctaveTab.h"
#include "ui/response/ResponseTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/spectrogram/SpectrogramTab.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

using namespace uitest;

namespace {

template <typename Tab> Tab* FindTab(Window& w) {
    for (const auto& tab : w.form->Instruments())
        if (auto* found = dynamic_cast<Tab*>(tab.get()))
            return found;
    ADD_FAILURE() << "tab missing";
    return nullptr;
}

} // namespace

// The spectrogram records only while its page is shown and not paused; a tone shows at its
// frequency and level under the cursor; "Clipboard" > "Spectrogram to ..." copies the page at the
// screenshot size and puts the window back as it was.
TEST(InstrumentViews, SpectrogramRecordsWhenShownReadsOutAndCopiesItsPicture) {
    Window w(kBothWays, {}, [](TFormEnvironment& env) {
        env.ChoosePictureFile = [](const QString&) { return QString(); };
    });
    TSpectrogramTab* tab = FindTab<TSpectrogramTab>(w);
    ASSERT_NE(tab, nullptr);
    auto* pages = w.Find<QTabWidget>("PageControl1");
    w.form->State().Controls.LogF = true;
    w.Find<QPushButton>("SpeedButton1")->click();
    const double toneHz = 21 * 48000.0 / 1024; // on bin 21: 984.4 Hz
    TDataBufferF in = SineBlock(2048, toneHz, 48000.0, 0.5 * 2147483647.0);
    TDataBufferF out(2, TSingleArray(2048));
    w.Deliver(in, out);
    EXPECT_EQ(tab->History().Seconds(), 0.0); // hidden: nothing recorded

    pages->setCurrentWidget(tab->Page);
    for (int k = 0; k < 12; ++k)
        w.Deliver(in, out); // 0.51 s: 12 rows of two 1024-sample blocks (at least 40 ms each)
    EXPECT_EQ(tab->History().RowCount(), 12u);
    tab->BSgPause->click();
    w.Deliver(in, out);
    EXPECT_EQ(tab->History().RowCount(), 12u); // paused
    QApplication::processEvents();

    // Newest row at the top: the pixel of the tone on the log axis fs/N ... fs/2.
    const QRect graph = tab->GraphRect();
    const double fmin = 48000.0 / 1024, fmax = 24000.0, ratio = std::log(fmax / fmin);
    const int x = static_cast<int>(graph.width() * std::log(toneHz / fmin) / ratio);
    const QString text = tab->ReadOut(x, 0);
    const auto match = QRegularExpression("^t 0.469 s   f ([0-9.]+) Hz   -6.0 dB$").match(text);
    ASSERT_TRUE(match.hasMatch()) << text.toStdString();
    EXPECT_NEAR(std::log(match.captured(1).toDouble() / toneHz), 0.0, ratio / graph.width());

    QAction* item = w.form->findChild<QAction*>("SaveSpectrogram");
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), "Spectrogram to ...");
    pages->setCurrentWidget(w.form->TabScope);
    item->trigger();
    const QImage& picture = w.form->Screenshots().LastPicture();
    EXPECT_EQ(picture.size(), QSize(300, 200));
    EXPECT_EQ(pages->currentWidget(), w.form->TabScope);
    EXPECT_TRUE(w.messages.empty());
}

// The octave tab reads a tone in its band (1/1 octave at N = 1024), marks the bands N cannot
// resolve, and saves the readings as CSV.
TEST(InstrumentViews, OctaveBandsReadToneAndSaveCsv) {
    const std::filesystem::path csv = std::filesystem::temp_directory_path() /
                                      ("ps-octave-" + std::to_string(::getpid()) + ".csv");
    Window w;
    TOctaveTab* tab = FindTab<TOctaveTab>(w);
    ASSERT_NE(tab, nullptr);
    tab->ChooseCsvFile = [&csv] { return QString::fromStdString(csv.string()); };
    w.Find<QComboBox>("COctBands")->setCurrentIndex(0);
    w.Find<QTabWidget>("PageControl1")->setCurrentWidget(tab->Page);
    w.Find<QPushButton>("SpeedButton1")->click();
    TDataBufferF in = SineBlock(2048, 1000.0, 48000.0, 0.5 * 2147483647.0);
    TDataBufferF out(2, TSingleArray(2048));
    for (int k = 0; k < 4; ++k)
        w.Deliver(in, out);
    QApplication::processEvents();
    const TOctaveReadings r = tab->Analyser().Readings();
    EXPECT_EQ(r.Blocks, 8);
    bool sawKilo = false;
    for (std::size_t i = 0; i < r.Bands.size(); ++i) {
        const auto& b = r.Bands[i];
        EXPECT_EQ(b.Resolved, b.Band.CenterHz > 130.0) << b.Band.CenterHz; // 125 Hz needs 2048
        if (b.Band.Index == 0) {
            sawKilo = true;
            EXPECT_NEAR(b.LeqDb, -6.02, 0.05);
        }
    }
    EXPECT_TRUE(sawKilo);

    tab->BOctSave->click();
    std::ifstream file(csv);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str().rfind("center_hz,lo_hz,hi_hz,level_db,peak_db,leq_db,resolved\r\n", 0),
              0u);
    EXPECT_NE(text.str().find("\r\n1000.000,707.946,1412.538,"), std::string::npos);
    std::filesystem::remove(csv);
}

// The response tab reads the right input as the left one at half amplitude five samples later,
// saves the response as CSV and loads the file into a memory.
TEST(InstrumentViews, ResponseReadsGainAndDelaySavesAndLoadsAMemory) {
    const std::filesystem::path csv = std::filesystem::temp_directory_path() /
                                      ("ps-response-" + std::to_string(::getpid()) + ".csv");
    Window w;
    TResponseTab* tab = FindTab<TResponseTab>(w);
    ASSERT_NE(tab, nullptr);
    tab->ChooseSaveFile = [&csv] { return QString::fromStdString(csv.string()); };
    tab->ChooseLoadFile = tab->ChooseSaveFile;
    w.Find<QTabWidget>("PageControl1")->setCurrentWidget(tab->Page);
    w.Find<QPushButton>("SpeedButton1")->click();
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.1f * 2147483647.0f);
    std::vector<float> left(40 * 2048 + 5);
    for (float& v : left)
        v = noise(random);
    TDataBufferF out(2, TSingleArray(2048));
    for (std::size_t b = 0; b < 40; ++b) {
        TDataBufferF in(2, TSingleArray(2048));
        for (std::size_t i = 0; i < 2048; ++i) {
            in[0][i] = left[b * 2048 + i + 5];
            in[1][i] = 0.5f * left[b * 2048 + i];
        }
        w.Deliver(in, out);
    }
    QTest::qWait(100); // a refresh
    EXPECT_TRUE(tab->Readings().Valid) << tab->Readings().Problem;
    EXPECT_TRUE(tab->LRespDelay->text().startsWith("Delay 5.00 samples"))
        << tab->LRespDelay->text().toStdString();
    tab->BRespSave->click();
    tab->CRespMem->setCurrentIndex(1);
    tab->BRespLoad->click();
    const TResponseCurve& m = tab->Memory(1);
    ASSERT_EQ(m.FrequencyHz.size(), tab->Readings().FrequencyHz.size());
    for (std::size_t i = 0; i < m.MagnitudeDb.size(); i += 50) {
        EXPECT_NEAR(m.MagnitudeDb[i], -6.0206, 1e-4);
        EXPECT_NEAR(m.PhaseDeg[i], 0.0, 1e-3);
        EXPECT_GT(m.Coherence[i], 0.999);
    }
    std::filesystem::remove(csv);
}

// The loudness tab costs nothing before it is first shown; shown, a half-scale sine on the left
// channel (the channel selected) reads LAeq -6.02 dB and, as one channel, -6.02 - 3.01 LUFS; the
// meters keep measuring while hidden unless "Hidden: stop" is chosen.
TEST(InstrumentViews, LoudnessReadsSineAndMeasuresWhileHidden) {
    Window w;
    TLoudnessTab* tab = FindTab<TLoudnessTab>(w);
    ASSERT_NE(tab, nullptr);
    EXPECT_FALSE(tab->Consumer().Active());
    auto* pages = w.Find<QTabWidget>("PageControl1");
    pages->setCurrentWidget(tab->Page);
    w.Find<QPushButton>("SpeedButton1")->click();
    // 43 whole periods in each block of 2048 at 48 kHz, so that the blocks join without a step.
    TDataBufferF in = SineBlock(2048, 43.0 * 48000.0 / 2048.0, 48000.0, 0.5 * 2147483647.0);
    TDataBufferF out(2, TSingleArray(2048));
    for (int k = 0; k < 12; ++k)
        w.Deliver(in, out);
    QApplication::processEvents();
    const TSoundLevelReadings slm = tab->Meters().Slm.Readings();
    EXPECT_NEAR(slm.LeqDb, -6.02, 0.05);
    const TLoudnessReadings loud = tab->Meters().Loudness.Readings();
    EXPECT_EQ(loud.Channels, 1);
    EXPECT_NEAR(loud.MomentaryLufs, -9.03, 0.1);
    QTRY_VERIFY_WITH_TIMEOUT(w.Find<QLabel>("LSlmLeq")->text() == "LAeq -6.0 dB", 2000);

    pages->setCurrentIndex(0);
    EXPECT_TRUE(tab->Consumer().Active());
    w.Find<QComboBox>("CLoudHidden")->setCurrentIndex(1);
    EXPECT_FALSE(tab->Consumer().Active());
}
