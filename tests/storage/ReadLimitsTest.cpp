// What the list and configuration readers say about files they will not
// read: too large, not regular files, garbage; never the file's contents.

#include "model/Servers.h"
#include "storage/AddressListFile.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

using namespace quarlo;

namespace {

struct Reader {
    const char* kind;
    qint64 limit;
    const char* limitText;
    // Reads path and returns the message the user would see.
    std::function<QString(const QString&)> read;
};

const Reader kReaders[] = {
    {"address list", AddressListFile::kMaxFileBytes, "64 MiB",
     [](const QString& path) {
         QStringList targets;
         QString description;
         EXPECT_FALSE(AddressListFile::Read(path, targets, description));
         EXPECT_TRUE(targets.isEmpty());
         return description;
     }},
    {"configuration", ServerConfigFile::kMaxFileBytes, "16 MiB",
     [](const QString& path) {
         ServerConfigStore serversFile(path);
         Servers servers(&serversFile);
         servers.Refresh();
         EXPECT_EQ(servers.Count(), 0);
         return servers.LastError();
     }},
};

// A file of the given size that takes no room on the disk.
void makeSparse(const QString& path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_TRUE(f.write("<AddressList>") > 0);
    ASSERT_TRUE(f.resize(size));
}

} // namespace

TEST(ReadLimits, OversizedAndSpecialFilesGiveNamedReasons)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    const QString fifo = dir.filePath("fifo");
    const QString garbage = dir.filePath("garbage");
    spit(garbage, "<AddressList><Address Target=\"" + QByteArray(20000, 'Q')); // never closed
#if defined(Q_OS_UNIX)
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
#endif
    for (const Reader& reader : kReaders) {
        SCOPED_TRACE(reader.kind);
        const QString big = dir.filePath("big");
        makeSparse(big, reader.limit + 1);
        struct Case {
            QString path;
            QString expected;
        };
        const std::vector<Case> cases = {
            {big, QStringLiteral("larger than ") + reader.limitText},
            {dir.filePath("folder"), "is a directory"},
            {garbage, ""}, // malformed, whatever the reader says of it
#if defined(Q_OS_UNIX)
            {fifo, "not a regular file"},        // would block a plain read forever
            {"/dev/zero", "not a regular file"}, // would never end
#endif
        };
        for (const Case& c : cases) {
            SCOPED_TRACE(c.path.toStdString());
            const QString message = reader.read(c.path);
            EXPECT_TRUE(message.contains(c.expected)) << message.toStdString();
            EXPECT_FALSE(message.contains("Unknown error")) << message.toStdString();
            EXPECT_FALSE(message.isEmpty());
            EXPECT_FALSE(message.contains("QQQQ")) << "the file is not echoed";
            EXPECT_LT(message.size(), 200) << message.toStdString();
        }
        // Just under the limit is read (and found malformed: no closing tag).
        makeSparse(big, 1024 * 1024);
        EXPECT_FALSE(reader.read(big).contains("larger than"));
    }
}

TEST(ReadLimits, SavingOverAnOversizedConfigurationKeepsItAside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quarlo.cfg");
    makeSparse(path, ServerConfigFile::kMaxFileBytes + 1);
    ServerConfigStore serversFile(path);
    Servers servers(&serversFile);
    servers.Refresh();
    EXPECT_FALSE(servers.LastError().isEmpty());
    servers.Add(makeServer("new.example", true, {{"127.0.0.2", "r"}}));
    ASSERT_TRUE(servers.Sync()) << servers.LastError().toStdString();
    EXPECT_EQ(QFileInfo(path + ".bak").size(), ServerConfigFile::kMaxFileBytes + 1);
    EXPECT_TRUE(slurp(path).contains("<Server Server=\"new.example\""));

#if defined(Q_OS_UNIX)
    // What is not a file is neither kept aside nor replaced.
    const QString fifo = dir.filePath("fifo.cfg");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ServerConfigStore onFifoFile(fifo);
    Servers onFifo(&onFifoFile);
    onFifo.Add(makeServer("new.example", true, {{"127.0.0.2", "r"}}));
    EXPECT_FALSE(onFifo.Sync());
    EXPECT_TRUE(onFifo.LastError().contains("not a regular file")) << onFifo.LastError().toStdString();
    EXPECT_FALSE(QFileInfo(fifo).isFile());
    EXPECT_FALSE(QFileInfo::exists(fifo + ".bak"));
#endif
}
