#include "export/TableFileWriter.h"

#include "common/AtomicFileWriter.h"
#include "common/LogCategories.h"
#include "export/CsvTableWriter.h"
#include "export/HtmlTableWriter.h"
#include "export/TablePainter.h"
#include "export/TextTableWriter.h"
#include "export/XlsxTableWriter.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace quarlo {

namespace {

// The spreadsheet library writes by name only: into a private temporary
// beside the target, whose bytes then go through AtomicFileWriter like every
// other format's (the same link rules, flush checks and permissions), so a
// failure leaves the old file.
bool WriteWorkbook(const TableSnapshot& table, const ExportLayout& layout, const QString& path, QString* error,
                   AtomicFileWriter::Links links)
{
    // Refused before the sheet is built, not after.
    if (!AtomicFileWriter::CheckWritable(path, *error, links)) return false;
    const QFileInfo target(path);
    QTemporaryFile reserve(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                           + QStringLiteral(".XXXXXX.xlsx-saving"));
    if (!reserve.open()) {
        *error = reserve.errorString();
        return false;
    }
    // Written by name while open here; removed when reserve goes.
    if (!XlsxTableWriter::Write(table, layout, reserve.fileName(), error)) return false;
    QFile written(reserve.fileName());
    if (!written.open(QIODevice::ReadOnly)) {
        *error = written.errorString();
        return false;
    }
    const QByteArray bytes = written.readAll();
    if (written.error() != QFileDevice::NoError) {
        *error = written.errorString();
        return false;
    }
    return AtomicFileWriter::Replace(path, bytes, *error, links);
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
                            QString* error, AtomicFileWriter::Links links)
{
    QString ignored;
    if (!error) error = &ignored;
    qCDebug(lcExport) << "writing" << table.rows.size() << "rows to" << path << "as" << Extension(format);
    QByteArray bytes;
    switch (format) {
    case Format::Xlsx: return WriteWorkbook(table, layout, path, error, links);
    case Format::Html: bytes = HtmlTableWriter::Html(table, layout); break;
    case Format::Mhtml: bytes = HtmlTableWriter::Mhtml(table, layout); break;
    case Format::Text: bytes = TextTableWriter::Write(table, layout); break;
    case Format::Csv: bytes = CsvTableWriter::Write(table); break;
    case Format::Pdf: {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        if (!TablePainter::WritePdf(table, layout, buffer, error)) return false;
        break;
    }
    }
    return AtomicFileWriter::Replace(path, bytes, *error, links);
}

} // namespace quarlo
