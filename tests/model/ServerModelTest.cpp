#include "common/KeyedCollection.h"
#include "model/Servers.h"
#include "storage/ServerConfigStore.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quarlo;

// Small collections are searched in order and large ones through a hash:
// every operation must give the same answers on either side of the switch
// and while crossing it.
TEST(KeyedCollection, OrderCaseAndPositionsSmallAndLarge)
{
    for (const int size : {3, 15, 16, 17, 1000}) {
        SCOPED_TRACE(size);
        KeyedCollection<int> c;
        for (int i = 0; i < size; ++i) ASSERT_TRUE(c.Add(QString("Zone%1").arg(i), std::make_shared<int>(i)));
        EXPECT_FALSE(c.Add(QString("ZONE%1").arg(size - 1), std::make_shared<int>(-1)));
        for (int i = 0; i < size; ++i) {
            ASSERT_NE(c.Item(QString("zone%1").arg(i)), nullptr);
            EXPECT_EQ(*c.Item(QString("ZONE%1").arg(i)), i);
        }
        EXPECT_FALSE(c.Contains("zone-missing"));
        EXPECT_EQ(c.Item(0), nullptr);
        EXPECT_EQ(c.Item(size + 1), nullptr);

        EXPECT_TRUE(c.Rekey("zone0", "Renamed"));
        EXPECT_FALSE(c.Rekey("renamed", QString("zone%1").arg(size - 1))); // taken
        EXPECT_EQ(c.Item("zone0"), nullptr);
        EXPECT_EQ(*c.Item("RENAMED"), 0);
        EXPECT_EQ(*c.Item(1), 0); // keeps its position
        EXPECT_EQ(c.KeyOf(c.Item("renamed")), std::optional<QString>("renamed"));

        // Shrinking back below the switch keeps every remaining key found.
        for (int i = 1; i < size; i += 2) EXPECT_NE(c.Remove(QString("zone%1").arg(i)), nullptr);
        EXPECT_EQ(c.Remove("zone1"), nullptr);
        for (int i = 2; i < size; i += 2) EXPECT_EQ(*c.Item(QString("Zone%1").arg(i)), i);
        for (int i = 1; i < size; i += 2) EXPECT_FALSE(c.Contains(QString("zone%1").arg(i)));
        for (int p = 1; p <= (size + 1) / 2; ++p) EXPECT_EQ(*c.Item(p), 2 * (p - 1)) << "position " << p;
        // Re-adding puts the key at the end; removing by position re-indexes.
        ASSERT_TRUE(c.Add("ZONE1", std::make_shared<int>(1)));
        EXPECT_EQ(*c.Item(c.Count()), 1);
        EXPECT_NE(c.Remove(1), nullptr);
        EXPECT_EQ(c.Item("renamed"), nullptr);
        EXPECT_EQ(*c.Item("zone1"), 1);
        c.Clear();
        EXPECT_EQ(c.Count(), 0);
        EXPECT_EQ(c.Item("zone1"), nullptr);
    }
    // Case folds beyond ASCII too.
    KeyedCollection<QString> c;
    c.Add(QString::fromUtf8("M\xc3\xbcller.example"), std::make_shared<QString>("m"));
    c.Add(QString::fromUtf8("\xce\xa3\xce\xb9\xcf\x83"), std::make_shared<QString>("g")); // Greek, mixed case
    EXPECT_EQ(*c.Item(QString::fromUtf8("M\xc3\x9cLLER.EXAMPLE")), "m");
    EXPECT_EQ(*c.Item(QString::fromUtf8("\xcf\x83\xce\xb9\xcf\x83")), "g");
}

TEST(ResultCodes, AddKeepsFirstReasonAndRejectsInvalid)
{
    ResultCodes codes;
    EXPECT_EQ(codes.Add("127.0.0.2", ""), nullptr);
    EXPECT_EQ(codes.Add("127.0.0.256", "x"), nullptr);
    EXPECT_EQ(codes.Add("", "x"), nullptr);
    EXPECT_EQ(codes.Count(), 0);

    const auto first = codes.Add("127.0.0.2", "A");
    EXPECT_TRUE(first->Listing()); // an answer lists the address unless marked
    first->setListing(false);
    const auto again = codes.Add("127.0.0.2", "B");
    EXPECT_EQ(first, again);
    EXPECT_EQ(first->Reason(), "A");
    EXPECT_FALSE(again->Listing());
    EXPECT_EQ(codes.Count(), 1);

    // Stored under its exact text: a leading zero is a different key.
    ASSERT_NE(codes.Add("127.0.0.02", "Z"), nullptr);
    EXPECT_EQ(codes.Item("127.0.0.2")->Reason(), "A");
    EXPECT_EQ(codes.Item("127.0.0.02")->Reason(), "Z");
    // (Positions, removal and clearing: the keyed collection's test.)
}

// A zone is held once, in any letter case: adding it again, or changing
// another server to it, keeps the held definition.
TEST(Servers, AddAndChangeZoneKeepTheHeldDefinition)
{
    ServerConfigStore serversFile("/nonexistent/quarlo.cfg");
    Servers servers(&serversFile);
    const auto a = servers.Add(makeServer("a.example", true, {{"127.0.0.2", "a"}}));
    EXPECT_EQ(servers.Add(makeServer("A.EXAMPLE", false, {{"127.0.0.3", "two"}})), a);
    EXPECT_TRUE(servers.Item("A.Example")->Enabled());
    const auto b = servers.Add(makeServer("b.example", true, {{"127.0.0.2", "b"}}));
    const auto c = servers.Add(makeServer("c.example", true, {{"127.0.0.2", "c"}}));

    ASSERT_TRUE(servers.ChangeZone(b, "new.example"));
    EXPECT_EQ(b->Zone(), "new.example");
    EXPECT_EQ(servers.Item("NEW.example"), b);
    EXPECT_EQ(servers.Item("b.example"), nullptr);
    EXPECT_EQ(servers.Item(2), b); // same place in the order

    EXPECT_FALSE(servers.ChangeZone(c, "A.EXAMPLE")); // held by another server
    EXPECT_EQ(c->Zone(), "c.example");
    EXPECT_EQ(servers.Item("c.example"), c);
    EXPECT_TRUE(servers.ChangeZone(a, "A.Example")); // its own zone in other case
    EXPECT_EQ(servers.Item("a.example"), a);

    EXPECT_FALSE(servers.ChangeZone(makeServer("x.example", true, {}), "y.example")); // not held
    const auto unnamed = servers.Add(makeServer("", true, {{"127.0.0.2", "u"}}));     // held under ""
    EXPECT_TRUE(servers.ChangeZone(unnamed, "named.example"));
    EXPECT_EQ(servers.Item("named.example"), unnamed);
    // (Removal: the keyed collection's test.)
}
