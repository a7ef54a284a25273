#include "IdleTimeSourceFactory.h"

#include "DesktopSession.h"
#include "MonotonicClock.h"
#include "MutterIdleTimeSource.h"
#include "UnavailableIdleTimeSource.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#if CORLUNE_HAVE_X11
#include "X11IdleTimeSource.h"
#include "XcbRequests.h"
#endif

namespace {

#if CORLUNE_HAVE_WAYLAND
// libwayland-client lives in a module of its own, loaded only on a Wayland session, so that it
// never loads on X11. The module stays loaded for the life of the process.
std::unique_ptr<IdleTimeSource> loadWaylandIdleTimeSource(const QString& path) {
    using Make = IdleTimeSource* (*)(MonotonicClock*);
    QLibrary module(path);
    const auto make = reinterpret_cast<Make>(module.resolve("corluneMakeWaylandIdleTimeSource"));
    if (!make)
        return nullptr;
    std::unique_ptr<IdleTimeSource> source(make(std::make_unique<SteadyMonotonicClock>().release()));
    return source->isAvailable() ? std::move(source) : nullptr;
}
#endif

} // namespace

QString defaultWaylandIdleModulePath() {
#if CORLUNE_HAVE_WAYLAND
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString installed =
        QDir::cleanPath(programDir.filePath(QStringLiteral(CORLUNE_WAYLAND_MODULE_FROM_BINDIR)));
    const QString beside = programDir.filePath(QFileInfo(installed).fileName());
    return QFileInfo::exists(installed) || !QFileInfo::exists(beside) ? installed : beside;
#else
    return {};
#endif
}

std::unique_ptr<IdleTimeSource> makeIdleTimeSource([[maybe_unused]] const QString& waylandIdleModule) {
    const DesktopSession session = DesktopSession::current();
    if (session.isWayland()) {
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (MutterIdleTimeSource::isOffered(bus))
            return std::make_unique<MutterIdleTimeSource>(bus, std::make_unique<SteadyMonotonicClock>());
#if CORLUNE_HAVE_WAYLAND
        if (auto wayland = loadWaylandIdleTimeSource(waylandIdleModule))
            return wayland;
#endif
        return std::make_unique<UnavailableIdleTimeSource>();
    }
#if CORLUNE_HAVE_X11
    if (session.isX11()) {
        auto x11 = std::make_unique<X11IdleTimeSource>(XcbRequests::qtDisplayName());
        if (x11->isAvailable())
            return x11;
    }
#endif
    return std::make_unique<UnavailableIdleTimeSource>();
}
