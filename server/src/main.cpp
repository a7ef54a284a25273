#include "Commands.h"
#include "Options.h"

#include <iostream>
#include <string>
#include <vector>

using namespace corlune::server;

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = parseCommandLine(args);
    if (!parsed.value) {
        std::cerr << "corlune-track-server: " << parsed.error << '\n';
        return 2;
    }
    struct Run {
        int operator()(const ShowHelp&) const {
            std::cout << usageText();
            return 0;
        }
        int operator()(const ShowVersion&) const {
            std::cout << "corlune-track-server " << CORLUNE_SERVER_VERSION << '\n';
            return 0;
        }
        int operator()(const ServeOptions& o) const { return runServe(o); }
        int operator()(const EmployeeAddOptions& o) const { return runEmployeeAdd(o); }
        int operator()(const EmployeeListOptions& o) const { return runEmployeeList(o); }
        int operator()(const EmployeeRemoveOptions& o) const { return runEmployeeRemove(o); }
        int operator()(const ReportOptions& o) const { return runReport(o); }
    };
    return std::visit(Run{}, *parsed.value);
}
