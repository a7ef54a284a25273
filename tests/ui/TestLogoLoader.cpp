#include "LogoLoader.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>

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
        sources.compiledIn = {};
        sources.workingDirectory = workingDir.path();
        sources.themeIconName = "corlune-no-such-icon";
    }

    QTemporaryDir workingDir;
    LogoLoader::Sources sources;
};

TEST_F(LogoLoaderTest, CompiledInLogoIsTheAccentMarkAtTheAskedSize) {
    const struct { int pixels, size; } cases[] = {{64, 128}, {128, 128}, {129, 256}, {256, 256}, {512, 256}};
    for (const auto& c : cases) {
        const QImage logo = LogoLoader::load({}, c.pixels);
        ASSERT_EQ(logo.size(), QSize(c.size, c.size)) << c.pixels;
        // Drawn in the accent colour on a transparent square: a corner is clear, the hub is purple.
        EXPECT_EQ(logo.pixelColor(0, 0).alpha(), 0) << c.pixels;
        const QColor hub = centre(logo);
        EXPECT_EQ(hub.alpha(), 255) << c.pixels;
        EXPECT_GT(hub.blue(), hub.green()) << c.pixels;
        EXPECT_GT(hub.red(), hub.green()) << c.pixels;
    }
}

TEST_F(LogoLoaderTest, CompiledInLogoWinsOverTheThemeAndTheWorkingDirectory) {
    LogoTheme theme;
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    const std::uint32_t blue[4] = {0xff0000ff, 0xff0000ff, 0xff0000ff, 0xff0000ff};
    const LogoLoader::Bitmap compiledIn[] = {{2, blue}};
    sources.compiledIn = compiledIn;
    sources.themeIconName = "logo2";
    const QImage logo = LogoLoader::load(sources, 128);
    EXPECT_EQ(centre(logo), QColor(Qt::blue));
    EXPECT_EQ(logo.constBits(), reinterpret_cast<const uchar*>(blue)) << "shown where it lies, not copied";
}

TEST_F(LogoLoaderTest, ThemeIconComesSecond) {
    LogoTheme theme;
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    sources.themeIconName = "logo2";
    const QImage logo = LogoLoader::load(sources, 64);
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(centre(logo), QColor(Qt::green));
}

TEST_F(LogoLoaderTest, WorkingDirectoryFileComesLast) {
    writePng(workingDir.filePath("logo2.png"), 10, Qt::red);
    const QImage logo = LogoLoader::load(sources, 128);
    EXPECT_EQ(logo.size(), QSize(10, 10));
    EXPECT_EQ(centre(logo), QColor(Qt::red));
}

TEST_F(LogoLoaderTest, NothingFoundGivesNoImage) {
    EXPECT_TRUE(LogoLoader::load(sources, 128).isNull());
    writeFile(workingDir.filePath("logo2.png"), "\x89PNG broken");
    EXPECT_TRUE(LogoLoader::load(sources, 128).isNull());
}

} // namespace
