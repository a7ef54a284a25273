#pragma once

#include "JsonTransport.h"
#include "QtPrinters.h"

#include <QJsonObject>
#include <QList>

#include <functional>
#include <mutex>
#include <vector>

/// Records every request and answers each from `answer` (by default status 200, no body).
/// sendAsync() delivers through the context's event loop, like the real transport.
class FakeJsonTransport final : public JsonTransport {
public:
    struct Request {
        QString method;
        QString path;
        std::optional<QJsonValue> json;
        RequestHeaders headers;

        QJsonObject body() const { return json ? json->toObject() : QJsonObject(); }
    };

    JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                    const std::optional<QJsonValue>& json,
                                    const RequestHeaders& headers = {}) override;
    void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                   QObject* context, std::function<void(const JsonReply&)> done,
                   const RequestHeaders& headers = {}) override;

    std::vector<Request> requests() const;
    QStringList paths() const;

    /// Decides the answer of each request; called under no lock, on the caller's thread.
    std::function<JsonReply(const Request&)> answer = [](const Request&) { return JsonReply{200, {}, {}}; };

private:
    mutable std::mutex mutex;
    std::vector<Request> sent;
};
