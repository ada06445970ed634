// SPDX-License-Identifier: GPL-3.0-or-later
// Long run of the Spectrogram and Octave Bands tabs in the program window (not a test): real
// engines on the sound server, the spectrogram shown most of the time and the octave bars for
// ten seconds a minute; prints the resident memory every minute and the spread after the first.
//
//   views_soak [seconds] [rate ksps] [sample length]      defaults: 600 192 64
#include "ui/TForm1.h"
#include "ui/octave/OctaveTab.h"
#include "ui/spectrogram/SpectrogramTab.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace {

// Resident memory of this process in KiB (/proc/self/statm, second field, in pages).
long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void SelectSoundServer(QComboBox* combo) {
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i).contains("Pulse", Qt::CaseInsensitive)) {
            combo->setCurrentIndex(i);
            return;
        }
}

template <typename Tab> Tab* FindTab(TForm1& form) {
    for (const auto& tab : form.Instruments())
        if (auto* found = dynamic_cast<Tab*>(tab.get()))
            return found;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const int rateK = argc > 2 ? std::atoi(argv[2]) : 192;
    const QString length = argc > 3 ? argv[3] : "64";

    TFormEnvironment env;
    env.ShowMessage = [](const QString& text) {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
    };
    TForm1 window(env);
    if (window.TerminateRequested())
        return 2;
    auto* spectrogram = FindTab<TSpectrogramTab>(window);
    auto* octave = FindTab<TOctaveTab>(window);
    if (!spectrogram || !octave)
        return 2;
    window.resize(1280, 900);
    window.show();
    SelectSoundServer(window.ComboAudioDevice);
    window.CFrame->setCurrentText(QString("%1 ksps").arg(rateK));
    window.ComboSamples->setCurrentText(length);
    window.PageControl1->setCurrentWidget(spectrogram->Page);
    window.SpeedButton1->click();
    if (!window.Sampling())
        return 3;

    long lowest = 0, highest = 0;
    int elapsed = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        ++elapsed;
        const int inMinute = elapsed % 60;
        window.PageControl1->setCurrentWidget(inMinute >= 50 ? octave->Page : spectrogram->Page);
        if (inMinute == 0) {
            const long rss = ResidentKiB();
            if (elapsed > 60) {
                lowest = std::min(lowest, rss);
                highest = std::max(highest, rss);
            } else {
                lowest = highest = rss;
            }
            std::printf("  %4d s: resident %ld KiB, spectrogram %zu rows (%.1f MiB held), "
                        "%.0f s recorded, blocks %lld\n",
                        elapsed, rss, spectrogram->History().RowCount(),
                        spectrogram->History().MemoryBytes() / 1048576.0,
                        spectrogram->History().Seconds(), window.BlocksReceived());
            std::fflush(stdout);
        }
    });
    tick.start(1000);

    int status = 0;
    QTimer::singleShot(seconds * 1000, &window, [&] {
        const bool running = window.Sampling();
        window.SpeedButton1->click();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                           usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
        std::printf("views soak: %d s at %d ksps, sample length %s\n", seconds, rateK,
                    qPrintable(length));
        std::printf("  resident memory from the first minute on: %ld ... %ld KiB (spread %ld KiB), "
                    "max rss %ld KiB\n",
                    lowest, highest, highest - lowest, usage.ru_maxrss);
        std::printf("  program %.1f s CPU = %.1f %% of one core; still sampling at the end: %s\n",
                    cpu, 100.0 * cpu / seconds, running ? "yes" : "no");
        status = running ? 0 : 1;
        QApplication::quit();
    });
    QApplication::exec();
    return status;
}
