// Another program that holds a global shortcut: grabs Ctrl+Alt+J on the
// root window, prints "ready" once the server has accepted the grab, and
// keeps it until killed.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <cstdio>
#include <unistd.h>

int main() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const Window root = DefaultRootWindow(display);
    const KeyCode key = XKeysymToKeycode(display, XK_j);
    XGrabKey(display, key, ControlMask | Mod1Mask, root, True, GrabModeAsync, GrabModeAsync);
    XSync(display, False);
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;)
        pause();
}
