#include "common/AppInfo.h"
#include "common/FileVerInfo.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// The build's version as Major, Minor, Private, Build; parts it leaves out are 0.
std::array<int, 4> BuildVersion()
{
    std::array<int, 4> version{0, 0, 0, 0};
    const QStringList parts = ProgramVersion().split(QLatin1Char('.'));
    for (qsizetype i = 0; i < parts.size() && i < 4; ++i) version[static_cast<size_t>(i)] = parts[i].toInt();
    return version;
}

void ExpectBuildVersion(const FileVerInfo& info)
{
    const std::array<int, 4> v = BuildVersion();
    EXPECT_EQ(info.FileVersionMajor(), v[0]);
    EXPECT_EQ(info.FileVersionMinor(), v[1]);
    EXPECT_EQ(info.FileVersionPrivate(), v[2]);
    EXPECT_EQ(info.FileVersionBuild().toInt(), v[3]);
    EXPECT_EQ(info.ProductVersionMajor(), v[0]);
    EXPECT_EQ(info.ProductVersionMinor(), v[1]);
    EXPECT_EQ(info.ProductVersionPrivate(), v[2]);
    EXPECT_EQ(info.ProductVersionBuild(), v[3]);
    EXPECT_EQ(info.FileDescription(), DisplayTitle());
    EXPECT_FALSE(info.LegalCopyright().isEmpty());
}

void ExpectNoVersion(const FileVerInfo& info, const QString& what)
{
    SCOPED_TRACE(what.toStdString());
    for (int n : {int(info.FileVersionMajor()), int(info.FileVersionMinor()), int(info.FileVersionPrivate()),
                  info.FileVersionBuild().toInt(), int(info.ProductVersionMajor()), int(info.ProductVersionMinor()),
                  int(info.ProductVersionPrivate()), int(info.ProductVersionBuild())})
        EXPECT_EQ(n, -1);
    EXPECT_TRUE(info.FileDescription().isEmpty());
    EXPECT_TRUE(info.ProductName().isEmpty());
    EXPECT_TRUE(info.LegalCopyright().isEmpty());
}

} // namespace

// ---- the running executable ---------------------------------------------------

TEST(FileVerInfo, TheRunningExecutableReportsTheBuildVersion)
{
    FileVerInfo info;
    EXPECT_TRUE(info.GetExecutableInfo());
    ExpectBuildVersion(info);
    // The build-number member hands its number out as a general value.
    EXPECT_EQ(info.FileVersionBuild().typeId(), QMetaType::Short);

    FileVerInfo byPath;
    EXPECT_TRUE(byPath.GetInfo(QCoreApplication::applicationFilePath()));
    ExpectBuildVersion(byPath);
}

TEST(FileVerInfo, TheExecutableIsRecognisedThroughLinksAndDetours)
{
    const QFileInfo self(QCoreApplication::applicationFilePath());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("quarlo-link"));
    ASSERT_TRUE(QFile::link(self.absoluteFilePath(), link));

    FileVerInfo throughLink;
    EXPECT_TRUE(throughLink.GetInfo(link));
    ExpectBuildVersion(throughLink);

    FileVerInfo throughDetour;
    EXPECT_TRUE(throughDetour.GetInfo(self.absolutePath() + QStringLiteral("/./../") + self.dir().dirName() +
                                      QLatin1Char('/') + self.fileName()));
    ExpectBuildVersion(throughDetour);
}

// ---- files without version information ----------------------------------------

TEST(FileVerInfo, OtherFilesMissingFilesAndDirectoriesHaveNone)
{
    FileVerInfo fresh;
    ExpectNoVersion(fresh, "never read");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString other = dir.filePath(QStringLiteral("other.exe"));
    QFile file(other);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("MZ not a program of ours");
    file.close();

    const QString self = QCoreApplication::applicationFilePath();
    const std::pair<QString, QString> cases[] = {
        {other, "another file"},
        {dir.filePath(QStringLiteral("missing.exe")), "a missing file"},
        {dir.path(), "a directory"},
        {QFileInfo(self).absolutePath(), "the executable's own directory"},
        {self + QStringLiteral(".missing"), "a name beside the executable"},
        {QString(), "an empty path"},
    };
    for (const auto& [path, what] : cases) {
        // Read the executable first: nothing of it may linger.
        FileVerInfo info;
        ASSERT_TRUE(info.GetExecutableInfo());
        EXPECT_FALSE(info.GetInfo(path)) << what.toStdString();
        ExpectNoVersion(info, what);
    }
}
