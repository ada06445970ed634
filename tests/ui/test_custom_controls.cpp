// SPDX-License-Identifier: GPL-3.0-or-later
// The custom label and trace in the window: texts, errors in place, and the trace's pixels.
#include "WindowRig.h"

#include "ui/common/ViewMapping.h"
#include "ui/common/ViewPaintBox.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cmath>

using namespace uitest;

namespace {

const QRgb kYellow = qRgb(255, 255, 0); // the custom trace's default colour

// Leaves an expression edit the way a user would: type the text, press Enter.
void Enter(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Rows of the custom trace's pixels in column x of the graph image (empty when none).
std::vector<int> TraceRows(const QImage& image, int x) {
    std::vector<int> rows;
    for (int y = 0; y < image.height(); ++y)
        if (image.pixel(x, y) == kYellow)
            rows.push_back(y);
    return rows;
}

QImage GrabGraph(Window& w) {
    auto* graph = w.form->SpectrumTab().PaintBox2;
    return graph->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(CustomLabel, DefaultLabelOfOneMillivoltOverTheBandAtEachDigitCount) {
    Window w;
    w.Find<QComboBox>("CFrame")->setCurrentText("96 ksps"); // room for a 40 kHz cut-off
    w.Find<QSlider>("TrackU")->setValue(40000);
    w.Find<QSlider>("TrackL")->setValue(1000);
    w.form->State().SNLevel = 10.0 * std::log10(0.001 * 0.001 * 20.0); // 0.001 V RMS in dBm
    auto* ecl = w.Find<QLineEdit>("ECL");
    Enter(ecl, ecl->text());
    EXPECT_EQ(w.Find<QLabel>("LErr2")->text(), "no Errors");
    EXPECT_EQ(w.Find<QLabel>("LCus")->text(), QString::fromUtf8("ID=5.06 \u00b5Veff"));
    w.Find<QComboBox>("CDigs")->setCurrentText("2");
    EXPECT_EQ(w.form->CustomLabelText(), "ID=5 \u00b5Veff");
    w.Find<QComboBox>("CDigs")->setCurrentText("7");
    EXPECT_EQ(w.form->CustomLabelText(), "ID=5.063696 \u00b5Veff");
}

TEST(CustomTrace, AnIncompleteExpressionIsReportedInPlaceAndKeepsTheFocus) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSettings);
    w.form->PageControl2->setCurrentWidget(w.form->TabCustom);
    QApplication::setActiveWindow(w.form.get());
    auto* ect = w.Find<QLineEdit>("ECT");
    ect->setFocus();
    ect->setText("1/");
    w.Find<QLineEdit>("EUnit")->setFocus(); // leave the edit
    EXPECT_EQ(w.Find<QLabel>("LErr2")->text(), "Syntax error in expression");
    EXPECT_EQ(w.Find<QLabel>("LErr1")->text(), "1");
    EXPECT_EQ(QApplication::focusWidget(), ect); // the focus came back
    EXPECT_TRUE(w.messages.empty());
    Enter(ect, "1/f");
    EXPECT_EQ(w.Find<QLabel>("LErr2")->text(), "no Errors");
    EXPECT_EQ(w.Find<QLabel>("LErr1")->text(), "");
}

TEST(CustomTrace, OneOverFFallsTwentyDecibelsPerDecadeThroughZeroAtOneHertz) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.Find<QAction>("LogF")->trigger();
    w.Find<QAction>("CCus")->trigger();
    ASSERT_TRUE(w.Find<QAction>("CCus")->isChecked());
    EXPECT_TRUE(w.Find<QCheckBox>("C")->isChecked()); // mirrors the menu item
    const QImage image = GrabGraph(w);
    const TSpectrumAxis axis = w.form->SpectrumTab().Axis();
    ASSERT_TRUE(axis.Log);

    // Read the trace back from the picture at a few columns and fit dB = a + b log10(f).
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (int x = axis.Width / 8; x < axis.Width; x += axis.Width / 8) {
        const auto rows = TraceRows(image, x);
        ASSERT_FALSE(rows.empty()) << "no trace in column " << x;
        const double lf = std::log10(XToFrequency(axis, x));
        const double db = YToDb(axis, (rows.front() + rows.back()) / 2.0);
        n += 1, sx += lf, sy += db, sxx += lf * lf, sxy += lf * db;
    }
    const double slope = (n * sxy - sx * sy) / (n * sxx - sx * sx);
    const double at1Hz = (sy - slope * sx) / n;
    EXPECT_NEAR(slope, -20.0, 0.3);
    EXPECT_NEAR(at1Hz, 0.0, 1.0);
}

TEST(CustomTrace, ZeroOrNegativeValuesLieBelowTheGraph) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.Find<QAction>("CCus")->trigger();
    for (const char* text : {"0", "-1", "f-100000"}) {
        Enter(w.Find<QLineEdit>("ECT"), text);
        const QImage image = GrabGraph(w);
        for (int x = 0; x < image.width(); x += 7)
            EXPECT_TRUE(TraceRows(image, x).empty()) << text << ", column " << x;
    }
}

TEST(CustomTrace, AFailingTraceStopsQuietlyAndTheSpectrumStillDraws) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.Find<QComboBox>("ComboSamples")->setCurrentText("2048");
    w.Find<QPushButton>("SpeedButton1")->click();
    auto in = SineBlock(2048, 1500.0);
    TDataBufferF out(2, TSingleArray(2048));
    w.Deliver(in, out);
    w.Find<QAction>("CCus")->trigger();
    Enter(w.Find<QLineEdit>("ECT"), "deg(i*f)"); // compiles, fails at every frequency
    ASSERT_EQ(w.Find<QLabel>("LErr2")->text(), "no Errors");
    for (int repaint = 0; repaint < 3; ++repaint) {
        w.Deliver(in, out);
        const QImage image = GrabGraph(w);
        int blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                blue += image.pixel(x, y) == qRgb(0, 0, 255);
        EXPECT_GT(blue, 20) << "the main trace is missing after repaint " << repaint;
    }
    EXPECT_TRUE(w.messages.empty()); // no message box per repaint
    // The reason shows on the graph, where the trace is missing.
    auto* shown = w.form->findChild<QLabel*>("LCusErr");
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->text().startsWith("Custom trace deg(i*f): ")) << shown->text().toStdString();
    EXPECT_EQ(shown->parentWidget(), w.form->SpectrumTab().PaintBox2);
}

// A failing trace does not overwrite a label error still showing on the Custom page, and its
// own message goes once the trace is mended.
TEST(CustomTrace, ATraceErrorKeepsApartFromTheLabelError) {
    Window w;
    w.form->PageControl1->setCurrentWidget(w.form->TabSpectrum);
    w.Find<QComboBox>("ComboSamples")->setCurrentText("2048");
    w.Find<QPushButton>("SpeedButton1")->click();
    auto in = SineBlock(2048, 1500.0);
    TDataBufferF out(2, TSingleArray(2048));
    w.Deliver(in, out);
    w.Find<QAction>("CCus")->trigger();
    Enter(w.Find<QLineEdit>("ECT"), "ln(0*f)");
    Enter(w.Find<QLineEdit>("ECL"), "sn/("); // a label error, left showing
    const QString labelError1 = w.Find<QLabel>("LErr1")->text();
    const QString labelError2 = w.Find<QLabel>("LErr2")->text();
    ASSERT_NE(labelError2, "no Errors");
    w.Deliver(in, out);
    GrabGraph(w);
    EXPECT_EQ(w.Find<QLabel>("LErr1")->text(), labelError1);
    EXPECT_EQ(w.Find<QLabel>("LErr2")->text(), labelError2);
    auto* shown = w.form->findChild<QLabel*>("LCusErr");
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->text().startsWith("Custom trace ln(0*f): ")) << shown->text().toStdString();

    Enter(w.Find<QLineEdit>("ECT"), "1/f");
    w.Deliver(in, out);
    GrabGraph(w);
    EXPECT_FALSE(shown->isVisible());
}

TEST(CustomLabel, ScopeLabelHiddenWithoutDisplayInScopeYetKeptUpToDate) {
    Window w;
    w.Find<QComboBox>("ComboSamples")->setCurrentText("2048");
    w.Find<QPushButton>("SpeedButton1")->click();
    auto* lcs = w.form->ScopeTab().LCS;
    w.form->PageControl1->setCurrentWidget(w.form->TabScope);
    EXPECT_FALSE(w.Find<QCheckBox>("CCS")->isChecked());
    EXPECT_FALSE(lcs->isVisible());
    auto in = SineBlock(2048, 1500.0, 48000.0, 2147483647.0 / 10);
    TDataBufferF out(2, TSingleArray(2048));
    for (int k = 0; k < 30; ++k)
        w.Deliver(in, out);
    EXPECT_FALSE(lcs->isVisible());
    EXPECT_TRUE(lcs->text().startsWith("ID=")) << lcs->text().toStdString();
    w.Find<QCheckBox>("CCS")->setChecked(true);
    EXPECT_TRUE(lcs->isVisible());
}
