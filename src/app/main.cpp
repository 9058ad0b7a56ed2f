// Program start of the logbook tool: one dialog, shown until the user closes it.

#include "app/MainWindow.h"
#include "platform/Diagnostics.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The files' diagnostics go to the terminal the dialog was started from: names in them are
    // shown there as text, never obeyed.
    const platform::TerminalStreams terminal;
    QApplication app(argc, argv);
    // The constructor may warn about a missing installation before the dialog shows.
    MainWindow window;
    window.show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
