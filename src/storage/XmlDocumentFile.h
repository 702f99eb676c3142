#pragma once

#include <QString>
#include <QtGlobal>
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

    // Where a malformed file goes wrong: line and column (in bytes) as an
    // editor counts them, and the parser's reason.
    struct ParseError {
        qsizetype line = 0;
        qsizetype column = 0;
        QString reason;
    };

    // Loads path into doc; description tells what went wrong. A file larger
    // than maxBytes is not read at all. where: filled when the file is
    // Malformed, for callers that word the message their own way.
    static LoadStatus Load(pugi::xml_document& doc, const QString& path, QString& description,
                           qint64 maxBytes = kDefaultMaxBytes, ParseError* where = nullptr);

    // Writes doc without declaration or whitespace through AtomicFileWriter,
    // so a failed or interrupted save never destroys the previous file.
    static bool Save(const pugi::xml_document& doc, const QString& path, QString& description);

    // "64 MiB": how limits are named in messages.
    static QString SizeText(qint64 bytes);

    // Why a file was not read, with parts filled in: English in messages of
    // the lower layers and for automation; the window reads them back into
    // the user's language (ui/WindowText).
    static constexpr const char* kTooLargeText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "The file is %1 long; files larger than %2 are not read.");
    static constexpr const char* kCannotOpenText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "The file cannot be opened: %1.");
    static constexpr const char* kCannotReadText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "The file cannot be read: %1.");
    static constexpr const char* kMalformedText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "It is not well-formed XML: line %1, column %2: %3.");
};

} // namespace quarlo
