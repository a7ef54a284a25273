#include "LogoLoader.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A square PNG of one colour, so each source can be told apart by what it yields.
void writePng(const QString& path, int size, const QColor& colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QColor centre(const QImage& image) {
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

// A private icon theme that has "logo2", made current for the lifetime of the object.
class LogoTheme {
public:
    LogoTheme() {
        previousPaths = QIcon::themeSearchPaths();
        previousName = QIcon::themeName();
        const QString theme = dir.filePath("corlune-test");
        writePng(theme + "/64x64/apps/logo2.png", 64, Qt::green);
        writeFile(theme + "/index.theme", "[Icon Theme]\nName=Corlune test\nDirectories=64x64/apps\n\n"
                                          "[64x64/apps]\nSize=64\nType=Fixed\n");
        QIcon::setThemeSearchPaths({dir.path()});
        QIcon::setThemeName("corlune-test");
    }
    ~LogoTheme() {
        QIcon::setThemeSearchPaths(previousPaths);
        QIcon::setThemeName(previousName);
    }
    LogoTheme(const LogoTheme&) = delete;
    LogoTheme& operator=(const LogoTheme&) = delete;

private:
    QTemporaryDir dir;
    QStringList previousPaths;
    QString previousName;
};

class LogoLoaderTest : public ::testing::Test {
protected:
    LogoLoaderTest() {
        sources.workingDirectory = workingDir.path();
        sources.themeIconName = "corlune-no-such-icon";
    }

    QTemporaryDir workingDir;
    LogoLoader::Sources sources;
};

TEST_F(LogoLoaderTest, CompiledInLogoIsTheAccentMark) {
    const QImage logo = LogoLoader::load();
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(256, 256));
    EXPECT_TRUE(logo.hasAlphaChannel());
    // Drawn in the accent colour on a transparent square: a corner is clear, the hub is purple.
    EXPECT_EQ(logo.pixelColor(0, 0).alpha(), 0);
    const QColor hub = centre(logo);
    EXPECT_EQ(hub.alpha(), 255);
    EXPECT_GT(hub.blue(), hub.green());
    EXPECT_GT(hub.red(), hub.green());
}

TEST_F(LogoLoaderTest, CompiledInLogoWinsOverTheWorkingDirectory) {
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    sources.resourceFile = LogoLoader::Sources{}.resourceFile;
    EXPECT_EQ(LogoLoader::load(sources).size(), QSize(256, 256));
}

TEST_F(LogoLoaderTest, ThemeIconComesSecond) {
    LogoTheme theme;
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    sources.resourceFile = workingDir.filePath("missing.png");
    sources.themeIconName = "logo2";
    const QImage logo = LogoLoader::load(sources);
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(centre(logo), QColor(Qt::green));
}

TEST_F(LogoLoaderTest, WorkingDirectoryFileComesLast) {
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    const struct {
        const char* name;
        QByteArray resourceBytes; // empty: no such resource
    } cases[] = {
        {"no resource", {}},
        {"a resource that is not an image", "not a png"},
    };
    for (const auto& c : cases) {
        sources.resourceFile = workingDir.filePath("resource.png");
        QFile::remove(sources.resourceFile);
        if (!c.resourceBytes.isEmpty())
            writeFile(sources.resourceFile, c.resourceBytes);
        const QImage logo = LogoLoader::load(sources);
        ASSERT_FALSE(logo.isNull()) << c.name;
        EXPECT_EQ(centre(logo), QColor(Qt::red)) << c.name;
    }
}

TEST_F(LogoLoaderTest, NothingFoundGivesNoImage) {
    sources.resourceFile = workingDir.filePath("missing.png");
    EXPECT_TRUE(LogoLoader::load(sources).isNull());
    writeFile(workingDir.filePath("logo2.png"), "\x89PNG broken");
    EXPECT_TRUE(LogoLoader::load(sources).isNull());
}

} // namespace
