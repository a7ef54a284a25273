#include "IdleThreshold.h"

#include "LeadingInteger.h"

#include <algorithm>

namespace IdleThreshold {

qint64 minutesFromFieldText(const QString& text) {
    return std::clamp(leadingInteger(text), minMinutes, maxMinutes);
}

} // namespace IdleThreshold
