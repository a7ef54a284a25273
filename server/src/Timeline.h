#pragma once

#include "Timestamp.h"
#include "WireFormat.h"

#include <cstdint>
#include <vector>

namespace corlune::server {

/// One stored clock or break event of an employee on a job. `sequence` is the order of
/// arrival (the event's row id); it only decides between events at the same instant.
struct TimelineEvent {
    EventKind kind = EventKind::ClockIn;
    UnixSeconds at = 0;
    std::int64_t sequence = 0;
};

/// A stretch of work from `start` to `end`, in seconds.
struct WorkStretch {
    UnixSeconds start = 0;
    UnixSeconds end = 0;
    bool operator==(const WorkStretch&) const = default;
};

/// The stretches of work inside [from, to], in order, none empty.
///
/// Events are replayed in the order of their instants, whatever order they arrived in (queued
/// reports arrive late by design); events at the same instant keep their arrival order.
/// The replay is a small state machine, clocked out -> working <-> on a break -> clocked out:
/// - a clock-in starts work when clocked out; a clock-in while clocked in (working or on a
///   break) is a repeat and is ignored: the earlier one stands;
/// - a clock-out ends the work, and ends a break that is still open (the break lasts up to
///   the clock-out and is not work); a clock-out while clocked out is ignored;
/// - a break start while working starts a break; anywhere else it is ignored;
/// - a break stop while on a break resumes work; a stop without a start is ignored;
/// - work still going after the last event counts up to `to`; an open break counts as break.
/// Each stretch of work is clipped to [from, to]; input reports and unknown kinds are ignored.
std::vector<WorkStretch> workStretches(std::vector<TimelineEvent> events, UnixSeconds from, UnixSeconds to);

/// Worked milliseconds inside [from, to]: the stretches' sum.
std::int64_t workedMilliseconds(std::vector<TimelineEvent> events, UnixSeconds from, UnixSeconds to);

} // namespace corlune::server
