#include "common/DesktopFileType.h"

#include "common/AtomicFileWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace quarlo {

namespace {

// Desktop entries quote an argument with double quotes, escaping ", `, $
// and \ inside; the entry's own string escaping then doubles each \, and %
// stands for itself only doubled.
QString quotedExecArgument(const QString& argument)
{
    QString quoted;
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    quoted.replace(QLatin1String("%"), QLatin1String("%%"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// Control characters (a newline above all) would break the entry's lines.
QString singleLine(QString text)
{
    for (QChar& c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char(' ');
    return text;
}

bool sameBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    // Anything much larger than ours differs anyway.
    return file.read(bytes.size() + 1) == bytes;
}

} // namespace

QByteArray DesktopFileType::MimePackage(const QString& extension, const QString& description)
{
    // shared-mime-info matches globs without regard to case unless told.
    const QString pattern = QStringLiteral("*") + extension;
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                          "  <mime-type type=\"%1\">\n"
                          "    <comment>%2</comment>\n"
                          "    <sub-class-of type=\"application/xml\"/>\n"
                          "    <glob pattern=\"%3\"/>\n"
                          "  </mime-type>\n"
                          "</mime-info>\n")
        .arg(QString::fromLatin1(kMimeType), singleLine(description).toHtmlEscaped(), pattern.toHtmlEscaped())
        .toUtf8();
}

QByteArray DesktopFileType::DesktopEntry(const QString& executablePath)
{
    const QString program = QDir::cleanPath(QFileInfo(executablePath).absoluteFilePath());
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Vantorel Quarlo\n"
                          "GenericName=DNS Blacklist Checker\n"
                          "Comment=Check addresses against DNS blacklists\n"
                          "Exec=%1 %f\n"
                          "Icon=%2\n"
                          "Terminal=false\n"
                          "Categories=Network;Email;\n"
                          "MimeType=%3;\n")
        .arg(singleLine(quotedExecArgument(program)), QString::fromLatin1(kApplicationId),
             QString::fromLatin1(kMimeType))
        .toUtf8();
}

QStringList DesktopFileType::WriteUserFiles(const QString& dataHome, const QString& executablePath,
                                            const QString& extension, const QString& description, QStringList* errors)
{
    const QString id = QString::fromLatin1(kApplicationId);
    const struct {
        QString path;
        QByteArray bytes;
    } files[] = {
        {dataHome + QStringLiteral("/mime/packages/") + id + QStringLiteral(".xml"),
         MimePackage(extension, description)},
        {dataHome + QStringLiteral("/applications/") + id + QStringLiteral(".desktop"), DesktopEntry(executablePath)},
    };
    QStringList written;
    for (const auto& file : files) {
        if (sameBytes(file.path, file.bytes)) continue;
        QString error;
        if (!QDir().mkpath(QFileInfo(file.path).absolutePath())) {
            if (errors) *errors << QStringLiteral("Cannot create the folder of ") + file.path;
            continue;
        }
        if (AtomicFileWriter::Replace(file.path, file.bytes, error, AtomicFileWriter::Links::Follow))
            written << file.path;
        else if (errors)
            *errors << error;
    }
    return written;
}

void DesktopFileType::UpdateDatabases(const QString& dataHome, const QStringList& written)
{
    const auto start = [](const QString& tool, const QString& folder) {
        const QString program = QStandardPaths::findExecutable(tool);
        if (!program.isEmpty()) QProcess::startDetached(program, {folder});
    };
    for (const QString& path : written) {
        if (path.endsWith(QLatin1String(".xml")))
            start(QStringLiteral("update-mime-database"), dataHome + QStringLiteral("/mime"));
        else
            start(QStringLiteral("update-desktop-database"), dataHome + QStringLiteral("/applications"));
    }
}

} // namespace quarlo
