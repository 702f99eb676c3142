// The command-line scanner as a monitoring script uses it: arguments, files
// and standard input in; text, JSON or CSV out; the exit status tells.
#include "cli/CheckProgram.h"
#include "common/IpFunctions.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdServer.h"
#include "support/ReaderProcess.h"
#include "support/TestFiles.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/stat.h>

using namespace quarlo;

namespace {

// What a terminal would act on: C0 controls (apart from the line ends
// allowed), DEL and C1 controls, and the direction controls that reorder
// what it shows.
bool hasControlCharacters(const QString& text, const QString& allowed)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        const bool bidi =
            u == 0x061C || u == 0x200E || u == 0x200F || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
        if ((u < 0x20 || (u >= 0x7f && u <= 0x9f) || bidi) && !allowed.contains(c)) return true;
    }
    return false;
}

// A run that could not start writes no report: nothing on standard output,
// or in watch mode the one UNKNOWN status line a monitoring system reads.
void expectNoReport(const CliResult& r, bool watch)
{
    if (watch) {
        EXPECT_TRUE(r.out.startsWith("QUARLO UNKNOWN - ") && r.out.count('\n') == 1) << r.out.toStdString();
    } else {
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
}

const char* const kExactServer =
    "<Server Server=\"exact.test\" Enabled=\"TRUE\" URL=\"http://exact.test/\" Name=\"Exact, Inc.\"><ResultCodes>"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"Spam source\"/><ResultCode Address=\"127.0.0.10\" Reason=\"Dynamic\"/>"
    "<ResultCode Address=\"127.255.255.254\" Reason=\"Query via public resolver\" Listing=\"False\"/>"
    "</ResultCodes></Server>";
const char* const kMaskServer =
    "<Server Server=\"mask.test\" Enabled=\"TRUE\" URL=\"http://mask.test/\" Name=\"Mask\"><ResultCodes "
    "BitMaskCoded=\"True\">"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"Black\"/><ResultCode Address=\"127.0.0.4\" Reason=\"Grey\"/>"
    "</ResultCodes></Server>";
// Lists 127.0.0.1, as a dead list or a rewriting resolver does: the self-test skips it.
const char* const kEveryServer = "<Server Server=\"every.test\" Enabled=\"TRUE\" Name=\"Every\"><ResultCodes>"
                                 "<ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes></Server>";
// Has no entry for 127.0.0.2, and says so: asked without a test.
const char* const kUnverifiedServer =
    "<Server Server=\"unverified.test\" Enabled=\"TRUE\" Name=\"Unverified\" SelfTest=\"False\"><ResultCodes>"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes></Server>";

class QuarloCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addZone(
            "exact.test", "ip4set",
            ":127.0.0.2:Listed, see http://exact.test/?$\n127.0.0.2\n192.0.2.1\n192.0.2.2 :127.0.0.10:Dynamic $\n"
            "192.0.2.9 :127.255.255.254:query via public resolver\n");
        server.addZone("mask.test", "ip4set", ":127.0.0.6:Bits $\n127.0.0.2\n192.0.2.1\n");
        server.addZone("every.test", "ip4set", "127.0.0.1\n127.0.0.2\n");
        server.addZone("unverified.test", "ip4set", "192.0.2.1\n");
        // The less preferred exchanger comes first: the preferred one must win.
        server.addZone("hosts.test", "generic",
                       "@ MX 20 backup.hosts.test.\n@ MX 10 mx1.hosts.test.\nmx1 A 192.0.2.1\nbackup A 198.51.100.30\n"
                       "clean A 198.51.100.20\nwww.blacklist A 198.51.100.20\n");
        server.addZone("other.test", "generic", "@ MX 5 mx1.hosts.test.\n");
        server.addZone("implicit.test", "generic", "@ A 198.51.100.20\n");
        server.addZone("nomail.test", "generic", "@ MX 0 .\n");
        server.addZone("spamdomain.test", "generic", "@ MX 10 implicit.test.\n");
        // A keyed list's zone as the operator serves it for one key.
        server.addZone("s3cretkey.keyed.test", "ip4set", "127.0.0.2\n11.0.0.9\n");
        server.addZone("dom.test", "dnset", ":127.0.1.2:Spam domain $\ntest\n.spamdomain.test\n.hosts.test\n");
        server.addZone("formula.test", "ip4set",
                       "127.0.0.2\n192.0.2.1 :127.0.0.2: =HYPERLINK(\"http://evil.test\")\n"
                       "192.0.2.2 :127.0.0.2:@SUM(1+1)*cmd|' /C calc'!A0\n");
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        config = dir.filePath("servers.cfg");
        writeConfig(config, {kExactServer, kMaskServer});
        selfTestConfig = dir.filePath("selftest.cfg");
        writeConfig(selfTestConfig, {kExactServer, kMaskServer, kEveryServer, kUnverifiedServer});
    }

    void writeConfig(const QString& path, const QList<const char*>& servers)
    {
        QByteArray xml = "<Quarlo><BlackListServers>";
        for (const char* s : servers) xml += s;
        spit(path, xml + "</BlackListServers></Quarlo>");
    }

    // Runs the program against the test's blacklist server, with configPath
    // (default: the fixture's configuration of two lists).
    CliResult run(const QStringList& args, const QByteArray& input = QByteArray(),
                  const QString& configPath = QString())
    {
        return runProgram(how(args, input, configPath));
    }

    CliRun how(const QStringList& args, const QByteArray& input = QByteArray(), const QString& configPath = QString())
    {
        CliRun how;
        how.args = QStringList{"--config", configPath.isEmpty() ? config : configPath} + args;
        how.dnsServers = server.serverSpec();
        how.registryDir = dir.filePath("registry");
        how.input = input;
        return how;
    }

    static QJsonObject json(const CliResult& r) { return QJsonDocument::fromJson(r.out.toUtf8()).object(); }

    RbldnsdServer server;
    QTemporaryDir dir;
    QString config;
    QString selfTestConfig;
};

// The records of a CSV text as a strict reader (Python's csv module) sees them.
QList<QStringList> csvRecords(const QString& text)
{
    const char* script = "import sys, csv, io, json\n"
                         "print(json.dumps(list(csv.reader(io.StringIO(sys.stdin.buffer.read().decode('utf-8'), "
                         "newline=''), strict=True))))";
    QList<QStringList> records;
    for (const QJsonValue& record :
         QJsonDocument::fromJson(runReader("python3", {"-c", script}, text.toUtf8())).array())
        records << record.toVariant().toStringList();
    return records;
}

// The named fields of a JSON object, joined for one comparison.
QString pick(const QJsonValue& object, const QStringList& keys)
{
    QStringList values;
    for (const QString& k : keys) values << object[k].toVariant().toString();
    return values.join('|');
}

// The named fields of every row of a JSON report.
QStringList reportRows(const CliResult& r, const QStringList& keys = {"target", "status"})
{
    QStringList rows;
    for (const QJsonValue& t : QJsonDocument::fromJson(r.out.toUtf8()).object()["targets"].toArray())
        rows << pick(t, keys);
    return rows;
}

const QString kNoAnswerNote = "No DNS server answered; check your network or the --dns option / QUARLO_DNS_SERVERS";

} // namespace

// A mail address is checked at its preferred mail server and, on a domain
// list, by its own domain: either listing lists it. Each address keeps its
// own row, as given, although several share a mail server.
TEST_F(QuarloCheck, MailAddressesAreCheckedAtTheirMailServerAndByTheirDomain)
{
    const QString kinds = dir.filePath("kinds.cfg");
    writeConfig(kinds,
                {kExactServer,
                 "<Server Server=\"dom.test\" Enabled=\"TRUE\" Name=\"Dom\" ListKind=\"Domain\"><ResultCodes>"
                 "<ResultCode Address=\"127.0.1.2\" Reason=\"Spam domain\"/></ResultCodes></Server>"});
    struct Case {
        QString target;
        QString row;     // mx|status|listing zones
        QString message; // part of the message
    };
    const Case cases[] = {
        {"postmaster@hosts.test", "mx1.hosts.test|listed|exact.test dom.test", "Blacklisted by 2 servers"},
        // Its mail host is clean, its own domain is not.
        {"user@spamdomain.test", "implicit.test|listed|dom.test", "Blacklisted by 1 server"},
        // Its mail server and the mail server's domain are listed; its own domain is not.
        {"user@other.test", "mx1.hosts.test|listed|exact.test dom.test", "Blacklisted by 2 servers"},
        // The mail host is the domain itself: its domain is asked once.
        {"user@implicit.test", "implicit.test|clean|", "Not on any Blacklist (2 lists checked)"},
    };
    QStringList targets;
    for (const Case& c : cases) targets << c.target;
    const CliResult r = run(QStringList{"--format", "json"} + targets, {}, kinds);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QJsonArray reported = json(r)["targets"].toArray();
    ASSERT_EQ(reported.size(), int(std::size(cases))) << r.out.toStdString();
    for (int i = 0; i < reported.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.target.toStdString());
        const QJsonObject target = reported[i].toObject();
        QStringList listedBy;
        for (const QJsonValue& v : target["listedBy"].toArray()) listedBy << v.toObject()["zone"].toString();
        EXPECT_EQ(pick(target, {"target", "mx", "status"}) + "|" + listedBy.join(' '), c.target + "|" + c.row);
        EXPECT_TRUE(target["message"].toString().contains(c.message)) << target["message"].toString().toStdString();
    }
}

// Every status, how it sets the exit status, and the once-per-scan notes
// (no DNS server answering: TimeoutAndTriesGovernEveryQuery).
TEST_F(QuarloCheck, StatusAndExitStatusPerTarget)
{
    struct Case {
        const char* label;
        bool selfTest;     // the configuration with lists that fail the self-test
        const char* args;  // options, blank-separated
        const char* given; // "target|status", comma-separated
        int exitCode;
        QString message; // part of the first target's message
        QString note;    // part of standard error; empty: no note at all
    };
    const std::vector<Case> cases{
        {"listed", false, "", "192.0.2.1|listed", 1, "Blacklisted by 2 servers", ""},
        {"clean", false, "", "198.51.100.20|clean,clean.hosts.test|clean", 0, "Not on any Blacklist (2 lists checked)",
         ""},
        {"listed wins over the rest", false, "",
         "2001:db8::1|not-applicable,192.0.2.1|listed,missing.hosts.test|unresolvable", 1,
         "Not checked: no enabled list supports IPv6", ""},
        {"refusal code", false, "", "192.0.2.9|refused", 3, "Query refused by exact.test (Query via public resolver)",
         "Your DNS resolver is refused by exact.test: Query via public resolver; use your own resolver"},
        {"list fails self-test", true, "", "198.51.100.20|incomplete", 3,
         "Not completely checked: 1 of 4 lists did not answer: every.test (skipped: lists 127.0.0.1)", ""},
        // Untested on request: every list's answer counts.
        {"lists asked untested", true, "--no-list-test", "198.51.100.20|clean", 0,
         "Not on any Blacklist (4 lists checked)", ""},
        {"null MX", false, "", "postmaster@nomail.test|no-mail,198.51.100.20|clean", 3,
         "Domain accepts no mail (null MX)", ""},
        {"IPv6 literal", false, "", "2001:db8::1|not-applicable,198.51.100.20|clean", 3,
         "not applicable: exact.test (does not answer IPv6 queries)", ""},
        {"only @", false, "", "@|invalid", 3, "Invalid target: e-mail address: empty host name", ""},
        {"blank argument", false, "", "  |invalid,198.51.100.20|clean", 3, "Invalid target: empty target", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        QStringList targets, expected;
        for (const QString& row : QString(c.given).split(',')) {
            targets << row.section('|', 0, 0);
            // A listed target names the lists listing it (a refusal never does).
            expected << row.trimmed() + (row.endsWith("|listed") ? "|by" : "");
        }
        const CliResult r =
            run(QStringList{"--format", "json"} + QString(c.args).split(' ', Qt::SkipEmptyParts) + targets, {},
                c.selfTest ? selfTestConfig : config);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.err.toStdString();
        QStringList rows;
        for (const QJsonValue& t : json(r)["targets"].toArray())
            rows << pick(t, {"target", "status"}) + (t["listedBy"].toArray().isEmpty() ? "" : "|by");
        EXPECT_EQ(rows, expected);
        const QString message = json(r)["targets"][0]["message"].toString();
        EXPECT_TRUE(message.contains(c.message)) << message.toStdString();
        // A note only where one is due.
        EXPECT_EQ(r.err.contains("No DNS server answered") || r.err.contains("refused by"), !c.note.isEmpty())
            << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.note)) << r.err.toStdString();
    }
}

// The text report in full: a listing with the scan's gap beneath it, a mail
// address with its mail host, a refusal shown as one (not as a listing), and
// the lists skipped or not verified named once at the end.
TEST_F(QuarloCheck, TextReportShowsVerdictsRefusalsAndSkippedLists)
{
    const CliResult r = run({"-q", "192.0.2.1", "postmaster@implicit.test", "192.0.2.9"}, {}, selfTestConfig);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QString gap = "Not completely checked: 1 of 4 lists did not answer: every.test (skipped: lists 127.0.0.1)\n";
    // The untested list answers first: the others wait for their tests.
    EXPECT_EQ(r.out,
              "192.0.2.1  Blacklisted by 3 servers\n"
              "  Unverified (unverified.test)  Received 1 reason\n    127.0.0.2  Listed\n"
              "  Exact, Inc. (exact.test)  Received 1 reason  http://exact.test/\n"
              "    127.0.0.2  Spam source\n      Listed, see http://exact.test/?192.0.2.1\n"
              "  Mask (mask.test)  Received 2 reasons  http://mask.test/\n"
              "    127.0.0.2  Black\n      Bits 192.0.2.1\n    127.0.0.4  Grey\n      Bits 192.0.2.1\n"
              "  " + gap
                  + "postmaster@implicit.test (implicit.test, 198.51.100.20)  " + gap + "192.0.2.9  " + gap
                  + "  Exact, Inc. (exact.test)  Query refused  http://exact.test/\n"
                    "    127.255.255.254  Query via public resolver\n      query via public resolver\n\n"
                    "Lists skipped in this scan:\n"
                    "  Every (every.test) lists the test address 127.0.0.1, so it would list every address; skipped in "
                    "this scan\n");
    // Warnings are not progress: --quiet keeps them.
    EXPECT_TRUE(r.err.contains("Your DNS resolver is refused by exact.test")) << r.err.toStdString();
}

TEST_F(QuarloCheck, JsonReportCarriesTheScanTheListsAndEveryDetail)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    const CliResult r =
        run({"--format", "json", "192.0.2.2", "192.0.2.9", "missing.hosts.test", "2001:db8::1"}, {}, selfTestConfig);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QJsonObject report = json(r);
    const QDateTime started = QDateTime::fromString(report["started"].toString(), Qt::ISODate);
    EXPECT_TRUE(report["started"].toString().endsWith('Z') && started >= before
                && started <= QDateTime::currentDateTimeUtc())
        << report["started"].toString().toStdString();
    EXPECT_EQ(report["dnsServers"].toArray(), QJsonArray{server.serverSpec()});

    QStringList lists;
    for (const QJsonValue& list : report["lists"].toArray()) lists << pick(list, {"zone", "health", "name"});
    EXPECT_EQ(lists,
              (QStringList{"exact.test|ok|Exact, Inc.", "mask.test|ok|Mask", "every.test|lists-everything|Every",
                           "unverified.test|untested|Unverified"}));
    EXPECT_TRUE(report["lists"][2]["description"].toString().contains("lists the test address 127.0.0.1"));

    const QJsonArray targets = report["targets"].toArray();
    ASSERT_EQ(targets.size(), 4);
    EXPECT_EQ(pick(targets[0], {"ip", "mx"}), "192.0.2.2|");
    EXPECT_EQ(pick(targets[0]["listedBy"][0], {"name", "zone", "url"}), "Exact, Inc.|exact.test|http://exact.test/");
    EXPECT_EQ(pick(targets[0]["listedBy"][0]["responses"][0], {"address", "reason", "txt"}),
              "127.0.0.10|Dynamic|Dynamic 192.0.2.2");
    EXPECT_EQ(targets[0]["skipped"].toArray(),
              QJsonArray({QJsonObject{{"zone", "every.test"}, {"reason", report["lists"][2]["description"]}}}));

    // Refused, and a list skipped: incomplete.
    EXPECT_EQ(QStringList({pick(targets[1], {"status"}), QString::number(targets[1]["refused"].toArray().size()),
                           pick(targets[1]["refused"][0], {"zone", "reason"}),
                           targets[1]["refused"][0]["responses"][0]["txt"].toString()}),
              QStringList({"incomplete", "1", "exact.test|Query via public resolver", "query via public resolver"}));
    EXPECT_EQ(pick(targets[2], {"status", "ip"}), "unresolvable|");
    // Lists that cannot answer a target are named, each with why.
    EXPECT_EQ(pick(targets[3], {"status", "listsChecked"}) + "|"
                  + pick(targets[3]["notApplicable"][0], {"zone", "reason"}),
              "not-applicable|0|exact.test|does not answer IPv6 queries");
}

TEST_F(QuarloCheck, CsvHasOneRowPerResponseAndOnePerQuietTarget)
{
    const QString listFile = dir.filePath("some.BlackList");
    spit(listFile, "<AddressList><Address Target=\"192.0.2.1\"/><Address Target=\"198.51.100.20\"/></AddressList>");
    const CliResult r =
        run({"--format", "csv", listFile, "-"},
            "# comment\n\n 192.0.2.9 \n192.0.2.1\npostmaster@nomail.test\nbad\x01name\n", selfTestConfig);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    // Every row carries the one scan's start.
    const QString started = csvRecords(r.out).value(1).value(15);
    EXPECT_TRUE(QDateTime::fromString(started, Qt::ISODate).isValid()) << started.toStdString();
    const QString listing = ",listing,Blacklisted by 3 servers,,,every.test (lists 127.0.0.1)," + started;
    const QString gap = "Not completely checked: 1 of 4 lists did not answer: every.test (skipped: lists 127.0.0.1),,";
    const QString skipped = "every.test (lists 127.0.0.1)," + started;
    const QString exact = "192.0.2.1,192.0.2.1,listed,\"Exact, Inc.\",exact.test,http://exact.test/,127.0.0.2,";
    const QString mask = "192.0.2.1,192.0.2.1,listed,Mask,mask.test,http://mask.test/,127.0.0.";
    // 192.0.2.1 once although given twice; a refusal is no listing; control
    // characters would reach the terminal: CSV shows them as text output does.
    EXPECT_EQ(
        r.out.split("\r\n"),
        (QStringList{
            "Target,IP,Status,Server,Zone,URL,Response,Reason,TXT,MX,Answer,Message,Failed,Refused,Skipped,Started",
            "192.0.2.1,192.0.2.1,listed,Unverified,unverified.test,,127.0.0.2,Listed,," + listing,
            exact + "Spam source,\"Listed, see http://exact.test/?192.0.2.1\"," + listing,
            mask + "2,Black,Bits 192.0.2.1," + listing, mask + "4,Grey,Bits 192.0.2.1," + listing,
            "198.51.100.20,198.51.100.20,incomplete,,,,,,,,," + gap + "," + skipped,
            "192.0.2.9,192.0.2.9,incomplete,\"Exact, Inc.\",exact.test,http://exact.test/,127.255.255.254,Query "
            "via public resolver,query via public resolver,,refusal,"
                + gap + "exact.test (Query via public resolver)," + skipped,
            "postmaster@nomail.test,,no-mail,,,,,,,,,Domain accepts no mail (null MX),,,," + started,
            "bad?name,,invalid,,,,,,,,,Invalid target: contains control characters,,,," + started, ""}));
}

// The report is written in pieces while the scan's record catches up: it
// is the same report, to the output and to a file, as a run without history
// writes in one go. 4,096 targets on two lists are enough observations to
// keep the record behind.
TEST_F(QuarloCheck, ReportsWrittenWhileTheHistoryRecordsAreWhole)
{
    const auto withoutStart = [](QString text) {
        return text.replace(QRegularExpression(",[0-9T:-]+Z\r\n"), QStringLiteral(",\r\n"));
    };
    const QString history = "QUARLO_HISTORY=" + dir.filePath("pieces.sqlite");
    CliRun plain = how({"--format", "csv", "--no-history", "192.0.2.0/20"});
    const CliResult whole = runProgram(plain);
    ASSERT_EQ(whole.exitCode, 1) << whole.err.toStdString();
    ASSERT_GT(whole.out.count("\r\n"), 4096) << "a row per quiet target, one per response";
    for (const QString& format : {QStringLiteral("csv"), QStringLiteral("json")}) {
        SCOPED_TRACE(format.toStdString());
        CliRun recorded = how({"--format", format, "192.0.2.0/20"});
        recorded.env << history;
        const CliResult out = runProgram(recorded);
        EXPECT_EQ(out.exitCode, 1) << out.err.toStdString();
        EXPECT_FALSE(out.err.contains("history")) << out.err.toStdString();
        const QString file = dir.filePath("report." + format);
        recorded.args << "--output" << file;
        const CliResult toFile = runProgram(recorded);
        EXPECT_EQ(toFile.exitCode, 1) << toFile.err.toStdString();
        if (format == "csv") {
            EXPECT_EQ(withoutStart(out.out), withoutStart(whole.out));
            EXPECT_EQ(withoutStart(QString::fromUtf8(slurp(file))), withoutStart(whole.out));
        } else {
            CliResult written;
            written.out = QString::fromUtf8(slurp(file));
            EXPECT_EQ(reportRows(out).size(), 4096);
            EXPECT_EQ(reportRows(written), reportRows(out));
        }
    }
}

// Whatever keeps a run from starting ends it before the first DNS query, in
// a plain run (status 2) as in a watch run (status 3, and the one UNKNOWN
// line a monitoring system reads), with a short printable message naming
// what is wrong, and no scan recorded: bad usage, configurations, list
// files, --output places, --dns values and inputs that give no target.
TEST_F(QuarloCheck, RunsThatCannotStartFailBeforeAnyQuery)
{
    FakeDnsServer silent; // counts the queries; never answers
    QString error;
    ASSERT_TRUE(silent.start(&error)) << error.toStdString();
    const QString history = dir.filePath("history.sqlite");
    const QString work = dir.filePath("work");
    // A directory of a target's name is no list.
    ASSERT_TRUE(QDir().mkpath(work + "/clean.hosts.test"));
    const auto file = [&](const QString& name, const QByteArray& bytes) {
        spit(dir.filePath(name), bytes);
        return dir.filePath(name);
    };
    const QString broken = file("broken.cfg",
                                "<Quarlo><BlackListServers>\n  <Server Server=\"x.test\"></Srv>\n"
                                "</BlackListServers></Quarlo>");
    const QString empty = file("empty.cfg", "<Quarlo><BlackListServers/></Quarlo>");
    // Unreadable files and a folder nobody writes: root reads and writes
    // anything, so root runs the program as nobody for these.
    const QString lockedCfg = file("locked.cfg", "<Quarlo><BlackListServers/></Quarlo>");
    const QString lockedList = file("locked.txt", "192.0.2.1\n");
    const QString locked = dir.filePath("locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(lockedCfg, {}) && QFile::setPermissions(lockedList, {}));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    ASSERT_TRUE(QFile::setPermissions(
        dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    // Places --output cannot write.
    ASSERT_TRUE(QDir(dir.path()).mkpath("folder"));
    ASSERT_TRUE(QFile::link(dir.filePath("nowhere/x.txt"), dir.filePath("dangling.txt")));
    ASSERT_TRUE(QFile::link(config, dir.filePath("link.txt")));
    file("plain.txt", "x");
    // Files that are neither kind of list, or too large to be one (sparse).
    QByteArray late;
    for (int i = 0; i < 1000; ++i) late += "198.51.100.20\n";
    const QString wide = "192.0.2.1\r\n";
    const QString png = file("image.png", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\x1b[2J", 20));
    const QString lateBinary = file("late.txt", late + "\x1b[2J" + QByteArray(3, '\0') + "\x01\x02\n192.0.2.1\n");
    const QString notepad =
        file("notepad.txt", "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(wide.utf16()), wide.size() * 2));
    const QString brokenList = file("broken.txt", "<AddressList><Address Target=");
    QFile huge(dir.filePath("huge.txt"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize(64LL * 1024 * 1024 + 1));
    huge.close();
    // Inputs without a target.
    const QString nothing = file("empty.txt", "");
    const QString comments = file("comments", "# nothing yet\n\n   \r\n\t# still nothing\n");
    const QString noEntries = file("none.BlackList", "<AddressList><Address/><Address Target=\"  \"/></AddressList>");

    const QString binary =
        "it is neither a .BlackList address list nor text with one target per line: it holds binary data";
    const auto cannotLoad = [](const QString& path) { return "cannot load Address List from " + path + ": "; };
    const QString cannotRead = "cannot read the blacklist server configuration ";
    const QString cannotWrite = "cannot write --output ";
    const auto badDns = [](const QString& named) {
        return "--dns wants IP addresses with an optional port (192.0.2.53, 192.0.2.53:5353, 2001:db8::53, "
               "[2001:db8::53]:5353), not \""
            + named + "\"";
    };
    const QString noTargets = "no targets found: ";
    struct Case {
        QStringList args;
        QStringList says; // parts of standard error
        bool unprivileged = false;
        QString config = {};   // empty: the fixture's
        QByteArray input = {}; // standard input
    };
    std::vector<Case> cases{
        {{"--format", "yaml", "192.0.2.1"}, {"unknown format"}},
        {{"--output-follow-links", "192.0.2.1"}, {"--output-follow-links goes with --output FILE"}},
        // The configuration.
        {{"192.0.2.1"}, {"no blacklist server configuration at"}, false, dir.filePath("nothing.cfg")},
        {{"192.0.2.1"}, {"is not well-formed XML: line 2, column"}, false, broken},
        {{"192.0.2.1"}, {"holds no enabled blacklist server"}, false, empty},
        {{"192.0.2.1"}, {cannotRead + dir.path() + ": it is a directory"}, false, dir.path()},
        {{"192.0.2.1"}, {cannotRead + lockedCfg + ": Permission denied"}, true, lockedCfg},
        // List files: a path that names no regular file is an error naming
        // it, never a host name to look up.
        {{dir.filePath("broken.BlackList")}, {"cannot load Address List from"}},
        {{"--file", "/dev/zero"}, {cannotLoad("/dev/zero") + "it is not a regular file"}},
        {{"192.0.2.1", "/dev/null"}, {cannotLoad("/dev/null") + "it is not a regular file"}},
        {{"192.0.2.1", "lists/servers.BlackList"}, {cannotLoad("lists/servers.BlackList") + "the file does not exist"}},
        {{"192.0.2.1", "./clean.hosts.test"}, {cannotLoad("./clean.hosts.test") + "it is a directory, not a file"}},
        {{"192.0.2.1", png}, {cannotLoad(png) + binary}},
        // Past the start that tells text from binary data.
        {{"192.0.2.1", lateBinary}, {cannotLoad(lateBinary) + binary + " (line 1001)"}},
        {{"192.0.2.1", notepad}, {cannotLoad(notepad) + "it is UTF-16 text; save it as UTF-8"}},
        {{"192.0.2.1", brokenList}, {cannotLoad(brokenList)}},
        {{"192.0.2.1", lockedList}, {cannotLoad(lockedList) + "Permission denied"}, true},
        {{"-f", huge.fileName()}, {cannotLoad(huge.fileName()) + "it is larger than 64 MiB"}},
        // --output, in every mode that writes it.
        {{"--output", dir.filePath("dangling.txt"), "192.0.2.1"},
         {cannotWrite, "It is a symbolic link to a file that does not exist"}},
        // A link is refused, naming the way out.
        {{"--output", dir.filePath("link.txt"), "--format", "csv", "192.0.2.1"},
         {cannotWrite + dir.filePath("link.txt") + ": It is a symbolic link;", "--output-follow-links"}},
        {{"--output", dir.filePath("link.txt"), "--format", "prometheus", "192.0.2.1", "--watch"},
         {cannotWrite, "It is a symbolic link;"}},
        {{"--output", dir.filePath("link.txt"), "--history-csv", "192.0.2.1"}, {cannotWrite, "It is a symbolic link;"}},
        {{"--output", dir.filePath("folder"), "192.0.2.1"}, {cannotWrite, "It is a directory, not a file"}},
        {{"--output", dir.filePath("missing/out.txt"), "192.0.2.1"},
         {cannotWrite, "missing: No such file or directory"}},
        {{"--output", dir.filePath("plain.txt/out.html"), "--format", "html", "192.0.2.1"},
         {cannotWrite, "plain.txt: Not a directory"}},
        {{"--output", locked + "/out.txt", "192.0.2.1"},
         {cannotWrite, "Cannot write in the folder " + locked + ": Permission denied"},
         true},
        // No targets after reading the input: an emptied list must not pass
        // for a clean one.
        {{nothing}, {noTargets + nothing + " is empty"}},
        {{"-f", nothing}, {noTargets + nothing + " is empty"}},
        {{comments}, {noTargets + comments + " holds only blank lines and comments"}},
        {{noEntries}, {noTargets + noEntries + " is an address list without targets"}},
        {{config},
         {noTargets + config + " is XML but not an address list (its root element is <Quarlo>, not <AddressList>)"}},
        {{"-"}, {noTargets + "standard input holds only blank lines and comments"}, false, {}, "# one\n\n   \n# two"},
        // No arguments, standard input not a terminal.
        {{}, {noTargets + "standard input is empty"}},
        {{nothing, "-", "-f", comments},
         {noTargets + comments + " holds only blank lines and comments; " + nothing
          + " is empty; standard input holds only blank lines and comments"},
         false,
         {},
         "\n"},
    };
    // --dns takes what QUARLO_DNS_SERVERS takes; anything else would be
    // dropped and the scan sent to servers the user did not choose. One bad
    // entry among good ones is named on its own.
    for (const QString& bad : {QString("localhost"), QString("resolver.example.org:53"), QString("192.0.2.256"),
                               QString("192.0.2.53:0"), QString("192.0.2.53:65536"), QString("[2001:db8::53"),
                               QString("2001:db8::53]:53"), server.serverSpec() + ", resolver.lan"})
        cases.push_back({{"--dns", bad, "192.0.2.1"}, {badDns(bad.section(", ", -1))}});
    for (const char* none : {"", " , "})
        cases.push_back({{"--dns", none, "192.0.2.1"}, {"--dns wants at least one DNS server address"}});
    cases.push_back({{"--dns", "\x1b[2J" + QString(500, QLatin1Char('a')), "192.0.2.1"},
                     {badDns("?[2J" + QString(36, QLatin1Char('a')) + "...")}});
    for (const Case& c : cases) {
        // A run that names its own mode is tried in that mode only.
        const bool ownMode =
            c.args.contains("--format") || c.args.contains("--history-csv") || c.args.contains("--watch");
        for (const bool watch : {false, true}) {
            if (watch && ownMode) continue;
            const QStringList args = c.args + (watch ? QStringList{"--watch"} : QStringList{});
            SCOPED_TRACE(args.join(' ').left(200).toStdString());
            CliRun runAs = how(QStringList{"--timeout", "100", "--tries", "1"} + args, c.input, c.config);
            runAs.dnsServers = silent.serverSpec();
            runAs.env = QStringList{"QUARLO_HISTORY=" + history};
            runAs.workingDir = work;
            runAs.asNobody = c.unprivileged;
            const CliResult r = runProgram(runAs);
            EXPECT_EQ(r.exitCode, args.contains("--watch") ? 3 : 2);
            for (const QString& part : c.says) EXPECT_TRUE(r.err.contains(part)) << r.err.toStdString();
            // The real problem, not a stand-in, and nothing of the bad bytes.
            EXPECT_FALSE(r.err.contains("Unknown error") || (c.config != empty && r.err.contains("holds no enabled")))
                << r.err.toStdString();
            EXPECT_LT(r.err.size(), 400) << r.err.toStdString();
            EXPECT_FALSE(hasControlCharacters(r.err, "\n")) << r.err.toStdString();
            expectNoReport(r, args.contains("--watch"));
        }
    }
    EXPECT_FALSE(QFile::exists(history)) << "a run that could not start was recorded";
    EXPECT_EQ(slurp(config).left(8), "<Quarlo>") << "the link's file was left alone";

    // Blanks and empty entries aside, a good --dns value is used as given;
    // IPv6 forms pass too (the run goes on to its next check).
    CliRun good = how({"--format", "json", "--dns", " " + server.serverSpec() + " ,, ", "192.0.2.1"});
    good.dnsServers = silent.serverSpec();
    CliResult r = runProgram(good);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(json(r)["dnsServers"].toArray(), QJsonArray{server.serverSpec()});
    r = run({"--dns", "[::1]:9,::1,127.0.0.1", "192.0.2.1"}, {}, dir.filePath("nothing.cfg"));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("no blacklist server configuration at")) << r.err.toStdString();
    EXPECT_TRUE(silent.queries().isEmpty()) << silent.queries().size() << " queries were sent";

    // A source that gives no target beside others that do is named in a warning.
    r = run({"--format", "json", "192.0.2.1", nothing, "-"}, "# none\n");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(reportRows(r), QStringList{"192.0.2.1|listed"});
    EXPECT_TRUE(r.err.contains(nothing + " is empty; checking the other targets")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("standard input holds only blank lines and comments; checking the other targets"))
        << r.err.toStdString();
}

// The review's case: another local user places "quarlo.json -> their
// victim's file" in a shared folder. The run refuses before scanning and the
// file stays as it was, the same inode; asked to follow links, it writes the
// file the link points at. (Every link rule: AtomicFileWriter's tests.)
TEST_F(QuarloCheck, OutputThroughAPlantedLinkIsRefusedUnlessLinksAreFollowed)
{
    ASSERT_TRUE(QDir(dir.path()).mkpath("victim"));
    ASSERT_TRUE(QDir(dir.path()).mkpath("shared"));
    const QString notes = dir.filePath("victim/notes.txt");
    spit(notes, "the victim's notes");
    const QString planted = dir.filePath("shared/quarlo.json");
    ASSERT_TRUE(QFile::link(notes, planted));
    const auto inode = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : ino_t(0);
    };
    const auto before = inode(notes);

    // Refused (the message: RunsThatCannotStartFailBeforeAnyQuery).
    CliResult r = run({"-q", "--format", "json", "--output", planted, "192.0.2.1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(slurp(notes), "the victim's notes");
    EXPECT_EQ(inode(notes), before);
    EXPECT_EQ(QDir(dir.filePath("victim")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"notes.txt"});

    r = run({"-q", "--format", "json", "--output", planted, "--output-follow-links", "192.0.2.1"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(slurp(notes))["targets"][0]["status"].toString(), "listed");
    EXPECT_TRUE(QFileInfo(planted).isSymLink());
}

// --timeout and --tries reach every DNS component: counted at a server that
// never answers.
TEST_F(QuarloCheck, TimeoutAndTriesGovernEveryQuery)
{
    FakeDnsServer silent; // no script: it never answers
    QString error;
    ASSERT_TRUE(silent.start(&error)) << error.toStdString();
    const CliResult r = run({"--format", "json", "--dns", silent.serverSpec(), "--timeout", "100", "--tries", "3",
                             "192.0.2.1", "postmaster@hosts.test"});
    EXPECT_EQ(r.exitCode, 3) << r.err.toStdString();
    // Three tries each: the zone tests (2 lists x 2 test addresses) and the MX query.
    EXPECT_EQ(silent.queries().size(), 3 * (4 + 1));
    EXPECT_EQ(
        reportRows(r, {"status", "message"}),
        (QStringList{"incomplete|Not completely checked: 2 of 2 lists did not answer: exact.test (skipped: test query "
                     "timed out), mask.test (skipped: test query timed out)",
                     "incomplete|Not completely checked: MX lookup failed: timed out"}));
    EXPECT_TRUE(r.err.contains(kNoAnswerNote)) << r.err.toStdString();
}

// Input is read with bounded memory: an overlong line is cut while read and
// named only by its start; endless input ends the run (too many targets:
// NetworkRangesExpandIntoTheirAddresses).
TEST_F(QuarloCheck, HugeOrEndlessInputIsRefusedWithShortMessagesAndLittleMemory)
{
    // An overlong argument; an overlong line, with terminal controls, and an
    // overlong comment on standard input.
    const QByteArray input = "\x1b[2J" + QByteArray(5000, 'b') + "\n# " + QByteArray(10000, 'c') + "\n198.51.100.20\n";
    const CliResult r = run({"--format", "json", QString(1000, QLatin1Char('a')), "-"}, input);
    EXPECT_EQ(r.exitCode, 3) << r.err.left(300).toStdString();
    // Nothing of the bad input is echoed beyond its start.
    EXPECT_LT(r.out.size(), 8000) << r.out.left(300).toStdString();
    EXPECT_LT(r.err.size(), 300) << r.err.left(300).toStdString();
    const QString tooLong = "...|invalid|Invalid target: longer than 320 characters";
    EXPECT_EQ(reportRows(r, {"target", "status", "message"}),
              (QStringList{QString(40, QLatin1Char('a')) + tooLong, "?[2J" + QString(36, QLatin1Char('b')) + tooLong,
                           "198.51.100.20|clean|Not on any Blacklist (2 lists checked)"}));

    CliRun endless = how({"-"});
    endless.inputFile = "/dev/zero";
    const CliResult refused = runProgram(endless);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.out.isEmpty()) << refused.out.left(300).toStdString();
    EXPECT_TRUE(refused.err.contains("standard input holds more than 1 GiB")) << refused.err.left(300).toStdString();
}

// A list's names and texts are a stranger's: in every CSV a formula sign in
// front is defused (blanks, tabs and line ends in front: the desktop CSV's
// test).
TEST_F(QuarloCheck, CsvReportsAndHistoryDefuseFormulas)
{
    const QString formulas = dir.filePath("formula.cfg");
    writeConfig(formulas,
                {"<Server Server=\"formula.test\" Enabled=\"TRUE\" Name=\"=Formula\"><ResultCodes>"
                 "<ResultCode Address=\"127.0.0.2\" Reason=\"-1+cmd\"/></ResultCodes></Server>"});
    const QStringList history{"--history", dir.filePath("h.sqlite")};
    const CliResult csv = run(history + QStringList{"--format", "csv", "192.0.2.1", "192.0.2.2"}, {}, formulas);
    EXPECT_EQ(csv.exitCode, 1) << csv.err.toStdString();
    const CliResult recorded = run(history + QStringList{"--history-csv", "192.0.2.1"}, {}, formulas);
    for (const CliResult* r : {&csv, &recorded}) {
        for (const QString& field : r->out.split(QRegularExpression("[,\n]"))) {
            const QString unquoted = field.startsWith('"') ? field.mid(1) : field;
            EXPECT_FALSE(QRegularExpression("^\\s*[=@+\\-][^0-9]").match(unquoted).hasMatch())
                << "a live formula: " << field.toStdString() << "\n"
                << r->out.toStdString();
        }
    }
    // The list's name, the reason and the TXT text each came with a sign.
    for (const char* defused : {",'=Formula,", ",'-1+cmd,", ",'@SUM(1+1)"}) {
        EXPECT_TRUE(csv.out.contains(defused)) << defused << "\n" << csv.out.toStdString();
    }
    EXPECT_TRUE(recorded.out.contains(",'=Formula,") && recorded.out.contains(",'-1+cmd,"))
        << recorded.out.toStdString();
}

// A 50 MB line is cut while read. Measured by time(1): a child forked from
// this test starts out with the test's own memory, so the test cannot
// measure it itself.
TEST_F(QuarloCheck, FiftyMegabyteLineTakesLittleMemory)
{
    const QString time = QStringLiteral("/usr/bin/time");
    if (!QFileInfo(time).isExecutable()) GTEST_SKIP() << "no " << time.toStdString() << " to measure with";
    const QString report = dir.filePath("peak");
    // The line ends with the input, without a line end.
    CliRun measured = how({"-q", "-"}, "192.0.2.1\n" + QByteArray(50 * 1000 * 1000, 'a'));
    measured.wrapper = {time, "-f", "%M", "-o", report};
    const CliResult r = runProgram(measured);
    EXPECT_EQ(r.exitCode, 1) << r.err.left(300).toStdString();
    EXPECT_LT(r.out.size(), 8000) << "the line was echoed";
    bool ok = false;
    const long kib = slurp(report).trimmed().split('\n').last().toLong(&ok);
    ASSERT_TRUE(ok);
    // Holding the line whole even once, as UTF-16, would take 100 MB; under
    // AddressSanitizer the program starts some 80 MB larger.
    long kSanitizerKib = 0;
#if defined(__SANITIZE_ADDRESS__)
    kSanitizerKib = 80 * 1024;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    kSanitizerKib = 80 * 1024;
#endif
#endif
    EXPECT_LT(kib, 100 * 1024 + kSanitizerKib);
}

namespace {

// DNS answers with junk where names and texts belong, from a server inside
// the test: MX records naming no host, TXT text with terminal controls.
class HostileDns : public ::testing::Test {
protected:
    // Terminal controls, and direction controls (U+202E, U+202C, U+2066, U+2069,
    // U+061C, U+200E, U+200F) that would show "exe.txt" as "txt.exe".
    static constexpr const char* kTxt = "Listed \x1b]0;owned\x07 \x1b[2J\r\n\x7f \xc2\x9b"
                                        "31m, \"see\" x "
                                        "\xe2\x80\xae"
                                        "exe.txt\xe2\x80\xac \xe2\x81\xa6\xe2\x81\xa9\xd8\x9c\xe2\x80\x8e\xe2\x80\x8f";

    void SetUp() override
    {
        exchangers = {
            {"colon.test", {"127.0.0.7:BlacklistCheck:nxd.test"}},
            {"escape.test", {"\x1b[31mred.test"}},
            {"long.test", {QByteArray(60, 'x') + ":." + QByteArray(60, 'y') + "." + QByteArray(60, 'z') + ".test"}},
            // The preferred exchanger is where mail goes: a good backup does not stand in for it.
            {"backup.test", {"bad:name.test", "mx.good.test"}},
            {"good.test", {"mx.good.test"}},
        };
        dns.setScript([this](const FakeDnsServer::Query& q) -> QList<FakeDnsServer::Send> {
            const QByteArray name = q.name.toLower();
            if (q.type == 15 && exchangers.contains(name)) {
                QList<FakeDnsServer::Record> records;
                quint16 preference = 10;
                for (const QByteArray& host : exchangers.value(name))
                    records.append(FakeDnsServer::Mx(preference++, host));
                return FakeDnsServer::Reply(FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, records));
            }
            const bool listed = name == "2.0.0.127.fake.test" || name == "1.2.0.192.fake.test";
            if (q.type == 1 && name == "mx.good.test")
                return FakeDnsServer::Reply(
                    FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::A("192.0.2.1")}));
            if (q.type == 1 && listed)
                return FakeDnsServer::Reply(
                    FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::A("127.0.0.2")}));
            if (q.type == 16 && listed)
                return FakeDnsServer::Reply(
                    FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::Txt({kTxt})}));
            return FakeDnsServer::Reply(FakeDnsServer::BuildReply(q, FakeDnsServer::NxDomain));
        });
        QString error;
        ASSERT_TRUE(dns.start(&error)) << error.toStdString();
        config = dir.filePath("fake.cfg");
        spit(config,
             "<Quarlo><BlackListServers><Server Server=\"fake.test\" Enabled=\"TRUE\" Name=\"Fake\"><ResultCodes>"
             "<ResultCode Address=\"127.0.0.2\" Reason=\"Spam\"/></ResultCodes></Server></BlackListServers></Quarlo>");
    }

    CliResult run(const QStringList& args)
    {
        CliRun how;
        how.args = QStringList{"--config", config, "--dns", dns.serverSpec(), "--tries", "1", "-q"} + args;
        how.dnsServers = dns.serverSpec();
        how.registryDir = dir.filePath("registry");
        return runProgram(how);
    }

    FakeDnsServer dns;
    QTemporaryDir dir;
    QString config;
    QMap<QByteArray, QList<QByteArray>> exchangers; // mail domain -> MX hosts, most preferred first
};

} // namespace

// An MX that names no host is a lookup that failed: nothing is vouched for.
TEST_F(HostileDns, MailExchangersThatAreNoHostNamesLeaveTheTargetIncomplete)
{
    QStringList args{"--format", "json"};
    for (const char* domain : {"colon.test", "escape.test", "long.test", "backup.test", "good.test"})
        args << QStringLiteral("postmaster@") + domain;
    const CliResult r = run(args);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    // One row per address given: nothing from DNS joined the targets. A bad
    // name is shown short and printable (a control byte as DNS writes it, \027).
    const QString invalid = "incomplete||Not completely checked: no valid mail exchanger (MX names \"%1\")";
    EXPECT_EQ(reportRows(r, {"status", "mx", "message"}),
              (QStringList{invalid.arg("127.0.0.7:BlacklistCheck:nxd.test"), invalid.arg("\\027[31mred.test"),
                           invalid.arg(QString(40, QLatin1Char('x')) + "..."), invalid.arg("bad:name.test"),
                           "listed|mx.good.test|Blacklisted by 1 server"}));
    // The junk was never looked up, nor anything made from it.
    QStringList looked;
    for (const FakeDnsServer::Query& q : dns.queries())
        if (q.type == 1) looked << QString::fromLatin1(q.name.toLower());
    looked.removeDuplicates();
    looked.sort();
    EXPECT_EQ(looked,
              (QStringList{"1.0.0.127.fake.test", "1.2.0.192.fake.test", "2.0.0.127.fake.test", "mx.good.test"}));
}

TEST_F(HostileDns, ControlCharactersInTxtTextNeverReachTheTerminal)
{
    // JSON carries the text exactly (escaped): the controls did reach the program.
    const CliResult json = run({"--format", "json", "192.0.2.1"});
    EXPECT_EQ(json.exitCode, 1) << json.err.toStdString();
    const QJsonObject listing =
        QJsonDocument::fromJson(json.out.toUtf8()).object()["targets"][0]["listedBy"][0]["responses"][0].toObject();
    EXPECT_TRUE(listing["txt"].toString().contains(QLatin1Char('\x1b'))) << json.out.toStdString();
    EXPECT_TRUE(listing["txt"].toString().contains(QChar(0x202E))) << json.out.toStdString();
    EXPECT_FALSE(hasControlCharacters(json.out, "\n")) << json.out.toStdString();

    const CliResult csv = run({"--format", "csv", "192.0.2.1"});
    EXPECT_EQ(csv.exitCode, 1) << csv.err.toStdString();
    EXPECT_FALSE(hasControlCharacters(csv.out.split("\r\n").join(QString()), {})) << csv.out.toStdString();
    const QList<QStringList> records = csvRecords(csv.out);
    ASSERT_EQ(records.size(), 2) << csv.out.toStdString();
    EXPECT_EQ(records[1].value(8), "Listed ?]0;owned? ?[2J??? ?31m, \"see\" x ?exe.txt? ?????")
        << csv.out.toStdString();

    const CliResult text = run({"192.0.2.1"});
    EXPECT_EQ(text.exitCode, 1) << text.err.toStdString();
    EXPECT_FALSE(hasControlCharacters(text.out, "\n")) << text.out.toStdString();
    EXPECT_TRUE(text.out.contains("      Listed ?]0;owned? ?[2J??? ?31m, \"see\" x ?exe.txt? ?????\n"))
        << text.out.toStdString();
}

// A network range stands for each of its addresses, from arguments and
// standard input alike, each address once; a refused range is an invalid
// target that says why (every reason: IpRange's tests), and too many
// addresses end the run up front.
TEST_F(QuarloCheck, NetworkRangesExpandIntoTheirAddresses)
{
    // mask.test lists 192.0.2.1 alone of these.
    const QString maskOnly = dir.filePath("mask.cfg");
    writeConfig(maskOnly, {kMaskServer});
    const CliResult r = run({"--format", "json", "192.0.2.0/29", "10.0.0.0/15", "-"},
                            "# ranges too\n192.0.2.4 - 192.0.2.9\n192.0.2.9\n", maskOnly);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    QStringList expected;
    for (int i = 0; i < 10; ++i) expected << QStringLiteral("192.0.2.%1|%2").arg(i).arg(i == 1 ? "listed" : "clean");
    expected.insert(8, "10.0.0.0/15|invalid");
    EXPECT_EQ(reportRows(r), expected);
    EXPECT_TRUE(json(r)["targets"][8]["message"].toString().contains("131,072 addresses")) << r.out.toStdString();

    const CliResult tooMany = run({"10.0.0.0/16", "10.1.0.0/16"}, {}, maskOnly);
    EXPECT_EQ(tooMany.exitCode, 2);
    EXPECT_TRUE(tooMany.err.contains("more than 100000 targets")) << tooMany.err.toStdString();
}

// Host names' IPv6 addresses are looked up only on request, and each is then
// checked as a target of its own right after its host.
TEST_F(HostileDns, IPv6AddressesOfHostsOnRequest)
{
    QList<FakeDnsServer::Record> many;
    for (int i = 1; i <= 20; ++i)
        many.append(FakeDnsServer::Aaaa(QByteArray("2001:db8:5::" + QByteArray::number(i, 16))));
    const QByteArray listed = ReverseIPv6("2001:db8::2").toLatin1() + ".six.test";
    dns.setScript([&](const FakeDnsServer::Query& q) -> QList<FakeDnsServer::Send> {
        const QByteArray name = q.name.toLower();
        QList<FakeDnsServer::Record> answers;
        if (q.type == 28 && name == "dual.test")
            answers = {FakeDnsServer::Aaaa("2001:db8::1"), FakeDnsServer::Aaaa("2001:db8::2"),
                       FakeDnsServer::Aaaa("2001:db8::1")};
        if (q.type == 28 && name == "many.test") answers = many;
        if (q.type == 1 && (name == "dual.test" || name == "many.test" || name == "v4only.test"))
            answers = {FakeDnsServer::A("192.0.2.1")};
        if (q.type == 1 && (name == listed || name == "2.0.0.127.six.test")) answers = {FakeDnsServer::A("127.0.0.2")};
        return FakeDnsServer::Reply(FakeDnsServer::BuildReply(
            q, answers.isEmpty() ? FakeDnsServer::NxDomain : FakeDnsServer::NoError, answers));
    });
    spit(config,
         "<Quarlo><BlackListServers><Server Server=\"six.test\" Enabled=\"TRUE\" Name=\"Six\" IPv6=\"True\">"
         "<ResultCodes><ResultCode Address=\"127.0.0.2\" "
         "Reason=\"Spam\"/></ResultCodes></Server></BlackListServers></Quarlo>");

    const CliResult plain = run({"--format", "json", "dual.test"});
    EXPECT_EQ(plain.exitCode, 0) << plain.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(plain.out.toUtf8()).object()["targets"].toArray().size(), 1);
    for (const FakeDnsServer::Query& q : dns.queries()) EXPECT_NE(q.type, 28) << q.name.toStdString();

    const CliResult r = run({"--ipv6", "--format", "json", "dual.test", "v4only.test", "192.0.2.9", "many.test"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    // One row per target given; its addresses are checked under it, the
    // repeated record once, a host's addresses capped; an address literal is
    // not looked up.
    QStringList rows;
    for (const QJsonValue& t : QJsonDocument::fromJson(r.out.toUtf8()).object()["targets"].toArray()) {
        QStringList addresses;
        for (const QJsonValue& a : t["addresses"].toArray()) addresses << a["address"].toString();
        rows << pick(t, {"target", "status"}) + "|"
                + (addresses.size() > 4 ? QString::number(addresses.size()) : addresses.join(' '));
    }
    EXPECT_EQ(rows,
              (QStringList{"dual.test|listed|192.0.2.1 2001:db8::1 2001:db8::2", "v4only.test|clean|192.0.2.1",
                           "192.0.2.9|clean|192.0.2.9", "many.test|clean|16"}));
}

// An argument is a list file when a regular file of that name exists, and
// only then, whatever its shape: names that look like files stay targets
// when no such file is there, and a file named like a target is read. (A
// path that names no regular file: RunsThatCannotStartFailBeforeAnyQuery.)
TEST_F(QuarloCheck, ArgumentsAreListFilesOnlyWhenARegularFileOfThatNameExists)
{
    const QString work = dir.filePath("work");
    // A directory of a target's name is no list.
    ASSERT_TRUE(QDir().mkpath(work + "/clean.hosts.test"));
    auto runIn = [&](const QStringList& args) {
        CliRun in = how(QStringList{"-q", "--format", "json"} + args);
        in.workingDir = work;
        return runProgram(in);
    };

    CliResult r = runIn({"www.blacklist.hosts.test", "clean.hosts.test", "servers.BlackList", "192.0.2.0/31",
                         "user/dept@implicit.test", "10.0.0.0/8"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    QStringList rows = reportRows(r);
    ASSERT_EQ(rows.size(), 7) << r.out.toStdString();
    // Looked up as the host name it might be.
    EXPECT_TRUE(rows[2].startsWith("servers.BlackList|") && !rows[2].endsWith("|clean")) << rows[2].toStdString();
    rows.removeAt(2);
    // No target holds a "/" but a range or a mail address.
    EXPECT_EQ(rows,
              (QStringList{"www.blacklist.hosts.test|clean", "clean.hosts.test|clean", "192.0.2.0|clean",
                           "192.0.2.1|listed", "user/dept@implicit.test|clean", "10.0.0.0/8|invalid"}));

    // Now files of those names: read as lists (a link to one too), the
    // arguments' targets first, then the files in order.
    spit(work + "/192.0.2.1", "198.51.100.20\n");
    spit(work + "/servers.BlackList", "clean.hosts.test\n");
    ASSERT_TRUE(QFile::link(work + "/192.0.2.1", work + "/linked"));
    r = runIn({"192.0.2.1", "servers.BlackList", "www.blacklist.hosts.test", "linked", "clean.hosts.test"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(reportRows(r),
              (QStringList{"www.blacklist.hosts.test|clean", "clean.hosts.test|clean", "198.51.100.20|clean"}));
}

// Which kind of list a file is comes from what it holds, not its name; text
// lists take comments, blank lines, CR LF line ends and a byte order mark,
// from --file as from a bare argument.
TEST_F(QuarloCheck, TextListsAndAddressListsAreToldApartByContent)
{
    const QString text = dir.filePath("hosts.BlackList");
    spit(text,
         "\xef\xbb\xbf# mail servers\r\n\r\n  192.0.2.1  \r\n\t# indented comment\nclean.hosts.test\n192.0.2.1\n"
         "   \n"
             + QByteArray(5000, 'x') + "\n198.51.100.20");
    const QString xml = dir.filePath("servers.txt");
    spit(xml,
         "\xef\xbb\xbf\n  <?xml version=\"1.0\"?>\n<AddressList><Address Target=\"192.0.2.2\"/>"
         "<Address Target=\"198.51.100.7\"/></AddressList>\n");
    // As Windows programs write XML: UTF-16 with a byte order mark.
    const QString utf16 = dir.filePath("wide");
    const QString wideXml = "<AddressList><Address Target=\"192.0.2.9\"/></AddressList>";
    spit(utf16, "\xff\xfe" + QByteArray(reinterpret_cast<const char*>(wideXml.utf16()), wideXml.size() * 2));

    const QStringList fromText{"192.0.2.1|listed", "clean.hosts.test|clean",
                               QString(40, QLatin1Char('x')) + "...|invalid", "198.51.100.20|clean"};
    const QStringList fromXml{"192.0.2.2|listed", "198.51.100.7|clean"};
    CliResult r = run({"--format", "json", "-f", xml, text, utf16});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(reportRows(r), fromXml + fromText + QStringList{"192.0.2.9|refused"});
    EXPECT_TRUE(json(r)["targets"][4]["message"].toString().contains("longer than 320 characters"));
    EXPECT_FALSE(r.out.contains(QString(41, QLatin1Char('x')))) << "the overlong line was echoed";

    r = run({"--format", "json", "-f", text, xml});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(reportRows(r), fromText + fromXml);
}

// A keyed list is asked with the key given for the run or in the
// environment, and the key is found in no file the run leaves behind: not
// the configuration, the report, the history nor the settings. (Without a
// key, or with one that is no name: AddressPublicLists' tests; a malformed
// --key: CheckArgumentsTest.)
TEST_F(QuarloCheck, KeyedListsUseTheGivenKeyAndNeverStoreIt)
{
    const QString keyedConfig = dir.filePath("keyed.cfg");
    writeConfig(keyedConfig,
                {kExactServer,
                 "<Server Server=\"{key}.keyed.test\" Enabled=\"TRUE\" Name=\"Keyed\" Key=\"QTEST\">"
                 "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/>"
                 "</ResultCodes></Server>"});
    const QString history = dir.filePath("history.sqlite");
    const QString report = dir.filePath("report.json");
    const auto runWith = [&](const QStringList& args, const QStringList& env) {
        CliRun run = how(QStringList{"--format", "json"} + args + QStringList{"11.0.0.9"}, {}, keyedConfig);
        run.env = env + QStringList{"QUARLO_HISTORY=" + history};
        return runProgram(run);
    };

    const CliResult given = runWith({"--key", "qtest=s3cretkey", "--output", report}, {"QUARLO_KEY_QTEST"});
    EXPECT_EQ(given.exitCode, 1) << given.err.toStdString();
    const QJsonObject listed = QJsonDocument::fromJson(slurp(report)).object()["targets"].toArray().first().toObject();
    EXPECT_EQ(listed["status"].toString(), "listed") << slurp(report).left(400).toStdString();
    const CliResult fromEnvironment = runWith({}, {"QUARLO_KEY_QTEST=s3cretkey"});
    EXPECT_EQ(fromEnvironment.exitCode, 1) << fromEnvironment.err.toStdString();

    ASSERT_TRUE(QFileInfo::exists(history));
    QDirIterator files(dir.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int read = 0;
    while (files.hasNext()) {
        const QString path = files.next();
        EXPECT_FALSE(slurp(path).contains("s3cretkey")) << path.toStdString();
        ++read;
    }
    EXPECT_GE(read, 3);
    for (const CliResult& r : {given, fromEnvironment}) EXPECT_FALSE((r.out + r.err).contains("s3cretkey"));
}

// A list with DnsServers of its own is asked through those only, its test
// entries included; the others through the run's DNS servers. An unusable
// server entry leaves its list on the run's servers.
TEST_F(QuarloCheck, ListsWithTheirOwnDnsServersAreAskedOnlyThere)
{
    // 11.1.2.3 is listed everywhere, so its texts are asked too.
    const auto answering = [](const FakeDnsServer::Query& q) -> QList<FakeDnsServer::Send> {
        const QByteArray name = q.name.toLower();
        if (name.startsWith("2.0.0.127.") || name.startsWith("3.2.1.11.")) {
            if (q.type == 16)
                return FakeDnsServer::Reply(
                    FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::Txt({"listed"})}));
            return FakeDnsServer::Reply(
                FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::A("127.0.0.2")}));
        }
        return FakeDnsServer::Reply(FakeDnsServer::BuildReply(q, FakeDnsServer::NxDomain));
    };
    FakeDnsServer shared, own;
    QString error;
    ASSERT_TRUE(shared.start(&error)) << error.toStdString();
    ASSERT_TRUE(own.start(&error)) << error.toStdString();
    shared.setScript(answering);
    own.setScript(answering);
    const QString config = dir.filePath("resolvers.cfg");
    const QByteArray codes =
        "<ResultCodes><ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes></Server>";
    const QByteArray ownServers = own.serverSpec().toLatin1();
    QByteArray xml = "<Quarlo><BlackListServers>";
    xml += "<Server Server=\"shared.test\" Enabled=\"TRUE\">" + codes;
    xml += "<Server Server=\"own.test\" Enabled=\"TRUE\" DnsServers=\" " + ownServers + " \">" + codes;
    xml += "<Server Server=\"own2.test\" Enabled=\"TRUE\" DnsServers=\"" + ownServers + "\">" + codes;
    xml += "<Server Server=\"garbled.test\" Enabled=\"TRUE\" DnsServers=\"not a server\">" + codes;
    spit(config, xml + "</BlackListServers></Quarlo>");

    CliRun run = how({"--format", "json", "11.1.2.3", "11.1.2.4"}, {}, config);
    run.dnsServers = shared.serverSpec();
    const CliResult r = runProgram(run);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString() << r.out.toStdString();
    EXPECT_EQ(reportRows(r, {"status", "listsChecked"}), (QStringList{"listed|4", "clean|4"}));

    const auto zonesAsked = [](const FakeDnsServer& dns) {
        QStringList zones;
        for (const FakeDnsServer::Query& q : dns.queries())
            zones << QString::fromLatin1(q.name.toLower()).section('.', 4);
        zones.removeDuplicates();
        zones.sort();
        return zones;
    };
    EXPECT_EQ(zonesAsked(shared), (QStringList{"garbled.test", "shared.test"}));
    EXPECT_EQ(zonesAsked(own), (QStringList{"own.test", "own2.test"}));
    // Each list's test entries and both targets, and the listing's texts,
    // nothing twice over.
    EXPECT_EQ(own.queries().size(), 2 * 4 + 2);
    EXPECT_EQ(own.queryCount(false), 2 * 4 + 2);
}
