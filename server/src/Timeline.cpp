#include "Timeline.h"

#include <algorithm>
#include <tuple>

namespace corlune::server {

std::vector<WorkStretch> workStretches(std::vector<TimelineEvent> events, UnixSeconds from, UnixSeconds to) {
    std::sort(events.begin(), events.end(), [](const TimelineEvent& a, const TimelineEvent& b) {
        return std::tie(a.at, a.sequence) < std::tie(b.at, b.sequence);
    });
    enum class State { ClockedOut, Working, OnBreak };
    State state = State::ClockedOut;
    UnixSeconds workStart = 0;
    std::vector<WorkStretch> stretches;
    const auto addWork = [&](UnixSeconds end) {
        const UnixSeconds a = std::max(workStart, from);
        const UnixSeconds b = std::min(end, to);
        if (b > a) {
            stretches.push_back({a, b});
        }
    };
    for (const TimelineEvent& event : events) {
        switch (event.kind) {
        case EventKind::ClockIn:
            if (state == State::ClockedOut) {
                state = State::Working;
                workStart = event.at;
            }
            break;
        case EventKind::ClockOut:
            if (state == State::Working) {
                addWork(event.at);
            }
            state = State::ClockedOut;
            break;
        case EventKind::BreakStart:
            if (state == State::Working) {
                addWork(event.at);
                state = State::OnBreak;
            }
            break;
        case EventKind::BreakStop:
            if (state == State::OnBreak) {
                state = State::Working;
                workStart = event.at;
            }
            break;
        case EventKind::InputTrack:
            break;
        }
    }
    if (state == State::Working) {
        addWork(to);
    }
    return stretches;
}

std::int64_t workedMilliseconds(std::vector<TimelineEvent> events, UnixSeconds from, UnixSeconds to) {
    std::int64_t seconds = 0;
    for (const WorkStretch& stretch : workStretches(std::move(events), from, to)) {
        seconds += stretch.end - stretch.start;
    }
    return seconds * 1000;
}

} // namespace corlune::server
