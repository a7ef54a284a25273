#include "ServerProcess.h"

#include "NetworkNamespace.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

const std::string serverBinary = CORLUNE_SERVER_BINARY;

std::string contentOf(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

ServerProcess::ServerProcess(const std::vector<std::string>& serveArguments, int port,
                             const NetworkNamespace* ns)
    : ns(ns) {
    std::vector<std::string> argv = {serverBinary, "serve", "--listen", "127.0.0.1:" + std::to_string(port)};
    argv.insert(argv.end(), serveArguments.begin(), serveArguments.end());
    process = std::make_unique<ChildProcess>(
        ChildProcess::Options{.argv = argv, .logPath = dir.file("log"), .ns = ns});
    // A server that fails to start ends without the line.
    const std::string prefix = "listening on 127.0.0.1:";
    const std::optional<std::string> line = process->waitForLine(prefix, std::chrono::seconds(20));
    if (!line) {
        process->stop(SIGKILL);
        throw std::runtime_error("the server did not start:\n" + process->log());
    }
    listening = std::stoi(line->substr(prefix.size()));
}

ServerProcess::~ServerProcess() {
    if (!exited())
        stop(SIGTERM);
}

httplib::Client ServerProcess::client() const {
    httplib::Client client("127.0.0.1", listening);
    client.set_connection_timeout(std::chrono::seconds(10));
    client.set_read_timeout(std::chrono::seconds(30));
    client.set_write_timeout(std::chrono::seconds(10));
    return client;
}

Answer ServerProcess::send(const std::function<httplib::Result(httplib::Client&)>& request) const {
    Answer answer;
    const auto exchange = [&] {
        httplib::Client connection = client();
        const httplib::Result result = request(connection);
        if (!result)
            return;
        answer.status = result->status;
        answer.headers = result->headers;
        answer.body = nlohmann::json::parse(result->body, nullptr, false);
        if (answer.body.is_discarded())
            answer.body = nullptr;
    };
    if (ns)
        ns->runInside(exchange);
    else
        exchange();
    return answer;
}

Answer ServerProcess::post(const std::string& path, const std::string& body,
                           const httplib::Headers& headers) const {
    return send([&](httplib::Client& c) { return c.Post(path.c_str(), headers, body, "application/json"); });
}

Answer ServerProcess::get(const std::string& path, const httplib::Headers& headers) const {
    httplib::Headers all = headers;
    all.emplace("Content-Type", "application/json");
    return send([&](httplib::Client& c) { return c.Get(path.c_str(), all); });
}

CommandResult runServer(const std::vector<std::string>& arguments, const std::string& input) {
    const TempDir dir;
    std::ofstream(dir.file("in"), std::ios::binary) << input;
    std::vector<std::string> argv = {serverBinary};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    ChildProcess command({.argv = argv,
                          .logPath = dir.file("out"),
                          .errorPath = dir.file("err"),
                          .inputPath = dir.file("in")});
    CommandResult result;
    result.status = command.waitForExit(std::chrono::minutes(1)).value_or(-1);
    result.out = contentOf(dir.file("out"));
    result.err = contentOf(dir.file("err"));
    return result;
}

void addEmployee(const std::string& db, const std::string& employeeId, const std::string& password,
                 const std::vector<std::string>& jobs) {
    std::vector<std::string> arguments = {"employee", "add", employeeId, "--db", db};
    for (const std::string& job : jobs) {
        arguments.push_back("--job");
        arguments.push_back(job);
    }
    const CommandResult result = runServer(arguments, password + "\n");
    if (result.status != 0)
        throw std::runtime_error("employee add " + employeeId + " failed: " + result.err);
}
