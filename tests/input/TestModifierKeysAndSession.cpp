#include "DesktopSession.h"
#include "GlobalInputMonitorFactory.h"
#include "IdleTimeSourceFactory.h"
#include "ModifierKeys.h"

#include <gtest/gtest.h>

namespace {

TEST(ModifierKeys, KeysymsThatXlibCallsModifiers) {
    // Shift_L, Shift_R, Control_L, Caps_Lock, Shift_Lock, Meta_L, Alt_L, Alt_R, Super_L, Hyper_R,
    // ISO_Level3_Shift (AltGr), ISO_Level5_Lock, ISO_Lock, Mode_switch, Num_Lock
    for (quint32 keysym : {0xffe1u, 0xffe2u, 0xffe3u, 0xffe5u, 0xffe6u, 0xffe7u, 0xffe9u, 0xffeau, 0xffebu,
                           0xffeeu, 0xfe03u, 0xfe13u, 0xfe01u, 0xff7eu, 0xff7fu})
        EXPECT_TRUE(ModifierKeys::isModifierKeysym(keysym)) << std::hex << keysym;
    // a, A, Return, space, Escape, Scroll_Lock, F1, Menu, one past Hyper_R, one before Shift_L,
    // one past ISO_Level5_Lock, and 0 (no keysym)
    for (quint32 keysym :
         {0x61u, 0x41u, 0xff0du, 0x20u, 0xff1bu, 0xff14u, 0xffbeu, 0xff67u, 0xffefu, 0xffe0u, 0xfe14u, 0u})
        EXPECT_FALSE(ModifierKeys::isModifierKeysym(keysym)) << std::hex << keysym;
}

TEST(DesktopSession, WhichSessionTheBackendsSee) {
    struct Case {
        const char* platform;
        const char* sessionType;
        const char* waylandDisplay;
        bool wayland;
        bool x11;
    };
    const Case cases[] = {
        {"xcb", "x11", "", false, true},
        {"xcb", "", "", false, true},
        {"wayland", "wayland", "wayland-0", true, false},
        {"wayland-egl", "", "", true, false},
        // XWayland: the program is on X11, the desktop is not.
        {"xcb", "wayland", "wayland-0", true, false},
        {"xcb", "", "wayland-0", true, false},
        // A nested compositor inside an X11 session does not make the session Wayland.
        {"xcb", "x11", "wayland-1", false, true},
        {"offscreen", "x11", "", false, false},
        {"minimal", "", "", false, false},
    };
    for (const Case& c : cases) {
        const DesktopSession session(QString::fromLatin1(c.platform), c.sessionType, c.waylandDisplay);
        EXPECT_EQ(session.isWayland(), c.wayland)
            << c.platform << " " << c.sessionType << " " << c.waylandDisplay;
        EXPECT_EQ(session.isX11(), c.x11) << c.platform << " " << c.sessionType << " " << c.waylandDisplay;
    }
}

TEST(Factories, WithoutADesktopEveryServiceIsUnavailableAndHarmless) {
    // This test runs on Qt's offscreen platform.
    const auto idle = makeIdleTimeSource();
    EXPECT_FALSE(idle->isAvailable());
    EXPECT_EQ(idle->secondsSinceLastInput(), 0.0);
    const auto global = makeGlobalInputMonitor();
    EXPECT_FALSE(global->isAvailable());
    EXPECT_EQ(global->addKeyMonitor([] {}), nullptr);
    EXPECT_EQ(global->addMouseMonitor([] {}), nullptr);
}

} // namespace
