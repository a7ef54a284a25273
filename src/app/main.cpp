#include "AppDelegate.h"
#include "DarkPalette.h"

#include <QApplication>
#include <QTimer>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#if defined(__GLIBC__)
    // glibc gives each thread that allocates an arena of its own, up to eight per core. Our
    // threads (X events, HTTP, D-Bus) allocate a few bytes a minute, so two
    // arenas serve them as well and keep ~0.3 MiB fewer pages resident. Set before any thread.
    mallopt(M_ARENA_MAX, 2);
#endif
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
