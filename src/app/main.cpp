#include "AppDelegate.h"
#include "DarkPalette.h"
#include "DesktopServices.h"
#include "ServiceConfig.h"
#include "SingleInstance.h"
#include "TerminationSignals.h"

#include <QApplication>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <optional>
#include <string_view>

#include <malloc.h>

namespace {

// The program takes no option of its own but these two, which answer and exit before anything
// reaches for a display, so that they work over ssh and in a package's checks.
std::optional<int> answerInformationOption(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--version") {
            std::printf("corlune-track %s\n", CORLUNE_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: corlune-track [--help | --version]\n\n"
                        "Corlune Track, the time clock: clock in and out of a job, pause and resume, and\n"
                        "report the hours to the company's time-tracking service at %s.\n"
                        "Signing in, the idle threshold and global input tracking are set in its window;\n"
                        "it reads no other option (Qt's own, such as -platform, are passed on to Qt).\n\n"
                        "  --help     Print this text and exit.\n"
                        "  --version  Print the version and exit.\n",
                        serviceBaseUrl().toUtf8().constData());
            return 0;
        }
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char** argv) {
    if (const auto status = answerInformationOption(argc, argv)) {
        return *status;
    }
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
    // The window may be hidden in the tray while a dialog closes; only a quit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    switch (instance.claim()) {
    case SingleInstance::Outcome::First:
        break;
    case SingleInstance::Outcome::HandedOver:
        return 0;
    case SingleInstance::Outcome::Refused:
        std::fprintf(stderr, "corlune-track: %s\n", qPrintable(instance.message()));
        return 1;
    }
    TerminationSignals terminationSignals;
    applyDarkPalette(app);

    AppDelegate delegate(makeDesktopServices());
    QObject::connect(&instance, &SingleInstance::activateRequested, &delegate, &AppDelegate::showMainWindow);
    QObject::connect(&terminationSignals, &TerminationSignals::received, &delegate,
                     &AppDelegate::requestTerminate);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    // The session keeps nothing to restore: the autostart entry, not the session manager, starts
    // the program at the next login. The session's end itself arrives as a quit.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate,
                     [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); });
    // Start-up runs inside the event loop, so that quitting from the sign-in dialog goes
    // through the normal shut-down path.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    app.exec();
    return 0;
}
