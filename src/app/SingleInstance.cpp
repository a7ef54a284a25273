#include "SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {
const QString busName = QStringLiteral("com.corlune.Track");
const QString objectPath = QStringLiteral("/com/corlune/Track");
// The running instance answers from its GUI thread, which a request to the service may hold
// for up to 15 s.
constexpr int activateTimeoutMs = 20'000;
// An instance that is ending may still own the name when it is asked; it is then claimed again.
constexpr int claims = 5;
} // namespace

SingleInstance::SingleInstance(QObject* parent)
    : QObject(parent) {}

SingleInstance::~SingleInstance() {
    if (lockFd >= 0)
        ::close(lockFd);
}

void SingleInstance::Activate(const QVariantMap&) {
    emit activateRequested();
}

SingleInstance::Outcome SingleInstance::claim() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const Outcome outcome = claimBusName();
        if (outcome != Outcome::First)
            return outcome;
    }
    if (!lock()) {
        if (refusal.isEmpty())
            refusal = QStringLiteral("Corlune Track is already running in this session.");
        if (bus.isConnected())
            bus.unregisterService(busName);
        return Outcome::Refused;
    }
    return Outcome::First;
}

SingleInstance::Outcome SingleInstance::claimBusName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object is there before the name, so that whoever finds the name can call it.
    bus.registerObject(objectPath, this, QDBusConnection::ExportScriptableSlots);
    for (int attempt = 0; attempt < claims; ++attempt) {
        const auto reply =
            bus.interface()->registerService(busName, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered)
            return Outcome::First;
        QDBusMessage activate = QDBusMessage::createMethodCall(
            busName, objectPath, QStringLiteral("org.freedesktop.Application"), QStringLiteral("Activate"));
        activate << QVariantMap();
        QElapsedTimer waited;
        waited.start();
        const QDBusMessage answer = bus.call(activate, QDBus::Block, activateTimeoutMs);
        if (answer.type() == QDBusMessage::ReplyMessage)
            return Outcome::HandedOver;
        // An error before the time-out means the owner ended in the meantime: claim again.
        if (waited.elapsed() >= activateTimeoutMs) {
            refusal =
                QStringLiteral("Corlune Track is already running in this session, but did not answer: %1")
                    .arg(answer.errorMessage());
            return Outcome::Refused;
        }
    }
    refusal = QStringLiteral("Could not register %1 on the session bus.").arg(busName);
    return Outcome::Refused;
}

bool SingleInstance::lock() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) {
        refusal = QStringLiteral("No runtime folder ($XDG_RUNTIME_DIR) for the instance lock.");
        return false;
    }
    const QByteArray path = QFile::encodeName(dir + QStringLiteral("/com.corlune.Track.lock"));
    lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (lockFd < 0) {
        refusal = QStringLiteral("Cannot open the instance lock %1.").arg(QFile::decodeName(path));
        return false;
    }
    // Held until the process ends; the kernel lets it go however the process ends.
    return ::flock(lockFd, LOCK_EX | LOCK_NB) == 0;
}
