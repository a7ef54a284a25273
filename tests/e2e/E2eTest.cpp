#include "E2eTest.h"

#include "WaitFor.h"

#include <cstdlib>
#include <iostream>

#include <unistd.h>

namespace {

bool inCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

} // namespace

void E2eTest::SetUp() {
    const auto unavailable = [](const std::string& why) {
        if (inCi())
            FAIL() << "end-to-end tests must run in CI: " << why;
        GTEST_SKIP() << why;
    };
    if (::geteuid() != 0)
        return unavailable("needs root for a network namespace of its own");
    if (!std::getenv("DISPLAY"))
        return unavailable("needs an X display (run under scripts/lib/with-desktop)");

    workDir = std::make_unique<TempDir>();
    serviceDatabase = workDir->file("service.sqlite3");
    ASSERT_NO_THROW(ns = std::make_unique<NetworkNamespace>());
    ASSERT_NO_THROW(desktop = std::make_unique<XDesktop>());
    client = std::make_unique<TimeClockClient>(*desktop, workDir->file("client"), ns.get());
}

void E2eTest::TearDown() {
    if (HasFailure()) {
        if (client)
            std::cerr << "client output:\n" << client->log() << '\n';
        if (service)
            std::cerr << "service output:\n" << service->log() << '\n';
        if (front) {
            std::cerr << "requests at the front:\n";
            for (const FaultFront::Record& record : front->records()) {
                std::cerr << "  " << record.request.method << ' ' << record.request.path << " #"
                          << record.request.ordinal << " attempt " << record.request.attempt << ": "
                          << nameOf(record.fault) << ", service "
                          << (record.done ? std::to_string(record.serviceStatus) : "(still at the front)")
                          << '\n';
            }
        }
    }
    client.reset();
    front.reset();
    service.reset();
    desktop.reset();
    ns.reset();
    workDir.reset();
}

void E2eTest::startService(int port, const std::vector<std::string>& extraArguments) {
    service.reset();
    std::vector<std::string> arguments = {"--db", serviceDatabase, "--demo"};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    service = std::make_unique<ServerProcess>(arguments, port, ns.get());
}

void E2eTest::startFront(FaultFront::Plan plan) {
    front = std::make_unique<FaultFront>(*ns, servicePort, backendPort, std::move(plan));
}

bool E2eTest::waitForStored(std::size_t count, std::chrono::milliseconds timeout) const {
    return waitFor(
        timeout, [&] { return stored().size() >= count; }, std::chrono::milliseconds(50));
}

void E2eTest::setNetworkUp(bool up) {
    ns->setLoopbackUp(up);
}

int E2eTest::millisecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count());
}

double E2eTest::secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
