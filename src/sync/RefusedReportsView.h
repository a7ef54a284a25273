#pragma once

/// The main window's line about reports the service refused for good, hidden while there are
/// none.
class RefusedReportsView {
public:
    virtual ~RefusedReportsView() = default;
    /// \a count reports were set aside during this run.
    virtual void setRefusedReportCount(int count) = 0;
};
