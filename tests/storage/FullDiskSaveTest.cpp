// Saves on a disk that fills up: every save must fail, say why in the
// system's words, and leave the previous file byte for byte. (The server
// file is saved the way the address list is: XmlDocumentFile over
// AtomicFileWriter.)

#include "common/RegFileBackend.h"
#include "common/Registry.h"
#include "support/FakeScanWorld.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace quarlo;

namespace {

constexpr auto CU = RegistryRoot::CurrentUser;
const QString kNoSpace = QStringLiteral("No space left on device");

#if defined(Q_OS_LINUX)

// A 64 KiB tmpfs that exists for one test; only root may mount it.
class SmallDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "mounting a small tmpfs needs root";
        }
        ASSERT_TRUE(tmp_.isValid());
        mountPoint_ = tmp_.filePath("disk");
        ASSERT_TRUE(QDir().mkdir(mountPoint_));
        if (::mount("tmpfs", QFile::encodeName(mountPoint_).constData(), "tmpfs", 0, "size=64k") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override
    {
        if (mounted_) {
            EXPECT_EQ(::umount2(QFile::encodeName(mountPoint_).constData(), MNT_DETACH), 0) << std::strerror(errno);
        }
    }

    QString path(const QString& name) const { return mountPoint_ + QLatin1Char('/') + name; }

    // Writes page-sized blocks until the disk refuses, then gives back
    // freePages of them.
    void fill(int freePages)
    {
        const int fd = ::open(QFile::encodeName(path("filler")).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        const QByteArray block(4096, 'f');
        off_t size = 0;
        ssize_t n;
        while ((n = ::write(fd, block.constData(), size_t(block.size()))) > 0) size += n;
        const int writeError = errno;
        EXPECT_EQ(writeError, ENOSPC);
        ASSERT_EQ(::ftruncate(fd, std::max<off_t>(0, size - off_t(freePages) * 4096)), 0);
        ::close(fd);
    }

    void unfill() { ASSERT_TRUE(QFile::remove(path("filler"))); }

    QStringList entries() const
    {
        return QDir(mountPoint_).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name | QDir::IgnoreCase);
    }

    QTemporaryDir tmp_;
    QString mountPoint_;
    bool mounted_ = false;
};

TEST_F(SmallDisk, FailedSavesKeepEveryFileAndSayTheDiskIsFull)
{
    // No room at all; room for a lock file but not for the new copies.
    for (const int freePages : {0, 1}) {
        SCOPED_TRACE(freePages);
        const QString listPath = path("list.BlackList");
        for (const QString& name : entries()) ASSERT_TRUE(QFile::remove(path(name)));

        // What the user has before the disk fills.
        FakeScanWorld world;
        for (int i = 0; i < 300; ++i) world.list.AddTarget(QStringLiteral("old-%1.example.test").arg(i));
        ASSERT_TRUE(world.list.Save(listPath)) << world.list.LastError().toStdString();
        RegFileBackend backend(mountPoint_);
        Registry registry(backend);
        registry.SaveSetting("Quarlo", "Settings", "Big", QString(6000, QChar('o')), true);
        ASSERT_EQ(registry.LastError(), "");
        const QString registryPath = backend.filePath(CU);
        const QByteArray list = slurp(listPath), reg = slurp(registryPath);
        ASSERT_GT(list.size(), 8000);

        fill(freePages);

        world.list.Clear();
        for (int i = 0; i < 300; ++i) world.list.AddTarget(QStringLiteral("new-%1.example.test").arg(i));
        EXPECT_FALSE(world.list.Save());
        EXPECT_TRUE(world.list.LastError().contains(kNoSpace)) << world.list.LastError().toStdString();

        registry.SaveSetting("Quarlo", "Settings", "Big", QString(7000, QChar('n')), true);
        EXPECT_TRUE(registry.LastError().contains(kNoSpace)) << registry.LastError().toStdString();

        EXPECT_EQ(slurp(listPath), list);
        EXPECT_EQ(slurp(registryPath), reg);
        EXPECT_EQ(entries(), QStringList({"filler", "HKEY_CURRENT_USER.reg", "list.BlackList"}))
            << "temporaries or the lock file were left behind";

        // With room again, the same saves go through.
        unfill();
        EXPECT_TRUE(world.list.Save()) << world.list.LastError().toStdString();
        registry.SaveSetting("Quarlo", "Settings", "Big", QString(7000, QChar('n')), true);
        EXPECT_EQ(registry.LastError(), "");
        EXPECT_TRUE(slurp(listPath).contains("new-299.example.test"));
        EXPECT_EQ(registry.GetSetting("Quarlo", "Settings", "Big", "", true), QString(7000, QChar('n')));
    }
}

#endif

} // namespace
