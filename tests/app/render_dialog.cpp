// Renders the main dialog as a pilot sees it after typing a name, into a PNG for the README.
// Usage: render_dialog FILE.png, best under QT_QPA_PLATFORM=offscreen (target dialog_screenshot).

#include "app/MainWindow.h"
#include "install/Installation.h"

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
    // A pilot with the simulator in Steam's Proton and in plain Wine, so the picture shows the
    // presets and the line under the form that says where they come from.
    install::InstallationSearch search;
    search.found = {
        {"/home/pilot/.steam/steam/steamapps/compatdata/2212330/pfx/drive_c/Thermora",
         "Steam Proton prefix /home/pilot/.steam/steam/steamapps/compatdata/2212330/pfx",
         install::PlaceKind::WinePrefix, "Steam (Proton), prefix 2212330"},
        {"/home/pilot/.wine/drive_c/Thermora", "Wine prefix /home/pilot/.wine",
         install::PlaceKind::WinePrefix, "Wine, prefix /home/pilot/.wine"},
    };
    search.taken = 0;
    search.because = install::TakenBecause::NewestRecording;
    MainWindow window(search);
    window.pilot_name_->setText(QStringLiteral("Example Pilot"));
    window.show();
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "render_dialog: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
