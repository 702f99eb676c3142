// One scan with every status, written in every format quarlo-check has, and
// each file read back by a real reader: the same targets in the same order
// with the same statuses, the lists that did not answer named, no formula in
// any spreadsheet, clickable web addresses in the PDF, columns wide enough.

#include "cli/CheckProgram.h"
#include "support/RbldnsdServer.h"
#include "support/ReaderProcess.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>

using namespace quarlo;

namespace {

// Reads every report back; prints one JSON object. Arguments: the JSON,
// CSV, text, HTML, XLSX and PDF reports, then a folder for LibreOffice's
// conversions (empty: no LibreOffice).
const char* const kReadReports = R"PY(
import csv, io, json, os, subprocess, sys, tempfile
from html.parser import HTMLParser
import openpyxl, pypdf

j, c, t, h, x, p, lo = sys.argv[1:8]
out = {}
out['json'] = [[d['target'], d['status']] for d in json.load(open(j, encoding='utf-8'))['targets']]

seen, rows = set(), []
for r in list(csv.reader(io.StringIO(open(c, encoding='utf-8').read(), newline=''), strict=True))[1:]:
    if r[0] not in seen:
        seen.add(r[0]); rows.append([r[0], r[2]])
out['csv'] = rows
out['csvText'] = open(c, encoding='utf-8').read()

text = open(t, encoding='utf-8').read()
out['text'] = [l.split('  ')[0] for l in text.split('\n') if l and not l.startswith(' ') and not l.startswith('Lists ')]
out['textAll'] = text

class Html(HTMLParser):
    def __init__(s):
        super().__init__(convert_charrefs=True)
        s.rows, s.cell, s.links, s.linkTexts, s.inA = [], None, [], [], False
    def handle_starttag(s, tag, attrs):
        a = dict(attrs)
        if tag == 'tr': s.rows.append({'level': None, 'cells': []})
        elif tag == 'td':
            if a.get('class', '').startswith('l'): s.rows[-1]['level'] = int(a['class'][1:])
            s.cell = ''
        elif tag == 'br' and s.cell is not None: s.cell += '\n'
        elif tag == 'a': s.links.append(a.get('href')); s.linkTexts.append(''); s.inA = True
    def handle_endtag(s, tag):
        if tag == 'td': s.rows[-1]['cells'].append(s.cell); s.cell = None
        if tag == 'a': s.inA = False
    def handle_data(s, d):
        if s.cell is not None: s.cell += d
        if s.inA: s.linkTexts[-1] += d
hp = Html(); hp.feed(open(h, encoding='utf-8').read()); hp.close()
out['html'] = [r['cells'][:2] for r in hp.rows if r['level'] == 0]
out['htmlAll'] = '\n'.join(' | '.join(r['cells']) for r in hp.rows)
out['htmlLinks'] = [[l, tx] for l, tx in zip(hp.links, hp.linkTexts)]

def formulas(path):
    wb = openpyxl.load_workbook(path)
    return sum(1 for ws in wb.worksheets for row in ws.iter_rows() for cell in row if cell.data_type == 'f')
wb = openpyxl.load_workbook(x)
ws = wb.active
xrows, header = [], None
for r in range(1, ws.max_row + 1):
    a, b = ws.cell(r, 1).value, ws.cell(r, 2).value
    if header is None:
        if a == 'Target': header = r
        continue
    if not ws.row_dimensions[r].outline_level: xrows.append([a or '', b or ''])
out['xlsx'] = xrows
out['xlsxAll'] = '\n'.join(' | '.join(str(ws.cell(r, k).value or '') for k in range(1, 4)) for r in range(1, ws.max_row + 1))
out['xlsxFormulas'] = formulas(x)
out['xlsxWidths'] = [ws.column_dimensions[k].width for k in 'ABC']

pt = subprocess.run(['pdftotext', p, '-'], capture_output=True, check=True).stdout.decode('utf-8')
out['pdfText'] = ' '.join(pt.split())
uris = []
for page in pypdf.PdfReader(p).pages:
    annots = page.get('/Annots')
    for a in (annots.get_object() if annots is not None else []):
        a = a.get_object()
        if a.get('/Subtype') == '/Link' and '/A' in a: uris.append(str(a['/A'].get('/URI')))
out['pdfLinks'] = uris

if lo:
    profile = tempfile.mkdtemp()
    for name, src, filt in (('loCsv', c, ['--infilter=CSV:44,34,76,1']), ('loXlsx', x, [])):
        d = os.path.join(lo, name)
        os.makedirs(d)
        subprocess.run(['soffice', '-env:UserInstallation=file://' + profile, '--headless'] + filt +
                       ['--convert-to', 'xlsx', '--outdir', d, src], capture_output=True, check=True, timeout=180)
        converted = os.path.join(d, os.path.splitext(os.path.basename(src))[0] + '.xlsx')
        out[name + 'Formulas'] = formulas(converted)
        out[name + 'Cells'] = sum(1 for ws in openpyxl.load_workbook(converted).worksheets for row in ws.iter_rows() for cell in row if cell.value is not None)
print(json.dumps(out))
)PY";

// What each status reads like in the grid's status column.
QString statusPhrase(const QString& status)
{
    static const QMap<QString, QString> phrases = {
        {"listed", "Blacklisted by"},
        {"clean", "Not on any Blacklist"},
        {"refused", "refused the query"},
        {"incomplete", "Not completely checked"},
        {"unresolvable", "Host name not found"},
        {"not-applicable", "Not checked: no enabled list"},
        // A target the list itself refused reads as the window shows it.
        {"invalid", "Not checked: empty label"},
        {"no-mail", "no mail"},
    };
    return phrases.value(status, "?" + status);
}

QStringList column(const QJsonArray& rows, int index)
{
    QStringList out;
    for (const QJsonValue& row : rows) out << row.toArray()[index].toString();
    return out;
}

TEST(ReportFormats, EveryFormatSaysTheSameOfTheSameScan)
{
    // TXT texts a stranger publishes: markup, a formula holding a web
    // address, a control character, CJK, and one as long as a TXT string gets.
    const QByteArray tricky =
        "@HYPERLINK(\"http://evil.example/x\",\"click\") <b>bold</b> \xE4\xB8\xAD\xE6\x96\x87 \x07"
        "bell";
    const QByteArray longText = "+" + QByteArray("long text ").repeated(24) + "end";
    RbldnsdServer server;
    server.addZone("exact.test", "ip4set",
                   ":127.0.0.2:Listed, see http://exact.test/?$\n127.0.0.2\n192.0.2.1 :127.0.0.2:" + tricky
                       + "\n192.0.2.9 :127.255.255.254:query via public resolver\n");
    server.addZone("long.test", "ip4set", "127.0.0.2\n192.0.2.1 :127.0.0.2:" + longText + "\n");
    // Answers one address outside 127.0.0.0/8: no usable answer for it alone.
    server.addZone("odd.test", "generic", "77.2.0.192 A 10.9.9.9\n");
    server.addZone("hosts.test", "generic", "@ MX 10 mx1.hosts.test.\nmx1 A 192.0.2.1\n");
    QString error;
    ASSERT_TRUE(server.start(&error)) << error.toStdString();

    QTemporaryDir dir;
    const QString config = dir.filePath("servers.cfg");
    spit(
        config,
        "<Quarlo><BlackListServers>"
        "<Server Server=\"exact.test\" Enabled=\"TRUE\" URL=\"http://exact.test/\" Name=\"Exact\"><ResultCodes>"
        "<ResultCode Address=\"127.0.0.2\" Reason=\"@Spam source\"/>"
        "<ResultCode Address=\"127.255.255.254\" Reason=\"Query via public resolver\" Listing=\"False\"/>"
        "</ResultCodes></Server>"
        "<Server Server=\"long.test\" Enabled=\"TRUE\" URL=\"https://long.test/lookup\" Name=\"=Long "
        "list\"><ResultCodes>"
        "<ResultCode Address=\"127.0.0.2\" Reason=\"-Listed\"/></ResultCodes></Server>"
        "<Server Server=\"odd.test\" Enabled=\"TRUE\" URL=\"javascript:alert(1)\" Name=\"Odd list\" SelfTest=\"False\">"
        "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes></Server>"
        "</BlackListServers></Quarlo>");
    const QString list = dir.filePath("Every status.BlackList");
    spit(list,
         "<AddressList><Address Target=\"192.0.2.1\"/><Address Target=\"198.51.100.20\"/>"
         "<Address Target=\"192.0.2.9\"/><Address Target=\"192.0.2.77\"/><Address Target=\"nx.hosts.test\"/>"
         "<Address Target=\"postmaster@hosts.test\"/><Address Target=\"192.0.2.4/31\"/>"
         "<Address Target=\"2001:db8::1\"/><Address Target=\"bad..name\"/></AddressList>");

    const QStringList formats = {"json", "csv", "text", "html", "xlsx", "pdf"};
    QStringList paths;
    for (const QString& format : formats) {
        const QString path = dir.filePath("report." + format);
        CliRun how;
        how.dnsServers = server.serverSpec();
        how.registryDir = dir.filePath("registry");
        how.args = {"--config", config, "-q", "--format", format, "--output", path, list};
        const CliResult r = runProgram(how);
        EXPECT_EQ(r.exitCode, 1) << format.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << format.toStdString() << ": " << r.out.toStdString();
        ASSERT_TRUE(QFileInfo(path).size() > 0) << format.toStdString();
        paths << path;
    }
    // Titled as the window titles its grid: the list, the date, what was
    // checked. A workbook does not stay private to its writer, and no
    // temporary is left beside the files.
    const QString page = QString::fromUtf8(slurp(paths[3]));
    EXPECT_TRUE(page.contains(
        QRegularExpression(QString::fromUtf8("<h1>Every status \u2014 Blacklist scan results, \\d{4}-\\d\\d-\\d\\d "
                                             "\\d\\d:\\d\\d, 10 targets against 3 lists</h1>"))))
        << page.left(1500).toStdString();
    EXPECT_TRUE(QFile::permissions(paths[4]) & QFileDevice::ReadOther);
    EXPECT_EQ(QDir(dir.path()).entryList({".*saving*"}, QDir::Files | QDir::Hidden), QStringList{});
    const bool office = !QStandardPaths::findExecutable("soffice").isEmpty();
    const QString converted = dir.filePath("converted");
    if (office) QDir().mkpath(converted);
    const QJsonObject read = QJsonDocument::fromJson(runReader("/usr/bin/python3",
                                                               QStringList{"-c", kReadReports} + paths
                                                                   + QStringList{office ? converted : QString()}))
                                 .object();
    ASSERT_FALSE(read.isEmpty());

    // The JSON report is the reference: every status is in it.
    const QJsonArray reference = read["json"].toArray();
    const QStringList targets = column(reference, 0), statuses = column(reference, 1);
    EXPECT_EQ(targets,
              QStringList({"192.0.2.1", "198.51.100.20", "192.0.2.9", "192.0.2.77", "nx.hosts.test",
                           "postmaster@hosts.test", "192.0.2.4", "192.0.2.5", "2001:db8::1", "bad..name"}));
    EXPECT_EQ(statuses,
              QStringList({"listed", "clean", "refused", "incomplete", "unresolvable", "listed", "clean", "clean",
                           "not-applicable", "invalid"}));

    // The same targets, in the same order, with the same statuses.
    EXPECT_EQ(column(read["csv"].toArray(), 0), targets);
    EXPECT_EQ(column(read["csv"].toArray(), 1), statuses);
    EXPECT_EQ(read["text"].toArray().size(), targets.size()) << read["textAll"].toString().toStdString();
    for (const QString& grid : QStringList{"html", "xlsx"}) {
        const QJsonArray rows = read[grid].toArray();
        ASSERT_EQ(rows.size(), targets.size()) << grid.toStdString();
        for (int i = 0; i < rows.size(); ++i) {
            const QString caption = rows[i][0].toString(), status = rows[i][1].toString();
            EXPECT_TRUE(caption.startsWith(targets[i])) << grid.toStdString() << ": " << caption.toStdString();
            EXPECT_TRUE(status.contains(statusPhrase(statuses[i])))
                << grid.toStdString() << ": " << status.toStdString();
            EXPECT_TRUE(read["text"][i].toString().startsWith(targets[i])) << read["text"][i].toString().toStdString();
        }
    }
    // The e-mail address with its mail server and address; in the PDF too,
    // every target in order.
    EXPECT_TRUE(read["html"][5][0].toString().startsWith("postmaster@hosts.test (mx1.hosts.test, 192.0.2.1)"));
    const QString pdf = read["pdfText"].toString();
    qsizetype at = 0;
    for (const QString& target : targets) {
        const qsizetype found = pdf.indexOf(target, at);
        EXPECT_GE(found, 0) << target.toStdString() << " after " << at;
        at = std::max(at, found);
    }

    // The list that gave 192.0.2.77 no usable answer is named, with why.
    for (const QString& all : QStringList{read["htmlAll"].toString(), read["xlsxAll"].toString(), pdf}) {
        EXPECT_TRUE(all.contains("Odd list")) << all.toStdString();
        EXPECT_TRUE(all.contains("outside 127.0.0.0/8")) << all.toStdString();
        EXPECT_TRUE(all.contains("1 of 3 lists did not answer")) << all.toStdString();
        EXPECT_TRUE(all.contains("1 of 3 lists refused the query")) << all.toStdString();
    }
    EXPECT_TRUE(read["csvText"].toString().contains("odd.test (answered 10.9.9.9, outside 127.0.0.0/8)"));
    EXPECT_TRUE(read["textAll"].toString().contains("odd.test (answered 10.9.9.9, outside 127.0.0.0/8)"));
    // The texts arrive whole: CJK, markup as text, the long TXT string.
    for (const QString& all : QStringList{read["htmlAll"].toString(), read["xlsxAll"].toString()}) {
        EXPECT_TRUE(all.contains(QString::fromUtf8("<b>bold</b> \xE4\xB8\xAD\xE6\x96\x87 bell"))) << all.toStdString();
        EXPECT_TRUE(all.contains(QString::fromUtf8(longText.mid(1)))) << all.toStdString();
    }

    EXPECT_TRUE(read["xlsxAll"].toString().contains("'      @HYPERLINK(")) << read["xlsxAll"].toString().toStdString();
    // No formula anywhere, as the spreadsheet itself reads the files.
    EXPECT_EQ(read["xlsxFormulas"].toInt(-1), 0);
    if (office) {
        EXPECT_EQ(read["loCsvFormulas"].toInt(-1), 0);
        EXPECT_EQ(read["loXlsxFormulas"].toInt(-1), 0);
        EXPECT_GT(read["loCsvCells"].toInt(), 50) << "the conversion read the report";
        EXPECT_GT(read["loXlsxCells"].toInt(), 50);
    }

    // Links: web addresses only, each link's text the address alone.
    for (const QJsonValue& link : read["htmlLinks"].toArray()) {
        const QString href = link[0].toString();
        EXPECT_TRUE(href.startsWith("http://") || href.startsWith("https://")) << href.toStdString();
        EXPECT_EQ(link[1].toString(), href);
        EXPECT_FALSE(href.contains('"') || href.contains("click")) << href.toStdString();
    }
    const QJsonArray pdfLinks = read["pdfLinks"].toArray();
    QStringList uris;
    for (const QJsonValue& uri : pdfLinks) uris << uri.toString();
    for (const char* home : {"http://exact.test/", "https://long.test/lookup", "http://evil.example/x"})
        EXPECT_TRUE(uris.contains(home)) << home << " in " << uris.join(' ').toStdString();
    EXPECT_FALSE(uris.join(' ').contains("javascript")) << uris.join(' ').toStdString();

    // Columns are as wide as their text, in characters as a spreadsheet counts
    // them: the first holds the longest caption (up to the cap).
    const QString longest = "postmaster@hosts.test (mx1.hosts.test, 192.0.2.1)";
    EXPECT_GE(read["xlsxWidths"][0].toDouble(), longest.size()) << read["xlsxWidths"][0].toDouble();
    for (const QJsonValue& width : read["xlsxWidths"].toArray()) EXPECT_GE(width.toDouble(), 10);
}

} // namespace
