// SPDX-License-Identifier: GPL-3.0-or-later
// The "Distortion" tab in the window: readings of the blocks while shown, the generator's two
// tones, a refused edit, and the residual drawn on the spectrum graph.
#include "WindowRig.h"

#include "ui/common/ViewPaintBox.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using namespace uitest;

namespace {

// A 1 kHz sine at half scale with its second harmonic at -40 dBc, both channels.
TDataBufferF DistortedBlock(int samples) {
    TDataBufferF block(2, TSingleArray(static_cast<std::size_t>(samples)));
    for (int i = 0; i < samples; ++i) {
        const double phase = 2.0 * M_PI * 1000.0 * i / 48000.0;
        const auto v =
            static_cast<float>(2147483647.0 * 0.5 * (std::sin(phase) + 0.01 * std::sin(2 * phase)));
        block[0][static_cast<std::size_t>(i)] = v;
        block[1][static_cast<std::size_t>(i)] = v;
    }
    return block;
}

// Pixels of the residual's orange in `image`.
int OrangePixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == QColor(255, 128, 0))
                ++count;
    return count;
}

} // namespace

TEST(DistortionTab, ReadsTheBlocksSetsTheGeneratorsTonesAndDrawsTheResidual) {
    Window w;
    auto* pages = w.Find<QTabWidget>("PageControl1");
    QWidget* page = w.Find<QWidget>("TabDistortion");
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(pages->tabText(pages->indexOf(page)), "Distortion");
    w.Find<QPushButton>("SpeedButton1")->click();
    TDataBufferF in = DistortedBlock(2048), out(2, TSingleArray(2048));
    pages->setCurrentWidget(page);
    w.Deliver(in, out);
    auto* thd = w.Find<QLabel>("LDistThd");
    QTRY_VERIFY_WITH_TIMEOUT(thd->text().startsWith("-40.00 dB"), 2000);
    EXPECT_TRUE(w.Find<QLabel>("LDistFund")->text().startsWith("1000.00 Hz   -6.02 dB"))
        << w.Find<QLabel>("LDistFund")->text().toStdString();

    // Intermodulation: the generator takes the kind's tones, and gives them back when off.
    auto* imd = w.Find<QComboBox>("CDistImd");
    imd->setCurrentIndex(1);
    EXPECT_EQ(w.Find<QLineEdit>("EDistF2")->text(), "7000");
    EXPECT_EQ(w.form->State().Generator.Tones.F1Hz, 60.0);
    EXPECT_EQ(w.form->State().Generator.Tones.Ratio, 4.0);
    imd->setCurrentIndex(0);
    EXPECT_EQ(w.form->State().Generator.Tones.F1Hz, 0.0);

    // A number out of range is reported on leaving and changes nothing.
    auto* harmonics = w.Find<QLineEdit>("EDistHarm");
    harmonics->setText("30");
    emit harmonics->editingFinished();
    ASSERT_FALSE(w.messages.empty());
    EXPECT_EQ(w.messages.back(), "'30' is not a number of harmonics from 2 to 20");

    // The residual on the spectrum graph (the harmonic at -46 dB stands above the graph's
    // bottom); the analyser keeps running for it while the spectrum is shown.
    w.Find<QCheckBox>("CDistResidual")->setChecked(true);
    pages->setCurrentIndex(0);
    w.Deliver(in, out);
    QApplication::processEvents();
    const QImage graph = w.form->SpectrumTab().PaintBox2->grab().toImage();
    EXPECT_GT(OrangePixels(graph), 0);
    w.Find<QCheckBox>("CDistResidual")->setChecked(false);
    EXPECT_EQ(OrangePixels(w.form->SpectrumTab().PaintBox2->grab().toImage()), 0);
}
