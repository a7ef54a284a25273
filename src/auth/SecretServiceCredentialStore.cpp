#include "SecretServiceCredentialStore.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>

namespace {

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

std::optional<QByteArray> SecretServiceCredentialStore::run(const char* operation, QByteArray& input) const {
    const QDeadlineTimer deadline(bound.count());
    QProcess process;
    // The helper's complaints (no Secret Service, a refused item) belong in our own log.
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(helper, {QString::fromLatin1(operation)});
    if (!process.waitForStarted(static_cast<int>(deadline.remainingTime()))) {
        qWarning("Cannot run %s (%s): passwords are not remembered", qUtf8Printable(helper),
                 qUtf8Printable(process.errorString()));
        wipe(input);
        return std::nullopt;
    }
    process.write(input);
    wipe(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0)))) {
        process.kill();
        process.waitForFinished(1000);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
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
