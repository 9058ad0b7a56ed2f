#include "SkippedFilesWindow.h"

#include "AnchorLayout.h"
#include "GdiHandles.h"
#include "ProgramIcon.h"
#include "logbook/DialogFlow.h"
#include "logbook/Listing.h"
#include "logbook/Messages.h"
#include "platform/WindowsText.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr Anchor kAnchors[] = {
    {IDC_SKIPPED_COUNTS, 0, 0, 1, 0}, {IDC_SKIPPED_LIST, 0, 0, 1, 1}, {IDC_COPY, 1, 1, 1, 1},
    {IDCANCEL, 1, 1, 1, 1},           {IDC_SKIPPED_GRIP, 1, 1, 1, 1},
};

struct SkippedFiles {
    const logbook::GenerationResult& result;
    std::vector<std::pair<std::wstring, std::wstring>> rows; // name, reason
    AnchorLayout layout;
    HWND list = nullptr;
};

void addColumn(HWND list, int index, const char* title) {
    std::wstring text = platform::widened(title);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_SUBITEM;
    column.pszText = text.data();
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(&column));
}

// "name<TAB>reason" lines of the selected rows, in the list's order, or of all rows when none is
// selected.
std::wstring rowsText(const SkippedFiles& files) {
    std::wstring text;
    const auto add = [&](std::size_t row) {
        text += files.rows[row].first + L'\t' + files.rows[row].second + L"\r\n";
    };
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(files.list, LVM_GETNEXTITEM,
                                                static_cast<WPARAM>(row), LVNI_SELECTED))) >= 0)
        add(static_cast<std::size_t>(row));
    if (text.empty()) {
        for (std::size_t k = 0; k < files.rows.size(); ++k)
            add(k);
    }
    return text;
}

void copy(HWND window, const SkippedFiles& files) {
    const std::wstring text = rowsText(files);
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, bytes));
    if (!memory)
        return;
    std::memcpy(GlobalLock(memory.get()), text.c_str(), bytes);
    GlobalUnlock(memory.get());
    if (OpenClipboard(window)) {
        EmptyClipboard();
        if (SetClipboardData(CF_UNICODETEXT, memory.get()) != nullptr)
            memory.release(); // the clipboard's now
        CloseClipboard();
    }
}

// The widths, in the list's font, of the widest name and the widest reason, their columns'
// titles included.
std::pair<int, int> columnWidths(const SkippedFiles& files) {
    const WindowDc dc(files.list);
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(files.list, WM_GETFONT, 0, 0)));
    const auto width = [&dc](const std::wstring& text) {
        SIZE size{};
        GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
        return static_cast<int>(size.cx);
    };
    int name_width = width(platform::widened(logbook::dialog::kFileColumn));
    int reason_width = width(platform::widened(logbook::dialog::kReasonColumn));
    for (const auto& [name, reason] : files.rows) {
        name_width = std::max(name_width, width(name));
        reason_width = std::max(reason_width, width(reason));
    }
    return {name_width, reason_width};
}

// Column widths that show every name and every reason whole, and the window wide enough for
// them and twenty rows high; the screen may allow less.
void fitToRows(HWND window, SkippedFiles& files) {
    HWND list = files.list;
    const UINT dpi = GetDpiForWindow(window);
    const auto [name_width, reason_width] = columnWidths(files);
    const int padding = MulDiv(16, static_cast<int>(dpi), 96);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, name_width + padding);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, reason_width + padding);

    RECT row{LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row));
    RECT header;
    GetWindowRect(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)), &header);
    const int frame = 2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    const int wanted_width =
        name_width + reason_width + 2 * padding + GetSystemMetricsForDpi(SM_CXVSCROLL, dpi) + frame;
    const int wanted_height = (header.bottom - header.top) + 20 * (row.bottom - row.top) + frame;

    RECT now;
    GetWindowRect(list, &now);
    RECT whole;
    GetWindowRect(window, &whole);
    const SIZE minimum = files.layout.minimumSize();
    placeOver(
        window, GetWindow(window, GW_OWNER),
        {std::max(minimum.cx, whole.right - whole.left + wanted_width - (now.right - now.left)),
         std::max(minimum.cy, whole.bottom - whole.top + wanted_height - (now.bottom - now.top))});
}

void initialize(HWND window, SkippedFiles& files) {
    const logbook::GenerationResult& result = files.result;
    SetWindowTextW(window, platform::widened(logbook::dialog::kSkippedFiles).c_str());
    SetDlgItemTextW(window, IDC_COPY, platform::widened(logbook::dialog::kCopy).c_str());
    SetDlgItemTextW(window, IDCANCEL, platform::widened(logbook::dialog::kClose).c_str());
    SetDlgItemTextW(window, IDC_SKIPPED_COUNTS,
                    platform::widened(logbook::skippedCountsText(result)).c_str());
    for (const auto& [name, reason] : logbook::skippedRows(result)) {
        // A name's control bytes shown as \xNN, so that a row stays one line, and so does its copy.
        files.rows.emplace_back(platform::widened(logbook::escaped(name)),
                                platform::widened(reason));
    }
    files.list = GetDlgItem(window, IDC_SKIPPED_LIST);
    SendMessageW(files.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    addColumn(files.list, 0, logbook::dialog::kFileColumn);
    addColumn(files.list, 1, logbook::dialog::kReasonColumn);
    SendMessageW(files.list, LVM_SETITEMCOUNT, files.rows.size(), 0);
    files.layout.capture(window, kAnchors);
    fitToRows(window, files);
}

// The text of a row's cell, asked for as the list draws it.
void giveText(const SkippedFiles& files, NMLVDISPINFOW& asked) {
    LVITEMW& item = asked.item;
    if ((item.mask & LVIF_TEXT) == 0 || item.iItem < 0 ||
        static_cast<std::size_t>(item.iItem) >= files.rows.size() || item.cchTextMax <= 0)
        return;
    const auto& [name, reason] = files.rows[static_cast<std::size_t>(item.iItem)];
    const std::wstring& text = item.iSubItem == 0 ? name : reason;
    const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
    const std::size_t length = std::min(text.size(), room);
    std::wmemcpy(item.pszText, text.c_str(), length);
    item.pszText[length] = L'\0';
}

void onKey(HWND window, SkippedFiles& files, WORD key) {
    if (GetKeyState(VK_CONTROL) >= 0)
        return;
    if (key == 'C') {
        copy(window, files);
    } else if (key == 'A') {
        LVITEMW selected{};
        selected.stateMask = LVIS_SELECTED;
        selected.state = LVIS_SELECTED;
        SendMessageW(files.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(&selected));
    }
}

INT_PTR CALLBACK skippedProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* files = reinterpret_cast<SkippedFiles*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        files = reinterpret_cast<SkippedFiles*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        initialize(window, *files);
        showProgramIcon(window);
        SetFocus(files->list);
        return FALSE; // the focus is set
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (files == nullptr || header->idFrom != IDC_SKIPPED_LIST)
            return FALSE;
        if (header->code == LVN_GETDISPINFOW)
            giveText(*files, *reinterpret_cast<NMLVDISPINFOW*>(lparam));
        else if (header->code == LVN_KEYDOWN)
            onKey(window, *files, reinterpret_cast<const NMLVKEYDOWN*>(lparam)->wVKey);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDC_COPY && files != nullptr)
            copy(window, *files);
        else if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK)
            EndDialog(window, 0);
        return TRUE;
    case WM_SIZE:
        if (files != nullptr)
            files->layout.apply();
        return TRUE;
    case WM_GETMINMAXINFO:
        if (files != nullptr) {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
            const SIZE minimum = files->layout.minimumSize();
            limits->ptMinTrackSize = {minimum.cx, minimum.cy};
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void showSkippedFiles(HWND owner, const logbook::GenerationResult& result) {
    SkippedFiles files{result, {}, {}, nullptr};
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SKIPPED), owner, skippedProc,
                    reinterpret_cast<LPARAM>(&files));
}
