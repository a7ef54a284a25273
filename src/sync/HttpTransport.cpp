#include "HttpTransport.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <condition_variable>
#include <future>
#include <mutex>

#include <malloc.h>

class HttpTransport::Worker final : public QThread {
public:
    explicit Worker(bool direct)
        : direct(direct) {
        std::future<void> started = ready.get_future();
        start();
        started.wait();
    }
    ~Worker() override {
        quit();
        wait();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    /// Lives in this thread from start() to the end of run(); requests are posted to it.
    QNetworkAccessManager* manager() const { return nam; }

    /// Runs one transfer, aborted when it has not ended within \a bound; on this thread only.
    /// \a done gets its reply once it has finished.
    void transfer(const QNetworkRequest& request, const QByteArray& verb,
                  const std::optional<QByteArray>& body, std::chrono::milliseconds bound,
                  const Completion& done);

protected:
    void run() override {
        // Created here, not moved here: the manager's connections and sockets must belong to
        // the thread whose loop serves them. Replies still running at quit die with it.
        QNetworkAccessManager local;
        if (direct)
            local.setProxy(QNetworkProxy::NoProxy);
        // The service never redirects. Whatever does (a captive portal, a proxy) is not the
        // service, and following it would hand a report or a password to another host.
        local.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        nam = &local;
        // Every answer passes through large read buffers that are freed once it is read. glibc
        // keeps such blocks resident where they lie, in the middle of the heap, for the life of a
        // program that is otherwise idle all day. So a few seconds after the last transfer of a
        // burst their pages go back to the system.
        QTimer settled;
        settled.setSingleShot(true);
        settled.setInterval(std::chrono::seconds(5));
        settled.setTimerType(Qt::VeryCoarseTimer);
        QObject::connect(&settled, &QTimer::timeout, [] { malloc_trim(0); });
        quiet = &settled;
        ready.set_value();
        exec();
    }

private:
    const bool direct;
    QNetworkAccessManager* nam = nullptr;
    QTimer* quiet = nullptr;
    int transfers = 0;
    std::promise<void> ready;
};

namespace {

/// Emits from the worker thread towards the context of an asynchronous call; a queued
/// connection drops the delivery by itself when that context is destroyed first.
class ReplyRelay final : public QObject {
    Q_OBJECT
public:
    ReplyRelay() = default;
signals:
    void replied();
};

/// Shared by a blocking caller and the completion of its transfer; lives until both let go.
struct CallState {
    std::mutex mutex;
    std::condition_variable answered;
    bool done = false;
    bool abandoned = false; // the caller stopped waiting; a late answer goes nowhere
    JsonReply reply;
};

const char* const tooLargeProperty = "corluneAnswerTooLarge";
constexpr qsizetype excerptBytes = 4096;

// The error Qt itself reports for an HTTP status (qhttpthreaddelegate.cpp). A reply carrying
// exactly that error is an answer like any other, not a transport failure.
QNetworkReply::NetworkError errorQtReportsForStatus(qint64 status) {
    switch (status) {
    case 400:
    case 418:
        return QNetworkReply::ProtocolInvalidOperationError;
    case 401:
        return QNetworkReply::AuthenticationRequiredError;
    case 403:
        return QNetworkReply::ContentAccessDenied;
    case 404:
        return QNetworkReply::ContentNotFoundError;
    case 405:
        return QNetworkReply::ContentOperationNotPermittedError;
    case 407:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409:
        return QNetworkReply::ContentConflictError;
    case 410:
        return QNetworkReply::ContentGoneError;
    case 500:
        return QNetworkReply::InternalServerError;
    case 501:
        return QNetworkReply::OperationNotImplementedError;
    case 503:
        return QNetworkReply::ServiceUnavailableError;
    default:
        if (status > 500)
            return QNetworkReply::UnknownServerError;
        if (status >= 400)
            return QNetworkReply::UnknownContentError;
        return QNetworkReply::NoError;
    }
}

JsonReply readReply(QNetworkReply& reply) {
    const QVariant code = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const qint64 status = code.isValid() ? code.toLongLong() : 0;
    if (reply.property(tooLargeProperty).toBool())
        return {status, QStringLiteral("answer larger than %1 bytes").arg(HttpTransport::maxAnswerBytes), {}};
    const QNetworkReply::NetworkError error = reply.error();
    if (error != QNetworkReply::NoError && !(code.isValid() && error == errorQtReportsForStatus(status)))
        return {status, reply.errorString(), {}};
    const QByteArray body = reply.readAll();
    JsonReply answer = HttpTransport::replyFromAnswer(status, body);
    // A date or a number of seconds; anything longer is not worth reading.
    if (const QByteArray retryAfter = reply.rawHeader("Retry-After"); retryAfter.size() <= 64)
        answer.retryAfter = retryAfter;
    answer.excerpt = body.left(excerptBytes);
    return answer;
}

bool isToken(const QString& method) {
    if (method.isEmpty())
        return false;
    for (const QChar c : method) {
        const bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') ||
                        c == u'-' || c == u'_';
        if (!ok)
            return false;
    }
    return true;
}

QNetworkReply* send(QNetworkAccessManager& nam, const QNetworkRequest& request, const QByteArray& verb,
                    const std::optional<QByteArray>& body) {
    if (!body) {
        if (verb == "GET")
            return nam.get(request);
        if (verb == "HEAD")
            return nam.head(request);
        if (verb == "DELETE")
            return nam.deleteResource(request);
    }
    // Any other method goes with a body, empty if need be: without "Content-Length: 0" a
    // server may wait for a POST body that never comes.
    const QByteArray data = body.value_or(QByteArray());
    if (verb == "POST")
        return nam.post(request, data);
    if (verb == "PUT")
        return nam.put(request, data);
    return nam.sendCustomRequest(request, verb, data);
}

// Only an object or an array can be written as a JSON text; anything else goes without a body.
std::optional<QByteArray> jsonText(const std::optional<QJsonValue>& json) {
    if (json && json->isObject())
        return QJsonDocument(json->toObject()).toJson(QJsonDocument::Compact);
    if (json && json->isArray())
        return QJsonDocument(json->toArray()).toJson(QJsonDocument::Compact);
    return std::nullopt;
}

} // namespace

HttpTransport::HttpTransport(QString baseUrl, std::optional<QSslConfiguration> tls,
                             std::chrono::milliseconds bound)
    : baseUrl(std::move(baseUrl))
    , bound(bound)
    , tls(std::move(tls))
    , worker(std::make_unique<Worker>(isLoopback(this->baseUrl))) {}

bool HttpTransport::isLoopback(const QString& baseUrl) {
    const QString host = QUrl(baseUrl).host();
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

HttpTransport::~HttpTransport() = default;

JsonReply HttpTransport::replyFromAnswer(qint64 status, const QByteArray& body) {
    JsonReply reply;
    reply.status = status;
    if (body.isEmpty())
        return reply;
    QJsonParseError parseError;
    // Qt's parser accepts only an object or an array at the top level; a bare scalar is an error.
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        reply.error = QStringLiteral("answer is not JSON: %1 at offset %2")
                          .arg(parseError.errorString())
                          .arg(parseError.offset);
        return reply;
    }
    if (document.isObject())
        reply.result = document.object();
    return reply;
}

void HttpTransport::Worker::transfer(const QNetworkRequest& request, const QByteArray& verb,
                                     const std::optional<QByteArray>& body, std::chrono::milliseconds bound,
                                     const Completion& done) {
    QNetworkReply* reply = send(*nam, request, verb, body);
    ++transfers;
    quiet->stop();
    // Qt's own transfer timeout only sees silence; an answer that trickles on for ever must end
    // too, or it keeps one of the few connections per host from every later request.
    QTimer::singleShot(bound, Qt::PreciseTimer, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > maxAnswerBytes && !reply->property(tooLargeProperty).toBool()) {
            reply->setProperty(tooLargeProperty, true);
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply, done] {
        done(readReply(*reply));
        reply->deleteLater();
        if (--transfers == 0)
            quiet->start();
    });
}

void HttpTransport::start(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                          const RequestHeaders& headers, Completion done) {
    QNetworkAccessManager* nam = worker->manager();
    // A refusal is handed over on the worker thread too, like every other completion.
    const auto refuse = [nam, &done](const QString& why) {
        QMetaObject::invokeMethod(
            nam,
            [why, done = std::move(done)] {
                done({0, why, {}});
            },
            Qt::QueuedConnection);
    };
    const QUrl url(baseUrl + path, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) {
        refuse(QStringLiteral("not a valid http(s) URL: %1").arg(baseUrl + path));
        return;
    }
    if (!isToken(method)) {
        refuse(QStringLiteral("not a valid HTTP method: \"%1\"").arg(method));
        return;
    }

    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/json");
    if (!headers.idempotencyKey.isEmpty())
        request.setRawHeader("Idempotency-Key", headers.idempotencyKey);
    if (!headers.token.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + headers.token);
    if (tls)
        request.setSslConfiguration(*tls);
    QMetaObject::invokeMethod(
        nam,
        [worker = worker.get(), request, verb = method.toLatin1(), body = jsonText(json), bound = bound,
         done = std::move(done)] { worker->transfer(request, verb, body, bound, done); },
        Qt::QueuedConnection);
}

JsonReply HttpTransport::sendJSONRequestMethod(const QString& method, const QString& path,
                                               const std::optional<QJsonValue>& json,
                                               const RequestHeaders& headers) {
    Q_ASSERT(QThread::currentThread() != worker.get());
    auto state = std::make_shared<CallState>();
    start(method, path, json, headers, [state](JsonReply reply) {
        const std::lock_guard lock(state->mutex);
        if (state->abandoned)
            return;
        state->reply = std::move(reply);
        state->done = true;
        state->answered.notify_all();
    });

    std::unique_lock lock(state->mutex);
    state->answered.wait_for(lock, bound, [&] { return state->done; });
    if (!state->done) {
        state->abandoned = true;
        return {};
    }
    return std::move(state->reply);
}

void HttpTransport::sendAsync(const QString& method, const QString& path,
                              const std::optional<QJsonValue>& json, QObject* context,
                              std::function<void(const JsonReply&)> done, const RequestHeaders& headers) {
    auto box = std::make_shared<JsonReply>();
    auto relay = std::make_shared<ReplyRelay>();
    QObject::connect(
        relay.get(), &ReplyRelay::replied, context, [box, done = std::move(done)] { done(*box); },
        Qt::QueuedConnection);
    // From here on the relay is only touched, and finally deleted, on the worker thread.
    relay->moveToThread(worker.get());
    start(method, path, json, headers, [box, relay](JsonReply reply) {
        *box = std::move(reply);
        emit relay->replied();
    });
}

#include "HttpTransport.moc"
