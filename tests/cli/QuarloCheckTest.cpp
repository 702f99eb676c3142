// The command-line scanner as a monitoring script uses it: arguments, files
// and standard input in; text, JSON or CSV out; the exit status tells.
#include "support/QtPrinters.h"
#include "support/RbldnsdServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

struct CliResult {
    int exitCode = -1;
    QString out;
    QString err;
};

class QuarloCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addZone("exact.test", "ip4set",
                       ":127.0.0.2:Listed, see http://exact.test/?$\n192.0.2.1\n192.0.2.2 :127.0.0.10:Dynamic $\n");
        server.addZone("mask.test", "ip4set", ":127.0.0.6:Bits $\n192.0.2.1\n");
        server.addZone("hosts.test", "generic", "mx1 A 192.0.2.1\n@ MX 10 mx1.hosts.test.\nclean A 198.51.100.20\n");
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        config = dir.filePath("servers.cfg");
        write(config,
              "<Quarlo><BlackListServers>"
              "<Server Server=\"exact.test\" Enabled=\"TRUE\" URL=\"http://exact.test/\" Name=\"Exact, Inc.\"><ResultCodes>"
              "<ResultCode Address=\"127.0.0.2\" Reason=\"Spam source\"/><ResultCode Address=\"127.0.0.10\" Reason=\"Dynamic\"/>"
              "</ResultCodes></Server>"
              "<Server Server=\"mask.test\" Enabled=\"TRUE\" URL=\"http://mask.test/\" Name=\"Mask\"><ResultCodes BitMaskCoded=\"True\">"
              "<ResultCode Address=\"127.0.0.2\" Reason=\"Black\"/><ResultCode Address=\"127.0.0.4\" Reason=\"Grey\"/>"
              "</ResultCodes></Server></BlackListServers></Quarlo>");
    }

    void write(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    CliResult run(QStringList args, const QByteArray& input = QByteArray(), bool withConfig = true)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QUARLO_REGISTRY_DIR", dir.filePath("registry"));
        env.insert("QUARLO_DNS_SERVERS", server.serverSpec());
        process.setProcessEnvironment(env);
        if (withConfig) args = QStringList{"--config", config} + args;
        process.start(QStringLiteral(QUARLO_CHECK_PATH), args);
        EXPECT_TRUE(process.waitForStarted(5000));
        process.write(input);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(30000));
        return CliResult{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                   QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    RbldnsdServer server;
    QTemporaryDir dir;
    QString config;
};

} // namespace

TEST_F(QuarloCheck, ExitStatusTellsWhetherAnythingIsListed)
{
    const CliResult clean = run({"198.51.100.20", "clean.hosts.test"});
    EXPECT_EQ(clean.exitCode, 0) << clean.err.toStdString();
    EXPECT_TRUE(clean.out.contains("198.51.100.20  Not on any Blacklist")) << clean.out.toStdString();
    EXPECT_TRUE(clean.out.contains("clean.hosts.test (198.51.100.20)  Not on any Blacklist"));

    const CliResult listed = run({"192.0.2.1", "198.51.100.20"});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_TRUE(listed.out.startsWith("192.0.2.1  Blacklisted by 2 servers\n  Exact, Inc. (exact.test)  Received 1 reason  http://exact.test/\n"
                                      "    127.0.0.2  Spam source\n      Listed, see http://exact.test/?192.0.2.1\n"))
        << listed.out.toStdString();
    EXPECT_TRUE(listed.out.contains("  Mask (mask.test)  Received 2 reasons"));
}

TEST_F(QuarloCheck, JsonReportCarriesEveryDetail)
{
    const CliResult r = run({"--format", "json", "192.0.2.2", "postmaster@hosts.test", "missing.hosts.test"});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QJsonArray list = QJsonDocument::fromJson(r.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 3) << r.out.toStdString();

    const QJsonObject dynamic = list[0].toObject();
    EXPECT_EQ(dynamic["target"].toString(), "192.0.2.2");
    EXPECT_EQ(dynamic["ip"].toString(), "192.0.2.2");
    EXPECT_EQ(dynamic["status"].toString(), "listed");
    const QJsonObject exact = dynamic["servers"].toArray()[0].toObject();
    EXPECT_EQ(exact["name"].toString(), "Exact, Inc.");
    EXPECT_EQ(exact["zone"].toString(), "exact.test");
    EXPECT_EQ(exact["url"].toString(), "http://exact.test/");
    const QJsonObject response = exact["responses"].toArray()[0].toObject();
    EXPECT_EQ(response["address"].toString(), "127.0.0.10");
    EXPECT_EQ(response["reason"].toString(), "Dynamic");
    EXPECT_EQ(response["txt"].toString(), "Dynamic 192.0.2.2");

    // The e-mail address became its domain's mail server.
    const QJsonObject mail = list[1].toObject();
    EXPECT_EQ(mail["target"].toString(), "mx1.hosts.test");
    EXPECT_EQ(mail["ip"].toString(), "192.0.2.1");
    EXPECT_EQ(mail["servers"].toArray().size(), 2);

    EXPECT_EQ(list[2].toObject()["status"].toString(), "unresolvable");
    EXPECT_EQ(list[2].toObject()["ip"].toString(), "Unresolvable");
}

TEST_F(QuarloCheck, ListFilesStdinAndCsv)
{
    const QString listFile = dir.filePath("some.BlackList");
    write(listFile, "<AddressList><Address Target=\"192.0.2.1\"/><Address Target=\"198.51.100.20\"/></AddressList>");
    const CliResult r = run({"--format", "csv", listFile, "-"}, "# comment\n\n 192.0.2.2 \n192.0.2.1\n");
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QStringList lines = r.out.split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 1 + 3 + 1 + 1) << r.out.toStdString(); // header, 192.0.2.1 x3, clean, 192.0.2.2
    EXPECT_EQ(lines[0], "Target,IP,Status,Server,Zone,URL,Response,Reason,TXT");
    EXPECT_EQ(lines[1], "192.0.2.1,192.0.2.1,listed,\"Exact, Inc.\",exact.test,http://exact.test/,127.0.0.2,Spam source,"
                        "\"Listed, see http://exact.test/?192.0.2.1\"");
    EXPECT_EQ(lines[4], "198.51.100.20,198.51.100.20,clean,,,,,,");
    EXPECT_TRUE(lines[5].startsWith("192.0.2.2,192.0.2.2,listed,"));
}

TEST_F(QuarloCheck, BadUsageAndUnreadableInputExitWithTwo)
{
    CliResult r = run({"--format", "yaml", "192.0.2.1"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("unknown format")) << r.err.toStdString();

    r = run({dir.filePath("missing.BlackList")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("cannot load Address List from")) << r.err.toStdString();

    write(dir.filePath("broken.BlackList"), "<AddressList><Address");
    r = run({dir.filePath("broken.BlackList")});
    EXPECT_EQ(r.exitCode, 2);

    r = run({"--config", dir.filePath("nothing.cfg"), "192.0.2.1"}, QByteArray(), false);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("configuration")) << r.err.toStdString();

    r = run({"--max-queries", "lots", "192.0.2.1"});
    EXPECT_EQ(r.exitCode, 2);

    // Odd targets are skipped with a word, the rest is checked.
    r = run({"2001:db8::1", "198.51.100.20"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("skipping \"2001:db8::1\"")) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("2001"));
}
