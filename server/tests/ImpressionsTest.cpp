#include "Impressions.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace corlune::server;
using nlohmann::json;

namespace {

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::trunc) << text;
    // Make every write visible as a change even within one timestamp tick.
    static int tick = 0;
    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() +
                                               std::chrono::seconds(++tick));
}

TEST(Impressions, ReadsTheFileAndRereadsItWhenItChanges) {
    test::TempDir dir;
    const std::string path = dir.file("impressions.json");
    writeFile(path, R"({"instagram":{"totalImpressions":1}})");
    auto impressions = Impressions::fromFile(path);
    EXPECT_EQ(impressions->current(), json::parse(R"({"instagram":{"totalImpressions":1}})"));
    writeFile(path, R"({"tiktok":{"totalImpressions":"2k"}})");
    EXPECT_EQ(impressions->current(), json::parse(R"({"tiktok":{"totalImpressions":"2k"}})"));
}

TEST(Impressions, KeepsTheLastGoodCopy) {
    test::TempDir dir;
    const std::string path = dir.file("impressions.json");
    auto impressions = Impressions::fromFile(path);
    EXPECT_FALSE(impressions->current().has_value());
    writeFile(path, "{\"instagram\":");
    EXPECT_FALSE(impressions->current().has_value());
    writeFile(path, R"({"a":1})");
    EXPECT_EQ(impressions->current(), json({{"a", 1}}));
    writeFile(path, "[1,2]");
    EXPECT_EQ(impressions->current(), json({{"a", 1}}));
    std::filesystem::remove(path);
    EXPECT_EQ(impressions->current(), json({{"a", 1}}));
}

TEST(Impressions, DemoFiguresHaveWhatThePanelReads) {
    const json demo = Impressions::demoFigures();
    for (const char* network : {"instagram", "tiktok"}) {
        EXPECT_TRUE(demo[network]["totalImpressions"].is_number());
        EXPECT_TRUE(demo[network]["latest"]["impressions"].is_number());
    }
    EXPECT_TRUE(demo["instagram"]["latest"]["timestamp"].is_string());
    EXPECT_EQ(Impressions::fixed(demo)->current(), demo);
}

} // namespace
