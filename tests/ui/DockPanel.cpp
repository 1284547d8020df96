// A 32-pixel panel along the foot of the screen, as a desktop's task bar is:
// a dock window that reserves its strip, so the window manager's work area
// (what Qt calls the available geometry) leaves it out. Runs until killed.
//
//   quillmark-dock-panel [HEIGHT]

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    const int height = argc > 1 ? std::atoi(argv[1]) : 32;
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("quillmark-dock-panel: no display\n", stderr);
        return 1;
    }
    const int screen = DefaultScreen(display);
    const int width = DisplayWidth(display, screen);
    const int screenHeight = DisplayHeight(display, screen);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0,
                                              screenHeight - height, width, height, 0, 0, 0x404040);
    const Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
    const Atom dock = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DOCK", False);
    XChangeProperty(display, window, type, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dock), 1);
    // left, right, top, bottom, then the start and end of each strip.
    const long strut[12] = {0, 0, 0, height, 0, 0, 0, 0, 0, 0, 0, width - 1};
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT_PARTIAL", False),
                    XA_CARDINAL, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(strut),
                    12);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 4);
    // Where it asks to be, or the window manager places it as it likes.
    XSizeHints* hints = XAllocSizeHints();
    hints->flags = USPosition | PPosition | PMinSize | PMaxSize;
    hints->x = 0;
    hints->y = screenHeight - height;
    hints->min_width = hints->max_width = width;
    hints->min_height = hints->max_height = height;
    XSetWMNormalHints(display, window, hints);
    XFree(hints);
    XMapWindow(display, window);
    XFlush(display);
    std::puts("panel up");
    std::fflush(stdout);
    for (;;)
        pause();
}
