#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

/// What one exchange with the service gave back.
struct JsonReply {
    JsonReply(qint64 status = 0, std::optional<QString> error = {}, std::optional<QJsonObject> result = {})
        : status(status)
        , error(std::move(error))
        , result(std::move(result)) {}

    /// The HTTP status; 0 when no answer came (no connection, or none within the bound).
    qint64 status = 0;
    /// Set when the transfer failed or the body was not JSON; its text is for developers only.
    std::optional<QString> error;
    /// The answer's top-level JSON object; absent for an empty body, an array or an error.
    std::optional<QJsonObject> result;
    /// The answer's "Retry-After" header as it came; empty when there was none.
    QByteArray retryAfter;
    /// The first 4 KiB of the answer's body, as it came.
    QByteArray excerpt;
};

/// A request to the service is a success exactly when its status lies in 200..299; status 0
/// (no answer) and negative values fail.
inline bool isSuccessStatus(qint64 status) {
    return static_cast<quint64>(status - 200) < 100;
}

/// What a request carries besides its method, path and body.
struct RequestHeaders {
    /// Sent as "Idempotency-Key" when not empty.
    QByteArray idempotencyKey;
    /// Sent as "Authorization: Bearer <token>" when not empty.
    QByteArray token;
};

/// JSON over HTTP(S) to the one service, whose base URL is baked into the program.
/// Every request carries "Content-Type: application/json"; bodies are compact JSON. Redirects
/// are never followed: a 3xx is handed back as the answer it is. A transfer that has not ended
/// 15 s after it began is aborted, so that it holds no connection.
class JsonTransport {
public:
    virtual ~JsonTransport() = default;

    /// Sends one request and blocks the calling thread until the answer has been processed or
    /// 15 s have passed. \a path starts with "/" and may carry an encoded query. Safe from any
    /// thread.
    virtual JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                            const std::optional<QJsonValue>& json,
                                            const RequestHeaders& headers = {}) = 0;

    /// Sends one request without blocking; \a done runs later on \a context's thread with the
    /// reply, unless \a context is gone by then. Replies arrive in the order of the calls' ends,
    /// not of the calls: a caller that needs order keeps one request in flight.
    virtual void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                           QObject* context, std::function<void(const JsonReply&)> done,
                           const RequestHeaders& headers = {}) = 0;
};
