// "Another X client" for the input tests: a plain Xlib window at the position given on the
// command line (x y). Prints "window <id>" once it is mapped, then "key <keycode>" and
// "button <number>" for each press it receives, and runs until it is killed.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 1;
    const int x = argc > 2 ? std::atoi(argv[1]) : 700;
    const int y = argc > 2 ? std::atoi(argv[2]) : 100;
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, 300, 200, 0, 0,
                                              WhitePixel(display, 0));
    XSelectInput(display, window, KeyPressMask | ButtonPressMask | StructureNotifyMask);
    XStoreName(display, window, "corlune-input-target");
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
        case MapNotify:
            std::printf("window %lu\n", window);
            break;
        case KeyPress:
            std::printf("key %u\n", event.xkey.keycode);
            break;
        case ButtonPress:
            std::printf("button %u\n", event.xbutton.button);
            break;
        default:
            continue;
        }
        std::fflush(stdout);
    }
}
