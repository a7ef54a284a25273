#pragma once

#include "Timesheet.h"
#include "WireFormat.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace corlune::server {

inline constexpr const char* defaultDatabase = "corlune-track.db";

enum class DelayScope { Events, All };

/// What one client may make the service hold, and for how long. Beyond a size the request is
/// refused (413, 431), beyond a time the connection is answered 408 and closed, beyond a
/// connection cap a new connection is answered 503.
struct HttpLimits {
    std::size_t maxBodyBytes = 64 * 1024; ///< whatever the framing, Content-Length or chunked
    std::size_t maxHeaderBytes = 16 * 1024;
    std::size_t maxHeaderFields = 100;
    /// From the connection's start (TLS handshake included), or from a kept-alive connection's
    /// first byte of the next request, to the end of the header; also the time a client has to
    /// take an answer.
    std::chrono::milliseconds headerTimeout{10'000};
    std::chrono::milliseconds bodyTimeout{30'000}; ///< from the end of the header
    std::chrono::milliseconds idleTimeout{10'000}; ///< a kept-alive connection waiting for a request
    std::size_t maxConnections = 2048;
    /// Generous: a whole office may arrive through one proxy.
    std::size_t maxConnectionsPerAddress = 1024;
    /// Requests whose body did not come with their header, being received at once: each may
    /// hold up to maxBodyBytes.
    std::size_t maxPendingBodies = 256;
};

struct ServeOptions {
    std::string db = defaultDatabase;
    std::string host = "127.0.0.1"; ///< without brackets for IPv6
    int port = 8787;                ///< 0: any free port
    std::string portFile;
    bool demo = false;
    std::string tlsCert;
    std::string tlsKey;
    std::string latestVersion = CORLUNE_SERVER_VERSION;
    std::optional<bool> updateAvailable;
    std::string impressionsFile;
    std::string downloadsDir;     ///< the packages the download page offers; empty: none
    std::string releaseNotesFile; ///< shown on the download page; empty: none
    HttpLimits limits;
    int threads = 16;      ///< run the handlers of everything but verify (each waits for its commit)
    int ioThreads = 0;     ///< read and write sockets; 0: one per core
    int verifyThreads = 0; ///< check passwords; 0: one per core
    int verifyQueue = 32;  ///< password checks waiting beyond those running; more answer 503
    /// How long a stop waits for answers to requests already being handled before it closes
    /// every connection regardless.
    std::chrono::milliseconds stopTimeout{8'000};
    std::chrono::milliseconds delay{0};
    DelayScope delayScope = DelayScope::Events;
    int tokenDays = 30;
    bool allowAnonymousReports = false;
};

struct EmployeeAddOptions {
    std::string db = defaultDatabase;
    std::string employeeId;
    std::vector<std::string> jobs;
};

struct EmployeeListOptions {
    std::string db = defaultDatabase;
};

struct EmployeeRemoveOptions {
    std::string db = defaultDatabase;
    std::string employeeId;
};

enum class ReportFormat { Table, Csv };

struct ReportOptions {
    std::string db = defaultDatabase;
    TimesheetQuery query;
    ReportFormat format = ReportFormat::Table;
};

/// A timesheet spans at most this many days.
inline constexpr int maxReportDays = 366;

struct ShowHelp {};
struct ShowVersion {};

using Command = std::variant<ShowHelp, ShowVersion, ServeOptions, EmployeeAddOptions, EmployeeListOptions,
                             EmployeeRemoveOptions, ReportOptions>;

/// The arguments after the program name. Options take "--name value" or "--name=value".
Parsed<Command> parseCommandLine(const std::vector<std::string>& args);

/// The text of --help.
std::string usageText();

/// True for 127.0.0.0/8, ::1 and "localhost".
bool isLoopbackHost(const std::string& host);

/// Employee IDs: 1 to 128 bytes; job IDs: 0 to 128 bytes; neither with control characters.
bool validEmployeeId(const std::string& id);
bool validJobId(const std::string& id);

} // namespace corlune::server
