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
    QDialog dialog(&window);
    QWindow* const at = window.windowHandle();
    const QPoint middle = button->geometry().center();
    int keys = 0;
    int clicks = 0;
    const LocalInputFilter keyFilter(LocalInputFilter::Kind::Key, [&] { ++keys; });
    const LocalInputFilter mouseFilter(LocalInputFilter::Kind::Mouse, [&] { ++clicks; });

    const struct {
        const char* name;
        std::function<void()> give;
        const char* counted; // keys/clicks
    } cases[] = {
        {"letters typed into the field", [&] { QTest::keyClick(at, 'a'), QTest::keyClick(at, 'b'); }, "2/0"},
        {"a letter that the button passes up to its parents",
         [&] {
             button->setFocus();
             QTest::keyClick(at, Qt::Key_Q);
             field->setFocus();
         },
         "1/0"},
        {"modifiers alone, also one Qt has no code for",
         [&] {
             for (int key : {Qt::Key_Shift, Qt::Key_Control, Qt::Key_Alt, Qt::Key_Meta, Qt::Key_AltGr,
                             Qt::Key_CapsLock, Qt::Key_Super_L, Qt::Key_NumLock})
                 sendKey(at, key);
             sendKey(at, Qt::Key_unknown, 0xfe11); // ISO_Level5_Shift
         },
         "0/0"},
        {"a shifted letter", [&] { QTest::keyClick(at, Qt::Key_A, Qt::ShiftModifier); }, "1/0"},
        {"a key held until it repeats", [&] { sendKey(at, Qt::Key_X), sendKey(at, Qt::Key_X, 0, true); },
         "2/0"},
        {"presses of any button; a double click is two",
         [&] {
             for (Qt::MouseButton b : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton, Qt::BackButton})
                 QTest::mouseClick(at, b, {}, middle);
             QTest::mouseDClick(at, Qt::LeftButton, {}, middle);
         },
         "0/6"},
        {"wheel steps, moves and releases",
         [&] {
             QWheelEvent wheel(middle, at->mapToGlobal(middle), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                               Qt::NoScrollPhase, false);
             QCoreApplication::sendEvent(at, &wheel);
             QTest::mouseMove(at, middle + QPoint(5, 5));
             QTest::mouseRelease(at, Qt::LeftButton, {}, middle);
             QTest::keyRelease(at, Qt::Key_A);
         },
         "0/0"},
        {"a dialog of ours",
         [&] {
             dialog.show();
             QTest::keyClick(dialog.windowHandle(), Qt::Key_O);
             QTest::mouseClick(dialog.windowHandle(), Qt::LeftButton, {}, {5, 5});
             dialog.hide();
         },
         "1/1"},
    };
    for (const auto& c : cases) {
        keys = clicks = 0;
        c.give();
        EXPECT_EQ(QStringLiteral("%1/%2").arg(keys).arg(clicks).toStdString(), c.counted) << c.name;
    }
    EXPECT_TRUE(field->text().startsWith("ab")) << "a counted press still reaches its widget";
}

} // namespace
