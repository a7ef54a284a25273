#include "XDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// A window can vanish between listing it and reading it; Xlib's default handler would end the
// test process for that. The error is answered by the empty result of the call instead.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::atomic<long> connections = 0;

} // namespace

XDesktop::XDesktop()
    // The client message carries 32 bits a field, sign-extended on the way back: stay below 2^31.
    : tag(((::getpid() & 0x7FFFL) << 16) | (++connections & 0xFFFFL)) {
    XSetErrorHandler(ignoreErrors);
    display = XOpenDisplay(nullptr);
    if (!display)
        throw std::runtime_error("cannot open the X display (DISPLAY)");
    int event = 0;
    int error = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        throw std::runtime_error("the X server has no XTEST");
    }
    // Answers to pings are sent to the root window, to those who listen for its structure
    // (Qt) or its children's (the convention's own wording).
    XSelectInput(display, DefaultRootWindow(display), StructureNotifyMask | SubstructureNotifyMask);
    XSync(display, False);
}

XDesktop::~XDesktop() {
    XCloseDisplay(display);
}

unsigned long XDesktop::atom(const char* name) {
    return XInternAtom(display, name, False);
}

std::optional<std::uint32_t> XDesktop::cardinal(WindowId window, unsigned long property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::optional<std::uint32_t> value;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &remaining, &data) == Success &&
        data && format == 32 && count == 1)
        value = static_cast<std::uint32_t>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return value;
}

std::string XDesktop::titleOf(WindowId window) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, atom("_NET_WM_NAME"), 0, 1024, False, atom("UTF8_STRING"), &type,
                           &format, &count, &remaining, &data) == Success &&
        data && format == 8) {
        title.assign(reinterpret_cast<const char*>(data), count);
    } else {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    if (data)
        XFree(data);
    return title;
}

std::optional<XDesktop::WindowId>
XDesktop::findWindow(pid_t pid, const std::function<bool(const std::string&)>& matches) {
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return std::nullopt;
    const std::vector<Window> windows(children, children + count);
    if (children)
        XFree(children);
    const Atom pidAtom = atom("_NET_WM_PID");
    // The last child is the topmost: a dialog opened later is found before an older one.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!isViewable(*it))
            continue;
        if (cardinal(*it, pidAtom) != static_cast<std::uint32_t>(pid))
            continue;
        if (matches(titleOf(*it)))
            return *it;
    }
    return std::nullopt;
}

bool XDesktop::isViewable(WindowId window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

bool XDesktop::focus(WindowId window) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
        XSync(display, False);
        Window focused = 0;
        int revert = 0;
        XGetInputFocus(display, &focused, &revert);
        if (focused == window)
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void XDesktop::key(const std::string& name) {
    const KeySym symbol = XStringToKeysym(name.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (code == 0)
        throw std::runtime_error("no key for the keysym " + name);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

void XDesktop::type(const std::string& text) {
    for (const char c : text)
        key(std::string(1, c));
}

void XDesktop::click(WindowId window, int x, int y) {
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, Button1, True, CurrentTime);
    XTestFakeButtonEvent(display, Button1, False, CurrentTime);
    XSync(display, False);
}

bool XDesktop::ping(WindowId window, std::chrono::milliseconds timeout) {
    const Atom protocols = atom("WM_PROTOCOLS");
    const Atom pingAtom = atom("_NET_WM_PING");
    const long serial = nextPing++;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(pingAtom);
    event.xclient.data.l[1] = serial;
    event.xclient.data.l[2] = static_cast<long>(window);
    event.xclient.data.l[3] = tag;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        while (XPending(display) > 0) {
            XEvent answer{};
            XNextEvent(display, &answer);
            if (answer.type == ClientMessage && answer.xclient.message_type == protocols &&
                static_cast<Atom>(answer.xclient.data.l[0]) == pingAtom &&
                answer.xclient.data.l[1] == serial && answer.xclient.data.l[3] == tag)
                return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        ::poll(&connection, 1, static_cast<int>(std::min<long>(left.count(), 100)));
    }
}

void XDesktop::requestClose(WindowId window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

std::optional<std::uint64_t> XDesktop::digest(WindowId window, int x, int y, int width, int height) {
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return std::nullopt;
    // FNV-1a over the pixel values.
    std::uint64_t hash = 14695981039346656037ull;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            hash ^= XGetPixel(image, column, row) & 0xFFFFFF;
            hash *= 1099511628211ull;
        }
    }
    XDestroyImage(image);
    return hash;
}

int XDesktop::litPixels(WindowId window, int x, int y, int width, int height) {
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return -1;
    int lit = 0;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            if ((XGetPixel(image, column, row) & 0xFFFFFF) != 0)
                ++lit;
        }
    }
    XDestroyImage(image);
    return lit;
}
