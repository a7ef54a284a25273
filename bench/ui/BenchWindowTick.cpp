// One 0.2 s tick of a working session written into the real window's labels and painted, and
// the same tick when nothing on screen changes (most ticks: the work line turns once a second).
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "MainWindow.h"
#include "RecordingReports.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <QApplication>

#include <benchmark/benchmark.h>

namespace {

struct WorkingWindow {
    WorkingWindow() {
        session.setView(&window);
        window.show();
        QCoreApplication::processEvents();
        session.onClock();
        idle.seconds = 1.0;
    }

    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    MainWindow window;
    WorkSession session{{time.monotonic, time.wall, idle, reports, prompt}};
};

void BM_TickEverySecondTurns(benchmark::State& state) {
    WorkingWindow w;
    for (auto _ : state) {
        w.time.monotonic.ns += 1'000'000'000;
        w.session.onTick();
        QCoreApplication::processEvents();
    }
    state.counters["target_us"] = 200;
}
BENCHMARK(BM_TickEverySecondTurns)->Unit(benchmark::kMicrosecond);

void BM_TickNothingChanges(benchmark::State& state) {
    WorkingWindow w;
    for (auto _ : state) {
        w.session.onTick();
        QCoreApplication::processEvents();
    }
    state.counters["target_us"] = 20;
}
BENCHMARK(BM_TickNothingChanges)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Figures without a display: the labels' own work, not the X server's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
