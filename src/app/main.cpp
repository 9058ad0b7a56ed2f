// Program start of the logbook tool: one dialog, shown until the user closes it.

#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // The constructor may warn about a missing installation before the dialog shows.
    MainWindow window;
    window.show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
