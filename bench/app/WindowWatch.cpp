#include "WindowWatch.h"

#include <stdexcept>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

// A window may be gone by the time its title is asked for; that error is expected and harmless.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

WindowWatch::WindowWatch() {
    XSetErrorHandler(ignoreErrors);
    dpy = XOpenDisplay(nullptr);
    if (!dpy)
        throw std::runtime_error("cannot open the X display $DISPLAY");
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor))
        throw std::runtime_error("the X server has no XTEST extension");
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);
}

WindowWatch::~WindowWatch() {
    XCloseDisplay(dpy);
}

int WindowWatch::fd() const {
    return ConnectionNumber(dpy);
}

void WindowWatch::process() {
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        const Clock::time_point now = Clock::now();
        if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(dpy))
            log.push_back({Event::Kind::Mapped, event.xmap.window, titleOf(event.xmap.window), now});
        else if (event.type == UnmapNotify && event.xunmap.event == DefaultRootWindow(dpy))
            log.push_back({Event::Kind::Unmapped, event.xunmap.window, {}, now});
    }
}

std::string WindowWatch::titleOf(unsigned long window) {
    const Atom netWmName = XInternAtom(dpy, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    const std::pair<Atom, Atom> properties[] = {{netWmName, utf8}, {XA_WM_NAME, AnyPropertyType}};
    for (const auto& [property, type] : properties) {
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        const int rc = XGetWindowProperty(dpy, window, property, 0, 1024, False, type, &actualType, &format,
                                          &count, &after, &data);
        std::string title;
        if (rc == Success && data && format == 8)
            title.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        if (!title.empty())
            return title;
    }
    return {};
}

void WindowWatch::focus(unsigned long window) {
    XSetInputFocus(dpy, window, RevertToParent, CurrentTime);
    XSync(dpy, False);
}

void WindowWatch::pressAndRelease(unsigned int keycode) {
    XTestFakeKeyEvent(dpy, keycode, True, CurrentTime);
    XTestFakeKeyEvent(dpy, keycode, False, CurrentTime);
}

void WindowWatch::type(const std::string& text) {
    for (const char c : text) {
        const KeySym keysym = XStringToKeysym(std::string(1, c).c_str());
        const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(dpy, keysym);
        if (keycode == 0)
            throw std::runtime_error(std::string("no key types '") + c + "'");
        pressAndRelease(keycode);
    }
    XFlush(dpy);
}

void WindowWatch::key(const std::string& keysymName) {
    const KeySym keysym = XStringToKeysym(keysymName.c_str());
    const KeyCode keycode = keysym == NoSymbol ? 0 : XKeysymToKeycode(dpy, keysym);
    if (keycode == 0)
        throw std::runtime_error("no key " + keysymName);
    pressAndRelease(keycode);
    XFlush(dpy);
}

void WindowWatch::click(unsigned long window, int x, int y) {
    int rootX = 0;
    int rootY = 0;
    Window child = None;
    XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(dpy, DefaultScreen(dpy), rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(dpy, Button1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, Button1, False, CurrentTime);
    XFlush(dpy);
}
