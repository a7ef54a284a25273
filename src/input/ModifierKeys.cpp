#include "ModifierKeys.h"

#include <Qt>

namespace {
// Values from X11/keysymdef.h, kept here so that this file needs no X headers.
constexpr quint32 xkShiftL = 0xffe1;        // XK_Shift_L
constexpr quint32 xkHyperR = 0xffee;        // XK_Hyper_R
constexpr quint32 xkIsoLock = 0xfe01;       // XK_ISO_Lock
constexpr quint32 xkIsoLevel5Lock = 0xfe13; // XK_ISO_Level5_Lock
constexpr quint32 xkModeSwitch = 0xff7e;    // XK_Mode_switch
constexpr quint32 xkNumLock = 0xff7f;       // XK_Num_Lock
} // namespace

bool ModifierKeys::isModifierKeysym(quint32 keysym) {
    return (keysym >= xkShiftL && keysym <= xkHyperR) || (keysym >= xkIsoLock && keysym <= xkIsoLevel5Lock) ||
           keysym == xkModeSwitch || keysym == xkNumLock;
}

bool ModifierKeys::isModifierQtKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}
