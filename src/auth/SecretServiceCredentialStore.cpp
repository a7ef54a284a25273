#include "SecretServiceCredentialStore.h"

#include <QByteArray>
#include <QStringDecoder>

#include <condition_variable>
#include <mutex>
#include <thread>

// GLib's D-Bus headers name a struct member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

constexpr const char* serviceAttribute = "service";
constexpr const char* accountAttribute = "account";
constexpr const char* serviceName = "com.corlune.track";

const SecretSchema* schema() {
    static const SecretSchema instance = [] {
        SecretSchema s{};
        s.name = serviceName;
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {serviceAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {accountAttribute, SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    return &instance;
}

// Cancels a store call that is still waiting when the bound has passed. libsecret's synchronous
// calls run their own loop on the calling thread, so the cancel comes from a thread of its own.
class Deadline {
public:
    explicit Deadline(std::chrono::milliseconds bound)
        : timer([this, bound] {
            std::unique_lock lock(mutex);
            if (!finishedOrTimedOut.wait_for(lock, bound, [this] { return finished; }))
                g_cancellable_cancel(cancellable);
        }) {}
    ~Deadline() {
        {
            const std::lock_guard lock(mutex);
            finished = true;
        }
        finishedOrTimedOut.notify_one();
        timer.join();
        g_object_unref(cancellable);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

    GCancellable* get() const { return cancellable; }

private:
    GCancellable* cancellable = g_cancellable_new();
    std::mutex mutex;
    std::condition_variable finishedOrTimedOut;
    bool finished = false;
    std::thread timer; // last: it uses every member above
};

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

} // namespace

SecretServiceCredentialStore::SecretServiceCredentialStore(std::chrono::milliseconds bound)
    : bound(bound) {}

QString SecretServiceCredentialStore::account(const QString& employeeId,
                                              const std::optional<QString>& jobId) {
    return employeeId + u'|' + jobId.value_or(QString());
}

bool SecretServiceCredentialStore::kcSavePassword(const QString& password, const QString& employeeId,
                                                  const std::optional<QString>& jobId) {
    if (password.isEmpty() || employeeId.isEmpty())
        return false;
    const QString accountText = account(employeeId, jobId);
    const QByteArray accountUtf8 = accountText.toUtf8();
    const QByteArray label = QStringLiteral("Corlune Track: %1").arg(accountText).toUtf8();
    const QByteArray secret = password.toUtf8();
    const Deadline deadline(bound);

    // Delete then add, never update in place; a missing item is not an error.
    GError* error = nullptr;
    secret_password_clear_sync(schema(), deadline.get(), &error, serviceAttribute, serviceName,
                               accountAttribute, accountUtf8.constData(), nullptr);
    g_clear_error(&error);

    SecretValue* value = secret_value_new(secret.constData(), secret.size(), "text/plain");
    const gboolean stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, label.constData(), value, deadline.get(), &error,
        serviceAttribute, serviceName, accountAttribute, accountUtf8.constData(), nullptr);
    secret_value_unref(value);
    g_clear_error(&error);
    return stored;
}

std::optional<QString>
SecretServiceCredentialStore::kcLoadPasswordForEmployee(const QString& employeeId,
                                                        const std::optional<QString>& jobId) {
    if (employeeId.isEmpty())
        return std::nullopt;
    const QByteArray accountUtf8 = account(employeeId, jobId).toUtf8();
    const Deadline deadline(bound);
    GError* error = nullptr;
    // The binary lookup: the text lookup would drop secrets whose content type is not text/plain
    // and decode the rest less strictly.
    SecretValue* value =
        secret_password_lookup_binary_sync(schema(), deadline.get(), &error, serviceAttribute, serviceName,
                                           accountAttribute, accountUtf8.constData(), nullptr);
    g_clear_error(&error);
    if (!value)
        return std::nullopt;
    gsize length = 0;
    const gchar* bytes = secret_value_get(value, &length);
    std::optional<QString> password = decodeUtf8(QByteArrayView(bytes, static_cast<qsizetype>(length)));
    secret_value_unref(value);
    return password;
}
