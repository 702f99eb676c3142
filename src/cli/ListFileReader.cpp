#include "cli/ListFileReader.h"

#include "cli/LineReader.h"
#include "cli/PrintableText.h"
#include "storage/XmlDocumentFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarlo {
namespace {

// As much of the start as tells text from binary data; tools that tell them
// apart look at about as much.
constexpr qsizetype kSniffBytes = 8000;

enum class Content { Xml, Text, Utf16Text, Binary };

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// What the start of a file says it is. An address list is XML, so its first
// character, after a byte order mark and blanks, is "<"; no target is.
Content sniff(const QByteArray& head)
{
    const bool littleEndian = head.startsWith("\xff\xfe");
    if (littleEndian || head.startsWith("\xfe\xff")) {
        // UTF-16: each character takes two bytes, the ASCII byte first or last.
        for (qsizetype i = 2; i + 1 < head.size(); i += 2) {
            const char low = littleEndian ? head.at(i) : head.at(i + 1);
            const char high = littleEndian ? head.at(i + 1) : head.at(i);
            if (high == 0 && isSpace(low)) continue;
            return high == 0 && low == '<' ? Content::Xml : Content::Utf16Text;
        }
        return Content::Utf16Text;
    }
    qsizetype i = head.startsWith("\xef\xbb\xbf") ? 3 : 0;
    while (i < head.size() && isSpace(head.at(i))) ++i;
    if (i < head.size() && head.at(i) == '<') return Content::Xml;
    return head.contains('\0') ? Content::Binary : Content::Text;
}

const QString kBinary = QStringLiteral("it is neither a .BlackList address list nor text with one target per line: "
                                       "it holds binary data");

// Reads from fd, at its start, one target per line.
ListFileReader::Status readText(int fd, const ListFileReader::Take& take, QString* error)
{
    LineReader in(fd, ListFileReader::kMaxLineBytes, ListFileReader::kMaxFileBytes);
    QByteArray line;
    for (;;) {
        const LineReader::Result result = in.next(&line);
        switch (result) {
        case LineReader::Result::End: return ListFileReader::Status::Done;
        case LineReader::Result::TooMuch:
            *error =
                QStringLiteral("it is larger than %1").arg(XmlDocumentFile::SizeText(ListFileReader::kMaxFileBytes));
            return ListFileReader::Status::Failed;
        case LineReader::Result::Error: *error = in.errorString(); return ListFileReader::Status::Failed;
        case LineReader::Result::Line:
        case LineReader::Result::Overlong: break;
        }
        // Binary data further on than the start that was looked at.
        if (line.contains('\0')) {
            *error = kBinary + QStringLiteral(" (line %1)").arg(in.lineNumber());
            return ListFileReader::Status::Failed;
        }
        if (in.lineNumber() == 1 && line.startsWith("\xef\xbb\xbf")) line.remove(0, 3);
        if (!take(QString::fromUtf8(line), result == LineReader::Result::Overlong))
            return ListFileReader::Status::Stopped;
    }
}

} // namespace

ListFileReader::Status ListFileReader::Read(const QString& path, const Take& take, Kind* kind, QString* error)
{
    *kind = Kind::Text;
    // Not blocking: a pipe put in the file's place must not hang the run.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return Status::Failed;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return Status::Failed;
    }
    if (S_ISDIR(status.st_mode)) {
        *error = QStringLiteral("it is a directory, not a file");
        return Status::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = QStringLiteral("it is not a regular file");
        return Status::Failed;
    }
    if (status.st_size > kMaxFileBytes) {
        *error = QStringLiteral("it is larger than %1").arg(XmlDocumentFile::SizeText(kMaxFileBytes));
        return Status::Failed;
    }
    QByteArray head(kSniffBytes, Qt::Uninitialized);
    ssize_t got;
    do {
        got = ::pread(fd, head.data(), static_cast<size_t>(head.size()), 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return Status::Failed;
    }
    head.truncate(got);

    switch (sniff(head)) {
    case Content::Xml: {
        *kind = Kind::AddressList;
        QStringList targets;
        if (!AddressListFile::Read(path, targets, *error)) return Status::Failed;
        for (const QString& target : targets)
            if (!take(target, false)) return Status::Stopped;
        return Status::Done;
    }
    case Content::Utf16Text:
        *error = QStringLiteral("it is UTF-16 text; save it as UTF-8 to use it as a list");
        return Status::Failed;
    case Content::Binary: *error = kBinary; return Status::Failed;
    case Content::Text: break;
    }
    return readText(fd, take, error);
}

QString ListFileReader::WhyEmpty(const QString& path, Kind kind)
{
    if (kind == Kind::Text) {
        struct stat status {};
        const bool empty = ::stat(QFile::encodeName(path).constData(), &status) == 0 && status.st_size == 0;
        return empty ? QStringLiteral("is empty") : QStringLiteral("holds only blank lines and comments");
    }
    pugi::xml_document doc;
    QString description;
    XmlDocumentFile::Load(doc, path, description, kMaxFileBytes);
    const QString root = QString::fromUtf8(doc.document_element().name());
    if (root != QLatin1String("AddressList"))
        return QStringLiteral("is XML but not an address list (its root element is <%1>, not <AddressList>)")
            .arg(Excerpt(root));
    return QStringLiteral("is an address list without targets");
}

} // namespace quarlo
