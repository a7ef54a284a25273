#include "Options.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using Args = std::vector<std::string>;

namespace {

template <typename T>
T parsed(const Args& args) {
    const auto command = parseCommandLine(args);
    EXPECT_TRUE(command.value && std::holds_alternative<T>(*command.value)) << command.error;
    return command.value && std::holds_alternative<T>(*command.value) ? std::get<T>(*command.value) : T{};
}

TEST(CommandLine, ServeReadsEveryOption) {
    const auto d = parsed<ServeOptions>({"serve"});
    EXPECT_EQ(std::tie(d.db, d.host, d.port, d.demo, d.tokenDays, d.allowAnonymousReports),
              std::tuple("corlune-track.db", "127.0.0.1", 8787, false, 30, false));
    const auto o = parsed<ServeOptions>({"serve",
                                         "--db",
                                         "x.db",
                                         "--listen=[::1]:0",
                                         "--port-file",
                                         "p",
                                         "--demo",
                                         "--latest-version",
                                         "2.1.0",
                                         "--update-available",
                                         "false",
                                         "--impressions",
                                         "i.json",
                                         "--threads=8",
                                         "--delay-ms",
                                         "20000",
                                         "--delay-scope",
                                         "all",
                                         "--token-days",
                                         "7",
                                         "--allow-anonymous-reports",
                                         "--header-timeout",
                                         "3",
                                         "--max-connections-per-address",
                                         "7"});
    EXPECT_EQ(
        std::tie(o.db, o.host, o.port, o.portFile, o.demo, o.latestVersion, o.impressionsFile, o.threads),
        std::tuple("x.db", "::1", 0, "p", true, "2.1.0", "i.json", 8));
    EXPECT_EQ(o.updateAvailable, std::optional(false));
    EXPECT_EQ(std::tie(o.delay, o.delayScope, o.tokenDays, o.allowAnonymousReports),
              std::tuple(std::chrono::milliseconds(20000), DelayScope::All, 7, true));
    EXPECT_EQ(std::tie(o.limits.headerTimeout, o.limits.maxConnectionsPerAddress),
              std::tuple(std::chrono::seconds(3), 7u));
    EXPECT_EQ(parsed<ServeOptions>({"serve", "--listen", "127.1.2.3:80"}).port, 80);
    EXPECT_EQ(parsed<ServeOptions>({"serve", "--listen", "0.0.0.0:443", "--tls-cert", "c", "--tls-key", "k"})
                  .tlsKey,
              "k");
}

TEST(CommandLine, EmployeeCommands) {
    const auto add =
        parsed<EmployeeAddOptions>({"employee", "add", "E 1", "--job", "0", "--job", "", "--db", "x.db"});
    EXPECT_EQ(std::tie(add.employeeId, add.jobs, add.db), std::tuple("E 1", Args{"0", ""}, "x.db"));
    EXPECT_EQ(parsed<EmployeeRemoveOptions>({"employee", "remove", "e7"}).employeeId, "e7");
    EXPECT_EQ(parsed<EmployeeListOptions>({"employee", "list", "--db", "y.db"}).db, "y.db");
    // A leap year's 366 days, the longest timesheet.
    const auto report = parsed<ReportOptions>({"report", "--from", "2024-02-29", "--to", "2025-02-28",
                                               "--employee", "e1", "--format", "csv", "--db", "x.db"});
    using namespace std::chrono;
    EXPECT_EQ(std::tie(report.query.from, report.query.to, report.query.employeeId, report.format, report.db),
              std::tuple(2024y / February / 29, 2025y / February / 28, std::optional<std::string>("e1"),
                         ReportFormat::Csv, "x.db"));
    EXPECT_EQ(parsed<ReportOptions>({"report", "--from", "2024-03-05", "--to", "2024-03-05"}).format,
              ReportFormat::Table);
    parsed<ShowHelp>({"serve", "--help"});
    parsed<ShowVersion>({"--version"});
}

struct Refusal {
    const char* name;
    Args args;
    const char* error; ///< a part of it
};

class Refusals : public testing::TestWithParam<Refusal> {};

TEST_P(Refusals, NameTheMistake) {
    const auto command = parseCommandLine(GetParam().args);
    EXPECT_FALSE(command.value);
    EXPECT_NE(command.error.find(GetParam().error), std::string::npos) << command.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Refusals,
    testing::Values(
        Refusal{"PlainHttpOffLoopback", {"serve", "--listen", "192.0.2.1:8787"}, "loopback only"},
        Refusal{"CertWithoutKey", {"serve", "--tls-cert", "c"}, "go together"},
        Refusal{"PortTooHigh", {"serve", "--listen", "127.0.0.1:65536"}, "65535"},
        Refusal{"NoTokenDays", {"serve", "--token-days", "0"}, "--token-days"},
        Refusal{"FlagWithValue", {"serve", "--allow-anonymous-reports=yes"}, "takes no value"},
        Refusal{"MissingValue", {"serve", "--db"}, "needs a value"},
        Refusal{
            "PasswordOption", {"employee", "add", "e", "--job", "j", "--password", "p"}, "unknown option"},
        Refusal{"EmployeeWithoutJob", {"employee", "add", "e"}, "at least one --job"},
        Refusal{"EmployeeIdTooLong", {"employee", "add", std::string(129, 'e'), "--job", "j"}, "1 to 128"},
        Refusal{"JobWithControlCharacter", {"employee", "add", "e", "--job", "a\tb"}, "--job"},
        Refusal{"ReportWithoutTo", {"report", "--from", "2024-03-01"}, "needs --from and --to"},
        Refusal{"ReportOnNoSuchDay",
                {"report", "--from", "2023-02-29", "--to", "2023-03-01"},
                "--from: expected"},
        Refusal{"ReportDateNotPadded",
                {"report", "--from", "2024-3-01", "--to", "2024-03-01"},
                "--from: expected"},
        Refusal{"ReportBackwards", {"report", "--from", "2024-03-02", "--to", "2024-03-01"}, "after --to"},
        Refusal{
            "ReportLongerThanAYear", {"report", "--from", "2024-01-01", "--to", "2025-01-01"}, "at most 366"},
        Refusal{"ReportFormat",
                {"report", "--from", "2024-03-01", "--to", "2024-03-01", "--format", "xml"},
                "table or csv"}),
    [](const testing::TestParamInfo<Refusal>& row) { return std::string(row.param.name); });

} // namespace
