#include "Impressions.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace corlune::server;
using nlohmann::json;

namespace {

TEST(Impressions, FollowTheFileAndKeepTheLastGoodCopy) {
    TempDir dir;
    const std::string path = dir.file("impressions.json");
    int version = 0;
    // Each version is written aside and moved in, as editors save, so its inode tells it apart.
    const auto save = [&](const std::string& text) {
        const std::string next = dir.file("next" + std::to_string(++version));
        std::ofstream(next) << text;
        std::filesystem::rename(next, path);
    };
    auto impressions = Impressions::fromFile(path);
    EXPECT_EQ(impressions->current(), std::nullopt);
    save(R"({"a":1})");
    EXPECT_EQ(impressions->current(), json({{"a", 1}}));
    save(R"({"a":2})");
    EXPECT_EQ(impressions->current(), json({{"a", 2}}));
    save("{\"a\":");
    EXPECT_EQ(impressions->current(), json({{"a", 2}}));
    save(R"({"a":3})" + std::string(Impressions::maxFileBytes, ' '));
    EXPECT_EQ(impressions->current(), json({{"a", 2}}));
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    EXPECT_EQ(impressions->current(), json({{"a", 2}})); // and does not wait for a writer
}

} // namespace
