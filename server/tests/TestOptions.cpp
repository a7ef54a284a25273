#include "Options.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>

using namespace corlune::server;
using Args = std::vector<std::string>;

namespace {

Args words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), {}};
}

template <typename T>
T parsed(const Args& args) {
    const auto command = parseCommandLine(args);
    EXPECT_TRUE(command.value && std::holds_alternative<T>(*command.value)) << command.error;
    return command.value && std::holds_alternative<T>(*command.value) ? std::get<T>(*command.value) : T{};
}

TEST(CommandLine, ReadsEveryCommandAndOption) {
    const auto d = parsed<ServeOptions>(words("serve"));
    EXPECT_EQ(std::tie(d.db, d.host, d.port, d.demo, d.tokenDays, d.allowAnonymousReports),
              std::tuple("corlune-track.db", "127.0.0.1", 8787, false, 30, false));
    // --demo, --impressions, --latest-version and --allow-anonymous-reports: the service's options table.
    const auto o = parsed<ServeOptions>(
        words("serve --db x.db --listen=[::1]:0 --port-file p --update-available false --threads=8 "
              "--delay-ms 20000 --delay-scope all --token-days 7 --header-timeout 3 "
              "--max-connections-per-address 7"));
    EXPECT_EQ(std::tie(o.db, o.host, o.port, o.portFile, o.updateAvailable, o.threads),
              std::tuple("x.db", "::1", 0, "p", std::optional(false), 8));
    EXPECT_EQ(std::tie(o.delay, o.delayScope, o.tokenDays),
              std::tuple(std::chrono::milliseconds(20000), DelayScope::All, 7));
    EXPECT_EQ(std::tie(o.limits.headerTimeout, o.limits.maxConnectionsPerAddress),
              std::tuple(std::chrono::seconds(3), 7u));
    EXPECT_EQ(parsed<ServeOptions>(words("serve --listen 127.1.2.3:80")).port, 80);
    EXPECT_EQ(parsed<ServeOptions>(words("serve --listen 0.0.0.0:443 --tls-cert c --tls-key k")).tlsKey, "k");
    const auto add =
        parsed<EmployeeAddOptions>({"employee", "add", "E 1", "--job", "0", "--job", "", "--db", "x.db"});
    EXPECT_EQ(std::tie(add.employeeId, add.jobs, add.db), std::tuple("E 1", Args{"0", ""}, "x.db"));
    EXPECT_EQ(parsed<EmployeeRemoveOptions>(words("employee remove e7")).employeeId, "e7");
    EXPECT_EQ(parsed<EmployeeListOptions>(words("employee list --db y.db")).db, "y.db");
    // A leap year's 366 days, the longest timesheet.
    const auto report = parsed<ReportOptions>(
        words("report --from 2024-02-29 --to 2025-02-28 --employee e1 --format csv --db x.db"));
    using namespace std::chrono;
    EXPECT_EQ(std::tie(report.query.from, report.query.to, report.query.employeeId, report.format, report.db),
              std::tuple(2024y / February / 29, 2025y / February / 28, std::optional<std::string>("e1"),
                         ReportFormat::Csv, "x.db"));
    EXPECT_EQ(parsed<ReportOptions>(words("report --from 2024-03-05 --to 2024-03-05")).format,
              ReportFormat::Table);
    parsed<ShowHelp>(words("serve --help"));
    parsed<ShowVersion>(words("--version"));
}

TEST(CommandLine, RefusalsNameTheMistake) {
    const std::vector<std::pair<Args, const char*>> refusals = {
        {words("serve --listen 192.0.2.1:8787"), "loopback only"},
        {words("serve --tls-cert c"), "go together"},
        {words("serve --listen 127.0.0.1:65536"), "65535"},
        {words("serve --token-days 0"), "--token-days"},
        {words("serve --allow-anonymous-reports=yes"), "takes no value"},
        {words("serve --db"), "needs a value"},
        {words("employee add e --job j --password p"), "unknown option"},
        {words("employee add e"), "at least one --job"},
        {{"employee", "add", std::string(129, 'e'), "--job", "j"}, "1 to 128"},
        {{"employee", "add", "e", "--job", "a\tb"}, "--job"},
        {words("report --from 2024-03-01"), "needs --from and --to"},
        {words("report --from 2023-02-29 --to 2023-03-01"), "--from: expected"},
        {words("report --from 2024-3-01 --to 2024-03-01"), "--from: expected"},
        {words("report --from 2024-03-02 --to 2024-03-01"), "after --to"},
        {words("report --from 2024-01-01 --to 2025-01-01"), "at most 366"},
        {words("report --from 2024-03-01 --to 2024-03-01 --format xml"), "table or csv"}};
    for (const auto& [args, error] : refusals) {
        const auto command = parseCommandLine(args);
        EXPECT_FALSE(command.value) << error;
        EXPECT_NE(command.error.find(error), std::string::npos) << command.error;
    }
}

} // namespace
