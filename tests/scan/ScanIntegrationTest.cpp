// End-to-end scans of IPv4 lists and host names.
#include "support/FakeDnsServer.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdScan.h"

#include <set>

using namespace quarlo;

namespace {

class ScanIntegration : public RbldnsdScan {
protected:
    void SetUp() override
    {
        server.addZone("exact.test", "ip4set",
                       ":127.0.0.2:Listed in exact.test, see http://exact.test/?ip=$\n"
                       "192.0.2.1\n"
                       "192.0.2.0/30\n"
                       "192.0.2.3 :127.0.0.10:Dynamic range $\n"
                       "198.51.100.77 :127.0.0.3:Unknown code $\n");
        server.addZone("mask.test", "ip4set", ":127.0.0.6:Grey and black $\n192.0.2.1\n");
        server.addZone("hosts.test", "generic",
                       "mx1 A 192.0.2.1\n@ MX 10 mx1.hosts.test.\nclean A 198.51.100.20\n");
        ASSERT_NO_FATAL_FAILURE(startServer());
        auto& servers = settings.BlacklistServers();
        servers.Add(makeServer("exact.test", true,
                               {{"127.0.0.2", "Spam source"}, {"127.0.0.10", "Dynamic range"}}, false, "Exact"));
        servers.Add(makeServer("mask.test", true, {{"127.0.0.2", "Black"}, {"127.0.0.4", "Grey"}}, true, "Mask"));
        servers.Add(makeServer("off.test", false, {{"127.0.0.2", "never asked"}}));
    }
};

} // namespace

TEST_F(ScanIntegration, ListedCleanBitMaskMultiAnswerAndHosts)
{
    for (const char* t : {"192.0.2.1", "192.0.2.3", "198.51.100.20", "198.51.100.77", "mx1.hosts.test",
                          "clean.hosts.test", "missing.hosts.test"})
        list->AddTarget(t);
    QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
    QSignalSpy updates(list.get(), &Addresslist::UpdateAddress);
    scanToEnd();
    EXPECT_EQ(complete.count(), 1);

    const auto listed = list->Item("192.0.2.1");
    EXPECT_TRUE(listed->Blacklisted());
    EXPECT_EQ(listed->RespondingServers().Count(), 2);
    EXPECT_EQ(listed->RespondingServers().Item("exact.test")->ServerEnglishName(), "Exact");
    EXPECT_EQ(reasons(listed, "exact.test"), QStringList({"127.0.0.2=Spam source"}));
    // 127.0.0.6 carries the bits of both mask codes.
    EXPECT_EQ(reasons(listed, "mask.test"), QStringList({"127.0.0.2=Black", "127.0.0.4=Grey"}));
    const auto exactTxt = listed->RespondingServers().Item("exact.test")->Responses().Item(1)->TXTRecord();
    EXPECT_EQ(exactTxt, "Listed in exact.test, see http://exact.test/?ip=192.0.2.1");
    for (const auto& r : listed->RespondingServers().Item("mask.test")->Responses())
        EXPECT_EQ(r->TXTRecord(), "Grey and black 192.0.2.1");

    // Two entries match 192.0.2.3: both answers, each with its own reason.
    const QStringList multi = reasons(list->Item("192.0.2.3"), "exact.test");
    EXPECT_EQ(std::set<QString>(multi.begin(), multi.end()),
              (std::set<QString>{"127.0.0.2=Spam source", "127.0.0.10=Dynamic range"}));

    EXPECT_FALSE(list->Item("198.51.100.20")->Blacklisted());
    EXPECT_EQ(list->Item("198.51.100.20")->RespondingServers().Count(), 0);
    EXPECT_EQ(reasons(list->Item("198.51.100.77"), "exact.test"),
              QStringList({"127.0.0.3=Undefined return code of 127.0.0.3"}));

    EXPECT_EQ(list->Item("mx1.hosts.test")->Caption(), "mx1.hosts.test (192.0.2.1)");
    EXPECT_TRUE(list->Item("mx1.hosts.test")->Blacklisted());
    EXPECT_EQ(list->Item("clean.hosts.test")->Caption(), "clean.hosts.test (198.51.100.20)");
    EXPECT_FALSE(list->Item("clean.hosts.test")->Blacklisted());
    EXPECT_EQ(list->Item("missing.hosts.test")->IP(), "Unresolvable");
    for (const auto& a : *list) EXPECT_TRUE(a->Complete()) << a->Key().toStdString();
    // The disabled server is never asked and never appears.
    for (const auto& a : *list) EXPECT_EQ(a->RespondingServers().Item("off.test"), nullptr);
    EXPECT_GT(updates.count(), 0);
}

TEST_F(ScanIntegration, LimitOfOneKeepsAtMostTwoInFlight)
{
    // Loaded values are not clamped, so the registry can hold a limit of 1.
    backend.write(RegistryRoot::LocalMachine, "Software\\Vantorel\\Vantorel Quarlo\\Settings", "Max Queries",
                  RegistryValue::fromString("1"));
    settings.Refresh();
    int maxPending = 0;
    QObject::connect(lookup.get(), &DnsLookup::LookupComplete,
                     [&] { maxPending = std::max(maxPending, lookup->PendingCount() + 1); });
    for (int i = 0; i < 8; ++i) list->AddTarget(QString("192.0.2.%1").arg(i));
    scanToEnd();
    EXPECT_LE(maxPending, 2);
    EXPECT_TRUE(list->Item("192.0.2.1")->Blacklisted());
    EXPECT_TRUE(list->Item("192.0.2.2")->Blacklisted());
    EXPECT_FALSE(list->Item("192.0.2.4")->Blacklisted());
    EXPECT_EQ(reasons(list->Item("192.0.2.1"), "mask.test"), QStringList({"127.0.0.2=Black", "127.0.0.4=Grey"}));
}

TEST_F(ScanIntegration, StopMidScanCancelsLookupsAndRestartScansAgain)
{
    settings.setMaxQueries(10);
    for (int i = 0; i < 200; ++i) list->AddTarget(QString("10.0.%1.%2").arg(i / 250).arg(i % 250));
    list->AddTarget("192.0.2.1");
    QSignalSpy canceled(list.get(), &Addresslist::ScanCanceled);
    QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
    // Stop from inside a reply, as a user's click between two replies would.
    const auto stopper = QObject::connect(list.get(), &Addresslist::UpdateAddress, [&] {
        if (list->Item(20)->Complete() && list->ScanActive()) list->StopScan();
    });
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(canceled.count() == 1 || canceled.wait(30000));
    QObject::disconnect(stopper);
    EXPECT_EQ(canceled.count(), 1);
    EXPECT_FALSE(list->ScanActive());
    EXPECT_EQ(lookup->PendingCount(), 0);
    const auto completeCount = [&] {
        int count = 0;
        for (const auto& a : *list) count += a->Complete();
        return count;
    };
    const int completeAfterStop = completeCount();
    EXPECT_FALSE(QTest::qWaitFor([&] { return completeCount() != completeAfterStop; }, 300)) << "moved after the stop";
    EXPECT_EQ(complete.count(), 0);
    EXPECT_FALSE(list->Item("192.0.2.1")->Complete());

    // Restart while scanning: the first scan's queries are dropped and the
    // second one ends with the right results, once.
    list->StartScan();
    list->Tick();
    ASSERT_GT(lookup->PendingCount(), 0);
    scanToEnd();
    EXPECT_EQ(complete.count(), 1);
    EXPECT_TRUE(list->Item("192.0.2.1")->Blacklisted());
    for (const auto& a : *list) EXPECT_TRUE(a->Complete());
}

TEST_F(ScanIntegration, AddressesRemovedMidScanDoNotDisturbTheRest)
{
    settings.setMaxQueries(10);
    for (int i = 0; i < 60; ++i) list->AddTarget(QString("192.0.2.%1").arg(i));
    list->StartScan();
    list->Tick();
    QSignalSpy deleted(list.get(), &Addresslist::DeleteAddress);
    for (int i = 0; i < 60; i += 3) list->Remove(QString("192.0.2.%1").arg(i));
    QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
    ASSERT_TRUE(complete.wait(60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return direct->OutstandingCount() == 0; }, 30000));
    EXPECT_EQ(deleted.count(), 20);
    EXPECT_EQ(list->Count(), 40);
    EXPECT_EQ(list->Item("192.0.2.0"), nullptr);
    EXPECT_TRUE(list->Item("192.0.2.1")->Blacklisted());
    EXPECT_TRUE(list->Item("192.0.2.2")->Blacklisted());
    EXPECT_FALSE(list->Item("192.0.2.4")->Blacklisted());
}

TEST_F(ScanIntegration, ThousandAddressesGiveExactlyTheExpectedResults)
{
    // Every seventh address is listed; a few carry a second code.
    QString zone = ":127.0.0.2:Listed $\n";
    for (int i = 0; i < 1000; i += 7) zone += QString("10.1.%1.%2\n").arg(i / 200).arg(i % 200);
    for (int i = 0; i < 1000; i += 91) zone += QString("10.1.%1.%2 :127.0.0.10:Second $\n").arg(i / 200).arg(i % 200);
    RbldnsdServer big;
    big.addZone("exact.test", "ip4set", zone);
    QString error;
    ASSERT_TRUE(big.start(&error)) << error.toStdString();
    connect(QStringList{big.serverSpec()});
    settings.BlacklistServers().Remove("mask.test");

    for (int i = 0; i < 1000; ++i) list->AddTarget(QString("10.1.%1.%2").arg(i / 200).arg(i % 200));
    scanToEnd(60000);
    int listed = 0;
    for (int i = 0; i < 1000; ++i) {
        const auto address = list->Item(QString("10.1.%1.%2").arg(i / 200).arg(i % 200));
        ASSERT_TRUE(address->Complete());
        QStringList expected;
        if (i % 7 == 0) expected << "127.0.0.2=Spam source";
        if (i % 91 == 0) expected << "127.0.0.10=Dynamic range";
        QStringList got = reasons(address, "exact.test");
        got.sort();
        expected.sort();
        ASSERT_EQ(got, expected) << i;
        EXPECT_EQ(address->Blacklisted(), !expected.isEmpty());
        if (!expected.isEmpty()) {
            ++listed;
            for (const auto& r : address->RespondingServers().Item("exact.test")->Responses())
                EXPECT_FALSE(r->TXTRecord().isEmpty()) << i;
        }
    }
    EXPECT_EQ(listed, 143);
}

TEST_F(ScanIntegration, DeadDnsServerCannotStallAScan)
{
    FakeDnsServer silent; // answers nothing at all
    QString error;
    ASSERT_TRUE(silent.start(&error)) << error.toStdString();
    connect(QStringList{silent.serverSpec()});
    list->AddTarget("192.0.2.1");
    list->AddTarget("unreachable.hosts.test");
    // Every try times out, so the scan ends; the limit only keeps a broken
    // engine from holding the suite for ever.
    scanToEnd(90000);
    EXPECT_FALSE(list->Item("192.0.2.1")->Blacklisted());
    EXPECT_EQ(list->Item("192.0.2.1")->Verdict(), Verdict::Incomplete); // never "clean" without an answer
    EXPECT_EQ(list->Item("unreachable.hosts.test")->IP(), "Unresolvable");
    EXPECT_TRUE(list->Summary().NoDnsAnswered());
}

TEST_F(ScanIntegration, TxtRepliesAfterScanCompleteAreApplied)
{
    // Blacklist answers come from rbldnsd; TXT answers from a slow server.
    FakeDnsServer slowTxt;
    slowTxt.setScript([](const FakeDnsServer::Query& q) {
        return FakeDnsServer::Reply(
            FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::Txt({"late ", "explanation"})}), 300);
    });
    QString error;
    ASSERT_TRUE(slowTxt.start(&error)) << error.toStdString();
    connect(QStringList{server.serverSpec()}, QStringList{slowTxt.serverSpec()});

    list->AddTarget("192.0.2.1");
    QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
    list->StartScan();
    list->Tick();
    ASSERT_TRUE(complete.wait(30000));
    const auto address = list->Item("192.0.2.1");
    ASSERT_TRUE(address->Blacklisted());
    const auto response = address->RespondingServers().Item("exact.test")->Responses().Item(1);
    EXPECT_EQ(response->TXTRecord(), "");
    EXPECT_GT(direct->OutstandingCount(), 0);

    QSignalSpy updates(list.get(), &Addresslist::UpdateAddress);
    ASSERT_TRUE(QTest::qWaitFor([&] { return direct->OutstandingCount() == 0; }, 30000));
    EXPECT_EQ(response->TXTRecord(), "late explanation"); // strings of one record joined
    EXPECT_EQ(address->RespondingServers().Item("mask.test")->Responses().Item(2)->TXTRecord(), "late explanation");
    EXPECT_EQ(updates.count(), 2);
    EXPECT_FALSE(list->ScanActive());
}
