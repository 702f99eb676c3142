#include "common/AtomicFileWriter.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#endif

using namespace quarlo;

namespace {

class AtomicFileWriterTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return tmp_.filePath(name); }
    QStringList entries(const QString& folder = {}) const
    {
        return QDir(path(folder))
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    QTemporaryDir tmp_;
};

#if defined(Q_OS_UNIX)
// The file's status, all zero when there is none.
struct stat statOf(const QString& path)
{
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}
#endif

} // namespace

TEST_F(AtomicFileWriterTest, CreatesAndReplacesKeepingPermissionsAndLinks)
{
    QString error;
    ASSERT_TRUE(AtomicFileWriter::Replace(path("a.cfg"), "first", error)) << error.toStdString();
    EXPECT_EQ(slurp(path("a.cfg")), "first");
    ASSERT_TRUE(AtomicFileWriter::Replace(path("a.cfg"), "", error));
    EXPECT_EQ(QFileInfo(path("a.cfg")).size(), 0);

#if defined(Q_OS_UNIX)
    ASSERT_EQ(::chmod(QFile::encodeName(path("a.cfg")).constData(), 0640), 0);
    // A second name for the old file keeps the old bytes: the new ones went
    // to a new file renamed over the name.
    ASSERT_EQ(::link(QFile::encodeName(path("a.cfg")).constData(), QFile::encodeName(path("old")).constData()), 0);
    ASSERT_TRUE(AtomicFileWriter::Replace(path("a.cfg"), "second", error));
    EXPECT_EQ(slurp(path("old")), "");
    EXPECT_EQ(statOf(path("a.cfg")).st_mode & 07777, 0640u);

    // Saving through a symbolic link, where allowed, replaces the file it
    // points at (relative to the link's folder) and keeps its permissions.
    ASSERT_TRUE(QFile::link("a.cfg", path("link.cfg")));
    ASSERT_TRUE(AtomicFileWriter::Replace(path("link.cfg"), "through the link", error, AtomicFileWriter::Links::Follow))
        << error.toStdString();
    EXPECT_TRUE(QFileInfo(path("link.cfg")).isSymLink());
    EXPECT_EQ(slurp(path("a.cfg")), "through the link");
    EXPECT_EQ(statOf(path("a.cfg")).st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), QStringList({"a.cfg", "link.cfg", "old"})) << "no temporaries are left";
#endif
}

TEST_F(AtomicFileWriterTest, RefusesWhatIsNotAFileAndSaysWhy)
{
    ASSERT_TRUE(QDir(tmp_.path()).mkdir("folder"));
#if defined(Q_OS_UNIX)
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/null", path("device")));
#endif
    const struct {
        const char* name;
        const char* expected;
    } cases[] = {
        {"folder", "is a directory"},
        {"folder/", "is a directory"},
#if defined(Q_OS_UNIX)
        {"fifo", "not a regular file"},
        {"device", "not a regular file"}, // followed, where links are
#endif
        {"missing/dir/x.cfg", "No such file or directory"},
    };
    const QStringList before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(AtomicFileWriter::Replace(path(c.name), "data", error, AtomicFileWriter::Links::Follow));
        EXPECT_TRUE(error.contains(c.expected)) << error.toStdString();
        // The check before long work says the same.
        QString checked;
        EXPECT_FALSE(AtomicFileWriter::CheckWritable(path(c.name), checked, AtomicFileWriter::Links::Follow));
        EXPECT_EQ(checked, error);
    }
    EXPECT_EQ(entries(), before) << "nothing is created beside them";
#if defined(Q_OS_UNIX)
    EXPECT_FALSE(QFileInfo(path("fifo")).isFile());
#endif
}

// Names too long to take the temporary's additions still save.
TEST_F(AtomicFileWriterTest, LongNamesSave)
{
    const QString longName(250, QChar('n'));
    EXPECT_LT(AtomicFileWriter::TemporaryPrefix(longName).size(), 40);
    EXPECT_NE(AtomicFileWriter::TemporaryPrefix(longName),
              AtomicFileWriter::TemporaryPrefix(QString(249, QChar('n')) + "m"));
    QString error;
    EXPECT_TRUE(AtomicFileWriter::Replace(path(longName), "x", error)) << error.toStdString();
}

#if defined(Q_OS_UNIX)
// Another local user places "quarlo.prom -> ~victim/notes.txt" in a shared
// folder: a save to that name must not replace the notes, unless the caller
// asked for links to be followed.
TEST_F(AtomicFileWriterTest, APlantedLinkIsNeverFollowedUnlessAllowed)
{
    ASSERT_TRUE(QDir(tmp_.path()).mkpath("victim"));
    ASSERT_TRUE(QDir(tmp_.path()).mkpath("shared"));
    const QString notes = path("victim/notes.txt");
    spit(notes, "the victim's notes");
    const ino_t before = statOf(notes).st_ino;
    ASSERT_TRUE(QFile::link(notes, path("shared/quarlo.prom")));
    ASSERT_TRUE(QFile::link(path("victim/absent.txt"), path("shared/dangling.prom")));

    const struct {
        const char* name;
        const char* says;
    } refused[] = {
        {"shared/quarlo.prom", "It is a symbolic link; saves do not follow links"},
        {"shared/dangling.prom", "It is a symbolic link to a file that does not exist;"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        QString error, checked;
        EXPECT_FALSE(AtomicFileWriter::CheckWritable(path(c.name), checked));
        EXPECT_FALSE(AtomicFileWriter::Replace(path(c.name), "metrics", error));
        EXPECT_TRUE(error.startsWith(c.says)) << error.toStdString();
        EXPECT_EQ(checked, error);
    }
    EXPECT_EQ(slurp(notes), "the victim's notes");
    EXPECT_EQ(statOf(notes).st_ino, before) << "the notes were replaced by another file";
    EXPECT_EQ(entries("victim"), QStringList{"notes.txt"}) << "no temporary, no file through the dangling link";
    EXPECT_EQ(entries("shared"), QStringList({"dangling.prom", "quarlo.prom"}));
    EXPECT_TRUE(QFileInfo(path("shared/quarlo.prom")).isSymLink());

    // Allowed: the link stays, its file gets the bytes (a new file, as every
    // save), and a dangling link's file is created.
    QString error;
    ASSERT_TRUE(
        AtomicFileWriter::Replace(path("shared/quarlo.prom"), "metrics", error, AtomicFileWriter::Links::Follow))
        << error.toStdString();
    EXPECT_EQ(slurp(notes), "metrics");
    EXPECT_TRUE(QFileInfo(path("shared/quarlo.prom")).isSymLink());
    ASSERT_TRUE(AtomicFileWriter::Replace(path("shared/dangling.prom"), "new", error, AtomicFileWriter::Links::Follow))
        << error.toStdString();
    EXPECT_EQ(slurp(path("victim/absent.txt")), "new");
    EXPECT_EQ(entries("victim"), QStringList({"absent.txt", "notes.txt"}));

    // Links in a circle end as the kernel ends them.
    ASSERT_TRUE(QFile::link("b", path("shared/a")));
    ASSERT_TRUE(QFile::link("a", path("shared/b")));
    EXPECT_FALSE(AtomicFileWriter::Replace(path("shared/a"), "x", error, AtomicFileWriter::Links::Follow));
    EXPECT_TRUE(error.contains("Too many levels of symbolic links")) << error.toStdString();
}

// Even where links are followed, not another user's link in a sticky,
// world-writable folder: the rule the kernel applies to links it resolves.
TEST_F(AtomicFileWriterTest, AnotherUsersLinkInAStickyFolderIsNotFollowed)
{
    if (::geteuid() != 0) GTEST_SKIP() << "giving a link to another user needs root";
    const QString shared = path("shared");
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    spit(path("notes.txt"), "notes");
    ASSERT_TRUE(QFile::link(path("notes.txt"), shared + "/theirs.prom"));
    ASSERT_TRUE(QFile::link(path("notes.txt"), shared + "/mine.prom"));
    ASSERT_EQ(::lchown(QFile::encodeName(shared + "/theirs.prom").constData(), 65534, 65534), 0);

    QString error;
    EXPECT_FALSE(AtomicFileWriter::Replace(shared + "/theirs.prom", "x", error, AtomicFileWriter::Links::Follow));
    EXPECT_TRUE(error.contains("symbolic link another user placed in a shared folder")) << error.toStdString();
    EXPECT_EQ(slurp(path("notes.txt")), "notes");
    EXPECT_TRUE(AtomicFileWriter::Replace(shared + "/mine.prom", "mine", error, AtomicFileWriter::Links::Follow))
        << error.toStdString();
    EXPECT_EQ(slurp(path("notes.txt")), "mine");
}

TEST_F(AtomicFileWriterTest, NextSaveRemovesLeftoversOfDeadSavesOnly)
{
    // The process number of a program that has ended.
    QProcess finished;
    finished.start("sh", {"-c", "echo $$"});
    ASSERT_TRUE(finished.waitForFinished(30'000));
    const QString dead = QString::fromLatin1(finished.readAllStandardOutput().trimmed());
    ASSERT_FALSE(dead.isEmpty());

    const QString prefix = AtomicFileWriter::TemporaryPrefix("t.cfg");
    const QString own = QString::number(::getpid());
    const struct {
        QString name;
        bool old; // last written two hours ago
        bool removed;
    } cases[] = {
        {prefix + dead + ".aaaaaa.saving", false, true},    // its program has ended
        {prefix + own + ".bbbbbb.saving", false, true},     // this program is not writing it
        {prefix + "4294967296.cccccc.saving", false, true}, // no process can have that number
        {prefix + "1.dddddd.saving", false, false},         // a running program may still write it
        {prefix + "1.eeeeee.saving", true, true},           // ... but not for hours
        // Another file's, and names that only look like ours.
        {AtomicFileWriter::TemporaryPrefix("other.cfg") + dead + ".ffffff.saving", false, false},
        {AtomicFileWriter::TemporaryPrefix("t.cfg.x") + dead + ".gggggg.saving", false, false},
        {prefix + dead + ".HHHHHH.saving", false, false},
        {prefix + dead + ".iiiiii.saved", false, false},
        {".t.cfg.notours", false, false},
    };
    for (const auto& c : cases) {
        spit(path(c.name), "partial");
        if (c.old) {
            const struct timeval times[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
            ASSERT_EQ(::utimes(QFile::encodeName(path(c.name)).constData(), times), 0);
        }
    }
    QString error;
    ASSERT_TRUE(AtomicFileWriter::Replace(path("t.cfg"), "complete", error)) << error.toStdString();
    EXPECT_EQ(slurp(path("t.cfg")), "complete");
    for (const auto& c : cases) EXPECT_EQ(QFileInfo::exists(path(c.name)), !c.removed) << c.name.toStdString();
}

// A write beyond the process's file size limit fails as on a full disk.
TEST_F(AtomicFileWriterTest, FailedWriteLeavesNoTemporary)
{
    spit(path("t.cfg"), "previous");
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    QString error;
    const bool saved = AtomicFileWriter::Replace(path("t.cfg"), QByteArray(64 * 1024, 'x'), error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_TRUE(error.contains("File too large")) << error.toStdString();
    EXPECT_EQ(slurp(path("t.cfg")), "previous");
    EXPECT_EQ(entries(), QStringList{"t.cfg"});
}
#endif
