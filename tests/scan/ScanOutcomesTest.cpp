// How the zone tests before a scan, and a scan no DNS server answers, end up
// in the verdicts: the real lookup control against an in-process DNS server
// whose zones each misbehave in their own way. (Each answer's own verdict:
// the address's tests and the command line's.)
#include "support/FakeDnsServer.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdScan.h"

using namespace quarlo;
using Fake = FakeDnsServer;

namespace {

// zone -> how it behaves. "listed.test" is a healthy list of 192.0.2.1.
QList<Fake::Send> behave(const Fake::Query& q)
{
    const QByteArray name = q.name.toLower();
    const QByteArray zone =
        name.mid(name.indexOf(".", name.indexOf(".", name.indexOf(".", name.indexOf(".") + 1) + 1) + 1) + 1);
    const QByteArray reversed = name.left(name.size() - zone.size() - 1);
    const auto reply = [&](int rcode, const QList<Fake::Record>& answers = {}) {
        return Fake::Reply(Fake::BuildReply(q, rcode, answers));
    };
    const bool testEntry = reversed == "2.0.0.127";
    const bool listedTarget = reversed == "1.2.0.192";
    if (zone == "listed.test" || zone == "notest.test") {
        if (listedTarget || (testEntry && zone == "listed.test")) return reply(Fake::NoError, {Fake::A("127.0.0.2")});
        return reply(Fake::NxDomain);
    }
    if (zone == "refusing.test") return reply(Fake::NoError, {Fake::A("127.255.255.254")});
    if (zone == "everything.test") return reply(Fake::NoError, {Fake::A("127.0.0.2")});
    if (zone == "servfail.test") return reply(Fake::ServFail);
    if (zone == "refused.test") return reply(Fake::Refused);
    if (zone == "outside.test") return reply(Fake::NoError, {Fake::A("198.51.100.1")});
    return {}; // silent.test and anything else: never answers
}

class ScanOutcomes : public RbldnsdScan {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dns.start());
        dns.setScript(behave);
        settings.setMaxQueries(50);
        auto& servers = settings.BlacklistServers();
        for (const char* zone : {"listed.test", "notest.test", "everything.test", "servfail.test", "refused.test",
                                 "outside.test", "silent.test"})
            servers.Add(makeServer(zone, true, {{"127.0.0.2", "Spam source"}}));
        auto refusing =
            makeServer("refusing.test", true,
                       {{"127.0.0.2", "Spam source"}, {"127.255.255.254", "Query refused: public resolver"}}, false,
                       "Refusing List");
        refusing->ResultCodes().Item("127.255.255.254")->setListing(false);
        servers.Add(refusing);
        connect(QStringList{dns.serverSpec()});
    }

    void enableOnly(const QStringList& zones)
    {
        for (const ServerPtr& server : settings.BlacklistServers()) server->setEnabled(zones.contains(server->Zone()));
    }

    Fake dns;
};

} // namespace

TEST_F(ScanOutcomes, ZoneTestsSkipBrokenListsBeforeAnyAddressIsAsked)
{
    QSignalSpy tested(list.get(), &Addresslist::ZoneTestComplete);
    const AddressPtr listed = list->AddTarget("192.0.2.1");
    const AddressPtr clean = list->AddTarget(" 192.0.2.9 "); // blanks are not part of the query
    scanToEnd();
    EXPECT_EQ(tested.count(), 1);

    QMap<QString, ZoneTest::Health> health;
    for (const ZoneTest& test : list->ZoneTests()) health.insert(test.zone, test.health());
    const QMap<QString, ZoneTest::Health> expected{
        {"listed.test", ZoneTest::Health::Ok},        {"notest.test", ZoneTest::Health::NoTestEntry},
        {"refusing.test", ZoneTest::Health::Refused}, {"everything.test", ZoneTest::Health::ListsEverything},
        {"servfail.test", ZoneTest::Health::Failed},  {"refused.test", ZoneTest::Health::Failed},
        {"outside.test", ZoneTest::Health::Failed},   {"silent.test", ZoneTest::Health::Failed},
    };
    EXPECT_EQ(health, expected);

    // Skipped lists are never asked about an address, and say why.
    QStringList askedAbout; // A queries only: the listing's TXT text is asked for too
    for (const Fake::Query& q : dns.queries())
        if (q.type == 1 && (q.name.startsWith("9.2.0.192.") || q.name.startsWith("1.2.0.192.")))
            askedAbout << QString::fromLatin1(q.name);
    askedAbout.sort();
    EXPECT_EQ(askedAbout, (QStringList{"1.2.0.192.listed.test", "9.2.0.192.listed.test"}));

    EXPECT_EQ(listed->Verdict(), Verdict::Listed);
    EXPECT_EQ(listed->ListingServerCount(), 1);
    // A list that does not list its own test entry cannot vouch either:
    // seven lists were skipped, so the clean-looking address is not clean.
    EXPECT_EQ(clean->Verdict(), Verdict::Incomplete);
    EXPECT_EQ(clean->ZonesChecked(), 8);
    EXPECT_EQ(clean->ZonesWith(ZoneNote::Kind::Skipped).size(), 7);
    EXPECT_TRUE(clean->ZoneNotes()[0].detail.contains("skipped in this scan"));

    EXPECT_EQ(list->Summary().refusingZones.keys(), QStringList({"refusing.test"}));
    EXPECT_FALSE(list->Summary().NoDnsAnswered());
    EXPECT_TRUE(list->Summary().started.isValid());
}

TEST_F(ScanOutcomes, NoDnsServerAnsweringIsNeverClean)
{
    // Nothing listens on the discard port: every query fails at once.
    connect(QStringList{"127.0.0.1:9"});
    for (const bool withTests : {true, false}) {
        SCOPED_TRACE(withTests);
        settings.setCheckListsBeforeScanning(withTests);
        enableOnly({"listed.test", "notest.test"});
        list->Clear();
        const AddressPtr address = list->AddTarget("127.0.0.2");
        scanToEnd();
        EXPECT_EQ(address->Verdict(), Verdict::Incomplete);
        ASSERT_EQ(address->ZoneNotes().size(), 2u);
        EXPECT_TRUE(address->ZoneNotes()[0].detail.contains("no DNS server"))
            << address->ZoneNotes()[0].detail.toStdString();
        EXPECT_TRUE(list->Summary().NoDnsAnswered());
    }
    // Host names alone, without zone tests: the failed host lookups tell it,
    // and a lookup that failed is no "host name not found".
    list->Clear();
    const AddressPtr host = list->AddTarget("mail.example");
    scanToEnd();
    EXPECT_EQ(host->Verdict(), Verdict::Incomplete);
    EXPECT_TRUE(list->Summary().NoDnsAnswered());
}
