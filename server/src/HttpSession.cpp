#include "HttpSession.h"

#include "RequestParser.h"
#include "WireFormat.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/file_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>

#include <iostream>
#include <memory>
#include <optional>

namespace corlune::server {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using std::chrono::milliseconds;

// How long a closing connection may still send what it had in flight before it is cut off:
// closing a socket with unread bytes resets it, and a reset can destroy the answer before
// the client has read it.
constexpr milliseconds lingerTime{2000};
constexpr std::string_view continueLine = "HTTP/1.1 100 Continue\r\n\r\n";

ApiResponse busy(std::string message) {
    ApiResponse answer = errorResponse(503, std::move(message));
    answer.headers.emplace_back("Retry-After", "1");
    return answer;
}

std::string peerAddress(const tcp::socket& socket) {
    beast::error_code ec;
    asio::ip::address address = socket.remote_endpoint(ec).address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
    }
    return address.to_string();
}

ApiResponse run(const Route& route, const ApiRequest& request) {
    try {
        return route.handle(request);
    } catch (const std::exception& e) {
        std::cerr << "corlune-track-server: " << route.method << ' ' << route.path << ": " << e.what()
                  << '\n';
    }
    return errorResponse(500, "internal error");
}

template <class Stream>
class Session final : public ConnectionTable::Entry, public std::enable_shared_from_this<Session<Stream>> {
public:
    static constexpr bool tls = !std::is_same_v<Stream, tcp::socket>;

    template <class... StreamArgs>
    Session(SessionContext& context, std::string address, StreamArgs&&... streamArgs)
        : context(context)
        , address(std::move(address))
        , stream(std::forward<StreamArgs>(streamArgs)...)
        , timer(stream.get_executor())
        // Room for a whole header and the start of what follows it in the same read.
        , buffer(context.limits.maxHeaderBytes + 1024)
        , parserLimits{context.limits.maxHeaderBytes, context.limits.maxHeaderFields,
                       context.limits.maxBodyBytes} {}
    ~Session() override {
        releaseBody();
        context.table.leave(this, address);
    }

    void start() {
        context.table.enter(this->shared_from_this());
        if (context.stopping) {
            return closeSocket();
        }
        parser.emplace(parserLimits);
        arm(context.limits.headerTimeout);
        if constexpr (tls) {
            phase = Phase::Handshake;
            stream.async_handshake(asio::ssl::stream_base::server, [self = shared()](beast::error_code ec) {
                if (self->phase != Phase::Closed) {
                    ec ? self->closeSocket() : self->readHeader();
                }
            });
        } else {
            readHeader();
        }
    }

    auto executor() { return stream.get_executor(); }

    // From any thread: only hands the stop to the strand.
    void stop() override {
        asio::post(stream.get_executor(), [self = shared()] { self->onStop(); });
    }

private:
    enum class Phase { Handshake, Idle, Header, Body, Handling, Delay, Writing, Closing, Closed };

    std::shared_ptr<Session> shared() { return this->shared_from_this(); }
    tcp::socket& socket() {
        if constexpr (tls) {
            return stream.next_layer();
        } else {
            return stream;
        }
    }

    // One deadline at a time: arming a new one drops the old.
    void arm(milliseconds timeout) {
        timer.expires_after(timeout);
        timer.async_wait([self = shared(), generation = ++armed](beast::error_code ec) {
            if (!ec && generation == self->armed) {
                self->onTimeout();
            }
        });
    }

    void disarm() {
        ++armed;
        timer.cancel();
    }

    void onTimeout() {
        switch (phase) {
        case Phase::Header:
        case Phase::Body:
            // The read ends with an error, and its handler answers 408.
            timedOut = true;
            socket().cancel();
            break;
        case Phase::Delay:
            respond(std::move(heldAnswer));
            break;
        case Phase::Handling:
        case Phase::Closed:
            break;
        default:
            closeSocket();
            break;
        }
    }

    void onStop() {
        switch (phase) {
        case Phase::Handshake:
        case Phase::Idle:
        case Phase::Header:
        case Phase::Body:
            closeSocket();
            break;
        case Phase::Delay:
            disarm();
            respond(std::move(heldAnswer));
            break;
        default: // what is being answered is answered, then the connection closes
            break;
        }
    }

    // The next request of a kept-alive connection: pipelined bytes already read are parsed at
    // once; otherwise the connection waits, idle, for the first byte.
    void awaitRequest() {
        parser.emplace(parserLimits);
        if (buffer.size() > 0) {
            arm(context.limits.headerTimeout);
            return readHeader();
        }
        buffer.shrink_to_fit();
        phase = Phase::Idle;
        arm(context.limits.idleTimeout);
        stream.async_read_some(buffer.prepare(512), [self = shared()](beast::error_code ec, std::size_t n) {
            self->buffer.commit(n);
            if (self->phase == Phase::Closed) {
                return;
            }
            if (ec) {
                return self->closeSocket();
            }
            self->arm(self->context.limits.headerTimeout);
            self->readHeader();
        });
    }

    void readHeader() {
        phase = Phase::Header;
        http::async_read_header(stream, buffer, *parser,
                                [self = shared()](beast::error_code ec, std::size_t) { self->onHeader(ec); });
    }

    void onHeader(beast::error_code ec) {
        if (phase == Phase::Closed) {
            return;
        }
        if (ec) {
            return refuseRead(ec);
        }
        if (parser->encoded) {
            return respond(errorResponse(415, "compressed request bodies are not accepted"), false);
        }
        if (parser->is_done()) {
            return dispatch();
        }
        if (!context.table.admitBody()) {
            return respond(busy("too many requests at once; try again shortly"), false);
        }
        holdsBody = true;
        phase = Phase::Body;
        arm(context.limits.bodyTimeout);
        if (!parser->expectsContinue) {
            return readBody();
        }
        asio::async_write(stream, asio::buffer(continueLine),
                          [self = shared()](beast::error_code failed, std::size_t) {
                              if (self->phase != Phase::Closed) {
                                  failed ? self->refuseRead(failed) : self->readBody();
                              }
                          });
    }

    void readBody() {
        http::async_read(stream, buffer, *parser, [self = shared()](beast::error_code ec, std::size_t) {
            if (self->phase != Phase::Closed) {
                ec ? self->refuseRead(ec) : self->dispatch();
            }
        });
    }

    void refuseRead(beast::error_code ec) {
        releaseBody();
        if (timedOut) {
            return respond(errorResponse(408, "the request did not arrive in time"), false);
        }
        if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
            return respond(errorResponse(431, "the header is larger than " +
                                                  std::to_string(context.limits.maxHeaderBytes) +
                                                  " bytes or has more than " +
                                                  std::to_string(context.limits.maxHeaderFields) + " fields"),
                           false);
        }
        if (ec == http::error::body_limit) {
            return respond(errorResponse(413, "the body is larger than " +
                                                  std::to_string(context.limits.maxBodyBytes) + " bytes"),
                           false);
        }
        // A client gone (or cut off by a stop) gets nothing; a parse error gets 400.
        const bool parseError = ec.category() == http::make_error_code(http::error::bad_method).category() &&
                                ec != http::error::end_of_stream && ec != http::error::partial_message;
        if (!parseError || context.stopping) {
            return closeSocket();
        }
        respond(errorResponse(400, "malformed HTTP request"), false);
    }

    void releaseBody() {
        if (holdsBody) {
            holdsBody = false;
            context.table.bodyDone();
        }
    }

    void dispatch() {
        phase = Phase::Handling;
        disarm();
        releaseBody();
        auto found = context.routes.find(parser->method, parser->target);
        if (auto* refusal = std::get_if<ApiResponse>(&found)) {
            return respond(std::move(*refusal));
        }
        const Route& route = *std::get<const Route*>(found);
        const std::string_view target = parser->target;
        const auto question = target.find('?');
        ApiRequest request{std::move(parser->body),
                           std::move(parser->contentType),
                           std::move(parser->idempotencyKey),
                           question == std::string_view::npos ? QueryParams{}
                                                              : parseQuery(target.substr(question + 1)),
                           std::move(parser->authorization),
                           address,
                           std::string(target.substr(0, question))};
        WorkPool& pool = route.pool == Pool::Verify ? context.verifies : context.events;
        const bool queued = pool.tryPost([self = shared(), &route, request = std::move(request)] {
            asio::post(self->stream.get_executor(), [self, &route, answer = run(route, request)]() mutable {
                self->answered(route, answer);
            });
        });
        if (!queued) {
            respond(busy(route.pool == Pool::Verify ? "too many sign-ins at once; try again shortly"
                                                    : "too many requests at once; try again shortly"));
        }
    }

    void answered(const Route& route, ApiResponse& answer) {
        if (phase == Phase::Closed) {
            return;
        }
        if (route.delay.count() == 0 || context.stopping) {
            return respond(std::move(answer));
        }
        phase = Phase::Delay;
        heldAnswer = std::move(answer);
        arm(route.delay);
    }

    void respond(ApiResponse answer, bool keepAlive = true) {
        keepOpen = keepAlive && parser->keep_alive() && !context.stopping;
        phase = Phase::Writing;
        if (answer.file) {
            return sendFile(answer);
        }
        auto& r = response.emplace(static_cast<http::status>(answer.status), parser->version);
        setHeaders(r, answer);
        r.body() = answer.page ? std::move(*answer.page) : toJsonText(answer.body);
        r.prepare_payload();
        arm(context.limits.headerTimeout);
        http::async_write(stream, r, [self = shared()](beast::error_code ec, std::size_t) {
            self->response.reset();
            self->written(ec);
        });
    }

    template <class Message>
    void setHeaders(Message& r, const ApiResponse& answer) {
        r.set(http::field::content_type, "application/json");
        r.set("X-Content-Type-Options", "nosniff");
        for (const auto& [name, value] : answer.headers) {
            r.set(name, value);
        }
        r.keep_alive(keepOpen);
    }

    // A file goes out a piece at a time as it is read, so a download holds one buffer however
    // large the file; each piece must be taken within the header timeout.
    void sendFile(ApiResponse& answer) {
        beast::error_code ec;
        beast::file file;
        file.native_handle(answer.file->release());
        auto& r = download.emplace(static_cast<http::status>(answer.status), parser->version);
        r.body().reset(std::move(file), ec);
        if (ec) {
            download.reset();
            return respond(errorResponse(500, "cannot read the file"));
        }
        setHeaders(r, answer);
        r.prepare_payload();
        serializer.emplace(r);
        writePiece();
    }

    void writePiece() {
        arm(context.limits.headerTimeout);
        http::async_write_some(stream, *serializer, [self = shared()](beast::error_code ec, std::size_t) {
            if (!ec && self->phase != Phase::Closed && !self->serializer->is_done()) {
                return self->writePiece();
            }
            self->serializer.reset();
            self->download.reset();
            self->written(ec);
        });
    }

    void written(beast::error_code ec) {
        if (phase == Phase::Closed) {
            return;
        }
        if (ec) {
            return closeSocket();
        }
        keepOpen ? awaitRequest() : closeGracefully();
    }

    void closeGracefully() {
        phase = Phase::Closing;
        arm(lingerTime);
        if constexpr (tls) {
            stream.async_shutdown([self = shared()](beast::error_code) { self->closeSocket(); });
        } else {
            beast::error_code ignored;
            stream.shutdown(tcp::socket::shutdown_send, ignored);
            drain();
        }
    }

    void drain() {
        buffer.clear();
        stream.async_read_some(buffer.prepare(512), [self = shared()](beast::error_code ec, std::size_t) {
            ec ? self->closeSocket() : self->drain();
        });
    }

    void closeSocket() {
        if (phase == Phase::Closed) {
            return;
        }
        phase = Phase::Closed;
        disarm();
        beast::error_code ignored;
        socket().shutdown(tcp::socket::shutdown_both, ignored);
        socket().close(ignored);
    }

    SessionContext& context;
    const std::string address;
    Stream stream;
    asio::steady_timer timer;
    beast::flat_buffer buffer;
    const RequestParser::Limits parserLimits;
    std::optional<RequestParser> parser;
    std::optional<http::response<http::string_body>> response;
    std::optional<http::response<http::file_body>> download;
    std::optional<http::response_serializer<http::file_body>> serializer; // refers to `download`
    ApiResponse heldAnswer;
    Phase phase = Phase::Header;
    std::uint64_t armed = 0;
    bool timedOut = false;
    bool holdsBody = false; // counted among the table's bodies being received
    bool keepOpen = false;
};

// Written straight into the socket of a connection over a cap, without reading a request.
const std::string& busyText() {
    static const std::string text = [] {
        const std::string body =
            toJsonText(errorResponse(503, "too many connections; try again shortly").body);
        return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nRetry-After: 1\r\n"
               "Connection: close\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\n\r\n" + body;
    }();
    return text;
}

void refuseConnection(tcp::socket& socket, bool tls) {
    beast::error_code ignored;
    if (!tls) {
        // What the client already sent is read first, so closing does not reset the answer away.
        socket.non_blocking(true, ignored);
        char discard[4096];
        socket.read_some(asio::buffer(discard), ignored);
        asio::write(socket, asio::buffer(busyText()), ignored);
    }
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

template <class Stream, class... StreamArgs>
void launch(SessionContext& context, std::string address, StreamArgs&&... streamArgs) {
    auto session = std::make_shared<Session<Stream>>(context, std::move(address),
                                                     std::forward<StreamArgs>(streamArgs)...);
    asio::dispatch(session->executor(), [session] { session->start(); });
}

} // namespace

void serveConnection(SessionContext& context, tcp::socket socket, asio::ssl::context* tls) {
    std::string address = peerAddress(socket);
    if (context.stopping || !context.table.admit(address)) {
        return refuseConnection(socket, tls != nullptr);
    }
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    if (tls) {
        launch<asio::ssl::stream<tcp::socket>>(context, std::move(address), std::move(socket), *tls);
    } else {
        launch<tcp::socket>(context, std::move(address), std::move(socket));
    }
}

} // namespace corlune::server
