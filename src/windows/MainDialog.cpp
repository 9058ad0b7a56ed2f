#include "MainDialog.h"

#include "Boxes.h"
#include "DialogLog.h"
#include "FileChoosers.h"
#include "ProgramIcon.h"
#include "RestoreWindow.h"
#include "install/Installation.h"
#include "install/WindowsRegistry.h"
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
// half of it, and the three buttons a third each; the buttons stay at the bottom.
constexpr Anchor kAnchors[] = {
    {IDC_PILOT_NAME, 0, 0, 1, 0},
    {IDC_IGC_FILES, 0, 0, 1, 0},
    {IDC_LOGBOOK_FILE, 0, 0, 1, 0},
    {IDC_BROWSE_IGC, 1, 0, 1, 0},
    {IDC_BROWSE_LOGBOOK, 1, 0, 1, 0},
    {IDC_MIN_TIME, 0, 0, 0.5, 0},
    {IDC_MIN_TIME_SPIN, 0.5, 0, 0.5, 0},
    {IDC_INSTALLATION, 0, 0, 1, 0},
    {IDC_INSTALLATION_NOTE, 0, 0, 1, 0},
    {IDOK, 0, 1, 1.0 / 3, 1},
    {IDC_RESTORE, 1.0 / 3, 1, 2.0 / 3, 1},
    {IDC_EXIT, 2.0 / 3, 1, 1, 1},
    {IDC_GRIP, 1, 1, 1, 1},
};

// What the pilot can set for the next start, in the missing installation's box.
std::string installationSetting() {
    return std::string("set the value \"") + install::kRegistryValue +
           "\" of the registry key "
           "HKEY_LOCAL_MACHINE\\" +
           install::kRegistryKey +
           " (the simulator's installer writes it), or the environment variable THERMORA_DIR, to "
           "the simulator's installation directory before the program starts.";
}

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
    // Before the window shows, as the Linux dialog warns: the pilot then fills in the paths.
    if (no_installation_)
        tell(window_, logbook::noInstallationBox(installationSetting()));
    ShowWindow(window_, how);
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
    // The form's words are the core's, as the other dialog's are.
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
    layout_.capture(window_, kAnchors);
    run_ = std::make_unique<GenerationRun>(
        window_, [this](const logbook::FlowEnd& end, bool close) { finishFlow(end, close); },
        [this](const std::string& folder) {
            SetDlgItemTextW(window_, IDC_IGC_FILES, platform::widened(folder).c_str());
        });

    // What the search found goes to the terminal, as the Linux dialog writes it; the box that
    // says so comes when the window shows.
    const install::InstallationSearch search = install::searchInstallations();
    std::cerr << install::choiceText(search);
    if (!search.taken) {
        std::cerr << install::notFoundDiagnostic(search) << '\n';
        no_installation_ = true;
        return;
    }
    const install::PresetPaths presets =
        install::presetPaths(search.found[*search.taken].directory);
    SetDlgItemTextW(window_, IDC_IGC_FILES, platform::widened(presets.igc_directory).c_str());
    SetDlgItemTextW(window_, IDC_LOGBOOK_FILE, platform::widened(presets.logbook_file).c_str());
    const std::string taken = install::takenText(search);
    SetDlgItemTextW(window_, IDC_INSTALLATION, platform::widened(taken).c_str());
    SetDlgItemTextW(window_, IDC_INSTALLATION_NOTE, platform::widened(presets.note).c_str());
    dialog_log::line(taken);
    if (!presets.note.empty())
        dialog_log::line(presets.note);
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
    return {platform::narrowed(text(IDC_PILOT_NAME)), platform::narrowed(text(IDC_IGC_FILES)),
            platform::narrowed(text(IDC_LOGBOOK_FILE)), minutes()};
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
                                     filters, text(IDC_LOGBOOK_FILE)))
        SetDlgItemTextW(window_, IDC_LOGBOOK_FILE, file->c_str());
}

INT_PTR CALLBACK MainDialog::proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<MainDialog*>(lparam);
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        dialog->window_ = window;
        dialog->initialize();
        // Typing a name is the first thing a pilot does; the tab order stays the form's.
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
