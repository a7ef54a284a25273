#include "Options.h"

#include <gtest/gtest.h>

#include <functional>

using namespace corlune::server;
using Args = std::vector<std::string>;

namespace {

struct Case {
    const char* name;
    Args args;
    std::function<bool(const Command&)> holds; ///< for a command line that is accepted
    std::string refusal = {};                  ///< part of the error of one that is not
};

template <typename T>
std::function<bool(const Command&)> as(std::function<bool(const T&)> check) {
    return [check](const Command& c) { return std::holds_alternative<T>(c) && check(std::get<T>(c)); };
}

class CommandLine : public testing::TestWithParam<Case> {};

TEST_P(CommandLine, IsReadOrRefused) {
    const auto parsed = parseCommandLine(GetParam().args);
    if (GetParam().holds) {
        ASSERT_TRUE(parsed.value) << parsed.error;
        EXPECT_TRUE(GetParam().holds(*parsed.value));
    } else {
        EXPECT_FALSE(parsed.value);
        EXPECT_NE(parsed.error.find(GetParam().refusal), std::string::npos) << parsed.error;
    }
}

using S = ServeOptions;

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    testing::Values(
        Case{"ServeDefaults", {"serve"}, as<S>([](const S& o) {
                 return o.db == "corlune-track.db" && o.host == "127.0.0.1" && o.port == 8787 && !o.demo &&
                        o.tokenDays == 30 && !o.allowAnonymousReports && !o.updateAvailable &&
                        o.delay.count() == 0;
             })},
        Case{"ServeEveryOption",
             {"serve",
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
              "--allow-anonymous-reports"},
             as<S>([](const S& o) {
                 return o.db == "x.db" && o.host == "::1" && o.port == 0 && o.portFile == "p" && o.demo &&
                        o.latestVersion == "2.1.0" && o.updateAvailable == false &&
                        o.impressionsFile == "i.json" && o.threads == 8 && o.delay.count() == 20000 &&
                        o.delayScope == DelayScope::All && o.tokenDays == 7 && o.allowAnonymousReports;
             })},
        Case{"LoopbackRange", {"serve", "--listen", "127.1.2.3:80"}, as<S>([](const S& o) {
                 return o.port == 80;
             })},
        Case{"AnyAddressWithTls",
             {"serve", "--listen", "0.0.0.0:443", "--tls-cert", "c", "--tls-key", "k"},
             as<S>([](const S& o) { return o.tlsKey == "k"; })},
        Case{"PlainHttpOffLoopback", {"serve", "--listen", "192.0.2.1:8787"}, {}, "loopback only"},
        Case{"CertWithoutKey", {"serve", "--tls-cert", "c"}, {}, "go together"},
        Case{"ListenWithoutPort", {"serve", "--listen", "127.0.0.1"}, {}, "HOST:PORT"},
        Case{"PortTooHigh", {"serve", "--listen", "127.0.0.1:65536"}, {}, "65535"},
        Case{"TokenDaysZero", {"serve", "--token-days", "0"}, {}, "--token-days"},
        Case{"TokenDaysTooMany", {"serve", "--token-days", "3651"}, {}, "--token-days"},
        Case{"NegativeDelay", {"serve", "--delay-ms", "-1"}, {}, "--delay-ms"},
        Case{"UpdateAvailableYes", {"serve", "--update-available", "yes"}, {}, "true or false"},
        Case{"FlagWithValue", {"serve", "--allow-anonymous-reports=yes"}, {}, "takes no value"},
        Case{"MissingValue", {"serve", "--db"}, {}, "needs a value"},
        Case{"PasswordOption",
             {"employee", "add", "e", "--job", "j", "--password", "p"},
             {},
             "unknown option"},
        Case{"ServeArgument", {"serve", "extra"}, {}, "takes no argument"},
        Case{"NoCommand", {}, {}, "no command"},
        Case{"Help",
             {"serve", "--help"},
             [](const Command& c) { return std::holds_alternative<ShowHelp>(c); }},
        Case{"Version",
             {"--version"},
             [](const Command& c) { return std::holds_alternative<ShowVersion>(c); }},
        Case{"EmployeeAdd",
             {"employee", "add", "E 1", "--job", "0", "--job", "", "--db", "x.db"},
             as<EmployeeAddOptions>([](const EmployeeAddOptions& o) {
                 return o.employeeId == "E 1" && o.jobs == Args{"0", ""} && o.db == "x.db";
             })},
        Case{"EmployeeAddWithoutJob", {"employee", "add", "e"}, {}, "at least one --job"},
        Case{"EmployeeAddTwoIds", {"employee", "add", "e", "f", "--job", "j"}, {}, "exactly one employee ID"},
        Case{"EmptyEmployeeId", {"employee", "add", "", "--job", "j"}, {}, "1 to 128 bytes"},
        Case{"EmployeeIdTooLong",
             {"employee", "add", std::string(129, 'e'), "--job", "j"},
             {},
             "1 to 128 bytes"},
        Case{"JobWithControlCharacter", {"employee", "add", "e", "--job", "a\tb"}, {}, "--job"},
        Case{"EmployeeRemove",
             {"employee", "remove", "e7"},
             as<EmployeeRemoveOptions>([](const EmployeeRemoveOptions& o) { return o.employeeId == "e7"; })},
        Case{"EmployeeList",
             {"employee", "list", "--db", "y.db"},
             as<EmployeeListOptions>([](const EmployeeListOptions& o) { return o.db == "y.db"; })},
        Case{"EmployeeRename", {"employee", "rename", "e"}, {}, "unknown employee action"}),
    [](const testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

} // namespace
