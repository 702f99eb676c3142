#include "scan/DnsServers.h"
#include "scan/AresDirectDns.h"
#include "scan/AresDriver.h"
#include "support/EnvGuard.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quarlo;

TEST(DnsServers, EnvironmentBeatsOptionBeatsSystem)
{
    EnvGuard env;
    env.set("QUARLO_DNS_SERVERS", "127.0.0.1:5353");
    EXPECT_EQ(ConfiguredDnsServers("192.0.2.1"), QStringList{"127.0.0.1:5353"});

    env.set("QUARLO_DNS_SERVERS", "");
    EXPECT_EQ(ConfiguredDnsServers("192.0.2.1,192.0.2.2"), (QStringList{"192.0.2.1", "192.0.2.2"}));

    env.set("QUARLO_DNS_SERVERS", " , ,");
    EXPECT_EQ(ConfiguredDnsServers("192.0.2.1"), QStringList{"192.0.2.1"}) << "a variable of blanks counts as unset";

    env.unset("QUARLO_DNS_SERVERS");
    EXPECT_EQ(ConfiguredDnsServers(" 192.0.2.1 ,,\t[::1]:53 , "), (QStringList{"192.0.2.1", "[::1]:53"}));
    EXPECT_TRUE(ConfiguredDnsServers("").isEmpty());
    EXPECT_TRUE(ConfiguredDnsServers(" ,  ").isEmpty());
}

TEST(DnsServers, EntriesInAresForm)
{
    // c-ares rejects brackets without a port.
    for (const auto& [given, aresForm] : {std::pair{" 192.0.2.1:5353 ", "192.0.2.1:5353"},
                                          {"[2001:db8::1]:5353", "[2001:db8::1]:5353"},
                                          {"[::1]", "::1"},
                                          {"192.0.2.1", "192.0.2.1"},
                                          {"::ffff:192.0.2.1", "::ffff:192.0.2.1"}})
        EXPECT_EQ(DnsServerToAres(QString::fromLatin1(given)), QString::fromLatin1(aresForm)) << given;

    for (const char* bad :
         {"", "dns.example", "192.0.2.1:0", "192.0.2.1:65536", "192.0.2.1:99999", "192.0.2.1:", "192.0.2.1:53x",
          "192.0.2", "256.0.0.1", "[::1", "[::1]53", "[192.0.2.1]:53", "fe80::1%eth0", "::1::2", "192.0.2.1:+53"})
        EXPECT_EQ(DnsServerToAres(QString::fromLatin1(bad)), QString()) << bad;
}

// What c-ares makes of our entries: the same servers back as users read them
// (port 53 left out, IPv6 in brackets before a port), invalid ones dropped,
// and never the system's resolvers for a list that names others.
TEST(DnsServers, ChannelTakesTheEntriesAndBringsTuningIntoRange)
{
    AresDriver driver({"127.0.0.1:5353", "bogus", "[::1]:5454", "192.0.2.7"});
    ASSERT_EQ(driver.status(), ARES_SUCCESS);
    EXPECT_EQ(driver.servers(), (QStringList{"127.0.0.1:5353", "[::1]:5454", "192.0.2.7"}));

    // The direct DNS component names the same servers.
    EXPECT_EQ(AresDirectDns({" 127.0.0.1:5353", "[::1]:5454", "not-an-address"}).DNSServers(),
              "127.0.0.1:5353,[::1]:5454");
    // The system's resolvers: only read, never asked.
    EXPECT_FALSE(AresDirectDns({}).DNSServers().isEmpty());

    AresDriver unusable({"bogus", "dns.example"});
    EXPECT_NE(unusable.status(), ARES_SUCCESS);
    EXPECT_TRUE(unusable.servers().isEmpty());

    // Tuning from the command line arrives unchecked: nonsense is brought
    // into range rather than leaving queries that never go out or never end.
    EXPECT_EQ(driver.retryTimeoutMs(), AresDriver::InitialTimeoutMs) << "before any reply";
    const struct {
        DnsTuning given;
        int maxTimeoutMs, tries, firstWaitMs;
    } cases[] = {
        {{800, 3}, 800, 3, 800}, // a cap below the initial guess wins
        {{0, 0}, 10, 1, 10},
        {{-5, -1}, 10, 1, 10},
        {{1'000'000'000, 1000}, 600000, 20, AresDriver::InitialTimeoutMs},
    };
    for (const auto& c : cases) {
        driver.setTuning(c.given);
        EXPECT_EQ(driver.tuning().maxTimeoutMs, c.maxTimeoutMs) << c.given.maxTimeoutMs;
        EXPECT_EQ(driver.tuning().tries, c.tries) << c.given.tries;
        EXPECT_EQ(driver.retryTimeoutMs(), c.firstWaitMs) << c.given.maxTimeoutMs;
    }
}
