#pragma once

#include "DownloadPage.h"
#include "Handlers.h"
#include "Options.h"

#include <chrono>
#include <functional>
#include <string_view>
#include <variant>
#include <vector>

namespace corlune::server {

/// Which threads run a route's handler: password checks are slow by design and get threads
/// of their own, so a burst of sign-ins never delays an event.
enum class Pool { Events, Verify };

struct Route {
    std::string_view path;
    std::string_view method;
    Pool pool = Pool::Events;
    std::chrono::milliseconds delay{0}; ///< the answer is held this long after the handler ran
    std::function<ApiResponse(const ApiRequest&)> handle;
    bool prefix = false; ///< the path also matches every path that begins with it
};

/// Every endpoint and its handler: the API, the download page at "/" and its packages under
/// "/downloads/".
class Routes {
public:
    Routes(Handlers& handlers, const DownloadPage& site, std::chrono::milliseconds delay,
           DelayScope delayScope);

    /// The route for a method and a request target (its query is ignored), or the refusal:
    /// 404 for an unknown path, 405 with an Allow header for a known path's other methods.
    std::variant<const Route*, ApiResponse> find(std::string_view method, std::string_view target) const;

private:
    std::vector<Route> routes;
};

} // namespace corlune::server
