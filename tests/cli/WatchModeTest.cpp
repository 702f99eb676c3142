// quarlo-check as a scheduled watcher: every scan recorded, only changes
// printed, monitoring-plugin exit codes, changes passed to a command or a
// mail, a node-exporter textfile, and a history that may be broken without
// the scan's verdict suffering.
#include "cli/CheckProgram.h"
#include "cli/MetricFamilies.h"
#include "support/RbldnsdServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

using namespace quarlo;

using Result = CliResult;

namespace {

const char* const kServers =
    "<Quarlo><BlackListServers>"
    "<Server Server=\"exact.test\" Enabled=\"TRUE\" URL=\"http://exact.test/remove\" Name=\"Exact\"><ResultCodes>"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"Spam source\"/><ResultCode Address=\"127.0.0.10\" Reason=\"Dynamic\"/>"
    "</ResultCodes></Server>"
    "<Server Server=\"mask.test\" Enabled=\"TRUE\" URL=\"http://mask.test/\" Name=\"Mask\"><ResultCodes>"
    "<ResultCode Address=\"127.0.0.2\" Reason=\"Black\"/></ResultCodes></Server>"
    "%1</BlackListServers></Quarlo>";
// Not served: its self-test fails, so every target is incompletely checked.
const char* const kAbsentServer = "<Server Server=\"absent.test\" Enabled=\"TRUE\" Name=\"Absent\"><ResultCodes>"
                                  "<ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/></ResultCodes></Server>";

class Watch : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        history = dir.filePath("data/history.sqlite");
        config = dir.filePath("servers.cfg");
        spit(config, QString::fromLatin1(kServers).arg(QString()).toUtf8());
        incompleteConfig = dir.filePath("incomplete.cfg");
        spit(incompleteConfig, QString::fromLatin1(kServers).arg(QString::fromLatin1(kAbsentServer)).toUtf8());
        listFile = dir.filePath("servers.BlackList");
        spit(listFile,
             "<AddressList><Address Target=\"192.0.2.1\"/><Address Target=\"192.0.2.2\"/>"
             "<Address Target=\"192.0.2.3\"/></AddressList>");
    }

    // (Re)starts the blacklist server with these zones; exact.test without
    // its test entry when it is to fail its test.
    void serve(const QString& exact, const QString& mask, bool exactPassesItsTest = true)
    {
        server = std::make_unique<RbldnsdServer>();
        server->addZone("exact.test", "ip4set",
                        exactPassesItsTest ? ":127.0.0.2:Listed, see http://exact.test/?$\n127.0.0.2\n" + exact
                                           : exact);
        server->addZone("mask.test", "ip4set", "127.0.0.2\n" + mask);
        QString error;
        ASSERT_TRUE(server->start(&error)) << error.toStdString();
    }

    Result run(const QStringList& args, const QStringList& env = {}, bool asNobody = false)
    {
        CliRun how;
        how.args = QStringList{"--config", config, "--history", history, "--quiet"} + args;
        how.dnsServers = server ? server->serverSpec() : QStringLiteral("127.0.0.1:9");
        how.registryDir = dir.filePath("registry");
        how.env = QStringList{"QUARLO_SENDMAIL=" + dir.filePath("no-sendmail"), "QUARLO_HISTORY"} + env;
        how.asNobody = asNobody;
        return runProgram(how);
    }

    static QJsonObject json(const Result& r) { return QJsonDocument::fromJson(r.out.toUtf8()).object(); }

    // "kind target zone" for every change of a JSON report.
    static QStringList changes(const QJsonObject& report)
    {
        QStringList list;
        for (const QJsonValue& v : report.value("changes").toArray()) {
            const QJsonObject c = v.toObject();
            list << (c.value("change").toString() + " " + c.value("target").toString() + " "
                     + c.value("zone").toString())
                        .simplified();
        }
        return list;
    }

    QTemporaryDir dir;
    std::unique_ptr<RbldnsdServer> server;
    QString history, config, incompleteConfig, listFile;
};

} // namespace

TEST_F(Watch, ReportsListingsAndDelistingsWithMonitoringExitCodes)
{
    serve("192.0.2.1\n192.0.2.2 :127.0.0.10:Dynamic $\n", "192.0.2.1\n");
    Result r = run({"--watch", "--format", "json", listFile});
    EXPECT_EQ(r.exitCode, 2) << "192.0.2.1 on two lists is CRITICAL by default: " << r.err.toStdString();
    EXPECT_EQ(json(r).value("status").toString(), "CRITICAL");
    EXPECT_EQ(
        changes(json(r)),
        (QStringList{"listed 192.0.2.1 exact.test", "listed 192.0.2.1 mask.test", "listed 192.0.2.2 exact.test"}));
    const QJsonObject dynamic = json(r).value("changes").toArray().at(2).toObject();
    EXPECT_EQ(QStringList({dynamic["codes"][0].toString(), dynamic["reasons"][0].toString(),
                           dynamic["txt"][0].toString(), dynamic["link"].toString()}),
              QStringList({"127.0.0.10", "Dynamic", "Dynamic 192.0.2.2", "http://exact.test/remove"}));
    EXPECT_TRUE(json(r).value("history").toObject().value("written").toBool());
    EXPECT_EQ(json(r).value("scan").toObject().value("listFile").toString(), QFileInfo(listFile).absoluteFilePath());

    // Nothing changed: the verdict line (naming the listed targets, with
    // performance data), then the listings as they stand.
    const QString notified = dir.filePath("notified.json");
    r = run({"--watch", "--notify-command", "cat > '" + notified + "'", listFile});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.startsWith("QUARLO CRITICAL - 2 of 3 targets listed (on up to 2 lists); 0 changes since "))
        << r.out.toStdString();
    const QString first = r.out.section('\n', 0, 0);
    EXPECT_TRUE(
        first.contains("; listed: 192.0.2.1 on 2 lists (exact.test, mask.test), 192.0.2.2 on 1 list (exact.test) | "
                       "most_lists=2;1;2;0;2 listed=2;;;0;3 targets=3 lists_ok=2 lists_failed=0 duration="))
        << first.toStdString();
    EXPECT_EQ(r.out.count('\n'), 1 + 3) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\n192.0.2.2 on Exact (exact.test): 127.0.0.10 Dynamic")) << r.out.toStdString();
    EXPECT_FALSE(QFile::exists(notified)) << "no change, no notification";

    // The server drops two listings.
    serve("192.0.2.1\n", "");
    r = run({"--watch", "-w", "1", "-c", "3", "--notify-command", "cat > '" + notified + "'", listFile});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("QUARLO WARNING - 1 of 3 targets listed (on up to 1 list); 2 changes since "))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Delisted:\n  192.0.2.1 from Mask (mask.test) (listed since ")) << r.out.toStdString();
    const QJsonObject note = QJsonDocument::fromJson(slurp(notified)).object();
    EXPECT_EQ(changes(note), (QStringList{"delisted 192.0.2.1 mask.test", "delisted 192.0.2.2 exact.test"}));
    EXPECT_FALSE(note.value("changes").toArray().at(0).toObject().value("listedSince").toString().isEmpty());

    serve("", "");
    r = run({"--watch", listFile});
    EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("QUARLO OK - 0 of 3 targets listed; 1 change since ")) << r.out.toStdString();

    // The address's history, oldest first, as CSV. --history-csv only
    // reads: a history in a folder the user may not write (where the WAL
    // index a reader needs cannot be created) still exports, and nothing
    // appears beside it. (Root writes anyway: there it runs as nobody.)
    const QString folder = QFileInfo(history).absolutePath();
    ASSERT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"history.sqlite"})
        << "the recording left its log files behind";
    const auto open =
        QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(folder, open));
    r = run({"--history-csv", "192.0.2.1"}, {}, true);
    QFile::setPermissions(folder, open | QFile::WriteOwner);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"history.sqlite"});
    const QStringList rows = r.out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 5) << r.out.toStdString();
    EXPECT_EQ(rows[0], "time,target,zone,list,outcome,codes,reasons,txt,link,detail");
    EXPECT_TRUE(rows[1].contains(",192.0.2.1,exact.test,Exact,listed,127.0.0.2,Spam source,"
                                 "\"Listed, see http://exact.test/?192.0.2.1\",http://exact.test/remove,"))
        << rows[1].toStdString();
    EXPECT_TRUE(rows[4].contains(",192.0.2.1,exact.test,Exact,not-listed,")) << rows[4].toStdString();
    // (--history-prune: the README's example runs it; what pruning keeps, so
    // that nothing looks new, is HistoryStore's test.)
}

// A watch's changes are its own: a scan between two of its runs, or another
// watch of the same address, cannot swallow them.
TEST_F(Watch, EachWatchReportsItsOwnChanges)
{
    const QString other = dir.filePath("other.BlackList");
    spit(other, "<AddressList><Address Target=\"192.0.2.1\"/></AddressList>");
    serve("", "");
    for (const QString& file : {listFile, other}) EXPECT_EQ(run({"--watch", file}).exitCode, 0);

    // Listed now; an ad-hoc scan and the window-like plain run see it first.
    serve("192.0.2.1\n", "");
    EXPECT_EQ(run({"192.0.2.1"}).exitCode, 1);
    EXPECT_EQ(run({listFile}).exitCode, 1);
    // Both watches still report the listing, each once.
    for (const QString& file : {listFile, other}) {
        SCOPED_TRACE(file.toStdString());
        Result r = run({"--watch", "--format", "json", file});
        EXPECT_EQ(changes(json(r)), QStringList({"listed 192.0.2.1 exact.test"})) << r.out.toStdString();
        r = run({"--watch", "--format", "json", file});
        EXPECT_TRUE(changes(json(r)).isEmpty()) << r.out.toStdString();
    }
    // A name of its own makes another watch of the same file; one that
    // starts fresh takes the latest outcomes as seen.
    Result named = run({"--watch", "--watch-name", "second opinion/é", "--format", "json", listFile});
    EXPECT_TRUE(changes(json(named)).isEmpty()) << named.out.toStdString();
    serve("", "");
    named = run({"--watch", "--watch-name", "second opinion/é", "--format", "json", listFile});
    EXPECT_EQ(changes(json(named)), QStringList({"delisted 192.0.2.1 exact.test"})) << named.out.toStdString();
    EXPECT_EQ(changes(json(run({"--watch", "--format", "json", listFile}))),
              QStringList({"delisted 192.0.2.1 exact.test"}));
}

// A list that starts answering "not found" for everything, its own test
// entry included, is failing, not a delisting; when it recovers, the listing
// it never took back is still standing.
TEST_F(Watch, AListThatStopsAnsweringIsFailingNotADelisting)
{
    serve("192.0.2.1\n", "");
    EXPECT_EQ(changes(json(run({"--watch", "--format", "json", listFile}))),
              QStringList({"listed 192.0.2.1 exact.test"}));

    serve("", "", false);
    Result r = run({"--watch", "--format", "json", listFile});
    EXPECT_EQ(r.exitCode, 3) << r.out.toStdString();
    EXPECT_EQ(changes(json(r)), QStringList({"failing exact.test"})) << r.out.toStdString();
    EXPECT_EQ(json(r)["changes"][0]["stillListed"].toArray(), QJsonArray({"192.0.2.1"})) << r.out.toStdString();

    serve("192.0.2.1\n", "");
    r = run({"--watch", "--format", "json", listFile});
    EXPECT_EQ(changes(json(r)), QStringList({"recovered exact.test"})) << r.out.toStdString();
}

TEST_F(Watch, IncompleteScansAreUnknownUnlessAListingDecides)
{
    serve("", "");
    Result r = run({"--watch", "--config", incompleteConfig, listFile});
    EXPECT_EQ(r.exitCode, 3) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(
        r.out.startsWith("QUARLO UNKNOWN - 0 of 3 targets listed, some not completely checked; first recorded scan"))
        << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("Lists failing:\n  Absent (absent.test) for 3 targets: ")) << r.out.toStdString();

    serve("192.0.2.3\n", "");
    r = run({"--watch", "--config", incompleteConfig, "--format", "json", listFile});
    EXPECT_EQ(r.exitCode, 1) << r.out.toStdString();
    EXPECT_EQ(changes(json(r)), QStringList{"listed 192.0.2.3 exact.test"}) << "a list still failing is no news";
}

TEST_F(Watch, PrometheusTextfileMailAndNotifyCommand)
{
    serve("192.0.2.1\n", "");
    const QString textfile = dir.filePath("collector/quarlo.prom");
    QDir().mkpath(QFileInfo(textfile).absolutePath());
    const QString mailLog = dir.filePath("mail.txt");
    const QString sendmail = dir.filePath("sendmail");
    spit(sendmail, ("#!/bin/sh\nprintf '%s\\n' \"$*\" > '" + mailLog + "'\ncat >> '" + mailLog + "'\n").toUtf8());
    QFile::setPermissions(sendmail, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    Result r = run({"--watch", "--watch-name", "mail servers", "--format", "prometheus", "--output", textfile,
                    "--mail-to", "postmaster@example.org", listFile},
                   {"QUARLO_SENDMAIL=" + sendmail});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    const QString metrics = QString::fromUtf8(slurp(textfile));
    for (const char* line :
         {"quarlo_listed{watch=\"mail servers\",target=\"192.0.2.1\",zone=\"exact.test\"} 1\n",
          "quarlo_listed{watch=\"mail servers\",target=\"192.0.2.1\",zone=\"mask.test\"} 0\n",
          "quarlo_listed{watch=\"mail servers\",target=\"192.0.2.3\",zone=\"exact.test\"} 0\n",
          "quarlo_list_failures{watch=\"mail servers\",zone=\"mask.test\"} 0\n",
          "quarlo_list_up{watch=\"mail servers\",zone=\"mask.test\",list=\"Mask\"} 1\n",
          "quarlo_targets{watch=\"mail servers\"} 3\n", "quarlo_targets_listed{watch=\"mail servers\"} 1\n",
          "quarlo_status{watch=\"mail servers\"} 1\n", "quarlo_history_written{watch=\"mail servers\"} 1\n",
          "# TYPE quarlo_last_scan_timestamp_seconds gauge\n", "# TYPE quarlo_scan_duration_seconds gauge\n",
          "quarlo_last_success_timestamp_seconds{watch=\"mail servers\"} "})
        EXPECT_TRUE(metrics.contains(QLatin1String(line))) << line << "\n" << metrics.toStdString();
    EXPECT_TRUE(QDir(QFileInfo(textfile).absolutePath()).entryList(QDir::Files | QDir::Hidden)
                == QStringList{"quarlo.prom"})
        << "no temporary left beside the textfile";

    // A second watch of the same address writes beside it: each file, and
    // the two together as the collector serves them, are valid metrics.
    const QString second = dir.filePath("collector/second.prom");
    EXPECT_EQ(run({"--watch", "--format", "prometheus", "--output", second, "192.0.2.1"}).exitCode, 1);
    // The collector serves the files as one exposition: a family's HELP and
    // TYPE must agree between them, and a series in both would clash.
    QHash<QString, QString> headers;
    QStringList series;
    for (const QString& file : {textfile, second}) {
        for (const QString& line : QString::fromUtf8(slurp(file)).split('\n', Qt::SkipEmptyParts)) {
            const QString key = line.section(' ', 1, 2);
            if (!line.startsWith('#'))
                series << line.section(' ', 0, -2);
            else if (headers.contains(key))
                EXPECT_EQ(headers[key].toStdString(), line.toStdString());
            else
                headers[key] = line;
        }
    }
    EXPECT_EQ(series.removeDuplicates(), 0) << "a series in both files";
    const QString together = dir.filePath("together.prom");
    spit(together, MetricFamilies::Merge({slurp(textfile), slurp(second)}));
    const QString promtool = QStandardPaths::findExecutable("promtool");
    if (promtool.isEmpty()) {
        ADD_FAILURE() << "promtool is not installed (scripts/install-deps installs it)";
    } else {
        for (const QString& file : {textfile, second, together}) {
            QProcess check;
            check.setStandardInputFile(file);
            check.start(promtool, {"check", "metrics"});
            ASSERT_TRUE(check.waitForFinished(30000));
            EXPECT_EQ(check.exitCode(), 0) << file.toStdString() << ": " << check.readAllStandardOutput().toStdString()
                                           << check.readAllStandardError().toStdString();
        }
    }

    const QString message = QString::fromUtf8(slurp(mailLog)); // what sendmail was given
    EXPECT_TRUE(
        message.startsWith("-oi -- postmaster@example.org\nTo: postmaster@example.org\nSubject: Quarlo WARNING - "))
        << message.toStdString();
    EXPECT_TRUE(message.contains("Newly listed:\n  192.0.2.1 on Exact (exact.test): 127.0.0.2 Spam source; TXT "))
        << message.toStdString();

    // No sendmail: said clearly, the verdict unchanged.
    serve("192.0.2.1\n192.0.2.2\n", "");
    r = run({"--watch", "--mail-to", "postmaster@example.org", listFile});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("no sendmail program is installed")) << r.err.toStdString();
    // A failing notify command is reported, the verdict unchanged; what it
    // prints stays out of the report.
    serve("192.0.2.1\n", "");
    r = run({"--watch", "--notify-command", "echo chatter; echo refused >&2; exit 7", listFile});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("the notify command exited with status 7: refused")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("chatter\n"));
    EXPECT_FALSE(r.out.contains("chatter")) << r.out.toStdString();
}

// A history that cannot be written never hides the scan's verdict; the
// message names the problem and the file keeps its bytes. Another run
// holding the history past the wait leaves this watch's changes unknown:
// UNKNOWN with the reason, unless a target is already CRITICAL. (Each kind
// of broken history: HistoryStore's tests.)
TEST_F(Watch, AHistoryThatCannotBeWrittenNeverHidesTheVerdict)
{
    serve("192.0.2.1\n", "");
    ASSERT_EQ(run({"--format", "json", "192.0.2.9"}).exitCode, 0);
    sqlite3* holder = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(history).constData(), &holder), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(holder, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    Result r = run({"--watch", listFile});
    EXPECT_EQ(r.exitCode, 3) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("QUARLO UNKNOWN - 1 of 3 targets listed")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("History not written: ") && r.out.contains("is locked by another program"))
        << r.out.toStdString();
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    // Free again: the listing is reported as the change it is.
    r = run({"--watch", "--format", "json", listFile});
    EXPECT_EQ(changes(json(r)), QStringList({"listed 192.0.2.1 exact.test"})) << r.out.toStdString();

    // A read-only history: the CRITICAL stays CRITICAL.
    serve("192.0.2.1\n", "192.0.2.1\n");
    QFile::setPermissions(history, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = slurp(history);
    r = run({"--watch", "192.0.2.1"}, {}, true);
    EXPECT_EQ(r.exitCode, 2) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("history not written: ") && r.err.contains("read-only")) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("QUARLO CRITICAL - 1 of ")) << r.out.toStdString();
    EXPECT_EQ(slurp(history), before) << "the file was changed";
    // Plain runs keep their own exit status and warn the same way.
    r = run({"192.0.2.1"}, {}, true);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("read-only")) << r.err.toStdString();
}

TEST_F(Watch, PlainRunsRecordUnlessToldNotToAndUsageErrorsAreUnknownInWatchMode)
{
    serve("192.0.2.1\n", "");
    Result r = run({"--no-history", "192.0.2.1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(history));
    r = run({"192.0.2.1"});
    EXPECT_EQ(r.exitCode, 1);
    // One scan recorded: one row per list.
    r = run({"--history-csv", "192.0.2.1"});
    EXPECT_EQ(r.out.trimmed().split('\n').size(), 1 + 2) << r.out.toStdString();

    // The default place, from the environment (HistoryStore's tests have every rule).
    r = run({"--history", "", "192.0.2.1"}, {"QUARLO_HISTORY=" + dir.filePath("env.sqlite")});
    EXPECT_TRUE(QFile::exists(dir.filePath("env.sqlite")));

    struct Usage {
        QStringList args;
        int exit;
        const char* says;
    };
    const std::vector<Usage> usages{
        {{"--watch", "--mail-to", "a@example.org\nBcc: b@x.org", "192.0.2.1"}, 3, "--mail-to wants one mail address"},
        {{"--history-prune", "soon"}, 2, "--history-prune wants"},
        {{"--history-csv", "192.0.2.1", "--history", dir.filePath("none.sqlite")}, 2, "no history database at"},
    };
    for (const Usage& u : usages) {
        r = run(u.args);
        EXPECT_EQ(r.exitCode, u.exit) << u.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(QLatin1String(u.says))) << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("\nBcc")) << "bad input is not echoed as it is";
    }
}

// A text list is watched as an address list is, under its own name. (A
// list that gives no target: QuarloCheck.RunsThatCannotStartFailBeforeAnyQuery.)
TEST_F(Watch, TextListsAreWatched)
{
    serve("192.0.2.1\n", "192.0.2.1\n");
    const QString text = dir.filePath("servers");
    spit(text, "# our mail servers\n192.0.2.1\n192.0.2.3\n");
    const Result r = run({"--watch", "--format", "json", text});
    EXPECT_EQ(r.exitCode, 2) << r.err.toStdString();
    const QJsonObject scan = json(r).value("scan").toObject();
    EXPECT_EQ(scan.value("targets").toInt(), 2);
    EXPECT_EQ(scan.value("listFile").toString(), text);
    EXPECT_EQ(changes(json(r)), (QStringList{"listed 192.0.2.1 exact.test", "listed 192.0.2.1 mask.test"}));
}

// The installed units pass systemd's own checks.
TEST(WatchUnits, SystemdAnalyzeVerifiesTheUnits)
{
    const QString analyze = "/usr/bin/systemd-analyze";
    if (!QFileInfo(analyze).isExecutable()) GTEST_SKIP() << "no systemd-analyze";
    const QDir source = QFileInfo(QStringLiteral(__FILE__)).dir();
    QTemporaryDir dir;
    const QString runtime = dir.filePath("runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArray text = slurp(source.filePath("../../data/systemd/quarlo-watch@.service.in"));
    ASSERT_TRUE(text.contains("@QUARLO_CHECK_EXEC@"));
    spit(dir.filePath("quarlo-watch@.service"), text.replace("@QUARLO_CHECK_EXEC@", QUARLO_CHECK_PATH));
    ASSERT_TRUE(
        QFile::copy(source.filePath("../../data/systemd/quarlo-watch@.timer"), dir.filePath("quarlo-watch@.timer")));
    for (const QStringList& mode : {QStringList{"--user"}, QStringList{}}) {
        QProcess verify;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_RUNTIME_DIR", runtime);
        verify.setProcessEnvironment(env);
        verify.setWorkingDirectory(dir.path());
        verify.setProcessChannelMode(QProcess::MergedChannels);
        verify.start(analyze,
                     QStringList{"verify"} + mode + QStringList{"./quarlo-watch@.service", "./quarlo-watch@.timer"});
        ASSERT_TRUE(verify.waitForFinished(60000));
        const QString said = QString::fromUtf8(verify.readAll());
        EXPECT_EQ(verify.exitCode(), 0) << mode.join(' ').toStdString() << ": " << said.toStdString();
        EXPECT_TRUE(said.trimmed().isEmpty()) << said.toStdString();
    }
}
