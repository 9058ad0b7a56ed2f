#include "DetailsWindow.h"

#include "AnchorLayout.h"
#include "DialogLog.h"
#include "ProgramIcon.h"
#include "logbook/DialogFlow.h"
#include "platform/WindowsText.h"
#include "resource.h"

namespace {

constexpr Anchor kAnchors[] = {
    {IDC_DETAILS_TEXT, 0, 0, 1, 1},
    {IDCANCEL, 1, 1, 1, 1},
    {IDC_DETAILS_GRIP, 1, 1, 1, 1},
};

struct Details {
    const std::string& text;
    AnchorLayout layout;
};

// An edit control breaks lines at "\r\n" only.
std::wstring editLines(const std::string& text) {
    std::wstring lines;
    for (const wchar_t c : platform::widened(text)) {
        if (c == L'\n')
            lines += L'\r';
        lines += c;
    }
    return lines;
}

INT_PTR CALLBACK detailsProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* details = reinterpret_cast<Details*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        details = reinterpret_cast<Details*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        SetWindowTextW(window, platform::widened(logbook::dialog::kDetailsTitle).c_str());
        showProgramIcon(window);
        SetDlgItemTextW(window, IDCANCEL, platform::widened(logbook::dialog::kClose).c_str());
        SetDlgItemTextW(window, IDC_DETAILS_TEXT, editLines(details->text).c_str());
        details->layout.capture(window, kAnchors);
        RECT frame;
        GetWindowRect(window, &frame);
        placeOver(window, GetWindow(window, GW_OWNER),
                  {frame.right - frame.left, frame.bottom - frame.top});
        // The keyboard in the list, at its start: the dialog's own focus would select it all.
        HWND text = GetDlgItem(window, IDC_DETAILS_TEXT);
        SetFocus(text);
        SendMessageW(text, EM_SETSEL, 0, 0);
        return FALSE; // the focus is set
    }
    case WM_COMMAND:
        // "Close", Escape, Enter and the close button.
        if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK)
            EndDialog(window, 0);
        return TRUE;
    case WM_SIZE:
        if (details != nullptr)
            details->layout.apply();
        return TRUE;
    case WM_GETMINMAXINFO:
        if (details != nullptr) {
            const SIZE minimum = details->layout.minimumSize();
            reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {minimum.cx, minimum.cy};
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void showDetails(HWND owner, const std::string& details) {
    dialog_log::box(logbook::dialog::kDetailsTitle, details);
    Details shown{details, {}};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DETAILS), owner, detailsProc,
                    reinterpret_cast<LPARAM>(&shown));
}
