#include "FakeUserDefaults.h"
#include "FirstRunNotice.h"
#include "QtPrinters.h"
#include "ScriptedAlerts.h"

#include <gtest/gtest.h>

TEST(FirstRunNotice, ShownOnceAndFlaggedOnlyAfterDismissal) {
    FakeUserDefaults defaults;
    ScriptedAlerts alerts;
    bool flaggedWhileOpen = true;
    alerts.whileOpen = [&](const AlertSpec&) { flaggedWhileOpen = defaults.boolForKey("CLDidShowFirstRun"); };

    showFirstRunIfNeeded(defaults, alerts);
    ASSERT_EQ(alerts.shown.size(), 1);
    const AlertSpec& notice = alerts.shown.first();
    EXPECT_EQ(notice.message, "Welcome to Corlune Track");
    EXPECT_EQ(
        notice.informative,
        "This app tracks your work hours. It auto-pauses when you're inactive and resumes when you return. "
        "Input counts (keys/clicks) are only tracked while clocked in. Data is stored locally and will sync "
        "when online.");
    EXPECT_EQ(notice.style, AlertSpec::Style::Informational);
    EXPECT_EQ(notice.buttons, QStringList{"Got it"});
    EXPECT_FALSE(flaggedWhileOpen);
    EXPECT_TRUE(defaults.boolForKey("CLDidShowFirstRun"));

    showFirstRunIfNeeded(defaults, alerts);
    EXPECT_EQ(alerts.shown.size(), 1);
}
