#include "FaultFront.h"

#include <set>
#include <stdexcept>

namespace {
const std::set<std::string> hopByHop = {"Host", "Content-Length", "Connection", "Keep-Alive",
                                        "Accept-Encoding"};
} // namespace

FaultFront::FaultFront(int servicePort, Plan plan, std::chrono::milliseconds lateBy)
    : servicePort(servicePort)
    , plan(std::move(plan))
    , lateBy(lateBy) {
    for (const int i : {0, 1}) {
        httplib::Server& server = servers[i];
        const auto handler = [this, i](const httplib::Request& in, httplib::Response& out) {
            answer(in, out, i == 1);
        };
        server.Get(".*", handler).Post(".*", handler).Put(".*", handler).Delete(".*", handler);
        server.set_keep_alive_max_count(1);
        // Held answers must not keep the others waiting; an idle connection must not hold up the end.
        server.new_task_queue = [] { return new httplib::ThreadPool(32); };
        server.set_read_timeout(1, 0);
        ports[i] = server.bind_to_any_port(i == 0 ? "127.0.0.1" : "127.0.0.2");
        if (ports[i] <= 0)
            throw std::runtime_error("the front cannot listen");
        listeners[i] = std::thread([&server] { server.listen_after_bind(); });
    }
}

FaultFront::~FaultFront() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
    }
    stopped.notify_all();
    for (const int i : {0, 1}) {
        servers[i].stop();
        listeners[i].join();
    }
}

void FaultFront::answer(const httplib::Request& in, httplib::Response& out, bool portal) {
    Request request{.method = in.method,
                    .target = in.target,
                    .key = in.get_header_value("Idempotency-Key"),
                    .authorization = in.get_header_value("Authorization"),
                    .toPortal = portal,
                    .at = std::chrono::steady_clock::now()};
    {
        const std::lock_guard lock(mutex);
        request.attempt = ++attempts[request.method + ' ' + request.target + ' ' + request.key];
        log.push_back(request);
    }
    if (portal)
        return out.set_content(R"({"ok":true,"token":"portal"})", "application/json");
    const int fault = plan(request);
    if (fault >= 100) {
        const bool page = fault == 200 || fault == 502 || fault / 100 == 3;
        out.status = fault;
        if (fault / 100 == 3)
            out.set_header("Location", "http://127.0.0.2:" + std::to_string(ports[1]) + request.target);
        if (fault == 401)
            out.set_header("WWW-Authenticate", "Bearer");
        if (fault == 429)
            out.set_header("Retry-After", "4");
        return out.set_content(page ? "<html><body>Welcome</body></html>" : R"({"error":"the front's"})",
                               page ? "text/html" : "application/json");
    }
    if (fault == Hang) {
        endsWithin(std::chrono::hours(1));
        return;
    }
    // Announced, then cut off after \a sent bytes of \a body, or trickled on for ever when there is none.
    const auto provide = [this, &out](std::string body, std::size_t sent, std::size_t announced) {
        out.set_content_provider(
            announced, "application/json",
            [this, body, sent](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset < sent)
                    return sink.write(body.data() + offset, sent - offset);
                return body.empty() && !endsWithin(std::chrono::milliseconds(100)) && sink.write(" ", 1);
            });
    };
    if (fault == NeverEnding)
        return provide("", 0, 1'000'000);
    if (fault == HangUp)
        return provide("{}", 0, 2);

    httplib::Client service("127.0.0.1", servicePort);
    service.set_url_encode(false);
    httplib::Request forwarded;
    forwarded.method = in.method;
    forwarded.path = in.target;
    forwarded.body = in.body;
    // Less what belongs to the connection, and what the server notes of it.
    for (const auto& [name, value] : in.headers) {
        if (!hopByHop.contains(name) && !name.starts_with("REMOTE_") && !name.starts_with("LOCAL_"))
            forwarded.headers.emplace(name, value);
    }
    const httplib::Result result = service.send(forwarded);
    if (!result)
        return;
    out.status = result->status;
    if (fault == CutOffAfterStore)
        return provide(result->body, result->body.size() / 2, result->body.size());
    if (fault == LateAfterStore && endsWithin(lateBy))
        return;
    out.set_content(result->body, result->get_header_value("Content-Type"));
}
