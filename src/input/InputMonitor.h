#pragma once

/// One installed event monitor. It observes input for as long as it exists; destroying it
/// removes it from the platform. Holders keep it in a std::unique_ptr, so "none" is nullptr.
class InputMonitor {
public:
    virtual ~InputMonitor() = default;
};
