// The store on a session bus without a working Secret Service, and without its helper: a
// process of its own, on a private bus that its helpers inherit.
#include "PrivateSessionBus.h"
#include "QtPrinters.h"
#include "SecretServiceCredentialStore.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <chrono>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace std::chrono_literals;

namespace {

PrivateSessionBus* bus = nullptr;

// Owns the Secret Service's name and never answers: what a keyring looks like while it waits
// on an unlock prompt that cannot show. Runs on GDBus's worker thread, so it needs no loop of
// its own while the store blocks this one.
class SilentSecretService {
public:
    explicit SilentSecretService(const QString& address) {
        GError* error = nullptr;
        connection = g_dbus_connection_new_for_address_sync(
            address.toUtf8().constData(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, &error);
        if (!connection) {
            ADD_FAILURE() << error->message;
            g_clear_error(&error);
            return;
        }
        filter =
            g_dbus_connection_add_filter(connection, &SilentSecretService::swallowCalls, nullptr, nullptr);
        constexpr guint32 doNotQueue = 4;
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.secrets", doNotQueue),
            G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 10000, nullptr, &error);
        guint32 result = 0;
        if (reply) {
            g_variant_get(reply, "(u)", &result);
            g_variant_unref(reply);
        }
        owns = result == 1; // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
        g_clear_error(&error);
    }
    ~SilentSecretService() {
        if (!connection)
            return;
        g_dbus_connection_remove_filter(connection, filter);
        g_dbus_connection_close_sync(connection, nullptr, nullptr);
        g_object_unref(connection);
    }
    SilentSecretService(const SilentSecretService&) = delete;
    SilentSecretService& operator=(const SilentSecretService&) = delete;

    bool ownsName() const { return owns; }

private:
    static GDBusMessage* swallowCalls(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
        if (incoming && g_dbus_message_get_message_type(message) == G_DBUS_MESSAGE_TYPE_METHOD_CALL) {
            g_object_unref(message);
            return nullptr;
        }
        return message;
    }

    GDBusConnection* connection = nullptr;
    guint filter = 0;
    bool owns = false;
};

TEST(SecretStoreWithoutService, SaveFailsAndLoadFindsNothingAtOnce) {
    // With nothing on the bus the calls fail straight away, long before the bound.
    SecretServiceCredentialStore store(QStringLiteral(CORLUNE_KEYRING_HELPER), 60s);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(store.kcSavePassword(QStringLiteral("pw"), QStringLiteral("e1"), QStringLiteral("j")));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(QStringLiteral("e1"), QStringLiteral("j")), std::nullopt);
    EXPECT_LT(elapsed.elapsed(), 30000);
}

TEST(SecretStoreWithoutService, StoreThatNeverAnswersIsGivenUpAtTheBound) {
    SilentSecretService silent(bus->address());
    ASSERT_TRUE(silent.ownsName());
    // Well under D-Bus's own 25 s reply timeout, so only the bound can end these calls early.
    SecretServiceCredentialStore store(QStringLiteral(CORLUNE_KEYRING_HELPER), 1s);

    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(store.kcSavePassword(QStringLiteral("pw"), QStringLiteral("e2"), QStringLiteral("j")));
    const qint64 saveMs = elapsed.restart();
    EXPECT_EQ(store.kcLoadPasswordForEmployee(QStringLiteral("e2"), QStringLiteral("j")), std::nullopt);
    const qint64 loadMs = elapsed.elapsed();

    // One bound for the whole save (its delete and its add), one for the load.
    EXPECT_GE(saveMs, 900);
    EXPECT_LT(saveMs, 15000);
    EXPECT_GE(loadMs, 900);
    EXPECT_LT(loadMs, 15000);
}

TEST(SecretStoreWithoutService, MissingHelperFailsAtOnceWithoutAsking) {
    SecretServiceCredentialStore store(QStringLiteral("/nonexistent/corlune-track-keyring"), 60s);
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(store.kcSavePassword(QStringLiteral("pw"), QStringLiteral("e3"), QStringLiteral("j")));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(QStringLiteral("e3"), QStringLiteral("j")), std::nullopt);
    EXPECT_LT(elapsed.elapsed(), 30000);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    PrivateSessionBus privateBus;
    if (privateBus.address().isEmpty()) {
        fprintf(stderr, "could not start a private D-Bus daemon\n");
        return 1;
    }
    bus = &privateBus;
    qputenv("DBUS_SESSION_BUS_ADDRESS", privateBus.address().toUtf8());
    return RUN_ALL_TESTS();
}
