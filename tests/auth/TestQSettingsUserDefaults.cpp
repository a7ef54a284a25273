#include "QSettingsUserDefaults.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString configHome() {
    return qEnvironmentVariable("XDG_CONFIG_HOME");
}

QString settingsFile() {
    return configHome() + QStringLiteral("/Corlune/Corlune Track.conf");
}

class UserDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(settingsFile()); }

    // What a hand edit of the file, or an older version of the program, left there.
    static void writeDirectly(const QString& key, const QVariant& value) {
        QSettings file(settingsFile(), QSettings::IniFormat);
        file.setValue(key, value);
        file.sync();
    }
};

TEST_F(UserDefaultsTest, KeysReachTheProgramsOwnFileUnderTheirExactNames) {
    {
        QSettingsUserDefaults defaults;
        defaults.setString(QStringLiteral("CLLastEmpId"), QStringLiteral("émp 42"));
        defaults.setString(QStringLiteral("CLLastJobId"), QStringLiteral("0"));
        defaults.setBool(QStringLiteral("CLDidShowFirstRun"), true);
        defaults.synchronize();

        // Flushed by synchronize(), while the object still lives.
        ASSERT_TRUE(QFile::exists(settingsFile()));
        QSettings file(settingsFile(), QSettings::IniFormat);
        EXPECT_EQ(file.allKeys().size(), 3);
        EXPECT_EQ(file.value(QStringLiteral("CLLastEmpId")).toString(), QStringLiteral("émp 42"));
        EXPECT_EQ(file.value(QStringLiteral("CLLastJobId")).toString(), QStringLiteral("0"));
        EXPECT_EQ(file.value(QStringLiteral("CLDidShowFirstRun")).toString(), QStringLiteral("true"));
    }
    // A later launch reads them back.
    QSettingsUserDefaults later;
    EXPECT_EQ(later.stringForKey(QStringLiteral("CLLastEmpId")), QStringLiteral("émp 42"));
    EXPECT_EQ(later.stringForKey(QStringLiteral("CLLastJobId")), QStringLiteral("0"));
    EXPECT_TRUE(later.boolForKey(QStringLiteral("CLDidShowFirstRun")));
    later.setBool(QStringLiteral("CLDidShowFirstRun"), false);
    later.synchronize();
    EXPECT_FALSE(QSettingsUserDefaults().boolForKey(QStringLiteral("CLDidShowFirstRun")));
}

TEST_F(UserDefaultsTest, AbsentKeysReadAsEmptyAndFalse) {
    QSettingsUserDefaults defaults;
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CLLastEmpId")), QString());
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("CLDidShowFirstRun")));
}

TEST_F(UserDefaultsTest, TextThatTheFileFormatEscapesComesBackUnchanged) {
    const QStringList values = {QStringLiteral("  spaced  "), QStringLiteral("a=b;c,d \"q\" \\"),
                                QStringLiteral("@Invalid()"), QStringLiteral("line\nbreak")};
    for (const QString& value : values) {
        {
            QSettingsUserDefaults defaults;
            defaults.setString(QStringLiteral("CLLastEmpId"), value);
            defaults.synchronize();
        }
        QSettingsUserDefaults later;
        EXPECT_EQ(later.stringForKey(QStringLiteral("CLLastEmpId")), value);
    }
}

TEST_F(UserDefaultsTest, HandEditedFlagsReadAsTrueOnlyWhenTheySayYes) {
    struct Case {
        const char* stored;
        bool expected;
    };
    const Case cases[] = {{"true", true},   {"TRUE", true}, {"yes", true}, {"1", true}, {"2", true},
                          {"false", false}, {"no", false},  {"0", false},  {"", false}, {"garbage", false}};
    for (const Case& c : cases) {
        writeDirectly(QStringLiteral("CLDidShowFirstRun"), QString::fromUtf8(c.stored));
        QSettingsUserDefaults defaults;
        EXPECT_EQ(defaults.boolForKey(QStringLiteral("CLDidShowFirstRun")), c.expected)
            << "stored: " << c.stored;
    }
}

} // namespace

int main(int argc, char** argv) {
    // QSettings settles on its folder at first use, so the private one is set before any test.
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
