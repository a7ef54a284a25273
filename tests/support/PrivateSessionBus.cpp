#include "PrivateSessionBus.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {
// No <servicedir> and no <standard_session_servicedirs/>: nothing can be started on demand.
const char* const configTemplate =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
constexpr int startBoundMs = 10000;
} // namespace

PrivateSessionBus::PrivateSessionBus() {
    if (!dir.isValid())
        return;
    const QString configPath = dir.filePath(QStringLiteral("bus.conf"));
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(QString::fromLatin1(configTemplate).arg(dir.path()).toUtf8());
    config.close();

    daemon.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    // The daemon prints its address, one line, once it listens.
    const QDeadlineTimer deadline(startBoundMs);
    while (!daemon.canReadLine() && !deadline.hasExpired() && daemon.state() != QProcess::NotRunning)
        daemon.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
    if (daemon.canReadLine())
        busAddress = QString::fromUtf8(daemon.readLine()).trimmed();
}

PrivateSessionBus::~PrivateSessionBus() {
    if (daemon.state() == QProcess::NotRunning)
        return;
    daemon.terminate();
    if (!daemon.waitForFinished(startBoundMs))
        daemon.kill();
    daemon.waitForFinished();
}
