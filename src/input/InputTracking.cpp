#include "InputTracking.h"

#include "GlobalInputMonitor.h"
#include "LocalInputFilter.h"
#include "WorkSession.h"

InputTracking::InputTracking(WorkSession& session, std::unique_ptr<GlobalInputMonitor> global)
    : session(session)
    , global(std::move(global)) {}

InputTracking::~InputTracking() {
    // The monitors call back into this object; they go before anything they use.
    disableInputTracking();
}

bool InputTracking::globalCounts(const std::unique_ptr<InputMonitor>& monitor) const {
    // A lost X server leaves the global monitor installed but silent; our own windows count
    // locally again then.
    return monitor && global->isAvailable();
}

void InputTracking::enableInputTracking(bool enableGlobal) {
    localKeyMonitor = std::make_unique<LocalInputFilter>(LocalInputFilter::Kind::Key, [this] {
        if (!globalCounts(globalKeyMonitor))
            session.countKey();
    });
    localMouseMonitor = std::make_unique<LocalInputFilter>(LocalInputFilter::Kind::Mouse, [this] {
        if (!globalCounts(globalMouseMonitor))
            session.countClick();
    });
    if (!enableGlobal)
        return;
    globalKeyMonitor = global->addKeyMonitor([this] { session.countKey(); });
    globalMouseMonitor = global->addMouseMonitor([this] { session.countClick(); });
}

void InputTracking::disableInputTracking() {
    localKeyMonitor.reset();
    localMouseMonitor.reset();
    globalKeyMonitor.reset();
    globalMouseMonitor.reset();
}

void InputTracking::processPendingInput() {
    if (globalCounts(globalKeyMonitor) || globalCounts(globalMouseMonitor))
        global->processPendingEvents();
}

void InputTracking::onGlobalTrackToggled(bool checked) {
    disableInputTracking();
    enableInputTracking(checked);
}

bool InputTracking::globalMonitoringAvailable() const {
    return global->isAvailable();
}
