#include "PostgresCluster.h"

#include <csignal>
#include <pwd.h>
#include <stdexcept>
#include <unistd.h>

namespace {

const std::string binaries = "/usr/lib/postgresql/15/bin/";
constexpr int port = 5432; // only names the socket in a folder of our own

/// `argv`, run as nobody when this process is root. setpriv keeps the death signal across
/// the change of user, which would otherwise clear it.
std::vector<std::string> unprivileged(std::vector<std::string> argv, const passwd* nobody) {
    if (nobody == nullptr) {
        return argv;
    }
    argv.insert(argv.begin(),
                {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                 "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups", "--pdeathsig=keep", "--"});
    return argv;
}

} // namespace

PostgresCluster::PostgresCluster(const std::vector<std::string>& settings) {
    const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
    if (::geteuid() == 0 &&
        (nobody == nullptr || ::chown(dir.path().c_str(), nobody->pw_uid, nobody->pw_gid) != 0)) {
        throw std::runtime_error("cannot hand " + dir.path().string() + " to the user nobody");
    }
    ChildProcess initdb(
        {.argv = unprivileged({binaries + "initdb", "--pgdata=" + dir.file("data"), "--username=corlune",
                               "--auth=trust", "--encoding=UTF8", "--no-locale", "--no-sync"},
                              nobody),
         .logPath = dir.file("initdb.log")});
    if (initdb.waitForExit(std::chrono::minutes(2)) != 0) {
        throw std::runtime_error("initdb failed:\n" + initdb.log());
    }
    std::vector<std::string> argv = {binaries + "postgres", "-D", dir.file("data"),     "-k",
                                     dir.path().string(),   "-p", std::to_string(port), "-c",
                                     "listen_addresses=",   "-c", "log_line_prefix="};
    for (const std::string& setting : settings) {
        argv.insert(argv.end(), {"-c", setting});
    }
    server = std::make_unique<ChildProcess>(
        ChildProcess::Options{.argv = unprivileged(argv, nobody), .logPath = dir.file("server.log")});
    if (!server->waitForLine("LOG:  database system is ready to accept connections",
                             std::chrono::minutes(1))) {
        server->stop(SIGKILL);
        throw std::runtime_error("PostgreSQL did not start:\n" + server->log());
    }
}

PostgresCluster::~PostgresCluster() {
    server->stop(SIGINT);
}

std::string PostgresCluster::uri(const std::string& database) const {
    std::string socket;
    for (const char c : dir.path().string()) {
        socket += c == '/' ? std::string("%2F") : std::string(1, c);
    }
    return "postgresql://corlune@" + socket + ":" + std::to_string(port) + "/" + database;
}
