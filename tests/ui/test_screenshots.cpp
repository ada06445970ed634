// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests of the screenshots: picture size, the resized layout in the picture's pixels,
// annotation placing, white background, restoring the window, F9, PNG files, transparency.
#include "WindowRig.h"

#include "ui/common/ViewMapping.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/peak/PeakTab.h"
#include "ui/scope/ScopeTab.h"
#include "ui/screenshot/ScreenshotTool.h"
#include "ui/spectrum/SpectrumOverlays.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace {

using uitest::Window;

// What the window looked like while its picture was taken, in client pixels.
struct TSeen {
    int grabs = 0;
    QSize client;
    QRect graph;     // PaintBox2 (spectrum) or PaintBox1 (scope)
    QRect lsn;       // the S+N meter of the tab
    QRect meters;    // the visible meters of the tab together
    QPoint lam;      // the main trace's annotation: its own left and top
    QRect lamInClient; // and where it is in the picture
    int lamFont = 0; // points
    int lsnFont = 0;
    int markerFont = 0;
    bool specBackShown = false;
    QWidget* tab = nullptr;
};

struct ShotWindow {
    TSeen seen;
    QString pngPath;      // what the PNG dialog answers (empty: no file)
    QString dialogFolder; // the folder it proposed
    QString proposedName; // and the file name
    bool failGrab = false;
    bool nullGrab = false;
    std::unique_ptr<Window> w;

    // `composes`: the window system's answer to whether it composes translucent windows (empty:
    // the real one, never on the offscreen platform).
    explicit ShotWindow(std::function<bool()> composes = {}) {
        w = std::make_unique<Window>(
            uitest::kBothWays, std::string{}, [this, composes](TFormEnvironment& env) {
                env.WindowComposes = composes;
                env.GrabClientArea = [this](QWidget* client) { return Grab(client); };
                env.ChoosePictureFile = [this](const QString& proposed) {
                    dialogFolder = QFileInfo(proposed).absolutePath();
                    proposedName = QFileInfo(proposed).fileName();
                    return pngPath;
                };
            });
    }

    QImage Grab(QWidget* client) {
        TForm1& f = *w->form;
        ++seen.grabs;
        seen.client = client->size();
        seen.tab = f.PageControl1->currentWidget();
        const bool spectrum = seen.tab == f.TabSpectrum;
        QWidget* graph = spectrum ? f.PaintBox2 : f.PaintBox1;
        seen.graph = QRect(graph->mapTo(client, QPoint(0, 0)), graph->size());
        QLabel* lsn = spectrum ? f.SpectrumTab().LSN : f.ScopeTab().LSN_O;
        seen.lsn = QRect(lsn->mapTo(client, QPoint(0, 0)), lsn->size());
        seen.meters = QRect();
        for (QLabel* meter : {f.SpectrumTab().LSN, f.SpectrumTab().LS, f.SpectrumTab().LSp})
            if (spectrum && meter->isVisible())
                seen.meters |= QRect(meter->mapTo(client, QPoint(0, 0)), meter->size());
        QLabel* lam = f.Overlays().LA[0];
        seen.lam = lam->pos();
        seen.lamInClient = QRect(lam->mapTo(client, QPoint(0, 0)), lam->size());
        seen.lamFont = lam->font().pointSize();
        seen.lsnFont = lsn->font().pointSize();
        seen.markerFont = f.Overlays().LMar->font().pointSize();
        seen.specBackShown = !f.SpecBack->isHidden();
        if (failGrab)
            throw std::runtime_error("no picture today");
        if (nullGrab)
            return {};
        return client->grab().toImage();
    }

    TForm1& form() { return *w->form; }
    TScreenshotTool& tool() { return w->form->Screenshots(); }
};

// Everything a screenshot must give back.
struct TWindowLook {
    QSize window;
    QSize client;
    int tab = 0;
    std::vector<QPoint> labels; // annotations, marker read-out, meters (client pixels)
    std::vector<int> fonts;
    QColor windowColour;
    bool legendsShown = false;
    bool operator==(const TWindowLook&) const = default;
};

void PrintTo(const TWindowLook& look, std::ostream* os) {
    *os << look.window.width() << "x" << look.window.height() << " client " << look.client.width()
        << "x" << look.client.height() << " tab " << look.tab << " labels";
    for (std::size_t k = 0; k < look.labels.size(); ++k)
        *os << " (" << look.labels[k].x() << "," << look.labels[k].y() << " " << look.fonts[k]
            << "pt)";
    *os << " colour " << look.windowColour.name().toStdString() << " legends " << look.legendsShown;
}

TWindowLook Look(TForm1& f) {
    TWindowLook look;
    look.window = f.size();
    look.client = f.centralWidget()->size();
    look.tab = f.PageControl1->currentIndex();
    std::vector<QLabel*> labels(f.Overlays().LA.begin(), f.Overlays().LA.end());
    for (QLabel* l : {f.Overlays().LMar, f.SpectrumTab().LSN, f.SpectrumTab().LS,
                      f.SpectrumTab().LSp, f.ScopeTab().LSN_O, f.ScopeTab().LCS})
        labels.push_back(l);
    for (QLabel* l : labels) {
        look.labels.push_back(l->mapTo(f.centralWidget(), QPoint(0, 0)));
        look.fonts.push_back(l->font().pointSize());
    }
    look.windowColour = f.palette().color(QPalette::Window);
    look.legendsShown = !f.C->isHidden();
    return look;
}

std::vector<TSpectrumPoint> Trace(double fromHz, double toHz, double db) {
    const double magnitude = std::pow(10.0, db / 20.0);
    return {{fromHz, magnitude}, {toHz, magnitude}};
}

bool IsColour(QRgb pixel, const QColor& colour, int tolerance = 40) {
    return std::abs(qRed(pixel) - colour.red()) <= tolerance &&
           std::abs(qGreen(pixel) - colour.green()) <= tolerance &&
           std::abs(qBlue(pixel) - colour.blue()) <= tolerance;
}

int CountColour(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 40) {
    int n = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            n += IsColour(image.pixel(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

// Pixels of the trace colour (blue, drawn with a smoothed pen) in `area`.
int CountBlue(const QImage& image, const QRect& area) {
    int n = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const QRgb p = image.pixel(x, y);
            n += qBlue(p) > 200 && qRed(p) < 160 && qGreen(p) < 160 ? 1 : 0;
        }
    return n;
}

void TypeAndLeave(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    emit edit->textEdited(text);
    emit edit->editingFinished();
}

} // namespace

void PrintTo(const TPixelSize& size, std::ostream* os) {
    *os << size.Width << "x" << size.Height;
}

TEST(Screenshot, ThePictureHasTheChosenSizeWhateverTheWindowSize) {
    ShotWindow s;
    for (const TPixelSize client :
         {TPixelSize{900, 600}, TPixelSize{1100, 760}, TPixelSize{700, 580}}) {
        s.tool().SetClientSize(client);
        ASSERT_EQ(s.tool().ClientSize(), client);
        const TWindowLook before = Look(s.form());
        s.tool().SaveSpec->trigger();
        const QImage onClipboard = QGuiApplication::clipboard()->image();
        EXPECT_EQ(onClipboard.size(), QSize(300, 200)) << client.Width;
        EXPECT_EQ(s.seen.client, QSize(300, 200));
        EXPECT_EQ(onClipboard.convertToFormat(QImage::Format_RGB32),
                  s.tool().LastPicture().convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(Look(s.form()), before) << client.Width;
        s.tool().SaveScope->trigger();
        EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(300, 200));
        EXPECT_EQ(s.seen.tab, s.form().TabScope);
        EXPECT_EQ(Look(s.form()), before) << client.Width;
    }
    EXPECT_TRUE(s.w->messages.empty());
    // Another size from the fields.
    TypeAndLeave(s.tool().ESX, "480");
    TypeAndLeave(s.tool().ESY, "360");
    s.tool().SaveScope->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(480, 360));
}

TEST(Screenshot, AnAnnotationMovesWithTheScaledClientAreaAndComesBack) {
    ShotWindow s;
    TForm1& f = s.form();
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    s.tool().SetClientSize({800, 600});
    ASSERT_EQ(s.tool().ClientSize(), (TPixelSize{800, 600}));
    TSpectrumOverlays& o = f.Overlays();
    o.CA->click(); // annotations shown
    // The main trace's label at left 400, top 300 of its tab.
    const QRect graph = f.PaintBox2->geometry();
    QLabel* lam = o.LA[0];
    const double l = (400.0 - graph.x()) / graph.width();
    const double t = (300.0 + lam->height() - graph.y()) / graph.height();
    o.SetAnnoPos(0, {l, t});
    o.PlaceOverlays();
    ASSERT_EQ(lam->pos(), QPoint(400, 300));
    const int fontBefore = lam->font().pointSize();

    s.tool().SaveSpec->trigger();
    ASSERT_EQ(s.seen.grabs, 1);
    EXPECT_EQ(s.seen.lam, QPoint(150, 100)); // 400 x 300/800, 300 x 200/600
    EXPECT_EQ(s.seen.lamFont, 10);           // "Screenshot Font Size"
    EXPECT_EQ(s.seen.markerFont, 10);
    EXPECT_EQ(s.seen.lsnFont, 7); // 18 pt scaled by 1/3, no smaller than legible
    EXPECT_EQ(lam->pos(), QPoint(400, 300));
    EXPECT_EQ(lam->font().pointSize(), fontBefore);
    EXPECT_DOUBLE_EQ(o.AnnoPos(0).L, l); // the stored position never moved
    EXPECT_DOUBLE_EQ(o.AnnoPos(0).T, t);

    // Another font size for the picture.
    TypeAndLeave(s.tool().ESFS, "14");
    s.tool().SaveSpec->trigger();
    EXPECT_EQ(s.seen.lamFont, 14);
    EXPECT_EQ(s.seen.lsnFont, 7);
    EXPECT_EQ(lam->font().pointSize(), fontBefore);
}

TEST(Screenshot, AnAnnotationNearTheTopOfTheGraphShowsInThePicture) {
    ShotWindow s;
    TForm1& f = s.form();
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    s.tool().SetClientSize({900, 640});
    f.State().DisplayPoints.clear(); // no trace under the label
    TSpectrumOverlays& o = f.Overlays();
    o.CA->click();
    o.SetAnnoPos(0, {0.2, 0.06}); // its bottom edge 6 % of the graph below the graph's top
    o.PlaceOverlays();
    QLabel* lam = o.LA[0];
    const QPoint own = lam->pos();
    ASSERT_LT(own.y(), f.PaintBox2->y() + f.PaintBox2->height() / 10);

    s.tool().SaveSpec->trigger();
    ASSERT_EQ(s.seen.grabs, 1);
    const TScreenshotScale scale = ScreenshotScale({900, 640}, {300, 200});
    EXPECT_EQ(s.seen.lam, QPoint(static_cast<int>(std::lround(own.x() * scale.Sx)),
                                 static_cast<int>(std::lround(own.y() * scale.Sy))));
    // Its text, in the main trace's blue, inside its rectangle of the picture.
    const QImage picture = s.tool().LastPicture();
    const QRect box = s.seen.lamInClient.intersected(picture.rect());
    int blue = 0;
    for (int y = box.top(); y <= box.bottom(); ++y)
        for (int x = box.left(); x <= box.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            blue += c.blue() > 160 && c.red() < 100 && c.green() < 100;
        }
    EXPECT_GT(blue, 10) << "label at " << s.seen.lamInClient.x() << "," << s.seen.lamInClient.y();
}

TEST(Screenshot, WhiteBackgroundOffKeepsTheGraphColourAndOnMakesAllWhite) {
    ShotWindow s;
    TForm1& f = s.form();
    const TColour back = 0x30C0E0u; // R 0xE0, G 0xC0, B 0x30: in none of the other colours
    f.SpectrumTab().Hooks().ChooseColour = [back](TColour) { return std::optional(back); };
    f.SpectrumTab().BackGround2Click();
    const QColor graphColour = ToQColor(back, f.palette());
    const QColor windowBefore = f.palette().color(QPalette::Window);
    ASSERT_NE(windowBefore, QColor(Qt::white));
    f.State().DisplayPoints.clear();

    s.tool().SaveSpec->trigger();
    QImage picture = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());
    const QRect g = s.seen.graph;
    EXPECT_TRUE(s.seen.specBackShown);
    // The graph keeps its colour; around it the window is white (the margin of the client area
    // and the empty row beside the start button).
    const QRect middle(g.x() + g.width() / 3, g.y() + g.height() / 3, 8, 8);
    EXPECT_GT(CountColour(picture, middle, graphColour, 4), 40);
    EXPECT_TRUE(IsColour(picture.pixel(1, 1), Qt::white, 0));
    EXPECT_TRUE(IsColour(picture.pixel(picture.width() / 2, 3), Qt::white, 0));
    EXPECT_EQ(CountColour(picture, QRect(0, 0, picture.width(), 4), graphColour, 4), 0);

    s.tool().CWhite->click();
    s.tool().SaveSpec->trigger();
    picture = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    EXPECT_FALSE(s.seen.specBackShown);
    EXPECT_EQ(CountColour(picture, middle, graphColour, 4), 0);
    EXPECT_GT(CountColour(picture, middle, Qt::white, 0), 40)
        << QColor(picture.pixel(middle.topLeft())).name().toStdString();
    // The window is as before: its colour, the background shape.
    EXPECT_EQ(f.palette().color(QPalette::Window), windowBefore);
    EXPECT_FALSE(f.SpecBack->isHidden());
}

TEST(Screenshot, ThePictureShowsTheResizedLayoutNotAStaleFrame) {
    ShotWindow s;
    TForm1& f = s.form();
    s.tool().SetClientSize({900, 620});
    // A flat trace at -20 dB across the whole axis, in the band (drawn in the trace colour).
    f.State().DisplayPoints = Trace(0, 24000, -20);
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    const QRect normalGraph = f.PaintBox2->geometry();

    s.tool().SaveSpec->trigger();
    const QImage picture = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(300, 200));
    const QRect g = s.seen.graph;
    // The graph fills the picture's width less the markings and is smaller than normally.
    EXPECT_LT(g.width(), normalGraph.width());
    EXPECT_TRUE(picture.rect().contains(g.adjusted(0, 0, -1, -1))) << g.x() << "," << g.y();
    // The trace is on the row the small graph's axis gives for -20 dB.
    TSpectrumAxis axis = f.SpectrumTab().Axis();
    axis.Width = g.width();
    axis.Height = g.height();
    const int y = g.y() + static_cast<int>(std::lround(DbToY(axis, -20)));
    const QRect row(g.x() + g.width() / 4, y - 1, g.width() / 2, 3);
    EXPECT_GT(CountBlue(picture, row), g.width() / 4)
        << QColor(picture.pixel(row.center())).name().toStdString() << " y " << y << " graph "
        << g.x() << "," << g.y() << " " << g.width() << "x" << g.height();
    // Above and below it, no trace.
    EXPECT_EQ(CountBlue(picture, row.translated(0, 6)), 0);
    EXPECT_EQ(CountBlue(picture, row.translated(0, -6)), 0);
    // The S+N meter stands at the top right of the small graph, red, and inside the picture.
    const QRect lsn = s.seen.lsn;
    EXPECT_TRUE(picture.rect().contains(lsn)) << lsn.x() << "," << lsn.y() << " " << lsn.width();
    EXPECT_GE(lsn.left(), g.x() + g.width() / 3);
    EXPECT_LE(lsn.right(), g.right());
    EXPECT_GT(CountColour(picture, lsn, QColor(255, 0, 0), 80), 5);

    // The scope: its meter text and its trace area in the small picture.
    s.tool().SaveScope->trigger();
    const QImage scope = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(scope.size(), QSize(300, 200));
    EXPECT_TRUE(scope.rect().contains(s.seen.lsn));
    EXPECT_TRUE(scope.rect().contains(s.seen.graph.adjusted(0, 0, -1, -1)));
    EXPECT_GT(CountColour(scope, s.seen.lsn, QColor(255, 0, 0), 80), 5);
}

// Runs of rows (vertical = true: of columns) of `area` holding a dark pixel, as (first, last)
// pairs; rows for which `skip` is true neither hold ink nor part runs.
std::vector<std::pair<int, int>> InkRuns(const QImage& image, const QRect& area, bool vertical,
                                         const std::function<bool(int)>& skip, int maxGap = 0) {
    std::vector<std::pair<int, int>> runs;
    const int from = vertical ? area.top() : area.left();
    const int to = vertical ? area.bottom() : area.right();
    int gap = maxGap + 1;
    for (int i = from; i <= to; ++i) {
        if (skip && skip(i))
            continue;
        bool ink = false;
        for (int j = vertical ? area.left() : area.top();
             j <= (vertical ? area.right() : area.bottom()); ++j)
            ink |= QColor(vertical ? image.pixel(j, i) : image.pixel(i, j)).lightness() < 100;
        if (!ink) {
            ++gap;
            continue;
        }
        if (gap <= maxGap && !runs.empty())
            runs.back().second = i;
        else
            runs.emplace_back(i, i);
        gap = 0;
    }
    return runs;
}

TEST(Screenshot, EveryCaptionOfASmallPictureReads) {
    ShotWindow s;
    TForm1& f = s.form();
    s.tool().SetClientSize({900, 640});
    f.State().DisplayPoints.clear();
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    s.tool().SaveSpec->trigger();
    QImage picture = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.size(), QSize(300, 200));
    QRect g = s.seen.graph;
    const QFontMetrics metrics(f.TabSpectrum->font());
    ASSERT_LT(g.height() / 13.0, metrics.height()) << "the graph is not too low for 13 captions";

    // dB captions inside the graph at its left (left of the 10 kHz line): each block of ink no
    // taller than one caption (the grid's own rows left out), one every few lines.
    const auto gridRow = [&](int y) {
        return QColor(picture.pixel(g.x() + g.width() / 4, y)).lightness() < 100;
    };
    const auto db =
        InkRuns(picture, QRect(g.x() + 2, g.y(), g.width() / 5, g.height()), true, gridRow);
    EXPECT_GE(db.size(), 3u);
    for (const auto& [top, bottom] : db)
        EXPECT_LE(bottom - top + 1, metrics.height()) << "captions piled up at y " << top;

    // The meters scaled with the picture: legible, and in the upper part of the graph only.
    EXPECT_GE(s.seen.lsnFont, kMinPictureFontSize);
    EXPECT_LT(s.seen.lsnFont, s.tool().SFont());
    EXPECT_LE(s.seen.meters.bottom(), g.y() + g.height() / 2)
        << "meters " << s.seen.meters.height() << " px high over a graph of " << g.height();

    // A zoomed linear axis of 1000 .. 3000 Hz: ten frequency captions of "1.2 kHz" and the
    // like. Below the graph no stretch of ink is wider than one caption.
    f.TrackU->setValue(3000);
    f.TrackL->setValue(1000);
    f.SpectrumTab().CheckZoomClick();
    s.tool().SaveSpec->trigger();
    picture = s.tool().LastPicture().convertToFormat(QImage::Format_RGB32);
    g = s.seen.graph;
    const QRect strip(g.x(), g.bottom() + 2, g.width(), picture.height() - g.bottom() - 2);
    const auto hz = InkRuns(picture, strip, false, {}, 1);
    EXPECT_GE(hz.size(), 4u);
    for (const auto& [left, right] : hz)
        EXPECT_LE(right - left + 1, metrics.horizontalAdvance("2.8 kHz"))
            << "captions overlap at x " << left;
}

TEST(Screenshot, TheWindowComesBackEvenWhenThePictureCannotBeTaken) {
    ShotWindow s;
    TForm1& f = s.form();
    s.tool().SetClientSize({820, 560});
    f.PageControl1->setCurrentWidget(f.TabPeak);
    f.Overlays().CA->click();
    const TWindowLook before = Look(f);
    s.failGrab = true;
    s.tool().SaveSpec->trigger();
    EXPECT_EQ(s.seen.grabs, 1);
    EXPECT_EQ(Look(f), before);
    ASSERT_EQ(s.w->messages.size(), 1u);
    EXPECT_TRUE(s.w->messages[0].contains("no picture today"));
    s.failGrab = false;
    s.nullGrab = true;
    s.tool().SaveScope->trigger();
    EXPECT_EQ(Look(f), before);
    EXPECT_EQ(s.w->messages.size(), 2u);
    EXPECT_TRUE(s.tool().LastPicture().isNull()); // nothing reached the clipboard
    // And a working grab afterwards still restores it.
    s.nullGrab = false;
    s.tool().SaveSpec->trigger();
    EXPECT_EQ(Look(f), before);
    EXPECT_FALSE(s.tool().LastPicture().isNull());
}

TEST(Screenshot, SizeAndFontFieldsRefuseWhatIsNoSensibleNumber) {
    ShotWindow s;
    TScreenshotTool& t = s.tool();
    const TScreenshotLimits limits = t.Limits();
    ASSERT_GE(limits.MaxWidth, 640);
    int beeps = s.form().BeepCount();
    for (const char* refused : {"abc", "12.5", "0", "-300", "100000", ""}) {
        TypeAndLeave(t.ESX, refused);
        EXPECT_EQ(t.ESX->text(), "300") << refused;
        EXPECT_EQ(t.ScreenShotX(), 300);
        EXPECT_EQ(s.form().BeepCount(), ++beeps) << refused;
        TypeAndLeave(t.ESY, refused);
        EXPECT_EQ(t.ESY->text(), "200") << refused;
        EXPECT_EQ(t.ScreenShotY(), 200);
        EXPECT_EQ(s.form().BeepCount(), ++beeps) << refused;
    }
    TypeAndLeave(t.ESX, QString::number(limits.MaxWidth + 1));
    EXPECT_EQ(t.ScreenShotX(), 300);
    TypeAndLeave(t.ESX, "640");
    EXPECT_EQ(t.ScreenShotX(), 640);
    for (const char* refused : {"x", "0", "501"}) {
        TypeAndLeave(t.ESFS, refused);
        EXPECT_EQ(t.SFont(), 10) << refused;
        EXPECT_EQ(t.ESFS->text(), "10");
        TypeAndLeave(t.ENFS, refused);
        EXPECT_EQ(t.NFont(), 18) << refused;
    }
    // The meter font applies to the five meter labels at once.
    TypeAndLeave(t.ENFS, "22");
    for (QLabel* meter :
         {s.form().ScopeTab().LSN_O, s.form().ScopeTab().LCS, s.form().SpectrumTab().LSN,
          s.form().SpectrumTab().LS, s.form().SpectrumTab().LSp})
        EXPECT_EQ(meter->font().pointSize(), 22) << meter->objectName().toStdString();
    // A settings file with an absurd size keeps the size in force too.
    const std::string path = s.w->folder + "/absurd.ini";
    std::ofstream(path) << "ScreenShotX=100000\r\nScreenShotY=-4\r\nSFont=12\r\nWhiteBack=1\r\n";
    s.form().ReadSettings(QString::fromStdString(path));
    EXPECT_EQ(t.ScreenShotX(), 640);
    EXPECT_EQ(t.ScreenShotY(), 200);
    EXPECT_EQ(t.SFont(), 12);
    EXPECT_TRUE(t.CWhite->isChecked());
}

TEST(Screenshot, F9TwiceReturnsToTheSameSizeAndClosingStoresTheNormalOne) {
    ShotWindow s;
    TForm1& f = s.form();
    s.tool().SetClientSize({777, 600});
    const QSize window = f.size();
    f.FormKeyDown(Qt::Key_F9);
    EXPECT_TRUE(s.tool().ScreenshotSizeOn());
    EXPECT_EQ(s.tool().ClientSize(), (TPixelSize{300, 200}));
    f.FormKeyDown(Qt::Key_F9);
    EXPECT_FALSE(s.tool().ScreenshotSizeOn());
    EXPECT_EQ(s.tool().ClientSize(), (TPixelSize{777, 600}));
    EXPECT_EQ(f.size(), window);
    // The key itself, wherever the focus is in the window.
    f.activateWindow();
    QApplication::setActiveWindow(&f);
    QTest::keyClick(s.tool().ESX, Qt::Key_F9);
    EXPECT_TRUE(s.tool().ScreenshotSizeOn());
    QTest::keyClick(&f, Qt::Key_F9);
    EXPECT_EQ(f.size(), window);
    // A screenshot in the small size leaves it small.
    f.FormKeyDown(Qt::Key_F9);
    s.tool().SaveSpec->trigger();
    EXPECT_EQ(s.tool().ClientSize(), (TPixelSize{300, 200}));
    // Closing in the small size stores the normal size.
    EXPECT_TRUE(s.w->Close());
    std::ifstream in(s.w->folder + "/Phonoscale.ini");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("FWidth=" + std::to_string(window.width()) + "\r\n"), std::string::npos);
    EXPECT_NE(text.find("FHeight=" + std::to_string(window.height()) + "\r\n"), std::string::npos);
}

TEST(Screenshot, PngFilesOnlyWhenChosenProposedInThePicturesFolderWithTheTime) {
    const QByteArray home = qgetenv("HOME");
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    ShotWindow s;
    const std::string user = s.w->folder + "/home"; // no Pictures folder yet
    std::filesystem::create_directories(user);
    qputenv("HOME", QByteArray::fromStdString(user));
    qunsetenv("XDG_CONFIG_HOME");
    TRestoreOnExit environment([&] {
        qputenv("HOME", home);
        if (!config.isEmpty())
            qputenv("XDG_CONFIG_HOME", config);
    });
    s.pngPath = QString::fromStdString(user + "/shot.png");
    EXPECT_FALSE(s.tool().CPNG->isChecked());
    s.tool().SaveSpec->trigger();
    EXPECT_TRUE(s.dialogFolder.isEmpty()) << "a dialog without the choice";
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(300, 200));

    s.tool().CPNG->click();
    s.tool().SaveSpec->trigger();
    EXPECT_EQ(s.dialogFolder, QString::fromStdString(user + "/Pictures"));
    EXPECT_TRUE(std::filesystem::is_directory(user + "/Pictures"));
    EXPECT_TRUE(QRegularExpression(R"(^phonoscale-spectrum-\d{8}-\d{6}\.png$)")
                    .match(s.proposedName)
                    .hasMatch())
        << s.proposedName.toStdString();
    EXPECT_TRUE(std::filesystem::exists(user + "/shot.png"));
    s.tool().SaveScope->trigger();
    EXPECT_TRUE(s.proposedName.startsWith("phonoscale-scope-")) << s.proposedName.toStdString();
}

TEST(Screenshot, ThePictureCanAlsoGoToAPngFileAndTheDialogRemembersItsFolder) {
    ShotWindow s;
    s.tool().CPNG->click(); // "Also save screenshots as PNG"
    const std::string folder = s.w->folder + "/pictures";
    std::filesystem::create_directories(folder);
    s.pngPath = QString::fromStdString(folder + "/spectrum");
    s.tool().SaveSpec->trigger();
    const QImage saved(QString::fromStdString(folder + "/spectrum.png"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32),
              QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32));
    EXPECT_EQ(s.tool().PictureFolder(), QString::fromStdString(folder));
    s.pngPath.clear(); // cancelled: the clipboard only
    s.tool().SaveScope->trigger();
    EXPECT_EQ(s.dialogFolder, QString::fromStdString(folder));
    // A folder that does not exist: a message, the clipboard has the picture all the same.
    s.pngPath = QString::fromStdString(folder + "/missing/scope.png");
    s.tool().SaveScope->trigger();
    ASSERT_EQ(s.w->messages.size(), 1u);
    EXPECT_TRUE(s.w->messages[0].contains("scope.png")) << s.w->messages[0].toStdString();
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(300, 200));
    EXPECT_EQ(s.tool().PictureFolder(), QString::fromStdString(folder));
    // No temporary file is left beside the saved one.
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 1);
}

TEST(Screenshot, TransparentModeGivesTheThreeBackgroundsTheKeyColour) {
    ShotWindow s;
    TForm1& f = s.form();
    const QColor key(1, 1, 1);
    QFrame* shapes[] = {f.SpectrumTab().SpecBack, f.ScopeTab().ScopeBack, f.PeakTab().PeakBack};
    std::vector<QColor> before;
    for (QFrame* shape : shapes)
        before.push_back(shape->palette().color(QPalette::Window));
    s.tool().Trans->trigger();
    EXPECT_TRUE(s.tool().Trans->isChecked());
    for (QFrame* shape : shapes)
        EXPECT_EQ(shape->palette().color(QPalette::Window), key)
            << shape->objectName().toStdString();
    // A re-layout keeps the key colour.
    s.tool().SetClientSize({700, 500});
    f.SpectrumTab().Relayout();
    EXPECT_EQ(f.SpectrumTab().SpecBack->palette().color(QPalette::Window), key);
    s.tool().Trans->trigger();
    EXPECT_FALSE(s.tool().Trans->isChecked());
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(shapes[k]->palette().color(QPalette::Window), before[k]);
}

// Share of the pixels of `area` in `picture` with alpha 0, and of those equal to `colour`.
struct TAreaShares {
    double Holes = 0;
    double Colour = 0;
};
TAreaShares Shares(const QImage& picture, const QRect& area, const QColor& colour) {
    int holes = 0;
    int coloured = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb pixel = picture.pixel(x, y);
            holes += qAlpha(pixel) == 0;
            coloured += pixel == colour.rgba();
        }
    const double n = area.width() * area.height();
    return {holes / n, coloured / n};
}

QRect AreaIn(QWidget* widget, QWidget* top) {
    return QRect(widget->mapTo(top, QPoint(0, 0)), widget->size());
}

TEST(Screenshot, TransparentModeIsSeeThroughWhereTheWindowSystemComposes) {
    ShotWindow s([] { return true; });
    TForm1& f = s.form();
    ASSERT_TRUE(s.tool().SeeThroughAvailable());
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    const QRect graph = AreaIn(f.SpectrumTab().SpecBack, &f);
    const QRect meter = AreaIn(f.SpectrumTab().LSN, &f);
    const QRect menu = AreaIn(f.menuBar(), &f);
    const QColor key(1, 1, 1);
    const QColor back = f.SpectrumTab().SpecBack->palette().color(QPalette::Window);

    const QImage before = f.grab().toImage();
    EXPECT_EQ(Shares(before, graph, back).Holes, 0.0);
    s.tool().Trans->trigger();
    ASSERT_TRUE(s.tool().SeeThrough());
    const QImage on = f.grab().toImage();
    EXPECT_GT(Shares(on, graph, key).Holes, 0.5); // the grid and the trace stay
    // The meter's text (it floats over the graph) is painted opaque over the hole.
    const QColor text = f.SpectrumTab().LSN->palette().color(QPalette::WindowText);
    int textPixels = 0;
    for (int y = meter.top(); y <= meter.bottom(); ++y)
        for (int x = meter.left(); x <= meter.right(); ++x)
            if (before.pixel(x, y) == text.rgba()) {
                ++textPixels;
                EXPECT_EQ(on.pixel(x, y), text.rgba()) << x << "," << y;
            }
    EXPECT_GT(textPixels, 10);
    EXPECT_EQ(Shares(on, menu, key).Holes, 0.0);
    // Nothing but the graph is see-through.
    const double holes = Shares(on, on.rect(), key).Holes * on.width() * on.height();
    EXPECT_NEAR(holes, Shares(on, graph, key).Holes * graph.width() * graph.height(), 0.5);

    // The clipboard picture is opaque, with the key colour where the window is see-through,
    // and the holes open again afterwards.
    s.tool().SaveSpec->trigger();
    const QImage picture = s.tool().LastPicture();
    ASSERT_EQ(picture.size(), QSize(300, 200));
    EXPECT_EQ(Shares(picture, picture.rect(), key).Holes, 0.0);
    EXPECT_GT(Shares(picture, s.seen.graph, key).Colour, 0.5);
    EXPECT_GT(Shares(f.grab().toImage(), graph, key).Holes, 0.5);
    // The scope's and the peak recorder's backgrounds as well.
    for (auto [tab, shape] : {std::pair<QWidget*, QWidget*>{f.TabScope, f.ScopeTab().ScopeBack},
                              {f.TabPeak, f.PeakTab().PeakBack}}) {
        f.PageControl1->setCurrentWidget(tab);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        EXPECT_GT(Shares(f.grab().toImage(), AreaIn(shape, &f), key).Holes, 0.5)
            << shape->objectName().toStdString();
    }
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);

    s.tool().Trans->trigger();
    EXPECT_FALSE(s.tool().SeeThrough());
    const TAreaShares off = Shares(f.grab().toImage(), graph, back);
    EXPECT_EQ(off.Holes, 0.0);
    EXPECT_GT(off.Colour, 0.5);
}

TEST(Screenshot, TransparentModeKeepsTheKeyColourOpaqueWhereNothingComposes) {
    ShotWindow s([] { return false; });
    TForm1& f = s.form();
    EXPECT_FALSE(s.tool().SeeThroughAvailable());
    EXPECT_FALSE(f.testAttribute(Qt::WA_TranslucentBackground));
    f.PageControl1->setCurrentWidget(f.TabSpectrum);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    s.tool().Trans->trigger();
    EXPECT_FALSE(s.tool().SeeThrough());
    const TAreaShares on =
        Shares(f.grab().toImage(), AreaIn(f.SpectrumTab().SpecBack, &f), QColor(1, 1, 1));
    EXPECT_EQ(on.Holes, 0.0);
    EXPECT_GT(on.Colour, 0.5);
}

TEST(Screenshot, ExitClosesTheWindowAndWritesTheSettings) {
    ShotWindow s;
    TypeAndLeave(s.tool().ESX, "320");
    ASSERT_TRUE(s.form().isVisible());
    s.form().findChild<QAction*>("Exit1")->trigger();
    EXPECT_FALSE(s.form().isVisible());
    std::ifstream in(s.w->folder + "/Phonoscale.ini");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("ScreenShotX=320\r\n"), std::string::npos);
}
