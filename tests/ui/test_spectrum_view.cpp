// SPDX-License-Identifier: GPL-3.0-or-later
// The Spectrum tab under the offscreen platform: layout, handlers and pixels of grabbed views.
#include "ui/common/ViewMappingQt.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

// Saves a grabbed view when PHONOSCALE_VIEW_PNGS names a folder, for looking at it.
void SavePicture(const QImage& image, const char* name) {
    const QByteArray folder = qgetenv("PHONOSCALE_VIEW_PNGS");
    if (!folder.isEmpty())
        image.save(QString::fromUtf8(folder) + "/" + name + ".png");
}

// A tab page with the spectrum tab on it, shown offscreen.
class SpectrumTabTest : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<QWidget>();
        page->setObjectName("TabSpectrum");
        page->resize(800, 500);
        state.SampleRate = 48000;
        state.BlockLength = 1024;
        state.Controls.TrackL = 0;
        state.Controls.TrackU = 24000;
        hooks.FormResize = [this] {
            ++formResizes;
            tab->Relayout();
        };
        hooks.ChooseColour = [this](TColour) { return nextColour; };
        hooks.ShowTraceBoxes = [this](bool visible) { traceBoxesShown = visible; };
        tab = std::make_unique<TSpectrumTab>(page.get(), state, settings, hooks);
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

    // Colour of a graph pixel (graph coordinates).
    QColor GraphPixel(const QImage& image, int x, int y) const {
        return image.pixelColor(tab->PaintBox2->x() + x, tab->PaintBox2->y() + y);
    }

    QColor Colour(TColour colour) const { return ToQColor(colour, page->palette()); }

    // A flat spectrum at `amplitude` from 0 to 24 kHz every 25 Hz, optionally with a peak.
    void FlatSpectrum(double amplitude, double peakHz = -1, double peakAmplitude = 1.0) {
        state.DisplayPoints.clear();
        for (int f = 0; f <= 24000; f += 25)
            state.DisplayPoints.push_back({double(f), f == peakHz ? peakAmplitude : amplitude});
    }

    MeasurementState state;
    TViewSettings settings;
    TSpectrumTabHooks hooks;
    std::unique_ptr<QWidget> page;
    std::unique_ptr<TSpectrumTab> tab;
    int formResizes = 0;
    std::optional<TColour> nextColour;
    bool traceBoxesShown = false;
};

} // namespace

TEST_F(SpectrumTabTest, ControlsAreChildrenOfThePageWithTheirNames) {
    for (const char* name : {"PaintBox2", "PaintSpecCap", "SpecBack", "LBW", "L_L", "L_U", "Shape1",
                             "Shape2", "LSN", "LS", "LSp", "ETop", "EBoxes", "EOffset"})
        EXPECT_NE(page->findChild<QWidget*>(name), nullptr) << name;
    EXPECT_NE(page->findChild<QMenu*>("PopupSpec"), nullptr);
    for (const char* name :
         {"LogF", "LogXG", "LogXS", "CGCi", "CGCo", "CGCoff", "CFC", "CheckZoom", "Zoom1", "Grid2",
          "BackGround2", "Spectrum1", "Redrawwiththicklines1", "Reset1"})
        EXPECT_NE(page->findChild<QAction*>(name), nullptr) << name;
    EXPECT_EQ(page->findChild<QAction*>("LogF")->text(), "Log Frequency Scale");
    EXPECT_EQ(page->findChild<QAction*>("LogXG")->text(), "ShowFrequency Grid");
    EXPECT_EQ(page->findChild<QAction*>("LogXS")->text(), "Log Grid Subticks On");
    EXPECT_EQ(page->findChild<QAction*>("Redrawwiththicklines1")->text(),
              "Redraw with thick lines");
    QMenu menu;
    tab->AddMenuItems(&menu);
    EXPECT_TRUE(menu.actions().contains(tab->LogF));
    EXPECT_TRUE(menu.actions().contains(tab->CheckZoom));
}

TEST_F(SpectrumTabTest, LayoutPlacesTheGraphBelowTheBandwidthStrip) {
    const int strip = tab->LBW->height();
    EXPECT_GT(strip, 0);
    EXPECT_EQ(tab->PaintBox2->geometry(), QRect(0, strip, 800, 500 - strip - 16));
    EXPECT_EQ(tab->PaintSpecCap->geometry(), page->rect());
    EXPECT_EQ(tab->SpecBack->geometry(), tab->PaintBox2->geometry());
    // LBW at the top right of the graph.
    EXPECT_EQ(tab->LBW->x() + tab->LBW->width(), 800);
    EXPECT_EQ(tab->LBW->y(), 0);
}

TEST_F(SpectrumTabTest, OutsideMarkingsMoveTheGraph60PixelsRightAndFrequencyMarkingsTake16) {
    const QRect before = tab->PaintBox2->geometry();
    tab->CGCoClick();
    EXPECT_EQ(settings.Markings, 2);
    EXPECT_TRUE(tab->CGCo->isChecked());
    EXPECT_FALSE(tab->CGCi->isChecked());
    EXPECT_EQ(tab->PaintBox2->x(), before.x() + 60);
    EXPECT_EQ(tab->PaintBox2->width(), before.width() - 60);
    tab->CFCClick();
    EXPECT_FALSE(settings.FMarkings);
    EXPECT_EQ(tab->PaintBox2->height(), before.height() + 16);
    tab->CGCiClick();
    EXPECT_EQ(settings.Markings, 1);
    EXPECT_FALSE(tab->CGCo->isChecked());
    EXPECT_EQ(tab->PaintBox2->x(), 0);
    tab->CGCiClick(); // a second click unchecks "inside graph"
    EXPECT_EQ(settings.Markings, 0);
    tab->CGCoClick();
    tab->CGCoffClick();
    EXPECT_EQ(settings.Markings, 0);
    EXPECT_FALSE(tab->CGCo->isChecked());
    EXPECT_FALSE(tab->CGCi->isChecked());
    EXPECT_GE(formResizes, 5);
}

TEST_F(SpectrumTabTest, MeterLabelsStackAtTheTopRightOfTheGraph) {
    const QRect graph = tab->PaintBox2->geometry();
    const int widest = std::max({tab->LSN->width(), tab->LS->width(), tab->LSp->width()});
    EXPECT_EQ(tab->LSN->x(), graph.right() + 1 - 5 - widest);
    EXPECT_EQ(tab->LSN->y(), graph.y() + 12);
    EXPECT_EQ(tab->LS->y(), tab->LSN->y() + tab->LSN->height() * 5 / 4);
    EXPECT_EQ(tab->LSp->y(), tab->LS->y() + tab->LS->height() * 5 / 4);
    // A hidden label takes no row.
    tab->LS->hide();
    tab->Relayout();
    EXPECT_EQ(tab->LSp->y(), tab->LSN->y() + tab->LSN->height() * 5 / 4);
    // Longer texts after a block stay put until a click on a label re-lays out.
    state.Texts.LSN = "S+N=-123.456789 dBm";
    tab->EngineBlockDone();
    const int oldLeft = tab->LSN->x();
    QTest::mouseClick(tab->LSN, Qt::LeftButton);
    EXPECT_LT(tab->LSN->x(), oldLeft);
    EXPECT_EQ(tab->LSN->text(), "S+N=-123.456789 dBm");
}

TEST_F(SpectrumTabTest, BandMarksStandAtTheCutOnAndCutOffFrequencies) {
    state.Controls.TrackL = 6000;
    state.Controls.TrackU = 12000;
    tab->Relayout();
    const QRect graph = tab->PaintBox2->geometry();
    EXPECT_EQ(tab->Shape1->x(), graph.x() + 200); // 6 kHz of 24 kHz over 800 pixels
    EXPECT_EQ(tab->Shape2->x(), graph.x() + 400);
    EXPECT_EQ(tab->Shape1->height(), graph.y() + graph.height());
    EXPECT_EQ(tab->L_L->text(), "6000Hz");
    EXPECT_EQ(tab->L_U->text(), "12000Hz");
    EXPECT_EQ(tab->LBW->text(), " BW = 6000 Hz");
    EXPECT_EQ(tab->L_L->x(), std::max(0, tab->Shape1->x() - tab->L_L->width()));
    EXPECT_EQ(tab->L_U->x(),
              std::min(graph.x() + graph.width() - tab->L_U->width() - tab->LBW->width(),
                       tab->Shape2->x()));
    // Near the top end the cut-off caption keeps clear of LBW.
    state.Controls.TrackU = 24000;
    tab->Relayout();
    EXPECT_EQ(tab->L_U->x() + tab->L_U->width(), tab->LBW->x());
    // Zoom hides the marks and the captions.
    tab->CheckZoomClick();
    EXPECT_TRUE(settings.Zoom);
    EXPECT_TRUE(tab->CheckZoom->isChecked());
    EXPECT_TRUE(tab->Zoom1->isChecked());
    EXPECT_TRUE(tab->Shape1->isHidden());
    EXPECT_TRUE(tab->LBW->isHidden());
    tab->Zoom1->trigger(); // the pop-up item runs the same handler
    EXPECT_FALSE(settings.Zoom);
    EXPECT_FALSE(tab->CheckZoom->isChecked());
    EXPECT_FALSE(tab->Shape1->isHidden());
}

TEST_F(SpectrumTabTest, FullScaleSineIsDrawnOnTheTopEdge) {
    FlatSpectrum(1e-6, 3000, 1.0);
    state.SpecialMeter = 3; // no peak-frequency line over the trace
    tab->Invalidate();
    const QImage image = Grab();
    SavePicture(image, "spectrum_fullscale");
    const int x = FrequencyToX(tab->Axis(), 3000);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(GraphPixel(image, x, 0), Colour(settings.SpecTraceColor));
    // The floor at -120 dB lies at round(DbToY(-120)) in the trace colour too.
    const int floorY = RoundToPixel(DbToY(tab->Axis(), -120));
    EXPECT_EQ(GraphPixel(image, 50, floorY), Colour(settings.SpecTraceColor));
    EXPECT_NE(GraphPixel(image, 50, floorY - 3), Colour(settings.SpecTraceColor));
}

TEST_F(SpectrumTabTest, CalibrationAndYTopShiftTheTrace) {
    FlatSpectrum(1e-6, 3000, 1.0);
    state.SpecialMeter = 3;
    state.Texts.LS = "";
    tab->ETop->setText("20");
    tab->ETopChange();
    EXPECT_DOUBLE_EQ(settings.YTop, 20);
    const QImage image = Grab();
    const int y = RoundToPixel(DbToY(tab->Axis(), 0));
    EXPECT_EQ(y, RoundToPixel((tab->PaintBox2->height() - 1) * 20 / 130.0));
    EXPECT_EQ(GraphPixel(image, 100, y), Colour(settings.SpecTraceColor));
    // Not a number: the previous value stays.
    tab->ETop->setText("abc");
    EXPECT_THROW(tab->ETopChange(), std::exception);
    EXPECT_DOUBLE_EQ(settings.YTop, 20);
    tab->EOffset->setText("10");
    tab->EOffsetChange();
    EXPECT_DOUBLE_EQ(state.YOffset, 10);
    EXPECT_DOUBLE_EQ(AmplitudeToDb(tab->Axis(), 1.0, true), 10);
}

TEST_F(SpectrumTabTest, PointsOutsideTheBandEdgesUseTheBlendedColour) {
    state.Controls.TrackL = 6000;
    state.Controls.TrackU = 12000;
    tab->Relayout();
    FlatSpectrum(std::pow(10.0, -50.0 / 20));
    state.SpecialMeter = 3;
    const QImage image = Grab();
    SavePicture(image, "spectrum_band");
    const int y = RoundToPixel(DbToY(tab->Axis(), -50));
    const QColor blended = Colour(tab->OuterTraceColour());
    const QColor trace = Colour(settings.SpecTraceColor);
    EXPECT_NE(blended, trace);
    EXPECT_EQ(tab->OuterTraceColour(), BlendColour(settings.SpecTraceColor, settings.SpecBackColor,
                                                   50, PaletteLookup(page->palette())));
    EXPECT_EQ(GraphPixel(image, FrequencyToX(tab->Axis(), 3000), y), blended);
    EXPECT_EQ(GraphPixel(image, FrequencyToX(tab->Axis(), 9000), y), trace);
    EXPECT_EQ(GraphPixel(image, FrequencyToX(tab->Axis(), 18000), y), blended);
}

TEST_F(SpectrumTabTest, LinearGridAt48kspsDrawsLinesAt10And20kHzOnly) {
    state.SpecialMeter = 3;
    state.Texts.LS = "";
    const QImage image = Grab();
    SavePicture(image, "spectrum_linear_grid");
    const int row = tab->PaintBox2->height() / 2 + 3; // between two box lines
    const QColor grid = Colour(settings.SpecGridColor);
    for (int x = 1; x < tab->PaintBox2->width() - 1; ++x) {
        const bool line =
            x == FrequencyToX(tab->Axis(), 10000) || x == FrequencyToX(tab->Axis(), 20000);
        if (x >= tab->Shape1->x() && x < tab->Shape1->x() + tab->Shape1->width())
            continue;
        EXPECT_EQ(GraphPixel(image, x, row) == grid, line) << "x = " << x;
    }
    // The frame and the first box line.
    EXPECT_EQ(GraphPixel(image, 0, row), grid);
    EXPECT_EQ(GraphPixel(image, tab->PaintBox2->width() - 1, row), grid);
    EXPECT_EQ(GraphPixel(image, 300, BoxLineY(tab->PaintBox2->height(), 1, 13)), grid);
}

TEST_F(SpectrumTabTest, LogAxisDrawsDecadeLinesFrom10Hz) {
    state.BlockLength = 32768;
    state.SpecialMeter = 3;
    tab->LogFClick();
    EXPECT_TRUE(state.Controls.LogF);
    EXPECT_TRUE(tab->LogF->isChecked());
    const QImage image = Grab();
    SavePicture(image, "spectrum_log_grid");
    const TSpectrumAxis axis = tab->Axis();
    const int row = axis.Height / 2 + 3;
    const QColor grid = Colour(settings.SpecGridColor);
    for (double f : {10.0, 100.0, 1000.0, 10000.0, 20.0, 5000.0})
        EXPECT_EQ(GraphPixel(image, FrequencyToX(axis, f), row), grid) << f;
    // Without the log grid the linear-step grid is placed through the log mapping.
    tab->LogXGClick();
    EXPECT_FALSE(settings.LogGrid);
    EXPECT_FALSE(tab->LogXG->isChecked());
    const QImage linearSteps = Grab();
    SavePicture(linearSteps, "spectrum_log_axis_linear_grid");
    EXPECT_EQ(GraphPixel(linearSteps, FrequencyToX(axis, 10000), row), grid);
    EXPECT_NE(GraphPixel(linearSteps, FrequencyToX(axis, 100), row), grid);
}

TEST_F(SpectrumTabTest, DenseTraceDrawsTheSamePixelsAsThePlainPolyline) {
    // 200000 points over 800 columns: the paint thins each column's run of points.
    state.DisplayPoints.clear();
    for (int i = 0; i < 200000; ++i) {
        const double noise = 1e-4 * (1 + ((i * 7919) % 1000));
        state.DisplayPoints.push_back({24000.0 * i / 200000, i == 25000 ? 0.5 : noise});
    }
    state.SpecialMeter = 3;
    tab->LS->hide();
    tab->LSN->hide();
    const TSpectrumAxis axis = tab->Axis();
    QImage painted(axis.Width, axis.Height, QImage::Format_RGB32);
    painted.fill(Qt::white);
    {
        QPainter painter(&painted);
        tab->PaintBox2Paint(painter);
    }
    QImage expected(axis.Width, axis.Height, QImage::Format_RGB32);
    expected.fill(Qt::white);
    {
        const auto data = state.DisplayPoints;
        state.DisplayPoints.clear();
        QPainter painter(&expected);
        tab->PaintBox2Paint(painter); // grid only
        state.DisplayPoints = data;
        std::vector<QPoint> points;
        for (const TSpectrumPoint& p : data)
            points.emplace_back(FrequencyToX(axis, p.x),
                                RoundToPixel(DbToY(axis, AmplitudeToDb(axis, p.y, true))));
        painter.setPen(QPen(Colour(settings.SpecTraceColor), 1));
        painter.drawPolyline(points.data(), static_cast<int>(points.size()));
    }
    SavePicture(painted, "spectrum_dense");
    int differing = 0;
    for (int y = 0; y < axis.Height; ++y)
        for (int x = 0; x < axis.Width; ++x)
            differing += painted.pixel(x, y) != expected.pixel(x, y);
    EXPECT_EQ(differing, 0);
}

TEST_F(SpectrumTabTest, LevelLinesShowThePeakAndTheMeterLevels) {
    FlatSpectrum(1e-6);
    state.SpecialMeter = 0;
    state.PeakBin = 128; // 6 kHz at N = 1024
    state.SLevel = -30;
    state.SNLevel = -20;
    const QImage image = Grab();
    const TSpectrumAxis axis = tab->Axis();
    const int h = axis.Height;
    EXPECT_EQ(GraphPixel(image, 200, h / 3), Colour(OliveColour));
    EXPECT_EQ(GraphPixel(image, 500, RoundToPixel(h * 30 / 130.0)), Colour(OliveColour));
    EXPECT_EQ(GraphPixel(image, 500, RoundToPixel(h * 20 / 130.0)), Colour(RedColour));
    // The S+N line goes with its label.
    tab->LSN->hide();
    const QImage without = Grab();
    EXPECT_NE(GraphPixel(without, 500, RoundToPixel(h * 20 / 130.0)), Colour(RedColour));
}

TEST_F(SpectrumTabTest, BoxesBelowOneDrawOneBox) {
    FlatSpectrum(0.01);
    for (const char* text : {"0", "-3"}) {
        tab->EBoxes->setText(text);
        tab->EBoxesChange();
        EXPECT_EQ(settings.Boxes, QString(text).toInt());
        EXPECT_EQ(tab->Axis().Boxes, 1);
        const QImage image = Grab();
        // -20 dB of a 10-dB span lies below the graph: nothing of the trace in it.
        EXPECT_NE(GraphPixel(image, 400, tab->PaintBox2->height() - 2),
                  Colour(settings.SpecTraceColor));
    }
    tab->EBoxes->setText("x");
    EXPECT_THROW(tab->EBoxesChange(), std::exception);
    EXPECT_EQ(settings.Boxes, -3);
}

TEST_F(SpectrumTabTest, TypingHalfANumberIsNotReportedButLeavingTheEditIs) {
    std::vector<std::string> reports;
    tab->Hooks().ReportError = [&](const std::string& text) { reports.push_back(text); };
    tab->ETop->setFocus();
    tab->ETop->clear();
    QTest::keyClicks(tab->ETop, "-");
    EXPECT_TRUE(reports.empty());
    EXPECT_DOUBLE_EQ(settings.YTop, 0);
    QTest::keyClicks(tab->ETop, "50");
    EXPECT_DOUBLE_EQ(settings.YTop, -50);
    QTest::keyClicks(tab->ETop, "x");
    EXPECT_TRUE(reports.empty());
    QTest::keyClick(tab->ETop, Qt::Key_Return);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], "'-50x' is not a valid floating point value");
    EXPECT_DOUBLE_EQ(settings.YTop, -50);
}

TEST_F(SpectrumTabTest, ColourItemsSetTheColoursThroughTheDialog) {
    nextColour = 0x00FF00; // green
    tab->Spectrum1Click();
    EXPECT_EQ(settings.SpecTraceColor, 0x00FF00u);
    tab->Grid2Click();
    EXPECT_EQ(settings.SpecGridColor, 0x00FF00u);
    nextColour = 0x101010;
    tab->BackGround2Click();
    EXPECT_EQ(settings.SpecBackColor, 0x101010u);
    EXPECT_EQ(tab->SpecBack->palette().color(QPalette::Window), QColor(0x10, 0x10, 0x10));
    nextColour.reset(); // cancelled
    tab->Spectrum1Click();
    EXPECT_EQ(settings.SpecTraceColor, 0x00FF00u);
    settings.TransparentMode = true;
    tab->Relayout();
    EXPECT_EQ(tab->SpecBack->palette().color(QPalette::Window), QColor(1, 1, 1));
}

TEST_F(SpectrumTabTest, ThickRedrawPaintsOnceWithWidthTwo) {
    int widthSeen = 0;
    tab->Hooks().DrawCustomTrace = [&](QPainter&) { widthSeen = settings.TraceWidth; };
    tab->Redrawwiththicklines1Click();
    EXPECT_EQ(widthSeen, 2);
    EXPECT_EQ(settings.TraceWidth, 1);
}

TEST_F(SpectrumTabTest, OverlaySlotsArePaintedBetweenLevelLinesAndMainTrace) {
    std::vector<int> order;
    tab->Hooks().DrawCustomTrace = [&](QPainter&) { order.push_back(0); };
    tab->Hooks().DrawMemPoly = [&](QPainter&, int k) { order.push_back(k); };
    QImage image(400, 300, QImage::Format_RGB32);
    QPainter painter(&image);
    tab->PaintBox2Paint(painter);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

// Between blocks the opaque graph keeps its background, markings and grids as a picture: each
// input of that picture, changed without a repaint request of its own, shows at the next block
// exactly as a tab drawn afresh shows it.
TEST_F(SpectrumTabTest, TheGraphsKeptPictureFollowsEachOfItsInputs) {
    FlatSpectrum(0.01);
    ASSERT_TRUE(tab->PaintBox2->testAttribute(Qt::WA_OpaquePaintEvent));
    Grab(); // the picture is kept from here on
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"grid colour", [&] { settings.SpecGridColor = RedColour; }},
        {"grid width", [&] { settings.GridWidth = 2; }},
        {"top", [&] { settings.YTop = -20; }},
        {"boxes", [&] { settings.Boxes = 7; }},
        {"unit", [&] { state.Weighting = 3; }},
        {"log axis", [&] { state.Controls.LogF = true; }},
        {"sub-grid", [&] { settings.LogSubGrid = false; }},
        {"band", [&] { state.BlockLength = 4096; }},
        {"size", [&] { page->resize(700, 450); }},
    };
    for (const auto& [what, change] : changes) {
        change();
        tab->EngineBlockDone();
        Grab();
        const QImage kept = tab->PaintBox2->grab().toImage();
        QWidget freshPage;
        freshPage.resize(page->size());
        TSpectrumTab fresh(&freshPage, state, settings, {});
        freshPage.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&freshPage));
        fresh.EngineBlockDone();
        QApplication::processEvents();
        EXPECT_EQ(kept, fresh.PaintBox2->grab().toImage()) << what;
    }
}

TEST_F(SpectrumTabTest, ResetShowAndHide) {
    tab->Reset1Click();
    EXPECT_TRUE(state.ResetSmoothing);
    tab->TabSpectrumShow();
    EXPECT_TRUE(traceBoxesShown);
    tab->TabSpectrumHide();
    EXPECT_FALSE(traceBoxesShown);
    page->hide();
    EXPECT_FALSE(traceBoxesShown);
    page->show();
    EXPECT_TRUE(traceBoxesShown);
    const int before = formResizes;
    tab->LSN_OClick();
    EXPECT_EQ(formResizes, before + 1);
}

TEST_F(SpectrumTabTest, CaptionStripWithMarkingsOutsideAndLogFrequencies) {
    // A picture to look at: dB markings in the margin, log frequency captions below.
    state.BlockLength = 32768;
    state.Controls.TrackL = 300;
    state.Controls.TrackU = 3400;
    FlatSpectrum(1e-5, 1000, 0.5);
    tab->LogFClick();
    tab->CGCoClick();
    const QImage image = Grab();
    SavePicture(image, "spectrum_log_outside");
    // A caption is written in the grid colour somewhere in the strip below the graph.
    const QRect graph = tab->PaintBox2->geometry();
    bool ink = false;
    for (int y = graph.bottom() + 1; y < page->height(); ++y)
        for (int x = graph.x() + FrequencyToX(tab->Axis(), 1000) - 15;
             x < graph.x() + FrequencyToX(tab->Axis(), 1000) + 15; ++x)
            ink = ink || image.pixelColor(x, y) == Colour(settings.SpecGridColor);
    EXPECT_TRUE(ink);
    // And in the left margin beside the graph.
    bool marginInk = false;
    for (int y = graph.y(); y < graph.y() + 40; ++y)
        for (int x = 0; x < 58; ++x)
            marginInk = marginInk || image.pixelColor(x, y) == Colour(settings.SpecGridColor);
    EXPECT_TRUE(marginInk);
}

// Columns of `image` in [x0, x1) with a pixel in rows [y0, y1) unlike `background`.
int InkColumns(const QImage& image, int x0, int x1, int y0, int y1, const QColor& background) {
    int columns = 0;
    for (int x = std::max(x0, 0); x < std::min(x1, image.width()); ++x) {
        bool ink = false;
        for (int y = std::max(y0, 0); y < std::min(y1, image.height()) && !ink; ++y)
            ink = image.pixelColor(x, y) != background;
        columns += ink;
    }
    return columns;
}

// Columns that `text` inks when drawn alone in `font`.
int InkColumnsOfText(const QString& text, const QFont& font) {
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 20, metrics.height() + 4, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(10, 2 + metrics.ascent(), text);
    }
    return InkColumns(image, 0, image.width(), 0, image.height(), Qt::white);
}

TEST_F(SpectrumTabTest, LinearAxisCaptionsStayWhole) {
    // "0 Hz" stands on the left edge of the graph and "24 kHz" would end past its right edge
    // when centred: both are moved inwards and drawn whole, with nothing outside the graph.
    state.SpecialMeter = 3;
    state.Texts.LS = "";
    settings.FMarkings = true;
    tab->Relayout();
    const QRect graph = tab->PaintBox2->geometry();
    const auto captions = FrequencyCaptions(tab->Axis(), settings.LogSubGrid);
    ASSERT_FALSE(captions.empty());
    ASSERT_EQ(captions.front().Text, "0 Hz");
    const QImage image = Grab();
    SavePicture(image, "spectrum_linear_captions");
    const int top = graph.bottom() + 1;
    const int bottom = page->height();
    ASSERT_GT(bottom, top);
    // Between the 0 and 10 kHz captions the strip shows only its background.
    const QColor background = image.pixelColor(graph.x() + graph.width() * 5 / 24, bottom - 5);
    const int whole = InkColumnsOfText("0 Hz", page->font());
    const int shown =
        InkColumns(image, graph.x(), graph.x() + graph.width() / 6, top, bottom, background);
    EXPECT_NEAR(shown, whole, 2);
    EXPECT_EQ(InkColumns(image, 0, graph.x(), top, bottom, background), 0);
    EXPECT_EQ(InkColumns(image, graph.x() + graph.width(), page->width(), top, bottom, background),
              0);
}

TEST(SpectrumTabLifetime, ThePageMayBeDeletedBeforeTheTab) {
    MeasurementState state;
    TViewSettings settings;
    auto page = std::make_unique<QWidget>();
    auto tab = std::make_unique<TSpectrumTab>(page.get(), state, settings);
    page.reset();
    tab.reset();
    SUCCEED();
}

int main(int argc, char** argv) {
    // Test discovery runs this program without the test environment: never look for a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
