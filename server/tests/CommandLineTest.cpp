#include "ServerProcess.h"
#include "TempDir.h"

#include <gtest/gtest.h>

using namespace corlune::server::test;
using nlohmann::json;

namespace {

TEST(CommandLine, EmployeesAreAddedListedAndRemoved) {
    TempDir dir;
    const std::string db = dir.file("t.db");
    const auto added =
        runServer({"employee", "add", "e1", "--job", "j1", "--job", "", "--db", db}, "s3cret\n");
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.out, "added e1\n");
    EXPECT_EQ(runServer({"employee", "add", "e0", "--job=0", "--db=" + db}, "pw").status, 0);
    const auto listed = runServer({"employee", "list", "--db", db});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "e0\t[\"0\"]\ne1\t[\"\",\"j1\"]\n");
    EXPECT_EQ(listed.out.find("s3cret"), std::string::npos);
    const auto again = runServer({"employee", "add", "e1", "--job", "j2", "--db", db}, "other\n");
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already exists"), std::string::npos);
    EXPECT_EQ(runServer({"employee", "remove", "e0", "--db", db}).status, 0);
    const auto gone = runServer({"employee", "remove", "e0", "--db", db});
    EXPECT_EQ(gone.status, 1);
    EXPECT_NE(gone.err.find("no employee e0"), std::string::npos);
    EXPECT_EQ(runServer({"employee", "list", "--db", db}).out, "e1\t[\"\",\"j1\"]\n");
}

TEST(CommandLine, ThePasswordIsStoredOnlyAsAnArgon2idHash) {
    TempDir dir;
    const std::string db = dir.file("t.db");
    ASSERT_EQ(runServer({"employee", "add", "e1", "--job", "j1", "--db", db}, "plain-secret\r\n").status, 0);
    const auto dump = runServer({"employee", "list", "--db", db});
    std::ifstream file(db, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.find("plain-secret"), std::string::npos);
    EXPECT_NE(bytes.find("$argon2id$"), std::string::npos);
    ServerProcess server({"--db", db});
    EXPECT_EQ(server
                  .post("/api/users/verify",
                        json{{"employeeId", "e1"}, {"jobId", "j1"}, {"password", "plain-secret"}})
                  .body["ok"],
              true);
}

TEST(CommandLine, AddRefusesAnEmptyPasswordAndAPasswordOption) {
    TempDir dir;
    const auto empty = runServer({"employee", "add", "e1", "--job", "j1", "--db", dir.file("t.db")}, "");
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.err.find("no password"), std::string::npos);
    EXPECT_EQ(runServer({"employee", "add", "e1", "--job", "j1", "--password", "x"}, "").status, 2);
}

TEST(CommandLine, DemoAddsTheDemoEmployeeToAnEmptyDatabase) {
    TempDir dir;
    const std::string db = dir.file("t.db");
    {
        ServerProcess server({"--db", db, "--demo"});
        for (const char* job : {"demo", "0"}) {
            EXPECT_EQ(server
                          .post("/api/users/verify",
                                json{{"employeeId", "demo"}, {"jobId", job}, {"password", "demo"}})
                          .body["ok"],
                      true)
                << job;
        }
        const auto impressions = server.get("/api/analytics/impressions");
        EXPECT_EQ(impressions.status, 200);
        EXPECT_TRUE(impressions.body["instagram"]["latest"].is_object());
    }
    TempDir other;
    addEmployee(other.file("t.db"), "boss", "pw", {"j"});
    ServerProcess server({"--db", other.file("t.db"), "--demo"});
    EXPECT_EQ(
        server
            .post("/api/users/verify", json{{"employeeId", "demo"}, {"jobId", "demo"}, {"password", "demo"}})
            .body["ok"],
        false);
}

TEST(CommandLine, HelpNamesEveryOption) {
    const auto help = runServer({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--db", "--listen", "--port-file", "--tls-cert", "--tls-key", "--demo", "--latest-version",
          "--update-available", "--impressions", "--threads", "--delay-ms", "--delay-scope", "--job"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    EXPECT_EQ(runServer({"--version"}).out,
              std::string("corlune-track-server ") + CORLUNE_SERVER_VERSION + "\n");
}

TEST(CommandLine, ServeFailsClearly) {
    TempDir dir;
    const auto badDb = runServer({"serve", "--db", dir.file("missing/t.db"), "--listen", "127.0.0.1:0"});
    EXPECT_EQ(badDb.status, 1);
    EXPECT_NE(badDb.err.find("t.db"), std::string::npos);
    const auto busy = runServer({"serve", "--db", dir.file("t.db"), "--listen", "127.0.0.1:0", "--tls-cert",
                                 dir.file("none.pem"), "--tls-key", dir.file("none.pem")});
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.err.find("TLS"), std::string::npos);
    ServerProcess first({"--db", dir.file("t.db")});
    const auto taken = runServer(
        {"serve", "--db", dir.file("t.db"), "--listen", "127.0.0.1:" + std::to_string(first.port())});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("cannot listen"), std::string::npos);
    EXPECT_EQ(runServer({"serve", "--listen", "0.0.0.0:8787"}).status, 2);
}

} // namespace
