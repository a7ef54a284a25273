// Counting real X input under Xvfb: the harness presses keys and buttons through XTEST, into our
// window or into another X client's, and the real monitors count.
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "InputTracking.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"
#include "XDesktop.h"
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Waits until Qt has taken in every event the X server sent it so far: a property change on our
// window comes back as a PropertyNotify behind all of them.
struct XRoundTrip final : QAbstractNativeEventFilter {
    explicit XRoundTrip(WId window)
        : window(static_cast<xcb_window_t>(window)) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    bool wait() {
        xcb_connection_t* connection = XcbRequests::qtConnection();
        ++sent;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_COMMAND, XCB_ATOM_CARDINAL,
                            32, 1, &sent);
        xcb_flush(connection);
        const bool taken = QTest::qWaitFor([this] { return returned == sent; }, 10000);
        QCoreApplication::processEvents();
        return taken;
    }
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_property_notify_event_t*>(message);
        returned +=
            (event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && event->atom == XCB_ATOM_WM_COMMAND;
        return false;
    }

    xcb_window_t window = 0;
    std::uint32_t sent = 0;
    std::uint32_t returned = 0;
};

TEST(X11InputCounting, Scripts) {
    XDesktop desktop;
    // The other client: a window on a connection of the test's own.
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> other(xcb_connect(nullptr, nullptr),
                                                                             xcb_disconnect);
    const xcb_window_t theirs = xcb_generate_id(other.get());
    xcb_create_window(other.get(), XCB_COPY_FROM_PARENT, theirs, XcbRequests::firstRoot(other.get()), 700,
                      100, 300, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_map_window(other.get(), theirs);
    xcb_flush(other.get());
    ASSERT_TRUE(desktop.waitUntil([&] { return desktop.isViewable(theirs); }, std::chrono::seconds(10)));
    QLineEdit ours;
    ours.setGeometry(100, 100, 200, 40);
    ours.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&ours));
    XRoundTrip roundTrip(ours.winId());

    // Steps: "global" and "local" switch "Track inputs globally" on and off; "clock" clocks in; "ours" and
    // "theirs" give a window the focus and the pointer; a number clicks that button (4 to 7 are wheel steps),
    // anything else is a key ("Shift_L+a").
    const struct {
        const char* name;
        const char* steps;
        const char* counted; // keys/clicks
    } cases[] = {
        {"another client's presses count globally; a double click is two",
         "global clock theirs h e l l o 1 3 1 1", "5/4"},
        {"modifiers alone and wheel steps are not presses",
         "global clock theirs Shift_L Shift_R Control_L Alt_L Super_L Caps_Lock Caps_Lock ISO_Level3_Shift "
         "Num_Lock Num_Lock 4 5 6 7 Shift_L+a Control_L+Alt_L+b",
         "2/0"},
        {"our window counts once with global monitoring", "global clock ours a b c 1 1 1", "3/3"},
        {"our window counts once without it, another client not at all",
         "local clock ours a b c 1 1 1 theirs x y 1", "3/3"},
        {"switching the check box keeps the counts", "global clock theirs a b local c d 1 global e 1", "3/1"},
    };
    for (const auto& c : cases) {
        FakeTime time;
        FakeIdleTimeSource idle;
        RecordingReports reports;
        ScriptedBreakPrompt prompt;
        WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
        InputTracking tracking(session, std::make_unique<XInput2GlobalMonitor>(XcbRequests::qtConnection()));
        ASSERT_TRUE(tracking.globalMonitoringAvailable()) << "no XInput 2.2 on the test display";
        QPoint pointer;
        for (const QString& step : QString::fromLatin1(c.steps).split(u' ')) {
            bool isButton = false;
            const int button = step.toInt(&isButton);
            if (isButton) {
                desktop.click(desktop.root(), pointer.x(), pointer.y(), button);
                continue;
            }
            if (step == "ours") {
                ASSERT_TRUE(desktop.focus(ours.winId()));
                ASSERT_TRUE(QTest::qWaitFor([&] { return ours.isActiveWindow(); }, 10000));
                pointer = ours.mapToGlobal(ours.rect().center());
            } else if (step == "theirs") {
                ASSERT_TRUE(desktop.focus(theirs));
                pointer = {850, 200};
            } else if (step == "global" || step == "local" || step == "clock") {
                // Each press counts under the state it was made in.
                ASSERT_TRUE(roundTrip.wait());
                if (step == "clock")
                    session.onClock();
                else
                    tracking.onGlobalTrackToggled(step == "global");
            } else {
                desktop.key(step.toStdString());
            }
        }
        ASSERT_TRUE(roundTrip.wait());
        EXPECT_EQ(QStringLiteral("%1/%2").arg(session.keyCount).arg(session.clickCount).toStdString(),
                  c.counted)
            << c.name;
    }
}

} // namespace
