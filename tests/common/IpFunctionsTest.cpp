#include "common/IpFunctions.h"
#include "common/IpRange.h"
#include "common/NameFunctions.h"
#include "support/QtPrinters.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace quarlo;

TEST(IsValidIP, LenientOctetsAndNothingElse)
{
    // Blanks around octets, a plus sign and leading zeros (decimal, not octal) pass.
    for (const char* good : {"1.2.3.4", "01.002.003.004", "1.2.3.4 ", " 1 . 2 .3. 4", "+1.2.3.4", "0.0.0.0",
                             "255.255.255.255", "010.0.0.1"})
        EXPECT_TRUE(IsValidIP(QString::fromUtf8(good))) << good;
    for (const char* bad :
         {"1.2.3", "1.2.3.4.5", "1.2.3.256", "1.2.3.-1", "1..3.4", "a.b.c.d", "", "1.2.3.4x", "1.2.3.+", "1.2.3.1e2",
          "1.2.3.&H10", "1.2.3.99999999999999", "1.2.3.4 5", "::1", "1.2.3.- 1", "....", "1,2.3.4"})
        EXPECT_FALSE(IsValidIP(QString::fromUtf8(bad))) << bad;
}

// How a listing's answer becomes its codes: reversed queries, hex and
// numeric forms, bit masks.
TEST(IpConversions, ReverseHexLongAndMask)
{
    EXPECT_EQ(ReverseIP("1.2.3.4"), "4.3.2.1");
    EXPECT_EQ(IPToHex("192.168.1.10"), "C0A8010A");
    EXPECT_EQ(IPToHex(" 10 . 0 . 0 . 1 "), "0A000001");
    EXPECT_EQ(IPToLong("192.168.1.10"), -1062731510);
    EXPECT_EQ(IPToLong("255.255.255.255"), -1);
    EXPECT_EQ(IPToLong("127.0.0.2"), 2130706434);
    EXPECT_EQ(HexToIP("7F000002"), "127.0.0.2");
    EXPECT_EQ(HexToIP("2"), "0.0.0.2");
    EXPECT_EQ(HexToIP("ffffffff"), "255.255.255.255");
    EXPECT_EQ(NetworkAddress("127.0.0.6", "127.0.0.2"), "127.0.0.2");
    EXPECT_EQ(NetworkAddress("127.0.0.4", "127.0.0.2"), "127.0.0.0");
    EXPECT_EQ(NetworkAddress("255.255.255.255", "192.168.1.10"), "192.168.1.10");
    EXPECT_EQ(NetworkAddress("garbage", "127.0.0.2"), "0.0.0.0");
}

TEST(NameFunctionsTest, HostNamesFromDnsAreCheckedBeforeUse)
{
    for (const char* good : {"mx1.example.com", "mx1.example.com.", "a", "xn--bcher-kva.example", "a-b.c0"})
        EXPECT_TRUE(IsValidHostName(QString::fromUtf8(good))) << good;
    const QString longLabel = QString(64, QLatin1Char('a')) + ".example";
    const QString longName = QString(127, QLatin1Char('a')).replace(QRegularExpression("a"), "a.") + "a";
    for (const QString& bad : {QString(), QStringLiteral("."), QStringLiteral("127.0.0.7:BlacklistCheck:nxd.test"),
                               QStringLiteral("a..b"), QStringLiteral("-a.example"), QStringLiteral("a-.example"),
                               QStringLiteral("mx 1.example"), QStringLiteral("mx\x1b.example"),
                               QStringLiteral("m\u00fcx.example"), QStringLiteral("mx_1.example"), longLabel, longName})
        EXPECT_FALSE(IsValidHostName(bad)) << bad.toStdString();
}

TEST(IPv6Names, NibbleNamesAndCanonicalForms)
{
    struct Case {
        const char* text;
        const char* canonical; // "" when not an IPv6 literal
        const char* nibbles;
    };
    const Case cases[] = {
        {"2001:db8:1:2:3:4:567:89ab", "2001:db8:1:2:3:4:567:89ab",
         "b.a.9.8.7.6.5.0.4.0.0.0.3.0.0.0.2.0.0.0.1.0.0.0.8.b.d.0.1.0.0.2"},
        {"[2001:DB8::1]", "2001:db8::1", "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2"},
        {" ::1 ", "::1", "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:fff0", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:fff0",
         "0.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f.f"},
        {"192.0.2.1", "", ""},
        {"2001:db8::1::2", "", ""},
        {"2001:db8::g", "", ""},
        {"fe80::1%eth0", "", ""},
        {"2001:db8::\u00e91", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(CanonicalIPv6(text), QString::fromUtf8(c.canonical)) << c.text;
        EXPECT_EQ(ReverseIPv6(text), QString::fromUtf8(c.nibbles)) << c.text;
        EXPECT_EQ(IsIPv6Literal(text), *c.canonical != 0) << c.text;
    }
}

TEST(IPv6Names, MappedAddressesAndZoneIndexes)
{
    EXPECT_EQ(MappedIPv4("::ffff:192.0.2.1"), "192.0.2.1");
    EXPECT_EQ(MappedIPv4("[::FFFF:c000:0201]"), "192.0.2.1");
    // Neither the old IPv4-compatible form nor NAT64 addresses are mapped ones.
    for (const char* other : {"::192.0.2.1", "64:ff9b::192.0.2.1", "::fffe:192.0.2.1", "192.0.2.1", "2001:db8::1"})
        EXPECT_EQ(MappedIPv4(other), QString()) << other;

    EXPECT_TRUE(HasIPv6ZoneIndex("fe80::1%eth0"));
    EXPECT_TRUE(HasIPv6ZoneIndex("[fe80::1%25]"));
    for (const char* other : {"fe80::1", "%eth0", "host%eth0", "1.2.3.4%1", "fe80::zz%eth0"})
        EXPECT_FALSE(HasIPv6ZoneIndex(other)) << other;
}

TEST(AsciiHostNameTest, NormalisesOrSaysWhy)
{
    struct Case {
        QString input;
        QString ascii;   // empty: rejected
        QString because; // part of the reason when rejected
    };
    const QString label63(63, QLatin1Char('a'));
    const QString label64(64, QLatin1Char('a'));
    const Case cases[] = {
        {"Mail.Example.COM", "mail.example.com", ""},
        {" example.com. ", "example.com", ""},
        {QString::fromUtf8("b\u00fccher.example"), "xn--bcher-kva.example", ""},
        {QString::fromUtf8("M\u00dcNCHEN.de"), "xn--mnchen-3ya.de", ""},
        {label63 + ".example", label63 + ".example", ""},
        {label64 + ".example", "", "63"},
        {QString(300, QLatin1Char('a')), "", "253"},
        {"example..com", "", "empty label"},
        {"example.com..", "", "empty label"},
        {".", "", "empty"},
        {"", "", "empty"},
        {"-bad.example", "", "not a valid host name"},
        {"under_score.example", "under_score.example", ""}, // looked up as any name is
        {"_dmarc.Example.com", "_dmarc.example.com", ""},
        {"mail.example:25", "", "not a valid host name"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_EQ(AsciiHostName(c.input, &why), c.ascii) << c.input.toStdString();
        if (c.ascii.isEmpty()) {
            EXPECT_TRUE(why.contains(c.because)) << c.input.toStdString() << ": " << why.toStdString();
        }
    }
}

TEST(IpRange, WhatLooksLikeARange)
{
    for (const char* range : {"203.0.113.0/24", " 203.0.113.10 - 203.0.113.50 ", "::/0", "2001:db8::1-2001:db8::9",
                              "host.example/24", "10.0.0.0/"})
        EXPECT_TRUE(IpRange::LooksLikeRange(range)) << range;
    for (const char* other : {"mail-1.example.com", "203.0.113.1", "a/b@example.com", "user-1@example.com",
                              "1.2.3.4-host.example", "-1.2.3.4", ""})
        EXPECT_FALSE(IpRange::LooksLikeRange(other)) << other;
}

TEST(IpRange, AcceptedRangesAndTheirBounds)
{
    struct Case {
        const char* text;
        const char* canonical;
        const char* first;
        const char* last;
        qint64 count;
    };
    const Case cases[] = {
        {"203.0.113.0/24", "203.0.113.0/24", "203.0.113.0", "203.0.113.255", 256},
        // The base is masked to the network.
        {"203.0.113.77/28", "203.0.113.64/28", "203.0.113.64", "203.0.113.79", 16},
        {" 10.1.2.3 /16", "10.1.0.0/16", "10.1.0.0", "10.1.255.255", 65536},
        {"192.0.2.9/32", "192.0.2.9/32", "192.0.2.9", "192.0.2.9", 1},
        {"192.0.2.9/31", "192.0.2.8/31", "192.0.2.8", "192.0.2.9", 2},
        {"203.0.113.10-203.0.113.50", "203.0.113.10-203.0.113.50", "203.0.113.10", "203.0.113.50", 41},
        {"010.0.0.1 - 10.0.0.1", "10.0.0.1-10.0.0.1", "10.0.0.1", "10.0.0.1", 1},
        // Ranges across octet boundaries and at both ends of the space.
        {"10.0.255.250-10.1.0.5", "10.0.255.250-10.1.0.5", "10.0.255.250", "10.1.0.5", 12},
        {"255.255.0.0/16", "255.255.0.0/16", "255.255.0.0", "255.255.255.255", 65536},
        {"0.0.0.0-0.0.255.255", "0.0.0.0-0.0.255.255", "0.0.0.0", "0.0.255.255", 65536},
        {"255.255.255.250-255.255.255.255", "255.255.255.250-255.255.255.255", "255.255.255.250", "255.255.255.255", 6},
    };
    for (const Case& c : cases) {
        QString why;
        const std::optional<IpRange> range = IpRange::Parse(c.text, &why);
        ASSERT_TRUE(range) << c.text << ": " << why.toStdString();
        EXPECT_EQ(range->Text(), c.canonical) << c.text;
        EXPECT_EQ(range->Count(), c.count) << c.text;
        EXPECT_EQ(range->AddressAt(0), c.first) << c.text;
        EXPECT_EQ(range->AddressAt(range->Count() - 1), c.last) << c.text;
        EXPECT_EQ(IpRange::ToText(range->Last()), c.last) << c.text;
    }
}

TEST(IpRange, RefusalsSayWhy)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"prefix length", {"10.0.0.0/33", "10.0.0.0/", "10.0.0.0/-1", "10.0.0.0/24x", "10.0.0.0/024"}},
        {"4,294,967,296 addresses", {"10.0.0.0/0", "0.0.0.0-255.255.255.255"}},
        {"131,072 addresses", {"10.0.0.0/15"}},
        {"larger than a /16", {"10.0.0.0/8"}},
        {"comes after", {"1.2.3.4-1.2.3.1"}},
        {"65,537 addresses", {"10.0.0.0-10.1.0.0"}},
        {"IPv6 ranges are too large to scan", {"::/0", "2001:db8::/32", "2001:db8::1-2001:db8::9", "[2001:db8::]/120"}},
        {"not an IPv4 address", {"host.example/24", "1.2.3/24", "256.0.0.0/24"}},
        {"not a network range", {"mail.example"}},
    };
    for (const auto& [mustSay, texts] : cases) {
        for (const QString& text : texts) {
            QString why;
            EXPECT_FALSE(IpRange::Parse(text, &why)) << text.toStdString();
            EXPECT_TRUE(why.contains(mustSay)) << text.toStdString() << ": " << why.toStdString();
        }
    }
    EXPECT_FALSE(IpRange::Parse("10.0.0.0/33")); // no place for the reason: still refused
}
