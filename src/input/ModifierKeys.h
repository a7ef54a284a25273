#pragma once

#include <QtGlobal>

/// Which keys are modifiers: pressed alone they are not key presses for the counters.
namespace ModifierKeys {

/// An X keysym (also XKB's, which Wayland and Qt's nativeVirtualKey() use) that Xlib's
/// IsModifierKey() calls a modifier: Shift, Control, Caps/Shift Lock, Meta, Alt, Super, Hyper,
/// the ISO level and group shifts and locks (AltGr is ISO_Level3_Shift), Mode_switch, Num_Lock.
bool isModifierKeysym(quint32 keysym);

/// The same set among Qt's key codes, for events that carry no keysym.
bool isModifierQtKey(int key);

} // namespace ModifierKeys
