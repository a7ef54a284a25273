#include "DamageWatch.h"

#include "XDesktop.h"

#include <cstring>
#include <stdexcept>

#include <X11/Xlibint.h>
#include <X11/extensions/damageproto.h>

namespace {

/// A DAMAGE report as Xlib hands it over: Xlib knows nothing of the extension, so its events
/// are converted by convertReport() into this layout inside an XEvent.
struct Report {
    int type;
    unsigned long serial;
    Bool sendEvent;
    Display* display;
    unsigned long drawable;
    short x;
    short y;
    unsigned short width;
    unsigned short height;
};
static_assert(sizeof(Report) <= sizeof(XEvent));

Bool convertReport(Display* dpy, XEvent* event, xEvent* wire) {
    xDamageNotifyEvent notify;
    std::memcpy(&notify, wire, sizeof notify);
    Report report{};
    report.type = notify.type & 0x7F;
    report.serial = _XSetLastRequestRead(dpy, reinterpret_cast<xGenericReply*>(wire));
    report.sendEvent = (notify.type & 0x80) != 0;
    report.display = dpy;
    report.drawable = notify.drawable;
    report.x = notify.area.x;
    report.y = notify.area.y;
    report.width = notify.area.width;
    report.height = notify.area.height;
    std::memcpy(static_cast<void*>(event), &report, sizeof report);
    return True;
}

} // namespace

DamageWatch::DamageWatch(XDesktop& desktop)
    : desktop(desktop) {
    Display* dpy = desktop.connection();
    int errorBase = 0;
    if (!XQueryExtension(dpy, "DAMAGE", &opcode, &eventBase, &errorBase))
        throw std::runtime_error("the X server has no DAMAGE extension");
    XESetWireToEvent(dpy, eventBase + XDamageNotify, convertReport);

    // The server takes no other DAMAGE request from a client that has not announced its version.
    LockDisplay(dpy);
    xDamageQueryVersionReq* request = nullptr;
    GetReq(DamageQueryVersion, request);
    request->reqType = static_cast<CARD8>(opcode);
    request->damageReqType = X_DamageQueryVersion;
    request->majorVersion = 1;
    request->minorVersion = 1;
    xDamageQueryVersionReply reply;
    const Status answered = _XReply(dpy, reinterpret_cast<xReply*>(&reply), 0, xTrue);
    UnlockDisplay(dpy);
    SyncHandle();
    if (!answered)
        throw std::runtime_error("the X server's DAMAGE extension does not answer");

    desktop.setEventHandler([this](const XEvent& event) {
        if (event.type == MapNotify && event.xmap.event == this->desktop.root()) {
            windowLog.push_back(
                {true, event.xmap.window, this->desktop.titleOf(event.xmap.window), Clock::now()});
            watch(event.xmap.window);
        } else if (event.type == UnmapNotify && event.xunmap.event == this->desktop.root()) {
            windowLog.push_back({false, event.xunmap.window, {}, Clock::now()});
        } else if (event.type == eventBase + XDamageNotify) {
            Report report;
            std::memcpy(&report, static_cast<const void*>(&event), sizeof report);
            log.push_back({report.drawable, report.x, report.y, report.width, report.height, Clock::now()});
        }
    });
}

void DamageWatch::watch(unsigned long window) {
    Display* dpy = desktop.connection();
    LockDisplay(dpy);
    xDamageCreateReq* request = nullptr;
    GetReq(DamageCreate, request);
    request->reqType = static_cast<CARD8>(opcode);
    request->damageReqType = X_DamageCreate;
    request->damage = static_cast<CARD32>(XAllocID(dpy));
    request->drawable = static_cast<CARD32>(window);
    request->level = XDamageReportRawRectangles;
    UnlockDisplay(dpy);
    SyncHandle();
    XFlush(dpy);
}
