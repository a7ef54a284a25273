#pragma once

#include <QImage>
#include <QWidget>

/// Shows one image scaled proportionally up or down to fit the view, centred; nothing when the
/// image is null.
class LogoView final : public QWidget {
    Q_OBJECT

public:
    explicit LogoView(QWidget* parent = nullptr);

    void setImage(const QImage& image);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture;
    /// picture scaled to the device pixels it was last painted on; it shares picture's pixels
    /// when those are already the right size, so a fitting image costs no second copy.
    QImage drawing;
};
