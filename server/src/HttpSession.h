#pragma once

#include "ConnectionTable.h"
#include "Options.h"
#include "Routes.h"
#include "WorkPool.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>

#include <atomic>

namespace corlune::server {

/// What every connection of one service shares; it outlives them all.
struct SessionContext {
    const HttpLimits& limits;
    const Routes& routes;
    WorkPool& events;
    WorkPool& verifies;
    ConnectionTable& table;
    const std::atomic<bool>& stopping;
};

/// Serves one accepted connection (over TLS when `tls` is given) until it closes, reading on
/// the socket's executor and running handlers on the context's pools. A connection beyond a
/// cap of the table is answered 503 and closed (over TLS, closed: a handshake costs more than
/// the cap saves).
void serveConnection(SessionContext& context, boost::asio::ip::tcp::socket socket,
                     boost::asio::ssl::context* tls);

} // namespace corlune::server
