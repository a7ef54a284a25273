// The floor under the whole-program figures: the smallest Qt Widgets program with a window the
// size of the time clock's, a few labels and a button, and one label whose text changes once a
// second as the work line does while clocked in. bench_app starts and measures it exactly as it
// does the product, so the difference between the two is what the product itself costs.
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Qt floor"));
    window.resize(680, 480);

    auto* status = new QLabel(QStringLiteral("Status: Working"), &window);
    status->setGeometry(24, 152, 632, 24);
    auto* work = new QLabel(QStringLiteral("Work: 00:00:00"), &window);
    work->setGeometry(24, 182, 632, 22);
    auto* button = new QPushButton(QStringLiteral("Clock Out"), &window);
    button->setGeometry(24, 404, 120, 36);

    QElapsedTimer elapsed;
    elapsed.start();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, work, [work, &elapsed] {
        const qint64 s = elapsed.elapsed() / 1000;
        work->setText(QStringLiteral("Work: %1:%2:%3")
                          .arg(s / 3600, 2, 10, QLatin1Char('0'))
                          .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                          .arg(s % 60, 2, 10, QLatin1Char('0')));
    });
    tick.start(1000);

    window.show();
    return app.exec();
}
