// SPDX-License-Identifier: GPL-3.0-or-later
// The views show the engine blocks at most once a frame, from the latest block; a hidden tab
// catches up when shown.
#include "WindowRig.h"

#include "ui/common/ViewPaintBox.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

using uitest::SineBlock;
using uitest::Window;

namespace {

// Counts the paint events of a widget.
class TPaintCounter final : public QObject {
public:
    explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Paints = 0;

protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

constexpr int kHour = 3600 * 1000; // a frame time no test run reaches: only FlushFrame ends it

// Starts sampling at N = 2048 with `page` on show, and shows one full-scale block.
void StartOn(Window& w, QWidget* page, TDataBufferF& out) {
    w.Find<QComboBox>("ComboSamples")->setCurrentText("2048");
    w.Find<QTabWidget>("PageControl1")->setCurrentWidget(page);
    w.Find<QPushButton>("SpeedButton1")->click();
    ASSERT_TRUE(w.form->Sampling());
    TDataBufferF first = SineBlock(2048, 1500.0);
    w.Deliver(first, out);
    QApplication::processEvents();
    w.form->FramePacer().SetFrameMs(kHour);
}

} // namespace

TEST(FramePacing, BlocksWithinOneFrameCauseOnePaintShowingTheLastBlock) {
    Window w;
    TSpectrumTab& tab = w.form->SpectrumTab();
    TDataBufferF out(2, TSingleArray(2048));
    StartOn(w, tab.Page, out);
    const QString firstText = tab.LSN->text();
    const long long frames = w.form->FramePacer().Frames();
    TPaintCounter counter(tab.PaintBox2);
    for (int k = 1; k <= 100; ++k) {
        TDataBufferF in = SineBlock(2048, 1500.0, 48000.0, 2147483647.0 / (1 + k));
        w.Deliver(in, out, false);
        QApplication::processEvents();
    }
    EXPECT_EQ(counter.Paints, 0);
    EXPECT_EQ(tab.LSN->text(), firstText);
    EXPECT_TRUE(w.form->FramePacer().Pending());
    w.form->FlushFrame();
    QApplication::processEvents();
    EXPECT_EQ(counter.Paints, 1);
    EXPECT_EQ(w.form->FramePacer().Frames(), frames + 1);
    EXPECT_NE(tab.LSN->text(), firstText);
    EXPECT_EQ(tab.LSN->text(), QString::fromStdString(w.form->State().Texts.LSN));
}

TEST(FramePacing, AHiddenTabCatchesUpWhenShown) {
    Window w;
    TDataBufferF out(2, TSingleArray(2048));
    StartOn(w, w.form->SpectrumTab().Page, out);
    QLabel* scopeLevel = w.form->ScopeTab().LSN_O;
    const QString before = scopeLevel->text();
    TDataBufferF quieter = SineBlock(2048, 1500.0, 48000.0, 2147483647.0 / 10);
    w.Deliver(quieter, out, false);
    w.form->FramePacer().Flush(); // the frame; FlushFrame would bring hidden tabs up to date
    EXPECT_EQ(scopeLevel->text(), before); // the scope page is hidden: nothing set
    w.Find<QTabWidget>("PageControl1")->setCurrentWidget(w.form->ScopeTab().Page);
    EXPECT_NE(scopeLevel->text(), before);
    EXPECT_EQ(scopeLevel->text(), QString::fromStdString(w.form->State().Texts.LSN_O));
}
