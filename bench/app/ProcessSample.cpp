#include "ProcessSample.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

namespace {

std::string procPath(pid_t pid, const std::string& leaf) {
    return "/proc/" + std::to_string(pid) + '/' + leaf;
}

/// The value of a "Name:   1234 kB" line of a status-like file; 0 when absent.
long fieldOf(const std::string& text, const std::string& name) {
    const std::string key = '\n' + name + ':';
    const std::size_t at = ('\n' + text).find(key);
    if (at == std::string::npos)
        return 0;
    return std::strtol(text.c_str() + at + name.size() + 1, nullptr, 10);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

/// The fields of a stat file after the command name, which may itself hold spaces and ")".
std::vector<std::string> statFields(const std::string& stat) {
    std::vector<std::string> fields;
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return fields;
    std::istringstream rest(stat.substr(close + 1));
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

} // namespace

std::optional<ProcessSample> ProcessSample::read(pid_t pid) {
    ProcessSample sample;
    sample.at = Clock::now();
    const std::vector<std::string> stat = statFields(slurp(procPath(pid, "stat")));
    // After the name: state is field 3 of the whole line, utime 14 and stime 15.
    if (stat.size() < 13)
        return std::nullopt;
    sample.cpuTicks = std::stoull(stat[11]) + std::stoull(stat[12]);

    const std::string status = slurp(procPath(pid, "status"));
    sample.vmRss = fieldOf(status, "VmRSS");
    sample.vmHwm = fieldOf(status, "VmHWM");
    sample.rssAnon = fieldOf(status, "RssAnon");
    sample.rssFile = fieldOf(status, "RssFile");
    sample.rssShmem = fieldOf(status, "RssShmem");
    sample.threadCount = fieldOf(status, "Threads");
    sample.pss = fieldOf(slurp(procPath(pid, "smaps_rollup")), "Pss");

    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(procPath(pid, "task"), error)) {
        Thread thread;
        thread.tid = std::stoi(entry.path().filename().string());
        thread.name = slurp(entry.path() / "comm");
        if (!thread.name.empty() && thread.name.back() == '\n')
            thread.name.pop_back();
        std::istringstream schedstat(slurp(entry.path() / "schedstat"));
        std::uint64_t waitNs = 0;
        schedstat >> thread.runNs >> waitNs >> thread.slices;
        sample.threads.push_back(thread);
    }
    return sample;
}

double ProcessSample::cpuSeconds() const {
    return static_cast<double>(cpuTicks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::vector<std::pair<std::string, long>> ProcessSample::residentByMapping(pid_t pid) {
    std::ifstream smaps(procPath(pid, "smaps"));
    std::map<std::string, long> byName;
    std::string current;
    for (std::string line; std::getline(smaps, line);) {
        // A mapping's header line starts with its address range; its fields follow.
        const std::size_t dash = line.find('-');
        const bool header =
            dash != std::string::npos && dash > 0 && line.find_first_not_of("0123456789abcdef") == dash;
        if (header) {
            std::istringstream fields(line);
            std::string range, perms, offset, device, inode;
            fields >> range >> perms >> offset >> device >> inode;
            std::string path;
            std::getline(fields, path);
            path.erase(0, path.find_first_not_of(' '));
            if (path.empty())
                path = "[anon]";
            const std::size_t slash = path.rfind('/');
            current = path.front() == '/' && slash != std::string::npos ? path.substr(slash + 1) : path;
        } else if (line.rfind("Rss:", 0) == 0) {
            byName[current] += std::strtol(line.c_str() + 4, nullptr, 10);
        }
    }
    std::vector<std::pair<std::string, long>> result(byName.begin(), byName.end());
    std::sort(result.begin(), result.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return result;
}
