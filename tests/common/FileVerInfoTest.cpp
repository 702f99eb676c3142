#include "common/AppInfo.h"
#include "common/FileVerInfo.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"
#include <QDir>

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

// The running executable reports the build's version however it is named;
// any other file, or none, reports nothing, and nothing of an earlier read
// lingers.
TEST(FileVerInfo, OnlyTheExecutableReportsTheBuildVersion)
{
    FileVerInfo running;
    EXPECT_TRUE(running.GetExecutableInfo());
    ExpectBuildVersion(running);
    ExpectNoVersion(FileVerInfo(), "never read");

    const QFileInfo self(QCoreApplication::applicationFilePath());
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("quarlo-link"));
    ASSERT_TRUE(QFile::link(self.absoluteFilePath(), link));
    const QString other = dir.filePath(QStringLiteral("other.exe"));
    spit(other, "MZ not a program of ours");
    const std::pair<QString, bool> cases[] = {
        {self.absoluteFilePath(), true},
        {link, true},
        {self.absolutePath() + "/./../" + self.dir().dirName() + '/' + self.fileName(), true},
        {other, false},
        {dir.filePath(QStringLiteral("missing.exe")), false},
        {dir.path(), false},
        {self.absolutePath(), false},
        {self.absoluteFilePath() + QStringLiteral(".missing"), false},
        {QString(), false},
    };
    for (const auto& [path, ours] : cases) {
        SCOPED_TRACE(path.toStdString());
        FileVerInfo info;
        ASSERT_TRUE(info.GetExecutableInfo());
        EXPECT_EQ(info.GetInfo(path), ours);
        if (ours) {
            ExpectBuildVersion(info);
        } else {
            ExpectNoVersion(info, path);
        }
    }
}
