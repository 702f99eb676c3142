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

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

// Three kinds of list: IPv4 only, IPv4 and IPv6, and a domain list.
class AddressKinds : public ::testing::Test {
protected:
    AddressKinds() : registry(backend), settings(registry, nullptr)
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
        auto address = std::make_unique<Address>(target, settings, &host);
        address->SetComplete(false);
        address->Query();
        if (!hostIp.isEmpty()) {
            EXPECT_EQ(host.sent.size(), 1u);
            address->ProcessDNSReply({target, "LookupIP"}, "q", hostIp);
        }
        return address;
    }
    void answerAll(Address& address, const QString& answer = QString(), int failure = 4)
    {
        for (const auto& [tag, name] : std::vector(host.sent))
            if (QueryTag::Parse(tag).Is(QueryTag::kBlacklistCheck))
                address.ProcessDNSReply(QueryTag::Parse(tag).Parts(), name, answer, failure);
    }

    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    RecordingScanHost host;
};

} // namespace

TEST_F(AddressKinds, EachKindOfTargetAsksTheListsThatCanAnswer)
{
    struct Case {
        QString target;
        QString hostIp; // answer to the host lookup, for host names
        QStringList names;
        QStringList notApplicable;
    };
    const QString nibbles = "b.a.9.8.7.6.5.0.4.0.0.0.3.0.0.0.2.0.0.0.1.0.0.0.8.b.d.0.1.0.0.2";
    const Case cases[] = {
        {"192.0.2.1", "", {"1.2.0.192.v4.test.", "1.2.0.192.v6.test."}, {"dom.test"}},
        {"2001:db8:1:2:3:4:567:89ab", "", {nibbles + ".v6.test."}, {"v4.test", "dom.test"}},
        {"[2001:DB8:1:2:3:4:567:89AB]", "", {nibbles + ".v6.test."}, {"v4.test", "dom.test"}},
        // An IPv4-mapped address is asked as the IPv4 address it is.
        {"::ffff:192.0.2.1", "", {"1.2.0.192.v4.test.", "1.2.0.192.v6.test."}, {"dom.test"}},
        {"mail.example.co.uk", "192.0.2.9",
         {"9.2.0.192.v4.test.", "9.2.0.192.v6.test.", "example.co.uk.dom.test."}, {}},
        {"www.Example.com.", "192.0.2.9",
         {"9.2.0.192.v4.test.", "9.2.0.192.v6.test.", "example.com.dom.test."}, {}},
        {QString::fromUtf8("mail.b\u00fccher.example"), "192.0.2.9",
         {"9.2.0.192.v4.test.", "9.2.0.192.v6.test.", "xn--bcher-kva.example.dom.test."}, {}},
        // A host that is a public suffix itself has no registered domain.
        {"co.uk", "192.0.2.9", {"9.2.0.192.v4.test.", "9.2.0.192.v6.test."}, {"dom.test"}},
        {"user@Mail.Example.org.", "", {"mail.example.org.dom.test."}, {"v4.test", "v6.test"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString());
        auto address = start(c.target, c.hostIp);
        QStringList names = host.names();
        if (!c.hostIp.isEmpty()) names.removeFirst(); // the host lookup
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(address->ZonesWith(ZoneNote::Kind::NotApplicable), c.notApplicable);
        EXPECT_EQ(address->ZonesNotApplicable(), c.notApplicable.size());
        answerAll(*address);
        EXPECT_TRUE(address->Complete());
        // Lists that do not apply never make a verdict less than clean, and
        // never make it clean alone.
        EXPECT_EQ(address->Verdict(), Verdict::Clean);
        EXPECT_EQ(address->ZonesChecked(), c.names.size());
    }
}

// A failed list among the applicable ones makes an IPv6 target incomplete,
// and the lists that do not apply are not counted as failures.
TEST_F(AddressKinds, AFailedApplicableListIsNeverOutweighedByTheOthers)
{
    auto failed = start("2001:db8::1");
    answerAll(*failed, QString(), DnsFailure::Timeout);
    EXPECT_EQ(failed->Verdict(), Verdict::Incomplete);
    EXPECT_EQ(failed->ZonesWith(ZoneNote::Kind::Failed), QStringList{"v6.test"});
}

TEST_F(AddressKinds, BadTargetsEndWithAReasonAndSendNothing)
{
    struct Case {
        QString target;
        QString because;
    };
    const Case cases[] = {
        {"fe80::1%eth0", "zone index"},
        {"[fe80::1%25]", "zone index"},
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
