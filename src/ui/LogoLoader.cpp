#include "LogoLoader.h"

#include <QDir>
#include <QIcon>
#include <QPixmap>

namespace LogoLoader {

QImage load(const Sources& sources) {
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
