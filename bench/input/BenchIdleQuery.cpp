// One idle query as the 0.2 s tick makes it, against the X server of $DISPLAY (a round trip on
// a local socket), with each X11 method. Target: under 100 µs.
#include "X11IdleTimeSource.h"
#include "XcbRequests.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

void idleQuery(benchmark::State& state, X11IdleTimeSource::Method method) {
    X11IdleTimeSource source(XcbRequests::qtDisplayName(), method);
    if (!source.isAvailable()) {
        state.SkipWithError("no X server with this method");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(source.secondsSinceLastInput());
    state.counters["target_us"] = 100;
}

void BM_IdleQuerySyncCounter(benchmark::State& state) {
    idleQuery(state, X11IdleTimeSource::Method::SyncIdleCounter);
}
void BM_IdleQueryScreenSaverInfo(benchmark::State& state) {
    idleQuery(state, X11IdleTimeSource::Method::ScreenSaverInfo);
}

} // namespace

BENCHMARK(BM_IdleQuerySyncCounter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IdleQueryScreenSaverInfo)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
