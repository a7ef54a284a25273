#pragma once

#include "Downloads.h"
#include "Handlers.h"

#include <string>
#include <string_view>
#include <vector>

namespace corlune::server {

/// The text with &, <, >, " and ' written as character references, for HTML text and
/// attribute values alike.
std::string htmlEscaped(std::string_view text);

/// The download page: the product, the latest version, the release notes (kept as their
/// lines stand) and a link to each package. Plain HTML without script; it needs only its
/// own style sheet, whose hash downloadPageStyleHash() gives.
std::string downloadPageHtml(std::string_view latestVersion, std::string_view releaseNotes,
                             const std::vector<Downloads::Package>& packages);

/// "sha256-…" of the page's style sheet, as a Content-Security-Policy source.
const std::string& downloadPageStyleHash();

/// The page the time clock's "Install" opens, at "/", and the packages it links to.
class DownloadPage {
public:
    /// Release notes longer than this are refused at start.
    static constexpr std::size_t maxReleaseNotesBytes = 64 * 1024;

    /// Reads the release notes file, if one is named. Throws std::runtime_error naming the file
    /// when it cannot be read, is not a regular file or is too long.
    DownloadPage(std::string latestVersion, const std::string& releaseNotesFile, std::string downloadsFolder);

    /// The page, sent with a Content-Security-Policy that allows nothing but its style.
    ApiResponse page() const;
    /// A package, as Downloads::open answers.
    ApiResponse download(std::string_view name) const { return downloads.open(name); }

private:
    std::string latestVersion;
    std::string releaseNotes;
    Downloads downloads;
};

} // namespace corlune::server
