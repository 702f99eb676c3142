#include "common/IpRange.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quarlo;

TEST(IpRange, WhatLooksLikeARange)
{
    struct Case {
        const char* text;
        bool range;
    };
    const Case cases[] = {
        {"203.0.113.0/24", true},
        {" 203.0.113.10 - 203.0.113.50 ", true},
        {"::/0", true},
        {"2001:db8::1-2001:db8::9", true},
        {"host.example/24", true},
        {"10.0.0.0/", true},
        {"mail-1.example.com", false},
        {"203.0.113.1", false},
        {"a/b@example.com", false},
        {"user-1@example.com", false},
        {"1.2.3.4-host.example", false},
        {"-1.2.3.4", false},
        {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(IpRange::LooksLikeRange(c.text), c.range) << c.text;
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
    struct Case {
        const char* text;
        const char* mustSay;
    };
    const Case cases[] = {
        {"10.0.0.0/33", "prefix length"},
        {"10.0.0.0/", "prefix length"},
        {"10.0.0.0/-1", "prefix length"},
        {"10.0.0.0/24x", "prefix length"},
        {"10.0.0.0/024", "prefix length"},
        {"10.0.0.0/0", "4,294,967,296 addresses"},
        {"10.0.0.0/15", "131,072 addresses"},
        {"10.0.0.0/8", "larger than a /16"},
        {"1.2.3.4-1.2.3.1", "comes after"},
        {"10.0.0.0-10.1.0.0", "65,537 addresses"},
        {"0.0.0.0-255.255.255.255", "4,294,967,296 addresses"},
        {"::/0", "IPv6 ranges are too large to scan"},
        {"2001:db8::/32", "IPv6 ranges are too large to scan"},
        {"2001:db8::1-2001:db8::9", "IPv6 ranges are too large to scan"},
        {"[2001:db8::]/120", "IPv6 ranges are too large to scan"},
        {"host.example/24", "not an IPv4 address"},
        {"1.2.3/24", "not an IPv4 address"},
        {"256.0.0.0/24", "not an IPv4 address"},
        {"mail.example", "not a network range"},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_FALSE(IpRange::Parse(c.text, &why)) << c.text;
        EXPECT_TRUE(why.contains(c.mustSay)) << c.text << ": " << why.toStdString();
    }
    EXPECT_FALSE(IpRange::Parse("10.0.0.0/33")); // no place for the reason: still refused
}
