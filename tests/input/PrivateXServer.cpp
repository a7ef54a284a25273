#include "PrivateXServer.h"

#include <QDeadlineTimer>

namespace {
constexpr int boundMs = 10000;
}

PrivateXServer::PrivateXServer() {
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // -displayfd: Xvfb chooses a free display and writes its number there once it accepts
    // connections.
    server.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("320x240x24")});
    const QDeadlineTimer deadline(boundMs);
    while (!server.canReadLine() && !deadline.hasExpired() && server.state() != QProcess::NotRunning)
        server.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (server.canReadLine())
        name = ':' + server.readLine().trimmed();
}

PrivateXServer::~PrivateXServer() {
    stop();
}

void PrivateXServer::stop() {
    if (server.state() == QProcess::NotRunning)
        return;
    // Not SIGKILL: a killed Xvfb leaves its lock file and socket in /tmp.
    server.terminate();
    if (!server.waitForFinished(boundMs)) {
        server.kill();
        server.waitForFinished(boundMs);
    }
}
