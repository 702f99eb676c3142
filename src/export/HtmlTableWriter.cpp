#include "export/HtmlTableWriter.h"

#include "export/DisplayWidth.h"

#include <QDateTime>
#include <QUrl>

#include <algorithm>

namespace quarlo {

namespace {

// Deeper levels share the last indentation class; the grid has three.
constexpr int MaxIndentLevel = 31;
// A column's share of the page grows with its longest text up to this many
// characters; a longer TXT text wraps instead of squeezing the rest.
constexpr int kMaxShareCharacters = 60;

int columnCount(const TableSnapshot& s)
{
    qsizetype n = s.headers.size();
    for (const SnapshotRow& row : s.rows) n = std::max<qsizetype>(n, qsizetype(row.cells.size()));
    return int(n);
}

int indentLevel(int level)
{
    return std::clamp(level, 0, MaxIndentLevel);
}

// The tree column carries the grid's indentation as leading blanks; the
// page indents by level instead.
QStringView withoutIndent(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') ++i;
    return text.mid(i);
}

// Appends text as HTML character data (also safe inside a quoted
// attribute). Clean runs are appended in one piece so long TXT texts cost
// one copy.
void appendEscaped(QString& out, QStringView text, bool lineBreaks = true)
{
    const qsizetype n = text.size();
    qsizetype run = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u >= 0x20 && u != u'&' && u != u'<' && u != u'>' && u != u'"' && u != u'\'' && !(u >= 0x7f && u <= 0x9f))
            continue;
        out.append(text.mid(run, i - run));
        run = i + 1;
        switch (u) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\'': out += u"&#39;"; break;
        case u'\t': out += QChar(u'\t'); break;
        case u'\r':
            if (i + 1 < n && text[i + 1] == u'\n') break; // the LF writes the break
            [[fallthrough]];
        case u'\n': out += lineBreaks ? u"<br>" : u" "; break;
        default: break; // a dropped control character
        }
    }
    out.append(text.mid(run));
}

// The address a cell may link to, ready for an attribute; empty when the
// link is not plain http(s). javascript:, data: and file: addresses in a
// zone's answer must not become clickable.
QString webLink(const QString& link)
{
    const QString t = link.trimmed();
    if (!t.startsWith(u"http://", Qt::CaseInsensitive) && !t.startsWith(u"https://", Qt::CaseInsensitive)) return {};
    const QUrl url(t);
    if (!url.isValid() || url.host().isEmpty()) return {};
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https") return {};
    return QString::fromLatin1(url.toEncoded());
}

void appendColor(QString& out, QStringView property, const QColor& color)
{
    if (!color.isValid() || color.alpha() == 0) return;
    out += property;
    out += u':';
    out += color.name(QColor::HexRgb);
    out += u';';
}

// The cell's text: leading blanks (the grid's indentation) stay outside
// the underline and the link; a link covers the web address alone, so a
// text around it (or a formula holding it) stays plain text.
void appendCellText(QString& out, const SnapshotCell* cell, QStringView text)
{
    qsizetype blanks = 0;
    while (blanks < text.size() && text[blanks] == u' ') ++blanks;
    out.append(text.left(blanks));
    text = text.mid(blanks);
    const QString href = cell ? webLink(cell->link) : QString();
    const qsizetype at = href.isEmpty() ? -1 : text.indexOf(cell->link);
    const bool underline = cell && cell->underline && !text.isEmpty();
    if (underline) out += u"<span class=\"u\">";
    if (at < 0) {
        appendEscaped(out, text);
    } else {
        appendEscaped(out, text.left(at));
        out += u"<a href=\"";
        appendEscaped(out, href, false);
        out += u"\">";
        appendEscaped(out, text.mid(at, cell->link.size()));
        out += u"</a>";
        appendEscaped(out, text.mid(at + cell->link.size()));
    }
    if (underline) out += u"</span>";
}

void appendCell(QString& out, const SnapshotCell* cell, QStringView text, int level, bool first)
{
    out += u"<td";
    if (first) {
        out += u" class=\"l";
        out += QString::number(indentLevel(level));
        out += u'"';
    }
    if (cell) {
        const qsizetype styleStart = out.size();
        out += u" style=\"";
        const qsizetype bodyStart = out.size();
        appendColor(out, u"color", cell->color);
        appendColor(out, u"background-color", cell->background);
        if (cell->bold) out += u"font-weight:bold;";
        if (out.size() == bodyStart)
            out.truncate(styleStart);
        else
            out += u'"';
    }
    out += u'>';
    appendCellText(out, cell, text);
    out += u"</td>";
}

QString titleOf(const ExportLayout& layout)
{
    return layout.title.trimmed().isEmpty() ? layout.programName : layout.title;
}

QString programLine(const ExportLayout& layout)
{
    return (layout.programName + u' ' + layout.programVersion).trimmed();
}

QString buildHtml(const TableSnapshot& s, const ExportLayout& layout)
{
    const int cols = columnCount(s);
    int maxLevel = 0;
    qsizetype textSize = 0;
    for (const SnapshotRow& row : s.rows) {
        maxLevel = std::max(maxLevel, indentLevel(row.level));
        for (const SnapshotCell& c : row.cells) textSize += c.text.size();
    }

    QString out;
    out.reserve(4096 + textSize + qsizetype(s.rows.size()) * (48 + cols * 40));
    const QString title = titleOf(layout);

    out += u"<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
    if (!layout.programName.isEmpty()) {
        out += u"<meta name=\"generator\" content=\"";
        appendEscaped(out, programLine(layout), false);
        out += u"\">\n";
    }
    out += u"<title>";
    appendEscaped(out, title, false);
    // pre-wrap keeps blanks and tabs of TXT texts; bidi plaintext gives each
    // cell the direction of its own text, so right-to-left answers read right.
    out += u"</title>\n<style>\n"
           u"body{font-family:sans-serif;font-size:10pt;margin:1em;}\n"
           u"h1{font-size:1.5em;margin:0 0 .3em 0;}\n"
           u"h2{font-size:1.2em;font-weight:normal;margin:0 0 .5em 0;}\n"
           u"table{border-collapse:collapse;width:100%;table-layout:fixed;}\n"
           u"th,td{border:1px solid #c8c8c8;padding:2px 4px;vertical-align:top;text-align:start;"
           u"white-space:pre-wrap;overflow-wrap:anywhere;unicode-bidi:plaintext;}\n"
           u"th{background-color:#ececec;}\n"
           u"a{color:inherit;}\n"
           u".u{text-decoration:underline;}\n"
           u".footer{margin-top:1em;}\n"
           u".program{color:#808080;font-size:8pt;}\n";
    for (int level = 0; level <= maxLevel; ++level)
        out += QStringLiteral("td.l%1{padding-left:%2em;}\n").arg(level).arg(0.3 + 1.5 * level);
    out += u"</style>\n</head>\n<body>\n";

    out += u"<h1>";
    appendEscaped(out, title);
    out += u"</h1>\n";
    if (!layout.subTitle.trimmed().isEmpty()) {
        out += u"<h2>";
        appendEscaped(out, layout.subTitle);
        out += u"</h2>\n";
    }
    if (!layout.paragraph.trimmed().isEmpty()) {
        out += u"<p class=\"paragraph\">";
        appendEscaped(out, layout.paragraph);
        out += u"</p>\n";
    }

    out += u"<table>\n";
    if (cols > 0) {
        // Proportions from the texts themselves (the longest target,
        // reason, address), whatever the window's widths were.
        const QList<int> widths = ContentColumnWidths(s, kMaxShareCharacters);
        qint64 total = 0;
        for (int i = 0; i < cols; ++i) total += widths.value(i, 1);
        out += u"<colgroup>";
        for (int i = 0; i < cols; ++i) {
            const double pct = 100.0 * widths.value(i, 1) / double(std::max<qint64>(total, 1));
            out += u"<col style=\"width:";
            out += QString::number(pct, 'f', 2);
            out += u"%\">";
        }
        out += u"</colgroup>\n<thead><tr>";
        for (int i = 0; i < cols; ++i) {
            out += u"<th>";
            if (i < s.headers.size()) appendEscaped(out, s.headers[i]);
            out += u"</th>";
        }
        out += u"</tr></thead>\n";
    }
    out += u"<tbody>\n";
    for (const SnapshotRow& row : s.rows) {
        out += u"<tr>";
        for (int i = 0; i < cols; ++i) {
            const SnapshotCell* cell = i < int(row.cells.size()) ? &row.cells[size_t(i)] : nullptr;
            QStringView text = cell ? QStringView(cell->text) : QStringView();
            if (i == 0) text = withoutIndent(text);
            appendCell(out, cell, text, row.level, i == 0);
        }
        out += u"</tr>\n";
    }
    out += u"</tbody>\n</table>\n";

    if (!layout.footer.trimmed().isEmpty()) {
        out += u"<p class=\"footer\">";
        appendEscaped(out, layout.footer);
        out += u"</p>\n";
    }
    const QString program = programLine(layout);
    if (!program.isEmpty()) {
        out += u"<p class=\"program\">";
        appendEscaped(out, program);
        out += u"</p>\n";
    }
    out += u"</body>\n</html>\n";
    return out;
}

// Quoted-printable with CRLF hard breaks for the LF line ends of the page.
// Encoded lines stay within 76 characters: a soft break "=" needs the last
// column, an escape "=XX" is never split, and a space or tab before a line
// end is escaped because mail transports may strip it.
QByteArray quotedPrintable(const QByteArray& in)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(in.size() + in.size() / 16 + 64);
    qsizetype lineLen = 0;
    const qsizetype n = in.size();
    const char* d = in.constData();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(d[i]);
        if (c == '\n') {
            out += "\r\n";
            lineLen = 0;
            continue;
        }
        const bool atLineEnd = i + 1 == n || d[i + 1] == '\n';
        const bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !atLineEnd);
        const int len = literal ? 1 : 3;
        if (lineLen + len > (atLineEnd ? 76 : 75)) {
            out += "=\r\n";
            lineLen = 0;
        }
        if (literal) {
            out += char(c);
        } else {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        lineLen += len;
    }
    return out;
}

// The Subject header: plain when short printable ASCII, else RFC 2047
// encoded-words folded onto continuation lines. Control characters become
// spaces so a title cannot add header lines.
QByteArray subjectHeader(const QString& raw)
{
    QString text = raw;
    for (QChar& c : text)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7f && c.unicode() <= 0x9f)) c = u' ';
    text = text.simplified();
    if (text.isEmpty()) return {};

    const bool ascii = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x7f; });
    if (ascii && text.size() + 9 <= 78 && !text.contains(u"=?")) return "Subject: " + text.toLatin1() + "\r\n";

    // At most 39 bytes per word: its base64 is 52 characters, the whole
    // word 64, so "Subject: " plus the first word stays within 78.
    QByteArray out = "Subject:";
    QByteArray chunk;
    auto flush = [&] {
        out += out.endsWith(':') ? " " : "\r\n ";
        out += "=?utf-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = 1;
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) len = 2;
        const QByteArray bytes = QStringView(text).mid(i, len).toUtf8();
        i += len - 1;
        if (chunk.size() + bytes.size() > 39) flush();
        chunk += bytes;
    }
    if (!chunk.isEmpty()) flush();
    return out + "\r\n";
}

} // namespace

QByteArray HtmlTableWriter::Html(const TableSnapshot& snapshot, const ExportLayout& layout)
{
    return buildHtml(snapshot, layout).toUtf8();
}

QByteArray HtmlTableWriter::Mhtml(const TableSnapshot& snapshot, const ExportLayout& layout)
{
    const QByteArray body = quotedPrintable(Html(snapshot, layout));

    // Quoted-printable never yields "=_" (every "=" starts an escape or a
    // soft break), so the first candidate always fits; the check keeps
    // that true should the encoding ever change.
    QByteArray boundary;
    for (int n = 0;; ++n) {
        boundary = "----=_QuarloPart_" + QByteArray::number(n);
        if (!body.contains(boundary)) break;
    }

    QByteArray out;
    out.reserve(body.size() + 1024);
    out += "MIME-Version: 1.0\r\n";
    out += subjectHeader(titleOf(layout));
    out += "Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    out += "Content-Type: multipart/related;\r\n\ttype=\"text/html\";\r\n\tboundary=\"" + boundary + "\"\r\n";
    out += "\r\nThis is a multi-part message in MIME format.\r\n\r\n";
    out += "--" + boundary + "\r\n";
    out += "Content-Type: text/html; charset=\"utf-8\"\r\n";
    out += "Content-Transfer-Encoding: quoted-printable\r\n";
    out += "Content-Location: file:///quarlo-results.html\r\n\r\n";
    out += body;
    // The CRLF before a delimiter belongs to the delimiter, not to the body.
    out += "\r\n--" + boundary + "--\r\n";
    return out;
}

} // namespace quarlo
