#include "GenerationRun.h"

#include "Boxes.h"
#include "GdiHandles.h"
#include "ProgramIcon.h"
#include "RestoreWindow.h"
#include "logbook/DialogFlow.h"
#include "logbook/Messages.h"
#include "platform/WindowsText.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>

namespace {

constexpr Anchor kProgressAnchors[] = {
    {IDC_PROGRESS_TEXT, 0, 0, 1, 0},
    {IDC_PROGRESS_BAR, 0, 0, 1, 0},
    {IDCANCEL, 1, 0, 1, 0},
};

// The width that the window's title needs beside the title bar's icon and buttons, which would
// otherwise cut it.
int titleWidth(HWND window, const std::wstring& title) {
    const UINT dpi = GetDpiForWindow(window);
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    const GdiObject font(CreateFontIndirectW(&metrics.lfCaptionFont));
    const WindowDc dc(window);
    const SelectedObject selected(dc.get(), font.get());
    SIZE size{};
    GetTextExtentPoint32W(dc.get(), title.c_str(), static_cast<int>(title.size()), &size);
    return size.cx + 6 * GetSystemMetricsForDpi(SM_CYCAPTION, dpi);
}

} // namespace

GenerationRun::GenerationRun(HWND owner, Ended ended, ShowFolder show_folder)
    : owner_(owner), ended_(std::move(ended)), show_folder_(std::move(show_folder)),
      controller_(*this, [owner](std::function<void()> work) {
          // Queued for the owner's thread, never waited for. A full queue takes nothing: the
          // controller hears so and does not wait for work that will never be done.
          auto posted = std::make_unique<std::function<void()>>(std::move(work));
          if (!PostMessageW(owner, kRunWork, 0, reinterpret_cast<LPARAM>(posted.get())))
              return false;
          static_cast<void>(posted.release()); // the message owns it now
          return true;
      }) {}

GenerationRun::~GenerationRun() {
    if (progress_ != nullptr)
        DestroyWindow(progress_);
}

void GenerationRun::runPostedWork(LPARAM work) {
    const std::unique_ptr<std::function<void()>> posted(
        reinterpret_cast<std::function<void()>*>(work));
    (*posted)();
}

void GenerationRun::dropPostedWork(HWND window) {
    MSG message;
    while (PeekMessageW(&message, window, kRunWork, kRunWork, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(message.lParam);
}

void GenerationRun::showProgress(int done, int total) {
    // Made when first shown, so that it is placed over the window where the window is then.
    if (progress_ == nullptr)
        progress_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS),
                                       owner_, progressProc, reinterpret_cast<LPARAM>(this));
    SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, std::max(total, 1));
    SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    SetDlgItemTextW(progress_, IDC_PROGRESS_TEXT,
                    platform::widened(std::string(logbook::dialog::kGenerating) + "\n" +
                                      logbook::progressText(done, total))
                        .c_str());
    if (!IsWindowVisible(progress_))
        ShowWindow(progress_, SW_SHOW);
}

void GenerationRun::hideProgress() {
    if (progress_ != nullptr)
        ShowWindow(progress_, SW_HIDE);
}

void GenerationRun::tell(const logbook::DialogBox& box) {
    ::tell(owner_, box);
    controller_.answer(logbook::Answer::Yes);
}

void GenerationRun::ask(const logbook::DialogQuestion& question) {
    controller_.answer(::ask(owner_, question));
}

void GenerationRun::chooseGeneration(const std::vector<logbook::RestoreRow>& rows) {
    controller_.choose(::chooseGeneration(owner_, rows));
}

void GenerationRun::showIgcFolder(const std::string& folder) {
    show_folder_(folder);
}

void GenerationRun::finished(const logbook::FlowEnd& end, bool close) {
    if (progress_ != nullptr) {
        DestroyWindow(progress_);
        progress_ = nullptr;
    }
    ended_(end, close);
}

void GenerationRun::initializeProgress(HWND window) {
    const std::wstring title = platform::widened(logbook::dialog::kGenerating);
    SetWindowTextW(window, title.c_str());
    showProgramIcon(window);
    SetDlgItemTextW(window, IDCANCEL, platform::widened(logbook::dialog::kCancel).c_str());
    SetDlgItemTextW(window, IDC_PROGRESS_TEXT, title.c_str());
    progress_layout_.capture(window, kProgressAnchors);
    RECT frame;
    GetWindowRect(window, &frame);
    placeOver(window, owner_,
              {std::max<LONG>(frame.right - frame.left, titleWidth(window, title)),
               frame.bottom - frame.top});
}

INT_PTR CALLBACK GenerationRun::progressProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
    auto* run = reinterpret_cast<GenerationRun*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        reinterpret_cast<GenerationRun*>(lparam)->initializeProgress(window);
        return TRUE;
    case WM_COMMAND:
        // "Cancel", Escape and the close button.
        if (LOWORD(wparam) == IDCANCEL)
            run->controller_.cancel();
        return TRUE;
    case WM_SIZE:
        if (run != nullptr)
            run->progress_layout_.apply();
        return TRUE;
    default:
        return FALSE;
    }
}
