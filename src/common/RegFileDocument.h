#pragma once

#include "common/RegistryRoot.h"
#include "common/RegistryValue.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace quarlo {

// One registry file in the ".reg" export format, parsed line by line so
// that a rewrite keeps every line it held (see RegFileDocument.cpp for what
// the parser accepts). A value type: the file handling is RegFileBackend's.
struct RegFileDocument {
    struct Entry {
        enum class Kind { Value, Opaque, Comment, Damaged };
        Kind kind = Kind::Comment;
        QString name;        // Value and Opaque; empty for the default value
        RegistryValue value; // Value
        // The lines as read. Written back unchanged until the entry is changed,
        // after which it is written from name and value.
        QStringList lines;
        QByteArray raw; // Damaged: the line's bytes, without its line break
    };

    struct Section {
        QString path; // as written between the brackets
        // A header that could not be understood, as read; such a section is not
        // indexed and its lines are all Damaged or comments.
        std::optional<QByteArray> damagedHeader;
        QList<Entry> entries;
        QHash<QString, qsizetype> byName; // folded value name -> index in entries
    };

    QList<Entry> preamble; // comments and damaged lines before the first section
    QList<Section> sections;
    QHash<QString, qsizetype> byPath; // folded normalised path -> index in sections
    bool crlf = false;
    bool bom = false;

    // Nothing when bytes are not a registry export at all (another kind of
    // file under the same name), which must never be rewritten.
    static std::optional<RegFileDocument> Parse(const QByteArray& bytes);
    QByteArray Serialize() const;

    // The value's typed data; nothing when absent or of a type the program
    // does not use.
    std::optional<RegistryValue> Value(const QString& sectionPath, const QString& name) const;
    void SetValue(const QString& sectionPath, const QString& name, const RegistryValue& value);

    // "HKEY_CURRENT_USER\Software\..." for a key of root; nothing when the
    // path cannot be stored.
    static std::optional<QString> SectionPath(RegistryRoot root, const QString& keyPath);
    // Whether a name or key path can be held in a line-based text file.
    static bool IsWritableText(const QString& text);
};

} // namespace quarlo
