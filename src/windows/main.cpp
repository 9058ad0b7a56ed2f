// Program start of the Windows dialog: one window, shown until the pilot closes it.

#include "MainDialog.h"

#include "WindowsApi.h"
#include <commctrl.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    // The shell's file choosers are COM objects of a single-threaded apartment.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)))
        return 1;
    const INITCOMMONCONTROLSEX controls{
        sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS | ICC_PROGRESS_CLASS |
                                          ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);

    MainDialog dialog;
    if (dialog.window() == nullptr)
        return 1;
    dialog.show(show);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!dialog.handleKeys(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    CoUninitialize();
    return 0;
}
