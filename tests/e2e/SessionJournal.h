#pragma once

#include "StoredEvents.h"
#include "TimeClockClient.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// What the test did to the time clock, and from it the events the service must end up holding,
/// each exactly once. It applies the client's reporting rules: a pause or a clock-out from
/// working first reports the input window that it closes (only when something was counted), and
/// the press on the Pause or Clock Out button is itself a click made while working.
class SessionJournal {
public:
    enum class Field { At, EndedAt };
    enum class Relation { Equal, NotBefore };

    struct Expected {
        StoredEvent::Kind kind = StoredEvent::Kind::ClockIn;
        WallSpan at;
        std::optional<WallSpan> endedAt;
        std::int64_t keystrokes = 0;
        std::int64_t clicks = 0;
        std::string what; // for messages: "the clock-in", "the inputs up to the pause"...
    };
    /// expected[left].leftField relation expected[right].rightField
    struct Constraint {
        std::size_t left = 0;
        Field leftField = Field::At;
        Relation relation = Relation::Equal;
        std::size_t right = 0;
        Field rightField = Field::At;
    };

    void clockIn(WallSpan span);
    void pause(WallSpan span);
    void resume(WallSpan span);
    void clockOut(WallSpan span);
    /// The program ended (quit or killed) and was started again: a new session, clocked out,
    /// with nothing counted. What was reported or queued before stays expected.
    void restarted();
    /// Keys pressed or clicks made in the window; they count only while working.
    void keysPressed(int count);
    void clicksMade(int count);

    const std::vector<Expected>& expected() const { return events; }
    const std::vector<Constraint>& constraints() const { return rules; }

private:
    enum class Mode { ClockedOut, Working, Paused };

    std::size_t add(Expected event, Field moment);
    /// The report of the input window that the press in \a span closes, when it counted anything.
    std::optional<std::size_t> closeInputWindow(WallSpan span, const std::string& closedBy);

    Mode mode = Mode::ClockedOut;
    std::vector<Expected> events;
    std::vector<Constraint> rules;
    std::int64_t unsentKeys = 0;
    std::int64_t unsentClicks = 0;
    /// Where the open input window began: the clock-in's instant, or the resume's span after its
    /// break stop.
    WallSpan windowStart;
    std::optional<std::size_t> windowOpener;
    bool windowStartsAtOpener = false;
    /// The last event, with the field that tells when it happened, for the running order.
    std::optional<std::pair<std::size_t, Field>> last;
};

/// Whether the service delivered the events in the order they were made, or may have stored a
/// retried one after later ones (a report the service refused is overtaken by the next).
enum class Delivery { InOrder, AnyOrder };

/// Expects \a stored to hold exactly the journal's events, once each, for the employee and
/// job "demo", with their instants in their spans and the relations between them, every one
/// under an idempotency key of its own.
void expectStoredExactlyOnce(const std::vector<StoredEvent>& stored, const SessionJournal& journal,
                             Delivery delivery);
