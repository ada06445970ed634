// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of dragging a band edge over the spectrum graph of the whole window (offscreen Qt):
// from one mouse move on the cut-on handle to the finished repaint, at N = 1048576.
#include "audio/AudioStreamEngine.h"
#include "audio/PcmDeviceList.h"
#include "ui/TForm1.h"
#include "ui/spectrum/SpectrumTab.h"

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QMouseEvent>
#include <QSlider>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>

#include <stdlib.h>

namespace {

// An engine that never streams: the benchmark needs the window, not sound.
class TIdleEngine final : public TAudioStreamEngine {
public:
    void Start() override {}
    void Stop() override {}
    bool Active() const override { return false; }
    std::vector<std::string> InputNames() const override { return {"01  Idle"}; }
    std::vector<std::string> OutputNames() const override { return {"01  Idle"}; }
};

// The window at N = 2^20 with a full spectrum of N/2 points on show, the band 1000..3000 Hz.
struct TBigWindow {
    std::string folder;
    std::unique_ptr<TForm1> form;

    TBigWindow() {
        char pattern[] = "/tmp/ps-bench-overlays-XXXXXX";
        folder = ::mkdtemp(pattern) ? pattern : "/tmp";
        TFormEnvironment env;
        env.Devices = std::make_shared<const std::vector<TPcmDevice>>(
            std::vector<TPcmDevice>{{"idle", "Idle", true, true}});
        env.EngineFactory = [](TAudioEngine) { return std::make_unique<TIdleEngine>(); };
        env.ShowMessage = [](const QString&) {};
        env.SettingsFolder = QString::fromStdString(folder);
        form = std::make_unique<TForm1>(std::move(env));
        form->resize(1200, 800);
        form->show();
        form->PageControl1->setCurrentWidget(form->TabSpectrum);
        form->ComboSamples->setCurrentIndex(14); // 1048576
        std::mt19937 gen(1);
        std::uniform_real_distribution<double> noise(1e-6, 1e-5);
        const std::size_t points = 1u << 19;
        auto& shown = form->State().DisplayPoints;
        shown.resize(points);
        for (std::size_t i = 0; i < points; ++i)
            shown[i] = {24000.0 * static_cast<double>(i) / points, noise(gen)};
        form->TrackU->setValue(3000);
        form->TrackL->setValue(1000);
        QApplication::processEvents();
    }
    ~TBigWindow() {
        form.reset();
        std::filesystem::remove_all(folder);
    }

    // A page point in the coordinates of `widget`.
    QPoint On(QWidget* widget, int pageX) const {
        return widget->mapFrom(form->TabSpectrum, QPoint(pageX, 10));
    }
    void Send(QWidget* widget, QEvent::Type type, QPoint at, Qt::MouseButtons held) const {
        QMouseEvent event(type, at, widget->mapToGlobal(at),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                          Qt::NoModifier);
        QApplication::sendEvent(widget, &event);
    }
};

// One mouse move of the cut-on handle while it is dragged, then the repaint it asks for.
void BM_Shape1DragMoveToRepaint(benchmark::State& bench) {
    TBigWindow w;
    QFrame* shape1 = w.form->SpectrumTab().Shape1;
    const int left = w.form->PaintBox2->x();
    w.Send(shape1, QEvent::MouseButtonPress, QPoint(1, 10), Qt::LeftButton);
    int step = 0;
    for (auto _ : bench) {
        const int x = left + 40 + (step++ % 2) * 20; // back and forth between two places
        w.Send(shape1, QEvent::MouseMove, w.On(shape1, x), Qt::LeftButton);
        QApplication::processEvents(); // the repaint of the graph and its captions
    }
    w.Send(shape1, QEvent::MouseButtonRelease, w.On(shape1, left + 40), Qt::NoButton);
    bench.counters["N"] = w.form->State().BlockLength;
}
BENCHMARK(BM_Shape1DragMoveToRepaint)->Unit(benchmark::kMillisecond);

// The same change of the cut-on slider outside a drag, where the band filter is designed for
// every position, then the repaint: what a drag would cost per move if it designed each time.
void BM_CutOnSliderWithFilterDesignToRepaint(benchmark::State& bench) {
    TBigWindow w;
    int step = 0;
    for (auto _ : bench) {
        w.form->TrackL->setValue(1000 + (step++ % 2) * 500);
        QApplication::processEvents();
    }
    bench.counters["N"] = w.form->State().BlockLength;
}
BENCHMARK(BM_CutOnSliderWithFilterDesignToRepaint)->Unit(benchmark::kMillisecond);

// The drag's end: the release designs the filter once for the band reached, then repaints.
void BM_Shape1DragEndToRepaint(benchmark::State& bench) {
    TBigWindow w;
    QFrame* shape1 = w.form->SpectrumTab().Shape1;
    const int left = w.form->PaintBox2->x();
    int step = 0;
    for (auto _ : bench) {
        const int x = left + 40 + (step++ % 2) * 20;
        bench.PauseTiming();
        w.Send(shape1, QEvent::MouseButtonPress, QPoint(1, 10), Qt::LeftButton);
        w.Send(shape1, QEvent::MouseMove, w.On(shape1, x), Qt::LeftButton);
        QApplication::processEvents();
        bench.ResumeTiming();
        w.Send(shape1, QEvent::MouseButtonRelease, w.On(shape1, x), Qt::NoButton);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_Shape1DragEndToRepaint)->Unit(benchmark::kMillisecond);

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
