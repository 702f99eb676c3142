#include "storage/XmlDocumentFile.h"

#include "common/AtomicFileWriter.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sstream>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quarlo {

namespace {

using LoadStatus = XmlDocumentFile::LoadStatus;

QString TooLarge(qint64 size, qint64 maxBytes)
{
    return QString::fromUtf8(XmlDocumentFile::kTooLargeText)
        .arg(XmlDocumentFile::SizeText(size), XmlDocumentFile::SizeText(maxBytes));
}

const QString kNotRegular = QStringLiteral(
    QT_TRANSLATE_NOOP("quarlo::EngineText", "It is not a regular file (a device, pipe or socket) and is not read."));
const QString kDirectory = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "It is a directory, not a file."));
const QString kMissing = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "The file does not exist."));

#if defined(Q_OS_UNIX)

// Reads at most maxBytes from a regular file. Looks at what the path is
// before reading, so a pipe or device never blocks or floods the reader.
LoadStatus ReadBounded(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& description)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        description = errno == ENOENT ? kMissing
                                      : QString::fromUtf8(XmlDocumentFile::kCannotOpenText).arg(qt_error_string(errno));
        return LoadStatus::Missing;
    }
    struct stat st;
    LoadStatus status = LoadStatus::Loaded;
    if (::fstat(fd, &st) != 0) {
        description = QString::fromUtf8(XmlDocumentFile::kCannotReadText).arg(qt_error_string(errno));
        status = LoadStatus::Missing;
    } else if (S_ISDIR(st.st_mode)) {
        description = kDirectory;
        status = LoadStatus::Failed;
    } else if (!S_ISREG(st.st_mode)) {
        description = kNotRegular;
        status = LoadStatus::Failed;
    } else if (st.st_size > maxBytes) {
        description = TooLarge(st.st_size, maxBytes);
        status = LoadStatus::Failed;
    } else {
        // Sized by what the file holds; it may still grow while being read.
        bytes.resize(qsizetype(st.st_size) + 1);
        qint64 got = 0;
        for (;;) {
            if (got == bytes.size()) {
                if (got > maxBytes) break;
                bytes.resize(qsizetype(std::min<qint64>(maxBytes + 1, bytes.size() * 2 + 4096)));
            }
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                description = QString::fromUtf8(XmlDocumentFile::kCannotReadText).arg(qt_error_string(errno));
                status = LoadStatus::Missing;
                break;
            }
            if (n == 0) break;
            got += n;
        }
        bytes.truncate(qsizetype(got));
        if (status == LoadStatus::Loaded && got > maxBytes) {
            description = TooLarge(got, maxBytes);
            status = LoadStatus::Failed;
        }
    }
    ::close(fd);
    if (status != LoadStatus::Loaded) bytes.clear();
    return status;
}

#else

LoadStatus ReadBounded(const QString& path, qint64 maxBytes, QByteArray& bytes, QString& description)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        description = kMissing;
        return LoadStatus::Missing;
    }
    if (info.isDir() || !info.isFile()) {
        description = info.isDir() ? kDirectory : kNotRegular;
        return LoadStatus::Failed;
    }
    if (info.size() > maxBytes) {
        description = TooLarge(info.size(), maxBytes);
        return LoadStatus::Failed;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        description = file.errorString();
        return LoadStatus::Missing;
    }
    bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        description = file.errorString();
        return LoadStatus::Missing;
    }
    if (bytes.size() > maxBytes) {
        description = TooLarge(bytes.size(), maxBytes);
        bytes.clear();
        return LoadStatus::Failed;
    }
    return LoadStatus::Loaded;
}

#endif

} // namespace

QString XmlDocumentFile::SizeText(qint64 bytes)
{
    constexpr qint64 kKiB = 1024;
    constexpr qint64 kMiB = 1024 * kKiB;
    if (bytes >= kMiB && bytes % kMiB == 0) return QStringLiteral("%1 MiB").arg(bytes / kMiB);
    if (bytes >= kMiB) return QStringLiteral("%1 MiB").arg(double(bytes) / double(kMiB), 0, 'f', 1);
    if (bytes >= kKiB && bytes % kKiB == 0) return QStringLiteral("%1 KiB").arg(bytes / kKiB);
    return QStringLiteral("%1 bytes").arg(bytes);
}

XmlDocumentFile::LoadStatus XmlDocumentFile::Load(pugi::xml_document& doc, const QString& path, QString& description,
                                                  qint64 maxBytes, ParseError* where)
{
    QByteArray bytes;
    const LoadStatus read = ReadBounded(path, maxBytes, bytes, description);
    if (read != LoadStatus::Loaded) return read;
    // Entities and DTDs are not expanded; the DOCTYPE is skipped.
    const pugi::xml_parse_result result =
        doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), pugi::parse_default, pugi::encoding_auto);
    if (result) return LoadStatus::Loaded;
    // Where a person looks for the mistake: line and column (in bytes), as
    // an editor counts them.
    const QByteArrayView before(bytes.constData(), qsizetype(std::clamp<ptrdiff_t>(result.offset, 0, bytes.size())));
    const qsizetype lineStart = before.lastIndexOf('\n') + 1;
    const ParseError error{before.count('\n') + 1, before.size() - lineStart + 1,
                           QString::fromUtf8(result.description())};
    description = QString::fromUtf8(XmlDocumentFile::kMalformedText)
                      .arg(QString::number(error.line), QString::number(error.column), error.reason);
    if (where) *where = error;
    doc.reset();
    if (result.status == pugi::status_out_of_memory || result.status == pugi::status_internal_error)
        return LoadStatus::Failed;
    return LoadStatus::Malformed;
}

bool XmlDocumentFile::Save(const pugi::xml_document& doc, const QString& path, QString& description)
{
    std::ostringstream out;
    doc.save(out, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    const std::string bytes = out.str();
    // Lists and the server configuration are files the user chose or keeps;
    // a link among them (to a synced copy) is kept and its file replaced.
    return AtomicFileWriter::Replace(path, QByteArrayView(bytes.data(), qsizetype(bytes.size())), description,
                                     AtomicFileWriter::Links::Follow);
}

} // namespace quarlo
