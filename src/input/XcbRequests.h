#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

/// How the X11 backends talk to the X server: the global monitor on Qt's own xcb connection, which
/// it borrows, the idle source on one of its own (see X11IdleTimeSource); and, for the extensions
/// whose libxcb bindings Qt does not load (XInput 2, MIT-SCREEN-SAVER), through libxcb's generic
/// request interface, rather than keep another library resident for two requests. GUI thread only.
namespace XcbRequests {

/// Qt's connection to the X server; null when Qt is not on X11. Never closed here: Qt owns it, and
/// ends the program once it breaks.
xcb_connection_t* qtConnection();

/// The display Qt is connected to (it may come from -display rather than $DISPLAY); empty when
/// Qt is not on X11.
QByteArray qtDisplayName();

/// Connected, and not broken since. libxcb notices a lost server only when it next reads or
/// writes, so a request's failure is what reveals it.
bool isUsable(xcb_connection_t* connection);

/// The root window of the connection's first screen.
xcb_window_t firstRoot(xcb_connection_t* connection);

/// \a extension's entry in libxcb's cache (one round trip the first time), or null when the server
/// lacks it. A request of a missing extension makes libxcb shut the whole connection down, so ask
/// this first.
const xcb_query_extension_reply_t* presentExtension(xcb_connection_t* connection, xcb_extension_t* extension);

/// Sends \a request, \a size bytes in the protocol's layout (a multiple of four) that start with
/// the four header bytes libxcb fills in, as request \a minorOpcode of \a extension, which must be
/// present. Checked: an error comes back to the caller (xcb_wait_for_reply(), or
/// xcb_request_check() when \a hasReply is false), never to Qt's event queue. Answers the request's
/// sequence number, 0 when nothing was sent.
unsigned int send(xcb_connection_t* connection, xcb_extension_t* extension, std::uint8_t minorOpcode,
                  void* request, std::size_t size, bool hasReply);

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
/// A reply, as libxcb allocates it.
template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

/// The reply to request \a sequence, null when it failed or the connection broke.
template <typename Reply>
ReplyPtr<Reply> waitForReply(xcb_connection_t* connection, unsigned int sequence) {
    if (sequence == 0)
        return nullptr;
    xcb_generic_error_t* error = nullptr;
    ReplyPtr<Reply> reply(static_cast<Reply*>(xcb_wait_for_reply(connection, sequence, &error)));
    std::free(error);
    return reply;
}

} // namespace XcbRequests
