#include "Downloads.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace corlune::server {

namespace {

// A listing reads no further than this, so a folder flooded with other files costs a bounded
// amount of work per page.
constexpr std::size_t maxEntriesRead = 4096;

bool packageCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '+' || c == '~' || c == '-';
}

struct CloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string realPath(const std::string& path) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : std::string();
}

// Where a package name leads: a path directly in the folder `root` (already resolved), or ""
// for a name that is not a package's or leads elsewhere. A link may point to a file beside it,
// never out of the folder.
std::string locate(const std::string& root, std::string_view name) {
    if (root.empty() || !isPackageName(name)) {
        return {};
    }
    std::string path = realPath(root + '/' + std::string(name));
    const bool inside = path.size() > root.size() + 1 && path.compare(0, root.size() + 1, root + '/') == 0 &&
                        path.find('/', root.size() + 1) == std::string::npos;
    return inside ? path : std::string();
}

} // namespace

OpenFile::~OpenFile() {
    if (fd >= 0) {
        ::close(fd);
    }
}

bool isPackageName(std::string_view name) {
    return !name.empty() && name.size() <= NAME_MAX && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), packageCharacter);
}

std::vector<Downloads::Package> Downloads::list() const {
    std::vector<Package> packages;
    const std::string root = realPath(folder);
    const std::unique_ptr<DIR, CloseDir> dir(root.empty() ? nullptr : ::opendir(root.c_str()));
    std::size_t read = 0;
    for (const dirent* entry = nullptr;
         dir && read < maxEntriesRead && (entry = ::readdir(dir.get())) != nullptr; ++read) {
        struct stat info {};
        const std::string path = locate(root, entry->d_name);
        if (!path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            packages.push_back({entry->d_name, static_cast<std::uint64_t>(info.st_size)});
        }
    }
    std::sort(packages.begin(), packages.end(),
              [](const Package& a, const Package& b) { return a.name < b.name; });
    packages.resize(std::min(packages.size(), maxListed));
    return packages;
}

ApiResponse Downloads::open(std::string_view name) const {
    if (!isPackageName(name)) {
        return errorResponse(400, "not a package name");
    }
    const std::string path = locate(realPath(folder), name);
    if (path.empty()) {
        return errorResponse(404, "no such package");
    }
    // Without blocking, so that a FIFO cannot hold a thread; the type is checked on the descriptor.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && (errno == EMFILE || errno == ENFILE)) {
        ApiResponse busy = errorResponse(503, "too many files open; try again shortly");
        busy.headers.emplace_back("Retry-After", "1");
        return busy;
    }
    auto file = fd < 0 ? nullptr : std::make_shared<OpenFile>(fd);
    struct stat info {};
    if (!file || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return errorResponse(404, "no such package");
    }
    const bool deb = name.size() > 4 && name.substr(name.size() - 4) == ".deb";
    ApiResponse answer;
    answer.headers = {
        {"Content-Type", deb ? "application/vnd.debian.binary-package" : "application/octet-stream"},
        {"Content-Disposition", "attachment; filename=\"" + std::string(name) + '"'},
    };
    answer.file = std::move(file);
    return answer;
}

} // namespace corlune::server
