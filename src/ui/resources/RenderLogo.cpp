// Draws the logo "logo2" at build time: a "C" that is also a clock face, in the accent colour
// #A259FF on a transparent square. Usage: corlune_render_logo OUTPUT.png SIZE
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

// The mark is designed on a 256-unit square and scaled to the requested size.
constexpr double design = 256.0;

void paintMark(QPainter& painter) {
    const QColor accent(0xA2, 0x59, 0xFF);
    const QPointF centre(128, 128);

    // The face: a thick ring open towards three o'clock, so that it reads as a "C".
    QPen ring(accent, 30, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(ring);
    const QRectF face(centre.x() - 94, centre.y() - 94, 188, 188);
    // Qt's angles are in sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(face, 40 * 16, 280 * 16);

    // The hands: twelve o'clock and a short one into the opening of the "C".
    QPen hand(accent, 20, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(hand);
    painter.drawLine(centre, centre + QPointF(0, -58));
    painter.drawLine(centre, centre + QPointF(44, 0));

    painter.setPen(Qt::NoPen);
    painter.setBrush(accent.lighter(125));
    painter.drawEllipse(centre, 9, 9);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.png SIZE\n", argv[0]);
        return 2;
    }
    const int size = std::atoi(argv[2]);
    if (size < 16 || size > 4096) {
        std::fprintf(stderr, "%s: SIZE must be 16 to 4096\n", argv[0]);
        return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / design, size / design);
        paintMark(painter);
    }
    if (!image.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
