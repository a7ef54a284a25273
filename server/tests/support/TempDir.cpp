#include "TempDir.h"

#include <stdexcept>
#include <stdlib.h>

namespace corlune::server::test {

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corlune-server-test.XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace corlune::server::test
