#pragma once

#include <QString>
#include <QtGlobal>

/// The idle threshold as the window shows it: whole minutes from 1 to 120.
namespace IdleThreshold {

constexpr qint64 minMinutes = 1;
constexpr qint64 maxMinutes = 120;
constexpr qint64 launchMinutes = 3;
constexpr qint64 launchSeconds = launchMinutes * 60;

/// The minutes a committed field text stands for, clamped to 1..120.
qint64 minutesFromFieldText(const QString& text);

} // namespace IdleThreshold
