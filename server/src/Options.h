#pragma once

#include "WireFormat.h"

#include <chrono>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace corlune::server {

inline constexpr const char* defaultDatabase = "corlune-track.db";

enum class DelayScope { Events, All };

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
    int threads = 32;
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

struct ShowHelp {};
struct ShowVersion {};

using Command = std::variant<ShowHelp, ShowVersion, ServeOptions, EmployeeAddOptions, EmployeeListOptions,
                             EmployeeRemoveOptions>;

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
