#include "RestoreWindow.h"

#include "AnchorLayout.h"
#include "DialogLog.h"
#include "GdiHandles.h"
#include "ProgramIcon.h"
#include "platform/WindowsText.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <string>

namespace {

constexpr Anchor kAnchors[] = {
    {IDC_RESTORE_INTRO, 0, 0, 1, 0}, {IDC_RESTORE_LIST, 0, 0, 1, 1}, {IDOK, 1, 1, 1, 1},
    {IDCANCEL, 1, 1, 1, 1},          {IDC_RESTORE_GRIP, 1, 1, 1, 1},
};

constexpr std::size_t kColumns = 4;
using Cells = std::array<std::wstring, kColumns>;

struct Restore {
    const std::vector<logbook::RestoreRow>& rows;
    AnchorLayout layout;
    HWND list = nullptr;
    int chosen = -1; // the chosen generation's age
};

Cells titles() {
    using namespace logbook::dialog;
    return {platform::widened(kGenerationColumn), platform::widened(kWrittenColumn),
            platform::widened(kEntriesColumn), platform::widened(kPilotColumn)};
}

Cells cells(const logbook::RestoreRow& row) {
    return {platform::widened(row.name), platform::widened(row.written),
            platform::widened(row.entries), platform::widened(row.pilot)};
}

// The rows as the log records them: one line each, its cells after one another.
std::string loggedRows(const std::vector<logbook::RestoreRow>& rows) {
    std::string text = logbook::dialog::kRestoreIntro;
    for (const logbook::RestoreRow& row : rows)
        text += "\n" + row.name + ", " + row.written + ", " + row.entries + ", " + row.pilot;
    return text;
}

void fill(Restore& restore) {
    HWND list = restore.list;
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    Cells headings = titles();
    for (std::size_t k = 0; k < kColumns; ++k) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_SUBITEM;
        column.pszText = headings[k].data();
        column.iSubItem = static_cast<int>(k);
        SendMessageW(list, LVM_INSERTCOLUMNW, k, reinterpret_cast<LPARAM>(&column));
    }
    int index = 0;
    for (const logbook::RestoreRow& row : restore.rows) {
        Cells shown = cells(row);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = index++;
        item.pszText = shown[0].data();
        item.lParam = row.age;
        const auto at = static_cast<WPARAM>(
            SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        for (std::size_t k = 1; k < kColumns; ++k) {
            LVITEMW cell{};
            cell.iSubItem = static_cast<int>(k);
            cell.pszText = shown[k].data();
            SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&cell));
        }
    }
    // The newest first, selected: Enter undoes the last run.
    LVITEMW selected{};
    selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    selected.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected));
}

// The pilot's name, the last column, takes the room that the list has left.
void widenLastColumn(HWND list) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kColumns - 1, LVSCW_AUTOSIZE_USEHEADER);
}

// Columns as wide as their widest cell or title, and the window wide enough for them; the
// screen may allow less.
void fitToRows(HWND window, Restore& restore) {
    HWND list = restore.list;
    const UINT dpi = GetDpiForWindow(window);
    const int padding = MulDiv(16, static_cast<int>(dpi), 96);
    std::array<int, kColumns> widths{};
    {
        const WindowDc dc(list);
        const SelectedObject font(dc.get(),
                                  reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
        const auto widen = [&](const Cells& texts) {
            for (std::size_t k = 0; k < kColumns; ++k) {
                SIZE size{};
                GetTextExtentPoint32W(dc.get(), texts[k].c_str(), static_cast<int>(texts[k].size()),
                                      &size);
                widths[k] = std::max(widths[k], static_cast<int>(size.cx));
            }
        };
        widen(titles());
        for (const logbook::RestoreRow& row : restore.rows)
            widen(cells(row));
    }
    int total = 0;
    for (std::size_t k = 0; k < kColumns; ++k) {
        SendMessageW(list, LVM_SETCOLUMNWIDTH, k, widths[k] + padding);
        total += widths[k] + padding;
    }
    const int wanted = total + GetSystemMetricsForDpi(SM_CXVSCROLL, dpi) +
                       2 * GetSystemMetricsForDpi(SM_CXEDGE, dpi);
    RECT now;
    GetWindowRect(list, &now);
    RECT whole;
    GetWindowRect(window, &whole);
    const SIZE minimum = restore.layout.minimumSize();
    placeOver(window, GetWindow(window, GW_OWNER),
              {std::max(minimum.cx, whole.right - whole.left + wanted - (now.right - now.left)),
               whole.bottom - whole.top});
    widenLastColumn(list);
}

void initialize(HWND window, Restore& restore) {
    SetWindowTextW(window, platform::widened(logbook::dialog::kRestoreTitle).c_str());
    SetDlgItemTextW(window, IDC_RESTORE_INTRO,
                    platform::widened(logbook::dialog::kRestoreIntro).c_str());
    SetDlgItemTextW(window, IDOK, platform::widened(logbook::dialog::kRestoreButton).c_str());
    SetDlgItemTextW(window, IDCANCEL, platform::widened(logbook::dialog::kCancel).c_str());
    restore.list = GetDlgItem(window, IDC_RESTORE_LIST);
    fill(restore);
    restore.layout.capture(window, kAnchors);
    fitToRows(window, restore);
}

// The generation of the selected row; -1 when none is selected.
int selectedAge(const Restore& restore) {
    const auto row = static_cast<int>(
        SendMessageW(restore.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0)
        return -1;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(restore.list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return static_cast<int>(item.lParam);
}

void choose(HWND window, Restore& restore) {
    restore.chosen = selectedAge(restore);
    if (restore.chosen >= 0)
        EndDialog(window, IDOK);
}

INT_PTR CALLBACK restoreProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* restore = reinterpret_cast<Restore*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        restore = reinterpret_cast<Restore*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        initialize(window, *restore);
        showProgramIcon(window);
        SetFocus(restore->list);
        return FALSE; // the focus is set
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lparam);
        if (restore == nullptr || header->idFrom != IDC_RESTORE_LIST)
            return FALSE;
        // "Restore" only with a row to restore; a double click restores the row.
        if (header->code == LVN_ITEMCHANGED)
            EnableWindow(GetDlgItem(window, IDOK), selectedAge(*restore) >= 0);
        else if (header->code == NM_DBLCLK &&
                 reinterpret_cast<const NMITEMACTIVATE*>(lparam)->iItem >= 0)
            choose(window, *restore);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wparam) == IDOK && restore != nullptr)
            choose(window, *restore);
        else if (LOWORD(wparam) == IDCANCEL)
            EndDialog(window, IDCANCEL);
        return TRUE;
    case WM_SIZE:
        if (restore != nullptr) {
            restore->layout.apply();
            widenLastColumn(restore->list);
        }
        return TRUE;
    case WM_GETMINMAXINFO:
        if (restore != nullptr) {
            const SIZE minimum = restore->layout.minimumSize();
            reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {minimum.cx, minimum.cy};
        }
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

std::optional<int> chooseGeneration(HWND owner, const std::vector<logbook::RestoreRow>& rows) {
    dialog_log::box(logbook::dialog::kRestoreTitle, loggedRows(rows));
    Restore restore{rows, {}, nullptr, -1};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_RESTORE), owner,
                        restoreProc, reinterpret_cast<LPARAM>(&restore)) != IDOK)
        return std::nullopt;
    return restore.chosen;
}
