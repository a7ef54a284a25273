#pragma once

#include <QImage>
#include <QString>

#include <cstdint>
#include <span>

/// Finds the logo "logo2". The first way that yields an image wins:
/// 1. the drawings compiled into the program;
/// 2. the icon theme's "logo2";
/// 3. "logo2.png" in the working directory.
/// Otherwise the result is a null image and the logo area stays empty. Needs a QGuiApplication.
namespace LogoLoader {

/// One square drawing of the logo in premultiplied ARGB32 (QImage::Format_ARGB32_Premultiplied):
/// each pixel one 0xAARRGGBB word in the machine's byte order, rows top to bottom, unpadded.
struct Bitmap {
    /// The edge, in pixels.
    int size = 0;
    /// size * size pixels that live as long as the program.
    const std::uint32_t* pixels = nullptr;
};

/// The drawings built into the program, smallest first.
std::span<const Bitmap> compiledBitmaps();

struct Sources {
    /// Smallest first; empty skips the first way.
    std::span<const Bitmap> compiledIn = compiledBitmaps();
    QString themeIconName = QStringLiteral("logo2");
    /// Empty means the process's working directory at the time of loading.
    QString workingDirectory;
};

/// \a pixels is the edge the logo will be shown at, in device pixels. Of the compiled-in
/// drawings the smallest that is at least that large is used (the largest if none is), without
/// copying its pixels; the theme icon is rendered for that size; the working directory's file
/// is used at its own size.
QImage load(const Sources& sources, int pixels);

} // namespace LogoLoader
