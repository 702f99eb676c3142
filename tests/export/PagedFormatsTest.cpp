#include "export/TablePainter.h"
#include "export/XlsxTableWriter.h"
#include "support/ReaderProcess.h"
#include "support/SnapshotRows.h"
#include "support/TestFiles.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>
#include <QRegularExpression>

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// The system's python3, which has the distribution's openpyxl and pypdf
// (scripts/install-deps); one first on the PATH may lack them.
const QString kPython = QStringLiteral("/usr/bin/python3");

ExportLayout pageLayout(int orientation = 1)
{
    ExportLayout l;
    l.title = QStringLiteral("Blocklist report");
    l.subTitle = QStringLiteral("Second line");
    l.footer = QStringLiteral("Footer words");
    l.programName = QStringLiteral("Quarlo");
    l.programVersion = QStringLiteral("9.8");
    l.orientation = orientation;
    return l;
}

// ---------------------------------------------------------------- XLSX

// Everything the test looks at in a workbook, as JSON from openpyxl.
const char* kReadWorkbook = R"(
import json, sys, openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb['Results']
rows = []
for r in range(1, ws.max_row + 1):
    d = ws.row_dimensions[r]
    cells = []
    for c in range(1, 4):
        cell = ws.cell(r, c)
        col = cell.font.color.rgb if cell.font.color is not None else None
        cells.append({'v': cell.value, 'b': bool(cell.font.b), 'u': cell.font.u,
                      'color': col if isinstance(col, str) else None,
                      'link': cell.hyperlink.target if cell.hyperlink else None,
                      'indent': cell.alignment.indent})
    rows.append({'level': d.outline_level, 'hidden': bool(d.hidden), 'collapsed': bool(d.collapsed), 'cells': cells})
widths = [ws.column_dimensions[openpyxl.utils.get_column_letter(c)].width for c in range(1, 4)]
print(json.dumps({'freeze': ws.freeze_panes, 'title': wb.properties.title, 'creator': wb.properties.creator, 'widths': widths,
                  'summaryBelow': ws.sheet_properties.outlinePr.summaryBelow, 'rows': rows}))
)";

QJsonObject readWorkbook(const QString& path)
{
    return QJsonDocument::fromJson(runReader(kPython, {QStringLiteral("-c"), QString::fromLatin1(kReadWorkbook), path}))
        .object();
}

TEST(PagedFormatsXlsx, WorkbookKeepsTextsStylesOutlineAndLinks)
{
    const QString rtl = QString::fromUtf8("\u05E9\u05DC\u05D5\u05DD");
    const QString longText = QString(40000, QLatin1Char('z'));
    const QString link = QStringLiteral("https://zone.example/lookup?ip=192.0.2.1&x=\"1\"");
    const QString tooLongLink = QStringLiteral("https://zone.example/") + QString(3000, QLatin1Char('a'));

    TableSnapshot s;
    s.headers = {QStringLiteral("Target"), QStringLiteral("Status"), QStringLiteral("Text")};
    s.columnWidths = {200, 100, 300};
    s.rows = {textRow(0, {"192.0.2.1", "Listed", ""}, true, true),
              textRow(1, {"zone.example", "127.0.0.2", ""}, false, true),
              textRow(2, {"TXT", "", link}, false),
              textRow(0, {"<a & b>", "\"q\" 'r'", "line 1\nline 2"}),
              textRow(0, {rtl, "bell\x07here", longText}),
              textRow(0, {"x", "", tooLongLink}),
              textRow(0, {"=1+2", " @SUM(A1)", "see " + link})};
    s.rows[0].expanded = false; // a collapsed parent
    s.rows[0].cells[0].bold = true;
    s.rows[0].cells[1].color = QColor(0xC0, 0x10, 0x20);
    s.rows[2].cells[2].link = link;
    s.rows[5].cells[2].link = tooLongLink;
    s.rows[6].cells[2].link = link; // an address inside a text: the text stays plain

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.xlsx"));
    QString error;
    ASSERT_TRUE(XlsxTableWriter::Write(s, pageLayout(), path, &error)) << error.toStdString();
    const QJsonObject book = readWorkbook(path);
    ASSERT_FALSE(book.isEmpty());

    EXPECT_EQ(QStringList({book["title"].toString(), book["creator"].toString(), book["freeze"].toString()}),
              QStringList({"Blocklist report", "Quarlo", "A5"}));
    EXPECT_FALSE(book["summaryBelow"].toBool(true)); // parents sit above their children
    // Title, subtitle, a blank row, then the header row, frozen below it. Per
    // row: outline level, hidden, collapsed, indent, then the cells, "*" for bold.
    const QString cutLong = QString(32766, QLatin1Char('z')) + QChar(0x2026);
    const QStringList expected = {"0|0|0|0|Blocklist report*||", "0|0|0|0|Second line||", "0|0|0|0|||",
                                  "0|0|0|0|Target*|Status*|Text*", "0|0|1|0|192.0.2.1*|Listed|",
                                  "1|1|0|1|zone.example|127.0.0.2|", "2|1|0|2|TXT||" + link,
                                  "0|0|0|0|<a & b>|\"q\" 'r'|line 1\nline 2", "0|0|0|0|" + rtl + "|bellhere|" + cutLong,
                                  "0|0|0|0|x||" + tooLongLink,
                                  // Formula signs are defused as in CSV.
                                  "0|0|0|0|'=1+2|' @SUM(A1)|see " + link};
    QStringList actual;
    const QJsonArray rows = book["rows"].toArray();
    for (const QJsonValue& r : rows) {
        QStringList fields;
        for (const char* flag : {"level", "hidden", "collapsed"})
            fields << QString::number(r[flag].toVariant().toInt());
        fields << QString::number(r["cells"][0]["indent"].toVariant().toInt());
        for (const QJsonValue& cell : r["cells"].toArray())
            fields << cell["v"].toString() + (cell["b"].toBool() ? "*" : "");
        actual << fields.join('|');
    }
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(rows[4]["cells"][1]["color"].toString().right(6), "C01020");
    // Quotes are not allowed raw in a hyperlink; the writer escapes them.
    EXPECT_EQ(rows[6]["cells"][2]["link"].toString(), QString(link).replace("\"", "%22"));
    EXPECT_EQ(rows[6]["cells"][2]["u"].toString(), "single");
    // Past the spreadsheet's URL length the text stays and the link goes.
    EXPECT_TRUE(rows[9]["cells"][2]["link"].isNull());
    EXPECT_TRUE(rows[10]["cells"][2]["link"].isNull());
    // Widths in characters: the first column holds "zone.example" at its
    // indent; the long text's column stops at a cap.
    const QJsonArray widths = book["widths"].toArray();
    ASSERT_EQ(widths.size(), 3);
    EXPECT_GE(widths[0].toDouble(), 12 + 2);
    EXPECT_LE(widths[0].toDouble(), 30);
    EXPECT_GE(widths[2].toDouble(), 60);
    EXPECT_LE(widths[2].toDouble(), 110);
}

TEST(PagedFormatsXlsx, UnwritablePlaceFailsWithReason)
{
    TableSnapshot s;
    s.headers = {QStringLiteral("Target")};
    s.rows.push_back(snapshotRow(0, {snapshotCell(QStringLiteral("192.0.2.1"))}));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/folder/out.xlsx"));
    QString error;
    EXPECT_FALSE(XlsxTableWriter::Write(s, pageLayout(), path, &error));
    EXPECT_TRUE(error.contains(path)) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

// ---------------------------------------------------------------- PDF

QString pdfInfo(const QString& path)
{
    return QString::fromUtf8(runReader(QStringLiteral("pdfinfo"), {path}));
}

int pdfPages(const QString& path)
{
    const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(pdfInfo(path));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString pdfText(const QString& path)
{
    return QString::fromUtf8(
        runReader(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")}));
}

QString writePdf(const TableSnapshot& s, const ExportLayout& l, const QString& path)
{
    QBuffer buffer;
    QString error;
    EXPECT_TRUE(TablePainter::WritePdf(s, l, buffer, &error)) << error.toStdString();
    spit(path, buffer.data());
    return path;
}

// 500 shown rows under addresses, some collapsed away.
TableSnapshot manyRows()
{
    TableSnapshot s;
    s.headers = {QStringLiteral("Target"), QStringLiteral("Status")};
    s.columnWidths = {300, 100};
    for (int i = 0; i < 500; ++i) {
        const bool collapsed = i % 50 == 0;
        s.rows.push_back(
            snapshotRow(0, {snapshotCell(QStringLiteral("row-%1").arg(i)), snapshotCell(QStringLiteral("ok"))}, true,
                        collapsed, !collapsed));
        if (collapsed)
            s.rows.push_back(
                snapshotRow(1, {snapshotCell(QStringLiteral("hidden-%1").arg(i)), snapshotCell({})}, false));
    }
    return s;
}

TEST(PagedFormatsPdf, PagesHoldShownRowsTitleAndFooter)
{
    const TableSnapshot s = manyRows();
    QTemporaryDir dir;

    const QString viaBuffer = writePdf(s, pageLayout(), dir.filePath(QStringLiteral("buffer.pdf")));
    const int pages = pdfPages(viaBuffer);
    EXPECT_GT(pages, 1);

    EXPECT_TRUE(pdfInfo(viaBuffer).contains(QRegularExpression(QStringLiteral("Creator:\\s+Quarlo 9.8"))));
    const QString all = pdfText(viaBuffer);
    for (const char* text : {"Blocklist report", "Footer words", "Quarlo 9.8"})
        EXPECT_TRUE(all.contains(QLatin1String(text))) << text;
    for (int p = 1; p <= pages; ++p) EXPECT_TRUE(all.contains(QStringLiteral("Page %1 of %2").arg(p).arg(pages))) << p;
    EXPECT_EQ(all.count(QStringLiteral("Target")), pages); // header repeated on every page
    const QSet<QString> words = [&] {
        const QStringList list = all.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        return QSet<QString>(list.begin(), list.end());
    }();
    for (const SnapshotRow& r : s.rows)
        EXPECT_EQ(words.contains(r.cells[0].text), r.shown) << r.cells[0].text.toStdString();

    // Orientation 1 is portrait, 2 landscape.
    const QString wide = writePdf(s, pageLayout(2), dir.filePath(QStringLiteral("wide.pdf")));
    for (const auto& [path, landscape] : {std::pair{viaBuffer, false}, std::pair{wide, true}}) {
        const auto m = QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(pdfInfo(path));
        ASSERT_TRUE(m.hasMatch());
        EXPECT_EQ(m.captured(1).toDouble() > m.captured(2).toDouble(), landscape) << path.toStdString();
    }
}

TEST(PagedFormatsPdf, HugeCellContinuesOnTheNextPagesAndLaterRowsFollow)
{
    QString huge;
    int words = 0;
    for (; huge.size() < 65536; ++words) huge += QStringLiteral("w%1 ").arg(words);
    TableSnapshot s;
    s.headers = {QStringLiteral("Target"), QStringLiteral("Text")};
    s.rows.push_back(snapshotRow(0, {snapshotCell(QStringLiteral("first")), snapshotCell(huge)}));
    s.rows.push_back(snapshotRow(0, {snapshotCell(QStringLiteral("after")), snapshotCell(QStringLiteral("tail"))}));
    QTemporaryDir dir;
    const QString path = writePdf(s, pageLayout(), dir.filePath(QStringLiteral("huge.pdf")));
    EXPECT_GT(pdfPages(path), 2);
    const QString all = pdfText(path);
    // Every word once: nothing cut, no line printed on two pages.
    QMap<QString, int> seen;
    for (const auto& m : QRegularExpression(QStringLiteral("\\bw\\d+\\b")).globalMatch(all)) ++seen[m.captured()];
    EXPECT_EQ(seen.size(), words);
    EXPECT_EQ(std::count_if(seen.begin(), seen.end(), [](int n) { return n != 1; }), 0);
    EXPECT_TRUE(all.contains(QStringLiteral("tail")));
    EXPECT_LT(all.indexOf(QStringLiteral("w%1").arg(words - 1)), all.indexOf(QStringLiteral("after")));
}

// The link annotations of a PDF, page by page, as pypdf reads them.
const char* kReadLinks = R"(
import json, sys, pypdf
out = []
for page in pypdf.PdfReader(sys.argv[1]).pages:
    annots = page.get('/Annots')
    for a in (annots.get_object() if annots is not None else []):
        a = a.get_object()
        if a.get('/Subtype') == '/Link' and '/A' in a:
            out.append(a['/A'].get('/URI'))
print(json.dumps(out))
)";

TEST(PagedFormatsPdf, WebAddressesAreClickableAndNothingElse)
{
    TableSnapshot s;
    s.headers = {QStringLiteral("Target"), QStringLiteral("Status"), QStringLiteral("URL")};
    const QString home = QStringLiteral("https://lists.example/lookup?ip=192.0.2.1");
    const QString inText = QStringLiteral("http://txt.example/why");
    s.rows.push_back(textRow(0, {"192.0.2.1", "Listed", ""}));
    // The same address on several rows: every one is clickable, however
    // the painter reuses what it laid out before.
    for (int copy = 0; copy < 3; ++copy) {
        s.rows.push_back(textRow(1, {"zone", "Received 1 reason", home}));
        s.rows.back().cells[2].link = home;
        s.rows.back().cells[2].underline = true;
    }
    s.rows.push_back(textRow(2, {"127.0.0.2", "spam", "      Blocked, see " + inText + " for details"}));
    s.rows.back().cells[2].link = inText;
    s.rows.push_back(textRow(1, {"other", "Received 1 reason", "javascript:alert(1)"}));
    s.rows.back().cells[2].link = QStringLiteral("javascript:alert(1)");
    QTemporaryDir dir;
    const QString path = writePdf(s, pageLayout(), dir.filePath(QStringLiteral("links.pdf")));
    const QJsonArray uris =
        QJsonDocument::fromJson(runReader(kPython, {QStringLiteral("-c"), QString::fromLatin1(kReadLinks), path}))
            .array();
    QStringList found;
    for (const QJsonValue& uri : uris) found << uri.toString();
    EXPECT_GE(found.count(home), 3);
    found.removeDuplicates(); // a link wrapped over two lines has an annotation per line
    EXPECT_EQ(found, QStringList({home, inText}));
    // The text around an address is still printed, the address whole.
    const QString text = pdfText(path).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("Blocked, see http://txt.example/why for details"))) << text.toStdString();
}

TEST(PagedFormatsPdf, PageTooSmallFailsWithReason)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QSizeF(20, 20), QPageSize::Millimeter));
    writer.setPageMargins(QMarginsF(8, 8, 8, 8), QPageLayout::Millimeter);
    QString error;
    EXPECT_EQ(TablePainter::Paint(manyRows(), pageLayout(), writer, &error), 0);
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
