#include "XcbRequests.h"

#include <QGuiApplication>

#include <sys/uio.h>

// Only for DisplayString(), a macro over Qt's Xlib display; nothing of Xlib is called.
#include <X11/Xlib.h>

xcb_connection_t* XcbRequests::qtConnection() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

QByteArray XcbRequests::qtDisplayName() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    return display ? QByteArray(DisplayString(display)) : QByteArray();
}

bool XcbRequests::isUsable(xcb_connection_t* connection) {
    return connection != nullptr && xcb_connection_has_error(connection) == 0;
}

xcb_window_t XcbRequests::firstRoot(xcb_connection_t* connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection);
    return setup ? xcb_setup_roots_iterator(setup).data->root : xcb_window_t{XCB_WINDOW_NONE};
}

const xcb_query_extension_reply_t* XcbRequests::presentExtension(xcb_connection_t* connection,
                                                                 xcb_extension_t* extension) {
    if (!isUsable(connection))
        return nullptr;
    const xcb_query_extension_reply_t* reply = xcb_get_extension_data(connection, extension);
    return reply && reply->present ? reply : nullptr;
}

unsigned int XcbRequests::send(xcb_connection_t* connection, xcb_extension_t* extension,
                               std::uint8_t minorOpcode, void* request, std::size_t size, bool hasReply) {
    if (!isUsable(connection))
        return 0;
    // libxcb writes its own header pieces into the two entries before the request.
    iovec parts[3] = {};
    parts[2].iov_base = request;
    parts[2].iov_len = size;
    const xcb_protocol_request_t protocol{1, extension, minorOpcode,
                                          static_cast<std::uint8_t>(hasReply ? 0 : 1)};
    return xcb_send_request(connection, XCB_REQUEST_CHECKED, parts + 2, &protocol);
}
