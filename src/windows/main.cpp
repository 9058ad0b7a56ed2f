// Program start of the Windows dialog: "--help" and "--version" answered as command-line programs
// answer them, else one window, shown until the pilot closes it.

#include "MainDialog.h"
#include "logbook/DialogFlow.h"
#include "platform/WindowsText.h"
#include "version.h"

#include "WindowsApi.h"
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// The arguments after the program's name, as UTF-8.
std::vector<std::string> arguments() {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> narrow;
    for (int k = 1; wide != nullptr && k < count; ++k)
        narrow.push_back(platform::narrowed(wide[k]));
    LocalFree(wide);
    return narrow;
}

// `text` on the standard stream `which` of a window program: it has one where it was redirected
// (to a file, a pipe), else the console of the command prompt that started it, if one did. A
// console shows the text as UTF-16; a file or a pipe takes its UTF-8, lines ending in LF only, as
// the command line writes them.
bool writeTo(DWORD which, const std::string& text) {
    HANDLE stream = GetStdHandle(which);
    HANDLE console = nullptr; // opened here, closed here
    if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS))
            return false;
        console =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console == INVALID_HANDLE_VALUE)
            return false;
        stream = console;
    }
    DWORD mode = 0;
    DWORD written = 0;
    bool whole = false;
    if (GetConsoleMode(stream, &mode)) {
        const std::wstring wide = platform::widened(text);
        whole = WriteConsoleW(stream, wide.c_str(), static_cast<DWORD>(wide.size()), &written,
                              nullptr) != 0;
    } else {
        whole = WriteFile(stream, text.data(), static_cast<DWORD>(text.size()), &written,
                          nullptr) != 0 &&
                written == text.size();
    }
    if (console != nullptr)
        CloseHandle(console);
    return whole;
}

// The exit status of an answer to the arguments; -1 when the dialog is to open. The program has
// no options of a toolkit's: whatever else is given is a usage error.
int answered(const logbook::ProgramStart& start) {
    using Action = logbook::ProgramStart::Action;
    switch (start.action) {
    case Action::OpenDialog:
        break;
    case Action::Help:
    case Action::Version:
        return writeTo(STD_OUTPUT_HANDLE, start.text) ? 0 : 1;
    case Action::UsageError:
        writeTo(STD_ERROR_HANDLE, start.text);
        return logbook::kUsageStatus;
    }
    return -1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    if (const int status =
            answered(logbook::readProgramArguments(arguments(), THERMORA_VERSION, true));
        status >= 0)
        return status;
    // The shell's file choosers are COM objects of a single-threaded apartment.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
        return 1;
    const INITCOMMONCONTROLSEX controls{
        sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                          ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    MainDialog dialog;
    if (dialog.window() == nullptr)
        return 1;
    dialog.show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!dialog.handleKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CoUninitialize();
    return 0;
}
