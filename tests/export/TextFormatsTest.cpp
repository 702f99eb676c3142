#include "export/CsvTableWriter.h"
#include "export/HtmlTableWriter.h"
#include "export/TextTableWriter.h"
#include "support/ReaderProcess.h"
#include "support/SnapshotRows.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

QJsonValue pythonJson(const char* script, const QByteArray& input)
{
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(runReader("python3", {"-c", QString::fromUtf8(script)}, input), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object());
}

const QString LongTxt = [] {
    QString s;
    while (s.size() < 65536) s += QStringLiteral("v=spf1 include:_spf.example.org ~all \"q\" <x> & ");
    return s.left(65536);
}();

// Texts that break naive writers, with what a reader must get back: those
// kept as they are, then those a writer changes.
struct Tricky {
    QString text;
    QString expected;
};
std::vector<Tricky> tricky(const QStringList& kept, const std::vector<Tricky>& changed)
{
    std::vector<Tricky> all;
    for (const QString& text : kept) all.push_back({text, text});
    all.insert(all.end(), changed.begin(), changed.end());
    return all;
}
// The third column of one row each.
const std::vector<Tricky> TrickyTexts = tricky(
    {"AT&T &amp; co", "say \"hi\" 'there'", QString::fromUtf8("\u05E9\u05DC\u05D5\u05DD world"), "tab\there",
     "line1\nline2", "<script>alert(1)</script>", "x = 3D =20", LongTxt},
    {{"crlf\r\nnext", "crlf\nnext"}, {QString("ctl") + QChar(1) + QChar(0x7f) + QChar(0x85) + "gone", "ctlgone"}});

TableSnapshot trickySnapshot()
{
    TableSnapshot s;
    s.headers = {"Target <&>", "Status", "Text \"TXT\""};
    s.columnWidths = {100, 300, 400};
    int i = 0;
    for (const Tricky& t : TrickyTexts)
        s.rows.push_back(textRow(i % 3, {QString("row%1").arg(i), "listed", t.text}, i % 2 == 0)), ++i;
    return s;
}

ExportLayout layout()
{
    ExportLayout l;
    l.title = "Results <2026> & \"all\"";
    l.subTitle = "Sub";
    l.paragraph = "First\nSecond";
    l.footer = "Foot";
    l.programName = "Quarlo";
    l.programVersion = "1.2.3";
    return l;
}

// Table cells (th and td) per row with <br> as a line break, link targets,
// column widths, tag names and the headings.
const char* HtmlReader = R"PY(
import sys, json
from html.parser import HTMLParser
class P(HTMLParser):
    def __init__(s):
        super().__init__(convert_charrefs=True)
        s.rows, s.cols, s.tags, s.cell, s.text = [], [], set(), None, {}
        s.where = None
    def handle_starttag(s, tag, attrs):
        a = dict(attrs); s.tags.add(tag)
        if tag == 'tr': s.rows.append([])
        elif tag in ('td', 'th'):
            s.cell = {'text': '', 'href': None, 'class': a.get('class'), 'style': a.get('style') or ''}
            s.rows[-1].append(s.cell)
        elif tag == 'br': s.handle_data('\n')
        elif tag == 'a' and s.cell is not None: s.cell['href'] = a.get('href')
        elif tag == 'col': s.cols.append(a.get('style'))
        elif tag == 'meta' and a.get('name') == 'generator': s.text['generator'] = a.get('content')
        elif tag in ('title', 'h1', 'h2', 'p'): s.where = a.get('class') or tag; s.text[s.where] = ''
    def handle_startendtag(s, tag, attrs): s.handle_starttag(tag, attrs)
    def handle_endtag(s, tag):
        if tag in ('td', 'th'): s.cell = None
        if tag in ('title', 'h1', 'h2', 'p'): s.where = None
    def handle_data(s, d):
        if s.cell is not None: s.cell['text'] += d
        elif s.where: s.text[s.where] += d
p = P(); p.feed(sys.stdin.buffer.read().decode('utf-8')); p.close()
print(json.dumps({'rows': p.rows, 'cols': p.cols, 'tags': sorted(p.tags), 'text': p.text}))
)PY";

} // namespace

TEST(TextFormatsHtml, EveryRowAndTextSurvivesAnHtmlParser)
{
    const TableSnapshot s = trickySnapshot();
    ExportLayout l = layout();
    l.programName = "Quarlo \"Q\" <&>";
    const QByteArray html = HtmlTableWriter::Html(s, l);
    const QJsonObject doc = pythonJson(HtmlReader, html).toObject();
    const QJsonArray rows = doc["rows"].toArray();

    ASSERT_EQ(rows.size(), qsizetype(s.rows.size()) + 1) << "hidden rows belong in the page too";
    const auto texts = [](const QJsonValue& row) {
        QStringList out;
        for (const QJsonValue& cell : row.toArray()) out << cell["text"].toString();
        return out;
    };
    EXPECT_EQ(texts(rows[0]), s.headers);
    for (size_t i = 0; i < TrickyTexts.size(); ++i)
        EXPECT_EQ(texts(rows[qsizetype(i) + 1]),
                  QStringList({s.rows[i].cells[0].text, "listed", TrickyTexts[i].expected}))
            << "row " << i;

    // The program's name is escaped inside an attribute (generator) too.
    QStringList headings;
    for (const char* part : {"title", "h1", "paragraph", "footer", "program", "generator"})
        headings << doc["text"][part].toString();
    EXPECT_EQ(headings,
              QStringList({layout().title, layout().title, "First\nSecond", "Foot", l.programName + " 1.2.3",
                           l.programName + " 1.2.3"}));
    EXPECT_FALSE(html.toLower().contains("<script")) << "cell text must not become markup";
    for (const char* tag : {"script", "img", "link", "iframe"})
        EXPECT_FALSE(doc["tags"].toArray().contains(QString(tag))) << tag;
    // Shares from the texts, not the window's widths: "Target <&>" (10
    // characters), "Status"/"listed" (6), the long TXT text at the cap (60).
    EXPECT_EQ(doc["cols"].toArray(), QJsonArray({"width:13.16%", "width:7.89%", "width:78.95%"}));
}

// Only web addresses become links; cells keep their looks, and each level
// has a class of its own (the grid's indentation blanks go).
TEST(TextFormatsHtml, LinksLooksAndLevels)
{
    struct Case {
        QString link;
        QString href; // empty: no link; else the exact href a browser gets
    };
    const std::vector<Case> cases = {
        {"https://example.org/q?ip=127.0.0.2&zone=x", "https://example.org/q?ip=127.0.0.2&zone=x"},
        {"  HTTP://Example.org/a  ", "http://example.org/a"},
        {"http://x.test/\"><script>alert(1)</script>", "http://x.test/%22%3E%3Cscript%3Ealert(1)%3C/script%3E"},
        {"javascript:alert(1)", ""},
        {"JavaScript:alert(1)//http://x", ""},
        {"data:text/html,<b>x</b>", ""},
        {"https://", ""},
        {"", ""},
    };
    TableSnapshot s;
    s.headers = {"A", "B"};
    for (const Case& c : cases) {
        SnapshotRow r = textRow(0, {"open " + c.link, ""});
        r.cells[0].link = c.link;
        s.rows.push_back(r);
    }
    const size_t n = cases.size();
    s.rows.insert(s.rows.end(),
                  {textRow(0, {"  addr", "x"}), textRow(1, {"    srv", "y"}), textRow(2, {"      ans", "z"}),
                   textRow(1, {"srv2", "w"})});
    SnapshotCell& styled = s.rows[n + 1].cells[1];
    styled.color = QColor(255, 0, 0);
    styled.background = QColor(0, 0x80, 0);
    styled.bold = styled.underline = true;
    s.rows.push_back(textRow(1, {"srv3", "   underlined"}));
    s.rows.back().cells[1].underline = true;
    const QByteArray html = HtmlTableWriter::Html(s, {});
    EXPECT_FALSE(html.toLower().contains("<script"));
    const QJsonArray rows = pythonJson(HtmlReader, html).toObject()["rows"].toArray();
    ASSERT_EQ(rows.size(), qsizetype(s.rows.size()) + 1);

    QStringList links, expected;
    for (size_t i = 0; i < n; ++i) {
        const QJsonObject cell = rows[qsizetype(i) + 1].toArray()[0].toObject();
        links << cell["text"].toString() + " -> " + (cell["href"].isNull() ? "no link" : cell["href"].toString());
        expected << "open " + cases[i].link + " -> " + (cases[i].href.isEmpty() ? "no link" : cases[i].href);
    }
    EXPECT_EQ(links, expected);

    auto cell = [&](size_t r, int c) { return rows[qsizetype(n + r) + 1].toArray()[c].toObject(); };
    EXPECT_EQ(cell(1, 0)["text"].toString(), "srv") << "the grid's indentation blanks go";
    EXPECT_EQ(cell(1, 0)["class"], cell(3, 0)["class"]);
    EXPECT_NE(cell(0, 0)["class"], cell(1, 0)["class"]);
    EXPECT_NE(cell(1, 0)["class"], cell(2, 0)["class"]);
    const QString style = cell(1, 1)["style"].toString();
    for (const char* part : {"color:#ff0000", "background-color:#008000", "font-weight:bold"})
        EXPECT_TRUE(style.contains(part)) << part << " in " << style.toStdString();
    EXPECT_EQ(cell(0, 1)["style"].toString(), "");
    // The underline covers the text, not the blanks that indent it.
    EXPECT_TRUE(html.contains("<span class=\"u\">y</span>"));
    EXPECT_TRUE(html.contains(">   <span class=\"u\">underlined</span></td>")) << html.right(400).toStdString();
    EXPECT_EQ(cell(4, 1)["text"].toString(), "   underlined");
}

TEST(TextFormatsMhtml, DecodesToThePageWithEncodedSubject)
{
    const char* reader = R"PY(
import sys, json, base64, email
from email.header import decode_header, make_header
m = email.message_from_bytes(sys.stdin.buffer.read())
parts = m.get_payload()
p = parts[0]
print(json.dumps({'boundary': m.get_boundary(), 'subject': str(make_header(decode_header(m['Subject']))),
  'shape': [m.get_content_type(), m.get_param('type'), len(parts), p.get_content_type(), p.get_content_charset(),
            p['Content-Transfer-Encoding'], bool(p['Content-Location']), m['Bcc'] is None, len(m.defects) + len(p.defects)],
  'body': base64.b64encode(p.get_payload(decode=True)).decode()}))
)PY";
    const TableSnapshot s = trickySnapshot();
    // The subject reads as the title; a line break in it cannot start a header.
    const QStringList titles = {"Results", QString::fromUtf8("Ergebnisse f\u00FCr \u05E9\u05DC\u05D5\u05DD \U0001F600"),
                                QString::fromUtf8("\u00E4\U0001F600").repeated(40), QString("x").repeated(100),
                                "evil\r\nBcc: victim@example.org"};
    for (const QString& title : titles) {
        SCOPED_TRACE(title.left(20).toStdString());
        const QString subject = QString(title).replace("\r\n", " ");
        ExportLayout l = layout();
        l.title = title;
        const QByteArray mhtml = HtmlTableWriter::Mhtml(s, l);
        const QJsonObject m = pythonJson(reader, mhtml).toObject();

        // One HTML part with a location, no injected Bcc header, no defects.
        EXPECT_EQ(
            m["shape"].toArray(),
            QJsonArray({"multipart/related", "text/html", 1, "text/html", "utf-8", "quoted-printable", true, true, 0}));
        EXPECT_EQ(m["subject"].toString(), subject);
        // Quoted-printable text lines end in CRLF; the page's own are LF.
        const QByteArray decoded = QByteArray::fromBase64(m["body"].toString().toLatin1());
        EXPECT_TRUE(QByteArray(decoded).replace("\r\n", "\n") == HtmlTableWriter::Html(s, l))
            << "decoded page differs, " << decoded.size() << " bytes";

        const QByteArray boundary = m["boundary"].toString().toLatin1();
        ASSERT_FALSE(boundary.isEmpty());
        EXPECT_EQ(mhtml.count(boundary), 3) << "in the header, the delimiter and the close only";
        EXPECT_EQ(mhtml.count('\r'), mhtml.count("\r\n")) << "no bare CR";
        // Header lines within 78 characters, quoted-printable ones within 76.
        const QList<QByteArray> lines = mhtml.split('\n');
        bool inBody = false;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray& line = lines[i];
            if (i + 1 < lines.size()) {
                ASSERT_TRUE(line.endsWith('\r')) << "bare LF in line " << i;
            }
            if (line.startsWith("--" + boundary)) inBody = false;
            ASSERT_LE(line.size() - (line.endsWith('\r') ? 1 : 0), inBody ? 76 : 78)
                << "line " << i << ": " << line.left(90).toStdString();
            if (line.startsWith("Content-Location:")) inBody = true;
        }
    }
}

TEST(TextFormatsCsv, RoundTripsThroughAStrictCsvReaderWithFormulasDefused)
{
    const char* reader = R"PY(
import sys, csv, io, json
data = sys.stdin.buffer.read()
if not data.startswith(b'\xef\xbb\xbf'): sys.exit('no byte order mark')
rows = list(csv.reader(io.StringIO(data[3:].decode('utf-8'), newline=''), strict=True))
print(json.dumps(rows))
)PY";
    const std::vector<Tricky> texts = tricky(
        {"plain", "comma, here", "quote \"q\" \"\"", "crlf\r\nline", "cr\ronly", " leading",
         QString::fromUtf8("\u05E9\u05DC\u05D5\u05DD, \u00FC"), "", "-1", LongTxt, "+3.5", "a=1"},
        {
            {QString("nul") + QChar(0) + QChar(1) + "x", "nulx"},
            // Direction controls would make the cell read "exe.txt"; the Hebrew above keeps its own direction.
            {QString::fromUtf8("\u202Eexe.txt\u202C \u2066a\u2069\u061C\u200E\u200F\u202A\u202B\u202D\u2067\u2068b"),
             "exe.txt ab"},
            // A spreadsheet would run these as formulas: they are read as text.
            {"=HYPERLINK(\"http://x.test\",\"y\")", "'=HYPERLINK(\"http://x.test\",\"y\")"},
            {"+cmd|' /C calc'!A0", "'+cmd|' /C calc'!A0"},
            {"-2+3+cmd|' /C calc'!A0", "'-2+3+cmd|' /C calc'!A0"},
            {"@SUM(A1:A9)", "'@SUM(A1:A9)"},
            // Blanks, a tab or a line end in front do not hide a formula.
            {"  =1+1", "'  =1+1"},
            {"\t=1+1", "'\t=1+1"},
            {"\r=1+1", "'\r=1+1"},
        });
    TableSnapshot s;
    s.headers = {"Target", "Status, reason", "Text \"TXT\""};
    for (const Tricky& t : texts) s.rows.push_back(textRow(1, {"  srv", t.text, t.text}, false));
    s.rows.push_back(textRow(2, {"short row"}));

    const QByteArray csv = CsvTableWriter::Write(s);
    EXPECT_TRUE(csv.endsWith("\r\n"));
    EXPECT_EQ(csv.count("\r\n"), qsizetype(s.rows.size()) + 1 + 2) << "records plus the two embedded CRLFs";
    const QJsonArray records = pythonJson(reader, csv).toArray();
    ASSERT_EQ(records.size(), qsizetype(s.rows.size()) + 1);
    EXPECT_EQ(records[0].toArray(), QJsonArray({"Level", "Target", "Status, reason", "Text \"TXT\""}));
    for (size_t i = 0; i < texts.size(); ++i) {
        const QJsonArray r = records[qsizetype(i) + 1].toArray();
        // The level column keeps the tree; the grid's indentation blanks go.
        EXPECT_EQ(r, QJsonArray({"1", "srv", texts[i].expected, texts[i].expected})) << i;
    }
    EXPECT_EQ(records.last().toArray(), QJsonArray({"2", "short row", "", ""})) << "short rows are padded";
}

// Columns as wide as their widest cell, in characters; no byte order mark,
// no CR, no trailing blanks; collapsed rows stay out.
TEST(TextFormatsText, AlignsShownRowsOnly)
{
    const QString shalom = QString::fromUtf8("\u05E9\u05DC\u05D5\u05DD");
    const QString umlauts = QString::fromUtf8("\u00FCml\u00E4ut").repeated(3);
    TableSnapshot s;
    s.headers = {"Target", "Status", "Text"};
    s.rows = {textRow(0, {"127.0.0.2", "listed", "t1"}), textRow(1, {"  bl.test", "ok", "t2"}),
              textRow(2, {"    127.0.0.4", shalom, "t3"}), textRow(1, {"hidden.test", "secret", "t4"}, false),
              textRow(0, {umlauts, "multi\nline\ttab", "t5"})};
    EXPECT_EQ(QString::fromUtf8(TextTableWriter::Write(s, layout())),
              layout().title
                  + "\nSub\nFirst\nSecond\n\n"
                    "Target              Status            Text\n"
                    "------------------  ----------------  ----\n"
                    "127.0.0.2           listed            t1\n"
                    "  bl.test           ok                t2\n"
                    "    127.0.0.4       "
                  + shalom + "              t3\n" + umlauts + "  multi / line tab  t5\n\nFoot\nQuarlo 1.2.3\n");
}

TEST(TextFormatsText, LongTextsPushTheirLineButNotTheColumn)
{
    TableSnapshot s;
    s.headers = {"Target", "Status"};
    const QString longName = QString("n").repeated(200);
    s.rows = {textRow(0, {"a", "s1"}), textRow(0, {longName, "s2"}), textRow(0, {"bb", "s3"})};
    const int width = TextTableWriter::MaxColumnWidth;
    EXPECT_EQ(QString::fromUtf8(TextTableWriter::Write(s, {})),
              QString("Target").leftJustified(width + 2) + "Status\n" + QString(width, '-') + "  ------\n"
                  + QString("a").leftJustified(width + 2) + "s1\n" + longName + "  s2\n"
                  + QString("bb").leftJustified(width + 2) + "s3\n")
        << "a long text is never cut";
}

// Wide characters (CJK, kana, hangul, emoji) take two columns of a
// terminal, combining marks none: the columns after them still line up,
// as Python's own East Asian Width table counts them.
TEST(TextFormatsText, WideCharactersKeepTheColumnsInLine)
{
    const QStringList targets = {
        QString::fromUtf8("\u4E2D\u6587.example"),    QString::fromUtf8("\u3072\u3089\u304C\u306A"),
        QString::fromUtf8("\uD55C\uAD6D\uC5B4"),      QString::fromUtf8("caf\u0065\u0301 \U0001F600"),
        QString::fromUtf8("\uFF21\uFF22\uFF23 full"), "plain.example"};
    TableSnapshot s;
    s.headers = {"Target", "Status", "Text"};
    for (const QString& t : targets) s.rows.push_back(textRow(0, {t, "listed", "end"}));
    const char* reader = R"PY(
import sys, json, unicodedata
def width(text):
    return sum(0 if unicodedata.combining(c) or unicodedata.category(c) in ('Mn', 'Me', 'Cf')
               else 2 if unicodedata.east_asian_width(c) in ('W', 'F') else 1 for c in text)
out = []
for line in sys.stdin.buffer.read().decode('utf-8').split('\n'):
    if 'listed' in line:
        out.append([width(line[:line.index('listed')]), width(line[:line.index('end')])])
print(json.dumps(out))
)PY";
    const QJsonArray starts = pythonJson(reader, TextTableWriter::Write(s, {})).toArray();
    ASSERT_EQ(starts.size(), targets.size());
    for (const QJsonValue& row : starts) EXPECT_EQ(row.toArray(), starts[0].toArray());
    // "plain.example" (13 columns) is the widest: "\u4E2D\u6587.example" takes 12, not 10.
    EXPECT_EQ(starts[0].toArray()[0].toInt(), 13 + 2);
}
