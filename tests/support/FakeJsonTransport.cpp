#include "FakeJsonTransport.h"

#include <QStringList>
#include <QTimer>

JsonReply FakeJsonTransport::sendJSONRequestMethod(const QString& method, const QString& path,
                                                   const std::optional<QJsonValue>& json,
                                                   const RequestHeaders& headers) {
    const Request request{method, path, json, headers};
    {
        const std::lock_guard lock(mutex);
        sent.push_back(request);
    }
    return answer(request);
}

void FakeJsonTransport::sendAsync(const QString& method, const QString& path,
                                  const std::optional<QJsonValue>& json, QObject* context,
                                  std::function<void(const JsonReply&)> done, const RequestHeaders& headers) {
    const JsonReply reply = sendJSONRequestMethod(method, path, json, headers);
    QTimer::singleShot(0, context, [reply, done = std::move(done)] { done(reply); });
}

std::vector<FakeJsonTransport::Request> FakeJsonTransport::requests() const {
    const std::lock_guard lock(mutex);
    return sent;
}

QStringList FakeJsonTransport::paths() const {
    QStringList out;
    for (const Request& request : requests())
        out.append(request.path);
    return out;
}
