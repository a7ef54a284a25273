#pragma once

#include "JsonTransport.h"

#include <QSslConfiguration>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

/// JsonTransport over Qt's HTTP client. One QNetworkAccessManager carries every request of the
/// process; it is created inside a worker thread that runs its own event loop, so connections to
/// the service are kept alive and reused, and a caller that blocks the GUI thread never keeps its
/// own answer from arriving. Needs a QCoreApplication; destroy it only after every blocking
/// caller has returned.
class HttpTransport final : public JsonTransport {
public:
    /// How long a transfer may take from its start to its last byte; then it is aborted, and
    /// sendJSONRequestMethod() stops waiting.
    static constexpr std::chrono::milliseconds replyWait{15'000};
    /// An answer body larger than this is cut off and reported as an error.
    static constexpr qint64 maxAnswerBytes = 16 * 1024 * 1024;

    /// \a baseUrl is the service origin (scheme://host[:port], no trailing "/"); every path is
    /// appended to it as it is. \a tls replaces Qt's default TLS settings (tests trust a local CA
    /// through it); peers are verified either way. A service on this machine is reached directly:
    /// a proxy could only get in the way, and asking the system for one costs two threads and
    /// libproxy's start-up; any other goes through the system's proxy settings. \a bound replaces
    /// replyWait.
    explicit HttpTransport(QString baseUrl, std::optional<QSslConfiguration> tls = std::nullopt,
                           std::chrono::milliseconds bound = replyWait);
    ~HttpTransport() override;
    HttpTransport(const HttpTransport&) = delete;
    HttpTransport& operator=(const HttpTransport&) = delete;

    JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                    const std::optional<QJsonValue>& json,
                                    const RequestHeaders& headers = {}) override;
    void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                   QObject* context, std::function<void(const JsonReply&)> done,
                   const RequestHeaders& headers = {}) override;

    /// What an answer with \a status and \a body gives the caller: the top-level object, nothing
    /// for an empty body or an array, a parse error for anything else.
    static JsonReply replyFromAnswer(qint64 status, const QByteArray& body);

    /// Whether \a baseUrl names this machine: "localhost" or a loopback address.
    static bool isLoopback(const QString& baseUrl);

private:
    class Worker;
    using Completion = std::function<void(JsonReply)>;

    /// Hands the request to the worker thread; \a done runs there, exactly once, unless the
    /// transport is destroyed first.
    void start(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
               const RequestHeaders& headers, Completion done);

    QString baseUrl;
    std::chrono::milliseconds bound;
    std::optional<QSslConfiguration> tls;
    std::unique_ptr<Worker> worker;
};
