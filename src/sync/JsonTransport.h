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
    /// The HTTP status; 0 when no answer came (no connection, or none within the wait).
    qint64 status = 0;
    /// Set when the transfer failed or the body was not JSON; its text is for developers only.
    std::optional<QString> error;
    /// The answer's top-level JSON object; absent for an empty body, an array or an error.
    std::optional<QJsonObject> result;
};

/// A request to the service is a success exactly when its status lies in 200..299; status 0
/// (no answer) and negative values fail.
inline bool isSuccessStatus(qint64 status) {
    return static_cast<quint64>(status - 200) < 100;
}

/// JSON over HTTP(S) to the one service, whose base URL is baked into the program.
/// Every request carries "Content-Type: application/json"; bodies are compact JSON.
class JsonTransport {
public:
    virtual ~JsonTransport() = default;

    /// Sends one request and blocks the calling thread until the answer has been processed or
    /// 15 s have passed. \a path starts with "/" and may carry an encoded query. A non-empty
    /// \a idempotencyKey is sent as the "Idempotency-Key" header. Safe from any thread.
    virtual JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                            const std::optional<QJsonValue>& json,
                                            const QByteArray& idempotencyKey = {}) = 0;

    /// Sends one request without blocking; \a done runs later on \a context's thread with the
    /// reply, unless \a context is gone by then. Replies arrive in the order of the calls' ends,
    /// not of the calls: a caller that needs order keeps one request in flight.
    virtual void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                           QObject* context, std::function<void(const JsonReply&)> done) = 0;
};
