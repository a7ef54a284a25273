#include "QtPrinters.h"
#include "SessionTexts.h"

#include <gtest/gtest.h>

using SessionTexts::Activity;

TEST(TrayTexts, FollowTheStatusLine) {
    const struct {
        qint64 mode;
        bool autoPaused;
        qint64 work;
        const char* toolTip;
        Activity activity;
    } cases[] = {
        {0, false, 0, "Clocked out \u2014 00:00:00", Activity::ClockedOut},
        {0, true, 3725, "Clocked out \u2014 01:02:05", Activity::ClockedOut},
        {1, false, 5025, "Working \u2014 01:23:45", Activity::Working},
        {1, true, 60, "Auto-paused \u2014 00:01:00", Activity::AutoPaused},
        {2, false, 360000, "Paused \u2014 100:00:00", Activity::Paused},
        {2, true, 59, "Auto-paused \u2014 00:00:59", Activity::AutoPaused},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SessionTexts::trayToolTip(c.mode, c.autoPaused, c.work), QString::fromUtf8(c.toolTip));
        EXPECT_EQ(SessionTexts::activity(c.mode, c.autoPaused), c.activity) << c.toolTip;
    }
}
