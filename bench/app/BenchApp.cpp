// Whole-program figures of the time clock: the real corlune-track binary, started against the
// reference service on an X display without a window manager and, unless --no-tray, with a
// StatusNotifierWatcher on the session bus so that it shows its tray icon; driven through XTEST
// the way a user would, and watched from outside — window maps through the root's substructure
// events, repaints through the DAMAGE extension, CPU time, memory and threads through /proc.
//
//   scripts/lib/with-desktop build-bench/bench/app/bench_app [--seconds 60] [--launches 5]
//
// As root the service and the programs run in a network namespace of their own, so the
// service's port need not be free; otherwise 127.0.0.1 and the client's port must be.
// Prints, for a first launch (no remembered sign-in) and for a launch with a remembered one:
// the time from exec to the main window's map and to the sign-in dialog's, from the dialog's
// Return to the first-run notice, from the notice's "Got it" to the main window drawn again with
// its start-up over, and from a click on Clock In to "Status: Working" (with a remembered
// sign-in: from exec until a click sent as the window maps shows it). Then, clocked in and idle
// for --seconds: CPU time as % of one core, wake-ups and run time per thread, resident memory
// with what it is made of, threads, and every repaint the program made.
// The same idle figures follow for the job "0" (the social panel, information only), with
// --caret for the caret blinking in the idle field (information only), and for the floor: the
// smallest Qt Widgets program with a window like ours and one label changing once a second, with
// what the program keeps resident above it. The service's own CPU time is shown beside ours.
// Last, the longest the window does not respond while buttons are pressed with the service
// answering reports only after a minute.
#include "ChildProcess.h"
#include "DamageWatch.h"
#include "NetworkNamespace.h"
#include "ProcessSample.h"
#include "ServerProcess.h"
#include "TempDir.h"
#include "TimeClockClient.h"
#include "XDesktop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

const std::string mainTitle = "Corlune Track";
const std::string signInTitle = "Sign in"; // Qt appends " — " and the application's display name
const std::string noticeTitle = "Welcome to Corlune Track";
const std::string floorTitle = "Qt floor";

/// A control of the main window, in window pixels from its top-left corner, at the size the
/// window opens with (680x480): where to click, and what a repaint covered.
struct Control {
    const char* name;
    int x, y, width, height;
};
constexpr Control statusLabel{"statusLabel", 24, 152, 632, 24};
constexpr Control clockButton{"clockButton", 24, 404, 120, 36};
constexpr Control pauseButton{"pauseButton", 160, 404, 120, 36};
constexpr Control idleField{"idleField", 530, 410, 50, 26};
constexpr Control mainWindowControls[] = {
    statusLabel,
    {"workLabel", 24, 182, 632, 22},
    {"totalLabel", 24, 208, 632, 20},
    {"breaksLabel", 24, 224, 632, 22},
    {"inputsLabel", 24, 246, 632, 22},
    {"socialTitleLabel", 24, 254, 632, 22},
    {"igLabel", 24, 278, 632, 20},
    {"ttLabel", 24, 298, 632, 20},
    {"webLabel", 24, 318, 632, 20},
    {"latestLabel", 24, 338, 632, 20},
    clockButton,
    pauseButton,
    idleField,
    {"idleStepper", 590, 410, 32, 26},
    {"idleLabel", 350, 410, 180, 24},
    {"globalTrackCheckbox", 24, 446, 220, 24},
    {"logoView", 24, 24, 128, 128},
    {"syncLabel", 284, 26, 376, 20},
};

bool touches(const DamageWatch::Paint& p, const Control& c) {
    return p.x < c.x + c.width && c.x < p.x + p.width && p.y < c.y + c.height && c.y < p.y + p.height;
}

bool within(const DamageWatch::Paint& p, const Control& c) {
    return p.x >= c.x && p.y >= c.y && p.x + p.width <= c.x + c.width && p.y + p.height <= c.y + c.height;
}

/// Clicks the middle of \a control in the main window.
void clickOn(XDesktop& windows, unsigned long mainWindow, const Control& control) {
    windows.click(mainWindow, control.x + control.width / 2, control.y + control.height / 2);
}

struct Options {
    int seconds = 60;
    int launches = 5;
    int settleSeconds = 5;
    bool social = true;
    bool floor = true;
    bool caret = false;
    /// A StatusNotifierWatcher on the session bus, as a desktop panel has: the program shows its
    /// tray icon, and its tooltip follows the work time.
    bool tray = true;
    /// Length of the stall measurement against a service that answers reports after a minute.
    int stallSeconds = 180;
    std::string floorProgram = CORLUNE_BENCH_FLOOR;
    /// Extra variables (NAME=value) for the program, to try a setting without rebuilding.
    std::vector<std::string> environment;
};

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

/// The X display as the benchmark watches it: window maps and repaints, read on one connection.
class Desktop {
public:
    XDesktop windows;
    DamageWatch paints{windows};

    /// Reads what the server sends for \a duration.
    void pumpFor(std::chrono::milliseconds duration) {
        windows.waitUntil([] { return false; }, duration);
    }

    /// Reads what the server sends until \a done holds; throws when \a timeout passes first.
    void waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout,
                   const std::string& what) {
        if (!windows.waitUntil(done, timeout))
            throw std::runtime_error("timed out waiting for " + what);
    }

    DamageWatch::WindowEvent waitMapped(const std::string& title, bool prefix, std::size_t since,
                                        const std::string& what) {
        return waitEvent(since, what, [&](const DamageWatch::WindowEvent& e) {
            return e.mapped && (prefix ? e.title.rfind(title, 0) == 0 : e.title == title);
        });
    }

    DamageWatch::WindowEvent waitUnmapped(unsigned long window, std::size_t since, const std::string& what) {
        return waitEvent(since, what,
                         [&](const DamageWatch::WindowEvent& e) { return !e.mapped && e.window == window; });
    }

    /// Where the next repaint will be logged: the start of a search for repaints still to come.
    std::size_t nextPaint() const { return paints.paints().size(); }

    /// The first repaint of \a window logged at \a from or later for which \a wanted holds.
    DamageWatch::Paint waitPaint(unsigned long window, std::size_t from,
                                 const std::function<bool(const DamageWatch::Paint&)>& wanted,
                                 const std::string& what, std::size_t* index = nullptr) {
        std::size_t found = 0;
        waitUntil(
            [&] {
                const auto& log = paints.paints();
                for (std::size_t i = from; i < log.size(); ++i) {
                    if (log[i].window == window && wanted(log[i])) {
                        found = i;
                        return true;
                    }
                }
                return false;
            },
            20s, what);
        if (index)
            *index = found;
        return paints.paints()[found];
    }

    bool anyMapped(const std::string& prefix, std::size_t since) const {
        const auto& log = paints.windowEvents();
        return std::any_of(log.begin() + static_cast<std::ptrdiff_t>(since), log.end(),
                           [&](const auto& e) { return e.mapped && e.title.rfind(prefix, 0) == 0; });
    }

private:
    DamageWatch::WindowEvent waitEvent(std::size_t since, const std::string& what,
                                       const std::function<bool(const DamageWatch::WindowEvent&)>& wanted) {
        std::optional<DamageWatch::WindowEvent> found;
        waitUntil(
            [&] {
                const auto& log = paints.windowEvents();
                for (std::size_t i = since; i < log.size() && !found; ++i) {
                    if (wanted(log[i]))
                        found = log[i];
                }
                return found.has_value();
            },
            20s, what);
        return *found;
    }
};

struct LaunchSettings {
    std::string job = "demo";
    /// The sign-in remembered and the first-run notice already seen.
    bool remembered = false;
};

/// One launch of the program and the figures taken on the way to its first click.
struct Launch {
    std::unique_ptr<TimeClockClient> client;
    unsigned long mainWindow = 0;
    std::map<std::string, double> figures; // name to milliseconds
};

/// When a click on Clock In was taken and when its result was shown.
struct ClockIn {
    Clock::time_point click;
    /// The button drawn pressed or released: the event loop has taken the click.
    Clock::time_point taken;
    /// The first repaint of the status line after that: the clock-in has been reported to the
    /// service and "Status: Working" is on screen (alone, or within a wider repaint).
    Clock::time_point shown;
};

ClockIn clockIn(Desktop& desktop, unsigned long mainWindow) {
    ClockIn result;
    const std::size_t from = desktop.nextPaint();
    result.click = Clock::now();
    clickOn(desktop.windows, mainWindow, clockButton);
    std::size_t taken = 0;
    result.taken =
        desktop
            .waitPaint(
                mainWindow, from, [](const DamageWatch::Paint& p) { return within(p, clockButton); },
                "Clock In to be drawn pressed", &taken)
            .at;
    result.shown =
        desktop
            .waitPaint(
                mainWindow, taken + 1, [](const DamageWatch::Paint& p) { return touches(p, statusLabel); },
                "the status line after Clock In")
            .at;
    return result;
}

/// What every launch runs beside: the display, a scratch folder, the service, and the network
/// namespace they share when the benchmark runs as root.
struct Setting {
    Desktop desktop;
    TempDir scratch;
    std::unique_ptr<NetworkNamespace> ns;
    std::unique_ptr<ServerProcess> service;
};

/// Starts the program with settings and data of its own, signs in and clocks in.
Launch launch(Setting& setting, const Options& options, int number, const LaunchSettings& settings) {
    Desktop& desktop = setting.desktop;
    Launch result;
    const std::string home = setting.scratch.file("launch" + std::to_string(number));
    result.client =
        std::make_unique<TimeClockClient>(desktop.windows, home, setting.ns.get(), options.environment);
    if (settings.remembered) {
        // The keyring holds the password since the first launch, which stayed signed in.
        const std::filesystem::path conf = home + "/config/Corlune/Corlune Track.conf";
        std::filesystem::create_directories(conf.parent_path());
        std::ofstream(conf) << "[General]\nCLDidShowFirstRun=true\nCLLastEmpId=demo\nCLLastJobId="
                            << settings.job << '\n';
    }

    const std::size_t since = desktop.paints.windowEvents().size();
    result.client->launch();
    const Clock::time_point exec = result.client->startedAt();
    const DamageWatch::WindowEvent main = desktop.waitMapped(mainTitle, false, since, "the main window");
    result.mainWindow = main.window;
    result.figures["exec to main window mapped"] = ms(main.at - exec);
    // The server hands a new client the window IDs of one gone, whose last paints may be read
    // after this launch began: the window's own paints are those read after it mapped.
    const auto& paints = desktop.paints.paints();
    const auto firstPaint =
        static_cast<std::size_t>(std::find_if(paints.begin(), paints.end(),
                                              [&](const DamageWatch::Paint& p) { return p.at > main.at; }) -
                                 paints.begin());

    if (settings.remembered) {
        // The click waits in the queue while the program signs in by itself.
        const ClockIn click = clockIn(desktop, main.window);
        const DamageWatch::Paint drawn = desktop.waitPaint(
            main.window, firstPaint, [](const DamageWatch::Paint&) { return true; },
            "the main window's first paint");
        if (desktop.anyMapped(signInTitle, since))
            throw std::runtime_error("a remembered sign-in showed the sign-in dialog");
        result.figures["exec to main window drawn"] = ms(drawn.at - exec);
        result.figures["exec to Clock In taken"] = ms(click.taken - exec);
        result.figures["exec to Status: Working"] = ms(click.shown - exec);
        return result;
    }

    const DamageWatch::WindowEvent dialog =
        desktop.waitMapped(signInTitle, true, since, "the sign-in dialog");
    result.figures["exec to sign-in dialog mapped"] = ms(dialog.at - exec);
    desktop.windows.focus(dialog.window);
    desktop.windows.type("demo");
    desktop.windows.key("Tab");
    desktop.windows.type("demo");
    desktop.windows.key("Tab");
    desktop.windows.type(settings.job);
    // Let the typing be handled, so that the figures below time the sign-in alone.
    desktop.pumpFor(300ms);

    std::size_t mark = desktop.paints.windowEvents().size();
    const Clock::time_point signIn = Clock::now();
    desktop.windows.key("Return");
    const DamageWatch::WindowEvent dialogGone =
        desktop.waitUnmapped(dialog.window, mark, "the dialog to close");
    const DamageWatch::WindowEvent notice =
        desktop.waitMapped(noticeTitle, false, mark, "the first-run notice");
    result.figures["Return to sign-in dialog gone"] = ms(dialogGone.at - signIn);
    result.figures["Return to first-run notice mapped"] = ms(notice.at - signIn);

    desktop.windows.focus(notice.window);
    desktop.pumpFor(200ms);
    mark = desktop.paints.windowEvents().size();
    const std::size_t fromGotIt = desktop.nextPaint();
    const Clock::time_point gotIt = Clock::now();
    desktop.windows.key("Return");
    const DamageWatch::WindowEvent noticeGone =
        desktop.waitUnmapped(notice.window, mark, "the notice to close");
    // The notice lay over the main window, which draws the part it uncovers once the rest of
    // the start-up has run and its event loop turns again.
    const DamageWatch::Paint redrawn = desktop.waitPaint(
        main.window, fromGotIt, [](const DamageWatch::Paint&) { return true; }, "the main window's repaint");
    result.figures["Got it to notice gone"] = ms(noticeGone.at - gotIt);
    result.figures["Got it to main window redrawn"] = ms(redrawn.at - gotIt);
    desktop.pumpFor(50ms);
    const ClockIn click = clockIn(desktop, main.window);
    result.figures["Clock In to Status: Working"] = ms(click.shown - click.click);
    return result;
}

struct Stats {
    double median = 0;
    double min = 0;
    double max = 0;
};

Stats statsOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void printLaunchFigures(const std::string& heading, const std::vector<Launch>& launches,
                        const std::vector<std::string>& order) {
    std::printf("\n%s (%zu launches; median, min, max in ms)\n", heading.c_str(), launches.size());
    for (const std::string& name : order) {
        std::vector<double> values;
        for (const Launch& l : launches)
            values.push_back(l.figures.at(name));
        const Stats s = statsOf(values);
        std::printf("  %-36s %8.1f %8.1f %8.1f\n", name.c_str(), s.median, s.min, s.max);
    }
}

/// Times --launches launches of each kind, the two kinds in turn.
void reportLaunches(Setting& setting, const Options& options, int& number) {
    std::vector<Launch> first;
    std::vector<Launch> remembered;
    for (int i = 0; i < options.launches; ++i) {
        first.push_back(launch(setting, options, number++, {}));
        first.back().client.reset();
        remembered.push_back(launch(setting, options, number++, {"demo", true}));
        remembered.back().client.reset();
    }
    printLaunchFigures("First launch: sign-in dialog and first-run notice", first,
                       {"exec to main window mapped", "exec to sign-in dialog mapped",
                        "Return to sign-in dialog gone", "Return to first-run notice mapped",
                        "Got it to notice gone", "Got it to main window redrawn",
                        "Clock In to Status: Working"});
    printLaunchFigures("Remembered sign-in, Clock In clicked as the window maps", remembered,
                       {"exec to main window mapped", "exec to main window drawn", "exec to Clock In taken",
                        "exec to Status: Working"});
    std::printf("  (redrawn: the main window draws what the notice covered, its start-up over; taken: the\n"
                "   button drawn pressed, the event loop free after the sign-in; Status: Working: the\n"
                "   clock-in reported to the service and shown)\n");
    std::fflush(stdout);
}

const char* controlAt(const DamageWatch::Paint& paint) {
    const int cx = paint.x + paint.width / 2;
    const int cy = paint.y + paint.height / 2;
    for (const Control& c : mainWindowControls) {
        if (cx >= c.x && cx < c.x + c.width && cy >= c.y && cy < c.y + c.height)
            return c.name;
    }
    return "?";
}

using Mappings = std::vector<std::pair<std::string, long>>;

/// CPU, wake-ups, memory, threads and repaints of \a pid, idle for --seconds after --settle;
/// answers its resident memory by mapping at the end.
Mappings measureIdle(Desktop& desktop, const Options& options, pid_t pid, unsigned long window, pid_t service,
                     const std::string& heading) {
    desktop.pumpFor(std::chrono::seconds(options.settleSeconds));
    const std::optional<ProcessSample> before = ProcessSample::read(pid);
    const std::optional<ProcessSample> serviceBefore =
        service > 0 ? ProcessSample::read(service) : std::optional<ProcessSample>();
    long peakThreads = before ? before->threadCount : 0;
    const auto until = Clock::now() + std::chrono::seconds(options.seconds);
    while (Clock::now() < until) {
        desktop.pumpFor(std::chrono::ceil<std::chrono::milliseconds>(
            std::min<Clock::duration>(until - Clock::now(), 1s)));
        if (const auto now = ProcessSample::read(pid))
            peakThreads = std::max(peakThreads, now->threadCount);
    }
    const std::optional<ProcessSample> after = ProcessSample::read(pid);
    const std::optional<ProcessSample> serviceAfter =
        service > 0 ? ProcessSample::read(service) : std::optional<ProcessSample>();
    if (!before || !after)
        throw std::runtime_error("the program ended during the measurement");

    const double wall = std::chrono::duration<double>(after->at - before->at).count();
    const double cpu = after->cpuSeconds() - before->cpuSeconds();
    std::uint64_t runNs = 0;
    std::printf("\n%s, %.0f s\n", heading.c_str(), wall);
    std::printf("  CPU                  %7.3f %% of one core (%.0f ms in %.0f s, /proc/PID/stat)\n",
                100.0 * cpu / wall, cpu * 1000, wall);
    std::printf("  per thread           %-18s %10s %12s\n", "", "CPU ms", "wake-ups/s");
    for (const ProcessSample::Thread& t : after->threads) {
        const auto old = std::find_if(before->threads.begin(), before->threads.end(),
                                      [&](const ProcessSample::Thread& b) { return b.tid == t.tid; });
        const bool known = old != before->threads.end();
        const std::uint64_t run = t.runNs - (known ? old->runNs : 0);
        const std::uint64_t slices = t.slices - (known ? old->slices : 0);
        runNs += run;
        std::printf("    %-36s %10.1f %12.2f\n", (t.name + " " + std::to_string(t.tid)).c_str(),
                    static_cast<double>(run) / 1e6, static_cast<double>(slices) / wall);
    }
    std::printf("  CPU, living threads  %7.3f %% of one core (schedstat)\n",
                100.0 * (static_cast<double>(runNs) / 1e9) / wall);
    if (serviceBefore && serviceAfter) {
        const double serviceCpu = serviceAfter->cpuSeconds() - serviceBefore->cpuSeconds();
        std::printf("  service CPU          %7.3f %% of one core\n", 100.0 * serviceCpu / wall);
    }
    std::printf("  VmRSS %.2f MiB, VmHWM %.2f MiB (anon %.2f, file %.2f, shmem %.2f; PSS %.2f)\n",
                after->vmRss / 1024.0, after->vmHwm / 1024.0, after->rssAnon / 1024.0,
                after->rssFile / 1024.0, after->rssShmem / 1024.0, after->pss / 1024.0);
    std::printf("  threads %ld at the end, %ld at most\n", after->threadCount, peakThreads);

    const Mappings mappings = ProcessSample::residentByMapping(pid);
    std::printf("  resident, largest mappings (KiB):");
    int shown = 0;
    for (const auto& [name, kib] : mappings) {
        if (shown++ % 4 == 0)
            std::printf("\n   ");
        std::printf(" %s %ld;", name.c_str(), kib);
        if (shown == 24)
            break;
    }
    std::printf("\n");

    std::map<std::string, int> byArea; // "control WxH+X+Y" to count
    int count = 0;
    long pixels = 0;
    for (const DamageWatch::Paint& p : desktop.paints.paints()) {
        if (p.window != window || p.at < before->at || p.at > after->at)
            continue;
        ++count;
        pixels += static_cast<long>(p.width) * p.height;
        ++byArea[std::string(controlAt(p)) + ' ' + std::to_string(p.width) + 'x' + std::to_string(p.height) +
                 '+' + std::to_string(p.x) + '+' + std::to_string(p.y)];
    }
    std::printf("  repaints             %.2f /s, %.0f pixels/s\n", count / wall,
                static_cast<double>(pixels) / wall);
    for (const auto& [area, times] : byArea)
        std::printf("    %-40s %5d times\n", area.c_str(), times);
    return mappings;
}

/// What the program keeps resident beyond the floor, by mapping: where its memory goes.
void printAboveFloor(const Mappings& program, const Mappings& floor) {
    const std::map<std::string, long> floorByName(floor.begin(), floor.end());
    Mappings above;
    long total = 0;
    for (const auto& [name, kib] : program) {
        const auto it = floorByName.find(name);
        const long extra = kib - (it != floorByName.end() ? it->second : 0);
        total += extra;
        above.emplace_back(name, extra);
    }
    for (const auto& [name, kib] : floor) {
        if (std::none_of(program.begin(), program.end(), [&](const auto& p) { return p.first == name; }))
            total -= kib;
    }
    std::sort(above.begin(), above.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::printf("\nResident above the floor, job \"demo\": %.2f MiB in all; by mapping (KiB):",
                total / 1024.0);
    int shown = 0;
    for (const auto& [name, kib] : above) {
        if (kib < 64)
            break;
        if (shown++ % 4 == 0)
            std::printf("\n   ");
        std::printf(" %s %ld;", name.c_str(), kib);
    }
    std::printf("\n");
}

/// Starts the program against a service that holds every event report's answer for a minute,
/// then presses Pause, Resume, Clock Out and Clock In in turn, one a second, for
/// options.stallSeconds, while the window is pinged (_NET_WM_PING) without pause: the longest
/// wait for an answer is the longest the window did not respond.
void measureStall(Setting& setting, const Options& options, int& number) {
    setting.service.reset();
    setting.service = std::make_unique<ServerProcess>(
        std::vector<std::string>{"--db", setting.scratch.file("service.db"), "--demo", "--delay-ms", "60000"},
        TimeClockClient::servicePort(), setting.ns.get());
    Desktop& desktop = setting.desktop;
    Launch slow = launch(setting, options, number++, {"demo", true});
    const Control presses[] = {pauseButton, pauseButton, clockButton, clockButton};
    Clock::duration longest{};
    int pings = 0;
    int pressed = 0;
    const Clock::time_point start = Clock::now();
    for (Clock::time_point next = start; Clock::now() - start < std::chrono::seconds(options.stallSeconds);) {
        if (Clock::now() >= next) {
            clickOn(desktop.windows, slow.mainWindow, presses[pressed++ % 4]);
            next += 1s;
        }
        const Clock::time_point sent = Clock::now();
        if (!desktop.windows.ping(slow.mainWindow, 300s))
            throw std::runtime_error("the window did not answer a ping within 300 s");
        longest = std::max(longest, Clock::now() - sent);
        ++pings;
        std::this_thread::sleep_for(10ms);
    }
    std::printf("\nService answering reports after 60 s: %d presses of Pause, Resume, Clock Out and Clock In "
                "over %d s\n  longest wait for a ping's answer %.1f ms (of %d pings)\n",
                pressed, options.stallSeconds, ms(longest), pings);
}

void usage() {
    std::printf(
        "usage: bench_app [--seconds N] [--launches N] [--settle N] [--no-social] [--no-floor] [--caret]\n"
        "                 [--no-tray] [--stall-seconds N]\n"
        "                 [--floor PATH] [--env NAME=VALUE]...\n"
        "Run it on a display without a window manager: scripts/lib/with-desktop bench_app\n"
        "  --seconds   length of each idle measurement (60)\n"
        "  --launches  launches timed of each kind, 0 for none (5)\n"
        "  --settle    seconds between clocking in and measuring (5)\n"
        "  --caret     also measure with the caret blinking in the idle field\n"
        "  --no-tray   no StatusNotifierWatcher on the session bus: the program has no tray icon\n"
        "  --stall-seconds  length of the stall measurement, 0 for none (180)\n"
        "  --env       a variable for the measured program, to try a setting\n");
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--seconds") {
            o.seconds = std::stoi(value());
        } else if (arg == "--launches") {
            o.launches = std::stoi(value());
        } else if (arg == "--settle") {
            o.settleSeconds = std::stoi(value());
        } else if (arg == "--no-social") {
            o.social = false;
        } else if (arg == "--no-floor") {
            o.floor = false;
        } else if (arg == "--caret") {
            o.caret = true;
        } else if (arg == "--no-tray") {
            o.tray = false;
        } else if (arg == "--stall-seconds") {
            o.stallSeconds = std::stoi(value());
        } else if (arg == "--floor") {
            o.floorProgram = value();
        } else if (arg == "--env") {
            o.environment.push_back(value());
            if (o.environment.back().find('=') == std::string::npos)
                throw std::runtime_error("--env takes NAME=VALUE");
        } else if (arg == "--help" || arg == "-h") {
            usage();
            std::exit(0);
        } else {
            throw std::runtime_error("unknown argument " + arg + " (--help lists them)");
        }
    }
    if (o.seconds < 1 || o.launches < 0 || o.settleSeconds < 0 || o.stallSeconds < 0)
        throw std::runtime_error(
            "--seconds takes a positive number, --launches, --settle and --stall-seconds one not negative");
    return o;
}

int run(const Options& options) {
    if (TimeClockClient::servicePort() == 0)
        throw std::runtime_error("the client was not built for a service on http://127.0.0.1[:PORT]");
    Setting setting;
    if (::geteuid() == 0)
        setting.ns = std::make_unique<NetworkNamespace>();
    setting.service = std::make_unique<ServerProcess>(
        std::vector<std::string>{"--db", setting.scratch.file("service.db"), "--demo"},
        TimeClockClient::servicePort(), setting.ns.get());
    const pid_t service = setting.service->pid();
    std::unique_ptr<ChildProcess> watcher;
    if (options.tray) {
        watcher = std::make_unique<ChildProcess>(ChildProcess::Options{
            .argv = {CORLUNE_TRAY_WATCHER}, .logPath = setting.scratch.file("watcher.log")});
        if (!watcher->waitForLine("ready", 10s))
            throw std::runtime_error("the StatusNotifierWatcher did not start");
    }
    std::printf("corlune-track whole-program figures\n  service on 127.0.0.1:%d%s\n  %s\n",
                setting.service->port(), setting.ns ? ", in a network namespace of its own" : "",
                options.tray ? "with a tray: a StatusNotifierWatcher on the session bus" : "without a tray");
    for (const std::string& variable : options.environment)
        std::printf("  with %s\n", variable.c_str());
    std::fflush(stdout);

    int number = 0;
    // One launch first, unmeasured, so that every measured one finds the caches as warm as a
    // user's second launch does; it also leaves the password in the keyring.
    launch(setting, options, number++, {});

    Desktop& desktop = setting.desktop;
    if (options.launches > 0)
        reportLaunches(setting, options, number);
    Mappings program;
    {
        Launch idle = launch(setting, options, number++, {"demo", false});
        program = measureIdle(desktop, options, idle.client->pid(), idle.mainWindow, service,
                              "Clocked in and idle, job \"demo\"");
        std::fflush(stdout);
    }
    if (options.caret) {
        Launch caret = launch(setting, options, number++, {"demo", false});
        // Where a user who has just typed a new threshold leaves the focus.
        clickOn(desktop.windows, caret.mainWindow, idleField);
        measureIdle(desktop, options, caret.client->pid(), caret.mainWindow, service,
                    "Clocked in and idle, job \"demo\", caret in the idle field (information only)");
        std::fflush(stdout);
    }
    if (options.social) {
        Launch social = launch(setting, options, number++, {"0", false});
        measureIdle(desktop, options, social.client->pid(), social.mainWindow, service,
                    "Clocked in and idle, job \"0\" (social panel; information only)");
        std::fflush(stdout);
    }
    if (options.floor) {
        const std::size_t since = desktop.paints.windowEvents().size();
        ChildProcess floor({.argv = {options.floorProgram},
                            .environment = options.environment,
                            .logPath = setting.scratch.file("floor.log")});
        const DamageWatch::WindowEvent mapped =
            desktop.waitMapped(floorTitle, false, since, "the floor's window");
        std::printf("\nFloor: a minimal Qt Widgets window, one label changing each second\n");
        std::printf("  exec to window mapped %.1f ms\n", ms(mapped.at - floor.startedAt()));
        const Mappings floorMappings =
            measureIdle(desktop, options, floor.pid(), mapped.window, -1, "Floor, idle");
        printAboveFloor(program, floorMappings);
    }
    if (options.stallSeconds > 0)
        measureStall(setting, options, number);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(parse(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_app: %s\n", e.what());
        return 1;
    }
}
