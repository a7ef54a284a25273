#include "Impressions.h"

#include "WireFormat.h"

#include <fcntl.h>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

namespace corlune::server {

std::unique_ptr<Impressions> Impressions::fromFile(std::string path) {
    return std::unique_ptr<Impressions>(new Impressions(std::move(path), std::nullopt));
}

std::unique_ptr<Impressions> Impressions::fixed(nlohmann::json object) {
    return std::unique_ptr<Impressions>(new Impressions({}, std::move(object)));
}

nlohmann::json Impressions::demoFigures() {
    return {
        {"instagram",
         {{"totalImpressions", 12840},
          {"latest", {{"impressions", 932}, {"timestamp", "2024-03-05T14:07:09Z"}}}}},
        {"tiktok", {{"totalImpressions", 20417}, {"latest", {{"impressions", 1288}}}}},
    };
}

std::optional<nlohmann::json> Impressions::current() {
    const std::lock_guard lock(mutex);
    if (path.empty()) {
        return object;
    }
    // Opened without blocking and checked on the descriptor, so a FIFO put in the file's place
    // cannot hold the analytics requests, and a huge file is never read whole.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return object;
    }
    const FileStamp stamp{info.st_ino, info.st_size, info.st_mtim};
    if (seen && *seen == stamp) {
        ::close(fd);
        return object;
    }
    seen = stamp;
    std::string text(maxFileBytes + 1, '\0');
    std::size_t length = 0;
    ssize_t n = 0;
    while (S_ISREG(info.st_mode) && length < text.size() &&
           (n = ::read(fd, text.data() + length, text.size() - length)) > 0) {
        length += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(length);
    auto parsed = !S_ISREG(info.st_mode)  ? Parsed<nlohmann::json>::fail("not a regular file")
                  : n < 0                 ? Parsed<nlohmann::json>::fail("unreadable")
                  : length > maxFileBytes ? Parsed<nlohmann::json>::fail("larger than 1 MiB")
                                          : parseJsonObject(text);
    if (!parsed.value) {
        std::cerr << "corlune-track-server: " << path << ": " << parsed.error
                  << "; the analytics keep their last good copy\n";
        return object;
    }
    object = std::move(parsed.value);
    return object;
}

} // namespace corlune::server
