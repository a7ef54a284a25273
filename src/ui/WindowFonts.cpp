#include "WindowFonts.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>

namespace WindowFonts {

namespace {

QFont sized(QFont font, int pixelSize, QFont::Weight weight) {
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

QFont systemFont(int pixelSize, QFont::Weight weight) {
    return sized(QGuiApplication::font(), pixelSize, weight);
}

bool hasTabularDigits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal zero = metrics.horizontalAdvance(QLatin1Char('0'));
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) != zero)
            return false;
    }
    return true;
}

QFont monospacedDigitFont(int pixelSize, QFont::Weight weight) {
    const QFont font = systemFont(pixelSize, weight);
    if (hasTabularDigits(font))
        return font;
    return sized(QFontDatabase::systemFont(QFontDatabase::FixedFont), pixelSize, weight);
}

} // namespace WindowFonts
