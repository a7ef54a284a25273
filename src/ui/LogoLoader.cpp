#include "LogoLoader.h"

#include <QDir>
#include <QIcon>
#include <QImageReader>
#include <QPixmap>

namespace LogoLoader {

namespace {

// Qt's format detection loads every image format plugin to ask each about the file; the logo
// is a PNG, which Qt reads without any plugin, so that is tried first.
QImage readPng(const QString& file) {
    QImageReader reader(file, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

} // namespace

QImage load(const Sources& sources) {
    if (QImage image = readPng(sources.resourceFile); !image.isNull())
        return image;
    if (QImage image(sources.resourceFile); !image.isNull())
        return image;

    if (QIcon::hasThemeIcon(sources.themeIconName)) {
        const QImage image =
            QIcon::fromTheme(sources.themeIconName).pixmap(QSize(themeIconPixels, themeIconPixels)).toImage();
        if (!image.isNull())
            return image;
    }

    const QDir directory(sources.workingDirectory.isEmpty() ? QDir::currentPath() : sources.workingDirectory);
    return QImage(directory.filePath(QStringLiteral("logo2.png")));
}

} // namespace LogoLoader
