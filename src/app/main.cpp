// Program start of the logbook tool: one dialog, shown until the user closes it.

#include "app/MainWindow.h"
#include "logbook/DialogFlow.h"
#include "platform/Diagnostics.h"

#include <QApplication>

#include <functional>
#include <iostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> argumentsOf(int argc, char* argv[]) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

// The arguments without the toolkit's own options (Qt's, with one dash or two, and their
// values), so that a wrong one is said before Qt looks for a display, which it may not find.
std::vector<std::string> withoutToolkitOptions(const std::vector<std::string>& arguments) {
    static const std::set<std::string, std::less<>> with_value = {"platform",
                                                                  "platformpluginpath",
                                                                  "platformtheme",
                                                                  "plugin",
                                                                  "qwindowgeometry",
                                                                  "qwindowicon",
                                                                  "qwindowtitle",
                                                                  "session",
                                                                  "style",
                                                                  "stylesheet",
                                                                  "display",
                                                                  "geometry",
                                                                  "title",
                                                                  "name",
                                                                  "visual",
                                                                  "fn",
                                                                  "font",
                                                                  "bg",
                                                                  "background",
                                                                  "fg",
                                                                  "foreground",
                                                                  "btn",
                                                                  "button",
                                                                  "im",
                                                                  "inputstyle"};
    static const std::set<std::string, std::less<>> alone = {
        "reverse", "widgetcount", "nograb", "dograb", "sync", "testability", "qmljsdebugger"};
    std::vector<std::string> rest;
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        std::string_view name = arguments[k];
        if (!name.starts_with('-')) {
            rest.push_back(arguments[k]);
            continue;
        }
        name.remove_prefix(name.starts_with("--") ? 2 : 1);
        const std::string_view bare = name.substr(0, name.find('='));
        if (alone.contains(bare))
            continue;
        if (with_value.contains(bare)) {
            if (bare.size() == name.size())
                ++k; // the value follows
            continue;
        }
        rest.push_back(arguments[k]);
    }
    return rest;
}

// Answers the help, the version or a usage error, as command-line programs do; the exit status
// then, or -1 when the dialog is to open.
int answered(const logbook::ProgramStart& start) {
    using Action = logbook::ProgramStart::Action;
    switch (start.action) {
    case Action::OpenDialog:
        break;
    case Action::Help:
    case Action::Version:
        std::cout << start.text << std::flush;
        return std::cout ? 0 : 1;
    case Action::UsageError:
        std::cerr << start.text << std::flush;
        return logbook::kUsageStatus;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    // "--help", "--version" and a wrong argument need no display: answered before the toolkit
    // looks for one.
    if (const int status = answered(logbook::readProgramArguments(
            withoutToolkitOptions(argumentsOf(argc, argv)), THERMORA_VERSION, true));
        status >= 0)
        return status;
    // The files' diagnostics go to the terminal the dialog was started from: names in them are
    // shown there as text, never obeyed.
    const platform::TerminalStreams terminal;
    QApplication app(argc, argv);
    // The toolkit took its own options out of the arguments; what is left is not for it (one
    // that Qt knows and this program does not).
    if (const int status = answered(
            logbook::readProgramArguments(argumentsOf(argc, argv), THERMORA_VERSION, true));
        status >= 0)
        return status;
    // The constructor may warn about a missing installation before the dialog shows.
    MainWindow window;
    window.show();
    QObject::connect(&app, &QApplication::lastWindowClosed, &app, &QApplication::quit);
    return app.exec();
}
