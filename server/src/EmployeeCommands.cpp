#include "Commands.h"
#include "PasswordHash.h"
#include "Postgres.h"
#include "Storage.h"
#include "WireFormat.h"

#include <iostream>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace corlune::server {

namespace {

std::string readLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

/// One line of standard input; on a terminal, asked twice with the echo off.
std::optional<std::string> readPassword(const std::string& employeeId) {
    if (!isatty(STDIN_FILENO)) {
        return readLine(std::cin);
    }
    termios saved{};
    tcgetattr(STDIN_FILENO, &saved);
    termios quiet = saved;
    quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    std::cerr << "Password for " << employeeId << ": " << std::flush;
    const std::string first = readLine(std::cin);
    std::cerr << "\nRepeat it: " << std::flush;
    const std::string second = readLine(std::cin);
    std::cerr << '\n';
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    if (first != second) {
        std::cerr << "corlune-track-server: the two passwords differ\n";
        return std::nullopt;
    }
    return first;
}

} // namespace

std::unique_ptr<Storage> openForCommand(const std::string& database) {
    try {
        return openStorage(database);
    } catch (const std::exception& e) {
        std::cerr << "corlune-track-server: " << withoutPassword(database) << ": " << e.what() << '\n';
        return nullptr;
    }
}

int runEmployeeAdd(const EmployeeAddOptions& o) {
    const auto password = readPassword(o.employeeId);
    if (!password) {
        return 1;
    }
    if (password->empty()) {
        std::cerr << "corlune-track-server: no password on standard input\n";
        return 1;
    }
    const auto storage = openForCommand(o.db);
    if (!storage) {
        return 1;
    }
    const auto hash = hashPassword(*password);
    if (!hash) {
        std::cerr << "corlune-track-server: cannot hash the password (out of memory?)\n";
        return 1;
    }
    switch (storage->addEmployee(o.employeeId, *hash, o.jobs)) {
    case AddOutcome::Added:
        std::cout << "added " << o.employeeId << '\n';
        return 0;
    case AddOutcome::AlreadyExists:
        std::cerr << "corlune-track-server: employee " << o.employeeId << " already exists\n";
        return 1;
    case AddOutcome::Failed:
        break;
    }
    std::cerr << "corlune-track-server: cannot write " << withoutPassword(o.db) << '\n';
    return 1;
}

int runEmployeeList(const EmployeeListOptions& o) {
    const auto storage = openForCommand(o.db);
    const auto employees = storage ? storage->employees() : std::nullopt;
    if (!employees) {
        return 1;
    }
    for (const Employee& employee : *employees) {
        std::cout << employee.id << '\t' << toJsonText(employee.jobs) << '\n';
    }
    return 0;
}

int runEmployeeRemove(const EmployeeRemoveOptions& o) {
    const auto storage = openForCommand(o.db);
    if (!storage) {
        return 1;
    }
    switch (storage->removeEmployee(o.employeeId)) {
    case RemoveOutcome::Removed:
        std::cout << "removed " << o.employeeId << '\n';
        return 0;
    case RemoveOutcome::NotFound:
        std::cerr << "corlune-track-server: no employee " << o.employeeId << '\n';
        return 1;
    case RemoveOutcome::Failed:
        break;
    }
    std::cerr << "corlune-track-server: cannot write " << withoutPassword(o.db) << '\n';
    return 1;
}

} // namespace corlune::server
