#pragma once

#include <QImage>
#include <QString>

/// Finds the logo "logo2". The first way that yields a decodable image wins:
/// 1. the PNG compiled into the program (the resource ":/corlune/logo2.png");
/// 2. the icon theme's "logo2";
/// 3. "logo2.png" in the working directory.
/// Otherwise the result is a null image and the logo area stays empty. Needs a QGuiApplication.
namespace LogoLoader {

struct Sources {
    QString resourceFile = QStringLiteral(":/corlune/logo2.png");
    QString themeIconName = QStringLiteral("logo2");
    /// Empty means the process's working directory at the time of loading.
    QString workingDirectory;
};

/// The edge of the square the theme icon is rendered to, in pixels.
constexpr int themeIconPixels = 256;

QImage load(const Sources& sources = {});

} // namespace LogoLoader
