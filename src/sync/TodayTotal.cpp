#include "TodayTotal.h"

#include "SessionTexts.h"
#include "SyncState.h"
#include "TimeClockApi.h"
#include "TotalView.h"
#include "WallClock.h"

#include <QJsonValue>

#include <cmath>
#include <limits>

TodayTotal::TodayTotal(const SyncState& sync, TimeClockApi& api, const WallClock& wall)
    : sync(sync)
    , api(api)
    , wall(wall) {}

QDateTime TodayTotal::startOfLocalDayContaining(const QDateTime& now) {
    // The C library's local time (TZ, /etc/localtime), as every other clock on the desktop
    // shows it; Qt's own time zone database would parse the zone's whole history to find it.
    const QDateTime start = now.toLocalTime().date().startOfDay(Qt::LocalTime);
    return start.isValid() ? start : now;
}

QDateTime TodayTotal::startOfToday() const {
    return startOfLocalDayContaining(wall.now());
}

std::optional<QString> TodayTotal::totalText(const QJsonObject& summary) {
    const QJsonValue value = summary.value(QStringLiteral("totalWorkMs"));
    if (!value.isDouble())
        return std::nullopt;
    // Integers keep all 64 bits; other numbers are truncated toward zero. A number beyond the
    // 64-bit range has no meaning as a duration and is not shown.
    const double number = value.toDouble();
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (!(number > -limit && number < limit))
        return std::nullopt;
    const qint64 ms = std::trunc(number) == number ? value.toInteger(static_cast<qint64>(number))
                                                   : static_cast<qint64>(std::trunc(number));
    const auto seconds = static_cast<qint64>(std::round(static_cast<double>(ms) / 1000.0));
    return QStringLiteral("Total today: ") + SessionTexts::durationText(seconds);
}

void TodayTotal::refreshTotalToday() {
    if (!sync.isOnline || sync.employeeId.value_or(QString()).isEmpty())
        return;
    const QDateTime now = wall.now();
    if (lastTotalRefresh && lastTotalRefresh->msecsTo(now) < throttleSeconds * 1000)
        return;
    // Set before the request, so that a failed one also starts a new interval.
    lastTotalRefresh = now;
    api.timeSummaryFrom(startOfToday(), std::nullopt, [this](const std::optional<QJsonObject>& summary) {
        const std::optional<QString> text = summary ? totalText(*summary) : std::nullopt;
        if (text && view)
            view->setTotalText(*text);
    });
}
