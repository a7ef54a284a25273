#include "IsoFormatter.h"

#include <QDate>
#include <QTime>

QString IsoFormatter::stringFromDate(const QDateTime& instant) const {
    if (!instant.isValid())
        return {};
    // Floor division, so that an instant before 1970 also drops its fraction toward the past.
    const qint64 ms = instant.toMSecsSinceEpoch();
    const qint64 seconds = ms / 1000 - (ms % 1000 < 0 ? 1 : 0);
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    const QDate date = utc.date();
    const QTime time = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02dZ", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second());
}

const IsoFormatter& isoFormatter() {
    // C++ initialises a function-local static exactly once even when first calls race; the
    // formatter holds nothing, so its destruction at exit is a no-op and late users are safe.
    static const IsoFormatter shared;
    return shared;
}
