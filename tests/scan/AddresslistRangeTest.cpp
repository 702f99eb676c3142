// Adding network ranges to the address list: every address once, in order,
// one event per new address, refusals adding nothing.
#include "common/IpRange.h"
#include "scan/Addresslist.h"
#include "support/FakeScanWorld.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace quarlo;

TEST(AddresslistRange, EntriesAddEachNewAddressOfARangeOnce)
{
    FakeScanWorld world;
    Addresslist& list = world.list;
    QSignalSpy added(&list, &Addresslist::AddAddress);

    list.AddTarget("192.0.2.5");
    list.setChanged(false);
    ASSERT_TRUE(list.AddEntry(" 192.0.2.0/29 "));
    EXPECT_TRUE(list.Changed());
    // 192.0.2.5 was there already: seven new addresses, seven events.
    EXPECT_EQ(added.count(), 1 + 7);
    ASSERT_EQ(list.Count(), 8);
    EXPECT_EQ(list.Item(1)->Key(), "192.0.2.5");
    EXPECT_EQ(list.Item(1)->Range(), QString());
    for (int i = 2; i <= 8; ++i) EXPECT_EQ(list.Item(i)->Range(), "192.0.2.0/29") << i;
    EXPECT_EQ(list.Item(8)->Key(), "192.0.2.7");

    // The same range written another way adds nothing and changes nothing.
    list.setChanged(false);
    ASSERT_TRUE(list.AddEntry("192.0.2.0-192.0.2.7"));
    EXPECT_EQ(list.Count(), 8);
    EXPECT_EQ(added.count(), 8);
    EXPECT_FALSE(list.Changed());

    // Host names with a dash and e-mail addresses with a slash are no ranges.
    ASSERT_TRUE(list.AddEntry("mail-1.example"));
    ASSERT_TRUE(list.AddEntry("a/b@example.com"));
    EXPECT_EQ(list.Count(), 10);

    // Refused ranges (every reason: IpRange's tests) add nothing and say why.
    for (const char* refused : {"10.0.0.0/0", "2001:db8::/32"}) {
        QString why;
        EXPECT_FALSE(list.AddEntry(refused, &why)) << refused;
        EXPECT_FALSE(why.isEmpty()) << refused;
    }
    EXPECT_EQ(list.Count(), 10);
}

TEST(AddresslistRange, ALargestRangeIsAddedWhole)
{
    FakeScanWorld world;
    const std::optional<IpRange> range = IpRange::Parse("10.20.0.0/16");
    ASSERT_TRUE(range);
    EXPECT_EQ(world.list.AddRange(*range), 65536);
    ASSERT_EQ(world.list.Count(), 65536);
    EXPECT_EQ(world.list.Item(1)->Key(), "10.20.0.0");
    EXPECT_EQ(world.list.Item(257)->Key(), "10.20.1.0");
    EXPECT_EQ(world.list.Item(65536)->Key(), "10.20.255.255");
    EXPECT_EQ(world.list.FileTargets(), QStringList{"10.20.0.0/16"});
}
