#pragma once

#include "AppDelegate.h"

/// The program's composition root: the real backends of the desktop this process runs on and
/// the real dialogs, all sharing the returned modal gate. Where a service has several backends,
/// its factory picks one. Needs the QApplication; call on the GUI thread.
AppDelegate::Services makeDesktopServices();
