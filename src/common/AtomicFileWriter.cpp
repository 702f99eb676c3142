#include "common/AtomicFileWriter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <algorithm>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <csignal>
#include <climits>
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

bool IsTagChar(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9'); }

QString RandomTag()
{
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < kTagLength; ++i)
        tag += QLatin1Char(kChars[QRandomGenerator::global()->bounded(36)]);
    return tag;
}

// The process number in a temporary's name, or -1 when fileName is not one
// of targetFileName's temporaries.
qint64 TemporaryOwner(const QString& fileName, const QString& targetFileName)
{
    const QString prefix = AtomicFileWriter::TemporaryPrefix(targetFileName);
    if (!fileName.startsWith(prefix) || !fileName.endsWith(kSuffix))
        return -1;
    const QStringView middle =
        QStringView(fileName).sliced(prefix.size(), fileName.size() - prefix.size() - kSuffix.size());
    // "<pid>.<tag>"
    const qsizetype dot = middle.indexOf(u'.');
    if (dot <= 0 || middle.size() - dot - 1 != kTagLength)
        return -1;
    const QStringView tag = middle.sliced(dot + 1);
    if (!std::all_of(tag.begin(), tag.end(), IsTagChar))
        return -1;
    bool ok = false;
    const qint64 pid = middle.first(dot).toLongLong(&ok);
    if (!ok || pid <= 0 || middle.first(dot).startsWith(u'+'))
        return -1;
    return pid;
}

// Temporaries this process is writing now; a cleanup by another thread
// saving the same target must not take them.
QMutex g_activeMutex;
QSet<QString> g_active;

void SetActive(const QString& temporary, bool active)
{
    const QMutexLocker locker(&g_activeMutex);
    if (active)
        g_active.insert(temporary);
    else
        g_active.remove(temporary);
}

bool IsActive(const QString& temporary)
{
    const QMutexLocker locker(&g_activeMutex);
    return g_active.contains(temporary);
}

// The file a save of path really replaces: a symbolic link stays a link.
QString ResolveTarget(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return info.absoluteFilePath();
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? QFileInfo(info.symLinkTarget()).absoluteFilePath() : canonical;
}

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

#if defined(Q_OS_UNIX)

QString SystemText(int error) { return qt_error_string(error); }

bool IsAbandoned(const QString& fullPath, qint64 pid)
{
    struct stat st;
    if (::lstat(Native(fullPath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (pid == qint64(::getpid()))
        return !IsActive(fullPath);
    if (pid > INT_MAX || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH))
        return true;
    return ::time(nullptr) - st.st_mtime > kAbandonedAfterSecs;
}

void RemoveLeftovers(const QString& directory, const QString& targetFileName)
{
    QDirIterator it(directory, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        const QString full = it.next();
        const qint64 pid = TemporaryOwner(it.fileName(), targetFileName);
        if (pid > 0 && IsAbandoned(full, pid))
            ::unlink(Native(full).constData());
    }
}

bool WriteAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(std::min<qsizetype>(left, 1 << 30)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
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

bool AtomicFileWriter::Replace(const QString& path, QByteArrayView bytes, QString& error)
{
    if (path.isEmpty()) {
        error = QStringLiteral("No file name was given.");
        return false;
    }
    const QString target = ResolveTarget(path);
    const QFileInfo targetInfo(target);
    const QString directory = targetInfo.absolutePath();
    const QString name = targetInfo.fileName();

    struct stat old;
    bool existed = false;
    if (::stat(Native(target).constData(), &old) == 0) {
        if (S_ISDIR(old.st_mode)) {
            error = QStringLiteral("It is a directory, not a file; nothing was written.");
            return false;
        }
        if (!S_ISREG(old.st_mode)) {
            error = QStringLiteral("It is not a regular file (a device, pipe or socket); nothing was written.");
            return false;
        }
        existed = true;
    } else if (errno != ENOENT) {
        error = QStringLiteral("Cannot look at the file: %1.").arg(SystemText(errno));
        return false;
    }
    const QString unchanged =
        existed ? QStringLiteral(" The previous file is unchanged.") : QStringLiteral(" No file was created.");

    const QString stem = directory + QLatin1Char('/') + TemporaryPrefix(name) + QString::number(::getpid())
                         + QLatin1Char('.');
    QString temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = stem + RandomTag() + kSuffix;
        SetActive(temporary, true);
        // Private until its permissions are copied from the old file.
        fd = ::open(Native(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existed ? 0600 : 0666);
        if (fd < 0) {
            const int openError = errno;
            SetActive(temporary, false);
            if (openError != EEXIST) {
                error = QStringLiteral("Cannot create a file in %1: %2.%3")
                            .arg(QDir::toNativeSeparators(directory), SystemText(openError), unchanged);
                return false;
            }
        }
    }
    if (fd < 0) {
        error = QStringLiteral("Cannot create a file in %1: %2.%3")
                    .arg(QDir::toNativeSeparators(directory), SystemText(EEXIST), unchanged);
        return false;
    }

    auto fail = [&](const QString& what, int code) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(Native(temporary).constData());
        SetActive(temporary, false);
        error = QStringLiteral("%1: %2.%3").arg(what, SystemText(code), unchanged);
        return false;
    };

    if (existed) {
        // Only root can give the file back to another owner; others keep theirs.
        if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid())
            && ::fchown(fd, old.st_uid, old.st_gid) != 0) {
        }
        if (::fchmod(fd, old.st_mode & 07777) != 0)
            return fail(QStringLiteral("Cannot set the permissions of the new file"), errno);
    }
    // Small files reach the disk only at the flush, so its error counts as much
    // as the write's.
    if (!WriteAll(fd, bytes))
        return fail(QStringLiteral("Writing failed"), errno);
    if (::fsync(fd) != 0)
        return fail(QStringLiteral("Writing failed"), errno);
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0 && errno != EINTR)
        return fail(QStringLiteral("Writing failed"), errno);
    if (::rename(Native(temporary).constData(), Native(target).constData()) != 0)
        return fail(QStringLiteral("Cannot replace the file"), errno);
    SetActive(temporary, false);

    // The directory is not synced: its entry may lose the rename in a power
    // cut, but either name then points at complete, synced data, and saving
    // settings one by one would cost twice the time.
    RemoveLeftovers(directory, name);
    return true;
}

#else

bool AtomicFileWriter::Replace(const QString& path, QByteArrayView bytes, QString& error)
{
    const QString target = ResolveTarget(path);
    const QFileInfo info(target);
    if (info.exists() && !info.isFile()) {
        error = QStringLiteral("It is not a regular file; nothing was written.");
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

#endif

} // namespace quarlo
