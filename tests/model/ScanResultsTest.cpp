#include "common/Registry.h"
#include "model/Address.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/Settings.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RecordingScanHost.h"

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// Counts the lookups answered elsewhere and the updates it is told of.
struct RecordingHost : RecordingScanHost {
    int PendingDNSLookups() const override { return static_cast<int>(sent.size()) - answered; }
    int BusyDNSLookups() const override { return PendingDNSLookups() - overdue; }
    void NotifyUpdate(Address&) override { ++updates; }
    int answered = 0;
    int overdue = 0; // pending, but not expected to be answered soon
    int updates = 0;
};

class ScanResults : public ::testing::Test {
protected:
    ScanResults() : registry(backend), settings(registry, nullptr)
    {
        auto& servers = settings.BlacklistServers();
        servers.Add(makeServer("exact.test", true, {{"127.0.0.2", "Spam source"}, {"127.0.0.10", "Dynamic range"}},
                               false, "Exact BL"));
        servers.Add(
            makeServer("mask.test", true, {{"127.0.0.2", "Black"}, {"127.0.0.4", "Grey"}, {"127.0.0.8", "Red"}}, true));
        servers.Add(makeServer("off.test", false, {{"127.0.0.2", "x"}}));
        servers.Add(makeServer("third.test", true, {{"127.0.0.2", "x"}}));
    }

    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    RecordingHost host;
};

// "zone address=reason [txt]" of each response.
QStringList rows(const Responses& responses)
{
    QStringList out;
    for (const ResponsePtr& r : responses)
        out << (r->Server() ? r->Server()->Zone() : QString()) + " " + r->Address() + "=" + r->Reason() + " ["
                + r->TXTRecord() + "]";
    return out;
}

} // namespace

// An exact list's answer holds one code per address, a bit-mask list's
// matches every code whose bits are set; TXT text goes to every record the
// same answer produced, and to none when no record has that answer.
TEST_F(ScanResults, AnswersMatchTheListsCodes)
{
    Responses mask(&settings.BlacklistServers()), exact(&settings.BlacklistServers());
    mask.Add("MASK.test", "127.0.0.6");
    mask.AddTXTInfo("mask.test", "127.0.0.6", "see http://mask.test/");
    mask.Add("mask.test", "127.0.0.1");
    mask.AddTXTInfo("mask.test", "127.0.0.1", "raw");
    EXPECT_EQ(rows(mask),
              (QStringList{"mask.test 127.0.0.2=Black [see http://mask.test/]",
                           "mask.test 127.0.0.4=Grey [see http://mask.test/]",
                           "mask.test 127.0.0.1=Undefined return code of 127.0.0.1 [raw]"}));
    exact.Add("exact.test", "127.0.0.2 127.0.0.10");
    exact.Add("exact.test", "127.0.0.2");
    exact.Add("exact.test", "127.0.0.6");
    exact.AddTXTInfo("exact.test", "127.0.0.2 127.0.0.10", "first");
    exact.AddTXTInfo("exact.test", "127.0.0.10", "second");
    exact.AddTXTInfo("exact.test", "127.0.0.99", "nobody");
    EXPECT_EQ(rows(exact),
              (QStringList{"exact.test 127.0.0.2=Spam source [first]", "exact.test 127.0.0.10=Dynamic range [second]",
                           "exact.test 127.0.0.6=Undefined return code of 127.0.0.6 []"}));
}

TEST_F(ScanResults, CaptionShowsResolvedAddress)
{
    Address ip("192.0.2.1", settings, &host), name("mail.example", settings, &host),
        dead("nowhere.example", settings, &host), many("multi.example", settings, &host),
        mail("postmaster@example.org", settings, &host);
    for (Address* a : {&ip, &name, &dead, &many, &mail}) a->Query();
    EXPECT_EQ(name.Caption(), "mail.example");
    name.ApplyResolution({TargetResolution::Outcome::Resolved, {}, {}, {{"192.0.2.7", "mail.example"}}});
    dead.ApplyResolution({TargetResolution::Outcome::Unresolvable, "no IPv4 address", {}, {}});
    many.ApplyResolution({TargetResolution::Outcome::Resolved,
                          {},
                          {},
                          {{"192.0.2.1", "multi.example"},
                           {"192.0.2.2", "multi.example"},
                           {"192.0.2.3", "multi.example"},
                           {"192.0.2.4", "multi.example"},
                           {"192.0.2.5", "multi.example"}}});
    mail.ApplyResolution(
        {TargetResolution::Outcome::Resolved, {}, {"mx.example.org"}, {{"192.0.2.9", "mx.example.org"}}});
    EXPECT_EQ(QStringList({ip.Caption(), name.Caption(), dead.Caption(), many.Caption(), mail.Caption()}),
              (QStringList{"192.0.2.1", "mail.example (192.0.2.7)", "nowhere.example (Unresolvable)",
                           "multi.example (192.0.2.1, 192.0.2.2, 192.0.2.3, 192.0.2.4, 1 more)",
                           "postmaster@example.org (mx.example.org, 192.0.2.9)"}));
}

TEST_F(ScanResults, LimitStopsThePassAndTheNextPassContinues)
{
    settings.setMaxQueries(10);
    host.answered = -9; // nine lookups already in flight elsewhere
    Address address("192.0.2.7", settings, &host);
    address.Query(); // exact.test -> 10 pending, not > 10; mask.test -> 11 > 10: stop
    ASSERT_EQ(host.sent.size(), 2u);
    EXPECT_FALSE(address.Complete());
    EXPECT_EQ(address.ServerIndex(), 3);
    host.answered = 2; // replies came back
    address.Query();   // disabled off.test is skipped, third.test asked
    ASSERT_EQ(host.sent.size(), 3u);
    EXPECT_EQ(host.sent[2].first, QString::number(address.Id()) + ":BlacklistCheck:third.test");
    EXPECT_TRUE(address.Complete());

    // Lookups to a list that does not answer are pending but hold no room.
    host.answered = -20;
    host.overdue = 25;
    Address next("192.0.2.8", settings, &host);
    next.Query();
    EXPECT_EQ(host.sent.size(), 6u);
    EXPECT_TRUE(next.Complete());
}

// A host name is looked up once per scan, absolutely; each of its addresses
// is then asked of every IP list, and listings are kept apart per address.
TEST_F(ScanResults, EveryAddressOfAHostIsAskedAndListingsStayApart)
{
    Address address("mail.example.", settings, &host);
    address.Query();
    address.Query();
    ASSERT_EQ(host.resolves.size(), 1u);
    EXPECT_EQ(host.resolves[0].name, "mail.example");
    EXPECT_TRUE(host.sent.empty());

    address.ApplyResolution(
        {TargetResolution::Outcome::Resolved, {}, {}, {{"192.0.2.9", "mail.example"}, {"192.0.2.10", "mail.example"}}});
    // Two addresses on three enabled IP lists.
    ASSERT_EQ(host.sent.size(), 6u);
    EXPECT_TRUE(address.Complete());
    const QStringList names = host.names();
    EXPECT_TRUE(names.contains("9.2.0.192.exact.test.") && names.contains("10.2.0.192.third.test."))
        << names.join(" ").toStdString();
    // Each query's tag names the address it asks for.
    for (const auto& [text, name] : host.sent)
        EXPECT_EQ(QueryTag::Parse(text).Key(), address.QueryKey(name.startsWith("10.") ? 1 : 0)) << text.toStdString();

    // Only the second address is listed, and only on exact.test.
    for (const auto& [text, name] : host.sent) {
        const QueryTag tag = QueryTag::Parse(text);
        const bool listed = name.startsWith("10.") && tag.Zone() == "exact.test";
        address.ProcessDNSReply(tag.Parts(), name, listed ? "127.0.0.2" : "", listed ? 0 : DnsFailure::NotFound);
    }
    EXPECT_EQ(address.Verdict(), Verdict::Listed);
    ASSERT_EQ(address.RespondingServers().Count(), 1);
    EXPECT_EQ(address.RespondingServers().Item(1)->ServerEnglishName(), "Exact BL (192.0.2.10)");
    EXPECT_EQ(address.RespondingServerFor("exact.test", 1), address.RespondingServers().Item(1));
    EXPECT_EQ(address.RespondingServerFor("exact.test", 0), nullptr);
}

TEST_F(ScanResults, BlacklistRepliesBuildResultsAndResetClearsThem)
{
    Address address("192.0.2.7", settings, &host);
    address.Query();
    address.ProcessDNSReply({"192.0.2.7", "BlacklistCheck", "exact.test"}, "q", "");
    EXPECT_EQ(address.RespondingServers().Count(), 0);
    EXPECT_FALSE(address.Blacklisted());
    EXPECT_EQ(host.updates, 1);

    // The record is found again in any letter case and named after its list.
    address.ProcessDNSReply({"192.0.2.7", "BlacklistCheck", "exact.test"}, "q", "127.0.0.2");
    address.ProcessDNSReply({"192.0.2.7", "BlacklistCheck", "EXACT.test"}, "q", "127.0.0.2");
    EXPECT_EQ(address.RespondingServers().Count(), 1);
    EXPECT_EQ(address.RespondingServers().Item(1)->ServerEnglishName(), "Exact BL");
    EXPECT_TRUE(address.Blacklisted());

    // A zone without a definition leaves an empty, unnamed record and no listing.
    Address other("192.0.2.8", settings, &host);
    other.ProcessDNSReply({"192.0.2.8", "BlacklistCheck", "deleted.test"}, "q", "127.0.0.2");
    ASSERT_EQ(other.RespondingServers().Count(), 1);
    EXPECT_EQ(other.RespondingServers().Item(1)->ServerEnglishName(), "");
    EXPECT_FALSE(other.Blacklisted());

    // Unknown kinds and short tags are ignored.
    address.ProcessDNSReply({"192.0.2.7", "Other", "exact.test"}, "q", "127.0.0.4");
    address.ProcessDNSReply({"192.0.2.7"}, "q", "127.0.0.4");
    address.ProcessDNSReply({"192.0.2.7", "BlacklistCheck"}, "q", "127.0.0.4");
    EXPECT_EQ(address.RespondingServers().Item("exact.test")->Responses().Count(), 1);

    address.SetComplete(false);
    EXPECT_EQ(std::make_tuple(address.Complete(), address.Scanning(), address.Blacklisted(), address.IP(),
                              address.Results(), address.RespondingServers().Count(), address.ServerIndex()),
              std::make_tuple(false, true, false, QString(), QString(), 0, 1));
}

// Tags are read from the right, so keys with ":" (IPv6, "host:25") route
// their replies; the zone read in place agrees with the full reading, for
// the lists' tests as for their queries.
TEST(QueryTagReading, KeysWithColonsAndEveryKind)
{
    struct Case {
        QString tag;
        QString kind, key, zone, extra;
    };
    const Case cases[] = {
        {QueryTag::BlacklistCheck("7#2001:db8::1", "Bl.Test"), QueryTag::kBlacklistCheck, "7#2001:db8::1", "Bl.Test",
         ""},
        {"3:blacklistcheck:bl.test", QueryTag::kBlacklistCheck, "3", "bl.test", ""},
        {QueryTag::TxtRecord("host:25", "bl.test", "127.0.0.2"), QueryTag::kTxtRecord, "host:25", "bl.test",
         "127.0.0.2"},
        {QueryTag::ZoneTest("bl.test", "127.0.0.2"), QueryTag::kZoneTest, "", "bl.test", "127.0.0.2"},
        {QueryTag::Resolve("mx.example", "A3"), QueryTag::kResolve, "mx.example", "A3", ""},
        {"no colon at all", "", "", "", ""},
        {"::", "", "", "", ""},
        {":BlacklistCheck:", QueryTag::kBlacklistCheck, "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag.toStdString());
        const QueryTag parsed = QueryTag::Parse(c.tag);
        EXPECT_EQ(parsed.Kind(), c.kind);
        EXPECT_EQ(parsed.Key(), c.key);
        EXPECT_EQ(parsed.Zone(), c.zone);
        EXPECT_EQ(parsed.Extra(), c.extra);
        EXPECT_EQ(QueryTag::ZoneOf(c.tag).toString(), c.zone);
        // Read in place, as every reply of a scan is.
        const QueryTag::Fields fields = QueryTag::Read(c.tag);
        EXPECT_EQ(fields.kind ? *fields.kind : QString(), c.kind);
        EXPECT_EQ(fields.key.toString(), c.key);
        EXPECT_EQ(fields.zone.toString(), c.zone);
        EXPECT_EQ(fields.extra.toString(), c.extra);
        for (const QString* kind :
             {&QueryTag::kBlacklistCheck, &QueryTag::kTxtRecord, &QueryTag::kZoneTest, &QueryTag::kResolve})
            EXPECT_EQ(fields.Is(*kind), *kind == c.kind) << kind->toStdString();
    }
    // A key written out as text makes the same tag as one given as a string.
    EXPECT_EQ(QueryTag::BlacklistCheck(QLatin1String("12#3"), "bl.test"), QueryTag::BlacklistCheck("12#3", "bl.test"));
}
