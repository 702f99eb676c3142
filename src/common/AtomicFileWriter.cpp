#include "common/AtomicFileWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QSaveFile>
#endif

namespace quarlo {

namespace {

const QLatin1StringView kSuffix(".saving");
constexpr int kTagLength = 6;
// A temporary whose process number is alive is normally a save in progress;
// after this long it is a leftover whose number was reused, or one written
// from another machine sharing the directory.
constexpr qint64 kAbandonedAfterSecs = 60 * 60;
// File names longer than this (in bytes) cannot take the temporary's
// additions within the usual 255-byte limit.
constexpr qsizetype kMaxPlainPrefixBytes = 255 - 32;

bool IsTagChar(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

QString RandomTag()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < kTagLength; ++i) tag += QLatin1Char(kChars[QRandomGenerator::global()->bounded(36)]);
    return tag;
}

// The process number in a temporary's name, or -1 when fileName is not one
// of targetFileName's temporaries.
qint64 TemporaryOwner(const QString& fileName, const QString& targetFileName)
{
    const QString prefix = AtomicFileWriter::TemporaryPrefix(targetFileName);
    if (!fileName.startsWith(prefix) || !fileName.endsWith(kSuffix)) return -1;
    const QStringView middle =
        QStringView(fileName).sliced(prefix.size(), fileName.size() - prefix.size() - kSuffix.size());
    // "<pid>.<tag>"
    const qsizetype dot = middle.indexOf(u'.');
    if (dot <= 0 || middle.size() - dot - 1 != kTagLength) return -1;
    const QStringView tag = middle.sliced(dot + 1);
    if (!std::all_of(tag.begin(), tag.end(), IsTagChar)) return -1;
    bool ok = false;
    const qint64 pid = middle.first(dot).toLongLong(&ok);
    if (!ok || pid <= 0 || middle.first(dot).startsWith(u'+')) return -1;
    return pid;
}

// Temporaries this process is writing now, by folder and name; a cleanup by
// another thread saving the same target must not take them.
QMutex g_activeMutex;
QSet<QString> g_active;

void SetActive(const QString& key, bool active)
{
    const QMutexLocker locker(&g_activeMutex);
    if (active)
        g_active.insert(key);
    else
        g_active.remove(key);
}

bool IsActive(const QString& key)
{
    const QMutexLocker locker(&g_activeMutex);
    return g_active.contains(key);
}

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// Whole sentences, so that a translation may order them as its language
// needs; the window reads them back (ui/WindowText).
const char* const kNoFileNameText = QT_TRANSLATE_NOOP("quarlo::EngineText", "No file name was given.");
const char* const kDirectoryText =
    QT_TRANSLATE_NOOP("quarlo::EngineText", "It is a directory, not a file; nothing was written.");

QString Text(const char* english)
{
    return QString::fromUtf8(english);
}

#if defined(Q_OS_UNIX)

QString SystemText(int error)
{
    return qt_error_string(error);
}

const char* const kLinkText = QT_TRANSLATE_NOOP("quarlo::EngineText",
                                                "It is a symbolic link; saves do not follow links here, so that a link "
                                                "someone else placed cannot redirect them, and nothing was written.");
const char* const kDanglingLinkText =
    QT_TRANSLATE_NOOP("quarlo::EngineText",
                      "It is a symbolic link to a file that does not exist; saves do not follow links here, so "
                      "that a link someone else placed cannot redirect them, and nothing was written.");
const char* const kForeignLinkText =
    QT_TRANSLATE_NOOP("quarlo::EngineText",
                      "It is a symbolic link another user placed in a shared folder; it is "
                      "not followed, and nothing was written.");
const char* const kNotRegularText = QT_TRANSLATE_NOOP(
    "quarlo::EngineText", "It is not a regular file (a device, pipe or socket); nothing was written.");
const char* const kForeignFileText =
    QT_TRANSLATE_NOOP("quarlo::EngineText",
                      "It belongs to another user in a shared folder, where only they may "
                      "replace it; nothing was written.");

// The folder a save writes in, held open so that looking at the name,
// creating the temporary and the rename all happen in that one folder, and
// the name in it, which is never resolved.
struct Destination {
    int dirFd = -1;
    struct stat folder {};
    QString directory; // as the caller (or a link) spelled it, for messages
    QString name;
    bool existed = false;
    struct stat old {};

    Destination() = default;
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;
    ~Destination()
    {
        if (dirFd >= 0) ::close(dirFd);
    }

    // Tells this folder's temporaries from those of a folder spelled alike.
    QString key(const QString& fileName) const
    {
        return QStringLiteral("%1:%2/").arg(quint64(folder.st_dev)).arg(quint64(folder.st_ino)) + fileName;
    }
};

// "dir/name" -> "dir", "name"; a bare name is in the current folder.
void SplitPath(const QString& path, QString* directory, QString* name)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) {
        *directory = QStringLiteral(".");
        *name = path;
        return;
    }
    *directory = slash == 0 ? QStringLiteral("/") : path.left(slash);
    *name = path.mid(slash + 1);
}

// Whether the kernel's protected_symlinks rule lets a link be followed:
// in a sticky, world-writable folder (/tmp) only the follower's own links
// and the folder owner's are. Checked here because the save resolves the
// link itself, where the kernel's rule does not apply.
bool MayFollow(const struct stat& folder, const struct stat& link)
{
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == ::geteuid() || link.st_uid == folder.st_uid;
}

// As many links as the kernel follows in one path.
constexpr int kMaxLinks = 40;

// Opens path's folder and looks at the name in it without following it; a
// link there is followed only as links allows, by reading it and starting
// again from its target.
bool Locate(const QString& path, AtomicFileWriter::Links links, Destination& d, QString& error)
{
    if (path.isEmpty()) {
        error = Text(kNoFileNameText);
        return false;
    }
    QString directory, name;
    SplitPath(path, &directory, &name);
    QString shownDirectory = directory;
    bool relativeToHeld = false; // directory is relative to the folder d holds (a link's relative target)
    for (int hops = 0;; ++hops) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
            error = Text(kDirectoryText);
            return false;
        }
        const int base = relativeToHeld && !directory.startsWith(QLatin1Char('/')) ? d.dirFd : AT_FDCWD;
        const int fd = ::openat(base, Native(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int openError = errno;
        if (d.dirFd >= 0) ::close(d.dirFd);
        d.dirFd = fd;
        d.directory = shownDirectory;
        d.name = name;
        if (fd < 0) {
            error = Text(AtomicFileWriter::kCannotOpenFolderText)
                        .arg(QDir::toNativeSeparators(shownDirectory), SystemText(openError));
            return false;
        }
        if (::fstat(fd, &d.folder) != 0) {
            error = Text(AtomicFileWriter::kCannotLookAtFolderText)
                        .arg(QDir::toNativeSeparators(shownDirectory), SystemText(errno));
            return false;
        }

        struct stat st;
        if (::fstatat(fd, Native(name).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) {
                d.existed = false;
                return true;
            }
            error = Text(AtomicFileWriter::kCannotLookAtFileText).arg(SystemText(errno));
            return false;
        }
        if (S_ISLNK(st.st_mode)) {
            if (links == AtomicFileWriter::Links::Refuse) {
                struct stat target;
                const bool dangling = ::fstatat(fd, Native(name).constData(), &target, 0) != 0 && errno == ENOENT;
                error = Text(dangling ? kDanglingLinkText : kLinkText);
                return false;
            }
            if (!MayFollow(d.folder, st)) {
                error = Text(kForeignLinkText);
                return false;
            }
            if (hops == kMaxLinks) {
                error = Text(AtomicFileWriter::kCannotLookAtFileText).arg(SystemText(ELOOP));
                return false;
            }
            char buffer[PATH_MAX];
            const ssize_t n = ::readlinkat(fd, Native(name).constData(), buffer, sizeof buffer);
            if (n <= 0 || size_t(n) == sizeof buffer) {
                const int code = n < 0 ? errno : n == 0 ? ENOENT : ENAMETOOLONG;
                error = Text(AtomicFileWriter::kCannotReadLinkText).arg(SystemText(code));
                return false;
            }
            const QString target = QFile::decodeName(QByteArray(buffer, n));
            SplitPath(target, &directory, &name);
            if (target.startsWith(QLatin1Char('/')))
                shownDirectory = directory;
            else if (directory != QLatin1String("."))
                shownDirectory = shownDirectory + QLatin1Char('/') + directory;
            relativeToHeld = true;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            error = Text(kDirectoryText);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            error = Text(kNotRegularText);
            return false;
        }
        d.existed = true;
        d.old = st;
        return true;
    }
}

bool IsAbandoned(const Destination& d, const QString& fileName, qint64 pid)
{
    struct stat st;
    if (::fstatat(d.dirFd, Native(fileName).constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (pid == qint64(::getpid())) return !IsActive(d.key(fileName));
    if (pid > INT_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)) return true;
    return ::time(nullptr) - st.st_mtime > kAbandonedAfterSecs;
}

void RemoveLeftovers(const Destination& d)
{
    const int listFd = ::dup(d.dirFd);
    if (listFd < 0) return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    ::rewinddir(dir);
    while (const struct dirent* entry = ::readdir(dir)) {
        const QString fileName = QFile::decodeName(entry->d_name);
        const qint64 pid = TemporaryOwner(fileName, d.name);
        if (pid > 0 && IsAbandoned(d, fileName, pid)) ::unlinkat(d.dirFd, entry->d_name, 0);
    }
    ::closedir(dir);
}

bool WriteAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) { // nothing written and no reason given: treat as a full disk
            errno = ENOSPC;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

#else

const char* const kNotRegularText =
    QT_TRANSLATE_NOOP("quarlo::EngineText", "It is not a regular file; nothing was written.");
const char* const kLinkText = QT_TRANSLATE_NOOP(
    "quarlo::EngineText", "It is a symbolic link; saves do not follow links here, and nothing was written.");
const char* const kCannotWriteText =
    QT_TRANSLATE_NOOP("quarlo::EngineText", "Cannot write in the folder %1; nothing was written.");

// The file a save of path really replaces: a symbolic link stays a link.
QString ResolveTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink()) return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(info.symLinkTarget()).absoluteFilePath() : canonical;
}

#endif

} // namespace

QString AtomicFileWriter::TemporaryPrefix(const QString& targetFileName)
{
    if (Native(targetFileName).size() <= kMaxPlainPrefixBytes)
        return QLatin1Char('.') + targetFileName + QLatin1Char('.');
    const QByteArray hash = QCryptographicHash::hash(targetFileName.toUtf8(), QCryptographicHash::Sha1);
    return QLatin1Char('.') + QString::fromLatin1(hash.toHex().left(16)) + QLatin1Char('.');
}

bool AtomicFileWriter::IsTemporaryOf(const QString& fileName, const QString& targetFileName)
{
    return TemporaryOwner(fileName, targetFileName) > 0;
}

#if defined(Q_OS_UNIX)

bool AtomicFileWriter::Replace(const QString& path, QByteArrayView bytes, QString& error, Links links)
{
    Destination d;
    if (!Locate(path, links, d, error)) return false;
    // Each failure has its sentence for a file that was there and one for a
    // file that was not.
    const auto pick = [&](const char* kept, const char* none) { return Text(d.existed ? kept : none); };
    const QString where = QDir::toNativeSeparators(d.directory);

    const QString stem = TemporaryPrefix(d.name) + QString::number(::getpid()) + QLatin1Char('.');
    QString temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = stem + RandomTag() + kSuffix;
        SetActive(d.key(temporary), true);
        // Private until its permissions are copied from the old file; beside
        // the name, never through a link (O_EXCL does not follow one).
        fd = ::openat(d.dirFd, Native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      d.existed ? 0600 : 0666);
        if (fd < 0) {
            const int openError = errno;
            SetActive(d.key(temporary), false);
            if (openError != EEXIST) {
                error = pick(kCannotCreateKeptText, kCannotCreateNoneText).arg(where, SystemText(openError));
                return false;
            }
        }
    }
    if (fd < 0) {
        error = pick(kCannotCreateKeptText, kCannotCreateNoneText).arg(where, SystemText(EEXIST));
        return false;
    }

    auto fail = [&](const QString& what, int code) { // what: a template whose %1 is the system's text
        if (fd >= 0) ::close(fd);
        ::unlinkat(d.dirFd, Native(temporary).constData(), 0);
        SetActive(d.key(temporary), false);
        error = what.arg(SystemText(code));
        return false;
    };

    if (d.existed) {
        // Only root can give the file back to another owner; others keep theirs.
        if ((d.old.st_uid != ::geteuid() || d.old.st_gid != ::getegid())
            && ::fchown(fd, d.old.st_uid, d.old.st_gid) != 0) {}
        if (::fchmod(fd, d.old.st_mode & 07777) != 0) return fail(Text(kPermissionsKeptText), errno);
    }
    // Small files reach the disk only at the flush, so its error counts as much
    // as the write's.
    if (!WriteAll(fd, bytes)) return fail(pick(kWritingKeptText, kWritingNoneText), errno);
    if (::fsync(fd) != 0) return fail(pick(kWritingKeptText, kWritingNoneText), errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR) return fail(pick(kWritingKeptText, kWritingNoneText), errno);
    // rename replaces the name itself: whatever appeared there meanwhile (a
    // link included) is what goes, never the file a link points at.
    if (::renameat(d.dirFd, Native(temporary).constData(), d.dirFd, Native(d.name).constData()) != 0)
        return fail(pick(kReplacingKeptText, kReplacingNoneText), errno);
    SetActive(d.key(temporary), false);

    // The directory is not synced: its entry may lose the rename in a power
    // cut, but either name then points at complete, synced data, and saving
    // settings one by one would cost twice the time.
    RemoveLeftovers(d);
    return true;
}

bool AtomicFileWriter::CheckWritable(const QString& path, QString& error, Links links)
{
    Destination d;
    if (!Locate(path, links, d, error)) return false;
    // The kernel's own answer: the C library's stand-in for an effective-id
    // check tells root yes even on a read-only mount.
    if (::faccessat(d.dirFd, ".", W_OK | X_OK, 0) != 0) {
        error = Text(kCannotWriteInFolderText).arg(QDir::toNativeSeparators(d.directory), SystemText(errno));
        return false;
    }
    // In a sticky folder only a file's owner (or the folder's) may replace it.
    const uid_t me = ::geteuid();
    if (d.existed && (d.folder.st_mode & S_ISVTX) && me != 0 && d.old.st_uid != me && d.folder.st_uid != me) {
        error = Text(kForeignFileText);
        return false;
    }
    return true;
}

#else

bool AtomicFileWriter::Replace(const QString& path, QByteArrayView bytes, QString& error, Links links)
{
    if (!CheckWritable(path, error, links)) return false;
    const QString target = ResolveTarget(path);
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        error = Text(kNotRegularText);
        return false;
    }
    QSaveFile file(target);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (file.write(bytes.data(), bytes.size()) != bytes.size() || !file.flush()
        || file.error() != QFileDevice::NoError) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool AtomicFileWriter::CheckWritable(const QString& path, QString& error, Links links)
{
    if (path.isEmpty()) {
        error = Text(kNoFileNameText);
        return false;
    }
    const QFileInfo link(path);
    if (link.isSymLink() && links == Links::Refuse) {
        error = Text(kLinkText);
        return false;
    }
    const QFileInfo info(ResolveTarget(path));
    if (info.exists() && !info.isFile()) {
        error = Text(kNotRegularText);
        return false;
    }
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir() || !folder.isWritable()) {
        error = Text(kCannotWriteText).arg(QDir::toNativeSeparators(folder.filePath()));
        return false;
    }
    return true;
}

#endif

} // namespace quarlo
