#pragma once

#include <nlohmann/json.hpp>

#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>

namespace corlune::server {

/// The social metrics the analytics endpoint serves: the JSON object of a file, read again
/// whenever the file changes (its inode, size or modification time), or a fixed object.
/// A file that is missing, unreadable or not a JSON object leaves the last good copy in use,
/// so an editor caught halfway through a save never empties the panel.
class Impressions {
public:
    /// A larger file is refused like a malformed one.
    static constexpr std::size_t maxFileBytes = 1024 * 1024;

    static std::unique_ptr<Impressions> fromFile(std::string path);
    static std::unique_ptr<Impressions> fixed(nlohmann::json object);
    /// The figures `serve --demo` shows when no file is given.
    static nlohmann::json demoFigures();

    Impressions(const Impressions&) = delete;
    Impressions& operator=(const Impressions&) = delete;

    /// The current object; nothing while the file has never held a good one.
    std::optional<nlohmann::json> current();

private:
    struct FileStamp {
        ino_t inode = 0;
        off_t size = -1;
        timespec modified{};
        bool operator==(const FileStamp& o) const {
            return inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
                   modified.tv_nsec == o.modified.tv_nsec;
        }
    };

    Impressions(std::string path, std::optional<nlohmann::json> object)
        : path(std::move(path))
        , object(std::move(object)) {}

    std::string path; ///< empty for a fixed object
    std::mutex mutex;
    std::optional<FileStamp> seen;
    std::optional<nlohmann::json> object;
};

} // namespace corlune::server
