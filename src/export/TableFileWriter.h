#pragma once

#include "common/AtomicFileWriter.h"
#include "export/ExportLayout.h"
#include "export/TableSnapshot.h"

#include <QString>

namespace quarlo {

// Writes a grid snapshot to a file in one of the file formats, all or
// nothing: the file appears (or replaces the old one) only when complete,
// so a full disk or a failed render never leaves half a file.
class TableFileWriter {
public:
    enum class Format { Html, Mhtml, Text, Csv, Xlsx, Pdf };

    // False with the reason in *error (the system's text where there is one).
    // links: what happens when path is a symbolic link (see AtomicFileWriter).
    static bool Write(const TableSnapshot& table, const ExportLayout& layout, Format format, const QString& path,
                      QString* error, AtomicFileWriter::Links links = AtomicFileWriter::Links::Refuse);
    // ".html", ".mht", ".txt", ".csv", ".xlsx", ".pdf"
    static QString Extension(Format format);
};

} // namespace quarlo
