#include "SessionJournal.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>

using Kind = StoredEvent::Kind;

std::size_t SessionJournal::add(Expected event, Field moment) {
    const std::size_t index = events.size();
    events.push_back(std::move(event));
    if (last)
        rules.push_back({index, moment, Relation::NotBefore, last->first, last->second});
    last = {index, moment};
    return index;
}

void SessionJournal::keysPressed(int count) {
    if (mode == Mode::Working)
        unsentKeys += count;
}

void SessionJournal::clicksMade(int count) {
    if (mode == Mode::Working)
        unsentClicks += count;
}

std::optional<std::size_t> SessionJournal::closeInputWindow(WallSpan span, const std::string& closedBy) {
    ++unsentClicks; // the press on the button that closes the window was made while working
    std::optional<std::size_t> report;
    if (unsentKeys > 0 || unsentClicks > 0) {
        const std::size_t index = add(
            {Kind::Inputs, windowStart, span, unsentKeys, unsentClicks, "the inputs up to the " + closedBy},
            Field::EndedAt);
        if (windowOpener) {
            rules.push_back({index, Field::At, windowStartsAtOpener ? Relation::Equal : Relation::NotBefore,
                             *windowOpener, Field::At});
        }
        report = index;
    }
    unsentKeys = 0;
    unsentClicks = 0;
    return report;
}

void SessionJournal::clockIn(WallSpan span) {
    if (mode != Mode::ClockedOut)
        throw std::logic_error("clock-in while clocked in");
    const std::size_t index = add({Kind::ClockIn, span, {}, 0, 0, "the clock-in"}, Field::At);
    mode = Mode::Working;
    unsentKeys = 0;
    unsentClicks = 0;
    // The clock-in's instant also opens the first input window.
    windowStart = span;
    windowOpener = index;
    windowStartsAtOpener = true;
}

void SessionJournal::pause(WallSpan span) {
    if (mode != Mode::Working)
        throw std::logic_error("pause while not working");
    const std::optional<std::size_t> inputs = closeInputWindow(span, "pause");
    const std::size_t index = add({Kind::BreakStart, span, {}, 0, 0, "the break start"}, Field::At);
    // One reading of the clock ends the input window and starts the break.
    if (inputs)
        rules.push_back({index, Field::At, Relation::Equal, *inputs, Field::EndedAt});
    mode = Mode::Paused;
}

void SessionJournal::resume(WallSpan span) {
    if (mode != Mode::Paused)
        throw std::logic_error("resume while not paused");
    const std::size_t index = add({Kind::BreakStop, span, {}, 0, 0, "the break stop"}, Field::At);
    mode = Mode::Working;
    // The new window opens at a reading taken after the break stop was reported.
    windowStart = span;
    windowOpener = index;
    windowStartsAtOpener = false;
}

void SessionJournal::clockOut(WallSpan span) {
    if (mode == Mode::ClockedOut)
        throw std::logic_error("clock-out while clocked out");
    if (mode == Mode::Working)
        closeInputWindow(span, "clock-out");
    add({Kind::ClockOut, span, {}, 0, 0, "the clock-out"}, Field::At);
    mode = Mode::ClockedOut;
}

void SessionJournal::restarted() {
    mode = Mode::ClockedOut;
    unsentKeys = 0;
    unsentClicks = 0;
    windowOpener.reset();
}

namespace {

std::int64_t valueOf(const StoredEvent& event, SessionJournal::Field field) {
    return field == SessionJournal::Field::At ? event.at : event.endedAt.value_or(-1);
}

const char* nameOf(SessionJournal::Field field) {
    return field == SessionJournal::Field::At ? "at" : "endedAt";
}

bool within(std::int64_t value, const WallSpan& span) {
    return value >= span.from && value <= span.to;
}

/// Whether \a event could be \a expected, judged by its own fields.
bool fits(const StoredEvent& event, const SessionJournal::Expected& expected) {
    if (event.kind != expected.kind || !within(event.at, expected.at))
        return false;
    if (expected.kind != Kind::Inputs)
        return true;
    return event.endedAt && within(*event.endedAt, *expected.endedAt) &&
           event.keystrokes == expected.keystrokes && event.clicks == expected.clicks;
}

/// Pairs each expected event with a stored one: by position when delivered in order; else the
/// first stored event of its kind that fits it (events a second apart or less cannot be told
/// apart by their instants), or failing that the first of its kind, for the messages.
std::vector<const StoredEvent*> match(const std::vector<StoredEvent>& stored,
                                      const std::vector<SessionJournal::Expected>& expected,
                                      Delivery delivery) {
    std::vector<const StoredEvent*> matched(expected.size(), nullptr);
    if (delivery == Delivery::InOrder) {
        for (std::size_t i = 0; i < expected.size(); ++i)
            matched[i] = &stored[i];
        return matched;
    }
    std::vector<bool> taken(stored.size(), false);
    const auto take = [&](std::size_t i, const std::function<bool(const StoredEvent&)>& accepts) {
        for (std::size_t s = 0; s < stored.size() && !matched[i]; ++s) {
            if (!taken[s] && accepts(stored[s])) {
                taken[s] = true;
                matched[i] = &stored[s];
            }
        }
    };
    for (std::size_t i = 0; i < expected.size(); ++i)
        take(i, [&](const StoredEvent& event) { return fits(event, expected[i]); });
    for (std::size_t i = 0; i < expected.size(); ++i)
        take(i, [&](const StoredEvent& event) { return event.kind == expected[i].kind; });
    return matched;
}

} // namespace

void expectStoredExactlyOnce(const std::vector<StoredEvent>& stored, const SessionJournal& journal,
                             Delivery delivery) {
    const auto& expected = journal.expected();
    std::string wanted;
    for (const auto& event : expected)
        wanted += std::string("  ") + nameOf(event.kind) + " (" + event.what + ")\n";
    const std::string context = "stored:\n" + describe(stored) + "expected:\n" + wanted;
    ASSERT_EQ(stored.size(), expected.size()) << "the service holds another number of events\n" << context;

    const std::vector<const StoredEvent*> matched = match(stored, expected, delivery);
    std::set<std::string> keys;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const SessionJournal::Expected& want = expected[i];
        ASSERT_NE(matched[i], nullptr) << "nothing stored for " << want.what << '\n' << context;
        const StoredEvent& got = *matched[i];
        ASSERT_EQ(got.kind, want.kind) << "event " << i << " should be " << want.what << '\n' << context;
        EXPECT_EQ(got.employeeId, "demo") << describe(got);
        EXPECT_EQ(got.jobId, "demo") << describe(got);
        EXPECT_GE(got.at, want.at.from) << want.what << " happened before the test acted\n" << context;
        EXPECT_LE(got.at, want.at.to) << want.what << " happened after the test saw it done\n" << context;
        if (want.kind == Kind::Inputs) {
            ASSERT_TRUE(want.endedAt);
            EXPECT_GE(got.endedAt.value_or(-1), want.endedAt->from) << want.what << '\n' << context;
            EXPECT_LE(got.endedAt.value_or(-1), want.endedAt->to) << want.what << '\n' << context;
            EXPECT_EQ(got.keystrokes.value_or(-1), want.keystrokes) << want.what << '\n' << context;
            EXPECT_EQ(got.clicks.value_or(-1), want.clicks) << want.what << '\n' << context;
        }
        EXPECT_TRUE(got.idempotencyKey && !got.idempotencyKey->empty()) << describe(got);
        if (got.idempotencyKey) {
            EXPECT_TRUE(keys.insert(*got.idempotencyKey).second) << "a key used twice: " << describe(got);
        }
    }
    for (const SessionJournal::Constraint& rule : journal.constraints()) {
        const std::int64_t left = valueOf(*matched[rule.left], rule.leftField);
        const std::int64_t right = valueOf(*matched[rule.right], rule.rightField);
        const std::string text = expected[rule.left].what + "'s " + nameOf(rule.leftField) +
                                 (rule.relation == SessionJournal::Relation::Equal ? " == " : " >= ") +
                                 expected[rule.right].what + "'s " + nameOf(rule.rightField);
        if (rule.relation == SessionJournal::Relation::Equal) {
            EXPECT_EQ(left, right) << text << '\n' << context;
        } else {
            EXPECT_GE(left, right) << text << '\n' << context;
        }
    }
}
