// Global counting under a burst of key presses: the harness types as fast as it can through XTEST,
// on a connection and a thread of its own, while the raw-event monitor counts into a working
// session. Reports the presses counted per second of the burst (the typist's own speed bounds
// it), the process's CPU time per burst (counting and the event loop's wake-ups), and how many
// presses were lost (must be 0).
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "InputTracking.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"
#include "XDesktop.h"
#include "XInput2GlobalMonitor.h"
#include "XcbRequests.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

void BM_GlobalCountingBurst(benchmark::State& state) {
    const auto presses = static_cast<int>(state.range(0));
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
    auto xinput = std::make_unique<XInput2GlobalMonitor>(XcbRequests::qtConnection());
    XInput2GlobalMonitor* monitor = xinput.get();
    if (!monitor->isAvailable()) {
        state.SkipWithError("no XInput 2.2 on $DISPLAY");
        return;
    }
    InputTracking tracking(session, std::move(xinput));
    tracking.enableInputTracking(true);
    session.onClock();

    const std::string burst(static_cast<std::size_t>(presses), 'a');
    // Used by one thread at a time: the typist's, during a burst.
    XDesktop keyboard;

    qint64 lost = 0;
    for (auto _ : state) {
        const qint64 before = session.keyCount;
        QElapsedTimer elapsed;
        elapsed.start();
        QEventLoop untilTyped;
        std::thread typist([&] {
            keyboard.type(burst);
            QMetaObject::invokeMethod(&untilTyped, &QEventLoop::quit, Qt::QueuedConnection);
        });
        // Count while the burst is typed, as the program would; then take what is still on its
        // way, for as long as a press could reasonably be late.
        untilTyped.exec();
        typist.join();
        const QDeadlineTimer deadline(2000);
        while (session.keyCount - before < presses && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        state.SetIterationTime(std::chrono::duration<double>(elapsed.nsecsElapsed() / 1e9).count());
        lost += presses - (session.keyCount - before);
    }
    state.SetItemsProcessed(state.iterations() * presses);
    state.counters["keys_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * presses), benchmark::Counter::kIsRate);
    state.counters["lost"] = static_cast<double>(lost);
}

} // namespace

BENCHMARK(BM_GlobalCountingBurst)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
