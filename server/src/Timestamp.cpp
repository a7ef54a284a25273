#include "Timestamp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

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
    return static_cast<UnixSeconds>(days) * 86400 + *h * 3600 + *mi * 60 + *s;
}

std::string formatTimestamp(UnixSeconds instant) {
    using namespace std::chrono;
    constexpr UnixSeconds earliest = -62167219200; // 0000-01-01T00:00:00Z
    constexpr UnixSeconds latest = 253402300799;   // 9999-12-31T23:59:59Z
    instant = std::clamp(instant, earliest, latest);
    const sys_seconds point{seconds{instant}};
    const auto dayStart = floor<days>(point);
    const year_month_day date{dayStart};
    const hh_mm_ss time{point - dayStart};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(time.hours().count()), static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

} // namespace corlune::server
