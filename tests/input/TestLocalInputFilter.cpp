// Events go in where the platform puts them, at the window, so they take the path real input
// takes: window first, then the focus widget and its parents.
#include "LocalInputFilter.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// QTest types only into widgets, which skips the window; this goes through it.
void typeAt(QWindow* window, const char* letters) {
    for (const char* c = letters; *c; ++c)
        QTest::keyClick(window, *c);
}

class LocalInputFilterTest : public ::testing::Test {
protected:
    LocalInputFilterTest() {
        auto* layout = new QVBoxLayout(&window);
        edit = new QLineEdit(&window);
        button = new QPushButton(QStringLiteral("Button"), &window);
        layout->addWidget(edit);
        layout->addWidget(button);
        window.resize(300, 200);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
    }

    QWindow* handle() { return window.windowHandle(); }
    QPoint buttonCentre() { return button->mapTo(&window, button->rect().center()); }

    int keys = 0;
    int clicks = 0;
    LocalInputFilter keyFilter{LocalInputFilter::Kind::Key, [this] { ++keys; }};
    LocalInputFilter mouseFilter{LocalInputFilter::Kind::Mouse, [this] { ++clicks; }};
    QWidget window;
    QLineEdit* edit = nullptr;
    QPushButton* button = nullptr;
};

TEST_F(LocalInputFilterTest, KeyPressCountsOnceAndStillReachesTheFocusedWidget) {
    typeAt(handle(), "abc");
    EXPECT_EQ(keys, 3);
    EXPECT_EQ(edit->text(), QStringLiteral("abc"));
}

TEST_F(LocalInputFilterTest, KeyPressThatPropagatesToParentsCountsOnce) {
    // The button ignores letters, so each press also travels up to the window's widget.
    button->setFocus();
    QTest::keyClick(handle(), Qt::Key_Q);
    EXPECT_EQ(keys, 1);
}

TEST_F(LocalInputFilterTest, ModifiersAloneCountNothingButAShiftedLetterCounts) {
    for (Qt::Key key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_AltGr,
                        Qt::Key_CapsLock, Qt::Key_Super_L, Qt::Key_NumLock}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(handle(), &press);
    }
    // A key Qt has no code for, known by its keysym only: ISO_Level5_Shift.
    QKeyEvent level5(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, 0, 0xfe11, 0);
    QCoreApplication::sendEvent(handle(), &level5);
    EXPECT_EQ(keys, 0);
    QTest::keyClick(handle(), Qt::Key_A, Qt::ShiftModifier);
    EXPECT_EQ(keys, 1);
    EXPECT_EQ(edit->text().toUpper(), QStringLiteral("A"));
}

TEST_F(LocalInputFilterTest, AutoRepeatedPressesCountEach) {
    for (int i = 0; i < 3; ++i) {
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"), i > 0);
        QCoreApplication::sendEvent(handle(), &repeat);
    }
    EXPECT_EQ(keys, 3);
    EXPECT_EQ(edit->text(), QStringLiteral("xxx"));
}

TEST_F(LocalInputFilterTest, PressesOfAnyButtonCountAndADoubleClickCountsTwo) {
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::mouseClick(handle(), Qt::LeftButton, {}, buttonCentre());
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(clicked.count(), 1);
    QTest::mouseClick(handle(), Qt::RightButton, {}, buttonCentre());
    QTest::mouseClick(handle(), Qt::MiddleButton, {}, buttonCentre());
    QTest::mouseClick(handle(), Qt::BackButton, {}, buttonCentre());
    EXPECT_EQ(clicks, 4);
    QTest::mouseDClick(handle(), Qt::LeftButton, {}, buttonCentre());
    EXPECT_EQ(clicks, 6);
}

TEST_F(LocalInputFilterTest, WheelMovesAndReleasesCountNothing) {
    const QPointF at = buttonCentre();
    QWheelEvent wheel(at, handle()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(handle(), &wheel);
    QTest::mouseMove(handle(), buttonCentre() + QPoint(5, 5));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, buttonCentre());
    QTest::keyRelease(handle(), Qt::Key_A);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(keys, 0);
}

TEST_F(LocalInputFilterTest, DialogsAreOurWindowsToo) {
    QDialog dialog;
    auto* field = new QLineEdit(&dialog);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    field->setFocus();
    typeAt(dialog.windowHandle(), "ok");
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(keys, 2);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(field->text(), QStringLiteral("ok"));
}

} // namespace
