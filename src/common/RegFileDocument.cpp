#include "common/RegFileDocument.h"

#include <QStringDecoder>
#include <QtEndian>

// What the parser accepts, and what makes a file unusable.
//
// A file is rewritten with every line it held, so a rewrite can never hold
// less than the file held. Lines are:
//   - blank lines (dropped; sections are re-separated by one blank line),
//   - comments starting with ';' (kept where they were),
//   - the "Windows Registry Editor Version 5.00" or "REGEDIT4" line before the
//     first section (optional, since a hand-made file may lack it; rewrites
//     always start with the 5.00 line),
//   - section headers "[HKEY_...]" or "[-HKEY_...]" of any root (kept even
//     when they belong to another root's file; a key's second header is
//     merged into its first),
//   - value lines "name"=data and @=data inside a section. Data the program
//     has no type for (hex(2):..., "x"=-, malformed numbers) is kept as opaque
//     text and reads as missing. A later line for the same value replaces
//     the earlier one, as it would when the file is imported, so only the
//     line that counts is written back.
//   - anything else (damage, an unclosed string, bytes that are not UTF-8, a
//     value before any section, binary data continued with "\" onto a line
//     that is not hex data) is kept byte for byte where it was and means
//     nothing. A header that cannot be understood starts a damaged section:
//     its lines are kept the same way, so its values are never taken for the
//     previous key's.
// A file is unusable, and never rewritten, when it is not a registry export
// at all: its first line (after blank lines and comments) is neither the
// header line nor a section header, as for a UTF-16 export, a binary file or
// an INI file. (Files that are not regular files or are too large are never
// read at all: RegFileBackend refuses them.)

namespace quarlo {

namespace {

using Document = RegFileDocument;
using Entry = RegFileDocument::Entry;
using Section = RegFileDocument::Section;

const QLatin1StringView kHeader("Windows Registry Editor Version 5.00");
const QLatin1StringView kOldHeader("REGEDIT4");
const QByteArray kBom("\xEF\xBB\xBF");

QString Fold(const QString& s)
{
    return s.toCaseFolded();
}

// Separators at either end are ignored; an empty name between two separators
// makes the path invalid.
std::optional<QString> NormalizeKeyPath(QStringView path)
{
    qsizetype begin = 0;
    qsizetype end = path.size();
    while (begin < end && path[begin] == u'\\') ++begin;
    while (end > begin && path[end - 1] == u'\\') --end;
    const QStringView inner = path.sliced(begin, end - begin);
    if (inner.contains(u"\\\\")) return std::nullopt;
    return inner.toString();
}

QString SectionIndexKey(QStringView path)
{
    const std::optional<QString> normalized = NormalizeKeyPath(path);
    return Fold(normalized ? *normalized : path.toString());
}

// Characters a name or key path cannot hold in a line-based text file.
bool WritableText(const QString& s)
{
    return s.isValidUtf16() && !s.contains(QChar(u'\0')) && !s.contains(QChar(u'\n')) && !s.contains(QChar(u'\r'));
}

std::optional<QString> SectionPathFor(RegistryRoot root, const QString& keyPath)
{
    const QString rootName = RegistryRootName(root);
    if (rootName.isEmpty() || !WritableText(keyPath)) return std::nullopt;
    const std::optional<QString> key = NormalizeKeyPath(keyPath);
    if (!key) return std::nullopt;
    return key->isEmpty() ? rootName : rootName + QLatin1Char('\\') + *key;
}

struct Quoted {
    QString text;
    qsizetype end; // index just past the closing quote
};

// Only \\ and \" are escapes; any other backslash stands for itself.
std::optional<Quoted> ParseQuoted(QStringView s, qsizetype start)
{
    QString text;
    qsizetype i = start + 1;
    while (i < s.size()) {
        const QChar c = s[i];
        if (c == u'"') return Quoted{text, i + 1};
        if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
            text += s[i + 1];
            i += 2;
            continue;
        }
        text += c;
        ++i;
    }
    return std::nullopt;
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') return u - u'0';
    if (u >= u'a' && u <= u'f') return u - u'a' + 10;
    if (u >= u'A' && u <= u'F') return u - u'A' + 10;
    return -1;
}

std::optional<quint32> ParseHexNumber(QStringView s, qsizetype maxDigits)
{
    if (s.isEmpty() || s.size() > maxDigits) return std::nullopt;
    quint32 n = 0;
    for (QChar c : s) {
        const int d = HexDigit(c);
        if (d < 0) return std::nullopt;
        n = n * 16 + quint32(d);
    }
    return n;
}

// "01,02,ff" (spaces around the bytes allowed); empty is no bytes.
std::optional<QByteArray> ParseHexBytes(QStringView s)
{
    s = s.trimmed();
    QByteArray bytes;
    if (s.isEmpty()) return bytes;
    bytes.reserve(s.size() / 3 + 1);
    qsizetype pos = 0;
    for (;;) {
        qsizetype comma = s.indexOf(u',', pos);
        if (comma < 0) comma = s.size();
        const std::optional<quint32> byte = ParseHexNumber(s.sliced(pos, comma - pos).trimmed(), 2);
        if (!byte) return std::nullopt;
        bytes.append(char(*byte));
        if (comma == s.size()) return bytes;
        pos = comma + 1;
    }
}

QString Utf16LeToString(const QByteArray& bytes)
{
    QString s(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < s.size(); ++i) s[i] = QChar(qFromLittleEndian<quint16>(bytes.constData() + 2 * i));
    return s;
}

// Turns the data after '=' into a typed value, or leaves the entry opaque.
// False when the data is cut off (a string without its closing quote).
bool ClassifyData(QStringView data, Entry& entry)
{
    entry.kind = Entry::Kind::Opaque;
    if (data.startsWith(u'"')) {
        const std::optional<Quoted> q = ParseQuoted(data, 0);
        if (!q) return false;
        if (data.sliced(q->end).trimmed().isEmpty()) {
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromString(q->text);
        }
        return true;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        if (const auto n = ParseHexNumber(data.sliced(6).trimmed(), 8)) {
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromDWord(*n);
        }
        return true;
    }
    if (data.startsWith(u"hex:", Qt::CaseInsensitive)) {
        if (const auto bytes = ParseHexBytes(data.sliced(4))) {
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromBinary(*bytes);
        }
        return true;
    }
    if (data.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = data.indexOf(u"):");
        if (close < 0) return true;
        const auto type = ParseHexNumber(data.sliced(4, close - 4), 8);
        const auto bytes = ParseHexBytes(data.sliced(close + 2));
        if (!type || !bytes) return true;
        if (*type == 1 && bytes->size() % 2 == 0) { // REG_SZ in UTF-16LE
            QByteArray units = *bytes;
            if (units.endsWith(QByteArray(2, '\0'))) units.chop(2); // the terminator Windows stores with the text
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromString(Utf16LeToString(units));
        } else if (*type == 3) { // REG_BINARY spelt out
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromBinary(*bytes);
        } else if (*type == 4 && bytes->size() == 4) { // REG_DWORD, little-endian
            entry.kind = Entry::Kind::Value;
            entry.value = RegistryValue::fromDWord(qFromLittleEndian<quint32>(bytes->constData()));
        }
        return true;
    }
    return true;
}

qsizetype SkipSpaces(QStringView s, qsizetype pos)
{
    while (pos < s.size() && (s[pos] == u' ' || s[pos] == u'\t')) ++pos;
    return pos;
}

// One line of the file: its bytes, and its text when they are valid UTF-8
// without NULs.
struct Line {
    QByteArrayView raw;
    std::optional<QString> text;
};

// Parses the value starting at lines[i]; on success i is its last line.
std::optional<Entry> ParseValueEntry(const QList<Line>& lines, qsizetype& i)
{
    const QStringView t = QStringView(*lines[i].text).trimmed();
    Entry entry;
    qsizetype pos = 1;
    if (t.startsWith(u'"')) {
        const std::optional<Quoted> name = ParseQuoted(t, 0);
        if (!name) return std::nullopt;
        entry.name = name->text;
        pos = name->end;
    }
    pos = SkipSpaces(t, pos);
    if (pos >= t.size() || t[pos] != u'=') return std::nullopt;
    pos = SkipSpaces(t, pos + 1);

    entry.lines.append(*lines[i].text);
    QString data = t.sliced(pos).toString();
    // Binary data may be continued on following lines: "hex:01,02,\".
    qsizetype last = i;
    if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
        while (data.endsWith(u'\\')) {
            // Only hex digits continue a value, so a cut-off value can never
            // swallow the blank line, key or value written after it.
            if (++last >= lines.size() || !lines[last].text) return std::nullopt;
            const QStringView next = QStringView(*lines[last].text).trimmed();
            if (next.isEmpty() || HexDigit(next.front()) < 0) return std::nullopt;
            data.chop(1);
            data += next;
            entry.lines.append(*lines[last].text);
        }
    }
    if (!ClassifyData(data, entry)) return std::nullopt;
    i = last;
    return entry;
}

bool LooksLikeSectionPath(QStringView path)
{
    if (path.startsWith(u'-')) path = path.sliced(1);
    return path.startsWith(u"HKEY_", Qt::CaseInsensitive);
}

void AddEntry(Section& section, Entry entry)
{
    if (entry.kind == Entry::Kind::Comment || entry.kind == Entry::Kind::Damaged) {
        section.entries.append(std::move(entry));
        return;
    }
    const QString key = Fold(entry.name);
    const auto found = section.byName.constFind(key);
    if (found != section.byName.cend()) {
        // Keep the case of the name as first written, and its place.
        entry.name = section.entries[*found].name;
        section.entries[*found] = std::move(entry);
    } else {
        section.byName.insert(key, section.entries.size());
        section.entries.append(std::move(entry));
    }
}

qsizetype FindOrAddSection(Document& doc, const QString& path)
{
    const QString key = SectionIndexKey(path);
    const auto found = doc.byPath.constFind(key);
    if (found != doc.byPath.cend()) return *found;
    Section section;
    section.path = path;
    doc.sections.append(std::move(section));
    doc.byPath.insert(key, doc.sections.size() - 1);
    return doc.sections.size() - 1;
}

Entry DamagedLine(QByteArrayView raw)
{
    Entry entry;
    entry.kind = Entry::Kind::Damaged;
    entry.raw = raw.toByteArray();
    return entry;
}

QList<Line> SplitLines(QByteArrayView body, bool& crlf)
{
    QList<Line> lines;
    qsizetype start = 0;
    while (start < body.size()) {
        qsizetype nl = body.indexOf('\n', start);
        const bool last = nl < 0;
        if (last)
            nl = body.size();
        else if (lines.isEmpty())
            crlf = nl > 0 && body[nl - 1] == '\r';
        QByteArrayView raw = body.sliced(start, nl - start);
        if (raw.endsWith('\r')) raw.chop(1);
        Line line{raw, std::nullopt};
        if (!raw.contains('\0')) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            QString text = decoder.decode(raw);
            if (!decoder.hasError()) line.text = std::move(text);
        }
        lines.append(std::move(line));
        start = nl + 1;
    }
    return lines;
}

// Whether the first line that is neither blank nor a comment shows a
// registry export; a file without any such line is an empty store.
bool IsRegistryExport(const QList<Line>& lines)
{
    for (const Line& line : lines) {
        const QByteArrayView t = line.raw.trimmed();
        if (t.isEmpty() || t.startsWith(';')) continue;
        if (!line.text) return false;
        const QStringView text = QStringView(*line.text).trimmed();
        return text == kHeader || text == kOldHeader || (text.startsWith(u'[') && LooksLikeSectionPath(text.sliced(1)));
    }
    return true;
}

// Nothing when the bytes are not a registry export at all.
std::optional<Document> ParseDocument(const QByteArray& bytes)
{
    Document doc;
    QByteArrayView body(bytes);
    if (body.startsWith(kBom)) {
        doc.bom = true;
        body = body.sliced(kBom.size());
    }
    const QList<Line> lines = SplitLines(body, doc.crlf);
    if (!IsRegistryExport(lines)) return std::nullopt;

    bool headerAllowed = true;
    qsizetype current = -1;
    auto keep = [&](Entry entry) {
        if (current < 0)
            doc.preamble.append(std::move(entry));
        else
            AddEntry(doc.sections[current], std::move(entry));
    };
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].text) {
            keep(DamagedLine(lines[i].raw));
            continue;
        }
        const QStringView t = QStringView(*lines[i].text).trimmed();
        if (t.isEmpty()) continue;
        if (t.startsWith(u';')) {
            Entry comment;
            comment.lines.append(*lines[i].text);
            keep(std::move(comment));
            continue;
        }
        if (headerAllowed && (t == kHeader || t == kOldHeader)) {
            headerAllowed = false;
            continue;
        }
        if (t.startsWith(u'[')) {
            headerAllowed = false;
            const QStringView path = t.endsWith(u']') ? t.sliced(1, t.size() - 2) : QStringView();
            if (!path.isEmpty() && LooksLikeSectionPath(path)) {
                current = FindOrAddSection(doc, path.toString());
            } else {
                Section damaged;
                damaged.damagedHeader = lines[i].raw.toByteArray();
                doc.sections.append(std::move(damaged));
                current = doc.sections.size() - 1;
            }
            continue;
        }
        const bool inKey = current >= 0 && !doc.sections[current].damagedHeader;
        if (inKey && (t.startsWith(u'"') || t.startsWith(u'@'))) {
            if (std::optional<Entry> entry = ParseValueEntry(lines, i)) {
                AddEntry(doc.sections[current], std::move(*entry));
                continue;
            }
        }
        keep(DamagedLine(lines[i].raw));
    }
    return doc;
}

QString QuotedText(const QString& s)
{
    QString out;
    out.reserve(s.size() + 2);
    out += u'"';
    for (QChar c : s) {
        if (c == u'\\' || c == u'"') out += u'\\';
        out += c;
    }
    out += u'"';
    return out;
}

QString HexList(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(','));
}

QString FormatData(const RegistryValue& value)
{
    switch (value.type) {
    case RegistryValue::Type::String: {
        // Line breaks and NULs cannot appear inside a quoted string; the UTF-16
        // form holds any text exactly.
        if (WritableText(value.text)) return QuotedText(value.text);
        QByteArray units(value.text.size() * 2 + 2, '\0');
        for (qsizetype i = 0; i < value.text.size(); ++i)
            qToLittleEndian<quint16>(value.text[i].unicode(), units.data() + 2 * i);
        return QStringLiteral("hex(1):") + HexList(units);
    }
    case RegistryValue::Type::DWord: return QStringLiteral("dword:%1").arg(value.dword, 8, 16, QLatin1Char('0'));
    case RegistryValue::Type::Binary: return QStringLiteral("hex:") + HexList(value.binary);
    }
    return QString();
}

// A line kept as read. The reader takes one CR before the LF as part of the
// line break, so a line that itself ends in CR gets one more to take, or a
// second rewrite would lose it.
void AppendLine(QByteArray& out, QByteArrayView line, QByteArrayView nl)
{
    out += line;
    if (line.endsWith('\r') && !nl.startsWith('\r')) out += '\r';
    out += nl;
}

void AppendEntry(QByteArray& out, const Entry& entry, QByteArrayView nl)
{
    if (entry.kind == Entry::Kind::Damaged) {
        AppendLine(out, entry.raw, nl);
        // Blank lines are not kept, so whatever follows a damaged line
        // ending in "\\" may not be what followed it in the file; a blank
        // line keeps it from continuing into that.
        if (entry.raw.trimmed().endsWith('\\')) out += nl;
        return;
    }
    if (!entry.lines.isEmpty()) {
        for (const QString& line : entry.lines) AppendLine(out, line.toUtf8(), nl);
        return;
    }
    out += entry.name.isEmpty() ? QByteArrayLiteral("@") : QuotedText(entry.name).toUtf8();
    out += '=';
    out += FormatData(entry.value).toUtf8();
    out += nl;
}

QByteArray SerializeDocument(const Document& doc)
{
    const QByteArrayView nl(doc.crlf ? "\r\n" : "\n");
    QByteArray out = doc.bom ? kBom : QByteArray();
    out += QByteArrayView(kHeader.data(), kHeader.size());
    out += nl;
    out += nl;
    for (const Entry& entry : doc.preamble) AppendEntry(out, entry, nl);
    if (!doc.preamble.isEmpty()) out += nl;
    for (const Section& section : doc.sections) {
        if (section.damagedHeader) {
            AppendLine(out, *section.damagedHeader, nl);
        } else {
            out += '[';
            out += section.path.toUtf8();
            out += ']';
            out += nl;
        }
        for (const Entry& entry : section.entries) AppendEntry(out, entry, nl);
        out += nl;
    }
    return out;
}

void SetValueIn(Document& doc, const QString& sectionPath, const QString& name, const RegistryValue& value)
{
    Section& section = doc.sections[FindOrAddSection(doc, sectionPath)];
    Entry entry;
    entry.kind = Entry::Kind::Value;
    entry.name = name;
    entry.value = value;
    AddEntry(section, std::move(entry));
}

} // namespace

std::optional<RegFileDocument> RegFileDocument::Parse(const QByteArray& bytes)
{
    return ParseDocument(bytes);
}

QByteArray RegFileDocument::Serialize() const
{
    return SerializeDocument(*this);
}

std::optional<RegistryValue> RegFileDocument::Value(const QString& sectionPath, const QString& name) const
{
    const auto section = byPath.constFind(Fold(sectionPath));
    if (section == byPath.cend()) return std::nullopt;
    const Section& s = sections[*section];
    const auto entry = s.byName.constFind(Fold(name));
    if (entry == s.byName.cend() || s.entries[*entry].kind != Entry::Kind::Value) return std::nullopt;
    return s.entries[*entry].value;
}

void RegFileDocument::SetValue(const QString& sectionPath, const QString& name, const RegistryValue& value)
{
    SetValueIn(*this, sectionPath, name, value);
}

std::optional<QString> RegFileDocument::SectionPath(RegistryRoot root, const QString& keyPath)
{
    return SectionPathFor(root, keyPath);
}

bool RegFileDocument::IsWritableText(const QString& text)
{
    return WritableText(text);
}

} // namespace quarlo
