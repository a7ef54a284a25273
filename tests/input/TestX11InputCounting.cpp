// Counting real X input under Xvfb: the harness types and clicks through XTEST, into another X
// client (XInputTarget) or into a window of this process, with the real monitors.
#include "ChildProcess.h"
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "InputTracking.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "TempDir.h"
#include "WorkSession.h"
#include "XDesktop.h"
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// The other X client: XInputTarget in a process of its own, a window at (700, 100), 300 by 200,
// that prints "window <id>" once mapped, then a line for each key or button press it receives.
class InputTarget {
public:
    InputTarget() {
        if (const auto line = process.waitForLine("window ", std::chrono::seconds(10)))
            window = std::stoul(line->substr(7));
    }
    XDesktop::WindowId windowId() const { return window; }
    QPoint centre() const { return {850, 200}; }
    int keys() const { return count("key "); }
    int buttons() const { return count("button "); }
    bool waitForKeys(int expected) {
        return QTest::qWaitFor([&] { return keys() >= expected; }, 10000);
    }
    bool waitForButtons(int expected) {
        return QTest::qWaitFor([&] { return buttons() >= expected; }, 10000);
    }

private:
    int count(const std::string& kind) const {
        const QList<QByteArray> lines = QByteArray::fromStdString(process.log()).split('\n');
        return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                              [&](const QByteArray& line) { return line.startsWith(kind); }));
    }

    TempDir dir;
    ChildProcess process{{.argv = {CORLUNE_INPUT_TARGET, "700", "100"}, .logPath = dir.file("log")}};
    XDesktop::WindowId window = 0;
};

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
        ASSERT_NE(target.windowId(), 0u) << "the other X client did not show its window";
    }

    void focusOurWindow() {
        ASSERT_TRUE(desktop.focus(window.winId()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return window.isActiveWindow(); }, 10000));
        edit->setFocus();
    }
    void focusTarget() { ASSERT_TRUE(desktop.focus(target.windowId())); }

    // Types into our line edit and waits until Qt has delivered every press. Focus is set again
    // first, in case another test's window took it.
    void typeIntoOurWindow(const std::string& letters) {
        const QString expected = edit->text() + QString::fromStdString(letters);
        ASSERT_TRUE(desktop.focus(window.winId()));
        desktop.type(letters);
        ASSERT_TRUE(QTest::qWaitFor([&] { return edit->text() == expected; }, 10000));
    }
    void typeIntoTarget(const std::string& letters) {
        const int expected = target.keys() + static_cast<int>(letters.size());
        ASSERT_TRUE(desktop.focus(target.windowId()));
        desktop.type(letters);
        ASSERT_TRUE(target.waitForKeys(expected));
    }
    // \a times clicks of \a button (4 to 7: wheel steps), in the middle of the area.
    void clickInOurWindow(int button = 1, int times = 1) {
        const QPoint at = area->mapToGlobal(area->rect().center());
        const int expected = area->releases + times;
        for (int n = 0; n < times; ++n)
            desktop.click(desktop.root(), at.x(), at.y(), button);
        ASSERT_TRUE(QTest::qWaitFor([&] { return area->releases == expected; }, 10000));
    }
    void clickInTarget(int button = 1, int times = 1) {
        const int expected = target.buttons() + times;
        for (int n = 0; n < times; ++n)
            desktop.click(desktop.root(), target.centre().x(), target.centre().y(), button);
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
    XDesktop desktop;
    InputTarget target;
    XRoundTrip roundTrip{window.winId()};
};

TEST_F(X11InputCountingTest, GlobalMonitoringCountsKeysAndClicksMadeInAnotherClient) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusTarget();
    typeIntoTarget("hello");
    expectCounts(5, 0);
    // Left, right, then a double click: four presses.
    clickInTarget(1);
    clickInTarget(3);
    clickInTarget(1, 2);
    expectCounts(5, 4);
}

TEST_F(X11InputCountingTest, ModifiersAloneAndWheelStepsCountNothing) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusTarget();
    // Caps Lock and Num Lock twice, to leave the keyboard as it was.
    for (const char* modifier : {"Shift_L", "Shift_R", "Control_L", "Alt_L", "Super_L", "Caps_Lock",
                                 "Caps_Lock", "ISO_Level3_Shift", "Num_Lock", "Num_Lock"})
        desktop.key(modifier);
    for (int wheel = 4; wheel <= 7; ++wheel)
        clickInTarget(wheel);
    expectCounts(0, 0);
    // A modifier with a letter is one key press.
    desktop.key("Shift_L+a");
    desktop.key("Control_L+Alt_L+b");
    expectCounts(2, 0);
    // The keymap changes under the monitor, as with xmodmap: a key becomes Hyper_R, then ç.
    SpareKeycode key;
    key.bind(0xffee); // XK_Hyper_R
    desktop.key("Hyper_R");
    expectCounts(2, 0);
    key.bind(0xe7); // XK_ccedilla
    desktop.key("ccedilla");
    expectCounts(3, 0);
}

TEST_F(X11InputCountingTest, OurWindowCountsOnceWithGlobalMonitoring) {
    tracking->enableInputTracking(true);
    session.onClock();
    focusOurWindow();
    typeIntoOurWindow("abc");
    clickInOurWindow();
    clickInOurWindow(1, 2);
    expectCounts(3, 3);
}

TEST_F(X11InputCountingTest, OurWindowCountsOnceWithoutGlobalMonitoringAndOtherClientsNotAtAll) {
    tracking->enableInputTracking(false);
    session.onClock();
    focusOurWindow();
    typeIntoOurWindow("abc");
    clickInOurWindow();
    clickInOurWindow(1, 2);
    expectCounts(3, 3);

    focusTarget();
    typeIntoTarget("xyz");
    clickInTarget();
    expectCounts(3, 3);
}

TEST_F(X11InputCountingTest, NothingCountsWhileClockedOutOrPaused) {
    tracking->enableInputTracking(true);
    focusTarget();
    typeIntoTarget("ab");
    clickInTarget();
    expectCounts(0, 0);

    session.onClock();
    session.onPause();
    ASSERT_EQ(session.mode, 2);
    typeIntoTarget("cd");
    clickInTarget();
    focusOurWindow();
    typeIntoOurWindow("ef");
    clickInOurWindow();
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
    clickInTarget();
    expectCounts(4, 1);

    tracking->disableInputTracking();
    tracking->disableInputTracking();
    typeIntoTarget("g");
    expectCounts(4, 1);
}

} // namespace
