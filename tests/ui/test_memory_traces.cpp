// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests of the memory traces: capture, display switches, the pop-up, files across a
// restart, and where memories are drawn.
#include "WindowRig.h"

#include "files/Touchstone.h"
#include "ui/common/ViewMappingQt.h"
#include "ui/spectrum/MemoryTraces.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QMenu>

#include <fstream>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using uitest::Window;

// A folder of its own for each test, removed afterwards.
struct Folder {
    fs::path path;
    explicit Folder(const char* name) {
        path =
            fs::temp_directory_path() / ("ps-memtest-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~Folder() { fs::remove_all(path); }
    std::string Q() const { return path.string(); }
};

std::vector<TSpectrumPoint> Spectrum(double rateHz, double amplitude, int points = 513) {
    std::vector<TSpectrumPoint> spectrum(static_cast<std::size_t>(points));
    for (int i = 0; i < points; ++i)
        spectrum[static_cast<std::size_t>(i)] = {i * rateHz / 2 / (points - 1), amplitude};
    return spectrum;
}

QImage GrabGraph(Window& w) {
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    QApplication::processEvents();
    const QImage page = w.form->TabSpectrum->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect graph = w.form->PaintBox2->geometry();
    return page.copy(graph);
}

// The colour at the centre of a legend box's swatch.
QColor SwatchColour(QCheckBox* box) {
    const QImage swatch = box->icon().pixmap(box->iconSize()).toImage();
    return swatch.pixelColor(swatch.width() / 2, swatch.height() / 2);
}

// Rows of `colour` in column x, top to bottom.
std::vector<int> RowsOf(const QImage& image, int x, const QColor& colour) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) == colour)
            rows.push_back(y);
    return rows;
}

TEST(MemoryTraces, CaptureCloseAndStartAgainShowsTheSameMemories) {
    Folder folder("restart");
    std::vector<std::vector<TSpectrumPoint>> captured;
    {
        Window w(uitest::kBothWays, folder.Q());
        TMemoryTraces& mem = w.form->MemTraces();
        for (int k = 1; k <= 4; ++k) {
            std::vector<TSpectrumPoint> spectrum = Spectrum(48000, 0.0);
            for (std::size_t i = 0; i < spectrum.size(); ++i)
                spectrum[i].y = k * 0.1 / (1.0 + static_cast<double>(i));
            w.form->State().DisplayPoints = spectrum;
            mem.toMem1Click(k);
            captured.push_back(mem.Memory(k));
        }
        EXPECT_TRUE(mem.Displayed(1));
        EXPECT_FALSE(mem.Displayed(2)); // capturing does not display
        // The boxes switch the display items, and the items the boxes.
        for (int k = 2; k <= 4; ++k)
            w.Find<QCheckBox>(("M" + std::to_string(k)).c_str())->click();
        for (int k = 1; k <= 4; ++k) {
            EXPECT_TRUE(mem.Displayed(k)) << k;
            EXPECT_TRUE(w.form->DispMem[static_cast<std::size_t>(k - 1)]->isChecked()) << k;
        }
        ASSERT_TRUE(w.Close());
        EXPECT_TRUE(w.messages.empty());
    }
    for (int k = 1; k <= 4; ++k)
        EXPECT_TRUE(fs::exists(folder.path / MemoryFileName(k))) << k;

    Window w(uitest::kBothWays, folder.Q());
    TMemoryTraces& mem = w.form->MemTraces();
    // The settings keep the display flags, and start-up loads every displayed memory.
    for (int k = 1; k <= 4; ++k) {
        const auto& got = mem.Memory(k);
        const auto& want = captured[static_cast<std::size_t>(k - 1)];
        ASSERT_EQ(got.size(), want.size()) << k;
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_NEAR(got[i].x, want[i].x, 5e-8) << k << " " << i;
            EXPECT_NEAR(got[i].y, want[i].y, 5e-11) << k << " " << i;
        }
        EXPECT_TRUE(w.form->findChild<QCheckBox*>(("M" + std::to_string(k)).c_str())->isChecked());
    }
    EXPECT_TRUE(w.messages.empty());
    // A hidden memory keeps its old file; a cleared one is not written.
    mem.CM1Click(2);
    mem.SetDisplayed(3, false);
    const auto before = fs::last_write_time(folder.path / "mem3.s1p");
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(fs::last_write_time(folder.path / "mem3.s1p"), before);
    EXPECT_EQ(ReadTouchstone((folder.path / "mem2.s1p").string()).Records.size(),
              captured[1].size());
}

TEST(MemoryTraces, ARefusedFileAtStartUpIsShownWithItsNameOnceTheWindowIsUp) {
    Folder folder("refused");
    const std::string path = (folder.path / MemoryFileName(1)).string();
    std::ofstream(path, std::ios::binary) << "not a trace file\r\n";
    std::vector<std::pair<QString, bool>> shown; // text, the window up
    const auto windowUp = [] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->objectName() == "Form1" && top->isVisible())
                return true;
        return false;
    };
    uitest::Window w(uitest::kBothWays, folder.path.string(), [&](TFormEnvironment& env) {
        env.ShowMessage = [&](const QString& text) { shown.push_back({text, windowUp()}); };
    });
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first.toStdString(),
              "No frequency and level records found in " + path + ". The memory is unchanged.");
    EXPECT_TRUE(shown[0].second) << "shown while the window was being built";
}

TEST(MemoryTraces, EveryLegendReadsOnTheWindowAndShowsItsTraceColour) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    QApplication::processEvents();
    const QColor background = w.form->centralWidget()->palette().color(QPalette::Window);
    const double backLight = RelativeLuminance(FromQColor(background));
    const TViewSettings colours;
    const std::pair<const char*, TColour> legends[] = {{"M1", colours.SpecMemColor[0]},
                                                       {"M2", colours.SpecMemColor[1]},
                                                       {"M3", colours.SpecMemColor[2]},
                                                       {"M4", colours.SpecMemColor[3]},
                                                       {"C", colours.CusTraceColor}};
    for (const auto& [name, colour] : legends) {
        auto* box = w.Find<QCheckBox>(name);
        const QImage image = box->grab().toImage();
        // The text is the last thing in the box: the strongest contrast of its pixels with the
        // window's background (ratio of relative luminances + 0.05) is that of a readable text.
        const int advance = box->fontMetrics().horizontalAdvance(box->text());
        double contrast = 1.0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = image.width() - advance - 1; x < image.width(); ++x) {
                const double light = RelativeLuminance(FromQColor(image.pixelColor(x, y)));
                contrast = std::max(contrast, (std::max(light, backLight) + 0.05) /
                                                  (std::min(light, backLight) + 0.05));
            }
        EXPECT_GE(contrast, 4.5) << name;
        EXPECT_EQ(SwatchColour(box), ToQColor(colour, box->palette())) << name;
    }
}

TEST(MemoryTraces, OffsetTenStoresCalibratedMagnitudesAndMovesOnlyTheLiveTraceLater) {
    Folder folder("offset");
    Window w(uitest::kBothWays, folder.Q());
    auto* offset = w.Find<QLineEdit>("EOffset");
    offset->setText("10");
    w.form->SpectrumTab().EOffsetChange();
    w.form->State().DisplayPoints = Spectrum(48000, 0.01); // -40 dB
    w.form->MemTraces().toMem1Click(1);
    const auto& memory = w.form->MemTraces().Memory(1);
    ASSERT_EQ(memory.size(), 513u);
    for (const auto& point : memory)
        ASSERT_NEAR(point.y / 0.01, 3.16227766, 1e-8);

    QImage image = GrabGraph(w); // the Spectrum tab shown and laid out
    const TSpectrumAxis axis = w.form->SpectrumTab().Axis();
    const int x = axis.Width / 3;
    const QPalette palette = w.form->PaintBox2->palette();
    const QColor live = ToQColor(BlueColour, palette);
    const QColor maroon = ToQColor(0x000080u, palette);
    const int rowAt30 = RoundToPixel(DbToY(axis, -30.0));
    const int rowAt40 = RoundToPixel(DbToY(axis, -40.0));
    EXPECT_EQ(RowsOf(image, x, live), std::vector<int>{rowAt30}); // on top of the memory
    EXPECT_TRUE(RowsOf(image, x, maroon).empty());

    offset->setText("0");
    w.form->SpectrumTab().EOffsetChange();
    for (const auto& point : memory)
        ASSERT_NEAR(point.y / 0.01, 3.16227766, 1e-8);
    image = GrabGraph(w);
    EXPECT_EQ(RowsOf(image, x, live), std::vector<int>{rowAt40});
    EXPECT_EQ(RowsOf(image, x, maroon), std::vector<int>{rowAt30});
}

TEST(MemoryTraces, AMemoryOfAnotherSampleRateIsDrawnWhereItsFrequenciesFall) {
    Folder folder("rate");
    Window w(uitest::kBothWays, folder.Q());
    TMemoryTraces& mem = w.form->MemTraces();
    w.form->State().DisplayPoints = Spectrum(48000, 0.1); // 0 .. 24 kHz at -20 dB
    mem.toMem1Click(2);
    mem.SetDisplayed(2, true);
    w.form->State().DisplayPoints.clear();
    w.Find<QComboBox>("CFrame")->setCurrentText("96 ksps"); // the axis runs to 48 kHz
    ASSERT_EQ(w.form->State().SampleRate, 96000.0);

    const QImage image = GrabGraph(w);
    const TSpectrumAxis axis = w.form->SpectrumTab().Axis();
    ASSERT_DOUBLE_EQ(axis.FMax, 48000.0);
    ASSERT_EQ(image.width(), axis.Width);
    const QColor green = ToQColor(0x008000u, w.form->PaintBox2->palette());
    const int row = RoundToPixel(DbToY(axis, -20.0));
    int right = -1;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, row) == green)
            right = x;
    EXPECT_NEAR(right, FrequencyToX(axis, 24000.0), 1);
    EXPECT_NEAR(right, axis.Width / 2, 1);
    EXPECT_EQ(image.pixelColor(axis.Width / 4, row), green);
    EXPECT_NE(image.pixelColor(axis.Width * 3 / 4, row), green);
}

TEST(MemoryTraces, PopupItemsColoursAndPlacement) {
    Folder folder("popup");
    Window w(uitest::kBothWays, folder.Q());
    TMemoryTraces& mem = w.form->MemTraces();
    w.form->State().DisplayPoints = Spectrum(48000, 0.5);
    for (int k = 1; k <= 4; ++k)
        mem.toMem1Click(k);
    // "Clear" in the pop-up of M3 empties memory 3 only; "Data => Mem" fills it again.
    mem.PopupMemFor(3, QPoint(0, 0));
    w.Find<QAction>("Clear1")->trigger();
    mem.PopupMem->hide();
    EXPECT_TRUE(mem.Memory(3).empty());
    EXPECT_FALSE(mem.Memory(2).empty());
    EXPECT_FALSE(mem.Memory(4).empty());
    mem.PopupMemFor(3, QPoint(0, 0));
    w.Find<QAction>("DataMem3")->trigger();
    mem.PopupMem->hide();
    EXPECT_EQ(mem.Memory(3).size(), 513u);
    w.Find<QAction>("CM1")->trigger();
    EXPECT_TRUE(mem.Memory(1).empty());
    w.Find<QAction>("all1")->trigger();
    for (int k = 1; k <= 4; ++k)
        EXPECT_TRUE(mem.Memory(k).empty());
    w.Find<QAction>("D2M4")->trigger();
    EXPECT_EQ(mem.Memory(4).size(), 513u);

    // Display items and their boxes.
    w.Find<QAction>("DispMem2")->trigger();
    EXPECT_TRUE(w.Find<QCheckBox>("M2")->isChecked());
    w.Find<QAction>("all2")->trigger();
    for (int k = 1; k <= 4; ++k)
        EXPECT_TRUE(w.Find<QCheckBox>(("M" + std::to_string(k)).c_str())->isChecked());
    w.Find<QAction>("none1")->trigger();
    for (int k = 1; k <= 4; ++k)
        EXPECT_FALSE(mem.Displayed(k));

    // Colours: the box's swatch takes its memory's colour.
    w.form->SpectrumTab().Hooks().ChooseColour = [](TColour) { return TColour{0x123456}; };
    w.Find<QAction>("N31")->trigger();
    EXPECT_EQ(mem.MemColour(3), 0x123456u);
    EXPECT_EQ(SwatchColour(w.Find<QCheckBox>("M3")), QColor(0x56, 0x34, 0x12));
    w.Find<QAction>("Custom1")->trigger();
    EXPECT_EQ(mem.CustomColour(), 0x123456u);

    // C at the right edge of the client area, M4 left of it, M3..M1 one M4 width apart.
    auto* client = w.form->centralWidget();
    auto* c = w.Find<QCheckBox>("C");
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.form->resize(1000, 700);
    QApplication::processEvents();
    EXPECT_EQ(c->geometry().right() + 1, client->width());
    const int step = w.Find<QCheckBox>("M4")->width();
    EXPECT_EQ(w.Find<QCheckBox>("M4")->x(), c->x() - step);
    EXPECT_EQ(w.Find<QCheckBox>("M1")->x(), c->x() - 4 * step);
    EXPECT_TRUE(c->isVisible());
}

TEST(MemoryTraces, SaveAndLoadThroughTheDialogs) {
    Folder folder("files");
    Window w(uitest::kBothWays, folder.Q());
    TMemoryTraces& mem = w.form->MemTraces();
    QString chosen;
    int questions = 0;
    bool answer = false;
    w.form->MemTraces().Hooks().ChooseFile = [&](bool) { return chosen; };
    w.form->MemTraces().Hooks().Confirm = [&](const QString& caption, const QString& text) {
        ++questions;
        EXPECT_EQ(caption, "Warning");
        EXPECT_EQ(text, "File " + chosen + " exists.\n\rOk to overwrite?");
        return answer;
    };

    // Saved with ".s1p" added, read back as displayed levels, without the 0 Hz record.
    w.form->State().DisplayPoints = Spectrum(48000, 0.25);
    chosen = QString::fromStdString(folder.Q()) + "/saved";
    w.Find<QAction>("Save1")->trigger();
    chosen += ".s1p";
    ASSERT_TRUE(QFileInfo::exists(chosen));
    EXPECT_EQ(questions, 0);
    w.Find<QAction>("Load2")->trigger();
    ASSERT_EQ(mem.Memory(2).size(), 512u);
    EXPECT_NEAR(mem.Memory(2).front().y, 0.25, 1e-7);
    EXPECT_NEAR(mem.Memory(2).front().x, 46.875, 1e-7);

    // An existing file: Cancel keeps it, OK overwrites it.
    w.form->State().DisplayPoints = Spectrum(48000, 0.5, 9);
    w.Find<QAction>("Save1")->trigger();
    EXPECT_EQ(questions, 1);
    EXPECT_EQ(ReadTouchstone(chosen.toStdString()).Records.size(), 512u);
    answer = true;
    w.Find<QAction>("Save1")->trigger();
    EXPECT_EQ(questions, 2);
    EXPECT_EQ(ReadTouchstone(chosen.toStdString()).Records.size(), 8u);

    // A two-port file leaves the memory and names the file; cancelling the dialog does nothing.
    const fs::path twoPort = folder.path / "amp.s2p";
    std::ofstream(twoPort) << "# GHz S MA R 50\n1 0.1 0 0.9 10 0.9 10 0.1 0\n";
    chosen = QString::fromStdString(twoPort.string());
    w.Find<QAction>("Load2")->trigger();
    EXPECT_EQ(mem.Memory(2).size(), 512u);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].contains("amp.s2p")) << w.messages[0].toStdString();
    chosen.clear();
    w.Find<QAction>("Load2")->trigger();
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST(MemoryTraces, CsvAndFrdBesideTouchstoneByExtensionAndContent) {
    Folder folder("exchange");
    Window w(uitest::kBothWays, folder.Q());
    TMemoryTraces& mem = w.form->MemTraces();
    QString chosen;
    mem.Hooks().ChooseFile = [&](bool) { return chosen; };
    const auto path = [&](const char* name) { return QString::fromStdString(folder.Q()) + name; };
    const auto slurp = [](const QString& name) {
        std::ifstream in(name.toStdString(), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };

    // Saved as CSV (today's dB: dBFS) and read back into memory 2 by content.
    w.form->State().DisplayPoints = Spectrum(48000, 0.25);
    chosen = path("/spectrum.csv");
    w.Find<QAction>("Save1")->trigger();
    const std::string csv = slurp(chosen);
    EXPECT_EQ(csv.rfind("frequency_hz,level_dbfs\r\n46.875,-12.041200\r\n", 0), 0u) << csv;
    w.Find<QAction>("Load2")->trigger();
    ASSERT_EQ(mem.Memory(2).size(), 512u);
    EXPECT_NEAR(mem.Memory(2).front().y, 0.25, 1e-7);

    // Memory 2 to CSV again: the same file; to FRD, read back into memory 3.
    chosen = path("/memory.csv");
    w.Find<QAction>("SaveMem2")->trigger();
    EXPECT_EQ(slurp(chosen), csv);
    chosen = path("/memory.frd");
    w.Find<QAction>("SaveMem2")->trigger();
    w.Find<QAction>("Load3")->trigger();
    EXPECT_EQ(mem.Memory(3).size(), 512u);

    // A file another tool wrote; then a bad one leaves the memory and names file and line.
    std::ofstream(folder.path / "woofer.txt")
        << "* Freq(Hz) SPL(dB) Phase(degrees)\r\n20 -6.0206 -10\r\n40 0 -20\r\n";
    chosen = path("/woofer.txt");
    w.Find<QAction>("Load4")->trigger();
    ASSERT_EQ(mem.Memory(4).size(), 2u);
    EXPECT_NEAR(mem.Memory(4)[0].y, 0.5, 1e-6);
    std::ofstream(folder.path / "bad.csv") << "frequency_hz,level_dbfs\n40,1\n20,2\n";
    chosen = path("/bad.csv");
    w.Find<QAction>("Load4")->trigger();
    EXPECT_EQ(mem.Memory(4).size(), 2u);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.messages[0].startsWith("Line 3 of " + chosen)) << w.messages[0].toStdString();

    // An empty memory is not saved.
    w.Find<QAction>("SaveMem1")->trigger();
    EXPECT_EQ(w.messages.size(), 2u);
}

} // namespace

// A memory file read only in part at start-up stays as it is at closing, until its memory
// changes: closing must not cut it short for good.
TEST(MemoryTraces, AFileReadInPartIsKeptUntilTheMemoryChanges) {
    const auto records = [](int from, int to) {
        std::string text;
        for (int i = from; i <= to; ++i)
            text += std::to_string(i) + " 0.5 0\r\n";
        return text;
    };
    const std::string head = "# Hz S MA R 50\r\n";
    const struct {
        const char* what;
        std::string text;
        std::size_t records;
    } cases[] = {
        {"an over-long line after record 65 of 500",
         head + records(1, 65) + std::string(MaxTouchstoneLine + 10, '1') + "\r\n" +
             records(67, 500),
         65},
        {"1e400 in record 11 of 15", head + records(1, 10) + "11 1e400 0\r\n" + records(12, 15),
         10},
    };
    for (const auto& c : cases) {
        Folder folder("partial");
        const fs::path file = folder.path / "mem1.s1p";
        std::ofstream(file, std::ios::binary) << c.text;
        {
            Window w(uitest::kBothWays, folder.Q());
            EXPECT_EQ(w.form->MemTraces().Memory(1).size(), c.records) << c.what;
            ASSERT_EQ(w.messages.size(), 1u) << c.what;
            EXPECT_TRUE(w.messages[0].contains(
                "mem1.s1p is kept as it is: Phonoscale writes it again only when memory 1 "
                "changes."))
                << w.messages[0].toStdString();
            ASSERT_TRUE(w.Close());
        }
        std::ifstream in(file, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), c.text) << c.what;

        // Once the memory changes, closing writes what it holds.
        Window w(uitest::kBothWays, folder.Q());
        w.form->State().DisplayPoints = Spectrum(48000, 0.25, 3);
        w.form->MemTraces().toMem1Click(1);
        ASSERT_TRUE(w.Close());
        EXPECT_EQ(ReadTouchstone(file.string()).Records.size(), 3u) << c.what;
    }
}
