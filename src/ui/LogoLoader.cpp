#include "LogoLoader.h"

#include <QDir>
#include <QIcon>
#include <QPixmap>

#include <algorithm>

namespace LogoLoader {

namespace {

// A QImage over the const pixels reads them where they are, in the program's read-only data;
// it would copy them only if someone wrote to it.
QImage wrap(const Bitmap& bitmap) {
    return QImage(reinterpret_cast<const uchar*>(bitmap.pixels), bitmap.size, bitmap.size,
                  bitmap.size * static_cast<int>(sizeof(std::uint32_t)), QImage::Format_ARGB32_Premultiplied);
}

} // namespace

QImage load(const Sources& sources, int pixels) {
    if (!sources.compiledIn.empty()) {
        const auto fits = std::find_if(sources.compiledIn.begin(), sources.compiledIn.end(),
                                       [pixels](const Bitmap& bitmap) { return bitmap.size >= pixels; });
        return wrap(fits != sources.compiledIn.end() ? *fits : sources.compiledIn.back());
    }

    if (QIcon::hasThemeIcon(sources.themeIconName)) {
        const QImage image = QIcon::fromTheme(sources.themeIconName).pixmap(QSize(pixels, pixels)).toImage();
        if (!image.isNull())
            return image;
    }

    const QDir directory(sources.workingDirectory.isEmpty() ? QDir::currentPath() : sources.workingDirectory);
    return QImage(directory.filePath(QStringLiteral("logo2.png")));
}

} // namespace LogoLoader
