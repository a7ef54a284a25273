#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corlune::server {

/// Seconds since 1970-01-01T00:00:00Z.
using UnixSeconds = std::int64_t;

/// The instants the service accepts: 2000-01-01T00:00:00Z to 2100-01-01T00:00:00Z, both
/// included. Nothing a time clock reports lies outside, and a bound keeps every sum of
/// durations far from overflowing.
inline constexpr UnixSeconds earliestInstant = 946684800;
inline constexpr UnixSeconds latestInstant = 4102444800;

/// Reads the wire form YYYY-MM-DDTHH:MM:SSZ exactly: 20 characters, UTC, no fraction, a real
/// calendar date (leap years included), hours 00-23, seconds 00-59, within the accepted
/// instants. Anything else is nothing.
std::optional<UnixSeconds> parseTimestamp(std::string_view text);

} // namespace corlune::server
