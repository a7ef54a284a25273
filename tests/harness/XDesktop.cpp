#include "XDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

namespace {

// A window can vanish between listing it and reading it; Xlib's default handler would end the
// process for that. The error is answered by the empty result of the call instead.
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
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(display, &event, &error, &major, &minor)) {
        XCloseDisplay(display);
        throw std::runtime_error("the X server has no XTEST");
    }
    // The root's substructure shows every top-level window map and unmap; answers to pings are
    // sent to the root too, to those who listen for its structure (Qt) or its children's (the
    // convention's own wording).
    XSelectInput(display, root(), StructureNotifyMask | SubstructureNotifyMask);
    XSync(display, False);
}

XDesktop::~XDesktop() {
    XCloseDisplay(display);
}

XDesktop::WindowId XDesktop::root() const {
    return DefaultRootWindow(display);
}

unsigned long XDesktop::atom(const char* name) {
    return XInternAtom(display, name, False);
}

void XDesktop::readEvents() {
    const Atom protocols = atom("WM_PROTOCOLS");
    const Atom pingAtom = atom("_NET_WM_PING");
    while (XPending(display) > 0) {
        XEvent event{};
        XNextEvent(display, &event);
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
        } else if (event.type == ClientMessage && event.xclient.message_type == protocols &&
                   static_cast<Atom>(event.xclient.data.l[0]) == pingAtom && event.xclient.data.l[3] == tag) {
            lastPingAnswered = std::max(lastPingAnswered, event.xclient.data.l[1]);
        }
        if (eventHandler)
            eventHandler(event);
    }
}

bool XDesktop::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        readEvents();
        if (condition())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        // The condition's own round trips may have queued events without reading them.
        if (XEventsQueued(display, QueuedAfterReading) > 0)
            continue;
        // Woken by the server, or soon enough to see a condition it does not signal.
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        ::poll(&connection, 1, static_cast<int>(std::min<long>(left, 50)));
    }
}

std::string XDesktop::titleOf(WindowId window) {
    const std::pair<Atom, Atom> properties[] = {{atom("_NET_WM_NAME"), atom("UTF8_STRING")},
                                                {XA_WM_NAME, AnyPropertyType}};
    for (const auto& [property, type] : properties) {
        Atom actualType = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        std::string title;
        if (XGetWindowProperty(display, window, property, 0, 1024, False, type, &actualType, &format, &count,
                               &remaining, &data) == Success &&
            data && format == 8)
            title.assign(reinterpret_cast<const char*>(data), count);
        if (data)
            XFree(data);
        if (!title.empty())
            return title;
    }
    return {};
}

std::optional<XDesktop::WindowId>
XDesktop::findWindow(pid_t pid, const std::function<bool(const std::string&)>& matches) {
    Window rootWindow = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, root(), &rootWindow, &parent, &children, &count))
        return std::nullopt;
    const std::vector<Window> windows(children, children + count);
    if (children)
        XFree(children);
    const Atom pidAtom = atom("_NET_WM_PID");
    // The last child is the topmost: a dialog opened later is found before an older one.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        if (!isViewable(*it))
            continue;
        Atom type = None;
        int format = 0;
        unsigned long items = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        const bool ours = XGetWindowProperty(display, *it, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                                             &items, &remaining, &data) == Success &&
                          data && format == 32 && items == 1 &&
                          *reinterpret_cast<unsigned long*>(data) == static_cast<unsigned long>(pid);
        if (data)
            XFree(data);
        if (ours && matches(titleOf(*it)))
            return *it;
    }
    return std::nullopt;
}

bool XDesktop::isViewable(WindowId window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

bool XDesktop::focus(WindowId window) {
    return waitUntil(
        [&] {
            XSetInputFocus(display, window, RevertToParent, CurrentTime);
            Window focused = 0;
            int revert = 0;
            XGetInputFocus(display, &focused, &revert);
            return focused == window;
        },
        std::chrono::seconds(5));
}

unsigned char XDesktop::keycodeOf(const std::string& keysym) {
    const KeySym symbol = XStringToKeysym(keysym.c_str());
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (code == 0)
        throw std::runtime_error("no key for the keysym " + keysym);
    return code;
}

void XDesktop::key(const std::string& keys) {
    // A keymap changed by another client is announced by an event: take it in first.
    XSync(display, False);
    readEvents();
    std::vector<KeyCode> held;
    for (std::size_t start = 0; start <= keys.size();) {
        const std::size_t end = std::min(keys.find('+', start), keys.size());
        held.push_back(keycodeOf(keys.substr(start, end - start)));
        start = end + 1;
    }
    for (const KeyCode code : held)
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        XTestFakeKeyEvent(display, *it, False, CurrentTime);
    XSync(display, False);
}

void XDesktop::type(const std::string& text) {
    for (const char c : text)
        key({c});
}

void XDesktop::click(WindowId window, int x, int y, int button) {
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, root(), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), True, CurrentTime);
    XTestFakeButtonEvent(display, static_cast<unsigned>(button), False, CurrentTime);
    XSync(display, False);
}

void XDesktop::movePointerBy(int dx, int dy) {
    XTestFakeRelativeMotionEvent(display, dx, dy, CurrentTime);
    XSync(display, False);
}

void XDesktop::sendProtocol(WindowId window, const char* protocol, long argument) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(atom(protocol));
    event.xclient.data.l[1] = argument;
    event.xclient.data.l[2] = static_cast<long>(window);
    event.xclient.data.l[3] = tag;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

bool XDesktop::ping(WindowId window, std::chrono::milliseconds timeout) {
    const long serial = nextPing++;
    sendProtocol(window, "_NET_WM_PING", serial);
    return waitUntil([&] { return lastPingAnswered >= serial; }, timeout);
}

void XDesktop::requestClose(WindowId window) {
    sendProtocol(window, "WM_DELETE_WINDOW", CurrentTime);
}

std::optional<std::uint64_t> XDesktop::digest(WindowId window, int x, int y, int width, int height) {
    XImage* image = XGetImage(display, window, x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return std::nullopt;
    // FNV-1a over the pixel values.
    std::uint64_t hash = 14695981039346656037ull;
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column)
            hash = (hash ^ (XGetPixel(image, column, row) & 0xFFFFFF)) * 1099511628211ull;
    }
    XDestroyImage(image);
    return hash;
}
