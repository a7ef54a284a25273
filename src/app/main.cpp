#include "AppDelegate.h"
#include "DarkPalette.h"
#include "DesktopServices.h"
#include "ServiceConfig.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <malloc.h>
#include <optional>
#include <string_view>

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
    applyDarkPalette(app);

    AppDelegate delegate(makeDesktopServices());
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &AppDelegate::applicationWillTerminate);
    // Start-up runs inside the event loop, so that quitting from the sign-in dialog goes
    // through the normal shut-down path.
    QTimer::singleShot(0, &delegate, &AppDelegate::applicationDidFinishLaunching);
    app.exec();
    return 0;
}
