// Renders the main dialog as a pilot sees it after typing a name, into a PNG for the README.
// Usage: render_dialog FILE.png, best under QT_QPA_PLATFORM=offscreen (target dialog_screenshot).

#include "app/MainWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPixmap>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: render_dialog FILE.png\n");
        return 2;
    }
    // A typical installation, so the picture shows the presets.
    qputenv("THERMORA_DIR", "/home/pilot/Thermora");
    MainWindow window;
    window.pilot_name_->setText(QStringLiteral("Example Pilot"));
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "render_dialog: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
