// One target, one verdict, whatever the door: the same table of DNS
// situations runs through quarlo-check's JSON, the window's list loaded from
// a list file (the Session every front end builds), and targets added one by
// one as the add dialog and automation add them.

#include "cli/CheckProgram.h"
#include "cli/TargetStatus.h"
#include "common/Registry.h"
#include "scan/Addresslist.h"
#include "scan/Session.h"
#include "storage/AddressListFile.h"
#include "support/MemoryRegistryBackend.h"
#include "support/RbldnsdServer.h"
#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

struct Row {
    const char* target;
    const char* status; // quarlo-check's word for the verdict
    const char* situation;
};

// The DNS behaviour of each row lives in the zones below.
const Row kRows[] = {
    {"192.0.2.1", "listed", "an address on an exact-code list"},
    {"192.0.2.20", "clean", "an address on no list"},
    {"192.0.2.8", "refused", "a bit-mask list answers its refusal code: a refusal, never bits of listings"},
    {"multi.hosts.test", "listed", "a host with two A records, the second listed: every address is checked"},
    {"clean.hosts.test.", "clean", "a trailing-dot host name is absolute"},
    {"missing.hosts.test", "unresolvable", "NXDOMAIN for a host name"},
    {"www.spamdomain.test", "listed", "a host whose domain is on the domain list"},
    {"postmaster@listedmx.test", "listed", "an e-mail address whose mail server is listed"},
    {"postmaster@twomx.test", "listed", "two mail servers of equal preference, the second listed"},
    {"postmaster@implicit.test", "clean", "no MX: the domain itself takes mail (implicit MX)"},
    {"postmaster@nomail.test", "no-mail", "a null MX"},
    {"postmaster@nozone.example", "incomplete", "the MX lookup is refused: no fallback to the bare domain"},
    {"user@[192.0.2.1]", "listed", "an address literal names the mail server itself"},
    {"2001:db8::1", "not-applicable", "an IPv6 address and no list that answers IPv6"},
    {"mail.example:25", "invalid", "not a target"},
};

class VerdictConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addZone("bl.test", "ip4set",
                       ":127.0.0.2:Listed $\n127.0.0.2\n192.0.2.1\n192.0.2.7\n192.0.2.9 :127.255.255.254:public resolver\n");
        server.addZone("mask.test", "ip4set", ":127.0.0.2:Bits $\n127.0.0.2\n192.0.2.1\n192.0.2.8 :127.255.255.254:refused\n");
        server.addZone("dom.test", "dnset", ":127.0.1.2:Spam domain $\ntest\n.spamdomain.test\n");
        server.addZone("hosts.test", "generic",
                       "multi A 192.0.2.20\nmulti A 192.0.2.7\nclean A 198.51.100.20\nmx1 A 192.0.2.1\n"
                       "a A 198.51.100.21\nb A 192.0.2.7\n");
        server.addZone("listedmx.test", "generic", "@ MX 10 mx1.hosts.test.\n");
        server.addZone("twomx.test", "generic", "@ MX 10 a.hosts.test.\n@ MX 10 b.hosts.test.\n");
        server.addZone("implicit.test", "generic", "@ A 198.51.100.20\n");
        server.addZone("nomail.test", "generic", "@ MX 0 .\n");
        server.addZone("spamdomain.test", "generic", "www A 198.51.100.20\n");
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        config = dir.filePath("servers.cfg");
        spit(config,
             "<Quarlo><BlackListServers>"
             "<Server Server=\"bl.test\" Enabled=\"TRUE\" Name=\"Exact\"><ResultCodes>"
             "<ResultCode Address=\"127.0.0.2\" Reason=\"Listed\"/>"
             "<ResultCode Address=\"127.255.255.254\" Reason=\"Public resolver\" Listing=\"False\"/></ResultCodes></Server>"
             "<Server Server=\"mask.test\" Enabled=\"TRUE\" Name=\"Mask\"><ResultCodes BitMaskCoded=\"True\">"
             "<ResultCode Address=\"127.0.0.2\" Reason=\"Black\"/><ResultCode Address=\"127.0.0.4\" Reason=\"Grey\"/>"
             "<ResultCode Address=\"127.255.255.254\" Reason=\"Refused\" Listing=\"False\"/></ResultCodes></Server>"
             "<Server Server=\"dom.test\" Enabled=\"TRUE\" Name=\"Dom\" ListKind=\"Domain\"><ResultCodes>"
             "<ResultCode Address=\"127.0.1.2\" Reason=\"Spam domain\"/></ResultCodes></Server>"
             "</BlackListServers></Quarlo>");
        QStringList targets;
        for (const Row& row : kRows) targets << row.target;
        listFile = dir.filePath("targets.BlackList");
        QString description;
        ASSERT_TRUE(AddressListFile::Write(targets, listFile, description)) << description.toStdString();
    }

    // The verdict words of a scan through the program's own Session.
    QHash<QString, QString> scanSession(bool fromFile)
    {
        MemoryRegistryBackend backend;
        Registry registry(backend);
        Session session(registry, {.configPath = config, .dnsServers = server.serverSpec()});
        EXPECT_TRUE(session.LastError().isEmpty()) << session.LastError().toStdString();
        Addresslist& list = session.Addresslist();
        if (fromFile) {
            EXPECT_TRUE(list.Load(listFile)) << list.LastError().toStdString();
        } else {
            for (const Row& row : kRows) EXPECT_TRUE(list.AddEntry(row.target));
        }
        QSignalSpy complete(&list, &Addresslist::ScanComplete);
        list.StartScan();
        list.Tick();
        EXPECT_TRUE(complete.count() == 1 || complete.wait(60000)) << "the scan did not end";
        QHash<QString, QString> words;
        for (const AddressPtr& address : list) words.insert(address->Target(), TargetStatusKeyword(TargetStatusFor(address->Verdict())));
        return words;
    }

    static void expectAgrees(const char* door, const QHash<QString, QString>& words)
    {
        for (const Row& row : kRows)
            EXPECT_EQ(words.value(row.target).toStdString(), row.status)
                << door << " disagrees on " << row.target << " (" << row.situation << ")";
    }

    RbldnsdServer server;
    QTemporaryDir dir;
    QString config;
    QString listFile;
};

} // namespace

TEST_F(VerdictConformance, EveryDoorGivesTheSameVerdict)
{
    CliRun how;
    how.args = {"--config", config, "--format", "json", "-q", listFile};
    how.dnsServers = server.serverSpec();
    how.registryDir = dir.filePath("registry");
    const CliResult cli = runProgram(how);
    EXPECT_EQ(cli.exitCode, 1) << cli.err.toStdString();
    QHash<QString, QString> words;
    for (const QJsonValue& target : QJsonDocument::fromJson(cli.out.toUtf8()).object().value("targets").toArray())
        words.insert(target["target"].toString(), target["status"].toString());
    expectAgrees("quarlo-check", words);

    expectAgrees("the list loaded from a file", scanSession(true));
    expectAgrees("targets added one by one", scanSession(false));
}
