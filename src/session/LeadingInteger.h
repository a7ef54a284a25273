#pragma once

#include <QStringView>
#include <QtGlobal>

/// The leading decimal integer of \a text after optional white space and one optional sign;
/// 0 when the text does not begin with one ("12abc" gives 12, "2.9" gives 2, "rc1" gives 0).
/// Values beyond 64 bits saturate instead of overflowing.
qint64 leadingInteger(QStringView text);
