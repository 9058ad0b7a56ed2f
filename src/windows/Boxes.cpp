#include "Boxes.h"

#include "DialogLog.h"
#include "SkippedFilesWindow.h"
#include "platform/WindowsText.h"

#include <commctrl.h>

namespace {

constexpr int kShowDetailsButton = 100;

std::string wholeText(const logbook::DialogBox& box) {
    return box.informative.empty() ? box.text : box.text + "\n\n" + box.informative;
}

UINT iconOf(const logbook::DialogBox& box) {
    return box.warning ? MB_ICONWARNING : MB_ICONINFORMATION;
}

HRESULT CALLBACK onTaskDialog(HWND window, UINT message, WPARAM button, LPARAM, LONG_PTR data) {
    // "Show Details..." opens the list over the box, which stays.
    if (message == TDN_BUTTON_CLICKED && button == kShowDetailsButton) {
        showSkippedFiles(window, *reinterpret_cast<const logbook::GenerationResult*>(data));
        return S_FALSE;
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
    const UINT default_button = question.yes_by_default ? MB_DEFBUTTON1 : MB_DEFBUTTON2;
    return MessageBoxW(owner, platform::widened(question.text).c_str(),
                       platform::widened(question.title).c_str(),
                       MB_YESNO | MB_ICONWARNING | default_button) == IDYES;
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
    config.pfCallback = onTaskDialog;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&result);
    TaskDialogIndirect(&config, nullptr, nullptr, nullptr);
}
