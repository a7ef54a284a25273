#pragma once

#include "JsonTransport.h"
#include "QtPrinters.h"
#include "Reachability.h"

#include <QJsonObject>
#include <QSet>
#include <QTimer>

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
    };

    JsonReply sendJSONRequestMethod(const QString& method, const QString& path,
                                    const std::optional<QJsonValue>& json,
                                    const RequestHeaders& headers = {}) override {
        const Request request{method, path, json, headers};
        {
            const std::lock_guard lock(mutex);
            sent.push_back(request);
        }
        return answer(request);
    }
    void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                   QObject* context, std::function<void(const JsonReply&)> done,
                   const RequestHeaders& headers = {}) override {
        const JsonReply reply = sendJSONRequestMethod(method, path, json, headers);
        QTimer::singleShot(0, context, [reply, done = std::move(done)] { done(reply); });
    }

    std::vector<Request> requests() const {
        const std::lock_guard lock(mutex);
        return sent;
    }
    QStringList paths() const {
        QStringList out;
        for (const Request& request : requests())
            out.append(request.path);
        return out;
    }

    /// Decides the answer of each request; called under no lock, on the caller's thread.
    std::function<JsonReply(const Request&)> answer = [](const Request&) { return JsonReply{200, {}, {}}; };

private:
    mutable std::mutex mutex;
    std::vector<Request> sent;
};

/// Answers from a set of reachable addresses and counts the questions.
class FakeReachability final : public Reachability {
public:
    ~FakeReachability() override {
        if (released)
            *released = true;
    }
    bool isAvailable() const override { return true; }
    bool isReachable(const QHostAddress& address) override {
        ++reads;
        return reachable.contains(address);
    }

    QSet<QHostAddress> reachable;
    int reads = 0;
    /// Set to true when the fake is destroyed.
    bool* released = nullptr;
};
