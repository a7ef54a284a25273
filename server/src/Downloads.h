#pragma once

#include "Handlers.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corlune::server {

/// True for the names a package may have to be listed and served: 1 to 255 characters of
/// letters, digits and "._+~-", not beginning with a dot. Debian's package file names fit;
/// paths, "..", hidden files and anything that would need escaping in a link do not.
bool isPackageName(std::string_view name);

/// The packages offered for download: the regular files directly in one folder whose names
/// are package names. The folder is read at each request, so packages copied in appear at
/// once; a folder that does not exist offers nothing.
class Downloads {
public:
    /// At most this many packages are listed (the first by name).
    static constexpr std::size_t maxListed = 100;

    struct Package {
        std::string name;
        std::uint64_t bytes = 0;
    };

    /// An empty folder offers nothing.
    explicit Downloads(std::string folder)
        : folder(std::move(folder)) {}

    /// Sorted by name.
    std::vector<Package> list() const;

    /// The package `name` (as it stands in the request's path) opened for reading: 200 with the
    /// file, its Content-Type (application/vnd.debian.binary-package for ".deb",
    /// application/octet-stream otherwise) and Content-Disposition: attachment.
    /// 400 for a name that is never served; 404 for one that is not a regular file in the
    /// folder, or a link that leads out of it; 503 when out of file descriptors.
    ApiResponse open(std::string_view name) const;

private:
    std::string folder;
};

} // namespace corlune::server
