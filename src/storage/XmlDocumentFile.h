#pragma once

#include <QString>
#include <pugixml.hpp>

namespace quarlo {

// Loading and atomic saving of whole XML documents for the program's files.
class XmlDocumentFile {
public:
    // Missing: the file does not exist or cannot be opened or read.
    // Malformed: it is not well-formed XML.
    // Failed: it is not a regular file (a directory, device or pipe), it is
    // larger than the limit, or the XML facility itself failed.
    enum class LoadStatus { Loaded, Missing, Malformed, Failed };

    // Callers without a limit of their own: far above any file the program
    // writes, low enough that the parsed document fits in memory.
    static constexpr qint64 kDefaultMaxBytes = 64LL * 1024 * 1024;

    // Loads path into doc; description tells what went wrong. A file larger
    // than maxBytes is not read at all.
    static LoadStatus Load(pugi::xml_document& doc, const QString& path, QString& description,
                           qint64 maxBytes = kDefaultMaxBytes);

    // Writes doc without declaration or whitespace through AtomicFileWriter,
    // so a failed or interrupted save never destroys the previous file.
    static bool Save(const pugi::xml_document& doc, const QString& path, QString& description);

    // "64 MiB": how limits are named in messages.
    static QString SizeText(qint64 bytes);
};

} // namespace quarlo
