#include "Routes.h"

#include <functional>
#include <iostream>

namespace corlune::server {

namespace {

using Handle = std::function<ApiResponse(const ApiRequest&)>;

struct Route {
    const char* path;
    const char* method;
    bool isEventReport;
    Handle handle;
};

void write(const ApiResponse& answer, httplib::Response& res) {
    res.status = answer.status;
    for (const auto& [name, value] : answer.headers) {
        res.set_header(name, value);
    }
    res.set_content(toJsonText(answer.body), "application/json");
}

ApiRequest toApiRequest(const httplib::Request& req) {
    const auto question = req.target.find('?');
    return ApiRequest{req.body,
                      req.get_header_value("Content-Type"),
                      req.get_header_value("Idempotency-Key"),
                      question == std::string::npos
                          ? QueryParams{}
                          : parseQuery(std::string_view(req.target).substr(question + 1)),
                      req.get_header_value("Authorization"),
                      req.remote_addr};
}

const char* errorText(int status) {
    switch (status) {
    case 400:
        return "bad request";
    case 404:
        return "no such endpoint";
    case 413:
        return "the body is larger than 64 KiB";
    case 414:
        return "the request target is too long";
    default:
        return "the request could not be served";
    }
}

} // namespace

void installRoutes(httplib::Server& server, Handlers& handlers, AnswerDelay delay, StopSignal& stop) {
    const Route routes[] = {
        {"/api/users/verify", "POST", false, [&](const ApiRequest& r) { return handlers.verify(r); }},
        {"/api/time/clock-in", "POST", true,
         [&](const ApiRequest& r) { return handlers.report(EventKind::ClockIn, r); }},
        {"/api/time/clock-out", "POST", true,
         [&](const ApiRequest& r) { return handlers.report(EventKind::ClockOut, r); }},
        {"/api/break/start", "POST", true,
         [&](const ApiRequest& r) { return handlers.report(EventKind::BreakStart, r); }},
        {"/api/break/stop", "POST", true,
         [&](const ApiRequest& r) { return handlers.report(EventKind::BreakStop, r); }},
        {"/api/input/track", "POST", true,
         [&](const ApiRequest& r) { return handlers.report(EventKind::InputTrack, r); }},
        {"/api/time/summary", "GET", false, [&](const ApiRequest& r) { return handlers.summary(r); }},
        {"/api/version", "GET", false, [&](const ApiRequest&) { return handlers.version(); }},
        {"/api/analytics/impressions", "GET", false,
         [&](const ApiRequest& r) { return handlers.impressions(r); }},
    };
    using Register = httplib::Server& (httplib::Server::*)(const std::string&, httplib::Server::Handler);
    const std::pair<const char*, Register> methods[] = {
        {"GET", &httplib::Server::Get},       {"POST", &httplib::Server::Post},
        {"PUT", &httplib::Server::Put},       {"PATCH", &httplib::Server::Patch},
        {"DELETE", &httplib::Server::Delete}, {"OPTIONS", &httplib::Server::Options},
    };
    for (const Route& route : routes) {
        const bool delayed =
            delay.duration.count() > 0 && (route.isEventReport || delay.scope == DelayScope::All);
        for (const auto& [method, add] : methods) {
            if (std::string_view(method) == route.method) {
                (server.*add)(route.path, [handle = route.handle, delayed, delay,
                                           &stop](const httplib::Request& req, httplib::Response& res) {
                    write(handle(toApiRequest(req)), res);
                    if (delayed) {
                        stop.waitFor(delay.duration);
                    }
                });
            } else {
                (server.*add)(route.path,
                              [allowed = route.method](const httplib::Request&, httplib::Response& res) {
                                  res.set_header("Allow", allowed);
                                  write(errorResponse(405, std::string("use ") + allowed), res);
                              });
            }
        }
    }
    server.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
            if (!res.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            write(errorResponse(res.status, errorText(res.status)), res);
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request& req, httplib::Response& res, std::exception_ptr error) {
            std::string what = "unknown exception";
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                what = e.what();
            } catch (...) {
            }
            std::cerr << "corlune-track-server: " << req.method << ' ' << req.path << ": " << what << '\n';
            write(errorResponse(500, "internal error"), res);
        });
}

} // namespace corlune::server
