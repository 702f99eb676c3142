#include "cli/FileProblem.h"

#include "storage/ServerConfigFile.h"
#include "storage/XmlDocumentFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace quarlo {

QString FileProblem(const QString& path, bool* missing)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0) {
        const int error = errno;
        if (missing) *missing = error == ENOENT;
        return error == ENOENT ? QStringLiteral("the file does not exist")
                               : QString::fromLocal8Bit(std::strerror(error));
    }
    if (S_ISDIR(status.st_mode)) return QStringLiteral("it is a directory, not a file");
    if (!S_ISREG(status.st_mode)) return QStringLiteral("it is not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    return QString();
}

QString ConfigurationProblem(const QString& path)
{
    bool missing = false;
    if (const QString problem = FileProblem(path, &missing); !problem.isEmpty()) {
        if (missing) return QStringLiteral("no blacklist server configuration at %1: %2").arg(path, problem);
        return QStringLiteral("cannot read the blacklist server configuration %1: %2").arg(path, problem);
    }
    pugi::xml_document doc;
    QString description;
    XmlDocumentFile::ParseError where;
    switch (XmlDocumentFile::Load(doc, path, description, ServerConfigFile::kMaxFileBytes, &where)) {
    case XmlDocumentFile::LoadStatus::Loaded: return QString();
    case XmlDocumentFile::LoadStatus::Missing:
        return QStringLiteral("no blacklist server configuration at %1: %2").arg(path, description);
    case XmlDocumentFile::LoadStatus::Malformed:
        return QStringLiteral("the blacklist server configuration %1 is not well-formed XML: line %2, column %3: %4")
            .arg(path, QString::number(where.line), QString::number(where.column), where.reason);
    case XmlDocumentFile::LoadStatus::Failed:
        return QStringLiteral("cannot read the blacklist server configuration %1: %2").arg(path, description);
    }
    return QString();
}

} // namespace quarlo
