#include "Boxes.h"

#include "DetailsWindow.h"
#include "DialogLog.h"
#include "SkippedFilesWindow.h"
#include "platform/WindowsText.h"

#include <commctrl.h>

#include <functional>
#include <span>

namespace {

constexpr int kShowDetailsButton = 100;

// What a task dialog's "Show Details..." opens over the box, which stays.
using ShowDetails = std::function<void(HWND box)>;

std::string wholeText(const logbook::DialogBox& box) {
    return box.informative.empty() ? box.text : box.text + "\n\n" + box.informative;
}

// A failure's box is titled as one, and shows the error icon; the core marks the others.
UINT iconOf(const logbook::DialogBox& box) {
    if (box.title == logbook::dialog::kError)
        return MB_ICONERROR;
    return box.warning ? MB_ICONWARNING : MB_ICONINFORMATION;
}

HRESULT CALLBACK onTaskDialog(HWND window, UINT message, WPARAM button, LPARAM, LONG_PTR data) {
    if (message == TDN_BUTTON_CLICKED && button == kShowDetailsButton) {
        (*reinterpret_cast<const ShowDetails*>(data))(window);
        return S_FALSE; // the box stays
    }
    return S_OK;
}

} // namespace

void tell(HWND owner, const logbook::DialogBox& box) {
    const std::string text = wholeText(box);
    dialog_log::box(box.title, text);
    MessageBoxW(owner, platform::widened(text).c_str(), platform::widened(box.title).c_str(),
                MB_OK | iconOf(box));
}

bool confirmed(HWND owner, const logbook::DialogQuestion& question) {
    dialog_log::box(question.title, question.text);
    const std::wstring title = platform::widened(question.title);
    const std::wstring text = platform::widened(question.text);
    const std::wstring details = platform::widened(logbook::dialog::kShowDetails);
    const std::wstring yes = platform::widened(logbook::dialog::kYes);
    const std::wstring no = platform::widened(logbook::dialog::kNo);
    // A task dialog rather than a message box: the box of "Yes" and "No" ignores Escape and has
    // no room for "Show Details...". "No" is the button that cancels, so that Escape and the
    // close button press it; a common "No" button would not do, since a task dialog sends
    // Escape to a "Cancel" button (and Wine's closes on Escape only when it has one). The
    // details open in a window of their own, which scrolls however long the list is, where the
    // task dialog's own expanded text would grow past the screen.
    const TASKDIALOG_BUTTON buttons[] = {
        {kShowDetailsButton, details.c_str()}, {IDYES, yes.c_str()}, {IDCANCEL, no.c_str()}};
    const std::span<const TASKDIALOG_BUTTON> shown =
        question.details.empty() ? std::span(buttons).subspan(1) : std::span(buttons);
    const ShowDetails show = [&question](HWND box) { showDetails(box, question.details); };

    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszContent = text.c_str();
    config.pButtons = shown.data();
    config.cButtons = static_cast<UINT>(shown.size());
    config.nDefaultButton = question.yes_by_default ? IDYES : IDCANCEL;
    config.pfCallback = onTaskDialog;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&show);
    int pressed = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr)))
        return false;
    return pressed == IDYES;
}

void showResult(HWND owner, const logbook::GenerationResult& result,
                const std::string& logbook_path) {
    const std::optional<logbook::ResultBox> shown = logbook::resultBox(result, logbook_path);
    if (!shown)
        return;
    if (result.failure != logbook::GenerationFailure::None) {
        tell(owner, shown->box);
        return;
    }
    dialog_log::box(shown->box.title, wholeText(shown->box));
    const std::wstring title = platform::widened(shown->box.title);
    const std::wstring text = platform::widened(shown->box.text);
    const std::wstring informative = platform::widened(shown->box.informative);
    const std::wstring details = platform::widened(logbook::dialog::kShowDetails);
    const TASKDIALOG_BUTTON buttons[] = {{kShowDetailsButton, details.c_str()}};

    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    // Escape closes it as "OK" does: there is nothing to decide.
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_OK_BUTTON;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = shown->box.warning ? TD_WARNING_ICON : TD_INFORMATION_ICON;
    config.pszMainInstruction = text.c_str();
    config.pszContent = informative.empty() ? nullptr : informative.c_str();
    if (shown->details) {
        config.pButtons = buttons;
        config.cButtons = 1;
    }
    config.nDefaultButton = IDOK;
    // Back from the list, the keyboard goes to "OK", as the box had it first: left on "Show
    // Details...", Enter would open the list again instead of closing the box.
    const ShowDetails show = [&result](HWND box) {
        showSkippedFiles(box, result);
        if (HWND ok = GetDlgItem(box, IDOK); ok != nullptr)
            SendMessageW(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ok), TRUE);
    };
    config.pfCallback = onTaskDialog;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&show);
    TaskDialogIndirect(&config, nullptr, nullptr, nullptr);
}
