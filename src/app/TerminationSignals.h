#pragma once

#include <QObject>

class QSocketNotifier;

/// SIGTERM and SIGINT, delivered on the GUI thread as received(): the handler only writes a byte
/// to a pipe, which the event loop reads, so that the program ends through its normal shut-down
/// and nothing but that write runs inside the handler. A second signal takes its default action.
/// One per process.
class TerminationSignals final : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received();

private:
    int fds[2] = {-1, -1};
    QSocketNotifier* notifier = nullptr; // a child of this object
};
