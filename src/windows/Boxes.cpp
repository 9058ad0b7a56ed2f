#include "Boxes.h"

#include "AnchorLayout.h"
#include "DetailsWindow.h"
#include "DialogLog.h"
#include "ProgramIcon.h"
#include "SkippedFilesWindow.h"
#include "TextWrap.h"
#include "platform/WindowsText.h"

#include <commctrl.h>

#include <functional>
#include <vector>

namespace {

constexpr int kShowDetailsButton = 100;
constexpr int kActionButton = 101;

// What a task dialog's "Show Details..." opens over the box, which stays.
using ShowDetails = std::function<void(HWND box)>;

std::string wholeText(const logbook::DialogBox& box) {
    return box.informative.empty() ? box.text : box.text + "\n\n" + box.informative;
}

UINT iconOf(logbook::Severity severity) {
    switch (severity) {
    case logbook::Severity::Information:
        return MB_ICONINFORMATION;
    case logbook::Severity::Warning:
        break;
    case logbook::Severity::Error:
        return MB_ICONERROR;
    }
    return MB_ICONWARNING;
}

// A box centred over the window it belongs to, with the program's icon and its paths wrapped
// after a separator. Message boxes and task dialogs place themselves by rules of their own (a task
// dialog near its owner's top edge, or wherever the system puts it), show no icon or the system's
// and break a path wherever it reaches the edge; a box of ours looks like the rest of the program
// and comes up where the pilot is looking.
void placeBox(HWND box) {
    wrapPathsIn(box);
    showProgramIcon(box);
    RECT frame;
    GetWindowRect(box, &frame);
    placeOver(box, GetWindow(box, GW_OWNER), {frame.right - frame.left, frame.bottom - frame.top});
}

// While a message box is shown: the box, once it has its size, placed as placeBox places it. A
// message box says nothing when it is made, so its making is watched: the first top-level
// window that comes up on this thread meanwhile is the box.
class MessageBoxPlacement {
public:
    MessageBoxPlacement() {
        made_ = nullptr;
        placed_ = false;
        hook_ = SetWindowsHookExW(WH_CBT, onWindow, nullptr, GetCurrentThreadId());
    }
    ~MessageBoxPlacement() {
        if (hook_ != nullptr)
            UnhookWindowsHookEx(hook_);
    }
    MessageBoxPlacement(const MessageBoxPlacement&) = delete;
    MessageBoxPlacement& operator=(const MessageBoxPlacement&) = delete;

private:
    static LRESULT CALLBACK onWindow(int code, WPARAM wparam, LPARAM lparam) {
        const auto window = reinterpret_cast<HWND>(wparam);
        if (code == HCBT_CREATEWND && made_ == nullptr) {
            // The box itself, not its buttons and texts.
            const CREATESTRUCTW* created = reinterpret_cast<CBT_CREATEWNDW*>(lparam)->lpcs;
            if ((created->style & WS_CHILD) == 0)
                made_ = window;
        } else if (code == HCBT_ACTIVATE && window == made_ && !placed_) {
            // Activated once laid out; the window that was there before is never moved.
            placed_ = true;
            placeBox(window);
        }
        return CallNextHookEx(nullptr, code, wparam, lparam);
    }

    HHOOK hook_;
    static inline HWND made_ = nullptr; // the box, once made
    static inline bool placed_ = false;
};

HRESULT CALLBACK onTaskDialog(HWND window, UINT message, WPARAM button, LPARAM, LONG_PTR data) {
    // Made and laid out, not yet shown.
    if (message == TDN_CREATED)
        placeBox(window);
    if (message == TDN_BUTTON_CLICKED && button == kShowDetailsButton && data != 0) {
        (*reinterpret_cast<const ShowDetails*>(data))(window);
        return S_FALSE; // the box stays
    }
    return S_OK;
}

} // namespace

void tell(HWND owner, const logbook::DialogBox& box) {
    const std::string text = wholeText(box);
    dialog_log::box(box.title, text);
    const MessageBoxPlacement placement;
    MessageBoxW(owner, platform::widened(text).c_str(), platform::widened(box.title).c_str(),
                MB_OK | iconOf(box.severity));
}

bool offer(HWND owner, const logbook::DialogBox& box, const char* action) {
    const std::string whole = wholeText(box);
    dialog_log::box(box.title, whole);
    const std::wstring title = platform::widened(box.title);
    const std::wstring text = platform::widened(whole);
    const std::wstring act = platform::widened(action);
    const std::wstring close = platform::widened(logbook::dialog::kClose);
    const TASKDIALOG_BUTTON buttons[] = {{kActionButton, act.c_str()}, {IDCANCEL, close.c_str()}};
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = box.severity == logbook::Severity::Error     ? TD_ERROR_ICON
                         : box.severity == logbook::Severity::Warning ? TD_WARNING_ICON
                                                                      : TD_INFORMATION_ICON;
    config.pszContent = text.c_str();
    config.pButtons = buttons;
    config.cButtons = 2;
    config.nDefaultButton = kActionButton;
    config.pfCallback = onTaskDialog;
    int pressed = IDCANCEL;
    return SUCCEEDED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr)) &&
           pressed == kActionButton;
}

logbook::Answer ask(HWND owner, const logbook::DialogQuestion& question) {
    dialog_log::box(question.title, question.text);
    const std::wstring title = platform::widened(question.title);
    const std::wstring text = platform::widened(question.text);
    const std::wstring details = platform::widened(logbook::dialog::kShowDetails);
    const std::wstring yes = platform::widened(logbook::dialog::kYes);
    const std::wstring no = platform::widened(logbook::dialog::kNo);
    const std::wstring cancel = platform::widened(logbook::dialog::kCancel);
    // A task dialog rather than a message box: the box of "Yes" and "No" ignores Escape and has
    // no room for "Show Details...". Escape and the close button press the button that cancels
    // (a task dialog sends Escape to it, and Wine's closes on Escape only when there is one):
    // "Cancel" where the question has it, as "No" goes on there (drops flights, keeps a
    // logbook), else "No", which stops as well. The details open in a window of their own, which
    // scrolls however long the list is, where the task dialog's own expanded text would grow
    // past the screen.
    std::vector<TASKDIALOG_BUTTON> buttons;
    if (!question.details.empty())
        buttons.push_back({kShowDetailsButton, details.c_str()});
    buttons.push_back({IDYES, yes.c_str()});
    buttons.push_back({question.can_cancel ? IDNO : IDCANCEL, no.c_str()});
    if (question.can_cancel)
        buttons.push_back({IDCANCEL, cancel.c_str()});
    const ShowDetails show = [&question](HWND box) { showDetails(box, question.details); };

    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = TD_WARNING_ICON;
    config.pszContent = text.c_str();
    config.pButtons = buttons.data();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.nDefaultButton = question.yes_by_default ? IDYES : question.can_cancel ? IDNO : IDCANCEL;
    config.pfCallback = onTaskDialog;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&show);
    int pressed = IDCANCEL;
    if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr)))
        return logbook::Answer::Cancel;
    if (pressed == IDYES)
        return logbook::Answer::Yes;
    return pressed == IDNO ? logbook::Answer::No : logbook::Answer::Cancel;
}

void showResult(HWND owner, const logbook::GenerationResult& result,
                const logbook::ResultBox& result_box) {
    const logbook::ResultBox* const shown = &result_box;
    // A run that failed has its box, a message box; one that wrote has its task dialog.
    if (result.failure.kind != logbook::FailureKind::None) {
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
    config.pszMainIcon = shown->box.severity == logbook::Severity::Error     ? TD_ERROR_ICON
                         : shown->box.severity == logbook::Severity::Warning ? TD_WARNING_ICON
                                                                             : TD_INFORMATION_ICON;
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
