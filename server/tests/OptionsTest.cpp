#include "Options.h"

#include <gtest/gtest.h>

using namespace corlune::server;

namespace {

template <typename T>
T parse(const std::vector<std::string>& args) {
    const auto parsed = parseCommandLine(args);
    EXPECT_TRUE(parsed.value.has_value()) << parsed.error;
    EXPECT_TRUE(parsed.value && std::holds_alternative<T>(*parsed.value));
    return parsed.value && std::holds_alternative<T>(*parsed.value) ? std::get<T>(*parsed.value) : T{};
}

std::string refusal(const std::vector<std::string>& args) {
    const auto parsed = parseCommandLine(args);
    EXPECT_FALSE(parsed.value.has_value());
    return parsed.error;
}

TEST(ServeOptions, Defaults) {
    const auto o = parse<ServeOptions>({"serve"});
    EXPECT_EQ(o.db, "corlune-track.db");
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 8787);
    EXPECT_FALSE(o.demo);
    EXPECT_FALSE(o.updateAvailable.has_value());
    EXPECT_EQ(o.latestVersion, CORLUNE_SERVER_VERSION);
    EXPECT_EQ(o.delay.count(), 0);
    EXPECT_EQ(o.delayScope, DelayScope::Events);
}

TEST(ServeOptions, EveryOption) {
    const auto o = parse<ServeOptions>({"serve",
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
                                        "--header-timeout",
                                        "3",
                                        "--max-connections-per-address",
                                        "7"});
    EXPECT_EQ(o.db, "x.db");
    EXPECT_EQ(o.host, "::1");
    EXPECT_EQ(o.port, 0);
    EXPECT_EQ(o.portFile, "p");
    EXPECT_TRUE(o.demo);
    EXPECT_EQ(o.latestVersion, "2.1.0");
    EXPECT_EQ(o.updateAvailable, std::optional<bool>(false));
    EXPECT_EQ(o.impressionsFile, "i.json");
    EXPECT_EQ(o.threads, 8);
    EXPECT_EQ(o.delay.count(), 20000);
    EXPECT_EQ(o.delayScope, DelayScope::All);
    EXPECT_EQ(o.limits.headerTimeout, std::chrono::seconds(3));
    EXPECT_EQ(o.limits.maxConnectionsPerAddress, 7u);
}

TEST(ServeOptions, PlainHttpOnlyOnLoopback) {
    EXPECT_EQ(parse<ServeOptions>({"serve", "--listen", "127.1.2.3:80"}).port, 80);
    EXPECT_EQ(parse<ServeOptions>({"serve", "--listen", "localhost:80"}).host, "localhost");
    EXPECT_NE(refusal({"serve", "--listen", "0.0.0.0:8787"}).find("loopback only"), std::string::npos);
    EXPECT_NE(refusal({"serve", "--listen", "192.0.2.1:8787"}).find("--tls-cert"), std::string::npos);
    EXPECT_EQ(
        parse<ServeOptions>({"serve", "--listen", "0.0.0.0:443", "--tls-cert", "c", "--tls-key", "k"}).tlsKey,
        "k");
}

TEST(ServeOptions, Refusals) {
    EXPECT_EQ(refusal({"serve", "--tls-cert", "c"}), "--tls-cert and --tls-key go together");
    EXPECT_EQ(refusal({"serve", "--listen", "127.0.0.1"}),
              "--listen: expected HOST:PORT, for example 127.0.0.1:8787");
    EXPECT_NE(refusal({"serve", "--listen", "127.0.0.1:65536"}).find("65535"), std::string::npos);
    EXPECT_NE(refusal({"serve", "--listen", ":80"}).find("HOST:PORT"), std::string::npos);
    EXPECT_EQ(refusal({"serve", "--update-available", "yes"}), "--update-available: expected true or false");
    EXPECT_NE(refusal({"serve", "--delay-ms", "-1"}).find("--delay-ms"), std::string::npos);
    EXPECT_NE(refusal({"serve", "--threads", "1x"}).find("--threads"), std::string::npos);
    EXPECT_EQ(refusal({"serve", "--demo=yes"}), "--demo takes no value");
    EXPECT_EQ(refusal({"serve", "--db"}), "--db needs a value");
    EXPECT_EQ(refusal({"serve", "--password", "x"}), "unknown option --password");
    EXPECT_EQ(refusal({"serve", "extra"}), "serve takes no argument 'extra'");
    EXPECT_EQ(refusal({}), "no command given; see --help");
    EXPECT_EQ(refusal({"launch"}), "unknown command 'launch'; see --help");
}

TEST(EmployeeOptions, Add) {
    const auto o =
        parse<EmployeeAddOptions>({"employee", "add", "E 1", "--job", "0", "--job", "", "--db", "x.db"});
    EXPECT_EQ(o.employeeId, "E 1");
    EXPECT_EQ(o.jobs, (std::vector<std::string>{"0", ""}));
    EXPECT_EQ(o.db, "x.db");
}

TEST(EmployeeOptions, AddRefusals) {
    EXPECT_EQ(refusal({"employee", "add", "e"}), "employee add needs at least one --job");
    EXPECT_EQ(refusal({"employee", "add", "--job", "j"}), "employee add takes exactly one employee ID");
    EXPECT_EQ(refusal({"employee", "add", "e", "f", "--job", "j"}),
              "employee add takes exactly one employee ID");
    EXPECT_NE(refusal({"employee", "add", "", "--job", "j"}).find("1 to 128 bytes"), std::string::npos);
    EXPECT_NE(refusal({"employee", "add", std::string(129, 'e'), "--job", "j"}).find("1 to 128"),
              std::string::npos);
    EXPECT_NE(refusal({"employee", "add", "e", "--job", "a\tb"}).find("--job"), std::string::npos);
    EXPECT_EQ(refusal({"employee", "add", "e", "--job", "j", "--password", "p"}),
              "unknown option --password");
}

TEST(EmployeeOptions, ListAndRemove) {
    EXPECT_EQ(parse<EmployeeListOptions>({"employee", "list", "--db", "y.db"}).db, "y.db");
    EXPECT_EQ(parse<EmployeeRemoveOptions>({"employee", "remove", "e7"}).employeeId, "e7");
    EXPECT_EQ(refusal({"employee", "list", "e"}), "employee list takes no argument");
    EXPECT_EQ(refusal({"employee"}), "employee needs add, list or remove");
    EXPECT_EQ(refusal({"employee", "rename", "e"}), "unknown employee action 'rename' (add, list or remove)");
}

TEST(CommandLine, HelpAndVersion) {
    parse<ShowHelp>({"--help"});
    parse<ShowHelp>({"serve", "--help"});
    parse<ShowVersion>({"--version"});
    EXPECT_NE(usageText().find("--delay-ms"), std::string::npos);
}

TEST(Loopback, Hosts) {
    EXPECT_TRUE(isLoopbackHost("127.0.0.1"));
    EXPECT_TRUE(isLoopbackHost("127.255.0.9"));
    EXPECT_TRUE(isLoopbackHost("::1"));
    EXPECT_TRUE(isLoopbackHost("localhost"));
    EXPECT_FALSE(isLoopbackHost("128.0.0.1"));
    EXPECT_FALSE(isLoopbackHost("::"));
    EXPECT_FALSE(isLoopbackHost("example.org"));
}

} // namespace
