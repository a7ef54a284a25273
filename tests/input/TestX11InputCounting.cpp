// Counting real X input under Xvfb: xdotool types and clicks through XTEST, into another X
// client (XInputTarget) or into a window of this process, with the real monitors.
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "InputTargetProcess.h"
#include "InputTracking.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"
#include "XdoTool.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// A widget of our window that tells when the presses sent to it have all arrived.
class ClickArea final : public QWidget {
public:
    explicit ClickArea(QWidget* parent)
        : QWidget(parent) {
        setMinimumSize(200, 100);
    }
    int releases = 0;

protected:
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
};

// Waits until Qt has handled every event the X server sent it so far: a property change on our
// window comes back as a PropertyNotify behind all of them.
class XRoundTrip final : public QAbstractNativeEventFilter {
public:
    explicit XRoundTrip(WId window)
        : window(static_cast<xcb_window_t>(window)) {
        const char name[] = "CORLUNE_TEST_ROUND_TRIP";
        const XcbRequests::ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, sizeof name - 1, name), nullptr));
        atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    bool wait() {
        ++sent;
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom, XCB_ATOM_CARDINAL, 32, 1, &sent);
        xcb_flush(connection);
        return QTest::qWaitFor([this] { return returned == sent; }, 10000);
    }
    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_property_notify_event_t*>(message);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY && event->window == window &&
            event->atom == atom)
            ++returned;
        return false;
    }

private:
    xcb_connection_t* connection = XcbRequests::qtConnection();
    xcb_window_t window = 0;
    xcb_atom_t atom = XCB_ATOM_NONE;
    std::uint32_t sent = 0;
    std::uint32_t returned = 0;
};

// Keycode 8, which Xvfb's keymap leaves without keysyms, bound to one; spare again at the end.
class SpareKeycode {
public:
    SpareKeycode() = default;
    ~SpareKeycode() { bind(XCB_NO_SYMBOL); }
    SpareKeycode(const SpareKeycode&) = delete;
    SpareKeycode& operator=(const SpareKeycode&) = delete;
    void bind(xcb_keysym_t keysym) {
        std::free(
            xcb_request_check(connection, xcb_change_keyboard_mapping_checked(connection, 1, 8, 1, &keysym)));
    }

private:
    xcb_connection_t* connection = XcbRequests::qtConnection();
};

class X11InputCountingTest : public ::testing::Test {
protected:
    X11InputCountingTest() {
        auto xinput = std::make_unique<XInput2GlobalMonitor>(XcbRequests::qtConnection());
        monitor = xinput.get();
        tracking = std::make_unique<InputTracking>(session, std::move(xinput));

        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        area = new ClickArea(&window);
        layout->addWidget(edit);
        layout->addWidget(area);
        window.move(100, 100);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    void SetUp() override {
        ASSERT_TRUE(monitor->isAvailable()) << "no XInput 2.2 on the test display";
        ASSERT_FALSE(target.windowId().isEmpty()) << "the other X client did not show its window";
    }

    void focusOurWindow() {
        ASSERT_TRUE(xdotool({"windowfocus", "--sync", QString::number(window.winId())}));
        ASSERT_TRUE(QTest::qWaitFor([this] { return window.isActiveWindow(); }, 10000));
        edit->setFocus();
    }
    void focusTarget() { ASSERT_TRUE(xdotool({"windowfocus", "--sync", target.windowId()})); }

    // Types into our line edit and waits until Qt has delivered every press. Focus is set again
    // in the same xdotool run, in case another test's window took it.
    void typeIntoOurWindow(const QString& letters) {
        QStringList arguments = {"windowfocus", "--sync",  QString::number(window.winId()),
                                 "key",         "--delay", "30"};
        for (QChar letter : letters)
            arguments.append(letter);
        const QString expected = edit->text() + letters;
        ASSERT_TRUE(xdotool(arguments));
        ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == expected; }, 10000));
    }
    void typeIntoTarget(const QString& letters) {
        QStringList arguments = {"windowfocus", "--sync", target.windowId(), "key", "--delay", "30"};
        for (QChar letter : letters)
            arguments.append(letter);
        const int expected = target.keys() + static_cast<int>(letters.size());
        ASSERT_TRUE(xdotool(arguments));
        ASSERT_TRUE(target.waitForKeys(expected));
    }
    // \a clicks: xdotool click arguments, e.g. {"1"} or {"--repeat", "2", "--delay", "80", "1"}.
    // No "mousemove --sync": it waits ~15 s when the pointer is already there, and the move and
    // the clicks go in order on xdotool's one connection anyway.
    void clickInOurWindow(const QStringList& clicks, int presses) {
        const QPoint at = area->mapToGlobal(area->rect().center());
        const int expected = area->releases + presses;
        ASSERT_TRUE(xdotool(
            QStringList{"mousemove", QString::number(at.x()), QString::number(at.y()), "click"} + clicks));
        ASSERT_TRUE(QTest::qWaitFor([&] { return area->releases == expected; }, 10000));
    }
    void clickInTarget(const QStringList& clicks, int presses) {
        const QPoint at = target.centre();
        const int expected = target.buttons() + presses;
        ASSERT_TRUE(xdotool(
            QStringList{"mousemove", QString::number(at.x()), QString::number(at.y()), "click"} + clicks));
        ASSERT_TRUE(target.waitForButtons(expected));
    }

    // Everything the server sent so far has been counted, by both kinds of monitor.
    void settle() {
        monitor->processPendingEvents();
        EXPECT_TRUE(roundTrip.wait());
        QCoreApplication::processEvents();
    }
    void expectCounts(qint64 keys, qint64 clicks) {
        settle();
        EXPECT_EQ(session.keyCount, keys);
        EXPECT_EQ(session.clickCount, clicks);
        EXPECT_EQ(session.unsentKeys, keys);
        EXPECT_EQ(session.unsentClicks, clicks);
    }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
    XInput2GlobalMonitor* monitor = nullptr;
    std::unique_ptr<InputTracking> tracking;
    QWidget window;
    QLineEdit* edit = nullptr;
    ClickArea* area = nullptr;
    InputTargetProcess target;
    XRoundTrip roundTrip{window.winId()};
};

TEST_F(X11InputCountingTest, GlobalMonitoringCountsKeysAndClicksMadeInAnotherClient) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusTarget();
    typeIntoTarget("hello");
    expectCounts(5, 0);
    // Left, right, then a double click: four presses.
    clickInTarget({"1"}, 1);
    clickInTarget({"3"}, 1);
    clickInTarget({"--repeat", "2", "--delay", "80", "1"}, 2);
    expectCounts(5, 4);
}

TEST_F(X11InputCountingTest, ModifiersAloneAndWheelStepsCountNothing) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusTarget();
    // Caps Lock and Num Lock twice, to leave the keyboard as it was.
    ASSERT_TRUE(xdotool({"key", "--delay", "30", "shift", "Shift_R", "ctrl", "alt", "super", "Caps_Lock",
                         "Caps_Lock", "ISO_Level3_Shift", "Num_Lock", "Num_Lock"}));
    clickInTarget({"4"}, 1);
    clickInTarget({"5"}, 1);
    clickInTarget({"6"}, 1);
    clickInTarget({"7"}, 1);
    expectCounts(0, 0);
    // A modifier with a letter is one key press.
    ASSERT_TRUE(xdotool({"key", "shift+a", "ctrl+alt+b"}));
    expectCounts(2, 0);
    // The keymap changes under the monitor, as with xmodmap: a key becomes Hyper_R, then ç.
    SpareKeycode key;
    key.bind(0xffee); // XK_Hyper_R
    ASSERT_TRUE(xdotool({"key", "Hyper_R"}));
    expectCounts(2, 0);
    key.bind(0xe7); // XK_ccedilla
    ASSERT_TRUE(xdotool({"key", "ccedilla"}));
    expectCounts(3, 0);
}

TEST_F(X11InputCountingTest, OurWindowCountsOnceWithGlobalMonitoring) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusOurWindow();
    typeIntoOurWindow("abc");
    clickInOurWindow({"1"}, 1);
    clickInOurWindow({"--repeat", "2", "--delay", "80", "1"}, 2);
    expectCounts(3, 3);
}

TEST_F(X11InputCountingTest, OurWindowCountsOnceWithoutGlobalMonitoringAndOtherClientsNotAtAll) {
    tracking->enableInputTracking(false);
    session.onClock();
    focusOurWindow();
    typeIntoOurWindow("abc");
    clickInOurWindow({"1"}, 1);
    clickInOurWindow({"--repeat", "2", "--delay", "80", "1"}, 2);
    expectCounts(3, 3);

    focusTarget();
    typeIntoTarget("xyz");
    clickInTarget({"1"}, 1);
    expectCounts(3, 3);
}

TEST_F(X11InputCountingTest, NothingCountsWhileClockedOutOrPaused) {
    tracking->enableInputTracking(true);
    focusTarget();
    typeIntoTarget("ab");
    clickInTarget({"1"}, 1);
    expectCounts(0, 0);

    session.onClock();
    session.onPause();
    ASSERT_EQ(session.mode, 2);
    typeIntoTarget("cd");
    clickInTarget({"1"}, 1);
    focusOurWindow();
    typeIntoOurWindow("ef");
    clickInOurWindow({"1"}, 1);
    expectCounts(0, 0);

    session.onPause();
    typeIntoOurWindow("g");
    expectCounts(1, 0);
}

TEST_F(X11InputCountingTest, SecondToggleKeepsTheCounts) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusTarget();
    typeIntoTarget("ab");
    expectCounts(2, 0);

    tracking->onGlobalTrackToggled(false);
    typeIntoTarget("cd");
    expectCounts(2, 0);

    tracking->onGlobalTrackToggled(true);
    typeIntoTarget("ef");
    clickInTarget({"1"}, 1);
    expectCounts(4, 1);

    tracking->disableInputTracking();
    tracking->disableInputTracking();
    typeIntoTarget("g");
    expectCounts(4, 1);
}

} // namespace
