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

// Best effort only: QProcess and the helper hold copies of their own for a moment.
void wipe(QByteArray& bytes) {
    bytes.fill('\0');
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

// posix_spawn rather than QProcess: the helper runs once or twice per launch, and QProcess's
// machinery would stay resident for the rest of the day.
std::optional<QByteArray> SecretServiceCredentialStore::run(const char* operation, QByteArray& input) const {
    const QDeadlineTimer deadline(bound.count());
    // The input (an account and a password) is far below a pipe's capacity, so it is written
    // before the helper starts: no write can block, and none can meet a reader that is gone.
    int toHelper[2];
    int fromHelper[2];
    if (::pipe2(toHelper, O_CLOEXEC) != 0) {
        wipe(input);
        return std::nullopt;
    }
    const bool written =
        input.size() <= maxInputBytes &&
        ::write(toHelper[1], input.constData(), static_cast<std::size_t>(input.size())) == input.size();
    wipe(input);
    ::close(toHelper[1]);
    if (!written || ::pipe2(fromHelper, O_CLOEXEC) != 0) {
        ::close(toHelper[0]);
        return std::nullopt;
    }

    // The helper's complaints (no Secret Service, a refused item) go to our own standard error.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toHelper[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromHelper[1], STDOUT_FILENO);
    const QByteArray program = QFile::encodeName(helper);
    char* const argv[] = {const_cast<char*>(program.constData()), const_cast<char*>(operation), nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toHelper[0]);
    ::close(fromHelper[1]);
    if (spawned != 0) {
        ::close(fromHelper[0]);
        qWarning("Cannot run %s (%s): passwords are not remembered", program.constData(),
                 std::strerror(spawned));
        return std::nullopt;
    }

    QByteArray output;
    bool ended = false; // the helper closed its output: it is exiting
    while (!ended) {
        pollfd readable{fromHelper[0], POLLIN, 0};
        const int ready =
            ::poll(&readable, 1, static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        char chunk[4096];
        const ssize_t n = ::read(fromHelper[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ended = true;
        else
            output.append(chunk, n);
        explicit_bzero(chunk, sizeof chunk);
    }
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
