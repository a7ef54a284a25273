#pragma once

#include <filesystem>
#include <string>

/// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    /// Throws std::runtime_error when the folder cannot be made.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

private:
    std::filesystem::path root;
};
