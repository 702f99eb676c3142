// An address's queries and verdict, driven by hand: the lists each kind of
// target asks, and how every query outcome adds up.
#include "common/Registry.h"
#include "model/Address.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/ScanHost.h"
#include "model/Settings.h"
#include "model/TargetResolution.h"
#include "support/EnvGuard.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RecordingScanHost.h"

#include <QHash>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// Settings over an in-memory registry and a host that records the lookups.
class AddressTest : public ::testing::Test {
protected:
    MemoryRegistryBackend backend;
    Registry registry{backend};
    Settings settings{registry, nullptr};
    RecordingScanHost host;

    // Answers every blacklist query sent so far alike (not listed by default).
    void answerAll(Address& address, const QString& answer = QString(), int failure = DnsFailure::NotFound)
    {
        for (const auto& [tag, name] : std::vector(host.sent))
            if (QueryTag::Parse(tag).Is(QueryTag::kBlacklistCheck))
                address.ProcessDNSReply(QueryTag::Parse(tag).Parts(), name, answer, failure);
    }
};

class AddressVerdict : public AddressTest {
protected:
    AddressVerdict()
    {
        auto& servers = settings.BlacklistServers();
        auto exact = makeServer("exact.test", true,
                                {{"127.0.0.2", "Spam source"}, {"127.255.255.254", "Query refused: public resolver"}});
        exact->ResultCodes().Item("127.255.255.254")->setListing(false);
        servers.Add(exact);
        // Bit-mask coded, with a refusal answer of its own as a code.
        auto mask =
            makeServer("mask.test", true,
                       {{"127.0.0.8", "Phishing"}, {"127.0.0.16", "Malware"}, {"127.0.0.1", "Access blocked"}}, true);
        mask->ResultCodes().Item("127.0.0.1")->setListing(false);
        servers.Add(mask);
    }

    // Sends the address's queries and answers each zone as given.
    void scan(Address& address, const QHash<QString, std::pair<QString, int>>& answers)
    {
        address.SetComplete(false);
        address.Query();
        for (auto it = answers.begin(); it != answers.end(); ++it)
            address.ProcessDNSReply({address.Key(), "BlacklistCheck", it.key()}, "q", it.value().first,
                                    it.value().second);
    }
};

// Three kinds of list: IPv4 only, IPv4 and IPv6, and a domain list.
class AddressKinds : public AddressTest {
protected:
    AddressKinds()
    {
        auto& servers = settings.BlacklistServers();
        servers.Add(makeServer("v4.test", true, {{"127.0.0.2", "Listed"}}));
        auto both = makeServer("v6.test", true, {{"127.0.0.2", "Listed"}});
        both->setAnswersIPv6(true);
        servers.Add(both);
        servers.Add(makeDomainList("dom.test"));
    }

    // Starts a scan of target and, for host names, answers the lookup.
    std::unique_ptr<Address> start(const QString& target, const QString& hostIp = QString())
    {
        host.sent.clear();
        host.resolves.clear();
        auto address = std::make_unique<Address>(target, settings, &host);
        address->SetComplete(false);
        address->Query();
        if (!hostIp.isEmpty()) {
            EXPECT_EQ(host.resolves.size(), 1u);
            address->ApplyResolution({TargetResolution::Outcome::Resolved, {}, {}, {{hostIp, target}}});
        }
        return address;
    }
};

} // namespace

TEST_F(AddressVerdict, VerdictFollowsEveryQueryOutcome)
{
    using A = std::pair<QString, int>;
    const A nx{"", DnsFailure::NotFound}, timeout{"", DnsFailure::Timeout}, listed{"127.0.0.2", 0};
    const A refusal{"127.255.255.254", 0};
    struct Case {
        const char* name;
        QHash<QString, A> answers;
        Verdict verdict;
        int listing;
        int notes;
    };
    // A stop leaves an unfinished address not checked, but what was found stays found.
    const Case cases[] = {
        {"nothing answered", {}, Verdict::Scanning, 0, 0},
        {"both not found", {{"exact.test", nx}, {"mask.test", {"", DnsFailure::NoData}}}, Verdict::Clean, 0, 0},
        {"one listing", {{"exact.test", listed}, {"mask.test", nx}}, Verdict::Listed, 1, 0},
        {"refusal only", {{"exact.test", refusal}, {"mask.test", nx}}, Verdict::Refused, 0, 1},
        {"refusal and time-out", {{"exact.test", refusal}, {"mask.test", timeout}}, Verdict::Incomplete, 0, 2},
        {"SERVFAIL", {{"exact.test", nx}, {"mask.test", {"", DnsFailure::ServerFailure}}}, Verdict::Incomplete, 0, 1},
        {"outside 127/8", {{"exact.test", {"127.0.0.2 10.0.0.1", 0}}, {"mask.test", nx}}, Verdict::Incomplete, 0, 1},
        {"listing beats failure", {{"exact.test", listed}, {"mask.test", timeout}}, Verdict::Listed, 1, 1},
        {"bit-mask refusal", {{"exact.test", nx}, {"mask.test", {"127.0.0.1", 0}}}, Verdict::Refused, 0, 1},
        // Bits that include the refusal code's bit are still a listing.
        {"bit-mask listing", {{"exact.test", nx}, {"mask.test", {"127.0.0.25", 0}}}, Verdict::Listed, 1, 0},
        {"one answer missing", {{"exact.test", nx}}, Verdict::Scanning, 0, 0},
        {"listed, one answer missing", {{"exact.test", listed}}, Verdict::Listed, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Address address("192.0.2.7", settings, &host);
        EXPECT_EQ(address.Verdict(), Verdict::NotScanned);
        scan(address, c.answers);
        EXPECT_EQ(address.Verdict(), c.verdict);
        EXPECT_EQ(address.ListingServerCount(), c.listing);
        EXPECT_EQ(address.Blacklisted(), c.listing > 0);
        EXPECT_EQ(static_cast<int>(address.ZoneNotes().size()), c.notes);
        EXPECT_EQ(address.ZonesChecked(), 2);
        // A list's records are found by its zone in any letter case, and a
        // zone that only starts the same is another list.
        for (const QString& zone : {QStringLiteral("exact.test"), QStringLiteral("mask.test")}) {
            const size_t held = address.RespondingServersOf(zone).size();
            if (c.answers.value(zone) == listed) {
                EXPECT_EQ(held, 1u);
            }
            EXPECT_EQ(address.RespondingServersOf(zone.toUpper()).size(), held) << zone.toStdString();
            EXPECT_TRUE(address.RespondingServersOf(zone + QLatin1Char('x')).empty());
            EXPECT_TRUE(address.RespondingServersOf(zone.chopped(1)).empty());
        }
        address.MarkStopped();
        EXPECT_EQ(address.Verdict(), c.verdict == Verdict::Scanning ? Verdict::NotChecked : c.verdict);
        EXPECT_EQ(address.PendingQueries(), 0);
    }
}

// What the lookups of a target found decides before any list: a failed
// lookup is never clean nor unresolvable, a null MX takes no mail, and a late
// answer changes nothing.
// Only answers in 127.0.0.0/8 list; written any way a number may be
// written, the address decides, not the spelling.
TEST(AddressScreen, OnlyAnswersInsideLoopbackList)
{
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.2", true},    {"127.255.255.254", true}, {"127.0.0.2 127.0.0.4", true}, {"127.000.0.02", true},
        {"0127.0.0.2", true},   {"10.0.0.1", false},       {"1.127.0.2", false},          {"128.0.0.1", false},
        {"127.0.0.256", false}, {"127.0.0", false},        {"127.0.0.2.5", false},        {"127.0.0.2.", false},
        {"1270.0.0.1", false},  {"127..0.2", false},       {"127.0.0.2 10.0.0.1", false}, {"127.0.0.x", false},
        {".127.0.0.2", false},
    };
    for (const auto& [answer, listed] : cases) {
        QString detail;
        EXPECT_EQ(Address::ScreenAnswer(answer, DnsFailure::None, &detail),
                  listed ? QueryOutcome::Listed : QueryOutcome::Failed)
            << answer;
        EXPECT_EQ(detail.contains("outside 127.0.0.0/8"), !listed) << answer;
    }
}

TEST_F(AddressKinds, TheTargetsOwnLookupsDecideFirst)
{
    using O = TargetResolution::Outcome;
    struct Case {
        const char* target;
        O outcome;
        QString problem;
        Verdict verdict;
    };
    const Case cases[] = {
        {"mail.example", O::Failed, "mail.example: A lookup failed: timed out", Verdict::Incomplete},
        {"mail.example", O::Unresolvable, "name not found (NXDOMAIN)", Verdict::Unresolvable},
        {"a@example.org", O::NoMail, "null MX", Verdict::NoMail},
        {"a@example.org", O::Failed, "MX lookup failed: server failure (SERVFAIL)", Verdict::Incomplete},
    };
    for (const Case& c : cases) {
        settings.BlacklistServers().Item("dom.test")->setEnabled(false);
        Address lost(c.target, settings, &host);
        lost.SetComplete(false);
        lost.Query();
        lost.ApplyResolution({c.outcome, c.problem, {}, {}});
        answerAll(lost);
        EXPECT_EQ(lost.Verdict(), c.verdict) << c.target << " " << c.problem.toStdString();
        EXPECT_EQ(lost.HostLookupProblem(), c.problem);
        lost.ApplyResolution({O::Resolved, {}, {}, {{"192.0.2.9", "x"}}});
        EXPECT_NE(lost.IP(), "192.0.2.9");
        settings.BlacklistServers().Item("dom.test")->setEnabled(true);
    }
}

// Nothing asked is not clean, and the address is done at once.
TEST_F(AddressKinds, NoEnabledListIsNotChecked)
{
    for (const bool removed : {false, true}) {
        for (const ServerPtr& server : settings.BlacklistServers()) server->setEnabled(false);
        if (removed) settings.BlacklistServers().Clear();
        Address address("192.0.2.7", settings, &host);
        address.SetComplete(false);
        address.Query();
        EXPECT_TRUE(address.Complete());
        EXPECT_TRUE(host.sent.empty());
        EXPECT_EQ(address.Verdict(), Verdict::NotChecked) << removed;
        EXPECT_FALSE(address.NotCheckedReason().isEmpty());
    }
}

TEST_F(AddressVerdict, TxtTextKeptPerListingIsCapped)
{
    Address address("192.0.2.7", settings, &host);
    scan(address, {{"exact.test", {"127.0.0.2", 0}}, {"mask.test", {"", DnsFailure::NotFound}}});
    const auto record = address.RespondingServers().Item("exact.test");
    record->AddTXTInfo("127.0.0.2", QString(64 * 1024, QLatin1Char('x')));
    const QString kept = record->Responses().Item("127.0.0.2")->TXTRecord();
    EXPECT_EQ(kept.size(), Response::kMaxTXTLength + Response::kCutMark.size());
    EXPECT_TRUE(kept.endsWith(Response::kCutMark));
    // Cut by characters, not bytes, whatever the script.
    const QString wide = QString(Response::kMaxTXTLength + 10, QChar(0x4e2d));
    record->AddTXTInfo("127.0.0.2", wide);
    EXPECT_EQ(record->Responses().Item("127.0.0.2")->TXTRecord(),
              wide.left(Response::kMaxTXTLength) + Response::kCutMark);
    const QString mixed = QStringLiteral("Listed: see https://bl.example/q?ip=192.0.2.7 \u00e9\u00df \U0001F600");
    record->AddTXTInfo("127.0.0.2", mixed);
    EXPECT_EQ(record->Responses().Item("127.0.0.2")->TXTRecord(), mixed);
    record->AddTXTInfo("127.0.0.2", "short text");
    EXPECT_EQ(record->Responses().Item("127.0.0.2")->TXTRecord(), "short text");
}

TEST_F(AddressKinds, EachKindOfTargetAsksTheListsThatCanAnswer)
{
    struct Case {
        QString target;
        QString hostIp; // answer to the host lookup, for host names
        QStringList names;
        QStringList notApplicable;
    };
    const QString nibbles = "b.a.9.8.7.6.5.0.4.0.0.0.3.0.0.0.2.0.0.0.1.0.0.0.8.b.d.0.1.0.0.2";
    const QStringList ip9{"9.2.0.192.v4.test.", "9.2.0.192.v6.test."}; // a host name's address, 192.0.2.9
    const Case cases[] = {
        {"192.0.2.1", "", {"1.2.0.192.v4.test.", "1.2.0.192.v6.test."}, {"dom.test"}},
        {"2001:db8:1:2:3:4:567:89ab", "", {nibbles + ".v6.test."}, {"v4.test", "dom.test"}},
        {"[2001:DB8:1:2:3:4:567:89AB]", "", {nibbles + ".v6.test."}, {"v4.test", "dom.test"}},
        // An IPv4-mapped address is asked as the IPv4 address it is.
        {"::ffff:192.0.2.1", "", {"1.2.0.192.v4.test.", "1.2.0.192.v6.test."}, {"dom.test"}},
        {"mail.example.co.uk", "192.0.2.9", ip9 + QStringList{"example.co.uk.dom.test."}, {}},
        {"www.Example.com.", "192.0.2.9", ip9 + QStringList{"example.com.dom.test."}, {}},
        {QString::fromUtf8("mail.b\u00fccher.example"),
         "192.0.2.9",
         ip9 + QStringList{"xn--bcher-kva.example.dom.test."},
         {}},
        // A host that is a public suffix itself has no registered domain.
        {"co.uk", "192.0.2.9", ip9, {"dom.test"}},
        // An e-mail address: its mail server's addresses and its domain.
        {"user@Mail.Example.org.", "192.0.2.9", ip9 + QStringList{"mail.example.org.dom.test."}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        auto address = start(c.target, c.hostIp);
        QStringList names = host.names();
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(address->ZonesWith(ZoneNote::Kind::NotApplicable), c.notApplicable);
        EXPECT_EQ(address->ZonesNotApplicable(), c.notApplicable.size());
        answerAll(*address);
        EXPECT_TRUE(address->Complete());
        // Lists that do not apply never make a verdict less than clean, and
        // never make it clean alone.
        EXPECT_EQ(address->Verdict(), Verdict::Clean);
        EXPECT_EQ(address->ZonesChecked(), c.names.size());
        // A failed applicable list is never outweighed by the others.
        auto failed = start(c.target, c.hostIp);
        answerAll(*failed, QString(), DnsFailure::Timeout);
        EXPECT_EQ(failed->Verdict(), Verdict::Incomplete);
        EXPECT_EQ(failed->ZonesWith(ZoneNote::Kind::Failed).size(), c.names.size());
    }
}

TEST_F(AddressKinds, BadTargetsEndWithAReasonAndSendNothing)
{
    struct Case {
        QString target;
        QString because;
    };
    const Case cases[] = {
        {"fe80::1%eth0", "zone index"},
        {"2001:db8::1::2", "neither an IPv6 address nor a host name"},
        {"mail.example:25", "neither an IPv6 address nor a host name"},
        {QString(64, QLatin1Char('a')) + ".example", "63"},
        {"user@", "e-mail address: empty"},
        {"user@" + QString(64, QLatin1Char('b')) + ".example", "e-mail address: label longer than 63"},
        {"bad..name.example", "empty label"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        auto address = start(c.target);
        EXPECT_TRUE(host.sent.empty());
        EXPECT_TRUE(address->Complete());
        EXPECT_EQ(address->Verdict(), Verdict::Unsupported);
        EXPECT_TRUE(address->InvalidReason().contains(c.because)) << address->InvalidReason().toStdString();
        // A second scan reads the target afresh and ends the same way.
        address->SetComplete(false);
        EXPECT_TRUE(address->InvalidReason().isEmpty());
        address->Query();
        EXPECT_EQ(address->Verdict(), Verdict::Unsupported);
    }
}

namespace {

// A list run by an outside operator beside the user's own, both answering
// IPv4 and IPv6.
class AddressPublicLists : public AddressTest {
protected:
    AddressPublicLists()
    {
        auto outside = makeServer("pub.test", true, {{"127.0.0.2", "Listed"}});
        outside->setPublic(true);
        outside->setAnswersIPv6(true);
        settings.BlacklistServers().Add(outside);
        auto own = makeServer("own.test", true, {{"127.0.0.2", "Listed"}});
        own->setAnswersIPv6(true);
        settings.BlacklistServers().Add(own);
    }

    // The zones the scan of target asked (the host lookup answered with ips).
    QStringList zonesAsked(Address& address, const QStringList& ips = {})
    {
        host.sent.clear();
        address.SetComplete(false);
        address.Query();
        if (!ips.isEmpty()) {
            std::vector<TargetResolution::Ip> found;
            for (const QString& ip : ips) found.push_back({ip, address.Target()});
            address.ApplyResolution({TargetResolution::Outcome::Resolved, {}, {}, found});
        }
        QStringList zones;
        for (const auto& [tag, name] : host.sent) {
            const QueryTag parsed = QueryTag::Parse(tag);
            if (parsed.Is(QueryTag::kBlacklistCheck)) zones << name.section('.', -3, -2);
        }
        zones.removeDuplicates();
        return zones;
    }
};

} // namespace

// Special-purpose addresses go to the user's own lists only; everything
// else, and the lists' test entries, to both.
TEST_F(AddressPublicLists, SpecialPurposeAddressesAreNeverSentToPublicLists)
{
    // Every block's edges, and the addresses just outside them; IPv4-mapped
    // IPv6 addresses are judged as IPv4.
    const QStringList ownOnly{
        "0.0.0.0", "0.255.255.255", "10.0.0.0", "10.255.255.255", "100.64.0.0", "100.127.255.255", "127.0.0.3",
        "127.255.255.255", "169.254.1.1", "172.16.0.1", "172.31.255.255", "192.0.0.9", "192.0.2.1", "192.88.99.1",
        "192.168.1.1", "198.18.0.0", "198.19.255.255", "198.51.100.7", "203.0.113.200", "224.0.0.1", "239.255.255.255",
        "240.0.0.1", "255.255.255.255", "010.001.002.003",
        // IPv6
        "::ffff:10.1.2.3", "::", "::1", "64:ff9b:1::1", "100::1", "2001::1", "2001:1ff::1", "2001:db8::1",
        "[2001:DB8:FFFF::1]", "fc00::1", "fdff::1", "fe80::1", "febf::1", "ff02::1"};
    const QStringList both{"1.0.0.0", "9.255.255.255", "11.0.0.0", "100.63.255.255", "100.128.0.0", "126.255.255.255",
                           "128.0.0.0", "169.255.0.1", "172.15.255.255", "172.32.0.0", "192.0.1.1", "192.0.3.0",
                           "192.88.98.255", "192.167.255.255", "192.169.0.0", "198.17.255.255", "198.20.0.0",
                           "198.51.101.7", "203.0.112.255", "223.255.255.255", "8.8.4.4", "::ffff:11.1.2.3", "::2",
                           "64:ff9b::1", "100:0:0:1::1", "2001:200::1", "2001:db9::1", "fe00::1", "fec0::1",
                           "2a00:1450::1",
                           // The lists' test entries always go, in either form.
                           "127.0.0.2", "127.0.0.1", "::FFFF:7F00:2", "::ffff:127.0.0.1"};
    for (const QString& target : ownOnly + both) {
        SCOPED_TRACE(target.toStdString());
        const bool skipped = ownOnly.contains(target);
        Address address(target, settings, &host);
        EXPECT_EQ(zonesAsked(address), skipped ? QStringList{"own.test"} : (QStringList{"pub.test", "own.test"}));
        EXPECT_EQ(address.ZonesWith(ZoneNote::Kind::NotApplicable), skipped ? QStringList{"pub.test"} : QStringList{});
        for (const ZoneNote& note : address.ZoneNotes()) {
            if (note.zone == "pub.test") {
                EXPECT_EQ(note.detail, "private/reserved address");
            }
        }
    }
}

// A host is judged per address: a private address of it is kept from the
// public list while its public one is asked; a target with nothing but
// private addresses is not applicable to the public list, never clean there.
TEST_F(AddressPublicLists, HostNamesAreJudgedPerAddress)
{
    Address mixed("mail.example", settings, &host);
    EXPECT_EQ(zonesAsked(mixed, {"10.1.2.3", "11.1.2.3"}), (QStringList{"pub.test", "own.test"}));
    QStringList names;
    for (const auto& [tag, name] : host.sent) names << name;
    EXPECT_EQ(names.filter("pub.test"), QStringList{"3.2.1.11.pub.test."});
    EXPECT_EQ(names.filter("own.test"), (QStringList{"3.2.1.10.own.test.", "3.2.1.11.own.test."}));

    settings.BlacklistServers().Item("own.test")->setEnabled(false);
    Address inside("intranet.example", settings, &host);
    EXPECT_EQ(zonesAsked(inside, {"192.168.4.5", "fd00::5"}), QStringList{});
    EXPECT_TRUE(inside.Complete());
    EXPECT_EQ(inside.Verdict(), Verdict::NotApplicable);
    EXPECT_EQ(inside.ZoneNotes().size(), 1u);
    EXPECT_EQ(inside.ZoneNotes().front().detail, "private/reserved address");
}

// A keyed list is asked under its zone with the user's key in place of
// {key}, the key taken from this run, else the environment, else the user's
// settings. Without a usable key it is not asked and the target is not
// clean: the note says which key is missing.
TEST_F(AddressPublicLists, KeyedListsAreAskedWithTheUsersKeyOrSkippedWithANote)
{
    EnvGuard env;
    env.unset("QUARLO_KEY_OPERATOR");
    settings.BlacklistServers().Item("pub.test")->setEnabled(false);
    auto keyed = makeServer("{key}.zen.operator.example", true, {{"127.0.0.2", "Listed"}});
    settings.BlacklistServers().Add(keyed);
    ASSERT_EQ(keyed->KeyName(), "operator");

    // Scans 11.2.3.4, every list answering "not listed"; host.names() is
    // what it asked.
    const auto scan = [&] {
        auto address = std::make_unique<Address>("11.2.3.4", settings, &host);
        zonesAsked(*address);
        answerAll(*address);
        return address;
    };

    // No key anywhere: the own list alone is asked, and the target is
    // incomplete with the reason.
    const auto none = scan();
    EXPECT_EQ(host.names(), QStringList{"4.3.2.11.own.test."});
    EXPECT_EQ(none->Verdict(), Verdict::Incomplete);
    ASSERT_EQ(none->ZonesWith(ZoneNote::Kind::Skipped), QStringList{"{key}.zen.operator.example"});
    EXPECT_TRUE(none->ZoneNotes().front().detail.contains("no access key OPERATOR"))
        << none->ZoneNotes().front().detail.toStdString();
    EXPECT_TRUE(none->ZoneNotes().front().detail.contains("QUARLO_KEY_OPERATOR"));

    // The user's stored key, then the environment's, then this run's.
    ASSERT_TRUE(settings.SaveAccessKey("Operator", "stored1"));
    scan();
    EXPECT_EQ(host.names(), (QStringList{"4.3.2.11.own.test.", "4.3.2.11.stored1.zen.operator.example."}));
    env.set("QUARLO_KEY_OPERATOR", " fromenv ");
    settings.Refresh();
    scan();
    EXPECT_EQ(host.names().last(), "4.3.2.11.fromenv.zen.operator.example.");
    settings.setRunAccessKey("operator", "Given-2");
    EXPECT_EQ(scan()->Verdict(), Verdict::Clean);
    EXPECT_EQ(host.names().last(), "4.3.2.11.Given-2.zen.operator.example.");

    // A key that cannot stand in a DNS name is never sent.
    settings.setRunAccessKey("operator", "a.b");
    const auto bad = scan();
    EXPECT_EQ(host.names(), QStringList{"4.3.2.11.own.test."});
    EXPECT_TRUE(bad->ZoneNotes().front().detail.contains("not usable"))
        << bad->ZoneNotes().front().detail.toStdString();

    // The key's name from the attribute wins over the zone's operator.
    keyed->setKeyName("other");
    settings.setRunAccessKey("OTHER", "k3");
    scan();
    EXPECT_EQ(host.names().last(), "4.3.2.11.k3.zen.operator.example.");
}
