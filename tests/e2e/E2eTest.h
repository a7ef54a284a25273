#pragma once

#include "FaultFront.h"
#include "NetworkNamespace.h"
#include "ServerProcess.h"
#include "SessionJournal.h"
#include "StoredEvents.h"
#include "TempDir.h"
#include "TimeClockClient.h"
#include "XDesktop.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

/// One end-to-end case: a network namespace of its own, the X display, a work folder, and
/// room for the service, a fault front and the client, all ended when the case ends (and their
/// logs printed when it failed). Needs root for the namespace and a display; without them the
/// case is skipped, except in CI, where it fails.
class E2eTest : public ::testing::Test {
public:
    /// Where the client looks for the service (its build's CORLUNE_SERVICE_URL).
    static inline const int servicePort = TimeClockClient::servicePort();
    /// Where the service listens when a fault front stands in its place.
    static inline const int backendPort = servicePort + 1;
    /// The client looks at its connectivity, and flushes its queue, this often.
    static constexpr std::chrono::milliseconds pollInterval{3000};

protected:
    void SetUp() override;
    void TearDown() override;

    /// Starts the service on \a port with the database of this case (a restart keeps it).
    void startService(int port = servicePort, const std::vector<std::string>& extraArguments = {});
    /// Starts a front on the client's port, before a service on backendPort.
    void startFront(FaultFront::Plan plan);

    std::vector<StoredEvent> stored() const { return readStoredEvents(serviceDatabase); }
    /// Waits until the service holds at least \a count events; false when \a timeout passed.
    bool waitForStored(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Takes the network away from the client and the service, or gives it back.
    void setNetworkUp(bool up);

    /// Time since \a start, for checks and records.
    static double secondsSince(std::chrono::steady_clock::time_point start);
    static int millisecondsSince(std::chrono::steady_clock::time_point start);

    std::unique_ptr<TempDir> workDir;
    std::string serviceDatabase;
    std::unique_ptr<NetworkNamespace> ns;
    std::unique_ptr<XDesktop> desktop;
    std::unique_ptr<ServerProcess> service;
    std::unique_ptr<FaultFront> front;
    std::unique_ptr<TimeClockClient> client;
};
