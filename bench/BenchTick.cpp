// One 0.2 s tick of a working session, display refresh included, through a view that stores
// every text the way a label does.
#include "FakeClocks.h"
#include "FakeIdleTimeSource.h"
#include "RecordingReports.h"
#include "RecordingSessionView.h"
#include "ScriptedBreakPrompt.h"
#include "WorkSession.h"

#include <benchmark/benchmark.h>

static void BM_TickWhileWorking(benchmark::State& state) {
    FakeTime time;
    FakeIdleTimeSource idle;
    RecordingReports reports;
    ScriptedBreakPrompt prompt;
    RecordingSessionView view;
    WorkSession session({time.monotonic, time.wall, idle, reports, prompt});
    session.setView(&view);
    session.onClock();
    idle.seconds = 1.0;
    for (auto _ : state) {
        time.monotonic.ns += 200'000'000;
        session.onTick();
        benchmark::DoNotOptimize(view.work);
    }
    state.counters["target_us"] = 20;
}
BENCHMARK(BM_TickWhileWorking)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
