#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corlune::server {

/// Seconds since 1970-01-01T00:00:00Z.
using UnixSeconds = std::int64_t;

/// Reads the wire form YYYY-MM-DDTHH:MM:SSZ exactly: 20 characters, UTC, no fraction, a real
/// calendar date (leap years included), hours 00-23, seconds 00-59. Anything else is nothing.
std::optional<UnixSeconds> parseTimestamp(std::string_view text);

/// Writes the wire form; years outside 0000-9999 are clamped into it.
std::string formatTimestamp(UnixSeconds instant);

} // namespace corlune::server
