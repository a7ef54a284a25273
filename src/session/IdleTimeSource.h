#pragma once

/// Seconds since the most recent keyboard or pointer event anywhere on the user's desktop,
/// whichever program received it. Asked five times a second on the GUI thread, so a query
/// must be cheap and must never wait on another process.
/// When no backend can tell, secondsSinceLastInput() answers 0 (the session then never pauses
/// by itself) and isAvailable() is false.
class IdleTimeSource {
public:
    virtual ~IdleTimeSource() = default;
    virtual double secondsSinceLastInput() = 0;
    virtual bool isAvailable() const = 0;
};
