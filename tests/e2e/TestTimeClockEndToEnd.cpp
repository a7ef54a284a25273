// A working day in miniature on the real binaries: sign in through the dialog, clock in, work
// (keys and clicks), pause, resume, clock out, quit; the service ends up with every event
// exactly once, with the instants at which the buttons were pressed.
#include "E2eTest.h"

#include <QSettings>

#include <csignal>

namespace {

class TimeClockEndToEnd : public E2eTest {};

TEST_F(TimeClockEndToEnd, SignInClockInPauseResumeClockOutAndQuit) {
    startService();
    client->launch();
    client->signInThroughDialog("demo", "demo", "demo");
    client->dismissFirstRunNotice();
    ASSERT_TRUE(client->settle());

    const QSettings settings(QString::fromStdString(client->settingsPath()), QSettings::IniFormat);
    EXPECT_EQ(settings.value("CLLastEmpId").toString().toStdString(), "demo");
    EXPECT_EQ(settings.value("CLLastJobId").toString().toStdString(), "demo");

    // Online, each report is answered before the press is done with: the service holds it by
    // the time the window takes events again.
    SessionJournal journal;
    journal.clockIn(client->pressClockButton());
    EXPECT_EQ(stored().size(), 1u);

    client->pressKeys(5);
    journal.keysPressed(5);
    client->clickIdleArea(3);
    journal.clicksMade(3);
    journal.pause(client->pressPauseButton());
    EXPECT_EQ(stored().size(), 3u);

    journal.resume(client->pressPauseButton());
    EXPECT_EQ(stored().size(), 4u);

    journal.clockOut(client->pressClockButton());
    EXPECT_EQ(stored().size(), 6u);

    EXPECT_EQ(client->quit(), 0);
    ASSERT_EQ(service->stop(SIGTERM), 0);
    expectStoredExactlyOnce(stored(), journal, Delivery::InOrder);
}

} // namespace
