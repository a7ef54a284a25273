#include "GlobalInputMonitorFactory.h"

#include "DesktopSession.h"
#include "UnavailableGlobalInputMonitor.h"

#if CORLUNE_HAVE_X11
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"
#endif

std::unique_ptr<GlobalInputMonitor> makeGlobalInputMonitor() {
#if CORLUNE_HAVE_X11
    if (DesktopSession::current().isX11()) {
        auto xinput = std::make_unique<XInput2GlobalMonitor>(XcbRequests::qtConnection());
        if (xinput->isAvailable())
            return xinput;
    }
#endif
    return std::make_unique<UnavailableGlobalInputMonitor>();
}
