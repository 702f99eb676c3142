#include "common/RegFileBackend.h"

#include "common/AtomicFileWriter.h"
#include "common/RegFileDocument.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QLockFile>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <array>
#include <mutex>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarlo {

namespace {

// Real stores hold a few kilobytes; this only bounds what a wrong file costs.
constexpr qint64 kMaxFileSize = 32 * 1024 * 1024;
// A write holds the lock for milliseconds; a lock this old was left by a
// program that hung or died on another machine sharing the directory. Dead
// owners on this machine are recognised at once by their process number.
constexpr int kStaleLockMs = 10'000;
// The owner writes its process number into the lock file microseconds after
// creating it; an empty lock file this old that nobody holds was left by a
// program killed in between.
constexpr qint64 kAbandonedLockMs = 1'000;
constexpr int kLockTimeoutMs = 12'000;
constexpr int kMaxLockPollMs = 8;

const QLatin1StringView kHeader("Windows Registry Editor Version 5.00");

// ------------------------------------------------------------------- files --

// Identifies one version of a file without reading it. Rewrites always
// create a new file, so the inode changes even when size and time do not.
struct FileStamp {
    bool exists = false;
    bool regular = false;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};

#if defined(Q_OS_LINUX)
FileStamp StampFromStat(const struct stat& st)
{
    FileStamp stamp;
    stamp.exists = true;
    stamp.regular = S_ISREG(st.st_mode);
    stamp.size = st.st_size;
    stamp.mtimeNs = qint64(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    stamp.ctimeNs = qint64(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
    stamp.inode = st.st_ino;
    return stamp;
}
#endif

FileStamp StampOf(const QString& path)
{
#if defined(Q_OS_LINUX)
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return FileStamp{};
    return StampFromStat(st);
#else
    const QFileInfo info(path);
    FileStamp stamp;
    if (!info.exists()) return stamp;
    stamp.exists = true;
    stamp.regular = info.isFile();
    stamp.size = info.size();
    stamp.mtimeNs = info.lastModified().toMSecsSinceEpoch() * 1'000'000;
    stamp.ctimeNs = info.metadataChangeTime().toMSecsSinceEpoch() * 1'000'000;
    return stamp;
#endif
}

FileStamp StampOfOpen(QFile& file)
{
#if defined(Q_OS_LINUX)
    struct stat st;
    if (::fstat(file.handle(), &st) != 0) return FileStamp{};
    return StampFromStat(st);
#else
    return StampOf(file.fileName());
#endif
}

struct CachedFile {
    bool known = false; // doc and bytes describe the file version in stamp
    FileStamp stamp;
    QByteArray bytes;                   // what doc was parsed from
    std::optional<RegFileDocument> doc; // nothing: the file exists but is unusable
    QString problem;                    // why doc is nothing, or why reading failed
};

QString Native(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

CachedFile Unusable(const FileStamp& stamp, const QString& problem)
{
    CachedFile cache;
    cache.known = true;
    cache.stamp = stamp;
    cache.problem = problem;
    return cache;
}

QString TooLarge(const QString& path)
{
    return QString::fromUtf8(RegFileBackend::kTooLargeText).arg(Native(path)).arg(kMaxFileSize / (1024 * 1024));
}

// Reads what the file holds, never more than kMaxFileSize + 1 bytes.
std::optional<QByteArray> ReadBounded(QFile& file, qint64 expected)
{
    QByteArray bytes = file.read(std::min(expected, kMaxFileSize) + 1);
    // The file may have grown since it was looked at.
    while (bytes.size() <= kMaxFileSize && file.error() == QFileDevice::NoError) {
        const QByteArray more = file.read(std::min<qint64>(1024 * 1024, kMaxFileSize + 1 - bytes.size()));
        if (more.isEmpty()) break;
        bytes += more;
    }
    if (file.error() != QFileDevice::NoError) return std::nullopt;
    return bytes;
}

// Brings the cache up to the file on disk. False when the file could not be
// read this time (the cache is then unknown and problem tells why).
bool Refresh(const QString& path, CachedFile& cache)
{
    cache.known = false;
    const FileStamp before = StampOf(path);
    if (!before.exists) {
        cache = CachedFile{true, before, QByteArray(), RegFileDocument(), QString()};
        return true;
    }
    // Never open what could block (a FIFO) or is too large to be ours.
    if (!before.regular) {
        cache = Unusable(before, QString::fromUtf8(RegFileBackend::kNotRegularText).arg(Native(path)));
        return true;
    }
    if (before.size > kMaxFileSize) {
        cache = Unusable(before, TooLarge(path));
        return true;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        cache.problem = QString::fromUtf8(RegFileBackend::kCannotReadText).arg(Native(path), file.errorString());
        return false;
    }
    const FileStamp stamp = StampOfOpen(file);
    if (!stamp.exists || !stamp.regular) {
        cache.problem = QString::fromUtf8(RegFileBackend::kChangedText).arg(Native(path));
        return false;
    }
    const std::optional<QByteArray> bytes = ReadBounded(file, stamp.size);
    if (!bytes) {
        cache.problem = QString::fromUtf8(RegFileBackend::kCannotReadText).arg(Native(path), file.errorString());
        return false;
    }
    if (bytes->size() > kMaxFileSize) {
        cache = Unusable(stamp, TooLarge(path));
        return true;
    }
    cache.problem.clear();
    if (cache.doc && *bytes == cache.bytes) {
        cache.stamp = stamp;
        cache.known = true;
        return true;
    }
    cache.doc = RegFileDocument::Parse(*bytes);
    cache.bytes = cache.doc ? *bytes : QByteArray();
    if (!cache.doc) cache.problem = QString::fromUtf8(RegFileBackend::kNotExportText).arg(Native(path), kHeader);
    cache.stamp = stamp;
    cache.known = true;
    return true;
}

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// Removes a lock file that holds no owner, that no process has locked and
// that is old enough not to be in the middle of being filled: its writer was
// killed between creating and filling it. QLockFile itself would wait until
// it counts as stale by age.
bool RemoveAbandonedLock(QLockFile& lock, const QString& lockPath)
{
#if defined(Q_OS_UNIX)
    if (lock.getLockInfo(nullptr, nullptr, nullptr)) return false; // it names an owner: QLockFile judges those
    const QByteArray name = QFile::encodeName(lockPath);
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    bool removed = false;
    struct stat opened;
    struct stat named;
    // QLockFile holds a flock() on its lock file for as long as it owns it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode)
        && opened.st_size == 0
        && NowMs() - (qint64(opened.st_mtim.tv_sec) * 1000 + opened.st_mtim.tv_nsec / 1'000'000) >= kAbandonedLockMs
        && ::stat(name.constData(), &named) == 0 && named.st_ino == opened.st_ino && named.st_dev == opened.st_dev)
        removed = ::unlink(name.constData()) == 0;
    ::close(fd);
    return removed;
#else
    Q_UNUSED(lock);
    Q_UNUSED(lockPath);
    return false;
#endif
}

// Polls rather than using QLockFile's own wait, whose back-off grows to
// seconds and would let a busy writer starve the other. Empty on success,
// else why the lock could not be taken.
QString AcquireLock(QLockFile& lock, const QString& lockPath)
{
    lock.setStaleLockTime(kStaleLockMs);
    const QDeadlineTimer deadline(kLockTimeoutMs);
    int pause = 1;
    for (;;) {
        errno = 0;
        if (lock.tryLock(0)) return QString();
        const int error = errno;
        if (lock.error() != QLockFile::LockFailedError) {
            // QLockFile gives no reason; errno is still that of its failed
            // create or write (a full disk, say).
            return QString::fromUtf8(RegFileBackend::kCannotLockText)
                .arg(Native(lockPath), error != 0 ? qt_error_string(error) : QStringLiteral("unknown error"));
        }
        if (RemoveAbandonedLock(lock, lockPath)) continue;
        if (deadline.hasExpired()) return QString::fromUtf8(RegFileBackend::kLockHeldText).arg(Native(lockPath));
        QThread::msleep(pause);
        pause = std::min(pause * 2, kMaxLockPollMs);
    }
}

int RootIndex(RegistryRoot root)
{
    return static_cast<int>(root);
}

// Guards the per-root arrays against numbers cast into the enum.
bool IsKnownRoot(RegistryRoot root)
{
    return RootIndex(root) >= 0 && RootIndex(root) < 3;
}

} // namespace

// ----------------------------------------------------------------- backend --

struct RegFileBackend::State {
    QString directory;
    std::array<QString, 3> paths;
    std::mutex mutex;
    std::array<CachedFile, 3> files;
    QString lastError;
};

RegFileBackend::RegFileBackend(QString directory) : d_(std::make_unique<State>())
{
    d_->directory = std::move(directory);
    for (RegistryRoot root : {RegistryRoot::ClassesRoot, RegistryRoot::CurrentUser, RegistryRoot::LocalMachine})
        d_->paths[RootIndex(root)] = filePath(root);
}

RegFileBackend::~RegFileBackend() = default;

const QString& RegFileBackend::directory() const
{
    return d_->directory;
}

QString RegFileBackend::filePath(RegistryRoot root) const
{
    return QDir(d_->directory).filePath(RegistryRootName(root) + QStringLiteral(".reg"));
}

QString RegFileBackend::lastError() const
{
    const std::lock_guard guard(d_->mutex);
    return d_->lastError;
}

std::optional<RegistryValue> RegFileBackend::read(RegistryRoot root, const QString& keyPath, const QString& valueName)
{
    if (!IsKnownRoot(root)) return std::nullopt;
    const std::optional<QString> sectionPath = RegFileDocument::SectionPath(root, keyPath);
    if (!sectionPath) return std::nullopt;

    const std::lock_guard guard(d_->mutex);
    CachedFile& cache = d_->files[RootIndex(root)];
    const QString& path = d_->paths[RootIndex(root)];
    if (!cache.known || !(cache.stamp == StampOf(path))) Refresh(path, cache);
    if (!cache.known || !cache.doc) return std::nullopt;

    return cache.doc->Value(*sectionPath, valueName);
}

bool RegFileBackend::write(RegistryRoot root, const QString& keyPath, const QString& valueName,
                           const RegistryValue& value)
{
    const std::lock_guard guard(d_->mutex);
    QString& error = d_->lastError;
    error.clear();
    if (!IsKnownRoot(root)) {
        error = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "There is no such registry root."));
        return false;
    }
    const std::optional<QString> sectionPath = RegFileDocument::SectionPath(root, keyPath);
    if (!sectionPath || !RegFileDocument::IsWritableText(valueName)) {
        error = QStringLiteral(QT_TRANSLATE_NOOP(
            "quarlo::EngineText", "A key path or value name holds characters a registry file cannot store."));
        return false;
    }
    if (!QDir().mkpath(d_->directory)) {
        error = QString::fromUtf8(kCannotCreateFolderText).arg(Native(d_->directory));
        return false;
    }
    const QString& path = d_->paths[RootIndex(root)];
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    error = AcquireLock(lock, lockPath);
    if (!error.isEmpty()) return false;

    // Another program may have written since this one last looked.
    CachedFile& cache = d_->files[RootIndex(root)];
    if (!Refresh(path, cache) || !cache.doc) {
        error = cache.problem;
        return false;
    }

    RegFileDocument updated = *cache.doc;
    updated.SetValue(*sectionPath, valueName, value);
    const QByteArray bytes = updated.Serialize();
    if (cache.stamp.exists && bytes == cache.bytes) return true;

    QString description;
    // The user's own folder: a link there (a shared settings file) is theirs.
    if (!AtomicFileWriter::Replace(path, bytes, description, AtomicFileWriter::Links::Follow)) {
        error = QString::fromUtf8(kCannotSaveText).arg(Native(path), description);
        return false;
    }

    cache.stamp = StampOf(path);
    cache.bytes = bytes;
    cache.doc = std::move(updated);
    cache.known = cache.stamp.exists;
    return true;
}

} // namespace quarlo
