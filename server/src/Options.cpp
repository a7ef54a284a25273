#include "Options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <functional>

namespace corlune::server {

namespace {

/// One option of a command: its name without "--", whether it takes a value, and what it
/// does with it (an error text, or empty).
struct OptionSpec {
    std::string name;
    bool takesValue = true;
    std::function<std::string(const std::string&)> apply;
};

/// Reads args[start...]: options from `specs`, and everything else as positionals.
std::string readOptions(const std::vector<std::string>& args, std::size_t start,
                        const std::vector<OptionSpec>& specs, std::vector<std::string>& positionals) {
    for (std::size_t i = start; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            positionals.push_back(arg);
            continue;
        }
        const auto equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const auto spec =
            std::find_if(specs.begin(), specs.end(), [&](const OptionSpec& s) { return s.name == name; });
        if (spec == specs.end()) {
            return "unknown option --" + name;
        }
        std::string value;
        if (equals != std::string::npos) {
            if (!spec->takesValue) {
                return "--" + name + " takes no value";
            }
            value = arg.substr(equals + 1);
        } else if (spec->takesValue) {
            if (i + 1 >= args.size()) {
                return "--" + name + " needs a value";
            }
            value = args[++i];
        }
        if (std::string error = spec->apply(value); !error.empty()) {
            return "--" + name + ": " + error;
        }
    }
    return {};
}

std::optional<int> readInt(const std::string& text, int low, int high) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::string readListen(const std::string& text, ServeOptions& options) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) {
        return "expected HOST:PORT, for example 127.0.0.1:8787";
    }
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const auto port = readInt(text.substr(colon + 1), 0, 65535);
    if (host.empty() || !port) {
        return "expected HOST:PORT with a port from 0 to 65535 (0: any free port)";
    }
    options.host = host;
    options.port = *port;
    return {};
}

/// A whole number from `low` to `high`, times `unit` (a duration's unit, or 1).
template <class T, class Unit = int>
OptionSpec number(std::string name, T& target, int low, int high, Unit unit = 1) {
    return {std::move(name), true, [&target, low, high, unit](const std::string& v) {
                const auto n = readInt(v, low, high);
                if (!n) {
                    return "expected a number from " + std::to_string(low) + " to " + std::to_string(high);
                }
                target = static_cast<T>(*n * unit);
                return std::string();
            }};
}

OptionSpec dbOption(std::string& db) {
    return {"db", true, [&db](const std::string& v) {
                db = v;
                return v.empty() ? std::string("needs a path") : std::string();
            }};
}

Parsed<Command> parseServe(const std::vector<std::string>& args) {
    ServeOptions o;
    const auto text = [](std::string& target) {
        return [&target](const std::string& v) {
            target = v;
            return std::string();
        };
    };
    const std::vector<OptionSpec> specs = {
        dbOption(o.db),
        {"listen", true, [&o](const std::string& v) { return readListen(v, o); }},
        {"port-file", true, text(o.portFile)},
        {"demo", false,
         [&o](const std::string&) {
             o.demo = true;
             return std::string();
         }},
        {"tls-cert", true, text(o.tlsCert)},
        {"tls-key", true, text(o.tlsKey)},
        {"latest-version", true, text(o.latestVersion)},
        {"update-available", true,
         [&o](const std::string& v) {
             if (v != "true" && v != "false") {
                 return std::string("expected true or false");
             }
             o.updateAvailable = v == "true";
             return std::string();
         }},
        {"impressions", true, text(o.impressionsFile)},
        {"downloads", true, text(o.downloadsDir)},
        {"release-notes", true, text(o.releaseNotesFile)},
        number("threads", o.threads, 1, 1024),
        number("io-threads", o.ioThreads, 1, 64),
        number("verify-threads", o.verifyThreads, 1, 256),
        number("verify-queue", o.verifyQueue, 0, 100000),
        number("max-body-bytes", o.limits.maxBodyBytes, 1, 64 << 20),
        number("max-header-bytes", o.limits.maxHeaderBytes, 1024, 1 << 20),
        number("max-header-fields", o.limits.maxHeaderFields, 1, 10000),
        number("header-timeout", o.limits.headerTimeout, 1, 3600, std::chrono::seconds(1)),
        number("body-timeout", o.limits.bodyTimeout, 1, 3600, std::chrono::seconds(1)),
        number("idle-timeout", o.limits.idleTimeout, 1, 3600, std::chrono::seconds(1)),
        number("max-connections", o.limits.maxConnections, 1, 1000000),
        number("max-connections-per-address", o.limits.maxConnectionsPerAddress, 1, 1000000),
        number("max-pending-bodies", o.limits.maxPendingBodies, 1, 1000000),
        number("stop-timeout", o.stopTimeout, 1, 3600, std::chrono::seconds(1)),
        {"delay-ms", true,
         [&o](const std::string& v) {
             const auto n = readInt(v, 0, 600000);
             o.delay = std::chrono::milliseconds(n.value_or(0));
             return n ? std::string() : std::string("expected milliseconds from 0 to 600000");
         }},
        {"token-days", true,
         [&o](const std::string& v) {
             const auto n = readInt(v, 1, 3650);
             o.tokenDays = n.value_or(0);
             return n ? std::string() : std::string("expected days from 1 to 3650");
         }},
        {"allow-anonymous-reports", false,
         [&o](const std::string&) {
             o.allowAnonymousReports = true;
             return std::string();
         }},
        {"delay-scope", true,
         [&o](const std::string& v) {
             if (v != "events" && v != "all") {
                 return std::string("expected events or all");
             }
             o.delayScope = v == "all" ? DelayScope::All : DelayScope::Events;
             return std::string();
         }},
    };
    std::vector<std::string> positionals;
    if (std::string error = readOptions(args, 1, specs, positionals); !error.empty()) {
        return Parsed<Command>::fail(error);
    }
    if (!positionals.empty()) {
        return Parsed<Command>::fail("serve takes no argument '" + positionals.front() + "'");
    }
    if (o.tlsCert.empty() != o.tlsKey.empty()) {
        return Parsed<Command>::fail("--tls-cert and --tls-key go together");
    }
    if (o.tlsCert.empty() && !isLoopbackHost(o.host)) {
        return Parsed<Command>::fail(
            "plain HTTP is served on loopback only (passwords would cross the network in "
            "clear text); give --tls-cert and --tls-key to listen on " +
            o.host);
    }
    return Parsed<Command>{Command{std::move(o)}, {}};
}

Parsed<Command> parseEmployee(const std::vector<std::string>& args) {
    if (args.size() < 2) {
        return Parsed<Command>::fail("employee needs add, list or remove");
    }
    const std::string& action = args[1];
    std::vector<std::string> positionals;
    std::string error;
    const auto oneEmployee = [&](std::string& id) {
        if (error.empty() && positionals.size() != 1) {
            error = "employee " + action + " takes exactly one employee ID";
        } else if (error.empty() && !validEmployeeId(positionals.front())) {
            error = "an employee ID is 1 to 128 bytes without control characters";
        } else if (error.empty()) {
            id = positionals.front();
        }
    };
    if (action == "add") {
        EmployeeAddOptions o;
        error = readOptions(args, 2,
                            {dbOption(o.db),
                             {"job", true,
                              [&o](const std::string& v) {
                                  o.jobs.push_back(v);
                                  return validJobId(v) ? std::string()
                                                       : std::string("a job ID is at most 128 bytes "
                                                                     "without control characters");
                              }}},
                            positionals);
        oneEmployee(o.employeeId);
        if (error.empty() && o.jobs.empty()) {
            error = "employee add needs at least one --job";
        }
        return error.empty() ? Parsed<Command>{Command{std::move(o)}, {}} : Parsed<Command>::fail(error);
    }
    if (action == "remove") {
        EmployeeRemoveOptions o;
        error = readOptions(args, 2, {dbOption(o.db)}, positionals);
        oneEmployee(o.employeeId);
        return error.empty() ? Parsed<Command>{Command{std::move(o)}, {}} : Parsed<Command>::fail(error);
    }
    if (action == "list") {
        EmployeeListOptions o;
        error = readOptions(args, 2, {dbOption(o.db)}, positionals);
        if (error.empty() && !positionals.empty()) {
            error = "employee list takes no argument";
        }
        return error.empty() ? Parsed<Command>{Command{std::move(o)}, {}} : Parsed<Command>::fail(error);
    }
    return Parsed<Command>::fail("unknown employee action '" + action + "' (add, list or remove)");
}

/// YYYY-MM-DD, a real day from 2000-01-01 to 2099-12-31.
std::optional<LocalDate> readDate(const std::string& text) {
    const auto year = text.size() == 10 && text[4] == '-' && text[7] == '-'
                          ? readInt(text.substr(0, 4), 2000, 2099)
                          : std::nullopt;
    const auto month = year ? readInt(text.substr(5, 2), 1, 12) : std::nullopt;
    const auto day = month ? readInt(text.substr(8, 2), 1, 31) : std::nullopt;
    const LocalDate date{std::chrono::year(year.value_or(0)),
                         std::chrono::month(static_cast<unsigned>(month.value_or(0))),
                         std::chrono::day(static_cast<unsigned>(day.value_or(0)))};
    if (!day || !date.ok() || text.find_first_not_of("0123456789-") != std::string::npos) {
        return std::nullopt;
    }
    return date;
}

Parsed<Command> parseReport(const std::vector<std::string>& args) {
    ReportOptions o;
    std::optional<LocalDate> from;
    std::optional<LocalDate> to;
    const auto date = [](std::optional<LocalDate>& target) {
        return [&target](const std::string& v) {
            target = readDate(v);
            return target ? std::string()
                          : std::string("expected a date YYYY-MM-DD from 2000-01-01 to 2099-12-31");
        };
    };
    std::vector<std::string> positionals;
    std::string error = readOptions(
        args, 1,
        {dbOption(o.db),
         {"from", true, date(from)},
         {"to", true, date(to)},
         {"employee", true,
          [&o](const std::string& v) {
              o.query.employeeId = v;
              return validEmployeeId(v) ? std::string()
                                        : std::string("an employee ID is 1 to 128 bytes "
                                                      "without control characters");
          }},
         {"format", true,
          [&o](const std::string& v) {
              o.format = v == "csv" ? ReportFormat::Csv : ReportFormat::Table;
              return v == "csv" || v == "table" ? std::string() : std::string("expected table or csv");
          }}},
        positionals);
    if (error.empty() && !positionals.empty()) {
        error = "report takes no argument '" + positionals.front() + "'";
    }
    if (error.empty() && (!from || !to)) {
        error = "report needs --from and --to";
    }
    if (!error.empty()) {
        return Parsed<Command>::fail(error);
    }
    const auto days = (std::chrono::sys_days(*to) - std::chrono::sys_days(*from)).count() + 1;
    if (days < 1) {
        return Parsed<Command>::fail("--from is after --to");
    }
    if (days > maxReportDays) {
        return Parsed<Command>::fail("a timesheet spans at most " + std::to_string(maxReportDays) + " days");
    }
    o.query.from = *from;
    o.query.to = *to;
    return Parsed<Command>{Command{std::move(o)}, {}};
}

bool validId(const std::string& id) {
    return id.size() <= 128 && std::none_of(id.begin(), id.end(), [](char c) {
               return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
           });
}

} // namespace

bool validEmployeeId(const std::string& id) {
    return !id.empty() && validId(id);
}

bool validJobId(const std::string& id) {
    return validId(id);
}

bool isLoopbackHost(const std::string& host) {
    if (host == "localhost" || host == "::1") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, host.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

Parsed<Command> parseCommandLine(const std::vector<std::string>& args) {
    if (args.empty()) {
        return Parsed<Command>::fail("no command given; see --help");
    }
    const std::string& command = args.front();
    if (command == "--help" || command == "-h" || command == "help" ||
        std::find(args.begin(), args.end(), "--help") != args.end()) {
        return Parsed<Command>{Command{ShowHelp{}}, {}};
    }
    if (command == "--version") {
        return Parsed<Command>{Command{ShowVersion{}}, {}};
    }
    if (command == "serve") {
        return parseServe(args);
    }
    if (command == "employee") {
        return parseEmployee(args);
    }
    if (command == "report") {
        return parseReport(args);
    }
    return Parsed<Command>::fail("unknown command '" + command + "'; see --help");
}

std::string usageText() {
    return R"(Usage:
  corlune-track-server serve [options]
  corlune-track-server employee add EMPLOYEE --job JOB [--job JOB...] [--db PATH]
  corlune-track-server employee list [--db PATH]
  corlune-track-server employee remove EMPLOYEE [--db PATH]
  corlune-track-server report --from DATE --to DATE [--employee EMPLOYEE]
                       [--format table|csv] [--db PATH]
  corlune-track-server --help | --version

The reference Corlune Track time-tracking service: JSON over HTTP(S), one SQLite database or
a PostgreSQL database that several instances share.

Commands:
  serve             Answer the time clock's requests until SIGTERM or SIGINT, which stop it
                    gracefully: requests being handled are answered, other connections are
                    closed, the database is closed.
  employee add      Add an employee allowed on the given jobs. The password is read from
                    standard input (one line; asked twice without echo on a terminal) and
                    stored only as an argon2id hash. --job "" allows the empty job ID.
  employee list     Print each employee with the jobs they may sign in to.
  employee remove   Remove an employee; their recorded events are kept.
  report            Print the work time per employee, job and day, counted as the summary
                    endpoint counts it, from --from to --to (both included, YYYY-MM-DD,
                    at most 366 days). Days are local to the time zone (TZ is honoured);
                    work still going counts up to now. --format table (default) aligns
                    columns for people; --format csv prints RFC 4180 CSV for payroll.

Options of every command:
  --db PATH|URI     The SQLite database, created and migrated when needed (default:
                    corlune-track.db in the current directory), or a PostgreSQL database
                    given as a libpq URI, postgresql://USER@HOST/DB (or postgres://…),
                    whose schema is created and migrated at start. Instances of serve on
                    one PostgreSQL database act as one service.

Options of serve:
  --listen HOST:PORT   Address to listen on (default 127.0.0.1:8787; [::1]:PORT for IPv6).
                       Port 0 picks a free port. Once ready, one line "listening on HOST:PORT"
                       is printed to standard output. Plain HTTP is refused on an address
                       that is not loopback.
  --port-file PATH     Also write the port, once ready, to PATH.
  --tls-cert FILE      Serve HTTPS with this PEM certificate (chain) ...
  --tls-key FILE       ... and this PEM private key.
  --demo               When the database has no employee, add "demo" (password "demo")
                       allowed on the jobs "demo" and "0"; without --impressions, serve
                       built-in demo figures on /api/analytics/impressions.
  --latest-version V   The version /api/version announces (default: this server's version).
  --update-available true|false
                       Also send "updateAvailable" on /api/version (not sent by default).
  --impressions FILE   Serve this JSON object on /api/analytics/impressions, read again
                       whenever the file changes (404 when neither this nor --demo is given).
  --downloads DIR      Offer the packages in DIR on the download page at / (the page the
                       time clock's update offer opens), each at /downloads/NAME. Only
                       regular files directly in DIR whose names are letters, digits and
                       "._+~-" are offered; the folder is read at each request.
  --release-notes FILE Show the text of FILE (at most 64 KiB) on the download page.
  --token-days N       How long a sign-in token stays valid, in days (1 to 3650; default 30).
  --allow-anonymous-reports
                       Also accept event reports, summaries and impressions requests that
                       carry no token, from anyone who can reach the port. Unsafe anywhere
                       but on loopback; for time clocks that do not send tokens yet.
  --threads N          Threads that run requests other than sign-ins; each waits for its
                       event's commit (default 16). Sockets are read and written apart.
  --io-threads N       Threads that read and write the connections (default: one per core).
  --verify-threads N   Threads that check passwords (default: one per core) ...
  --verify-queue N     ... and how many checks may wait for them (default 32); a sign-in
                       beyond that is answered 503 with Retry-After at once.
  --max-body-bytes N   Larger request bodies are refused with 413, whether sent with
                       Content-Length or chunked (default 65536). Any Content-Encoding: 415.
  --max-header-bytes N, --max-header-fields N
                       Larger request headers are refused with 431 (default 16384 bytes,
                       100 fields).
  --header-timeout S   A request header must arrive within S seconds of the connection
                       (TLS handshake included) or of its first byte (default 10) ...
  --body-timeout S     ... and its body within S seconds after it (default 30); otherwise
                       408 and the connection is closed.
  --idle-timeout S     Kept-alive connections idle this long are closed (default 10).
  --max-connections N, --max-connections-per-address N
                       Open connections in all and from one client address (default 2048
                       and 1024; many employees may share a proxy's address). Beyond them a
                       new connection is answered 503 and closed (over TLS, closed).
  --max-pending-bodies N
                       Request bodies that did not arrive with their header, received at
                       once (default 256); a request beyond them is answered 503.
  --stop-timeout S     On SIGTERM or SIGINT, how long to wait for answers to requests
                       already being handled before every connection is closed (default 8).
  --delay-ms N         For fault tests: hold every event report's answer N milliseconds
                       after the event is stored (0 to 600000; default 0). A stop cuts the
                       wait short.
  --delay-scope events|all
                       Which answers --delay-ms holds: event reports (default) or all.

Endpoints:
  POST /api/users/verify        {"employeeId","jobId","password"} -> {"ok": bool[, "token"]}
  POST /api/time/clock-in       {"employeeId","jobId","clockIn"}
  POST /api/time/clock-out      {"employeeId","jobId","clockOut"}
  POST /api/break/start         {"employeeId","jobId","start"}
  POST /api/break/stop          {"employeeId","jobId","end"}
  POST /api/input/track         {"employeeId","jobId","startedAt","endedAt","keystrokes","clicks"}
  GET  /api/time/summary?employeeId=&jobId=&from=&to=   -> {"totalWorkMs": N}
  GET  /api/version             -> {"version": "..."[, "updateAvailable": bool]}
  GET  /api/analytics/impressions
  GET  /                        the download page (HTML)
  GET  /downloads/NAME          a package of --downloads
Every endpoint but verify and version needs "Authorization: Bearer TOKEN", the token of a
verify of the same employee and job. Timestamps are UTC, YYYY-MM-DDTHH:MM:SSZ, from 2000 to
2100. Event reports answer 201 {"ok": true, "eventId": N}; an "Idempotency-Key" header already
stored is answered the same and stores nothing.
)";
}

} // namespace corlune::server
