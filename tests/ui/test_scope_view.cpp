// SPDX-License-Identifier: GPL-3.0-or-later
// The Scope tab under the offscreen platform: layout, handlers, trigger drag and view pixels.
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/scope/ScopeTab.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

void SavePicture(const QImage& image, const char* name) {
    const QByteArray folder = qgetenv("PHONOSCALE_VIEW_PNGS");
    if (!folder.isEmpty())
        image.save(QString::fromUtf8(folder) + "/" + name + ".png");
}

class ScopeTabTest : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<QWidget>();
        page->setObjectName("TabScope");
        page->resize(800, 480);
        hooks.ChooseColour = [this](TColour) { return nextColour; };
        tab = std::make_unique<TScopeTab>(page.get(), state, settings, hooks);
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

    QColor ViewPixel(const QImage& image, int x, int y) const {
        return image.pixelColor(tab->PaintBox1->x() + x, tab->PaintBox1->y() + y);
    }

    QColor Colour(TColour colour) const { return ToQColor(colour, page->palette()); }

    // One period of a sine of amplitude `amplitude` over the time base, 500 points.
    void SineSweep(double amplitude) {
        auto& points = state.Scope.ScopePoints;
        points.clear();
        for (int i = 0; i < 500; ++i) {
            const double t = state.Scope.TimeBase * i / 499;
            points.push_back({static_cast<float>(t),
                              static_cast<float>(amplitude * std::sin(2 * M_PI * i / 499))});
        }
    }

    MeasurementState state;
    TViewSettings settings;
    TScopeTabHooks hooks;
    std::unique_ptr<QWidget> page;
    std::unique_ptr<TScopeTab> tab;
    std::optional<TColour> nextColour;
};

} // namespace

TEST_F(ScopeTabTest, ControlsMenusAndDefaults) {
    for (const char* name :
         {"PaintBox1", "ScopeBack", "TrackAmp", "TrackT", "LabT", "LTrig", "LSN_O", "LCS"})
        EXPECT_NE(page->findChild<QWidget*>(name), nullptr) << name;
    for (const char* name : {"PopupScope", "PopupTrig"})
        EXPECT_NE(page->findChild<QMenu*>(name), nullptr) << name;
    for (const char* name :
         {"scym", "sctm", "ScopLev", "race1", "Grid1", "Background1", "Redrawwiththicklines2",
          "Single1", "TNorm", "TAuto", "TSingle", "TOff", "TRise", "TFall"})
        EXPECT_NE(page->findChild<QAction*>(name), nullptr) << name;
    EXPECT_EQ(tab->LTrig->text(), ">");
    EXPECT_EQ(tab->TrackT->value(), 10);
    EXPECT_EQ(tab->LabT->text(), "100ms");
    EXPECT_DOUBLE_EQ(state.Scope.TimeBase, 0.1);
    EXPECT_EQ(tab->TrackAmp->minimum(), 0);
    EXPECT_EQ(tab->TrackAmp->maximum(), 24);
    EXPECT_TRUE(tab->TAuto->isChecked());
    EXPECT_TRUE(tab->TRise->isChecked());
    EXPECT_FALSE(tab->scym->isChecked());
    EXPECT_FALSE(tab->sctm->isChecked());
    EXPECT_TRUE(tab->ScopLev->isChecked());
    EXPECT_FALSE(tab->LSN_O->isHidden());
    EXPECT_TRUE(tab->LCS->isHidden());
}

TEST_F(ScopeTabTest, LayoutFollowsTheTabSize) {
    const int w = page->width();
    const int h = page->height();
    EXPECT_EQ(tab->TrackAmp->x(), w - tab->TrackAmp->width());
    EXPECT_EQ(tab->TrackAmp->y(), 0);
    EXPECT_EQ(tab->TrackAmp->height(), h - tab->TrackT->height());
    EXPECT_EQ(tab->TrackT->geometry(),
              QRect(0, h - tab->TrackT->height(),
                    w - QFontMetrics(page->font()).horizontalAdvance("100ms"),
                    tab->TrackT->height()));
    EXPECT_EQ(tab->LabT->y(), tab->TrackT->y() + 2);
    EXPECT_EQ(tab->LabT->x() + tab->LabT->width(), w);
    EXPECT_EQ(tab->PaintBox1->geometry(), QRect(10, 0, tab->TrackAmp->x() - 10, tab->TrackT->y()));
    EXPECT_EQ(tab->ScopeBack->geometry(), tab->PaintBox1->geometry());
    EXPECT_EQ(tab->LSN_O->x() + tab->LSN_O->width(), tab->PaintBox1->geometry().right() + 1 - 5);
    page->resize(640, 400);
    QApplication::processEvents();
    EXPECT_EQ(tab->PaintBox1->height(), 400 - tab->TrackT->height());
    EXPECT_EQ(tab->TrackAmp->x(), 640 - tab->TrackAmp->width());
}

TEST_F(ScopeTabTest, TimeBaseSliderSetsTheCaptionFlushRight) {
    tab->TrackT->setValue(17);
    EXPECT_DOUBLE_EQ(state.Scope.TimeBase, 0.0005);
    EXPECT_EQ(tab->LabT->text(), QString::fromUtf8("500\xC2\xB5s"));
    EXPECT_EQ(tab->LabT->x() + tab->LabT->width(), page->width());
    EXPECT_TRUE(state.Scope.ScopeRedraw);
    EXPECT_EQ(state.Scope.SweepPoints, 0);
    tab->TrackT->setValue(1);
    EXPECT_EQ(tab->LabT->text(), "100s");
}

TEST_F(ScopeTabTest, AmplitudeSliderAt24GivesZoom16777216) {
    tab->TrackAmp->setValue(24);
    EXPECT_EQ(state.Scope.ScopeZoom, 16777216);
    EXPECT_EQ(tab->Axis().Zoom, 16777216);
    tab->TrackAmp->setValue(3);
    EXPECT_EQ(state.Scope.ScopeZoom, 8);
}

TEST_F(ScopeTabTest, CentreLineAndTracePointLandOnTheirPixels) {
    state.ScopeRms = 0.5;
    SineSweep(0.8);
    const QImage image = Grab();
    SavePicture(image, "scope_sine");
    const TScopeAxis axis = tab->Axis();
    const int centre = VoltageToY(axis, 0.0);
    EXPECT_EQ(centre, RoundToPixel(axis.Height * 0.5));
    // The centre line in the grid colour, away from the trace's crossings.
    EXPECT_EQ(ViewPixel(image, axis.Width / 4, centre), Colour(settings.ScopeGridColor));
    // The trace point at a quarter period: the positive peak.
    const TScopePoint peak = state.Scope.ScopePoints[125];
    const int x = TimeToX(axis, peak.t);
    const int y = PointToY(axis, peak.v);
    EXPECT_EQ(ViewPixel(image, x, y), Colour(settings.ScopeColor));
    EXPECT_NEAR(y, axis.Height * 0.1, 1.0);
    // The level lines at +-RMS in red.
    EXPECT_EQ(ViewPixel(image, 20, PointToY(axis, 0.5)), Colour(RedColour));
    EXPECT_EQ(ViewPixel(image, 20, PointToY(axis, -0.5)), Colour(RedColour));
    // Zoom 2 doubles the excursion of the same point.
    tab->TrackAmp->setValue(1);
    const QImage zoomed = Grab();
    const TScopePoint point = state.Scope.ScopePoints[30];
    EXPECT_EQ(ViewPixel(zoomed, TimeToX(tab->Axis(), point.t), PointToY(tab->Axis(), point.v)),
              Colour(settings.ScopeColor));
    EXPECT_EQ(PointToY(tab->Axis(), point.v), ValueToY(tab->Axis(), 2.0 * point.v));
}

TEST_F(ScopeTabTest, LevelMeterItemHidesTheLevelLinesAndTheReadOut) {
    state.ScopeRms = 0.5;
    tab->ScopLevClick();
    EXPECT_FALSE(tab->ScopLev->isChecked());
    EXPECT_TRUE(tab->LSN_O->isHidden());
    const QImage image = Grab();
    EXPECT_NE(ViewPixel(image, 20, PointToY(tab->Axis(), 0.5)), Colour(RedColour));
    tab->ScopLev->trigger();
    EXPECT_TRUE(tab->ScopLev->isChecked());
    EXPECT_FALSE(tab->LSN_O->isHidden());
}

TEST_F(ScopeTabTest, VoltageAndTimeMarkings) {
    tab->scymClick();
    tab->sctmClick();
    EXPECT_TRUE(tab->scym->isChecked());
    EXPECT_TRUE(tab->sctm->isChecked());
    state.ScopeRms = 0.0;
    tab->ScopLevClick(); // no level lines over the centre
    const QImage image = Grab();
    SavePicture(image, "scope_markings");
    const TScopeAxis axis = tab->Axis();
    const QColor grid = Colour(settings.ScopeGridColor);
    // Vfs = 0.316 V: lines every 0.1 V, three above and three below 0 V.
    for (double volts : {0.1, 0.2, 0.3, -0.1, -0.2, -0.3})
        EXPECT_EQ(ViewPixel(image, axis.Width * 3 / 4 + 7, VoltageToY(axis, volts)), grid) << volts;
    EXPECT_NE(ViewPixel(image, axis.Width * 3 / 4 + 7, VoltageToY(axis, 0.05)), grid);
    for (int j = 1; j <= 9; ++j)
        EXPECT_EQ(ViewPixel(image, TimeToX(axis, j * axis.TimeBase / 10), axis.Height / 4 + 5),
                  grid)
            << j;
}

TEST_F(ScopeTabTest, NanovoltMarkingsAtFullZoom) {
    tab->scymClick();
    tab->TrackAmp->setValue(24);
    const QImage image = Grab();
    SavePicture(image, "scope_full_zoom");
    const TScopeAxis axis = tab->Axis();
    EXPECT_NEAR(ScopeMarkingStep(axis.Vfs), 5e-9, 1e-22);
    EXPECT_EQ(ViewPixel(image, axis.Width / 2, VoltageToY(axis, 1e-8)),
              Colour(settings.ScopeGridColor));
}

TEST_F(ScopeTabTest, TriggerMarkSitsOnTheLevelAndStopsAtTheEdgesWhenDragged) {
    const int h = tab->PaintBox1->height();
    const int markHeight = tab->LTrig->height();
    EXPECT_EQ(tab->LTrig->y(), TriggerMarkTop(0.0, markHeight, h));
    EXPECT_EQ(tab->LTrig->x(), 0);

    const QPoint grip(tab->LTrig->width() / 2, markHeight / 2);
    QTest::mousePress(tab->LTrig, Qt::LeftButton, {}, grip);
    QTest::mouseMove(tab->LTrig, grip + QPoint(0, -3 * h));
    EXPECT_DOUBLE_EQ(state.Scope.TriggerLevel, 1.0);
    EXPECT_EQ(tab->LTrig->y() + markHeight / 2.0, 0.0 + (markHeight % 2) / 2.0);
    QTest::mouseMove(tab->LTrig, grip + QPoint(0, 5 * h));
    EXPECT_DOUBLE_EQ(state.Scope.TriggerLevel, -1.0);
    QTest::mouseRelease(tab->LTrig, Qt::LeftButton, {}, grip);

    // Through the handlers with tab coordinates: a quarter of the height up is level 0.5.
    tab->Relayout();
    tab->LTrigMouseDown(h / 2);
    tab->LTrigMouseMove(-10000);
    EXPECT_DOUBLE_EQ(state.Scope.TriggerLevel, 1.0);
    tab->LTrigMouseMove(h / 2 + 10000);
    EXPECT_DOUBLE_EQ(state.Scope.TriggerLevel, -1.0);
    tab->LTrigMouseUp();
    tab->LTrigMouseMove(0); // no drag after the release
    EXPECT_DOUBLE_EQ(state.Scope.TriggerLevel, -1.0);
    state.Scope.TriggerLevel = 0.5;
    tab->Relayout();
    EXPECT_EQ(tab->LTrig->y(), TriggerMarkTop(0.5, markHeight, h));
    // The mark keeps its height when the zoom changes.
    tab->TrackAmp->setValue(5);
    tab->Relayout();
    EXPECT_EQ(tab->LTrig->y(), TriggerMarkTop(0.5, markHeight, h));
}

TEST_F(ScopeTabTest, TriggerItemsAreExclusiveAndSingleRearms) {
    tab->TNormClick();
    EXPECT_EQ(state.Scope.TriggerMode, 1);
    EXPECT_TRUE(tab->TNorm->isChecked());
    EXPECT_FALSE(tab->TAuto->isChecked());
    state.Scope.SingleDone = true;
    state.Scope.FirstSweepDone = true;
    tab->Single1->trigger();
    EXPECT_EQ(state.Scope.TriggerMode, 3);
    EXPECT_FALSE(state.Scope.SingleDone);
    EXPECT_FALSE(state.Scope.FirstSweepDone);
    EXPECT_TRUE(tab->TSingle->isChecked());
    EXPECT_FALSE(tab->TNorm->isChecked());
    tab->TOff->trigger();
    EXPECT_EQ(state.Scope.TriggerMode, 0);
    EXPECT_TRUE(tab->TOff->isChecked());
    EXPECT_FALSE(tab->TSingle->isChecked());
    tab->TOff->trigger(); // choosing the checked item again keeps it checked
    EXPECT_TRUE(tab->TOff->isChecked());
    // A double click on the mark re-arms a Single sweep.
    state.Scope.SingleDone = true;
    QTest::mouseDClick(tab->LTrig, Qt::LeftButton);
    EXPECT_EQ(state.Scope.TriggerMode, 3);
    EXPECT_FALSE(state.Scope.SingleDone);

    tab->TFallClick();
    EXPECT_FALSE(state.Scope.TriggerRising);
    EXPECT_TRUE(tab->TFall->isChecked());
    EXPECT_FALSE(tab->TRise->isChecked());
    EXPECT_EQ(tab->LTrig->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    tab->TRiseClick();
    EXPECT_TRUE(state.Scope.TriggerRising);
    EXPECT_EQ(tab->LTrig->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(ScopeTabTest, ColoursAndThickRedraw) {
    int resizes = 0;
    tab->Hooks().FormResize = [&] {
        ++resizes;
        tab->Relayout();
    };
    nextColour = 0x00FF00;
    tab->race1Click();
    EXPECT_EQ(settings.ScopeColor, 0x00FF00u);
    tab->Grid1Click();
    EXPECT_EQ(settings.ScopeGridColor, 0x00FF00u);
    EXPECT_EQ(resizes, 2);
    nextColour = 0x202020;
    tab->Background1Click();
    EXPECT_EQ(tab->ScopeBack->palette().color(QPalette::Window), QColor(0x20, 0x20, 0x20));
    const QImage image = Grab();
    EXPECT_EQ(ViewPixel(image, 100, 100), QColor(0x20, 0x20, 0x20));
    EXPECT_EQ(ViewPixel(image, 0, 100), QColor(0, 255, 0)); // frame in the new grid colour
    nextColour.reset();
    tab->race1Click();
    EXPECT_EQ(settings.ScopeColor, 0x00FF00u);
    EXPECT_EQ(resizes, 2);
    tab->Redrawwiththicklines2Click();
    EXPECT_EQ(settings.TraceWidth, 1);
    // A click on the level read-out re-lays out the window.
    QTest::mouseClick(tab->LSN_O, Qt::LeftButton);
    EXPECT_EQ(resizes, 3);
}

TEST_F(ScopeTabTest, ReadOutsFollowTheBlockTexts) {
    state.Texts.LSN_O = "-12.3 dB";
    state.Texts.LCS = "42 cc";
    tab->EngineBlockDone();
    EXPECT_EQ(tab->LSN_O->text(), "-12.3 dB");
    EXPECT_EQ(tab->LCS->text(), "42 cc");
    tab->LCS->show();
    tab->Relayout();
    EXPECT_EQ(tab->LCS->x(), tab->LSN_O->x());
    EXPECT_EQ(tab->LCS->y(), tab->LSN_O->y() + tab->LSN_O->height() * 5 / 4);
}

TEST(ScopeTabLifetime, ThePageMayBeDeletedBeforeTheTab) {
    MeasurementState state;
    TViewSettings settings;
    auto page = std::make_unique<QWidget>();
    auto tab = std::make_unique<TScopeTab>(page.get(), state, settings);
    page.reset();
    tab.reset();
    SUCCEED();
}
