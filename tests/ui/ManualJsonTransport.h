#pragma once

#include "JsonTransport.h"

#include <QPointer>

#include <functional>
#include <vector>

/// Holds every asynchronous request until the test answers it, so a test decides when, and
/// whether, a reply arrives. Blocking requests are not expected here and fail the test.
class ManualJsonTransport final : public JsonTransport {
public:
    struct Pending {
        QString method;
        QString path;
        std::optional<QJsonValue> json;
        QPointer<QObject> context;
        std::function<void(const JsonReply&)> done;
        bool answered = false;
    };

    JsonReply sendJSONRequestMethod(const QString&, const QString&, const std::optional<QJsonValue>&,
                                    const QByteArray&) override {
        ++blockingCalls;
        return {};
    }

    void sendAsync(const QString& method, const QString& path, const std::optional<QJsonValue>& json,
                   QObject* context, std::function<void(const JsonReply&)> done) override {
        requests.push_back({method, path, json, context, std::move(done)});
    }

    /// Answers request \a index as the transport would: on the context's thread, unless the
    /// context is gone.
    void answer(std::size_t index, const JsonReply& reply) {
        Pending& request = requests.at(index);
        request.answered = true;
        if (request.context)
            request.done(reply);
    }

    std::size_t unanswered() const {
        std::size_t count = 0;
        for (const Pending& request : requests)
            count += request.answered ? 0 : 1;
        return count;
    }

    std::vector<Pending> requests;
    int blockingCalls = 0;
};
