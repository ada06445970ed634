// Phonoscale: starts the application and its one main window.
#include "ui/TForm1.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Phonoscale");
    QApplication::setOrganizationName("Phonoscale");
    TForm1 window;
    if (window.TerminateRequested())
        return 1;
    window.show();
    return QApplication::exec();
}
