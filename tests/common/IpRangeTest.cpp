#include "common/IpRange.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quarlo;

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
