#include "MainDialog.h"

#include "Boxes.h"
#include "DialogLog.h"
#include "FileChoosers.h"
#include "GdiHandles.h"
#include "ProgramIcon.h"
#include "RestoreWindow.h"
#include "TextWrap.h"
#include "install/Installation.h"
#include "logbook/DialogFlow.h"
#include "logbook/LogbookHistory.h"
#include "platform/LocaleDates.h"
#include "platform/WindowsText.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>
#include <initializer_list>
#include <iostream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

// How the form's grid shares a wider or taller window: the fields take the width, the spin box
// half of it, and the three buttons a third each; the buttons stay at the bottom, and the lines
// about the installation take the height between.
constexpr Anchor kAnchors[] = {
    {IDC_PILOT_NAME, 0, 0, 1, 0},
    {IDC_IGC_FILES, 0, 0, 1, 0},
    {IDC_LOGBOOK_FILE, 0, 0, 1, 0},
    {IDC_BROWSE_IGC, 1, 0, 1, 0},
    {IDC_BROWSE_LOGBOOK, 1, 0, 1, 0},
    {IDC_MIN_TIME, 0, 0, 0.5, 0},
    {IDC_MIN_TIME_SPIN, 0.5, 0, 0.5, 0},
    {IDC_INSTALLATION, 0, 0, 1, 1},
    {IDOK, 0, 1, 1.0 / 3, 1},
    {IDC_RESTORE, 1.0 / 3, 1, 2.0 / 3, 1},
    {IDC_EXIT, 2.0 / 3, 1, 1, 1},
    {IDC_GRIP, 1, 1, 1, 1},
};

// The tool tip of `controls`, shown while the mouse rests on them.
void addToolTip(HWND window, std::initializer_list<HWND> controls, const std::wstring& text) {
    HWND tips = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                                window, nullptr, GetModuleHandleW(nullptr), nullptr);
    for (HWND control : controls) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t*>(text.c_str()); // copied by the control
        SendMessageW(tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

} // namespace

MainDialog::MainDialog() {
    window_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 proc, reinterpret_cast<LPARAM>(this));
}

void MainDialog::show(int how) {
    // Before the window shows, as the Linux dialog warns: a pilot who started the program from
    // the Start menu chooses the simulator's folder there, or fills in the paths after.
    if (no_installation_ &&
        offer(window_, logbook::noInstallationChoice(), logbook::dialog::kChooseFolder))
        presetFromFolder();
    ShowWindow(window_, how);
}

void MainDialog::presetFromFolder() {
    const auto folder =
        chooseFolder(window_, platform::widened(logbook::dialog::kChooseFolderTitle), {});
    if (!folder)
        return;
    const logbook::ChosenFolder chosen = logbook::presetsFromFolder(platform::narrowed(*folder));
    SetDlgItemTextW(window_, IDC_IGC_FILES, platform::widened(chosen.igc_directory).c_str());
    if (chosen.logbook_path.empty())
        return;
    SetDlgItemTextW(window_, IDC_LOGBOOK_FILE, platform::widened(chosen.logbook_path).c_str());
    showPilotOf(chosen.logbook_path);
}

bool MainDialog::handleKeys(MSG& message) {
    if (HWND progress = run_ != nullptr ? run_->progressWindow() : nullptr;
        progress != nullptr && IsDialogMessageW(progress, &message))
        return true;
    return IsDialogMessageW(window_, &message) != 0;
}

void MainDialog::initialize() {
    SetWindowTextW(window_, platform::widened(logbook::dialog::kCaption).c_str());
    showProgramIcon(window_);

    SendDlgItemMessageW(window_, IDC_MIN_TIME_SPIN, UDM_SETRANGE32, logbook::kMinMinutes,
                        logbook::kMaxMinutes);
    showMinutes(logbook::kDefaultMinutes);
    placeSpinArrows();
    // The form's words are the core's, as the other dialog's are, access keys included.
    const std::pair<int, const char*> words[] = {
        {IDC_PILOT_LABEL, logbook::dialog::kPilotNameLabel},
        {IDC_IGC_LABEL, logbook::dialog::kIgcFilesLabel},
        {IDC_LOGBOOK_LABEL, logbook::dialog::kLogbookFileLabel},
        {IDC_MIN_TIME_LABEL, logbook::dialog::kMinTimeLabel},
        {IDC_BROWSE_IGC, logbook::dialog::kBrowse},
        {IDC_BROWSE_LOGBOOK, logbook::dialog::kBrowse},
        {IDOK, logbook::dialog::kGenerate},
        {IDC_RESTORE, logbook::dialog::kRestore},
        {IDC_EXIT, logbook::dialog::kExit},
    };
    for (const auto& [control, word] : words)
        SetDlgItemTextW(window_, control, platform::widened(word).c_str());
    addToolTip(window_, {GetDlgItem(window_, IDC_MIN_TIME), GetDlgItem(window_, IDC_MIN_TIME_SPIN)},
               platform::widened(logbook::dialog::kMinTimeToolTip));
    run_ = std::make_unique<GenerationRun>(
        window_, [this](const logbook::FlowEnd& end, bool close) { finishFlow(end, close); },
        [this](const std::string& folder) {
            SetDlgItemTextW(window_, IDC_IGC_FILES, platform::widened(folder).c_str());
        });

    // What the search found goes to the terminal, as the Linux dialog writes it; the box that
    // says so comes when the window shows.
    search_ = install::searchInstallations();
    std::cerr << install::choiceText(search_);
    if (search_.taken) {
        presetFrom(search_);
    } else {
        std::cerr << install::notFoundDiagnostic(search_) << '\n';
        no_installation_ = true;
    }
    layout_.capture(window_, kAnchors);
    // Taller where the installation's lines need it, and never smaller than that.
    if (const int more = wrapInstallation(); more > 0) {
        RECT frame;
        GetWindowRect(window_, &frame);
        SetWindowPos(window_, nullptr, frame.left, frame.top - more / 2, frame.right - frame.left,
                     frame.bottom - frame.top + more, SWP_NOZORDER | SWP_NOACTIVATE);
        layout_.capture(window_, kAnchors);
    }
}

void MainDialog::presetFrom(const install::InstallationSearch& search) {
    const install::PresetPaths presets =
        install::presetPaths(search.found[*search.taken].directory);
    SetDlgItemTextW(window_, IDC_IGC_FILES, platform::widened(presets.igc_directory).c_str());
    SetDlgItemTextW(window_, IDC_LOGBOOK_FILE, platform::widened(presets.logbook_file).c_str());
    showPilotOf(presets.logbook_file);
    const std::string taken = install::takenText(search);
    installation_ = platform::widened(presets.note.empty() ? taken : taken + "\n" + presets.note);
    dialog_log::line(taken);
    if (!presets.note.empty())
        dialog_log::line(presets.note);
}

// The logbook's pilot in the name field, as the logbook names it, unless the pilot has typed a
// name of their own: only a field that is empty or holds the name taken from the previous
// logbook is filled.
void MainDialog::showPilotOf(const std::string& logbook_path) {
    const std::wstring shown = text(IDC_PILOT_NAME);
    if (!shown.empty() && shown != pilot_from_logbook_)
        return;
    pilot_from_logbook_ = platform::widened(logbook::pilotNameFor(logbook_path));
    if (pilot_from_logbook_.empty() && shown.empty())
        return;
    SetDlgItemTextW(window_, IDC_PILOT_NAME, pilot_from_logbook_.c_str());
    // Typing goes on after the name, not over it.
    SendDlgItemMessageW(window_, IDC_PILOT_NAME, EM_SETSEL, pilot_from_logbook_.size(),
                        pilot_from_logbook_.size());
}

// The spin box's arrows as wide as a scroll bar at the window's DPI, inside the right edge of
// the field they belong to: the up-down control would take a width of its own, which does not
// grow with the DPI.
void MainDialog::placeSpinArrows() {
    HWND field = GetDlgItem(window_, IDC_MIN_TIME);
    RECT rect;
    GetWindowRect(field, &rect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    const int width = GetSystemMetricsForDpi(SM_CXVSCROLL, GetDpiForWindow(window_));
    const int height = rect.bottom - rect.top;
    SetWindowPos(field, nullptr, rect.left, rect.top, rect.right - rect.left - width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(GetDlgItem(window_, IDC_MIN_TIME_SPIN), nullptr, rect.right - width, rect.top,
                 width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

int MainDialog::wrapInstallation() {
    HWND place = GetDlgItem(window_, IDC_INSTALLATION);
    RECT room;
    GetClientRect(place, &room);
    const WindowDc dc(place);
    const SelectedObject font(dc.get(),
                              reinterpret_cast<HFONT>(SendMessageW(place, WM_GETFONT, 0, 0)));
    const std::wstring wrapped = wrappedText(dc.get(), installation_, room.right);
    if (wrapped != text(IDC_INSTALLATION))
        SetWindowTextW(place, wrapped.c_str());
    RECT needed{0, 0, room.right, 0};
    DrawTextW(dc.get(), wrapped.c_str(), -1, &needed, DT_CALCRECT | DT_NOPREFIX);
    return needed.bottom - room.bottom;
}

std::wstring MainDialog::text(int control) const {
    HWND field = GetDlgItem(window_, control);
    std::wstring value(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    value.resize(static_cast<std::size_t>(
        GetWindowTextW(field, value.data(), static_cast<int>(value.size()))));
    return value;
}

// The number that the spin box's field begins with, within the range; what it held before when
// the pilot typed none.
int MainDialog::minutes() const {
    const std::wstring shown = text(IDC_MIN_TIME);
    std::size_t digits = 0;
    while (digits < shown.size() && digits < 3 && iswdigit(shown[digits]))
        ++digits;
    if (digits == 0)
        return static_cast<int>(
            SendDlgItemMessageW(window_, IDC_MIN_TIME_SPIN, UDM_GETPOS32, 0, 0));
    return std::clamp(std::stoi(shown.substr(0, digits)), logbook::kMinMinutes,
                      logbook::kMaxMinutes);
}

// "1 minute", "5 minutes", as the Linux dialog's spin box shows them.
void MainDialog::showMinutes(int minutes) {
    SendDlgItemMessageW(window_, IDC_MIN_TIME_SPIN, UDM_SETPOS32, 0, minutes);
    const std::wstring shown =
        std::to_wstring(minutes) + platform::widened(logbook::dialog::minutesSuffix(minutes));
    if (shown != text(IDC_MIN_TIME))
        SetDlgItemTextW(window_, IDC_MIN_TIME, shown.c_str());
}

logbook::DialogForm MainDialog::form() const {
    const std::string logbook_path = platform::narrowed(text(IDC_LOGBOOK_FILE));
    return {platform::narrowed(text(IDC_PILOT_NAME)), platform::narrowed(text(IDC_IGC_FILES)),
            logbook_path, minutes(), install::entryDateFormatter(logbook_path, search_)};
}

void MainDialog::generate() {
    // Every check and question, and their order, are the core's: both dialogs ask the same.
    if (run_->generate(form()))
        disableForm();
}

void MainDialog::restore() {
    if (run_->restore(form().logbook_path))
        disableForm();
}

void MainDialog::disableForm() {
    // The form takes no input meanwhile: no second run, no change of the inputs. The keyboard
    // goes to the window itself, where Escape still cancels; it comes back when the flow is over.
    had_focus_ = GetFocus();
    SendMessageW(had_focus_, EM_GETSEL, reinterpret_cast<WPARAM>(&had_selection_.first),
                 reinterpret_cast<LPARAM>(&had_selection_.second));
    SetFocus(window_);
    disabled_.clear();
    for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (IsWindowEnabled(child)) {
            EnableWindow(child, FALSE);
            disabled_.push_back(child);
        }
    }
}

void MainDialog::finishFlow(const logbook::FlowEnd& end, bool close) {
    if (end.ran)
        dialog_log::result(end.result);
    for (HWND child : std::exchange(disabled_, {}))
        EnableWindow(child, TRUE);
    if (end.box)
        showResult(window_, end.result, *end.box);
    if (close) {
        DestroyWindow(window_);
        return;
    }
    // Back from the box, the keyboard is where it was, a field's caret and selection too (the
    // window's own focus handling would select the whole text): typing goes on from there.
    if (had_focus_ != nullptr && IsChild(window_, had_focus_)) {
        SetFocus(had_focus_);
        if (SendMessageW(had_focus_, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL)
            SendMessageW(had_focus_, EM_SETSEL, had_selection_.first, had_selection_.second);
    }
}

void MainDialog::close() {
    // During a run the run stops between two files, leaving the old logbook, and the window
    // closes once it has: going away in the midst would leave the run's thread behind.
    if (run_->close())
        return;
    DestroyWindow(window_);
}

void MainDialog::browseIgcDirectory() {
    // Cancelled, the field stays as it was.
    if (const auto folder = chooseFolder(
            window_, platform::widened(logbook::dialog::kChooseDirectory), text(IDC_IGC_FILES)))
        SetDlgItemTextW(window_, IDC_IGC_FILES, folder->c_str());
}

void MainDialog::browseLogbook() {
    const FileFilter filters[] = {
        {platform::widened(logbook::dialog::kLogbookFilter), L"logbook.dat"},
        {platform::widened(logbook::dialog::kAllFilesFilter), L"*.*"}};
    if (const auto file = chooseFile(window_, platform::widened(logbook::dialog::kChooseLogbook),
                                     filters, text(IDC_LOGBOOK_FILE))) {
        SetDlgItemTextW(window_, IDC_LOGBOOK_FILE, file->c_str());
        showPilotOf(platform::narrowed(*file));
    }
}

INT_PTR CALLBACK MainDialog::proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<MainDialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        dialog->window_ = window;
        dialog->initialize();
        // Typing a name is the first thing a pilot does, or checking the one the logbook gave.
        SetFocus(GetDlgItem(window, IDC_PILOT_NAME));
        return FALSE; // the focus is set
    }
    auto* dialog = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog != nullptr ? dialog->handle(message, wparam, lparam) : FALSE;
}

INT_PTR MainDialog::handle(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wparam)) {
        case IDOK:
            generate();
            break;
        case IDCANCEL: // Escape: during a run it stops the run, and the window stays
            if (run_->running())
                run_->cancel();
            else
                close();
            break;
        case IDC_EXIT:
            close();
            break;
        case IDC_RESTORE:
            restore();
            break;
        case IDC_BROWSE_IGC:
            browseIgcDirectory();
            break;
        case IDC_BROWSE_LOGBOOK:
            browseLogbook();
            break;
        case IDC_MIN_TIME:
            // Typed digits count at once; the suffix comes back when the field is left.
            if (HIWORD(wparam) == EN_CHANGE)
                SendDlgItemMessageW(window_, IDC_MIN_TIME_SPIN, UDM_SETPOS32, 0, minutes());
            else if (HIWORD(wparam) == EN_KILLFOCUS)
                showMinutes(minutes());
            break;
        }
        return TRUE;
    case WM_VSCROLL: // the spin box's arrows, or the Up and Down keys in its field
        if (reinterpret_cast<HWND>(lparam) == GetDlgItem(window_, IDC_MIN_TIME_SPIN))
            showMinutes(static_cast<int>(
                SendDlgItemMessageW(window_, IDC_MIN_TIME_SPIN, UDM_GETPOS32, 0, 0)));
        return TRUE;
    case kRunWork:
        GenerationRun::runPostedWork(lparam);
        return TRUE;
    case WM_CLOSE:
        close();
        return TRUE;
    case WM_DESTROY:
        GenerationRun::dropPostedWork(window_);
        PostQuitMessage(0);
        return TRUE;
    case WM_SIZE:
        layout_.apply();
        wrapInstallation();
        return TRUE;
    case WM_GETMINMAXINFO: {
        const SIZE minimum = layout_.minimumSize();
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {minimum.cx, minimum.cy};
        return TRUE;
    }
    default:
        return FALSE;
    }
}
