// SPDX-License-Identifier: GPL-3.0-or-later
// Long run of the whole program window (not a test): real engines on the sound server, sine
// output on, spectrum and scope painted in turn; reports blocks, gaps, CPU and memory.
//
//   window_soak [seconds] [rate ksps] [sample length]      defaults: 600 192 64
#include "audio/AudioStreamEngine.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Selects the first entry that names the sound server, else leaves the combo as it is.
void SelectSoundServer(QComboBox* combo) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).contains("Pulse", Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return;
        }
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int rateK = argc > 2 ? std::atoi(argv[2]) : 192;
    const QString length = argc > 3 ? argv[3] : "64";

    int messages = 0;
    TFormEnvironment env;
    env.ShowMessage = [&messages](const QString& text) {
        ++messages;
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    TForm1 window(env);
    if (window.TerminateRequested())
        return 2;
    window.show();
    SelectSoundServer(window.ComboAudioDevice);
    SelectSoundServer(window.ComboOutDevice);
    window.CFrame->setCurrentText(QString("%1 ksps").arg(rateK));
    window.ComboSamples->setCurrentText(length);
    window.CheckOut->setChecked(true);
    window.PageControl1->setCurrentWidget(window.TabSpectrum);
    window.SpeedButton1->click();
    if (!window.Sampling())
        return 3;

    // Spectrum and scope take turns on screen, five seconds each.
    QTimer flip;
    QObject::connect(&flip, &QTimer::timeout, &window, [&window] {
        window.PageControl1->setCurrentWidget(
            window.PageControl1->currentWidget() == window.TabSpectrum ? window.TabScope
                                                                       : window.TabSpectrum);
    });
    flip.start(5000);

    int status = 0;
    QTimer::singleShot(seconds * 1000, &window, [&] {
        const TStreamHealth health = window.AStream().Health();
        const bool running = window.Sampling();
        window.SpeedButton1->click();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                           usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
        const double expected = seconds * rateK * 1000.0 / std::max(2048, length.toInt());
        std::printf("window soak: %d s at %d ksps, sample length %s, sine output on\n", seconds,
                    rateK, qPrintable(length));
        std::printf("  engine blocks        %lld of about %.0f\n", window.BlocksReceived(), expected);
        std::printf("  capture gaps         %llu (%llu frames lost)\n",
                    static_cast<unsigned long long>(health.CaptureGaps),
                    static_cast<unsigned long long>(health.CaptureFramesLost));
        std::printf("  render gaps          %llu (%llu frames of silence)\n",
                    static_cast<unsigned long long>(health.RenderGaps),
                    static_cast<unsigned long long>(health.RenderFramesLost));
        std::printf("  block errors         %llu; messages %d; still sampling at the end: %s\n",
                    static_cast<unsigned long long>(health.BlockErrors), messages,
                    running ? "yes" : "no");
        std::printf("  program              %.1f s CPU = %.1f %% of one core, max rss %ld KiB\n",
                    cpu, 100.0 * cpu / seconds, usage.ru_maxrss);
        status = (running && health.CaptureGaps == 0 && health.RenderGaps == 0) ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
