#pragma once

/// What the desktop lets the program observe, recorded at start-up for the window to show.
struct InputCapabilities {
    /// The idle time is measured; without it the session never pauses by itself.
    bool idleAvailable = false;
    /// Input into other programs can be counted; without it only our own windows count.
    bool globalMonitoringAvailable = false;
};
