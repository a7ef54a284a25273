// Events go in where the platform puts them, at the window, so they take the path real input
// takes: the window first, then the focus widget and its parents.
#include "LocalInputFilter.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

void sendKey(QWindow* window, int key, quint32 keysym = 0, bool autoRepeat = false) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, 0, keysym, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(window, &press);
}

TEST(LocalInputFilter, CountsEachPressToOurWindowsOnce) {
    QWidget window;
    auto* field = new QLineEdit(&window);
    auto* button = new QPushButton("Button", &window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(field);
    layout->addWidget(button);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QWindow* const at = window.windowHandle();
    const QPoint middle = button->geometry().center();
    int keys = 0;
    int clicks = 0;
    const LocalInputFilter keyFilter(LocalInputFilter::Kind::Key, [&] { ++keys; });
    const LocalInputFilter mouseFilter(LocalInputFilter::Kind::Mouse, [&] { ++clicks; });
    // "keys/clicks" since the last call.
    const auto counted = [&] {
        const std::string both = std::to_string(keys) + '/' + std::to_string(clicks);
        keys = clicks = 0;
        return both;
    };

    QTest::keyClick(at, 'a');
    QTest::keyClick(at, Qt::Key_B, Qt::ShiftModifier);
    EXPECT_EQ(counted(), "2/0") << "letters, one shifted";
    EXPECT_EQ(field->text().toLower().toStdString(), "ab") << "a counted press still reaches its widget";
    button->setFocus();
    QTest::keyClick(at, Qt::Key_Q);
    EXPECT_EQ(counted(), "1/0") << "a letter that the button passes up to its parents";
    for (int key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_AltGr,
                    Qt::Key_CapsLock, Qt::Key_Super_L, Qt::Key_NumLock})
        sendKey(at, key);
    sendKey(at, Qt::Key_unknown, 0xfe11); // ISO_Level5_Shift, which Qt has no code for
    EXPECT_EQ(counted(), "0/0") << "modifiers alone";
    sendKey(at, Qt::Key_X);
    sendKey(at, Qt::Key_X, 0, true);
    EXPECT_EQ(counted(), "2/0") << "a key held until it repeats";
    for (Qt::MouseButton pressed : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton, Qt::BackButton})
        QTest::mouseClick(at, pressed, {}, middle);
    QTest::mouseDClick(at, Qt::LeftButton, {}, middle);
    EXPECT_EQ(counted(), "0/6") << "presses of any button; a double click is two";
    QWheelEvent wheel(middle, at->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(at, &wheel);
    QTest::mouseMove(at, middle + QPoint(5, 5));
    QTest::mouseRelease(at, Qt::LeftButton, {}, middle);
    QTest::keyRelease(at, Qt::Key_A);
    EXPECT_EQ(counted(), "0/0") << "wheel steps, moves and releases";
    QDialog dialog(&window);
    dialog.show();
    QTest::keyClick(dialog.windowHandle(), Qt::Key_O);
    QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, {5, 5});
    EXPECT_EQ(counted(), "1/1") << "a dialog of ours";
}

} // namespace
