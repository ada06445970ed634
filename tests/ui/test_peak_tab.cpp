// SPDX-License-Identifier: GPL-3.0-or-later
// The peak recorder and detector tabs under the offscreen platform: chart pixels, pause, range
// panel, capacity, trace file and the detector figures, in a window driven by a mock engine.
#include "WindowRig.h"

#include "instruments/PeakRecorder.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/detector/DetectorTab.h"
#include "ui/peak/PeakTab.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace uitest;

namespace {

constexpr TColour kBlue = 0xFF0000u; // low byte red
constexpr TColour kRed = 0x0000FFu;

class PeakChart : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<QWidget>();
        page->setObjectName("TabPeak");
        page->resize(601, 401);
        hooks.Common.ReportError = [this](const std::string& m) { messages.push_back(m); };
        hooks.Sampling = [this] { return sampling; };
        tab = std::make_unique<TPeakTab>(page.get(), state, hooks);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }
    void TearDown() override {
        tab.reset();
        page.reset();
    }
    QImage Grab() {
        QApplication::processEvents();
        return page->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QColor Colour(TColour colour) const { return ToQColor(colour, page->palette()); }
    // Pixels of `colour` inside the rectangle.
    static int Count(const QImage& image, const QRect& box, const QColor& colour) {
        int n = 0;
        for (int y = std::max(0, box.top()); y <= std::min(image.height() - 1, box.bottom()); ++y)
            for (int x = std::max(0, box.left()); x <= std::min(image.width() - 1, box.right());
                 ++x)
                n += image.pixelColor(x, y) == colour;
        return n;
    }

    // Pixels of text in pure blue or red inside the rectangle: glyph edges are blended with the
    // background, so a pixel counts when its own channel stands out of the other two.
    static int TextPixels(const QImage& image, const QRect& box, const QColor& colour) {
        const bool blue = colour.blue() > colour.red();
        int n = 0;
        for (int y = std::max(0, box.top()); y <= std::min(image.height() - 1, box.bottom()); ++y)
            for (int x = std::max(0, box.left()); x <= std::min(image.width() - 1, box.right());
                 ++x) {
                const QColor p = image.pixelColor(x, y);
                const int own = blue ? p.blue() : p.red();
                const int other =
                    blue ? std::max(p.red(), p.green()) : std::max(p.blue(), p.green());
                n += own - other > 50;
            }
        return n;
    }

    MeasurementState state;
    TPeakTabHooks hooks;
    std::unique_ptr<QWidget> page;
    std::unique_ptr<TPeakTab> tab;
    std::vector<std::string> messages;
    bool sampling = false;
};

TEST_F(PeakChart, TracesLieWhereTheMappingPutsThem) {
    ASSERT_TRUE(tab->ApplyBufferSize(200));
    // 200 points: the older half at 5 kHz / -70 dB, the newer half at 15 kHz / -30 dB.
    for (int i = 0; i < 200; ++i)
        state.PeakLog[i] =
            i < 100 ? TPeakLogEntry{5000.0f, -70.0f} : TPeakLogEntry{15000.0f, -30.0f};
    state.PeakLogIndex = 0;
    state.PeakLogWrapped = true;
    const int w = tab->PaintPeak->width(), h = tab->PaintPeak->height();
    ASSERT_EQ(w, 601);
    const auto freq = PeakTracePixels(state.PeakLog, 0, true, false, 0.0, 20000.0, w, h);
    const auto level = PeakTracePixels(state.PeakLog, 0, true, true, -100.0, 0.0, w, h);

    tab->ApplyDrawLevel(false);
    QImage image = Grab();
    const QColor blue = Colour(kBlue), red = Colour(kRed);
    // Points on the flat stretches (the trace is drawn over the grid and time lines).
    for (int j : {20, 60, 140, 180}) {
        const auto& p = freq[static_cast<std::size_t>(j)];
        EXPECT_EQ(image.pixelColor(p.X + 1, p.Y), blue) << "point " << j;
    }
    EXPECT_EQ(freq[20].Y, PeakValueToY(15000.0, 0.0, 20000.0, h));
    EXPECT_EQ(Count(image, QRect(0, 0, w, h), red), 0);

    tab->ApplyDrawFrequency(false);
    tab->ApplyDrawLevel(true);
    image = Grab();
    for (int j : {20, 60, 140, 180}) {
        const auto& p = level[static_cast<std::size_t>(j)];
        EXPECT_EQ(image.pixelColor(p.X + 1, p.Y), red) << "point " << j;
    }
    EXPECT_EQ(level[150].Y, PeakValueToY(-70.0, -100.0, 0.0, h));
    EXPECT_EQ(Count(image, QRect(0, 15, w, h - 15), blue), 0);
}

TEST_F(PeakChart, GridLabelsSitJustBelowTheirLines) {
    tab->ApplyDrawLevel(false);
    const int w = tab->PaintPeak->width(), h = tab->PaintPeak->height();
    const int textHeight = QFontMetrics(page->font()).height();
    QImage image = Grab();
    const QColor black = Colour(0), blue = Colour(kBlue), red = Colour(kRed);
    // Frequency grid 0 .. 20 kHz in steps of 2 kHz; the 2 kHz line and "2kHz" at the left.
    const int y2k = PeakValueToY(2000.0, 0.0, 20000.0, h);
    EXPECT_EQ(image.pixelColor(w / 3, y2k), black);
    EXPECT_NE(image.pixelColor(w / 3, PeakValueToY(3000.0, 0.0, 20000.0, h)), black);
    EXPECT_GT(TextPixels(image, QRect(2, y2k + 1, 40, textHeight), blue), 10);
    EXPECT_EQ(TextPixels(image, QRect(2, y2k - textHeight, 40, textHeight - 1), blue), 0);
    EXPECT_EQ(TextPixels(image, QRect(w - 60, y2k + 1, 55, textHeight), blue), 0);
    EXPECT_EQ(image.pixelColor(w / 3, PeakValueToY(10000.0, 0.0, 20000.0, h)), black);

    // Level labels in the level trace colour at the right edge: "-50dB" below the -50 dB line.
    tab->ApplyDrawFrequency(false);
    tab->ApplyDrawLevel(true);
    image = Grab();
    const int y50 = PeakValueToY(-50.0, -100.0, 0.0, h);
    EXPECT_EQ(image.pixelColor(w / 3, y50), Colour(0xFFFFFFu));
    EXPECT_GT(TextPixels(image, QRect(w - 60, y50 + 1, 57, textHeight), red), 10);
    EXPECT_EQ(TextPixels(image, QRect(2, y50 + 1, 50, textHeight), red), 0);
    EXPECT_EQ(TextPixels(image, QRect(w - 60, y50 - textHeight, 57, textHeight - 1), red), 0);
    // The upper limit's line would be at y 0: neither line nor label.
    EXPECT_EQ(TextPixels(image, QRect(w - 60, 1, 57, textHeight), red), 0);
}

TEST_F(PeakChart, TimeLinesAtTheirSeconds) {
    // 200 blocks of 1024 at 48 kHz: T = 4.27 s, step 1 s, T / step < 6: lines every 0.5 s.
    ASSERT_TRUE(tab->ApplyBufferSize(200));
    tab->ApplyDrawLevel(false);
    const int w = tab->PaintPeak->width(), h = tab->PaintPeak->height();
    const TPeakTimeAxis axis = PeakTimeAxis(200, 1024, 48000);
    QImage image = Grab();
    const int x1 = PeakTimeToX(1.0, axis.Span, w);
    EXPECT_EQ(image.pixelColor(x1, h / 2 + 7), Colour(0));
    EXPECT_NE(image.pixelColor(x1 + 3, h / 2 + 7), Colour(0));
}

TEST_F(PeakChart, TextsOnceInAColourOfTheirOwnAndNothingForSlotsNotRecorded) {
    // Default colours: level grid white over the light button face.
    ASSERT_TRUE(tab->ApplyBufferSize(200));
    for (int i = 0; i < 3; ++i) // three points near the top of both displays
        state.PeakLog[static_cast<std::size_t>(i)] = {19500.0f, -2.0f};
    state.PeakLogIndex = 3;
    state.PeakLogWrapped = false;
    const int w = tab->PaintPeak->width(), h = tab->PaintPeak->height();
    const int textHeight = QFontMetrics(page->font()).height();
    ASSERT_GT(Colour(ButtonFaceColour).lightness(), 150);
    const QImage image = Grab();
    // "time resolution = 21.3 ms" at the top right, in dark text.
    int dark = 0;
    const QRect resolution(w - 200, 1, 198, textHeight);
    for (int y = resolution.top(); y <= resolution.bottom(); ++y)
        for (int x = resolution.left(); x <= resolution.right(); ++x)
            dark += image.pixelColor(x, y).lightness() < 80;
    EXPECT_GT(dark, 20);
    // The newest frequency point lies under that text and stays in sight.
    const auto freq = PeakTracePixels(state.PeakLog, 3, false, false, 0.0, 20000.0, w, h);
    ASSERT_EQ(freq.size(), 3u);
    ASSERT_LT(freq[0].Y, textHeight);
    EXPECT_EQ(image.pixelColor(freq[0].X - 2, freq[0].Y), Colour(kBlue));
    // Slots not recorded yet draw nothing: no level trace along the top edge.
    EXPECT_EQ(Count(image, QRect(0, 0, w / 2, 3), Colour(kRed)), 0);
}

TEST_F(PeakChart, CapacityRefusedWhenItCannotBeHad) {
    tab->SetRange1Click();
    EXPECT_TRUE(tab->PanelPeak->isVisible());
    EXPECT_TRUE(tab->EPkN->isEnabled());
    EXPECT_EQ(tab->EPkN->text(), "10000");
    EXPECT_EQ(tab->EPkH->text(), "20000");
    EXPECT_EQ(tab->EPkTrg->text(), "-30");
    tab->EPkN->setText("1000000000000");
    tab->BPKOK->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Not enough memory for 1000000000000 data points.");
    EXPECT_EQ(state.PeakLog.size(), 10000u);
    EXPECT_FALSE(tab->PanelPeak->isVisible());

    // Typing a new size does not cut the ring on the way ("5" of "500"); leaving the edit does.
    tab->SetRange1Click();
    QTest::keyClicks(tab->EPkN, "5", Qt::NoModifier);
    tab->EPkN->setText("");
    QTest::keyClicks(tab->EPkN, "500");
    EXPECT_EQ(state.PeakLog.size(), 10000u);
    tab->BPKOK->click();
    EXPECT_EQ(state.PeakLog.size(), 500u);

    // While sampling the capacity stays.
    sampling = true;
    tab->SetRange1Click();
    EXPECT_FALSE(tab->EPkN->isEnabled());
    tab->EPkN->setText("800");
    tab->BPKOK->click();
    EXPECT_EQ(state.PeakLog.size(), 500u);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(PeakChart, PauseOnlyWhileSampling) {
    QTest::mouseClick(tab->PaintPeak, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_FALSE(tab->LPkPause->isVisible());
    sampling = true;
    tab->SamplingStart();
    EXPECT_EQ(state.PeakThreshold, -30.0);
    QTest::mouseClick(tab->PaintPeak, Qt::LeftButton, {}, QPoint(100, 100));
    EXPECT_TRUE(tab->LPkPause->isVisible());
    EXPECT_EQ(state.PeakThreshold, PausedThreshold);
    // The trigger level changed while paused is kept for later, recording stays off.
    tab->ApplyTriggerLevel(-50.0);
    EXPECT_EQ(state.PeakThreshold, PausedThreshold);
    QTest::mouseClick(tab->LPkPause, Qt::LeftButton);
    EXPECT_FALSE(tab->LPkPause->isVisible());
    EXPECT_EQ(state.PeakThreshold, -50.0);
}

TEST_F(PeakChart, SaveFailureGivesOneMessage) {
    state.PeakLog[0] = {1000.0f, -3.0f};
    state.PeakLogIndex = 1;
    hooks.ChooseTraceFile = [] { return std::optional<std::string>("/nonexistent-folder/t.txt"); };
    tab = std::make_unique<TPeakTab>(page.get(), state, hooks);
    tab->SaveTracetoFile1Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("/nonexistent-folder/t.txt"), std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// In the window, with a mock engine.

TEST(PeakWindow, RecordsBlocksAndSamplingStartClearsTheChart) {
    Window window;
    auto& state = window.form->State();
    state.PeakLog[7] = {123.0f, -1.0f}; // left from an earlier run
    window.form->SpeedButton1->click();
    ASSERT_TRUE(window.form->Sampling());
    EXPECT_EQ(state.PeakLog[7].Frequency, 0.0f);
    EXPECT_EQ(state.PeakLogIndex, 0);
    // Sample length 1024: one engine block of 2048 gives two points.
    auto block = SineBlock(2048, 1500.0, 48000.0, 2147483647.0 / 10.0); // -20 dB, bin 32
    TDataBufferF out;
    window.Deliver(block, out);
    ASSERT_EQ(state.PeakLogIndex, 2);
    EXPECT_NEAR(state.PeakLog[1].Frequency, 1500.0, 0.5);
    EXPECT_NEAR(state.PeakLog[1].Level, -20.0, 0.05);
    // Below the trigger level: nothing.
    auto quiet = SineBlock(2048, 1500.0, 48000.0, 2147483647.0 / 100.0); // -40 dB
    window.Deliver(quiet, out);
    EXPECT_EQ(state.PeakLogIndex, 2);
    window.form->SpeedButton1->click();
}

TEST(DetectorWindow, HiddenTabFiguresAtEveryStartAndAClearedEditKeepsThem) {
    Window window;
    auto* pages = window.Find<QTabWidget>("PageControl1");
    EXPECT_FALSE(pages->isTabVisible(pages->indexOf(window.form->TabDetector)));
    auto* lat = window.Find<QLabel>("LAT");
    auto* ep = window.Find<QLineEdit>("Ep");
    EXPECT_EQ(lat->text(), "___");
    window.form->SpeedButton1->click();
    const QString figures = "Analysis Frequency =    12.0 kHz\n"
                            "Analysis Time =     0.08 ms\n"
                            "Analysis Bandwidth = 12000.0 Hz\n"
                            "Expected noise reduction from rms =    -3.0 dB";
    EXPECT_EQ(lat->text(), figures);
    window.form->SpeedButton1->click();
    ep->setText("");
    EXPECT_EQ(lat->text(), figures);
    ep->setText("8");
    EXPECT_TRUE(lat->text().startsWith("Analysis Frequency =     6.0 kHz\n"));
}

TEST(DetectorWindow, TheSettingsMenuShowsAndHidesTheTab) {
    Window window;
    auto* pages = window.Find<QTabWidget>("PageControl1");
    const int index = pages->indexOf(window.form->TabDetector);
    auto* item = window.Find<QAction>("ShowDetector");
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(pages->isTabVisible(index));
    EXPECT_EQ(pages->currentWidget(), window.form->TabDetector);
    item->trigger();
    EXPECT_FALSE(pages->isTabVisible(index));
    EXPECT_NE(pages->currentWidget(), window.form->TabDetector);
}

} // namespace
