#include "common/Registry.h"
#include "model/Address.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/ScanHost.h"
#include "model/Settings.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RecordingScanHost.h"

#include <QHash>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class AddressVerdict : public ::testing::Test {
protected:
    AddressVerdict() : registry(backend), settings(registry, nullptr)
    {
        auto& servers = settings.BlacklistServers();
        auto exact = makeServer("exact.test", true,
                                {{"127.0.0.2", "Spam source"}, {"127.255.255.254", "Query refused: public resolver"}});
        exact->ResultCodes().Item("127.255.255.254")->setListing(false);
        servers.Add(exact);
        // Bit-mask coded, with a refusal answer of its own as a code.
        auto mask = makeServer("mask.test", true,
                               {{"127.0.0.8", "Phishing"}, {"127.0.0.16", "Malware"}, {"127.0.0.1", "Access blocked"}},
                               true);
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

    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    RecordingScanHost host;
};

} // namespace

TEST_F(AddressVerdict, VerdictFollowsEveryQueryOutcome)
{
    using A = std::pair<QString, int>;
    const A nx{"", DnsFailure::NotFound};
    struct Case {
        const char* name;
        QHash<QString, A> answers;
        Verdict verdict;
        int listing;
        int notes;
    };
    const Case cases[] = {
        {"both not found", {{"exact.test", nx}, {"mask.test", {"", DnsFailure::NoData}}}, Verdict::Clean, 0, 0},
        {"one listing", {{"exact.test", {"127.0.0.2", 0}}, {"mask.test", nx}}, Verdict::Listed, 1, 0},
        {"refusal only", {{"exact.test", {"127.255.255.254", 0}}, {"mask.test", nx}}, Verdict::Refused, 0, 1},
        {"refusal and time-out", {{"exact.test", {"127.255.255.254", 0}}, {"mask.test", {"", DnsFailure::Timeout}}},
         Verdict::Incomplete, 0, 2},
        {"SERVFAIL", {{"exact.test", nx}, {"mask.test", {"", DnsFailure::ServerFailure}}}, Verdict::Incomplete, 0, 1},
        {"outside 127/8", {{"exact.test", {"127.0.0.2 10.0.0.1", 0}}, {"mask.test", nx}}, Verdict::Incomplete, 0, 1},
        {"listing beats failure", {{"exact.test", {"127.0.0.2", 0}}, {"mask.test", {"", DnsFailure::Timeout}}},
         Verdict::Listed, 1, 1},
        {"bit-mask refusal", {{"exact.test", nx}, {"mask.test", {"127.0.0.1", 0}}}, Verdict::Refused, 0, 1},
        // Bits that include the refusal code's bit are still a listing.
        {"bit-mask listing", {{"exact.test", nx}, {"mask.test", {"127.0.0.25", 0}}}, Verdict::Listed, 1, 0},
        {"one answer missing", {{"exact.test", nx}}, Verdict::Scanning, 0, 0},
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
    }
}

TEST_F(AddressVerdict, StopLeavesUnfinishedAddressesNotChecked)
{
    Address finished("192.0.2.1", settings, &host);
    scan(finished, {{"exact.test", {"", DnsFailure::NotFound}}, {"mask.test", {"", DnsFailure::NotFound}}});
    Address halfway("192.0.2.2", settings, &host);
    scan(halfway, {{"exact.test", {"", DnsFailure::NotFound}}});
    Address listedHalfway("192.0.2.3", settings, &host);
    scan(listedHalfway, {{"exact.test", {"127.0.0.2", 0}}});
    Address untouched("192.0.2.4", settings, &host);
    untouched.SetComplete(false);

    for (Address* a : {&finished, &halfway, &listedHalfway, &untouched}) a->MarkStopped();
    EXPECT_EQ(finished.Verdict(), Verdict::Clean);
    EXPECT_EQ(halfway.Verdict(), Verdict::NotChecked);
    EXPECT_EQ(listedHalfway.Verdict(), Verdict::Listed); // what was found stays found
    EXPECT_EQ(untouched.Verdict(), Verdict::NotChecked);
    EXPECT_EQ(halfway.PendingQueries(), 0);
}

// A failed host lookup ends the target; a late answer to an earlier try
// changes nothing.
TEST_F(AddressVerdict, AHostLookupThatFailsEndsTheTarget)
{
    Address lost("mail.example", settings, &host);
    lost.SetComplete(false);
    lost.Query();
    ASSERT_EQ(host.sent.size(), 1u);
    lost.ProcessDNSReply(QueryTag::Parse(host.sent[0].first).Parts(), "q", "", DnsFailure::Timeout);
    EXPECT_EQ(lost.Verdict(), Verdict::Unresolvable);
    EXPECT_EQ(lost.HostLookupProblem(), "timed out");
    lost.ProcessDNSReply({"mail.example", "LookupIP"}, "q", "192.0.2.9");
    EXPECT_EQ(lost.IP(), Address::kUnresolvable);
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
    record->AddTXTInfo("127.0.0.2", "short text");
    EXPECT_EQ(record->Responses().Item("127.0.0.2")->TXTRecord(), "short text");
}
