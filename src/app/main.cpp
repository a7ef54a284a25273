#include "AppDelegate.h"
#include "DarkPalette.h"
#include "DesktopServices.h"

#include <QApplication>
#include <QTimer>

#include <malloc.h>

int main(int argc, char** argv) {
    // glibc gives each thread that allocates an arena of its own, up to eight per core. Our
    // threads (X events, HTTP, D-Bus) allocate little and seldom, and two arenas serve them as
    // well with fewer pages resident. Set before any thread starts.
    mallopt(M_ARENA_MAX, 2);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corlune"));
    QCoreApplication::setApplicationName(QStringLiteral("Corlune Track"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CORLUNE_VERSION));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Corlune Track"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.corlune.Track"));
    applyDarkPalette(app);

    AppDelegate delegate(makeDesktopServices());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    // Start-up runs inside the event loop, so that quitting from the sign-in dialog goes
    // through the normal shut-down path.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    app.exec();
    return 0;
}
