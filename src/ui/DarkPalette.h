#pragma once

class QApplication;

/// Gives the whole application the Fusion style with a dark palette, so that the black main
/// window, the alerts and the sign-in dialog's white labels all read well. Call it once, before
/// the first window is created.
void applyDarkPalette(QApplication& app);
