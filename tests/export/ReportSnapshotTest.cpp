// The report model the desktop's formats render: a scanned list's rows with
// the lists that did not answer named, written as HTML, MHTML, text and CSV
// and read back by real readers. (The same writer's XLSX and PDF of a scan:
// cli/ReportFormatsTest, through quarlo-check.)

#include "export/ResultsSnapshot.h"
#include "export/TableFileWriter.h"
#include "model/DnsFailure.h"
#include "support/FakeScanWorld.h"
#include "support/ModelBuilders.h"
#include "support/ReaderProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// Prints, per format, the level-0 rows' first two cells and all text. Arguments:
// the HTML, MHTML, text and CSV files.
const char* const kReadGrids = R"PY(
import csv, email, io, json, sys
from html.parser import HTMLParser
h, m, t, c = sys.argv[1:5]
class Html(HTMLParser):
    def __init__(s):
        super().__init__(convert_charrefs=True)
        s.rows, s.cell, s.h1 = [], None, None
    def handle_starttag(s, tag, attrs):
        a = dict(attrs)
        if tag == 'h1': s.h1 = ''
        if tag == 'tr': s.rows.append({'level': None, 'cells': []})
        elif tag == 'td':
            if (a.get('class') or '').startswith('l'): s.rows[-1]['level'] = int(a['class'][1:])
            s.cell = ''
    def handle_endtag(s, tag):
        if tag == 'td': s.rows[-1]['cells'].append(s.cell); s.cell = None
        if tag == 'h1': s.title, s.h1 = s.h1, None
    def handle_data(s, d):
        if s.cell is not None: s.cell += d
        if s.h1 is not None: s.h1 += d
def html(text):
    hp = Html(); hp.feed(text); hp.close()
    return {'top': [r['cells'][:2] for r in hp.rows if r['level'] == 0],
            'all': hp.title + '\n' + '\n'.join(' | '.join(r['cells']) for r in hp.rows)}
out = {'html': html(open(h, encoding='utf-8').read())}
msg = email.message_from_bytes(open(m, 'rb').read())
part = next(q for q in msg.walk() if q.get_content_type() == 'text/html')
out['mhtml'] = html(part.get_payload(decode=True).decode(part.get_content_charset()))
out['mhtml']['subject'] = str(email.header.make_header(email.header.decode_header(msg['Subject'])))
lines = open(t, encoding='utf-8').read().split('\n')
start = next(i for i, l in enumerate(lines) if l.startswith('Target'))
end = lines.index('', start)
body = lines[start + 2:end]
top = [l for l in body if not l.startswith(' ')]
col = lines[start].index('Reason')
out['text'] = {'top': [[l[:col].strip(), l[col:].split('  ')[0]] for l in top], 'all': '\n'.join(lines), 'title': lines[0]}
rows = list(csv.reader(io.StringIO(open(c, encoding='utf-8-sig').read(), newline=''), strict=True))
out['csv'] = {'top': [r[1:3] for r in rows[1:] if r[0] == '0'], 'all': '\n'.join(' | '.join(r) for r in rows)}
print(json.dumps(out))
)PY";

TEST(ReportSnapshot, EveryGridFormatSaysTheSameOfTheSameScan)
{
    FakeScanWorld world;
    world.settings.BlacklistServers().Add(
        makeServer("a.test", true, {{"127.0.0.2", "Spam source"}}, false, "Alpha List"));
    world.settings.BlacklistServers().Add(
        makeServer("b.test", true, {{"127.0.0.2", "Beta listed"}}, false, "=Beta List"));
    const ResultCodePtr refusal =
        world.settings.BlacklistServers().Item("b.test")->ResultCodes().Add("127.0.0.255", "Refused");
    refusal->setListing(false);
    const QStringList targets = {"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "2001:db8::1"};
    for (const QString& target : targets) world.list.AddTarget(target);
    world.list.StartScan();
    world.list.Tick();
    const auto reply = [&](const QString& target, const QString& zone, const QString& answer, int flag = 0) {
        ASSERT_TRUE(world.dns.answer(target + ":BlacklistCheck:" + zone, answer, flag)) << target.toStdString();
    };
    reply("192.0.2.1", "a.test", "127.0.0.2");
    reply("192.0.2.1", "b.test", "", DnsFailure::NotFound);
    reply("192.0.2.2", "a.test", "", DnsFailure::NotFound);
    reply("192.0.2.2", "b.test", "", DnsFailure::NotFound);
    reply("192.0.2.3", "a.test", "", DnsFailure::Timeout);
    reply("192.0.2.3", "b.test", "", DnsFailure::NotFound);
    reply("192.0.2.4", "a.test", "", DnsFailure::NotFound);
    reply("192.0.2.4", "b.test", "127.0.0.255");

    std::vector<ReportTarget> given;
    for (const QString& target : targets) given.push_back({target, {}, world.list.Item(target).get()});
    given.push_back({"bad target!", "not an address or host name", nullptr});
    const TableSnapshot snapshot = ResultsSnapshot::FromTargets(given, world.settings);
    ExportLayout layout;
    layout.title = ResultsSnapshot::Title("Sample", QDateTime(QDate(2026, 1, 2), QTime(3, 4)), int(given.size()), 2);
    layout.programName = "Quarlo";

    QTemporaryDir dir;
    QStringList paths;
    for (const TableFileWriter::Format format : {TableFileWriter::Format::Html, TableFileWriter::Format::Mhtml,
                                                 TableFileWriter::Format::Text, TableFileWriter::Format::Csv}) {
        paths << dir.filePath("report" + TableFileWriter::Extension(format));
        QString error;
        ASSERT_TRUE(TableFileWriter::Write(snapshot, layout, format, paths.back(), &error)) << error.toStdString();
    }
    const QJsonObject read =
        QJsonDocument::fromJson(runReader("/usr/bin/python3", QStringList{"-c", kReadGrids} + paths)).object();
    ASSERT_FALSE(read.isEmpty());

    const QStringList expectedTargets = targets + QStringList{"bad target!"};
    const QStringList phrases = {"Blacklisted by 1 servers",
                                 "Not on any Blacklist",
                                 "1 of 2 lists did not answer",
                                 "1 of 2 lists refused the query",
                                 "Not checked: no enabled list supports IPv6",
                                 "Invalid target: not an address"};
    for (const QString& format : QStringList{"html", "mhtml", "text", "csv"}) {
        SCOPED_TRACE(format.toStdString());
        const QJsonArray top = read[format]["top"].toArray();
        ASSERT_EQ(top.size(), expectedTargets.size()) << read[format]["all"].toString().toStdString();
        for (int i = 0; i < top.size(); ++i) {
            EXPECT_EQ(top[i][0].toString(), expectedTargets[i]);
            EXPECT_TRUE(top[i][1].toString().contains(phrases[i])) << top[i][1].toString().toStdString();
        }
        const QString all = read[format]["all"].toString();
        // The list that timed out for 192.0.2.3 is named, with why; the
        // lists an IPv6 address could not be asked of too.
        EXPECT_TRUE(all.contains("Alpha List") && all.contains("No usable answer: timed out")) << format.toStdString();
        EXPECT_TRUE(all.contains("Not applicable: does not answer IPv6 queries")) << format.toStdString();
        EXPECT_TRUE(all.contains(QString::fromUtf8("Sample \u2014 Blacklist scan results, 2026-01-02 03:04, 6 targets "
                                                   "against 2 lists"))
                    || format == "csv");
    }
    EXPECT_EQ(read["mhtml"]["subject"].toString(), layout.title);
    EXPECT_TRUE(read["csv"]["all"].toString().contains("'=Beta List")) << "a list's name is no formula";
}

// (A named list, plural counts: the test above.)
TEST(ReportSnapshot, TitleWithoutAListNameAndSingularCounts)
{
    const QDateTime when(QDate(2026, 5, 6), QTime(7, 8));
    EXPECT_EQ(ResultsSnapshot::Title("  ", when, 1, 1),
              "Blacklist scan results, 2026-05-06 07:08, 1 target against 1 list");
}

} // namespace
