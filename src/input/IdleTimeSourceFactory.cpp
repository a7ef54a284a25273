#include "IdleTimeSourceFactory.h"

#include "DesktopSession.h"
#include "MonotonicClock.h"
#include "MutterIdleTimeSource.h"
#include "UnavailableIdleTimeSource.h"

#include <QDBusConnection>

#if CORLUNE_HAVE_X11
#include "X11IdleTimeSource.h"
#include "XcbRequests.h"
#endif

std::unique_ptr<IdleTimeSource> makeIdleTimeSource() {
    const DesktopSession session = DesktopSession::current();
    if (session.isWayland()) {
        // Other compositors offer only ext_idle_notifier_v1's idle/resumed notifications, which
        // is not built yet; they get the unavailable answer.
        const QDBusConnection bus = QDBusConnection::sessionBus();
        if (MutterIdleTimeSource::isOffered(bus))
            return std::make_unique<MutterIdleTimeSource>(bus, std::make_unique<SteadyMonotonicClock>());
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
