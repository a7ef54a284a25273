#include "PrivateSessionBus.h"

#include <fstream>

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
} // namespace

PrivateSessionBus::PrivateSessionBus() {
    std::ofstream(dir.file("bus.conf"))
        << QString::fromLatin1(configTemplate).arg(dir.path().c_str()).toStdString();
    // The daemon prints its address, one line, once it listens.
    daemon = std::make_unique<ChildProcess>(ChildProcess::Options{
        .argv = {"dbus-daemon", "--config-file=" + dir.file("bus.conf"), "--nofork", "--print-address=1"},
        .logPath = dir.file("address"),
        .errorPath = dir.file("log")});
    if (const auto line = daemon->waitForLine("", std::chrono::seconds(10)))
        busAddress = QString::fromStdString(*line);
}
