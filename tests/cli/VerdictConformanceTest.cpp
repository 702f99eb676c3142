// The verdict table (support/VerdictTable.h) through quarlo-check's JSON, the
// history, and the window's list loaded from a list file (the Session every
// front end builds); the add dialog's door is in AddAddressesFormTest, the
// D-Bus door in AutomationBusTest.

#include "cli/CheckProgram.h"
#include "cli/TargetStatus.h"
#include "common/Registry.h"
#include "scan/Addresslist.h"
#include "scan/Session.h"
#include "storage/AddressListFile.h"
#include "support/MemoryRegistryBackend.h"
#include "support/RbldnsdServer.h"
#include "support/TestFiles.h"
#include "support/VerdictTable.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

using VerdictTable::Row;

class VerdictConformance : public ::testing::Test {
protected:
    void SetUp() override
    {
        VerdictTable::AddZones(server);
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        config = dir.filePath("servers.cfg");
        spit(config, VerdictTable::ConfigXml());
        listFile = dir.filePath("targets.BlackList");
        QString description;
        ASSERT_TRUE(AddressListFile::Write(VerdictTable::Targets(), listFile, description))
            << description.toStdString();
    }

    // The verdict words of a scan through the program's own Session.
    QHash<QString, QString> scanSession()
    {
        MemoryRegistryBackend backend;
        Registry registry(backend);
        Session session(registry, {.configPath = config, .dnsServers = server.serverSpec()});
        EXPECT_TRUE(session.LastError().isEmpty()) << session.LastError().toStdString();
        Addresslist& list = session.Addresslist();
        EXPECT_TRUE(list.Load(listFile)) << list.LastError().toStdString();
        QSignalSpy complete(&list, &Addresslist::ScanComplete);
        list.StartScan();
        list.Tick();
        EXPECT_TRUE(complete.count() == 1 || complete.wait(60000)) << "the scan did not end";
        QHash<QString, QString> words;
        for (const AddressPtr& address : list)
            words.insert(address->Target(), TargetStatusKeyword(TargetStatusFor(address->Verdict())));
        return words;
    }

    static void expectAgrees(const char* door, const QHash<QString, QString>& words)
    {
        for (const Row& row : VerdictTable::Rows())
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
    const QString history = dir.filePath("history.sqlite");
    CliRun how;
    how.args = {"--config", config, "--history", history, "--format", "json", "-q", listFile};
    how.dnsServers = server.serverSpec();
    how.registryDir = dir.filePath("registry");
    const CliResult cli = runProgram(how);
    EXPECT_EQ(cli.exitCode, 1) << cli.err.toStdString();
    QHash<QString, QString> words;
    for (const QJsonValue& target : QJsonDocument::fromJson(cli.out.toUtf8()).object().value("targets").toArray())
        words.insert(target["target"].toString(), target["status"].toString());
    expectAgrees("quarlo-check", words);

    // The history says the same: a listed target has a listing on record,
    // any other has none.
    for (const Row& row : VerdictTable::Rows()) {
        CliRun csv = how;
        csv.args = {"--config", config, "--history", history, "--history-csv", row.target};
        const CliResult r = runProgram(csv);
        const bool listedOnRecord = r.out.contains(",listed,");
        EXPECT_EQ(listedOnRecord, QString(row.status) == "listed")
            << "the history disagrees on " << row.target << " (" << row.situation << "):\n"
            << r.out.toStdString() << r.err.toStdString();
    }

    expectAgrees("the list loaded from a file", scanSession());
}
