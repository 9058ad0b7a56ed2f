#include "GenerationRun.h"

#include "Boxes.h"
#include "logbook/DialogFlow.h"
#include "logbook/Messages.h"
#include "platform/WindowsText.h"
#include "resource.h"

#include <commctrl.h>

#include <algorithm>
#include <iostream>
#include <utility>

namespace {

// Sent from the run's thread to the progress window, which asks the pilot; lParam points to the
// question's text, and the answer is the message's result.
constexpr UINT kConfirmEmpty = WM_APP + 2;

constexpr UINT_PTR kShowTimer = 1;
constexpr UINT kShowDelay = 500; // ms: a shorter run ends without a window flashing by
constexpr UINT_PTR kUpdateTimer = 2;
constexpr UINT kUpdateInterval = 100; // ms

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
    HFONT font = CreateFontIndirectW(&metrics.lfCaptionFont);
    HDC dc = GetDC(window);
    HGDIOBJ old_font = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
    SelectObject(dc, old_font);
    ReleaseDC(window, dc);
    DeleteObject(font);
    return size.cx + 6 * GetSystemMetricsForDpi(SM_CYCAPTION, dpi);
}

} // namespace

GenerationRun::GenerationRun(HWND owner, logbook::GenerationRequest request)
    : owner_(owner), request_(std::move(request)) {
    progress_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                   progressProc, reinterpret_cast<LPARAM>(this));
    request_.cancel = &cancel_;
    // The run waits for the answer while the window's thread asks.
    HWND asker = progress_;
    request_.confirm_empty = [asker](const std::string& question) {
        return SendMessageW(asker, kConfirmEmpty, 0, reinterpret_cast<LPARAM>(&question)) != 0;
    };
    SetTimer(progress_, kShowTimer, kShowDelay, nullptr);
    SetTimer(progress_, kUpdateTimer, kUpdateInterval, nullptr);
    worker_ = std::thread([this] {
        result_ = logbook::generateLogbook(request_, std::cerr, [this](int done, int total) {
            total_ = total;
            done_ = done;
        });
        PostMessageW(owner_, kRunEnded, 0, 0);
    });
}

GenerationRun::~GenerationRun() {
    if (worker_.joinable()) {
        cancel_ = true;
        worker_.join();
    }
    if (progress_ != nullptr)
        DestroyWindow(progress_);
}

void GenerationRun::cancel() {
    cancel_ = true;
    hideProgress();
}

logbook::GenerationResult GenerationRun::finish() {
    worker_.join();
    DestroyWindow(progress_);
    progress_ = nullptr;
    return std::move(result_);
}

void GenerationRun::hideProgress() {
    KillTimer(progress_, kShowTimer);
    KillTimer(progress_, kUpdateTimer);
    ShowWindow(progress_, SW_HIDE);
}

void GenerationRun::initializeProgress(HWND window) {
    const std::wstring title = platform::widened(logbook::dialog::kGenerating);
    SetWindowTextW(window, title.c_str());
    SetDlgItemTextW(window, IDCANCEL, platform::widened(logbook::dialog::kCancel).c_str());
    SetDlgItemTextW(window, IDC_PROGRESS_TEXT, title.c_str());
    progress_layout_.capture(window, kProgressAnchors);
    RECT frame;
    GetWindowRect(window, &frame);
    placeOver(window, owner_,
              {std::max<LONG>(frame.right - frame.left, titleWidth(window, title)),
               frame.bottom - frame.top});
}

void GenerationRun::updateProgress() {
    const int done = done_;
    const int total = total_;
    SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, std::max(total, 1));
    SendDlgItemMessageW(progress_, IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(done), 0);
    SetDlgItemTextW(progress_, IDC_PROGRESS_TEXT,
                    platform::widened(std::string(logbook::dialog::kGenerating) + "\n" +
                                      logbook::progressText(done, total))
                        .c_str());
}

bool GenerationRun::confirmEmpty(const std::string& question) {
    // A run already cancelled keeps the old logbook without a question.
    if (cancel_)
        return false;
    hideProgress();
    return confirmed(owner_, logbook::emptyLogbookQuestionBox(question));
}

INT_PTR CALLBACK GenerationRun::progressProc(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
    auto* run = reinterpret_cast<GenerationRun*>(GetWindowLongPtrW(window, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(window, DWLP_USER, lparam);
        reinterpret_cast<GenerationRun*>(lparam)->initializeProgress(window);
        return TRUE;
    case WM_TIMER:
        if (wparam == kShowTimer) {
            KillTimer(window, kShowTimer);
            run->updateProgress();
            ShowWindow(window, SW_SHOW);
        } else if (wparam == kUpdateTimer) {
            run->updateProgress();
        }
        return TRUE;
    case WM_COMMAND:
        // "Cancel", Escape and the close button.
        if (LOWORD(wparam) == IDCANCEL)
            run->cancel();
        return TRUE;
    case WM_SIZE:
        if (run != nullptr)
            run->progress_layout_.apply();
        return TRUE;
    case kConfirmEmpty:
        SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          run->confirmEmpty(*reinterpret_cast<const std::string*>(lparam)));
        return TRUE;
    default:
        return FALSE;
    }
}
