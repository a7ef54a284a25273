#include "Timestamp.h"

#include <chrono>

namespace corlune::server {

namespace {

std::optional<int> digits(std::string_view text, std::size_t pos, std::size_t count) {
    int value = 0;
    for (std::size_t i = pos; i < pos + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

std::optional<UnixSeconds> parseTimestamp(std::string_view text) {
    using namespace std::chrono;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z') {
        return std::nullopt;
    }
    const auto y = digits(text, 0, 4);
    const auto mo = digits(text, 5, 2);
    const auto d = digits(text, 8, 2);
    const auto h = digits(text, 11, 2);
    const auto mi = digits(text, 14, 2);
    const auto s = digits(text, 17, 2);
    if (!y || !mo || !d || !h || !mi || !s || *h > 23 || *mi > 59 || *s > 59) {
        return std::nullopt;
    }
    const year_month_day date{year{*y}, month{static_cast<unsigned>(*mo)}, day{static_cast<unsigned>(*d)}};
    if (!date.ok()) {
        return std::nullopt;
    }
    const auto days = sys_days{date}.time_since_epoch().count();
    const UnixSeconds instant = static_cast<UnixSeconds>(days) * 86400 + *h * 3600 + *mi * 60 + *s;
    if (instant < earliestInstant || instant > latestInstant) {
        return std::nullopt;
    }
    return instant;
}

} // namespace corlune::server
