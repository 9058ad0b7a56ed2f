// Asks an X11 window to close the way a window manager's close button does: a WM_DELETE_WINDOW
// message of the WM_PROTOCOLS protocol, sent only when the window takes part in that protocol.
// Usage: x11_close_window WINDOW_ID (decimal, or hexadecimal with 0x). Exit code 0 when sent.

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x11_close_window WINDOW_ID\n");
        return 2;
    }
    char* end = nullptr;
    const Window window = std::strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "x11_close_window: not a window id: %s\n", argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_close_window: cannot open the display\n");
        return 1;
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(display, "WM_DELETE_WINDOW", False);

    Atom* offered = nullptr;
    int count = 0;
    bool takes_part = false;
    if (XGetWMProtocols(display, window, &offered, &count) != 0) {
        for (int i = 0; i < count; ++i)
            takes_part = takes_part || offered[i] == delete_window;
        XFree(offered);
    }
    if (!takes_part) {
        std::fprintf(stderr, "x11_close_window: window %s offers no WM_DELETE_WINDOW\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(delete_window);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
