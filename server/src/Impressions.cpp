#include "Impressions.h"

#include "WireFormat.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/stat.h>

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
    const std::lock_guard lock(mutex_);
    if (path_.empty()) {
        return object_;
    }
    struct stat info {};
    if (::stat(path_.c_str(), &info) != 0) {
        return object_;
    }
    const FileStamp stamp{info.st_ino, info.st_size, info.st_mtim};
    if (seen_ && *seen_ == stamp) {
        return object_;
    }
    seen_ = stamp;
    std::ifstream file(path_, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    auto parsed = parseJsonObject(text.str());
    if (file.bad() || !parsed.value) {
        std::cerr << "corlune-track-server: " << path_ << ": " << (parsed.value ? "unreadable" : parsed.error)
                  << "; the analytics keep their last good copy\n";
        return object_;
    }
    object_ = std::move(parsed.value);
    return object_;
}

} // namespace corlune::server
