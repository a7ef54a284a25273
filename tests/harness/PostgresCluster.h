#pragma once

#include "ChildProcess.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

/// A PostgreSQL 15 cluster of its own: made by initdb in a scratch folder and run in the
/// foreground as this process's child, so it ends with the process that started it. It listens
/// on a Unix socket in that folder only, and trusts the local superuser "corlune". As root,
/// initdb and the server run as the unprivileged user nobody, as PostgreSQL refuses root.
/// Start it from the main thread (see ChildProcess).
class PostgresCluster {
public:
    /// `settings` are server settings as "name=value". Throws std::runtime_error when the
    /// cluster does not start.
    explicit PostgresCluster(const std::vector<std::string>& settings = {});
    /// A fast shutdown: sessions are ended, nothing is waited for.
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&) = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    /// A libpq URI of one of its databases ("postgres" exists from the start).
    std::string uri(const std::string& database = "postgres") const;

private:
    TempDir dir;
    std::unique_ptr<ChildProcess> server;
};
