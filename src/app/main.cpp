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
    TFormEnvironment environment;
    environment.Engine = options.Engine;
    TForm1 window(std::move(environment));
    if (window.TerminateRequested())
        return 1;
    window.show();

    // Demonstration: start measuring at once and show the spectrum (PHONOSCALE_DEMO=1).
    if (qEnvironmentVariableIntValue("PHONOSCALE_DEMO") == 1) {
        QTimer::singleShot(0, &window, [&window] {
            window.PageControl1->setCurrentWidget(window.TabSpectrum);
            window.SpeedButton1->click();
        });
    }

    // For demonstrations on machines without a screen: save a picture of the window after a
    // while and end (PHONOSCALE_SCREENSHOT=FILE, PHONOSCALE_RUN_SECONDS=seconds).
    const QString screenshot = qEnvironmentVariable("PHONOSCALE_SCREENSHOT");
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
