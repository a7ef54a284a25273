#include "GlobalInputMonitorFactory.h"

#include "DesktopSession.h"
#include "UnavailableGlobalInputMonitor.h"

#if CORLUNE_HAVE_X11
#include "X11Connection.h"
#include "XInput2GlobalMonitor.h"
#endif

std::unique_ptr<GlobalInputMonitor> GlobalInputMonitorFactory::create() {
#if CORLUNE_HAVE_X11
    if (DesktopSession::current().isX11()) {
        auto xinput = std::make_unique<XInput2GlobalMonitor>(X11Connection::qtDisplayName());
        if (xinput->isAvailable())
            return xinput;
    }
#endif
    return std::make_unique<UnavailableGlobalInputMonitor>();
}
