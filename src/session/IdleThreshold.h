#pragma once

#include <QString>
#include <QtGlobal>

/// The idle threshold as the window shows it: whole minutes from 1 to 120.
namespace IdleThreshold {

constexpr qint64 minMinutes = 1;
constexpr qint64 maxMinutes = 120;
constexpr qint64 launchSeconds = 180;

/// The leading decimal integer of \a text after optional white space and one optional sign;
/// 0 when the text does not begin with one ("12abc" gives 12, "2.9" gives 2). Saturates
/// instead of overflowing.
qint64 leadingInteger(const QString& text);

/// The minutes a committed field text stands for, clamped to 1..120.
qint64 minutesFromFieldText(const QString& text);

} // namespace IdleThreshold
