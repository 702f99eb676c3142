// End-to-end scans against rbldnsd, driven by the real scheduler and lookup
// control: IPv6 nibble queries and domain-list queries against its ip6trie
// and dnset datasets, and a scan stopped and restarted. (What IPv4, host and
// mail targets find, end to end: the verdict table's doors and the command
// line's tests.)
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdScan.h"

using namespace quarlo;

namespace {

class ScanIntegration : public RbldnsdScan {
protected:
    void SetUp() override
    {
        server.addZone("v4.test", "ip4set", ":127.0.0.2:IPv4 listing $\n127.0.0.2\n192.0.2.1\n");
        // One zone for both families, as real lists that answer IPv6 do.
        server.addZone("both.test", "combined",
                       "$DATASET ip4set v4 @\n:127.0.0.2:Listed $\n127.0.0.2\n192.0.2.1\n"
                       "$DATASET ip6trie v6 @\n:127.0.0.2:IPv6 listing $\n2001:db8:1:2:3:4:567:89ab\n"
                       "2001:db8:dead::/48 :127.0.0.3:Listed network\n");
        server.addZone("dom.test", "dnset", ":127.0.1.2:Spam domain $\ntest\n.spam.example\n");
        server.addZone("spam.example", "generic", "mx1 A 192.0.2.50\n");
        ASSERT_NO_FATAL_FAILURE(startServer());
        auto& servers = settings.BlacklistServers();
        servers.Add(makeServer("v4.test", true, {{"127.0.0.2", "Listed"}}, false, "IPv4 only"));
        auto both = makeServer("both.test", true, {{"127.0.0.2", "Listed"}, {"127.0.0.3", "Network"}}, false, "Both");
        both->setAnswersIPv6(true);
        servers.Add(both);
        servers.Add(makeDomainList("dom.test"));
    }

    static QStringList listedBy(const AddressPtr& address)
    {
        QStringList zones;
        for (const auto& server : address->RespondingServers())
            if (server->Listing()) zones << server->ServerName();
        return zones;
    }
};

} // namespace

TEST_F(ScanIntegration, EveryKindOfTargetGetsTheAnswersOfTheListsThatApply)
{
    settings.setCheckListsBeforeScanning(true);
    struct Case {
        QString target;
        Verdict verdict;
        QStringList listedBy;
        QStringList notApplicable;
    };
    const Case cases[] = {
        {"2001:db8:1:2:3:4:567:89ab", Verdict::Listed, {"both.test"}, {"v4.test", "dom.test"}},
        {"2001:DB8:DEAD:1::7", Verdict::Listed, {"both.test"}, {"v4.test", "dom.test"}},
        {"2001:db8::2", Verdict::Clean, {}, {"v4.test", "dom.test"}},
        {"::ffff:192.0.2.1", Verdict::Listed, {"v4.test", "both.test"}, {"dom.test"}},
        // No address, but its domain is listed.
        {"gone.spam.example", Verdict::Listed, {"dom.test"}, {"v4.test", "both.test"}},
        // No mail server with an address, but the domain is listed.
        {"postmaster@Spam.Example", Verdict::Listed, {"dom.test"}, {"v4.test", "both.test"}},
    };
    for (const Case& c : cases) list->AddTarget(c.target);
    scanToEnd();

    // The domain list passed its own test with the names for it.
    ASSERT_EQ(list->ZoneTests().size(), 3u);
    for (const ZoneTest& test : list->ZoneTests())
        EXPECT_EQ(test.health(), ZoneTest::Health::Ok)
            << test.zone.toStdString() << ": " << test.description().toStdString();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        const AddressPtr address = list->Item(c.target);
        ASSERT_NE(address, nullptr);
        EXPECT_EQ(address->Verdict(), c.verdict);
        EXPECT_EQ(listedBy(address), c.listedBy);
        EXPECT_EQ(address->ZonesWith(ZoneNote::Kind::NotApplicable), c.notApplicable);
    }
    // The TXT record comes from the nibble name too.
    const auto v6 = list->Item("2001:db8:1:2:3:4:567:89ab")->RespondingServers().Item("both.test");
    ASSERT_NE(v6, nullptr);
    EXPECT_EQ(v6->Responses().Item(1)->TXTRecord(), "IPv6 listing 2001:db8:1:2:3:4:567:89ab");
}

TEST_F(ScanIntegration, ADomainListThatListsEveryNameIsSkipped)
{
    // A zone that lists "invalid" would list every name: it is skipped.
    RbldnsdServer broken;
    broken.addZone("dom.test", "dnset", ":127.0.1.2:Everything\ntest\ninvalid\n.spam.example\n");
    QString error;
    ASSERT_TRUE(broken.start(&error)) << error.toStdString();
    connect(QStringList{broken.serverSpec()});
    settings.BlacklistServers().Item("v4.test")->setEnabled(false);
    settings.BlacklistServers().Item("both.test")->setEnabled(false);
    settings.setCheckListsBeforeScanning(true);
    list->AddTarget("user@spam.example");
    scanToEnd();
    ASSERT_EQ(list->ZoneTests().size(), 1u);
    EXPECT_EQ(list->ZoneTests()[0].health(), ZoneTest::Health::ListsEverything);
    EXPECT_TRUE(list->ZoneTests()[0].description().contains("invalid"));
    EXPECT_EQ(list->Item("user@spam.example")->Verdict(), Verdict::Incomplete);
}

// Stopping mid-scan and restarting, with the real lookup control.
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
    EXPECT_EQ(list->Item("192.0.2.1")->Verdict(), Verdict::NotChecked) << "stopped before its answer: never clean";

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
