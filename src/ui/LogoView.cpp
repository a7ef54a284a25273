#include "LogoView.h"

#include <QPainter>

LogoView::LogoView(QWidget* parent)
    : QWidget(parent) {}

void LogoView::setImage(const QImage& image) {
    picture = image;
    update();
}

void LogoView::paintEvent(QPaintEvent*) {
    if (picture.isNull())
        return;
    QSizeF size = picture.size();
    size.scale(QSizeF(width(), height()), Qt::KeepAspectRatio);
    const QRectF target(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(target, picture);
}
