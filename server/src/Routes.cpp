#include "Routes.h"

namespace corlune::server {

Routes::Routes(Handlers& h, const DownloadPage& site, std::chrono::milliseconds delay,
               DelayScope delayScope) {
    constexpr std::string_view downloads = "/downloads/";
    const auto event = [&](std::string_view path, EventKind kind) {
        return Route{path, "POST", Pool::Events, delay,
                     [&h, kind](const ApiRequest& r) { return h.report(kind, r); }};
    };
    const auto other = delayScope == DelayScope::All ? delay : std::chrono::milliseconds(0);
    routes = {
        {"/api/users/verify", "POST", Pool::Verify, other, [&h](const ApiRequest& r) { return h.verify(r); }},
        event("/api/time/clock-in", EventKind::ClockIn),
        event("/api/time/clock-out", EventKind::ClockOut),
        event("/api/break/start", EventKind::BreakStart),
        event("/api/break/stop", EventKind::BreakStop),
        event("/api/input/track", EventKind::InputTrack),
        {"/api/time/summary", "GET", Pool::Events, other, [&h](const ApiRequest& r) { return h.summary(r); }},
        {"/api/version", "GET", Pool::Events, other, [&h](const ApiRequest&) { return h.version(); }},
        {"/api/analytics/impressions", "GET", Pool::Events, other,
         [&h](const ApiRequest& r) { return h.impressions(r); }},
        {"/", "GET", Pool::Events, other, [&site](const ApiRequest&) { return site.page(); }},
        {downloads, "GET", Pool::Events, other,
         [&site, downloads](const ApiRequest& r) {
             return site.download(std::string_view(r.path).substr(downloads.size()));
         },
         true},
    };
}

std::variant<const Route*, ApiResponse> Routes::find(std::string_view method, std::string_view target) const {
    const std::string_view path = target.substr(0, target.find('?'));
    for (const Route& route : routes) {
        if (route.path != path && !(route.prefix && path.substr(0, route.path.size()) == route.path)) {
            continue;
        }
        if (route.method == method) {
            return &route;
        }
        ApiResponse refusal = errorResponse(405, "use " + std::string(route.method));
        refusal.headers.emplace_back("Allow", route.method);
        return refusal;
    }
    return errorResponse(404, "no such endpoint");
}

} // namespace corlune::server
