#pragma once

#include <QDateTime>
#include <QString>

/// Writes instants the way the service reads them: YYYY-MM-DDTHH:MM:SSZ, always in UTC, the
/// fraction of a second dropped (truncated, never rounded). Stateless, so one instance serves
/// every thread at once.
class IsoFormatter {
public:
    IsoFormatter() = default;
    IsoFormatter(const IsoFormatter&) = delete;
    IsoFormatter& operator=(const IsoFormatter&) = delete;

    /// The timestamp text of \a instant, whatever its time spec; "" for an invalid date.
    QString stringFromDate(const QDateTime& instant) const;
};

/// The one formatter of the process, created on first use and never destroyed.
const IsoFormatter& isoFormatter();
