// Phonoscale: starts the application and its one main window.
#include "ui/TForm1.h"

#include <QApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QScreen>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Phonoscale");
    QApplication::setOrganizationName("Phonoscale");
    QApplication::setDesktopFileName("org.phonoscale.Phonoscale"); // its desktop entry
    TForm1 window;
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
