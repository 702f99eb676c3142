#include "common/FileVerInfo.h"
#include "common/AppInfo.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"
#include <QDir>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// The eight version numbers, file then product, and the texts.
QStringList Fields(const FileVerInfo& info)
{
    QStringList fields;
    for (int n : {int(info.FileVersionMajor()), int(info.FileVersionMinor()), int(info.FileVersionPrivate()),
                  info.FileVersionBuild().toInt(), int(info.ProductVersionMajor()), int(info.ProductVersionMinor()),
                  int(info.ProductVersionPrivate()), int(info.ProductVersionBuild())})
        fields << QString::number(n);
    return fields << info.FileDescription() << info.ProductName() << QString::number(!info.LegalCopyright().isEmpty());
}

// The build's version as Major, Minor, Private, Build (parts it leaves out
// are 0), twice, with the program's texts.
QStringList BuildFields()
{
    QStringList version = ProgramVersion().split(QLatin1Char('.')).mid(0, 4);
    for (QString& part : version) part = QString::number(part.toInt());
    while (version.size() < 4) version << "0";
    return version + version + QStringList{DisplayTitle(), DisplayTitle(), "1"};
}

const QStringList kNoFields{"-1", "-1", "-1", "-1", "-1", "-1", "-1", "-1", "", "", "0"};

} // namespace

// The running executable reports the build's version however it is named;
// any other file, or none, reports nothing, and nothing of an earlier read
// lingers.
TEST(FileVerInfo, OnlyTheExecutableReportsTheBuildVersion)
{
    FileVerInfo running;
    EXPECT_TRUE(running.GetExecutableInfo());
    EXPECT_EQ(Fields(running), BuildFields());
    EXPECT_EQ(Fields(FileVerInfo()), kNoFields);

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
        EXPECT_EQ(Fields(info), ours ? BuildFields() : kNoFields);
    }
}
