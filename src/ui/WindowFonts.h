#pragma once

#include <QFont>

/// The window's fonts. Sizes are logical pixels, so the window looks the same at any screen
/// DPI; the device-pixel ratio does the rest on HiDPI screens. Needs a QGuiApplication.
namespace WindowFonts {

/// The application's font at \a pixelSize and \a weight.
QFont systemFont(int pixelSize, QFont::Weight weight);

/// A font whose ten digits share one advance, so that running times do not jitter: the
/// application's font when its figures are tabular (DejaVu Sans's are), else the system's
/// fixed-pitch font.
QFont monospacedDigitFont(int pixelSize, QFont::Weight weight);

bool hasTabularDigits(const QFont& font);

} // namespace WindowFonts
