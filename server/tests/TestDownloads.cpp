#include "DownloadPage.h"
#include "Service.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

using namespace corlune::server;
namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct Name {
    const char* scenario;
    std::string name;
    int status;
    const char* contentType = ""; ///< when served
    bool listed = false;
};

class PackageNames : public testing::TestWithParam<Name> {};

// Only regular files directly in the folder are served, through a link or not; the page
// lists exactly those.
TEST_P(PackageNames, AreServedOnlyFromTheFolder) {
    TempDir dir;
    const fs::path folder = dir.path() / "downloads";
    fs::create_directories(folder / "sub.deb");
    for (const char* name : {"corlune-track_1.0.0-1_amd64.deb", "notes.tar.gz", ".hidden.deb",
                             "sub.deb/inner.deb", "../outside.deb"}) {
        write(folder / name, name);
    }
    fs::create_symlink("corlune-track_1.0.0-1_amd64.deb", folder / "latest.deb");
    fs::create_symlink("../outside.deb", folder / "escape.deb");
    fs::create_symlink("sub.deb/inner.deb", folder / "deeper.deb");
    const Downloads downloads(folder.string());

    const ApiResponse answer = downloads.open(GetParam().name);
    EXPECT_EQ(answer.status, GetParam().status);
    EXPECT_EQ(answer.file != nullptr, GetParam().status == 200);
    if (answer.file) {
        EXPECT_EQ(answer.headers.at(0).second, GetParam().contentType);
    }
    const auto listed = downloads.list();
    EXPECT_EQ(
        std::any_of(listed.begin(), listed.end(), [](const auto& p) { return p.name == GetParam().name; }),
        GetParam().listed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PackageNames,
    testing::Values(Name{"Package", "corlune-track_1.0.0-1_amd64.deb", 200,
                         "application/vnd.debian.binary-package", true},
                    Name{"OtherFile", "notes.tar.gz", 200, "application/octet-stream", true},
                    Name{"LinkBeside", "latest.deb", 200, "application/vnd.debian.binary-package", true},
                    Name{"LinkOut", "escape.deb", 404}, Name{"LinkIntoSubfolder", "deeper.deb", 404},
                    Name{"Folder", "sub.deb", 404}, Name{"Missing", "gone.deb", 404},
                    Name{"Hidden", ".hidden.deb", 400}, Name{"Parent", "..", 400},
                    Name{"Separator", "sub.deb/inner.deb", 400},
                    Name{"EncodedParent", "..%2Foutside.deb", 400},
                    Name{"Backslash", "sub.deb\\inner.deb", 400}, Name{"Empty", "", 400},
                    Name{"TooLong", std::string(256, 'a'), 400}),
    [](const testing::TestParamInfo<Name>& row) { return std::string(row.param.scenario); });

TEST(DownloadPage, EscapesWhatItShows) {
    const std::string html = downloadPageHtml("2.0<script>", "a & b <i>\"q\"</i> 'x'", {});
    EXPECT_NE(html.find("2.0&lt;script&gt;"), std::string::npos);
    EXPECT_NE(html.find("a &amp; b &lt;i&gt;&quot;q&quot;&lt;/i&gt; &#39;x&#39;"), std::string::npos);
}

TEST(DownloadPage, RefusesReleaseNotesOverItsBound) {
    TempDir dir;
    write(dir.file("notes"), std::string(DownloadPage::maxReleaseNotesBytes, 'n'));
    EXPECT_NO_THROW(DownloadPage("1", dir.file("notes"), ""));
    write(dir.file("notes"), std::string(DownloadPage::maxReleaseNotesBytes + 1, 'n'));
    EXPECT_THROW(DownloadPage("1", dir.file("notes"), ""), std::runtime_error);
}

// A package larger than any buffer goes out whole, as an attachment, and the connection
// serves the next request after it.
TEST(Downloads, StreamPackagesWithTheirHeaders) {
    TempDir dir;
    const std::string bytes = std::string(3 << 20, 'x') + "and the end";
    fs::create_directory(dir.path() / "dl");
    write(dir.path() / "dl" / "corlune-track_2.0_amd64.deb", bytes);
    ServeOptions options;
    std::tie(options.db, options.port, options.downloadsDir) =
        std::tuple(dir.file("track.db"), 0, dir.file("dl"));
    Service service(options);
    httplib::Client client("127.0.0.1", service.port());

    const auto answer = client.Get("/downloads/corlune-track_2.0_amd64.deb");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->get_header_value("Content-Length"), std::to_string(bytes.size()));
    EXPECT_EQ(answer->get_header_value("Content-Disposition"),
              "attachment; filename=\"corlune-track_2.0_amd64.deb\"");
    EXPECT_EQ(answer->get_header_value("X-Content-Type-Options"), "nosniff");
    EXPECT_TRUE(answer->body == bytes);
    const auto next = client.Get("/api/version");
    EXPECT_TRUE(next && next->status == 200);
}

} // namespace
