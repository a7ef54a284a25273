#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {
volatile int writeEnd = -1;

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; the byte is not needed then.
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &byte, 1);
    errno = saved;
}
} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent) {
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the default action stays: the signal ends the process at once
    writeEnd = fds[1];
    notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char drain[64];
        while (::read(fds[0], drain, sizeof drain) > 0) {
        }
        // Should the shut-down hang, a second signal ends the program at once.
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGINT, SIG_DFL);
        emit received();
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    if (fds[0] < 0)
        return;
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
    writeEnd = -1;
    ::close(fds[0]);
    ::close(fds[1]);
}
