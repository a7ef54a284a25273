// The real Secret Service of the test session (gnome-keyring, unlocked), through the helper.
#include "PrivateSessionBus.h"
#include "QtPrinters.h"
#include "SecretServiceCredentialStore.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

TEST(SecretServiceCredentialStore, SavesReplacesAndLoadsOneItemPerPair) {
    SecretServiceCredentialStore store(QStringLiteral(CORLUNE_KEYRING_HELPER));
    // An employee no other run uses, so that runs can share a keyring.
    const QString employee = "émployé " + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const QString password = QStringLiteral("pässwörd ✓ 𝄞 \"|");
    ASSERT_TRUE(store.kcSavePassword("first", employee, std::nullopt));
    ASSERT_TRUE(store.kcSavePassword(password, employee, QString())); // the same account
    EXPECT_FALSE(store.kcSavePassword("", employee, QString()));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, std::nullopt), password);
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, "jöb"), std::nullopt);

    // Any other client of the keyring finds one item by service and account, holding the bytes.
    QProcess search;
    search.start("secret-tool",
                 {"search", "--all", "service", "com.corlune.track", "account", employee + "|"});
    ASSERT_TRUE(search.waitForFinished(30000));
    const QString found = QString::fromUtf8(search.readAllStandardOutput() + search.readAllStandardError());
    EXPECT_EQ(found.count("\nsecret = "), 1) << found.toStdString();
    EXPECT_TRUE(found.contains("\nsecret = " + password + "\n")) << found.toStdString();
}

TEST(SecretServiceCredentialStore, BusWithoutASecretServiceAnswersNoneAtOnce) {
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    const QByteArray sessionBus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8()); // the helper's bus
    SecretServiceCredentialStore store(QStringLiteral(CORLUNE_KEYRING_HELPER));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_FALSE(store.kcSavePassword("pw", "e", "j"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee("e", "j"), std::nullopt);
    EXPECT_LT(elapsed.elapsed(), 15000); // nowhere near the bound, which allows for an unlock prompt
    qputenv("DBUS_SESSION_BUS_ADDRESS", sessionBus);
}

} // namespace
