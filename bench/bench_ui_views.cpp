// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of painting the spectrum graph and the scope view into images (offscreen Qt).
#include "ui/common/ViewPaintBox.h"
#include "ui/scope/ScopeTab.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QApplication>
#include <QFrame>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

// A noise floor around -100 dB with a full-scale tone, n points from 0 to 24 kHz.
std::vector<TSpectrumPoint> NoisySpectrum(std::size_t n) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<double> floor(0.2e-5, 2e-5);
    std::vector<TSpectrumPoint> points(n);
    for (std::size_t i = 0; i < n; ++i)
        points[i] = {24000.0 * static_cast<double>(i) / static_cast<double>(n), floor(gen)};
    points[n / 24].y = 1.0;
    return points;
}

// One paint of the spectrum graph (grid, level lines, three-piece main trace) with the given
// number of spectrum points; range(1) selects the log axis.
void BM_PaintBox2Paint(benchmark::State& bench) {
    MeasurementState state;
    TViewSettings settings;
    state.Controls.TrackL = 300;
    state.Controls.TrackU = 3400;
    state.Controls.LogF = bench.range(1) != 0;
    state.BlockLength = 1 << 20;
    state.DisplayPoints = NoisySpectrum(static_cast<std::size_t>(bench.range(0)));
    QWidget page;
    page.resize(1000, 600);
    TSpectrumTab tab(&page, state, settings);
    tab.Relayout();
    QImage image(tab.PaintBox2->size(), QImage::Format_RGB32);
    for (auto _ : bench) {
        image.fill(Qt::white);
        QPainter painter(&image);
        tab.PaintBox2Paint(painter);
    }
    bench.SetItemsProcessed(bench.iterations() * bench.range(0));
}
BENCHMARK(BM_PaintBox2Paint)
    ->Args({8192, 0})
    ->Args({524288, 0})
    ->Args({8192, 1})
    ->Args({524288, 1})
    ->Unit(benchmark::kMillisecond);

// One frame of the opaque spectrum graph as the window paints it, with the few points of a
// short block (N = 64): range(0) = 0 through the graph's paint event (the still parts copied from
// their kept picture), 1 everything drawn afresh (background, markings under the graph, grids,
// lines and trace), as every frame did before the picture was kept.
void BM_OpaqueGraphFrame(benchmark::State& bench) {
    MeasurementState state;
    TViewSettings settings;
    state.Controls.LogF = true;
    state.Controls.TrackU = 24000;
    state.BlockLength = 64;
    state.DisplayPoints = NoisySpectrum(33);
    QWidget page;
    page.resize(1000, 600);
    TSpectrumTab tab(&page, state, settings);
    page.show();
    tab.Relayout();
    if (!tab.PaintBox2->testAttribute(Qt::WA_OpaquePaintEvent)) {
        bench.SkipWithError("the graph is not opaque");
        return;
    }
    QImage image(tab.PaintBox2->size(), QImage::Format_RGB32);
    const bool afresh = bench.range(0) != 0;
    for (auto _ : bench) {
        if (afresh) {
            QPainter painter(&image);
            painter.fillRect(image.rect(), tab.SpecBack->palette().color(QPalette::Window));
            painter.translate(tab.PaintSpecCap->pos() - tab.PaintBox2->pos());
            tab.PaintSpecCapPaint(painter);
            painter.resetTransform();
            tab.PaintBox2Paint(painter);
        } else {
            tab.PaintBox2->render(&image, {}, {}, QWidget::DrawChildren);
        }
    }
}
BENCHMARK(BM_OpaqueGraphFrame)->Arg(0)->Arg(1)->ArgName("afresh")->Unit(benchmark::kMicrosecond);

// One paint of the caption strip (dB and frequency markings).
void BM_PaintSpecCapPaint(benchmark::State& bench) {
    MeasurementState state;
    TViewSettings settings;
    state.Controls.LogF = true;
    QWidget page;
    page.resize(1000, 600);
    TSpectrumTab tab(&page, state, settings);
    tab.Relayout();
    QImage image(page.size(), QImage::Format_RGB32);
    for (auto _ : bench) {
        image.fill(Qt::white);
        QPainter painter(&image);
        tab.PaintSpecCapPaint(painter);
    }
}
BENCHMARK(BM_PaintSpecCapPaint)->Unit(benchmark::kMillisecond);

// One paint of the scope view with a full list of 8000 points (4000 min/max pairs of a sine
// with noise) and all markings on.
void BM_PaintBox1Paint(benchmark::State& bench) {
    MeasurementState state;
    TViewSettings settings;
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> noise(-0.05f, 0.05f);
    const auto n = static_cast<std::size_t>(bench.range(0));
    for (std::size_t i = 0; i < n; ++i) {
        const float t = static_cast<float>(state.Scope.TimeBase * static_cast<double>(i / 2) /
                                           static_cast<double>(n / 2));
        const float v = 0.7f * std::sin(2 * 3.14159265f * 5 * t / 0.1f) + noise(gen);
        state.Scope.ScopePoints.push_back({t, v});
    }
    state.ScopeRms = 0.5;
    QWidget page;
    page.resize(1000, 600);
    TScopeTab tab(&page, state, settings);
    tab.scym->setChecked(true);
    tab.sctm->setChecked(true);
    tab.Relayout();
    QImage image(tab.PaintBox1->size(), QImage::Format_RGB32);
    for (auto _ : bench) {
        image.fill(Qt::white);
        QPainter painter(&image);
        tab.PaintBox1Paint(painter);
    }
    bench.SetItemsProcessed(bench.iterations() * bench.range(0));
}
BENCHMARK(BM_PaintBox1Paint)->Arg(8000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
