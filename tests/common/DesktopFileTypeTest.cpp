#include "common/DesktopFileType.h"
#include "common/FileTypeRegistration.h"
#include "common/Registry.h"
#include "common/VolatileRegistryBackend.h"
#include "support/MemoryRegistryBackend.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

const QString kDescription = "Automated SPAM Whitelist / Blacklist verification";

// The value of key in a desktop entry's main group, as the entry's reader
// sees it after its string escapes.
QString entryValue(const QByteArray& entry, const QString& key)
{
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith(key.toUtf8() + '=')) return QString::fromUtf8(line.mid(key.size() + 1));
    return QStringLiteral("<none>");
}

class DesktopFileTypeTest : public ::testing::Test {
protected:
    QString mimeFile() const { return home.filePath("mime/packages/com.vantorel.Quarlo.xml"); }
    QString desktopFile() const { return home.filePath("applications/com.vantorel.Quarlo.desktop"); }

    QTemporaryDir home;
};

} // namespace

TEST_F(DesktopFileTypeTest, WritesMissingFilesThenNothingWhileTheyMatch)
{
    QStringList errors;
    const QStringList first =
        DesktopFileType::WriteUserFiles(home.path(), "/opt/q/bin/quarlo", ".BlackList", kDescription, &errors);
    EXPECT_EQ(first, (QStringList{mimeFile(), desktopFile()}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(slurp(mimeFile()), DesktopFileType::MimePackage(".BlackList", kDescription));
    EXPECT_EQ(slurp(desktopFile()), DesktopFileType::DesktopEntry("/opt/q/bin/quarlo"));
    const QDateTime written = QFileInfo(desktopFile()).lastModified();

    EXPECT_TRUE(
        DesktopFileType::WriteUserFiles(home.path(), "/opt/q/bin/quarlo", ".BlackList", kDescription).isEmpty());
    EXPECT_EQ(QFileInfo(desktopFile()).lastModified(), written);

    // A program moved elsewhere changes only the entry; a hand-edited
    // package is put back.
    EXPECT_EQ(DesktopFileType::WriteUserFiles(home.path(), "/elsewhere/quarlo", ".BlackList", kDescription),
              QStringList{desktopFile()});
    spit(mimeFile(), DesktopFileType::MimePackage(".BlackList", kDescription) + "<!-- edited -->");
    EXPECT_EQ(DesktopFileType::WriteUserFiles(home.path(), "/elsewhere/quarlo", ".BlackList", kDescription),
              QStringList{mimeFile()});
    EXPECT_EQ(slurp(mimeFile()), DesktopFileType::MimePackage(".BlackList", kDescription));
}

TEST_F(DesktopFileTypeTest, AnUnwritablePlaceIsReportedAndTheOtherFileStillWritten)
{
    // A file where the applications folder should be.
    spit(home.filePath("applications"), "in the way");
    QStringList errors;
    const QStringList written =
        DesktopFileType::WriteUserFiles(home.path(), "/opt/q/bin/quarlo", ".BlackList", kDescription, &errors);
    EXPECT_EQ(written, QStringList{mimeFile()});
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains("com.vantorel.Quarlo.desktop")) << errors.first().toStdString();
}

// The entry starts the executable whatever its path; the package's texts
// stay texts.
TEST(DesktopFileType, EntryAndPackageEscapeTheirTexts)
{
    const struct {
        const char* executable;
        const char* exec; // the Exec value as written in the file
    } cases[] = {
        {"/opt/q/bin/quarlo", R"("/opt/q/bin/quarlo" %f)"},
        {"/home/a b/build/quarlo", R"("/home/a b/build/quarlo" %f)"},
        {"/tmp/100%/quarlo", R"("/tmp/100%%/quarlo" %f)"},
        {"/tmp/$HOME`x`/quarlo", R"("/tmp/\\$HOME\\`x\\`/quarlo" %f)"},
        {"/tmp/back\\slash/quarlo", R"("/tmp/back\\\\slash/quarlo" %f)"},
        {"/tmp/q\"uote/quarlo", R"("/tmp/q\\"uote/quarlo" %f)"},
        {"/opt/q/bin/../bin/quarlo", R"("/opt/q/bin/quarlo" %f)"},
    };
    for (const auto& c : cases) {
        const QByteArray entry = DesktopFileType::DesktopEntry(QString::fromUtf8(c.executable));
        EXPECT_EQ(entryValue(entry, "Exec"), QString::fromUtf8(c.exec)) << c.executable;
        EXPECT_EQ(entryValue(entry, "MimeType"), "application/x-quarlo-blacklist;");
    }
    // A line break in the path cannot start a new key.
    const QByteArray broken = DesktopFileType::DesktopEntry("/tmp/a\nMimeType=text/plain;/quarlo");
    int mimeLines = 0;
    for (const QByteArray& line : broken.split('\n')) mimeLines += line.startsWith("MimeType=") ? 1 : 0;
    EXPECT_EQ(mimeLines, 1);
    EXPECT_EQ(entryValue(broken, "MimeType"), "application/x-quarlo-blacklist;");

    const QString package = QString::fromUtf8(DesktopFileType::MimePackage(".BlackList", "Lists <&> more"));
    EXPECT_TRUE(package.contains("<comment>Lists &lt;&amp;&gt; more</comment>")) << package.toStdString();
    EXPECT_TRUE(package.contains("<glob pattern=\"*.BlackList\"/>"));
    EXPECT_TRUE(package.contains("type=\"application/x-quarlo-blacklist\""));
}

TEST_F(DesktopFileTypeTest, RegisterFileTypeReturnsAtOnceAndWritesInTheBackground)
{
    VolatileRegistryBackend backend;
    Registry registry(backend);
    RegisterFileType(registry, "/opt/q/bin/quarlo", ".BlackList", kDescription, home.path());
    // The registry part is done before it returns.
    EXPECT_EQ(registry.GetValue(RegistryRoot::ClassesRoot, ".BlackList", QString(), QString()), "quarlo");

    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return slurp(desktopFile()) == DesktopFileType::DesktopEntry("/opt/q/bin/quarlo"); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return slurp(mimeFile()) == DesktopFileType::MimePackage(".BlackList", kDescription); }, 20000));
}

namespace {

constexpr auto HKCR = RegistryRoot::ClassesRoot;

QString DefaultValue(RegistryBackend& backend, const QString& keyPath)
{
    const auto value = backend.read(HKCR, keyPath, QString());
    if (!value) return QStringLiteral("<none>");
    return value->type == RegistryValue::Type::String ? value->text : QStringLiteral("<not text>");
}

} // namespace

// The file type is the executable's file name as it is; commands name the
// executable by its full clean path.
TEST(RegisterFileType, TypeCommandAndIconNameTheExecutable)
{
    const QString cleaned = QDir::cleanPath(QDir::current().absoluteFilePath("tools/quarlo"));
    const struct {
        QString executable, extension, type, path;
    } cases[] = {
        {"/opt/quarlo/bin/quarlo", ".BlackList", "quarlo", "/opt/quarlo/bin/quarlo"},
        {"/srv/apps/Quarlo.exe", ".BlackList", "Quarlo.exe", "/srv/apps/Quarlo.exe"},
        {"/srv/apps/quarlo-1.2", ".Other", "quarlo-1.2", "/srv/apps/quarlo-1.2"},
        {"bin/../tools/quarlo", ".BlackList", "quarlo", cleaned},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.executable.toStdString());
        VolatileRegistryBackend backend;
        Registry registry(backend);
        RegisterFileType(registry, c.executable, c.extension, kDescription);
        EXPECT_EQ(DefaultValue(backend, c.extension), c.type);
        EXPECT_EQ(DefaultValue(backend, c.type), kDescription);
        EXPECT_EQ(DefaultValue(backend, c.type + "\\shell\\open\\command"), c.path + " %1");
        EXPECT_EQ(DefaultValue(backend, c.type + "\\DefaultIcon"), c.path + ",0");
    }
}

TEST(RegisterFileType, RefusedWritesDoNotStopTheOthers)
{
    MemoryRegistryBackend backend;
    backend.failWrites = true;
    Registry registry(backend);
    RegisterFileType(registry, "/opt/quarlo/bin/quarlo", ".BlackList", kDescription);
    EXPECT_EQ(backend.writes, 4);
    EXPECT_EQ(DefaultValue(backend, ".BlackList"), "<none>");
}
