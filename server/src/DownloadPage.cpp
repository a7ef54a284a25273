#include "DownloadPage.h"

#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace corlune::server {

namespace {

// Fluid to the width of a phone; the system's own font; nothing fetched from elsewhere.
constexpr std::string_view style =
    "body{margin:0;font:16px/1.5 system-ui,sans-serif;color:#1d2430;background:#f4f5f7}"
    "main{max-width:40rem;margin:0 auto;padding:1.5rem 1rem}"
    "h1{font-size:1.8rem;margin:0}h2{font-size:1.15rem;margin:1.75rem 0 .5rem}"
    ".notes,li{background:#fff;border-radius:.5rem;padding:.75rem 1rem;box-shadow:0 1px 2px #0002}"
    ".notes{white-space:pre-wrap;overflow-wrap:anywhere;margin:0}"
    "ul{list-style:none;padding:0;margin:0}li{margin:.6rem 0}"
    "a{color:#0b57d0;font-weight:600;overflow-wrap:anywhere}"
    ".about{display:block;color:#5a6472;font-size:.9rem}"
    "code{overflow-wrap:anywhere;background:#e6e8ec;padding:.1rem .3rem;border-radius:.25rem}";

std::string sizeText(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024) {
        std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    } else if (bytes < 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.0f KiB", static_cast<double>(bytes) / 1024);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024 * 1024));
    }
    return text;
}

std::string_view packageRole(std::string_view name) {
    if (name.rfind("corlune-track-server_", 0) == 0) {
        return "The time-tracking service, for the company's server. ";
    }
    if (name.rfind("corlune-track_", 0) == 0) {
        return "The time clock, for your desktop. ";
    }
    return "";
}

std::string readNotes(const std::string& path) {
    if (path.empty()) {
        return {};
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const OpenFile owner(fd);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        throw std::runtime_error(path + ": cannot read the release notes (not a readable regular file)");
    }
    std::string text(DownloadPage::maxReleaseNotesBytes + 1, '\0');
    std::size_t length = 0;
    ssize_t n = 0;
    while (length < text.size() && (n = ::read(fd, text.data() + length, text.size() - length)) > 0) {
        length += static_cast<std::size_t>(n);
    }
    if (n < 0 || length > DownloadPage::maxReleaseNotesBytes) {
        throw std::runtime_error(path + ": the release notes are unreadable or longer than " +
                                 std::to_string(DownloadPage::maxReleaseNotesBytes) + " bytes");
    }
    text.resize(length);
    return text;
}

} // namespace

std::string htmlEscaped(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        case '\'':
            escaped += "&#39;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

const std::string& downloadPageStyleHash() {
    static const std::string hash = [] {
        unsigned char digest[crypto_hash_sha256_BYTES];
        crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(style.data()), style.size());
        char text[sodium_base64_ENCODED_LEN(sizeof digest, sodium_base64_VARIANT_ORIGINAL)];
        sodium_bin2base64(text, sizeof text, digest, sizeof digest, sodium_base64_VARIANT_ORIGINAL);
        return "sha256-" + std::string(text);
    }();
    return hash;
}

std::string downloadPageHtml(std::string_view latestVersion, std::string_view releaseNotes,
                             const std::vector<Downloads::Package>& packages) {
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                       "<title>Corlune Track</title>\n<style>";
    html += style;
    html += "</style>\n</head>\n<body>\n<main>\n<h1>Corlune Track</h1>\n<p>Latest version: <strong>";
    html += htmlEscaped(latestVersion);
    html += "</strong></p>\n";
    if (!releaseNotes.empty()) {
        html += "<h2>What is new</h2>\n<div class=\"notes\">" + htmlEscaped(releaseNotes) + "</div>\n";
    }
    html += "<h2>Downloads</h2>\n";
    if (packages.empty()) {
        html += "<p>No packages are offered here yet. Ask your administrator.</p>\n";
    } else {
        // The time clock first: employees are the page's readers.
        std::vector<Downloads::Package> ordered = packages;
        std::stable_partition(ordered.begin(), ordered.end(),
                              [](const auto& p) { return p.name.rfind("corlune-track_", 0) == 0; });
        html += "<ul>\n";
        for (const auto& package : ordered) {
            // Package names need no escaping (isPackageName), in a link or as text.
            html += "<li><a href=\"/downloads/" + package.name + "\">" + package.name +
                    "</a><span class=\"about\">";
            html += packageRole(package.name);
            html += sizeText(package.bytes) + "</span></li>\n";
        }
        html +=
            "</ul>\n<p>On Debian or Ubuntu, install a package you downloaded with "
            "<code>sudo apt install ./FILE</code> in the folder it was saved to, FILE being its name.</p>\n";
    }
    html += "</main>\n</body>\n</html>\n";
    return html;
}

DownloadPage::DownloadPage(std::string latestVersion, const std::string& releaseNotesFile,
                           std::string downloadsFolder)
    : latestVersion(std::move(latestVersion))
    , releaseNotes(readNotes(releaseNotesFile))
    , downloads(std::move(downloadsFolder)) {}

ApiResponse DownloadPage::page() const {
    ApiResponse answer;
    answer.headers = {
        {"Content-Type", "text/html; charset=utf-8"},
        {"Content-Security-Policy", "default-src 'none'; style-src '" + downloadPageStyleHash() +
                                        "'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
        {"Referrer-Policy", "no-referrer"},
        {"Cache-Control", "no-cache"},
    };
    answer.page = downloadPageHtml(latestVersion, releaseNotes, downloads.list());
    return answer;
}

} // namespace corlune::server
