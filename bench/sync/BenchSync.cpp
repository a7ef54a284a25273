// Prints figures; checks nothing. Targets on the reference machine (2 cores, ext4):
//   durable enqueue: median under 2 ms;  flush of 1,000 queued requests: at least 500 requests/s.
// A durable enqueue cannot beat one fdatasync() of the disk it is written to: when the disk is
// busy, compare the median with BM_DiskSync, the bare cost of that flush.
#include "FakeClocks.h"
#include "FakeJsonTransport.h"
#include "HttpTransport.h"
#include "LocalHttpServer.h"
#include "OfflineQueue.h"
#include "ReachabilityFactory.h"
#include "SyncState.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <vector>

#include <unistd.h>

namespace {

const QJsonObject clockIn{{"employeeId", "E-17"}, {"jobId", "J9"}, {"clockIn", "2024-03-05T14:07:09Z"}};

/// The queue file lives where the benchmark runs (the build folder), on the same kind of disk
/// as the user's data folder, so that every commit really reaches the disk.
QString benchDatabase(const QTemporaryDir& dir) {
    return dir.filePath("offline-queue.sqlite3");
}

double percentile(std::vector<double> values, double p) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1))];
}

void BM_DurableEnqueue(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-sync-XXXXXX"));
    SyncState sync;
    sync.isOnline = false;
    FakeJsonTransport transport;
    FakeWallClock wall;
    OfflineQueue queue(sync, transport, wall, benchDatabase(dir));
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        queue.enqueueRequestMethod("POST", "/api/time/clock-in", clockIn);
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["median_us"] = percentile(micros, 0.5);
    state.counters["p90_us"] = percentile(micros, 0.9);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["target_median_us"] = 2000;
    // The queue keeps its file exactly while its reports are on the disk.
    state.counters["durable"] = QFile::exists(benchDatabase(dir)) ? 1 : 0;
}
BENCHMARK(BM_DurableEnqueue)->Unit(benchmark::kMicrosecond)->Iterations(1000);

void BM_DiskSync(benchmark::State& state) {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-sync-XXXXXX"));
    QFile file(dir.filePath("sync.bin"));
    if (!file.open(QIODevice::ReadWrite)) {
        state.SkipWithError("cannot create a file here");
        return;
    }
    const QByteArray page(4096, 'x');
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        file.seek(0);
        file.write(page);
        file.flush();
        ::fdatasync(file.handle());
        micros.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["median_us"] = percentile(micros, 0.5);
}
BENCHMARK(BM_DiskSync)->Unit(benchmark::kMicrosecond)->Iterations(300);

void BM_Flush1000(benchmark::State& state) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-sync-XXXXXX"));
    SyncState sync;
    sync.tokens[{"E-17", "J9"}] = "token";
    FakeWallClock wall;
    OfflineQueue queue(sync, transport, wall, benchDatabase(dir));
    transport.sendJSONRequestMethod("GET", "/warm-up", std::nullopt);
    std::size_t connections = 0;
    for (auto _ : state) {
        state.PauseTiming();
        sync.isOnline = false;
        for (int i = 0; i < 1000; ++i)
            queue.enqueueRequestMethod("POST", "/api/time/clock-in", clockIn);
        sync.isOnline = true;
        const std::size_t before = server.received().size();
        state.ResumeTiming();

        queue.flushPendingIfOnline();
        while (!queue.pendingQueue().isEmpty())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

        state.PauseTiming();
        if (!queue.pendingQueue().isEmpty())
            state.SkipWithError("requests were left in the queue");
        std::set<int> ports;
        const auto received = server.received();
        for (std::size_t i = before; i < received.size(); ++i)
            ports.insert(received[i].remotePort);
        connections = std::max(connections, ports.size());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
    state.counters["requests_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * 1000), benchmark::Counter::kIsRate);
    state.counters["connections"] = static_cast<double>(connections);
    state.counters["target_requests_per_s"] = 500;
}
BENCHMARK(BM_Flush1000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// One request and its answer through the transport: worker thread hand-over, Qt's HTTP stack,
// JSON on both sides.
void BM_TransportPost(benchmark::State& state) {
    LocalHttpServer server;
    HttpTransport transport(server.baseUrl());
    for (auto _ : state) {
        const JsonReply reply =
            transport.sendJSONRequestMethod("POST", "/api/time/clock-in", QJsonValue(clockIn));
        benchmark::DoNotOptimize(reply.status);
    }
}
BENCHMARK(BM_TransportPost)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same exchange with cpp-httplib's own blocking client: the floor the transport is measured
// against; the difference is the transport's overhead per request.
void BM_BaselineHttplibPost(benchmark::State& state) {
    LocalHttpServer server;
    httplib::Client client("127.0.0.1", server.port());
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    const std::string body = R"({"clockIn":"2024-03-05T14:07:09Z","employeeId":"E-17","jobId":"J9"})";
    for (auto _ : state) {
        const auto result = client.Post("/api/time/clock-in", body, "application/json");
        benchmark::DoNotOptimize(result->status);
    }
}
BENCHMARK(BM_BaselineHttplibPost)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Qt's HTTP stack alone, driven from this thread's own event loop: what the transport adds on
// top of it is its hand-over to and from the worker thread.
void BM_BareQtPost(benchmark::State& state) {
    LocalHttpServer server;
    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl(server.baseUrl() + QStringLiteral("/api/time/clock-in")));
    request.setRawHeader("Content-Type", "application/json");
    const QByteArray body = QJsonDocument(clockIn).toJson(QJsonDocument::Compact);
    for (auto _ : state) {
        QNetworkReply* reply = nam.post(request, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        benchmark::DoNotOptimize(reply->readAll());
        delete reply;
    }
}
BENCHMARK(BM_BareQtPost)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One poll's question to the kernel (a route query and a link query over netlink), asked on the
// GUI thread every 3 s.
void BM_ReachabilityQuery(benchmark::State& state) {
    const std::unique_ptr<Reachability> reachability = makeReachability();
    const QHostAddress address(QStringLiteral("192.0.2.10"));
    bool reachable = false;
    for (auto _ : state) {
        reachable = reachability->isReachable(address);
        benchmark::DoNotOptimize(reachable);
    }
    state.counters["available"] = reachability->isAvailable() ? 1 : 0;
    state.counters["reachable"] = reachable ? 1 : 0;
}
BENCHMARK(BM_ReachabilityQuery)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
