#include "LogoView.h"

#include <QPainter>

LogoView::LogoView(QWidget* parent)
    : QWidget(parent) {}

void LogoView::setImage(const QImage& image) {
    picture = image;
    drawing = QImage();
    update();
}

void LogoView::paintEvent(QPaintEvent*) {
    if (picture.isNull())
        return;
    QPainter painter(this);
    // Device pixels per logical pixel: the screen's pixel ratio, or that of a render target.
    const qreal ratio = painter.deviceTransform().m11();
    const QSize area = (QSizeF(size()) * ratio).toSize();
    const QSize pixels = picture.size().scaled(area, Qt::KeepAspectRatio);
    if (pixels.isEmpty())
        return;
    // Scaling is done once per size, not on every paint.
    if (drawing.size() != pixels)
        drawing = pixels == picture.size()
                      ? picture
                      : picture.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Centred on whole device pixels, so that a drawing that fits is copied one to one.
    const QPoint offset((area.width() - pixels.width()) / 2, (area.height() - pixels.height()) / 2);
    painter.drawImage(QRectF(QPointF(offset) / ratio, QSizeF(pixels) / ratio), drawing);
}
