#include "AppDelegate.h"
#include "DarkPalette.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corlune"));
    QCoreApplication::setApplicationName(QStringLiteral("Corlune Track"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORLUNE_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Corlune Track"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.corlune.Track"));
    applyDarkPalette(app);

    AppDelegate delegate(AppDelegate::desktopServices());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    // Start-up runs inside the event loop, so that quitting from the sign-in dialog goes
    // through the normal shut-down path.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    app.exec();
    return 0;
}
