#include "ui/ButtonIcons.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// Pixels that are not (nearly) transparent: a blank pixmap has none.
int paintedPixels(const QPixmap& pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 32) ++count;
    return count;
}

// Every icon the main window's toolbars and big buttons and the add-addresses
// dialog's toolbar use (each command's icon is Named() of its name).
const char* const kToolbarIcons[] = {
    "document-new",       "list-add",      "media-playback-start", "media-playback-stop",
    "document-open",      "document-save", "document-print",       "document-print-preview",
    "edit-cut",           "edit-copy",     "edit-paste",           "edit-delete",
    "preferences-system", "help-about",
};

// Points the icon loader at a folder of our own, so neither the machine's
// themes nor the desktop's choice can leak into the result.
class ButtonIconsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedTheme_ = QIcon::themeName();
        savedPaths_ = QIcon::themeSearchPaths();
        savedFallback_ = QIcon::fallbackThemeName();
        QIcon::setThemeSearchPaths({themes_.path()});
        QIcon::setFallbackThemeName(QStringLiteral("quarlo-no-such-fallback"));
        QIcon::setThemeName(QStringLiteral("quarlo-no-such-theme"));
    }
    void TearDown() override
    {
        QIcon::setThemeSearchPaths(savedPaths_);
        QIcon::setFallbackThemeName(savedFallback_);
        QIcon::setThemeName(savedTheme_);
    }

    // A theme with one 16-pixel icon, a solid square of the given colour.
    void installTheme(const QString& name, const QString& icon, QColor colour)
    {
        QDir root(themes_.path());
        ASSERT_TRUE(root.mkpath(name + "/16x16/actions"));
        spit(root.filePath(name + "/index.theme"),
             "[Icon Theme]\nName=Test\nDirectories=16x16/actions\n\n"
             "[16x16/actions]\nSize=16\nType=Fixed\n");
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(colour);
        ASSERT_TRUE(image.save(root.filePath(name + "/16x16/actions/" + icon + ".png")));
        QIcon::setThemeName(name);
    }

    QTemporaryDir themes_;
    QString savedTheme_;
    QStringList savedPaths_;
    QString savedFallback_;
};

} // namespace

// At a screen's scale (QT_SCALE_FACTOR=2, 3) a drawn icon is drawn at the
// pixel size asked for, never a smaller picture blown up: the same picture
// as one drawn at that size directly.
TEST_F(ButtonIconsTest, WithoutAThemeEveryToolbarIconIsDrawnAtToolbarSizesAndScalesEachItsOwn)
{
    const QImage program = ProgramIcon().pixmap(24, 24).toImage();
    QList<QImage> seen;
    for (const char* name : kToolbarIcons) {
        SCOPED_TRACE(name);
        const QIcon icon = ButtonIcons::Named(name);
        ASSERT_FALSE(icon.isNull());
        for (const int size : {16, 24}) {
            const QPixmap pixmap = icon.pixmap(size, size);
            ASSERT_EQ(pixmap.size(), QSize(size, size));
            // A real picture covers a fair share of its square, not a dot.
            EXPECT_GT(paintedPixels(pixmap), size * size / 6) << size;
        }
        // No two commands, nor the program's own mark, look the same.
        const QImage image = icon.pixmap(24, 24).toImage();
        EXPECT_FALSE(seen.contains(image));
        EXPECT_NE(image, program);
        seen.append(image);

        const QIcon drawn = ButtonIcons::Drawn(name);
        for (const qreal scale : {2.0, 3.0}) {
            const QPixmap scaled = drawn.pixmap(QSize(24, 24), scale);
            EXPECT_EQ(scaled.devicePixelRatio(), scale);
            const int pixels = int(24 * scale);
            ASSERT_EQ(scaled.size(), QSize(pixels, pixels));
            QImage image = scaled.toImage().convertToFormat(QImage::Format_ARGB32);
            image.setDevicePixelRatio(1);
            EXPECT_EQ(image, drawn.pixmap(pixels, pixels).toImage().convertToFormat(QImage::Format_ARGB32)) << scale;
        }
        // Disabled, it still shows, greyed.
        EXPECT_GT(paintedPixels(drawn.pixmap(QSize(24, 24), QIcon::Disabled)), 24 * 24 / 6);
    }
    // Unknown names are null, not a crash.
    EXPECT_TRUE(ButtonIcons::Drawn("no-such-icon").isNull());
    EXPECT_TRUE(ButtonIcons::Named("no-such-icon").isNull());
}

TEST_F(ButtonIconsTest, TheDesktopThemeWinsWhereItHasTheIcon)
{
    installTheme("quarlo-test-theme", "document-print", Qt::red);

    const QImage print = ButtonIcons::Print().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(print.pixel(8, 8), QColor(Qt::red).rgba());
    // Icons the theme lacks still come drawn, not blank.
    EXPECT_EQ(ButtonIcons::Save().pixmap(16, 16).toImage(),
              ButtonIcons::Drawn("document-save").pixmap(16, 16).toImage());
}
