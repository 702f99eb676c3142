// The .reg store: the input is the stored file of one root, parsed in memory
// by the document RegFileBackend reads every file version into. Reading from
// it must not fail in any other way than finding nothing; a write (done as
// the backend does it: set the value, serialize) must keep every value that
// could be read before it, and what it writes reads back as the document the
// backend keeps, and stays the same when written again.
#include "common/RegFileDocument.h"

#include <QByteArray>
#include <cstdlib>
#include <optional>

using namespace quarlo;

namespace {

// The first section's key path below the root and the first value's name,
// so that the reads hit what the input defines.
void firstNames(const QByteArray& bytes, QString& key, QString& value)
{
    const QString text = QString::fromUtf8(bytes);
    bool haveKey = false, haveValue = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (!haveKey && line.startsWith(u'[') && line.endsWith(u']')) {
            const QStringView path = line.mid(1, line.size() - 2);
            const qsizetype slash = path.indexOf(u'\\');
            if (slash >= 0) key = path.mid(slash + 1).toString();
            haveKey = true;
        } else if (!haveValue && line.startsWith(u'"')) {
            const qsizetype end = line.indexOf(u'"', 1);
            if (end > 0) value = line.mid(1, end - 1).toString();
            haveValue = true;
        }
        if (haveKey && haveValue) return;
    }
}

std::optional<RegistryValue> readValue(const RegFileDocument& doc, const QString& key, const QString& value)
{
    const std::optional<QString> section = RegFileDocument::SectionPath(RegistryRoot::CurrentUser, key);
    return section ? doc.Value(*section, value) : std::nullopt;
}

// The file the backend writes for doc: it must parse to the same values and
// be written back unchanged.
RegFileDocument rewritten(const RegFileDocument& doc)
{
    const QByteArray bytes = doc.Serialize();
    std::optional<RegFileDocument> again = RegFileDocument::Parse(bytes);
    if (!again || again->Serialize() != bytes) std::abort();
    return *again;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    // Not a registry export: the backend reads nothing from it and never
    // rewrites it.
    const std::optional<RegFileDocument> doc = RegFileDocument::Parse(bytes);
    if (!doc) return 0;

    QString key, value;
    firstNames(bytes, key, value);
    const QString fixedKey = QStringLiteral("Software\\Vantorel\\Quarlo\\Settings");
    const QString fixedValue = QStringLiteral("Max Queries");
    const std::optional<RegistryValue> found = readValue(*doc, key, value);
    const std::optional<RegistryValue> fixed = readValue(*doc, fixedKey, fixedValue);

    const QString fuzzKey = QStringLiteral("Software\\Fuzz");
    const RegistryValue written = RegistryValue::fromString(QStringLiteral("fuzz"));
    RegFileDocument updated = *doc;
    updated.SetValue(*RegFileDocument::SectionPath(RegistryRoot::CurrentUser, fuzzKey), QStringLiteral("v"), written);
    const RegFileDocument reread = rewritten(updated);
    // No value the file held is lost or changed by the write.
    for (const RegFileDocument::Section& section : doc->sections) {
        if (section.damagedHeader) continue;
        for (const RegFileDocument::Entry& entry : section.entries) {
            if (entry.kind != RegFileDocument::Entry::Kind::Value) continue;
            const std::optional<RegistryValue> before = doc->Value(section.path, entry.name);
            const std::optional<RegistryValue> after = reread.Value(section.path, entry.name);
            if (after != before && after != written) std::abort();
        }
    }
    for (const RegFileDocument* after : {static_cast<const RegFileDocument*>(&updated), &reread}) {
        if (readValue(*after, fuzzKey, QStringLiteral("v")) != written) std::abort();
        // The value read first may be the one just written (the same key
        // and name in another spelling); otherwise the write must not touch it.
        const std::optional<RegistryValue> again = readValue(*after, key, value);
        if (again != found && again != written) std::abort();
        if (readValue(*after, fixedKey, fixedValue) != fixed) std::abort();
    }

    // A value under the names the input uses, as the backend would store it.
    const std::optional<QString> section = RegFileDocument::SectionPath(RegistryRoot::CurrentUser, key);
    if (!section || !RegFileDocument::IsWritableText(value)) return 0;
    const RegistryValue binary = RegistryValue::fromBinary(bytes.left(64));
    RegFileDocument named = reread;
    named.SetValue(*section, value, binary);
    const RegFileDocument stored = rewritten(named);
    if (stored.Value(*section, value) != binary) std::abort();
    const std::optional<RegistryValue> fixedAfter = readValue(stored, fixedKey, fixedValue);
    if (fixedAfter != fixed && fixedAfter != binary) std::abort();
    return 0;
}
