#include "BreakPromptDialog.h"
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "MainWindow.h"
#include "ModalGate.h"
#include "QtPrinters.h"
#include "RecordingReports.h"
#include "SessionTexts.h"
#include "WorkSession.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace std::chrono_literals;

namespace {

enum class Answer { LogBreak, DontLog, EscapeKey, ReturnKey };

// What the user saw in the box.
struct Seen {
    QString text;
    QString informative;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    bool applicationModal = false;
};

QPushButton* buttonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

// A session on fake clocks whose break prompt is the real dialog over the real window, ticked by
// a real timer that drops its ticks while a modal dialog is open, as the program's tick does.
class BreakPromptTest : public ::testing::Test {
protected:
    void SetUp() override {
        session.setView(&window);
        window.present();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        tick.setInterval(10);
        QObject::connect(&tick, &QTimer::timeout, [this] {
            if (gate.isOpen()) {
                ++droppedTicks;
                return;
            }
            ++ticks;
            session.onTick();
        });
    }

    void autoPauseAfterWorking(std::chrono::seconds worked) {
        session.onClock();
        time.advance(worked);
        idle.seconds = static_cast<double>(session.idleThreshold);
        session.onTick();
        ASSERT_EQ(session.mode, 2);
        ASSERT_TRUE(session.autoPaused);
    }

    // Lets the user come back; the returning tick opens the prompt, which is answered once it is
    // on screen, after \a openFor has passed on the clocks and the tick timer has fired a few times.
    Seen returnAndAnswer(Answer answer, std::chrono::seconds openFor) {
        Seen seen;
        bool answered = false;
        // Polls from inside the prompt's own event loop: a wait started before the prompt opened
        // would sit below the prompt's loop on the stack and could never go on.
        QTimer watcher;
        watcher.setInterval(5);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            watcher.stop();
            seen.text = box->text();
            seen.informative = box->informativeText();
            seen.icon = box->icon();
            for (QAbstractButton* button : box->buttons())
                seen.buttons.append(button->text());
            seen.defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
            seen.applicationModal = box->windowModality() == Qt::ApplicationModal;

            const int ticksWhenOpened = ticks;
            const int droppedWhenOpened = droppedTicks;
            time.advance(openFor);
            EXPECT_TRUE(QTest::qWaitFor([&] { return droppedTicks >= droppedWhenOpened + 3; }, 10'000))
                << "the tick timer stopped firing";
            EXPECT_EQ(ticks, ticksWhenOpened) << "a tick ran while the prompt was open";
            EXPECT_EQ(window.findChild<QLabel*>("workLabel")->text(), workTextWhenOpened);

            switch (answer) {
            case Answer::LogBreak:
                QTest::mouseClick(buttonTitled(box, "Log Break"), Qt::LeftButton);
                break;
            case Answer::DontLog:
                QTest::mouseClick(buttonTitled(box, "Don't Log"), Qt::LeftButton);
                break;
            case Answer::EscapeKey:
                QTest::keyClick(box, Qt::Key_Escape);
                break;
            case Answer::ReturnKey:
                QTest::keyClick(box, Qt::Key_Return);
                break;
            }
            answered = true;
        });
        watcher.start();
        idle.seconds = 0.5;
        // The returning tick writes the work line before it opens the prompt; it must stand still.
        workTextWhenOpened = SessionTexts::workText(session.accumulatedWork);
        // The returning tick is run here rather than by the timer: Qt never delivers a timer again
        // while its own handler is running, so only a timer that did not open the prompt can show
        // that ticks are dropped meanwhile.
        tick.start();
        session.onTick();
        EXPECT_TRUE(answered);
        EXPECT_FALSE(gate.isOpen());
        tick.stop();
        watcher.stop();
        return seen;
    }

    QString text(const char* name) const { return window.findChild<QLabel*>(name)->text(); }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ModalGate gate;
    MainWindow window;
    BreakPromptDialog prompt{gate, &window};
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
    QTimer tick;
    int ticks = 0;
    int droppedTicks = 0;
    QString workTextWhenOpened;
};

TEST_F(BreakPromptTest, LogBreakRecordsABreakEndingAtTheAnswer) {
    autoPauseAfterWorking(180s);
    time.advance(1620s);
    reports.reports.clear();

    const Seen seen = returnAndAnswer(Answer::LogBreak, 120s);
    EXPECT_EQ(seen.text, "Welcome back");
    EXPECT_EQ(seen.informative, "Log this break (00:27:00)?");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.defaultButton, "Log Break");
    EXPECT_TRUE(seen.buttons.contains("Log Break"));
    EXPECT_TRUE(seen.buttons.contains("Don't Log"));
    EXPECT_EQ(seen.buttons.size(), 2);
    EXPECT_TRUE(seen.applicationModal);

    ASSERT_EQ(reports.kinds(), (QStringList{"breakStart", "breakStop"}));
    const QDateTime answeredAt = QDateTime::fromSecsSinceEpoch(time.wall.instant.toSecsSinceEpoch(), Qt::UTC);
    EXPECT_EQ(reports.reports[1].at, answeredAt);
    EXPECT_EQ(reports.reports[0].at, answeredAt.addSecs(-1620));
    EXPECT_EQ(session.breaks, QList<qint64>{1620});
    EXPECT_EQ(session.totalBreakDur, 1620);
    // The two minutes the prompt stood open count as work.
    EXPECT_EQ(text("workLabel"), "Work: 00:05:00");
    EXPECT_EQ(text("breaksLabel"), "Breaks: 1 (00:27:00)");
    EXPECT_EQ(text("statusLabel"), "Status: Working");
}

TEST_F(BreakPromptTest, DontLogRecordsNothing) {
    for (const Answer answer : {Answer::DontLog, Answer::EscapeKey}) {
        autoPauseAfterWorking(180s);
        time.advance(600s);
        reports.reports.clear();
        const qint64 workBefore = session.accumulatedWork;

        const Seen seen = returnAndAnswer(answer, 30s);
        EXPECT_EQ(seen.informative, "Log this break (00:10:00)?");
        EXPECT_TRUE(reports.reports.empty());
        EXPECT_TRUE(session.breaks.isEmpty());
        EXPECT_EQ(session.totalBreakDur, 0);
        EXPECT_EQ(session.workTime(), workBefore + 30);
        EXPECT_EQ(text("breaksLabel"), "Breaks: 0 (00:00:00)");
        session.onClock();
    }
}

TEST_F(BreakPromptTest, ReturnWithinTheFirstSecondOffersAnEmptyBreak) {
    autoPauseAfterWorking(200s);
    time.advance(400ms);
    reports.reports.clear();

    const Seen seen = returnAndAnswer(Answer::ReturnKey, 0s);
    EXPECT_EQ(seen.informative, "Log this break (00:00:00)?");
    ASSERT_EQ(reports.kinds(), (QStringList{"breakStart", "breakStop"}));
    EXPECT_EQ(reports.reports[0].at, reports.reports[1].at);
    EXPECT_EQ(session.breaks, QList<qint64>{0});
    EXPECT_EQ(text("breaksLabel"), "Breaks: 1 (00:00:00)");
}

TEST(BreakPromptDialog, OutlivesItsParentWindow) {
    ModalGate gate;
    auto window = std::make_unique<QWidget>();
    BreakPromptDialog prompt(gate, window.get());
    window.reset();
    QTimer::singleShot(0, [] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 10'000))
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
    });
    EXPECT_FALSE(prompt.askToLogBreak("00:00:01"));
    EXPECT_FALSE(gate.isOpen());
}

} // namespace
