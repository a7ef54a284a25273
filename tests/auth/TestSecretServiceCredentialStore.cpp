// Against the real Secret Service of the test session (gnome-keyring, unlocked).
#include "QtPrinters.h"
#include "SecretServiceCredentialStore.h"

#include <QProcess>
#include <QUuid>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#pragma push_macro("signals")
#undef signals
#include <libsecret/secret.h>
#pragma pop_macro("signals")

namespace {

const QString service = QStringLiteral("com.corlune.track");

struct StoredItem {
    std::map<std::string, std::string> attributes;
    QByteArray secret;
};

// Every item of the Secret Service whose "service" and "account" match, read without our
// schema, as any other client of the keyring sees them.
std::vector<StoredItem> itemsFor(const QString& account) {
    GHashTable* query = g_hash_table_new(g_str_hash, g_str_equal);
    const QByteArray accountUtf8 = account.toUtf8();
    g_hash_table_insert(query, const_cast<char*>("service"), const_cast<char*>("com.corlune.track"));
    g_hash_table_insert(query, const_cast<char*>("account"), const_cast<char*>(accountUtf8.constData()));
    GError* error = nullptr;
    const auto flags =
        static_cast<SecretSearchFlags>(SECRET_SEARCH_ALL | SECRET_SEARCH_UNLOCK | SECRET_SEARCH_LOAD_SECRETS);
    GList* found = secret_service_search_sync(nullptr, nullptr, query, flags, nullptr, &error);
    g_hash_table_unref(query);
    EXPECT_EQ(error, nullptr) << (error ? error->message : "");
    g_clear_error(&error);

    std::vector<StoredItem> items;
    for (GList* l = found; l; l = l->next) {
        auto* item = static_cast<SecretItem*>(l->data);
        StoredItem stored;
        GHashTable* attributes = secret_item_get_attributes(item);
        GHashTableIter it;
        gpointer key = nullptr;
        gpointer value = nullptr;
        g_hash_table_iter_init(&it, attributes);
        while (g_hash_table_iter_next(&it, &key, &value))
            stored.attributes[static_cast<const char*>(key)] = static_cast<const char*>(value);
        g_hash_table_unref(attributes);
        if (SecretValue* secret = secret_item_get_secret(item)) {
            gsize length = 0;
            const gchar* bytes = secret_value_get(secret, &length);
            stored.secret = QByteArray(bytes, static_cast<qsizetype>(length));
            secret_value_unref(secret);
        }
        items.push_back(stored);
    }
    g_list_free_full(found, g_object_unref);
    return items;
}

// Plants an item the program itself would never write (odd bytes, odd account).
void plant(const QString& account, const QByteArray& secret) {
    static const SecretSchema schema = [] {
        SecretSchema s{};
        s.name = "com.corlune.track";
        s.flags = SECRET_SCHEMA_NONE;
        s.attributes[0] = {"service", SECRET_SCHEMA_ATTRIBUTE_STRING};
        s.attributes[1] = {"account", SECRET_SCHEMA_ATTRIBUTE_STRING};
        return s;
    }();
    SecretValue* value = secret_value_new(secret.constData(), secret.size(), "application/octet-stream");
    GError* error = nullptr;
    const QByteArray accountUtf8 = account.toUtf8();
    const gboolean stored = secret_password_store_binary_sync(
        &schema, SECRET_COLLECTION_DEFAULT, "planted", value, nullptr, &error, "service", "com.corlune.track",
        "account", accountUtf8.constData(), nullptr);
    secret_value_unref(value);
    ASSERT_TRUE(stored) << (error ? error->message : "");
    g_clear_error(&error);
}

// An employee ID no other test uses, so the tests share one keyring without meeting.
QString freshEmployee(const char* stem) {
    return QString::fromUtf8(stem) + u'-' + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

class SecretStoreTest : public ::testing::Test {
protected:
    SecretServiceCredentialStore store{QStringLiteral(CORLUNE_KEYRING_HELPER)};
};

TEST_F(SecretStoreTest, NonAsciiPasswordIsStoredAsUtf8AndLoadsBackUnchanged) {
    const QString employee = freshEmployee("émployé");
    const QString job = QStringLiteral("jöb 7");
    const QString password = QStringLiteral("pässwörd ✓ 日本 𝄞 \"' |");

    ASSERT_TRUE(store.kcSavePassword(password, employee, job));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, job), password);

    const std::vector<StoredItem> items = itemsFor(employee + u'|' + job);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].attributes.at("service"), "com.corlune.track");
    EXPECT_EQ(items[0].attributes.at("account"), (employee + u'|' + job).toStdString());
    EXPECT_EQ(items[0].secret, password.toUtf8());
}

TEST_F(SecretStoreTest, AnotherProcessFindsTheItemByServiceAndAccount) {
    const QString employee = freshEmployee("e");
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("s3cret ü"), employee, QStringLiteral("9")));

    QProcess lookup;
    lookup.start(QStringLiteral("secret-tool"), {QStringLiteral("lookup"), QStringLiteral("service"), service,
                                                 QStringLiteral("account"), employee + QStringLiteral("|9")});
    ASSERT_TRUE(lookup.waitForFinished(30000));
    EXPECT_EQ(lookup.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(lookup.readAllStandardOutput()), QStringLiteral("s3cret ü"));
}

TEST_F(SecretStoreTest, SecondSaveReplacesTheFirstLeavingOneItem) {
    const QString employee = freshEmployee("e");
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("first"), employee, QStringLiteral("1")));
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("second"), employee, QStringLiteral("1")));

    const std::vector<StoredItem> items = itemsFor(employee + QStringLiteral("|1"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].secret, QByteArray("second"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("1")), QStringLiteral("second"));
}

TEST_F(SecretStoreTest, AbsentAndEmptyJobIdsAreTheSameAccount) {
    const QString employee = freshEmployee("e");
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("pw"), employee, std::nullopt));

    EXPECT_EQ(itemsFor(employee + u'|').size(), 1u);
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, std::nullopt), QStringLiteral("pw"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QString()), QStringLiteral("pw"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("")), QStringLiteral("pw"));
}

TEST_F(SecretStoreTest, EachJobHasItsOwnPassword) {
    const QString employee = freshEmployee("e");
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("for job 1"), employee, QStringLiteral("1")));
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("for job 2"), employee, QStringLiteral("2")));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("1")), QStringLiteral("for job 1"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("2")), QStringLiteral("for job 2"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("3")), std::nullopt);
}

TEST_F(SecretStoreTest, EmptyPasswordOrEmployeeIsRefusedAndTheStoredItemStays) {
    const QString employee = freshEmployee("e");
    ASSERT_TRUE(store.kcSavePassword(QStringLiteral("kept"), employee, QStringLiteral("1")));

    EXPECT_FALSE(store.kcSavePassword(QString(), employee, QStringLiteral("1")));
    EXPECT_FALSE(store.kcSavePassword(QStringLiteral(""), employee, QStringLiteral("1")));
    EXPECT_FALSE(store.kcSavePassword(QStringLiteral("other"), QString(), QStringLiteral("1")));

    const std::vector<StoredItem> items = itemsFor(employee + QStringLiteral("|1"));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].secret, QByteArray("kept"));
    EXPECT_TRUE(itemsFor(QStringLiteral("|1")).empty());
}

TEST_F(SecretStoreTest, EmptyEmployeeLoadsNoneEvenWhenAnAccountStartsWithTheBar) {
    const QString job = freshEmployee("job");
    plant(u'|' + job, QByteArray("planted"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(QString(), job), std::nullopt);
}

TEST_F(SecretStoreTest, MissingItemLoadsNone) {
    EXPECT_EQ(store.kcLoadPasswordForEmployee(freshEmployee("nobody"), QStringLiteral("1")), std::nullopt);
}

TEST_F(SecretStoreTest, SecretThatIsNotUtf8LoadsNone) {
    const QString employee = freshEmployee("e");
    plant(employee + QStringLiteral("|bad"), QByteArray("ab\xff\xfe", 4));
    plant(employee + QStringLiteral("|cut"), QByteArray("caf\xc3", 4)); // a truncated é
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("bad")), std::nullopt);
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("cut")), std::nullopt);
}

TEST_F(SecretStoreTest, EmptySecretLoadsAsTheEmptyString) {
    const QString employee = freshEmployee("e");
    plant(employee + QStringLiteral("|empty"), QByteArray());
    const std::optional<QString> loaded = store.kcLoadPasswordForEmployee(employee, QStringLiteral("empty"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_TRUE(loaded->isEmpty());
}

TEST_F(SecretStoreTest, SecretOfAnotherContentTypeStillLoadsWhenItIsUtf8) {
    const QString employee = freshEmployee("e");
    plant(employee + QStringLiteral("|bin"), QByteArray("\xef\xbb\xbfplain ü"));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(employee, QStringLiteral("bin")),
              QStringLiteral("\uFEFFplain ü"));
}

TEST_F(SecretStoreTest, PairsJoiningToOneAccountShareOneItem) {
    // "a|b" with job "c" and "a" with job "b|c" both make the account "a|b|c".
    const QString stem = freshEmployee("a");
    ASSERT_TRUE(
        store.kcSavePassword(QStringLiteral("shared"), stem + QStringLiteral("|b"), QStringLiteral("c")));
    EXPECT_EQ(store.kcLoadPasswordForEmployee(stem, QStringLiteral("b|c")), QStringLiteral("shared"));
}

} // namespace
