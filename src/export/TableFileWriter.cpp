#include "export/TableFileWriter.h"

#include "common/AtomicFileWriter.h"
#include "export/CsvTableWriter.h"
#include "export/HtmlTableWriter.h"
#include "export/TablePainter.h"
#include "export/TextTableWriter.h"
#include "export/XlsxTableWriter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace quarlo {

namespace {

// The spreadsheet library writes by name only: a hidden temporary beside
// the target, renamed over it once complete, so a failure leaves the old file.
bool WriteWorkbook(const TableSnapshot& table, const ExportLayout& layout, const QString& path, QString* error)
{
    const QFileInfo target(path);
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName() +
                           QStringLiteral(".XXXXXX.xlsx-saving"));
    reserve.setAutoRemove(false);
    if (!reserve.open()) {
        *error = reserve.errorString();
        return false;
    }
    const QString temporary = reserve.fileName();
    reserve.close();

    if (XlsxTableWriter::Write(table, layout, temporary, error)) {
        // The reserved name was private to us; the workbook gets the old
        // file's permissions, or those of any new file.
        struct stat old {};
        mode_t mode = 0;
        if (::stat(QFile::encodeName(path).constData(), &old) == 0) {
            mode = old.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ::chmod(QFile::encodeName(temporary).constData(), mode);
        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(temporary).toStdString(), QFile::encodeName(path).toStdString(), ec);
        if (!ec) return true;
        *error = QString::fromLocal8Bit(ec.message().c_str());
    }
    QFile::remove(temporary);
    return false;
}

} // namespace

QString TableFileWriter::Extension(Format format)
{
    switch (format) {
    case Format::Html: return QStringLiteral(".html");
    case Format::Mhtml: return QStringLiteral(".mht");
    case Format::Text: return QStringLiteral(".txt");
    case Format::Csv: return QStringLiteral(".csv");
    case Format::Xlsx: return QStringLiteral(".xlsx");
    case Format::Pdf: return QStringLiteral(".pdf");
    }
    return {};
}

bool TableFileWriter::Write(const TableSnapshot& table, const ExportLayout& layout, Format format, const QString& path,
                            QString* error)
{
    QString ignored;
    if (!error) error = &ignored;
    QByteArray bytes;
    switch (format) {
    case Format::Xlsx:
        return WriteWorkbook(table, layout, path, error);
    case Format::Html:
        bytes = HtmlTableWriter::Html(table, layout);
        break;
    case Format::Mhtml:
        bytes = HtmlTableWriter::Mhtml(table, layout);
        break;
    case Format::Text:
        bytes = TextTableWriter::Write(table, layout);
        break;
    case Format::Csv:
        bytes = CsvTableWriter::Write(table);
        break;
    case Format::Pdf: {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!TablePainter::WritePdf(table, layout, buffer, error)) return false;
        break;
    }
    }
    return AtomicFileWriter::Replace(path, bytes, *error);
}

} // namespace quarlo
