#include "SecretServiceCredentialStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

/// What fits a pipe's buffer with room to spare; an account and a password are far smaller.
constexpr qsizetype maxInputBytes = 16 * 1024;

// Strict UTF-8: invalid or truncated sequences make the whole secret unreadable rather than
// a password with replacement characters, and a leading BOM is kept as the character it is.
std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

// Best effort only: the pipe and the helper hold copies of their own for a moment.
void wipe(QByteArray& bytes) {
    bytes.fill('\0');
}

// The helper's standard input: a pipe that already holds \a input, which is wiped. An account
// and a password are far below a pipe's capacity, so they are written before the helper starts:
// no write can block, and none can meet a reader that is gone. Answers the read end, or -1.
int pipeHolding(QByteArray& input) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        wipe(input);
        return -1;
    }
    const bool written =
        input.size() <= maxInputBytes &&
        ::write(fds[1], input.constData(), static_cast<std::size_t>(input.size())) == input.size();
    wipe(input);
    ::close(fds[1]);
    if (!written) {
        ::close(fds[0]);
        return -1;
    }
    return fds[0];
}

// posix_spawn rather than QProcess: the helper runs once or twice per launch, and QProcess's
// machinery would stay resident for the rest of the day. The helper's complaints (no Secret
// Service, a refused item) go to our own standard error. Answers its pid, or -1.
pid_t spawnHelper(const QString& helper, const char* operation, int input, int output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    const QByteArray program = QFile::encodeName(helper);
    char* const argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(operation), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0)
        return pid;
    qWarning("Cannot run %s (%s): passwords are not remembered", program.constData(), std::strerror(spawned));
    return -1;
}

// Reads \a fd into \a output until the helper closes it (true) or \a deadline passes (false).
bool readUntilClosed(int fd, const QDeadlineTimer& deadline, QByteArray& output) {
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        const int ready =
            ::poll(&readable, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0)
            output.append(chunk, n);
        explicit_bzero(chunk, sizeof chunk);
        if (n <= 0)
            return true;
    }
}

} // namespace

SecretServiceCredentialStore::SecretServiceCredentialStore(QString helper, std::chrono::milliseconds bound)
    : helper(std::move(helper))
    , bound(bound) {}

QString SecretServiceCredentialStore::defaultHelperPath() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QString installed =
        QDir::cleanPath(programDir.filePath(QStringLiteral(CORLUNE_KEYRING_HELPER_FROM_BINDIR)));
    const QString beside = programDir.filePath(QStringLiteral("corlune-track-keyring"));
    return QFileInfo(installed).isExecutable() || !QFileInfo(beside).isExecutable() ? installed : beside;
}

QString SecretServiceCredentialStore::account(const QString& employeeId,
                                              const std::optional<QString>& jobId) {
    return employeeId + u'|' + jobId.value_or(QString());
}

std::optional<QByteArray> SecretServiceCredentialStore::run(const char* operation, QByteArray& input) const {
    const QDeadlineTimer deadline(bound.count());
    const int toHelper = pipeHolding(input);
    if (toHelper < 0)
        return std::nullopt;
    int fromHelper[2];
    if (::pipe2(fromHelper, O_CLOEXEC) != 0) {
        ::close(toHelper);
        return std::nullopt;
    }
    const pid_t pid = spawnHelper(helper, operation, toHelper, fromHelper[1]);
    ::close(toHelper);
    ::close(fromHelper[1]);
    if (pid < 0) {
        ::close(fromHelper[0]);
        return std::nullopt;
    }

    QByteArray output;
    const bool ended = readUntilClosed(fromHelper[0], deadline, output);
    ::close(fromHelper[0]);
    if (!ended)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        wipe(output);
        return std::nullopt;
    }
    return output;
}

bool SecretServiceCredentialStore::kcSavePassword(const QString& password, const QString& employeeId,
                                                  const std::optional<QString>& jobId) {
    if (password.isEmpty() || employeeId.isEmpty())
        return false;
    const QByteArray accountUtf8 = account(employeeId, jobId).toUtf8();
    // An attribute is a C string: with a NUL in it the item could not be found again.
    if (accountUtf8.contains('\0'))
        return false;
    QByteArray secret = password.toUtf8();
    QByteArray input = accountUtf8;
    input.append('\0').append(secret);
    wipe(secret);
    return run("store", input).has_value();
}

std::optional<QString>
SecretServiceCredentialStore::kcLoadPasswordForEmployee(const QString& employeeId,
                                                        const std::optional<QString>& jobId) {
    if (employeeId.isEmpty())
        return std::nullopt;
    QByteArray input = account(employeeId, jobId).toUtf8();
    if (input.contains('\0'))
        return std::nullopt;
    std::optional<QByteArray> secret = run("lookup", input);
    if (!secret)
        return std::nullopt;
    std::optional<QString> password = decodeUtf8(*secret);
    wipe(*secret);
    return password;
}
