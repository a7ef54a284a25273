#include "AppDelegate.h"

#include "BreakPrompt.h"
#include "EventReports.h"
#include "IdleTimeSource.h"
#include "MonotonicClock.h"
#include "SessionView.h"
#include "WallClock.h"
#include "WorkSession.h"

namespace {
constexpr int tickIntervalMs = 200;
}

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent)
    , services(std::move(services)) {
    workSession = std::make_unique<WorkSession>(
        WorkSession::Services{*this->services.monotonic, *this->services.wall, *this->services.idle,
                              *this->services.reports, *this->services.breakPrompt});
    workSession->afterUpdateUI = [this] { refreshSocialIfDue(); };
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::setSessionView(SessionView* view) {
    workSession->setView(view);
}

void AppDelegate::onClock() {
    workSession->onClock();
}

void AppDelegate::onPause() {
    workSession->onPause();
}

void AppDelegate::onTickTimer() {
    // Qt delivers timers inside a modal dialog's nested loop; such ticks are dropped.
    if (modal.isOpen())
        return;
    onTick();
}

void AppDelegate::onTick() {
    workSession->onTick();
}

void AppDelegate::onIdleStepper(qint64 minutes) {
    workSession->onIdleStepper(minutes);
}

void AppDelegate::onIdleFieldChange() {
    workSession->onIdleFieldChange();
}

void AppDelegate::updateUI() {
    workSession->updateUI();
}

void AppDelegate::refreshSocialIfDue() {
    if (syncState.jobId == QLatin1String("0") && syncState.isOnline && services.refreshSocialMetrics)
        services.refreshSocialMetrics();
}

void AppDelegate::startTickTimer() {
    if (tick)
        return;
    tick = new QTimer(this);
    tick->setInterval(tickIntervalMs);
    tick->setTimerType(Qt::CoarseTimer);
    connect(tick, &QTimer::timeout, this, &AppDelegate::onTickTimer);
    tick->start();
}

void AppDelegate::stopTickTimer() {
    if (tick) {
        tick->stop();
        delete tick.data();
    }
}
