#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "IdleStepper.h"
#include "LogoView.h"
#include "MainWindow.h"
#include "ManualJsonTransport.h"
#include "QtPrinters.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "SocialPanel.h"
#include "SyncState.h"
#include "WindowFonts.h"
#include "WorkSession.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFontMetricsF>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

namespace {

const QColor white(Qt::white);
const QColor accent(0xA2, 0x59, 0xFF);

// Whether \a view paints anything over its background.
bool drawsSomething(QWidget& view) {
    const QImage shot = view.grab().toImage();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (shot.pixel(x, y) != shot.pixel(0, 0))
                return true;
        }
    }
    return false;
}

// A frame as the layout gives it: origin at the bottom left of the 680 x 480 content area.
struct Frame {
    int x, y, width, height;
    QRect topLeft() const { return {x, 480 - (y + height), width, height}; }
};

struct ControlRow {
    const char* name;
    Frame frame;
    int mask;
    bool shown;
};

const ControlRow layout[] = {
    {"logoView", {24, 328, 128, 128}, 13, true},          {"statusLabel", {24, 304, 632, 24}, 10, true},
    {"workLabel", {24, 276, 632, 22}, 10, true},          {"breaksLabel", {24, 234, 632, 22}, 10, true},
    {"inputsLabel", {24, 212, 632, 22}, 10, true},        {"clockButton", {24, 40, 120, 36}, 32, true},
    {"pauseButton", {160, 40, 120, 36}, 32, true},        {"idleLabel", {350, 46, 180, 24}, 33, true},
    {"idleField", {530, 44, 50, 26}, 33, true},           {"idleStepper", {590, 44, 32, 26}, 33, true},
    {"globalTrackCheckbox", {24, 10, 220, 24}, 32, true}, {"syncLabel", {300, 434, 360, 20}, 9, false},
    {"socialTitleLabel", {24, 204, 632, 22}, 10, true},   {"igLabel", {24, 182, 632, 20}, 10, false},
    {"ttLabel", {24, 162, 632, 20}, 10, false},           {"webLabel", {24, 142, 632, 20}, 10, false},
    {"latestLabel", {24, 122, 632, 20}, 10, false},       {"totalLabel", {24, 252, 632, 20}, 10, true},
};

// Where a control with frame \a r at 680 x 480 belongs in a content area of \a size, by what
// its mask keeps: margins, distances from edges and, for the logo, the proportional margins.
QRect anchoredTo(const QRect& r, int mask, QSize size) {
    const int dw = size.width() - 680, dh = size.height() - 480;
    switch (mask) {
    case 10:
        return {r.x(), r.y(), r.width() + dw, r.height()};
    case 13:
        return {qRound(r.x() + dw * 24.0 / 552.0), r.y(), r.width(), r.height()};
    case 32:
        return {r.x(), r.y() + dh, r.width(), r.height()};
    case 33:
        return {r.x() + dw, r.y() + dh, r.width(), r.height()};
    case 9:
        return {r.x() + dw, r.y(), r.width(), r.height()};
    }
    return {};
}

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    int paints = 0;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<MainWindow>();
        window->present();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    template <typename T = QWidget>
    T* control(const char* name) const {
        T* found = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QLabel* label(const char* name) const { return control<QLabel>(name); }

    void resizeTo(QSize size) {
        window->resize(size);
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->size() == size; }, 5000)) << size.width();
    }

    std::unique_ptr<MainWindow> window;
};

TEST_F(MainWindowTest, WindowAttributes) {
    EXPECT_EQ(window->windowTitle(), "Corlune Track");
    EXPECT_EQ(window->size(), QSize(680, 480));
    EXPECT_EQ(window->minimumSize(), QSize(560, 400));
    EXPECT_TRUE(window->autoFillBackground());
    EXPECT_EQ(window->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_TRUE(window->isActiveWindow() || QTest::qWaitForWindowActive(window.get()));
}

TEST_F(MainWindowTest, EveryControlHasItsFrameVisibilityAndStackingOrder) {
    QStringList stacking;
    for (QObject* child : window->children()) {
        if (child->isWidgetType())
            stacking.append(child->objectName());
    }
    QStringList expectedStacking;
    for (const ControlRow& row : layout) {
        expectedStacking.append(QString::fromLatin1(row.name));
        QWidget* widget = control(row.name);
        ASSERT_NE(widget, nullptr);
        if (widget->objectName() != "syncLabel") {
            EXPECT_EQ(widget->geometry(), row.frame.topLeft()) << row.name;
        }
        EXPECT_EQ(widget->isVisible(), row.shown) << row.name;
    }
    EXPECT_EQ(stacking, expectedStacking);

    // The banner keeps its right edge, top and height; it is 360 wide, or wider where the font
    // needs more room for the whole text.
    QLabel* banner = label("syncLabel");
    const QRect frame = banner->geometry();
    EXPECT_EQ(frame.x() + frame.width(), 660);
    EXPECT_EQ(frame.y(), 26);
    EXPECT_EQ(frame.height(), 20);
    EXPECT_GE(frame.width(), 360);
    EXPECT_LE(QFontMetricsF(banner->font()).horizontalAdvance(banner->text()), frame.width());
    EXPECT_GT(frame.x(), 24 + 128) << "the banner runs into the logo";
}

TEST_F(MainWindowTest, InitialTextsFontsAndColours) {
    const struct {
        const char* name;
        const char* text;
        int pixelSize; // 0: the application's default font
        bool semibold;
        bool tabular;
        QColor colour;
    } labels[] = {
        {"statusLabel", "Status: Clocked out", 14, true, false, white},
        {"workLabel", "Work: 00:00:00", 13, false, true, white},
        {"totalLabel", "Total today: 00:00:00", 13, false, true, white},
        {"breaksLabel", "Breaks: 0 (00:00:00)", 13, false, true, white},
        {"inputsLabel", "Inputs: Keys 0, Clicks 0", 13, false, true, white},
        {"socialTitleLabel", "Social Marketing", 13, true, false, accent},
        {"igLabel", "", 12, false, true, white},
        {"ttLabel", "", 12, false, true, white},
        {"webLabel", "", 12, false, true, white},
        {"latestLabel", "", 12, false, true, white},
        {"syncLabel", "Offline: Cloud sync paused. Will sync when back online.", 12, true, false, accent},
        {"idleLabel", "Idle threshold (min)", 0, false, false, white},
    };
    for (const auto& l : labels) {
        QLabel* widget = label(l.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->text(), QString::fromUtf8(l.text)) << l.name;
        EXPECT_EQ(widget->textFormat(), Qt::PlainText) << l.name;
        EXPECT_EQ(widget->textInteractionFlags(), Qt::NoTextInteraction) << l.name;
        EXPECT_EQ(widget->palette().color(QPalette::WindowText), l.colour) << l.name;
        const QFont font = widget->font();
        if (l.pixelSize != 0) {
            EXPECT_EQ(font.pixelSize(), l.pixelSize) << l.name;
            EXPECT_EQ(font.weight(), l.semibold ? QFont::DemiBold : QFont::Normal) << l.name;
        } else {
            EXPECT_EQ(font, QApplication::font()) << l.name;
        }
        if (l.tabular) {
            EXPECT_TRUE(WindowFonts::hasTabularDigits(font)) << l.name;
        }
    }
    EXPECT_TRUE(label("syncLabel")->alignment() & Qt::AlignRight);

    auto* clock = control<QPushButton>("clockButton");
    auto* pause = control<QPushButton>("pauseButton");
    EXPECT_EQ(clock->text(), "Clock In");
    EXPECT_TRUE(clock->isEnabled());
    EXPECT_EQ(pause->text(), "Pause");
    EXPECT_FALSE(pause->isEnabled());
    for (QPushButton* button : {clock, pause})
        EXPECT_EQ(button->palette().color(QPalette::Active, QPalette::ButtonText), accent)
            << button->objectName().toStdString();

    auto* field = control<QLineEdit>("idleField");
    EXPECT_EQ(field->text(), "");
    EXPECT_FALSE(field->isReadOnly());
    EXPECT_TRUE(field->hasFrame());
    EXPECT_EQ(field->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

    auto* checkbox = control<QCheckBox>("globalTrackCheckbox");
    EXPECT_EQ(checkbox->text(), "Track inputs globally");
    EXPECT_FALSE(checkbox->isChecked());

    auto* logo = control<LogoView>("logoView");
    EXPECT_TRUE(drawsSomething(*logo)) << "the compiled-in logo";
}

TEST_F(MainWindowTest, EveryControlHasAnAccessibleName) {
    const struct {
        const char* name;
        const char* accessible;
    } cases[] = {
        {"logoView", "Corlune Track logo"},
        {"statusLabel", "Status: Clocked out"},
        {"workLabel", "Work: 00:00:00"},
        {"totalLabel", "Total today: 00:00:00"},
        {"breaksLabel", "Breaks: 0 (00:00:00)"},
        {"inputsLabel", "Inputs: Keys 0, Clicks 0"},
        {"clockButton", "Clock In"},
        {"pauseButton", "Pause"},
        {"idleLabel", "Idle threshold (min)"},
        {"idleField", "Idle threshold (min)"},
        {"idleStepper", "Idle threshold stepper"},
        {"globalTrackCheckbox", "Track inputs globally"},
        {"syncLabel", "Offline: Cloud sync paused. Will sync when back online."},
        {"socialTitleLabel", "Social Marketing"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(accessibleName(control(c.name)), QString::fromLatin1(c.accessible)) << c.name;

    // The names follow the texts the session writes.
    window->setClockTitle("Clock Out");
    EXPECT_EQ(accessibleName(control("clockButton")), "Clock Out");
    window->setSocialLines({"Instagram impressions: 3", "b", "c", "d"});
    EXPECT_EQ(accessibleName(control("igLabel")), "Instagram impressions: 3");
}

TEST_F(MainWindowTest, ControlsFollowTheirAnchorsWhenResized) {
    std::vector<QRect> initial;
    for (const ControlRow& row : layout)
        initial.push_back(control(row.name)->geometry());
    for (const QSize size : {QSize(900, 640), QSize(560, 400), QSize(1111, 777), QSize(680, 480)}) {
        resizeTo(size);
        for (std::size_t i = 0; i < std::size(layout); ++i) {
            EXPECT_EQ(control(layout[i].name)->geometry(), anchoredTo(initial[i], layout[i].mask, size))
                << layout[i].name << " at " << size.width();
        }
    }
    // The logo's margins share a change of width 24 : 528.
    resizeTo({900, 640});
    const QRect logo = control("logoView")->geometry();
    EXPECT_EQ(logo.x(), 34);
    EXPECT_EQ(900 - logo.right() - 1, 738);
}

TEST_F(MainWindowTest, ContentAreaCannotShrinkBelowTheMinimum) {
    window->resize(300, 200);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->size() == QSize(560, 400); }, 5000));
    EXPECT_EQ(control("statusLabel")->geometry(), QRect(24, 152, 512, 24));
    EXPECT_EQ(control("clockButton")->geometry(), QRect(24, 324, 120, 36));
}

TEST_F(MainWindowTest, ActionsReachTheirSignals) {
    QSignalSpy clock(window.get(), &MainWindow::clockRequested);
    QSignalSpy pause(window.get(), &MainWindow::pauseRequested);
    QSignalSpy track(window.get(), &MainWindow::globalTrackToggled);

    QTest::mouseClick(control("clockButton"), Qt::LeftButton);
    EXPECT_EQ(clock.size(), 1);
    QTest::mouseClick(control("pauseButton"), Qt::LeftButton);
    EXPECT_EQ(pause.size(), 0) << "the pause button starts disabled";
    window->setPauseEnabled(true);
    QTest::mouseClick(control("pauseButton"), Qt::LeftButton);
    EXPECT_EQ(pause.size(), 1);

    window->setGlobalTrackChecked(true);
    EXPECT_TRUE(control<QCheckBox>("globalTrackCheckbox")->isChecked());
    EXPECT_EQ(track.size(), 0) << "setting the check box is not a user action";
    auto* checkbox = control<QCheckBox>("globalTrackCheckbox");
    QTest::mouseClick(checkbox, Qt::LeftButton, {}, QPoint(8, checkbox->height() / 2));
    ASSERT_EQ(track.size(), 1);
    EXPECT_EQ(track[0][0].toBool(), false);
}

TEST_F(MainWindowTest, IdleFieldCommitsOnReturnAndOnLeavingAfterAChange) {
    QSignalSpy committed(window.get(), &MainWindow::idleFieldCommitted);
    auto* field = control<QLineEdit>("idleField");
    field->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 5000));
    QTest::keyClicks(field, "12");
    EXPECT_EQ(committed.size(), 0) << "typing is not committing";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(committed.size(), 1);
    EXPECT_EQ(window->idleFieldText(), "12");

    QTest::keyClicks(field, "5");
    control("clockButton")->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return committed.size() == 2; }, 5000));

    window->setIdleFieldText("7");
    EXPECT_EQ(field->text(), "7");
    EXPECT_EQ(committed.size(), 2) << "the session's own writes are not commits";
}

TEST_F(MainWindowTest, StepperStepsWithinItsRangeAndReportsOnlyUserSteps) {
    QSignalSpy stepped(window.get(), &MainWindow::idleStepperChanged);
    auto* stepper = control<IdleStepper>("idleStepper");
    window->setIdleStepperValue(3);
    EXPECT_EQ(stepper->value(), 3);
    EXPECT_EQ(stepped.size(), 0);

    auto* up = control<QToolButton>("idleStepperUp");
    auto* down = control<QToolButton>("idleStepperDown");
    QTest::mouseClick(up, Qt::LeftButton);
    ASSERT_EQ(stepped.size(), 1);
    EXPECT_EQ(stepped[0][0].toInt(), 4);
    QTest::mouseClick(down, Qt::LeftButton);
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(stepper->value(), 2);

    const struct {
        int start;
        int steps;
        int value;
        bool reported;
    } edges[] = {
        {1, -1, 1, false},  {120, 1, 120, false},        {119, 5, 120, true},
        {2, -100, 1, true}, {60, 2147483647, 120, true}, {60, -2147483647, 1, true},
    };
    for (const auto& e : edges) {
        window->setIdleStepperValue(e.start);
        stepped.clear();
        stepper->stepBy(e.steps);
        EXPECT_EQ(stepper->value(), e.value) << e.start << " + " << e.steps;
        EXPECT_EQ(stepped.size(), e.reported ? 1 : 0) << e.start << " + " << e.steps;
    }
    window->setIdleStepperValue(500);
    EXPECT_EQ(stepper->value(), 120);
    EXPECT_FALSE(up->isEnabled());
    window->setIdleStepperValue(-4);
    EXPECT_EQ(stepper->value(), 1);
    EXPECT_FALSE(down->isEnabled());

    stepper->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return stepper->hasFocus(); }, 5000));
    QTest::keyClick(stepper, Qt::Key_Up);
    EXPECT_EQ(stepper->value(), 2);
}

// The window wired to a real session, as the program wires it.
TEST_F(MainWindowTest, IdleControlsDriveTheSessionThreshold) {
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
    session.setView(window.get());
    QObject wiring; // ends the connections before the session goes
    QObject::connect(window.get(), &MainWindow::idleStepperChanged, &wiring,
                     [&](int minutes) { session.onIdleStepper(minutes); });
    QObject::connect(window.get(), &MainWindow::idleFieldCommitted, &wiring,
                     [&] { session.onIdleFieldChange(); });
    window->setIdleFieldText("3");
    window->setIdleStepperValue(3);

    QTest::mouseClick(control<QToolButton>("idleStepperUp"), Qt::LeftButton);
    EXPECT_EQ(window->idleFieldText(), "4");
    EXPECT_EQ(session.idleThreshold, 240);

    auto* field = control<QLineEdit>("idleField");
    const struct {
        const char* typed;
        const char* shown;
        int stepper;
    } commits[] = {{"abc", "1", 1}, {"500", "120", 120}, {"2.9", "2", 2}, {"-5", "1", 1}, {"", "1", 1}};
    for (const auto& c : commits) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, c.typed);
        QTest::keyClick(field, Qt::Key_Return);
        EXPECT_EQ(field->text(), c.shown) << c.typed;
        EXPECT_EQ(control<IdleStepper>("idleStepper")->value(), c.stepper) << c.typed;
        EXPECT_EQ(session.idleThreshold, c.stepper * 60) << c.typed;
    }
}

TEST_F(MainWindowTest, UnchangedWritesDoNotRepaint) {
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
    session.setView(window.get());
    session.onClock();

    PaintCounter counter;
    const QList<QWidget*> watched = window->findChildren<QWidget*>();
    for (QWidget* widget : watched)
        widget->installEventFilter(&counter);
    window->installEventFilter(&counter);

    // Many ticks within one second write the same texts and states.
    QCoreApplication::processEvents();
    counter.paints = 0;
    for (int i = 0; i < 4; ++i) {
        time.advance(200ms);
        session.onTick();
        window->setTotalText("Total today: 00:00:00");
        window->setOfflineBannerVisible(false);
        window->setIdleStepperValue(1);
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);

    // The second that turns does repaint: the counter sees paints at all.
    time.advance(200ms);
    session.onTick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 5000));
    EXPECT_EQ(label("workLabel")->text(), "Work: 00:00:01");
}

TEST_F(MainWindowTest, BannerTotalAndSocialPanelViews) {
    window->setOfflineBannerVisible(true);
    EXPECT_TRUE(label("syncLabel")->isVisible());
    window->setOfflineBannerVisible(false);
    EXPECT_FALSE(label("syncLabel")->isVisible());

    window->setTotalText("Total today: 07:30:00");
    EXPECT_EQ(label("totalLabel")->text(), "Total today: 07:30:00");

    const char* panel[] = {"socialTitleLabel", "igLabel", "ttLabel", "webLabel", "latestLabel"};
    window->setSocialPanelVisible(true);
    for (const char* name : panel)
        EXPECT_TRUE(label(name)->isVisible()) << name;
    window->setSocialLines({"Instagram impressions: <b>1</b>", "TikTok impressions: 2",
                            "Website (from socials) views: N/A", "Latest post: N/A"});
    EXPECT_EQ(label("igLabel")->text(), "Instagram impressions: <b>1</b>");
    window->setSocialPanelVisible(false);
    for (const char* name : panel)
        EXPECT_FALSE(label(name)->isVisible()) << name;
}

TEST_F(MainWindowTest, UnavailableInputFeaturesSayWhyInATooltip) {
    EXPECT_TRUE(label("idleLabel")->toolTip().isEmpty());
    EXPECT_TRUE(control("globalTrackCheckbox")->toolTip().isEmpty());
    window->setIdleDetectionAvailable(false);
    window->setGlobalMonitoringAvailable(false);
    EXPECT_EQ(label("idleLabel")->toolTip(), MainWindow::idleUnavailableToolTip());
    EXPECT_EQ(control("globalTrackCheckbox")->toolTip(), MainWindow::globalMonitoringUnavailableToolTip());
    EXPECT_EQ(label("idleLabel")->text(), "Idle threshold (min)");
    window->setIdleDetectionAvailable(true);
    EXPECT_TRUE(label("idleLabel")->toolTip().isEmpty());
}

TEST(MainWindowLogo, WindowOpensWithAnEmptyLogoAreaWhenNoLogoIsFound) {
    QTemporaryDir empty;
    LogoLoader::Sources nowhere;
    nowhere.compiledIn = {};
    nowhere.themeIconName = "corlune-no-such-icon";
    nowhere.workingDirectory = empty.path();
    MainWindow window(nullptr, nowhere);
    window.present();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    auto* logo = window.findChild<LogoView*>("logoView");
    ASSERT_NE(logo, nullptr);
    EXPECT_FALSE(drawsSomething(*logo));
    EXPECT_EQ(logo->geometry(), QRect(24, 24, 128, 128));
    EXPECT_TRUE(window.findChild<QPushButton*>("clockButton")->isVisible());
}

// What \a view paints, without a background, on a transparent canvas of its size at a pixel ratio.
QImage rendered(LogoView& view, int ratio) {
    QImage canvas(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    canvas.setDevicePixelRatio(ratio);
    canvas.fill(Qt::transparent);
    view.render(&canvas, {}, {}, QWidget::DrawChildren);
    return canvas;
}

TEST(MainWindowLogo, LogoIsDrawnPixelForPixelAtItsSizeAndProportionallyCentredWhenLarger) {
    LogoView view;
    view.resize(128, 128);
    QImage logo;
    for (const int ratio : {1, 2}) {
        logo = LogoLoader::load({}, 128 * ratio);
        view.setImage(logo);
        EXPECT_EQ(rendered(view, ratio), logo) << "at pixel ratio " << ratio;
    }

    view.resize(300, 200);
    const QImage canvas = rendered(view, 1);
    EXPECT_EQ(canvas.copy(50, 0, 200, 200),
              logo.scaled(200, 200, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    QImage margin(50, 200, QImage::Format_ARGB32_Premultiplied);
    margin.fill(Qt::transparent);
    EXPECT_EQ(canvas.copy(0, 0, 50, 200), margin);
    EXPECT_EQ(canvas.copy(250, 0, 50, 200), margin);
}

// A picture of the working window with the social panel of the job "0", kept as a CI artifact.
TEST_F(MainWindowTest, ScreenshotOfAWorkingSessionWithTheSocialPanel) {
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
    SyncState sync;
    sync.jobId = "0";
    ManualJsonTransport transport;
    SocialPanel panel(sync, transport, *window);
    session.setView(window.get());
    session.afterUpdateUI = [&] { panel.refreshSocialMetricsFromAPI(); };
    window->setIdleFieldText("3");
    window->setIdleStepperValue(3);
    window->setGlobalTrackChecked(true);
    window->setTotalText("Total today: 03:15:42");

    panel.updateSocialVisibility();
    session.onClock();
    for (int i = 0; i < 1234; ++i)
        session.countKey();
    for (int i = 0; i < 56; ++i)
        session.countClick();
    time.advance(3725s);
    session.onPause();
    time.advance(65s);
    session.onPause();
    time.advance(1800s);
    ASSERT_EQ(transport.unanswered(), 1u);
    transport.answer(
        0, {200, std::nullopt,
            QJsonObject{
                {"instagram", QJsonObject{{"totalImpressions", 182340},
                                          {"latest", QJsonObject{{"impressions", 5120},
                                                                 {"timestamp", "2024-03-05T09:41:00Z"}}}}},
                {"tiktok", QJsonObject{{"totalImpressions", 96311}}}}});
    session.updateUI();

    EXPECT_EQ(label("workLabel")->text(), "Work: 01:32:05");
    EXPECT_EQ(label("breaksLabel")->text(), "Breaks: 1 (00:01:05)");
    EXPECT_EQ(label("inputsLabel")->text(), "Inputs: Keys 1234, Clicks 56");
    EXPECT_EQ(label("statusLabel")->text(), "Status: Working");
    EXPECT_EQ(label("igLabel")->text(), "Instagram impressions: 182340");
    EXPECT_EQ(label("latestLabel")->text(), "Latest post: 5120 impressions at 2024-03-05T09:41:00Z");

    const QDir artifacts(QStringLiteral(CORLUNE_ARTIFACT_DIR));
    ASSERT_TRUE(artifacts.mkpath("."));
    QCoreApplication::processEvents();
    const QPixmap shot = window->grab();
    EXPECT_EQ(shot.deviceIndependentSize().toSize(), QSize(680, 480));
    EXPECT_TRUE(shot.save(artifacts.filePath("main-window.png")));

    window->setOfflineBannerVisible(true);
    resizeTo({900, 640});
    EXPECT_TRUE(window->grab().save(artifacts.filePath("main-window-900x640-offline.png")));
}

} // namespace
