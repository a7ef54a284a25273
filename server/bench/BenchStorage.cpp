// Durable event reports per second and their p99, in one run: the service on SQLite, then on a
// PostgreSQL cluster of its own (synchronous commit on, fsync on) with one instance and with
// two instances sharing the database. wrk sends the reports (events.lua), one wrk per
// instance; the service, PostgreSQL and wrk share this machine's cores.
//   bench_server_storage [SECONDS] [CONNECTIONS]   (defaults: 15 s, 32 connections in all)
#include "ChildProcess.h"
#include "Postgres.h"
#include "PostgresCluster.h"
#include "ServerProcess.h"
#include "TempDir.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <sqlite3.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Figures {
    double perSecond = 0;
    double p99Ms = 0;
    long requests = 0;
    long failures = 0;
};

/// wrk's "Requests/sec", its 99 % latency in milliseconds, and its answers that were not 201.
Figures read(const std::string& log) {
    Figures figures;
    std::smatch match;
    if (std::regex_search(log, match, std::regex(R"(Requests/sec:\s+([0-9.]+))"))) {
        figures.perSecond = std::stod(match[1]);
    }
    if (std::regex_search(log, match, std::regex(R"(99%\s+([0-9.]+)(us|ms|s))"))) {
        const double scale = match[2] == "us" ? 0.001 : match[2] == "s" ? 1000 : 1;
        figures.p99Ms = std::stod(match[1]) * scale;
    }
    if (std::regex_search(log, match, std::regex(R"(([0-9]+) requests in)"))) {
        figures.requests = std::stol(match[1]);
    }
    if (std::regex_search(log, match, std::regex(R"(Non-2xx or 3xx responses:\s+([0-9]+))"))) {
        figures.failures = std::stol(match[1]);
    }
    return figures;
}

/// The events the database holds: a figure counts only reports that were stored.
long stored(const std::string& database) {
    if (database.starts_with("postgresql://")) {
        return static_cast<long>(
            corlune::server::PgConnection(database).exec("SELECT count(*) FROM events").integer(0, 0));
    }
    sqlite3* db = nullptr;
    long count = -1;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT count(*) FROM events", -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW) {
        count = sqlite3_column_int64(statement, 0);
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return count;
}

void run(const char* what, const std::string& database, int instances, int seconds, int connections) {
    addEmployee(database, "bench", "bench", {"bench"});
    std::vector<std::unique_ptr<ServerProcess>> servers;
    for (int i = 0; i < instances; ++i) {
        servers.push_back(std::make_unique<ServerProcess>(std::vector<std::string>{"--db", database}));
    }
    const Answer verified = servers.front()->post(
        "/api/users/verify",
        nlohmann::json{{"employeeId", "bench"}, {"jobId", "bench"}, {"password", "bench"}});
    const std::string token = verified.body.is_object() ? verified.body.value("token", "") : "";
    const TempDir logs;
    std::vector<std::unique_ptr<ChildProcess>> senders;
    for (int i = 0; i < instances; ++i) {
        senders.push_back(std::make_unique<ChildProcess>(ChildProcess::Options{
            .argv = {"wrk", "-t" + std::to_string(2 / instances),
                     "-c" + std::to_string(connections / instances), "-d" + std::to_string(seconds) + "s",
                     "--latency", "-s", CORLUNE_BENCH_EVENTS_SCRIPT,
                     "http://127.0.0.1:" + std::to_string(servers[i]->port())},
            .environment = {"CORLUNE_BENCH_TOKEN=" + token, "CORLUNE_BENCH_SENDER=" + std::to_string(i)},
            .logPath = logs.file("wrk" + std::to_string(i))}));
    }
    Figures total;
    for (auto& sender : senders) {
        sender->waitForExit(std::chrono::seconds(seconds + 60));
        const Figures one = read(sender->log());
        total.perSecond += one.perSecond;
        total.p99Ms = std::max(total.p99Ms, one.p99Ms);
        total.requests += one.requests;
        total.failures += one.failures;
    }
    std::printf("%-28s %8.0f events/s   p99 %6.1f ms   answered 201: %ld   stored: %ld\n", what,
                total.perSecond, total.p99Ms, total.requests - total.failures, stored(database));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 15;
    const int connections = argc > 2 ? std::atoi(argv[2]) : 32;
    std::printf("== %d s, %d connections in all, %u cores\n", seconds, connections,
                std::max(1u, std::thread::hardware_concurrency()));
    const TempDir dir;
    run("SQLite (synchronous=FULL)", dir.file("bench.db"), 1, seconds, connections);
    const PostgresCluster cluster;
    corlune::server::PgConnection(cluster.uri()).exec("CREATE DATABASE one");
    corlune::server::PgConnection(cluster.uri()).exec("CREATE DATABASE two");
    run("PostgreSQL, one instance", cluster.uri("one"), 1, seconds, connections);
    run("PostgreSQL, two instances", cluster.uri("two"), 2, seconds, connections);
    return 0;
}
