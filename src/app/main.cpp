// SPDX-License-Identifier: GPL-3.0-or-later
// Phonoscale: starts the application and its one main window.
#include "app/ProgramOptions.h"
#include "ui/TForm1.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <vector>

int main(int argc, char* argv[]) {
    // Our options first, before Qt looks for a display: --help works without one.
    const TProgramOptions options = ParseProgramOptions(argc, argv);
    if (options.Help) {
        std::fputs(ProgramUsage().c_str(), stdout);
        return 0;
    }
    if (!options.Error.empty()) {
        std::fprintf(stderr, "phonoscale: %s\n\n%s", options.Error.c_str(), ProgramUsage().c_str());
        return 2;
    }
    std::vector<char*> qtArgs;
    for (const int i : options.Rest)
        qtArgs.push_back(argv[i]);
    qtArgs.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgs.size()) - 1;

    QApplication app(qtArgc, qtArgs.data());
    QApplication::setApplicationName("Phonoscale");
    QApplication::setOrganizationName("Phonoscale");
    QApplication::setDesktopFileName("org.phonoscale.Phonoscale"); // its desktop entry
    // For demonstrations on machines without a screen: save a picture of the window after a
    // while and end (PHONOSCALE_SCREENSHOT=FILE, PHONOSCALE_RUN_SECONDS=seconds). Such a run
    // waits for no one: messages of start-up go to standard error instead of message boxes.
    const QString screenshot = qEnvironmentVariable("PHONOSCALE_SCREENSHOT");
    TFormEnvironment environment;
    environment.Engine = options.Engine;
    if (!screenshot.isEmpty())
        environment.ShowStartupMessage = [](const QString& caption, const QString& text) {
            QString shown = text;
            shown.replace('\n', "\n    ");
            const bool marked = caption.endsWith('!') || caption.endsWith(':');
            const QString lead = caption.isEmpty() ? QString() : caption + (marked ? " " : ": ");
            std::fprintf(stderr, "phonoscale: %s%s\n", qPrintable(lead), qPrintable(shown));
        };
    TForm1 window(std::move(environment));
    if (window.TerminateRequested()) {
        window.ShowStartupMessages(); // why, before the program ends
        return 1;
    }
    window.show();

    // Demonstration: start measuring at once and show the spectrum (PHONOSCALE_DEMO=1).
    if (qEnvironmentVariableIntValue("PHONOSCALE_DEMO") == 1) {
        QTimer::singleShot(0, &window, [&window] {
            window.PageControl1->setCurrentWidget(window.TabSpectrum);
            window.SpeedButton1->click();
        });
    }

    // The tab shown in such a picture, by its caption (PHONOSCALE_SCREENSHOT_TAB=Spectrum); the
    // build makes the user guide's pictures so.
    if (const QString tab = qEnvironmentVariable("PHONOSCALE_SCREENSHOT_TAB"); !tab.isEmpty()) {
        QTimer::singleShot(0, &window, [&window, tab] {
            for (int i = 0; i < window.PageControl1->count(); ++i)
                if (window.PageControl1->tabText(i) == tab)
                    window.PageControl1->setCurrentIndex(i);
        });
    }

    if (!screenshot.isEmpty()) {
        const int seconds = qEnvironmentVariableIntValue("PHONOSCALE_RUN_SECONDS");
        QTimer::singleShot((seconds > 0 ? seconds : 8) * 1000, &window, [&window, screenshot] {
            if (window.grab().save(screenshot))
                std::printf("Saved a picture of the window to %s\n", qPrintable(screenshot));
            window.close();
            QApplication::quit();
        });
    }
    return QApplication::exec();
}
