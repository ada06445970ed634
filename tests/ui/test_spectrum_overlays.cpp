// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests of what floats over the spectrum graph, driven by real mouse and key events: the
// cursor read-out, the band-edge drags, the markers and the annotation labels.
#include "WindowRig.h"

#include "dsp/TBDSP.h"
#include "files/SettingsFile.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QTest>

#include <fstream>

namespace {

using uitest::Window;

TSpectrumOverlays& Overlays(Window& w) {
    return w.form->Overlays();
}

// Shows the Spectrum tab and resizes the window until the graph is width x height pixels.
void SizeGraph(Window& w, int width, int height) {
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    for (int attempt = 0; attempt < 8; ++attempt) {
        QApplication::processEvents();
        const QSize now = w.form->PaintBox2->size();
        if (now == QSize(width, height))
            return;
        w.form->resize(w.form->width() + width - now.width(),
                       w.form->height() + height - now.height());
    }
    ASSERT_EQ(w.form->PaintBox2->size(), QSize(width, height));
}

QWidget* Page(Window& w) {
    return w.form->TabSpectrum;
}

// A point of the Spectrum page in the coordinates of one of its widgets.
QPoint On(Window& w, QWidget* widget, int pageX, int pageY) {
    return widget->mapFrom(Page(w), QPoint(pageX, pageY));
}

// Presses the left button on `widget`, moves the mouse to each page x in turn (at the same
// height) and releases it there.
void Drag(Window& w, QWidget* widget, std::initializer_list<int> pageXs) {
    const QPoint grab(widget->width() / 2, widget->height() / 2);
    const int pageY = widget->mapTo(Page(w), grab).y();
    QTest::mousePress(widget, Qt::LeftButton, {}, grab);
    QPoint last = grab;
    for (const int x : pageXs) {
        last = On(w, widget, x, pageY);
        QTest::mouseMove(widget, last);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, {}, last);
}

void SetBand(Window& w, int cutOn, int cutOff) {
    w.form->TrackU->setValue(24000);
    w.form->TrackL->setValue(cutOn);
    w.form->TrackU->setValue(cutOff);
    ASSERT_EQ(w.form->TrackL->value(), cutOn);
    ASSERT_EQ(w.form->TrackU->value(), cutOff);
}

void UseLogAxis(Window& w, bool log) {
    if (w.form->State().Controls.LogF != log)
        w.form->SpectrumTab().LogFClick();
    QApplication::processEvents();
}

// Records at the frequencies with the levels in dB.
std::vector<TSpectrumPoint> Trace(const std::vector<std::pair<double, double>>& records) {
    std::vector<TSpectrumPoint> trace;
    for (const auto& [f, db] : records)
        trace.push_back({f, std::pow(10.0, db / 20.0)});
    return trace;
}

void TypeAndLeave(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

QStringList Lines(const QLabel* label) {
    return label->text().split('\n');
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Cursor read-out

TEST(CursorReadout, LeftShowsFrequencyAndLevelMiddleFrequencyRightThePopup) {
    Window w;
    SizeGraph(w, 960, 500);
    auto* cursor = w.Find<QLabel>("LCursor");
    auto* box = w.form->PaintBox2;
    const QRect g = box->geometry();
    const TSpectrumAxis axis = w.form->SpectrumTab().Axis();
    EXPECT_TRUE(cursor->isHidden());

    // Left button at 12 kHz: frequency and level, the label's right edge at the cursor (LEFT).
    QTest::mousePress(box, Qt::LeftButton, {}, QPoint(480, 200));
    ASSERT_FALSE(cursor->isHidden());
    const double db = std::nearbyint(10 * (0.0 - 130.0 * 200 / axis.Height)) / 10;
    EXPECT_EQ(cursor->text(), QString("12000Hz\n%1dB").arg(db));
    EXPECT_EQ(cursor->x() + cursor->width(), g.x() + 480);
    EXPECT_EQ(cursor->y() + cursor->height(), g.y() + 200); // above the cursor
    // Every move follows; near the left edge the label stays inside the graph.
    QTest::mouseMove(box, QPoint(4, 200));
    EXPECT_TRUE(cursor->text().startsWith("100Hz\n"));
    EXPECT_EQ(cursor->x(), g.x());
    QTest::mouseRelease(box, Qt::LeftButton, {}, QPoint(4, 200));
    EXPECT_TRUE(cursor->isHidden());
    EXPECT_EQ(cursor->text(), "");
    EXPECT_EQ(cursor->pos(), QPoint(-100, -100));

    // "Text Alignment RIGHT": the label's left edge at the cursor. Middle button: no level.
    w.Find<QComboBox>("CCur")->setCurrentIndex(1);
    QTest::mousePress(box, Qt::MiddleButton, {}, QPoint(240, 100));
    EXPECT_EQ(cursor->text(), "6000Hz");
    EXPECT_EQ(cursor->x(), g.x() + 240);
    QTest::mouseRelease(box, Qt::MiddleButton, {}, QPoint(240, 100));

    // The right button leaves the read-out alone (it opens the graph's pop-up menu).
    QTest::mousePress(box, Qt::RightButton, {}, QPoint(240, 100));
    EXPECT_TRUE(cursor->isHidden());
    QTest::mouseRelease(box, Qt::RightButton, {}, QPoint(240, 100));
    w.form->SpectrumTab().PopupSpec->hide();
}

// ---------------------------------------------------------------------------------------------
// Band-edge handles

TEST(BandEdgeDrag, CutOnHandleOnALinearAxisMovesTheBandAndDesignsTheFilterOnRelease) {
    Window w;
    SizeGraph(w, 960, 500); // 25 Hz per pixel from 0 to 24 kHz
    SetBand(w, 1000, 3000);
    auto* shape1 = w.Find<QFrame>("Shape1");
    auto* shape2 = w.Find<QFrame>("Shape2");
    const int left = w.form->PaintBox2->x();
    ASSERT_EQ(shape1->x(), left + 40);
    ASSERT_EQ(shape2->x(), left + 120);

    const QPoint grab(1, 10);
    QTest::mousePress(shape1, Qt::LeftButton, {}, grab);
    QTest::mouseMove(shape1, On(w, shape1, left + 60, 10)); // 1500 Hz
    EXPECT_EQ(w.form->TrackL->value(), 1500);
    EXPECT_EQ(w.form->TrackU->value(), 3500);
    EXPECT_EQ(shape1->x(), left + 60);
    EXPECT_EQ(shape2->x(), left + 140);
    EXPECT_EQ(w.Find<QLabel>("LBW")->text(), " BW = 2000 Hz");
    // The filter keeps its design while the handle moves.
    EXPECT_EQ(w.form->DSP().StartFrequency(), 1000.0);
    EXPECT_EQ(w.form->DSP().StopFrequency(), 3000.0);
    QTest::mouseRelease(shape1, Qt::LeftButton, {}, On(w, shape1, left + 60, 10));
    EXPECT_EQ(w.form->DSP().StartFrequency(), 1500.0);
    EXPECT_EQ(w.form->DSP().StopFrequency(), 3500.0);
    EXPECT_TRUE(w.form->DSP().FilterCreated());
    EXPECT_EQ(shape1->x(), left + 60);
    EXPECT_EQ(shape2->x(), left + 140);
    EXPECT_EQ(w.form->State().LowerBin, static_cast<int>(std::nearbyint(1500 / 48000.0 * 1024)));
}

TEST(BandEdgeDrag, CutOnHandleOnALogAxisMovesOnlyTheCutOn) {
    Window w;
    SizeGraph(w, 960, 500);
    UseLogAxis(w, true);
    SetBand(w, 1000, 3000);
    const TSpectrumAxis axis = w.form->SpectrumTab().Axis();
    auto* shape1 = w.Find<QFrame>("Shape1");
    const int left = w.form->PaintBox2->x();
    const int x = FrequencyToX(axis, 1500);
    Drag(w, shape1, {left + x});
    EXPECT_EQ(w.form->TrackL->value(), static_cast<int>(std::nearbyint(XToFrequency(axis, x))));
    EXPECT_NEAR(w.form->TrackL->value(), 1500, 10);
    EXPECT_EQ(w.form->TrackU->value(), 3000);
    EXPECT_EQ(w.form->DSP().StartFrequency(), w.form->TrackL->value());
}

TEST(BandEdgeDrag, TheHandlesNeverCross) {
    for (const bool log : {false, true}) {
        SCOPED_TRACE(log ? "log axis" : "linear axis");
        Window w;
        SizeGraph(w, 960, 500);
        UseLogAxis(w, log);
        SetBand(w, 1000, 3000);
        auto* shape1 = w.Find<QFrame>("Shape1");
        auto* shape2 = w.Find<QFrame>("Shape2");
        const int left = w.form->PaintBox2->x();

        // The cut-on handle pushed far past the cut-off handle, in several moves.
        const QPoint grab(1, 10);
        QTest::mousePress(shape1, Qt::LeftButton, {}, grab);
        for (int step = 1; step <= 4; ++step) {
            QTest::mouseMove(shape1, On(w, shape1, left + 940, 10));
            EXPECT_LT(shape1->x(), shape2->x()) << step;
            EXPECT_LT(w.form->TrackL->value(), w.form->TrackU->value()) << step;
        }
        QTest::mouseRelease(shape1, Qt::LeftButton, {}, On(w, shape1, left + 940, 10));
        EXPECT_LT(shape1->x(), shape2->x());

        // The cut-off handle pulled far below the cut-on handle.
        Drag(w, shape2, {left - 300, left + 2});
        EXPECT_GE(shape2->x(), shape1->x() + 1);
        EXPECT_LE(w.form->TrackL->value(), w.form->TrackU->value());
        EXPECT_EQ(w.form->DSP().StopFrequency(), w.form->TrackU->value());
    }
}

TEST(BandEdgeDrag, CaptionsDragRelativeToWhereTheyWereGrabbed) {
    Window w;
    SizeGraph(w, 960, 500);
    SetBand(w, 1000, 3000);
    auto* lowCaption = w.Find<QLabel>("L_L");
    auto* highCaption = w.Find<QLabel>("L_U");
    // L_L grabbed anywhere and moved 20 pixels right: +500 Hz, the band keeps its width.
    const QPoint grab(3, 3);
    const QPoint start = lowCaption->mapTo(Page(w), grab);
    QTest::mousePress(lowCaption, Qt::LeftButton, {}, grab);
    QTest::mouseMove(lowCaption, On(w, lowCaption, start.x() + 20, start.y()));
    QTest::mouseRelease(lowCaption, Qt::LeftButton, {},
                        On(w, lowCaption, start.x() + 20, start.y()));
    EXPECT_EQ(w.form->TrackL->value(), 1500);
    EXPECT_EQ(w.form->TrackU->value(), 3500);

    // L_U moved 40 pixels right: the cut-off only.
    const QPoint startHigh = highCaption->mapTo(Page(w), grab);
    QTest::mousePress(highCaption, Qt::LeftButton, {}, grab);
    QTest::mouseMove(highCaption, On(w, highCaption, startHigh.x() + 40, startHigh.y()));
    QTest::mouseRelease(highCaption, Qt::LeftButton, {},
                        On(w, highCaption, startHigh.x() + 40, startHigh.y()));
    EXPECT_EQ(w.form->TrackL->value(), 1500);
    EXPECT_EQ(w.form->TrackU->value(), 4500);
}

TEST(BandEdgeDrag, BandwidthLinesItemAndZoomShowOrHideTheHandles) {
    Window w;
    SizeGraph(w, 960, 500);
    auto* shape1 = w.Find<QFrame>("Shape1");
    auto* bw = w.Find<QAction>("BW");
    EXPECT_TRUE(bw->isChecked());
    EXPECT_TRUE(shape1->isVisible());
    bw->trigger();
    EXPECT_FALSE(bw->isChecked());
    for (const char* name : {"Shape1", "Shape2", "L_L", "L_U", "LBW"})
        EXPECT_TRUE(w.Find<QWidget>(name)->isHidden()) << name;
    bw->trigger();
    EXPECT_TRUE(shape1->isVisible());
    w.Find<QAction>("CheckZoom")->trigger();
    EXPECT_TRUE(shape1->isHidden());
}

// ---------------------------------------------------------------------------------------------
// Markers

TEST(MarkerReadout, OnARecordBetweenRecordsAndAboveTheLast) {
    Window w;
    SizeGraph(w, 960, 500);
    w.form->State().DisplayPoints = Trace({{0, -90}, {1000, -20}, {2000, -60}});
    TSpectrumOverlays& o = Overlays(w);
    auto* lmar = w.Find<QLabel>("LMar");
    EXPECT_TRUE(lmar->isHidden());
    TypeAndLeave(o.MF[1], "1500");
    TypeAndLeave(o.MF[2], "30000");
    o.MF[0]->setText("1000");
    QTest::keyClick(o.MF[0], Qt::Key_Return);
    for (std::size_t m = 0; m < 3; ++m)
        o.MC[m]->click();
    ASSERT_FALSE(lmar->isHidden());
    EXPECT_EQ(Lines(lmar), QStringList({"  1000 Hz:  -20.0 dB", "  1500 Hz:  -40.0 dB",
                                        " 30000 Hz:  -60.0 dB"}));
    // The read-out sits at the chosen corner of the graph.
    const QRect g = w.form->PaintBox2->geometry();
    EXPECT_EQ(lmar->pos(), QPoint(g.x() + 2, g.y() + 2));
    w.Find<QComboBox>("CPos")->setCurrentIndex(3);
    EXPECT_EQ(lmar->x() + lmar->width(), g.x() + g.width() - 2);
    EXPECT_EQ(lmar->y() + lmar->height(), g.y() + g.height() - 2);
    // Its colour is the main trace's.
    EXPECT_EQ(lmar->palette().color(QPalette::WindowText), ToQColor(BlueColour, lmar->palette()));
    o.MC[0]->click();
    o.MC[1]->click();
    o.MC[2]->click();
    EXPECT_TRUE(lmar->isHidden());
}

TEST(MarkerReadout, AMemoryFromATouchstoneFileReadsItsOwnValues) {
    Window w;
    SizeGraph(w, 960, 500);
    const std::string path = w.folder + "/known.s1p";
    std::ofstream(path) << "! levels known by hand\n# Hz S DB R 50\n"
                           "100 -20.04 0\n1000 -33.36 0\n10000 -47.77 0\n";
    w.form->MemTraces().Hooks().ChooseFile = [&path](bool) { return QString::fromStdString(path); };
    w.Find<QAction>("Load1")->trigger();
    ASSERT_EQ(w.form->MemTraces().Memory(1).size(), 3u);

    TSpectrumOverlays& o = Overlays(w);
    const char* frequencies[] = {"100", "1000", "10000", "550"};
    for (std::size_t m = 0; m < 4; ++m) {
        TypeAndLeave(o.MF[m], frequencies[m]);
        o.MC[m]->click();
    }
    auto* lm1 = w.Find<QLabel>("LM1");
    ASSERT_FALSE(lm1->isHidden());
    // On the records, and between them interpolated in dB: -20.04 + (-13.32) * 450 / 900.
    EXPECT_EQ(Lines(lm1), QStringList({"  -20.0 dB", "  -33.4 dB", "  -47.8 dB", "  -26.7 dB"}));
    EXPECT_EQ(lm1->palette().color(QPalette::WindowText),
              ToQColor(w.form->MemTraces().MemColour(1), lm1->palette()));
    // The memory read-out follows the main read-out, 2 pixels after it, at its top.
    auto* lmar = w.Find<QLabel>("LMar");
    EXPECT_EQ(lm1->x(), lmar->x() + lmar->width() + 2);
    EXPECT_EQ(lm1->y(), lmar->y());

    // Hidden with "Show Marker Data for Memory Traces" off, and with the memory's box off.
    o.CMD->click();
    EXPECT_TRUE(lm1->isHidden());
    o.CMD->click();
    EXPECT_FALSE(lm1->isHidden());
    w.Find<QCheckBox>("M1")->click();
    EXPECT_TRUE(lm1->isHidden());
    EXPECT_TRUE(w.Find<QLabel>("LM2")->isHidden()); // an empty memory shows nothing
}

TEST(MarkerReadout, AgreesWithTheLiveTraceAfterEachEngineBlock) {
    Window w;
    SizeGraph(w, 960, 500);
    TSpectrumOverlays& o = Overlays(w);
    // A full-scale sine on bin 22 of N = 1024 at 48 kHz, a marker on it and one far away.
    const double tone = 22 * 48000.0 / 1024;
    TypeAndLeave(o.MF[0], QString::number(tone, 'g', 10));
    TypeAndLeave(o.MF[1], "15000");
    o.MC[0]->click();
    o.MC[1]->click();
    w.form->SpeedButton1->click();
    ASSERT_TRUE(w.form->Sampling());
    TDataBufferF in = uitest::SineBlock(2048, tone);
    TDataBufferF out(2, TSingleArray(2048));
    // Ten meter time constants (0.5 s) of blocks: the smoothed spectrum has settled.
    for (int block = 0; block < 120; ++block)
        w.Deliver(in, out);
    auto* lmar = w.Find<QLabel>("LMar");
    // The texts equal what the shown spectrum gives at the markers.
    const auto& shown = w.form->State().DisplayPoints;
    ASSERT_FALSE(shown.empty());
    const double offset = w.form->State().YOffset - w.form->State().RefLevel;
    const QStringList lines = Lines(lmar);
    ASSERT_EQ(lines.size(), 2);
    const std::string expected =
        BuildMarkerTexts(std::vector<TMarker>{{true, tone}}, {shown, offset, {}, {}}).Main;
    EXPECT_EQ(lines[0].toStdString() + "\r\n", expected);
    // And they read the sine's known level: full scale is 0 dB, far from it nothing.
    const double atTone = lines[0].section(':', 1).remove("dB").trimmed().toDouble();
    const double away = lines[1].section(':', 1).remove("dB").trimmed().toDouble();
    EXPECT_NEAR(atTone, 0.0, 0.2);
    EXPECT_LT(away, -80.0);
    w.form->SpeedButton1->click();
}

TEST(MarkerReadout, FieldsThatAreNoNumberBeepAndKeepTheirValues) {
    Window w;
    SizeGraph(w, 960, 500);
    w.form->State().DisplayPoints = Trace({{0, -10}, {20000, -10}});
    TSpectrumOverlays& o = Overlays(w);
    o.MC[0]->click();
    auto* lmar = w.Find<QLabel>("LMar");
    const QString before = lmar->text();
    const int beeps = w.form->BeepCount();
    TypeAndLeave(o.MF[0], "x12");
    EXPECT_EQ(w.form->BeepCount(), beeps + 1);
    EXPECT_EQ(o.MF[0]->text(), "10");
    EXPECT_EQ(o.MarkerFrequency(0), 10.0);
    EXPECT_EQ(lmar->text(), before);

    // The font size: a non-number or zero beeps and keeps the size; a number applies.
    const int size = lmar->font().pointSize();
    TypeAndLeave(o.EMFS, "x");
    TypeAndLeave(o.EMFS, "0");
    EXPECT_EQ(w.form->BeepCount(), beeps + 3);
    EXPECT_EQ(o.EMFS->text(), QString::number(size));
    EXPECT_EQ(lmar->font().pointSize(), size);
    TypeAndLeave(o.EMFS, "16");
    EXPECT_EQ(lmar->font().pointSize(), 16);
    EXPECT_EQ(w.Find<QLabel>("LM1")->font().pointSize(), 16);
    TypeAndLeave(o.EAFS, "ten");
    EXPECT_EQ(w.form->BeepCount(), beeps + 4);
    EXPECT_EQ(o.EAFS->text(), "10");

    // Through the settings reader: nothing beeps, the values stay.
    const std::string path = w.folder + "/bad.ini";
    std::ofstream(path, std::ios::binary) << "MarkerF1=abc\r\nMarFontSize=zz\r\n";
    w.form->ReadSettings(QString::fromStdString(path));
    EXPECT_EQ(o.MF[0]->text(), "10");
    EXPECT_EQ(o.EMFS->text(), "16");
    EXPECT_EQ(w.form->BeepCount(), beeps + 4);
    EXPECT_TRUE(w.messages.empty());
}

// ---------------------------------------------------------------------------------------------
// Annotations

TEST(Annotations, FontFollowsTheWindowWidth) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.form->resize(2048, 700);
    QApplication::processEvents();
    ASSERT_EQ(w.form->width(), 2048);
    EXPECT_EQ(Overlays(w).EAFS->text(), "10");
    for (const char* name : {"LAM", "LA1", "LA2", "LA3", "LA4", "LAC"})
        EXPECT_EQ(w.Find<QLabel>(name)->font().pointSize(), 20) << name;
    TypeAndLeave(Overlays(w).EAFS, "5");
    EXPECT_EQ(w.Find<QLabel>("LA1")->font().pointSize(), 10);
}

TEST(Annotations, MoveAllLabelsToTopLeftPutsMem1EightyPixelsDownAtFiveHundred) {
    Window w;
    SizeGraph(w, 900, 500);
    TSpectrumOverlays& o = Overlays(w);
    o.SetAnnoPos(1, {0.7, 0.9});
    QTest::mouseClick(o.BDefault, Qt::LeftButton);
    const QRect g = w.form->PaintBox2->geometry();
    auto* mem1 = w.Find<QLabel>("LA1");
    EXPECT_EQ(mem1->y() + mem1->height(), g.y() + 80);
    EXPECT_EQ(mem1->x(), g.x());
    auto* main = w.Find<QLabel>("LAM");
    EXPECT_EQ(main->y() + main->height(), g.y() + 50);
    auto* custom = w.Find<QLabel>("LAC");
    EXPECT_EQ(custom->y() + custom->height(), g.y() + 200);
}

TEST(Annotations, VisibilityTransparencyAndCaptions) {
    Window w;
    SizeGraph(w, 900, 500);
    TSpectrumOverlays& o = Overlays(w);
    auto* main = w.Find<QLabel>("LAM");
    auto* mem1 = w.Find<QLabel>("LA1");
    auto* custom = w.Find<QLabel>("LAC");
    EXPECT_TRUE(main->isHidden());
    o.CA->click();
    EXPECT_FALSE(main->isHidden());
    EXPECT_TRUE(mem1->isHidden());   // memory 1 is empty
    EXPECT_TRUE(custom->isHidden()); // the custom trace is off
    w.form->State().DisplayPoints = Trace({{0, -10}, {100, -20}});
    w.form->MemTraces().toMem1Click(1);
    EXPECT_FALSE(mem1->isHidden());
    w.Find<QCheckBox>("C")->click();
    EXPECT_FALSE(custom->isHidden());

    EXPECT_TRUE(main->autoFillBackground()); // opaque, in the graph's background colour
    EXPECT_EQ(main->palette().color(QPalette::Window), ToQColor(ButtonFaceColour, main->palette()));
    o.CAT->click();
    EXPECT_FALSE(main->autoFillBackground());
    TypeAndLeave(o.EA[1], "Reference");
    EXPECT_EQ(mem1->text(), "Reference");
}

TEST(Annotations, DraggedLabelsStayWhereTheyCanBeGrabbedAndKeepTheirPlace) {
    Window w;
    SizeGraph(w, 900, 500);
    TSpectrumOverlays& o = Overlays(w);
    o.CA->click();
    auto* main = w.Find<QLabel>("LAM");
    const QRect g = w.form->PaintBox2->geometry();
    const int mw = main->width();
    const int mh = main->height();

    // Dragged far beyond the bottom right: half of it stays over the graph.
    QPoint grab(mw / 2, mh / 2);
    QTest::mousePress(main, Qt::LeftButton, {}, grab);
    QTest::mouseMove(main, On(w, main, 5000, 5000));
    QTest::mouseRelease(main, Qt::LeftButton, {}, On(w, main, 5000, 5000));
    EXPECT_EQ(main->x(), g.width() - mw / 2);
    EXPECT_EQ(main->y(), g.y() + g.height() - mh / 2);
    const TLabelFraction stored = o.AnnoPos(0);
    EXPECT_NEAR(stored.L, static_cast<double>(g.width() - mw / 2 - g.x()) / g.width(), 1e-12);
    EXPECT_NEAR(stored.T, static_cast<double>(g.height() + mh - mh / 2) / g.height(), 1e-12);

    // A re-layout keeps it there; a very small window keeps it reachable and finite; the old
    // size brings it back.
    w.form->resize(w.form->width() + 1, w.form->height());
    QApplication::processEvents();
    w.form->resize(w.form->width() - 1, w.form->height());
    QApplication::processEvents();
    EXPECT_EQ(main->pos(), QPoint(g.width() - mw / 2, g.y() + g.height() - mh / 2));
    const QSize normal = w.form->size();
    w.form->resize(120, 90);
    QApplication::processEvents();
    const QRect small = w.form->PaintBox2->geometry();
    const int sw = main->width(); // the font follows the window width
    const int sh = main->height();
    EXPECT_GE(main->x(), -sw / 2);
    EXPECT_LE(main->x(), std::max(-sw / 2, small.width() - sw / 2));
    EXPECT_GE(main->y(), small.y() - sh / 2);
    EXPECT_LE(main->y(), std::max(small.y() - sh / 2, small.y() + small.height() - sh / 2));
    EXPECT_TRUE(std::isfinite(o.AnnoPos(0).L) && std::isfinite(o.AnnoPos(0).T));
    w.form->resize(normal);
    QApplication::processEvents();
    EXPECT_EQ(main->pos(), QPoint(g.width() - mw / 2, g.y() + g.height() - mh / 2));

    // Dragged back to the top left: stops half outside, and can still be grabbed.
    grab = QPoint(mw / 2, mh / 2);
    QTest::mousePress(main, Qt::LeftButton, {}, grab);
    QTest::mouseMove(main, On(w, main, -5000, -5000));
    QTest::mouseRelease(main, Qt::LeftButton, {}, On(w, main, -5000, -5000));
    EXPECT_EQ(main->pos(), QPoint(-mw / 2, g.y() - mh / 2));
}

TEST(Annotations, PositionsFromAFileStayReachable) {
    Window w;
    SizeGraph(w, 900, 500);
    const std::string path = w.folder + "/far.ini";
    WriteSettingsFile(path, {{"AnnoMainL=", "1E300"},
                             {"AnnoMainT=", "-1E300"},
                             {"AnnoM1L=", " 5.00000000000000E-0001"},
                             {"AnnoM1T=", " 5.00000000000000E-0001"}});
    w.form->ReadPrivateSettings(QString::fromStdString(path));
    const QRect g = w.form->PaintBox2->geometry();
    auto* main = w.Find<QLabel>("LAM");
    EXPECT_EQ(main->x(), g.width() - main->width() / 2);
    EXPECT_EQ(main->y(), g.y() - main->height() / 2);
    auto* mem1 = w.Find<QLabel>("LA1");
    EXPECT_EQ(mem1->x(), g.x() + 450);
    EXPECT_EQ(mem1->y() + mem1->height(), g.y() + 250);
}

// ---------------------------------------------------------------------------------------------
// Meters

TEST(MetersTransparent, SwitchesTheBackgroundOfTheFiveMeterLabels) {
    Window w;
    auto* check = w.Find<QCheckBox>("CMTrans");
    EXPECT_TRUE(check->isChecked());
    const char* names[] = {"LSN", "LS", "LSp", "LSN_O", "LCS"};
    for (const char* name : names)
        EXPECT_FALSE(w.Find<QLabel>(name)->autoFillBackground()) << name;
    check->click();
    for (const char* name : names)
        EXPECT_TRUE(w.Find<QLabel>(name)->autoFillBackground()) << name;
    auto* lsn = w.Find<QLabel>("LSN");
    EXPECT_EQ(lsn->palette().color(QPalette::Window), ToQColor(ButtonFaceColour, lsn->palette()));
    check->click();
    EXPECT_FALSE(lsn->autoFillBackground());
}

// ---------------------------------------------------------------------------------------------
// Settings keys of the overlays, applied through the controls' handlers

TEST(OverlaySettings, ThePanelTakesTheSpareHeightOfItsPage) {
    uitest::Window w; // 900 x 640
    w.form->PageControl1->setCurrentWidget(w.form->TabSettings);
    w.form->PageControl2->setCurrentWidget(w.form->TabSpecSettings);
    QApplication::processEvents();
    auto* panel = w.Find<QScrollArea>("SpecOverlayScroll");
    QWidget* page = w.form->TabSpecSettings;
    // All the height the other controls and the page's margins leave is the panel's.
    QLayout* layout = page->layout();
    int spare =
        page->height() - layout->contentsMargins().top() - layout->contentsMargins().bottom();
    int widgets = 0;
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget* widget = layout->itemAt(i)->widget()) {
            ++widgets;
            if (widget != panel)
                spare -= widget->height();
        }
    spare -= layout->spacing() * (widgets - 1);
    EXPECT_GE(panel->height(), spare - 1) << "page " << page->height();
}

TEST(OverlaySettings, MainAndPrivateKeysReachTheControlsAndWhatTheyShow) {
    Window w;
    SizeGraph(w, 960, 500);
    w.form->State().DisplayPoints = Trace({{0, -30}, {1000, -30}});
    const std::string main = w.folder + "/setup.ini";
    WriteSettingsFile(main, {{"TransMeters=", "0"},
                             {"BW_Lines=", "1"},
                             {"Marker2=", "1"},
                             {"MarkerF2=", "250"},
                             {"MarCapPos=", "2"},
                             {"MarFontSize=", "13"},
                             {"CurAlign=", "1"}});
    w.form->ReadSettings(QString::fromStdString(main));
    TSpectrumOverlays& o = Overlays(w);
    EXPECT_TRUE(w.Find<QAction>("BW")->isChecked()); // 1 keeps the lines on
    EXPECT_FALSE(w.Find<QFrame>("Shape1")->isHidden());
    EXPECT_TRUE(w.Find<QLabel>("LSN")->autoFillBackground());
    EXPECT_EQ(o.CCur->currentIndex(), 1);
    auto* lmar = w.Find<QLabel>("LMar");
    EXPECT_EQ(lmar->text(), "   250 Hz:  -30.0 dB");
    EXPECT_EQ(lmar->font().pointSize(), 13);
    const QRect g = w.form->PaintBox2->geometry();
    EXPECT_EQ(lmar->pos(), QPoint(g.x() + 2, g.y() + g.height() - lmar->height() - 2));

    WriteSettingsFile(main, {{"BW_Lines=", "0"}});
    w.form->ReadSettings(QString::fromStdString(main));
    EXPECT_FALSE(w.Find<QAction>("BW")->isChecked());
    EXPECT_TRUE(w.Find<QFrame>("Shape1")->isHidden());

    const std::string machine = w.folder + "/machine.ini";
    WriteSettingsFile(machine, {{"MemMarkers=", "0"},
                                {"Annotation=", "1"},
                                {"AnnoTransp=", "1"},
                                {"AnnoFontSize=", "20"},
                                {"AnnoME=", "Live"}});
    w.form->ReadPrivateSettings(QString::fromStdString(machine));
    EXPECT_FALSE(o.CMD->isChecked());
    auto* label = w.Find<QLabel>("LAM");
    EXPECT_FALSE(label->isHidden());
    EXPECT_FALSE(label->autoFillBackground());
    EXPECT_EQ(label->text(), "Live");
    EXPECT_EQ(label->font().pointSize(),
              static_cast<int>(std::nearbyint(w.form->width() * 20 / 1024.0)));
    EXPECT_TRUE(w.messages.empty());
}
