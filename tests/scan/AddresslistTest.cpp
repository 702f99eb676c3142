#include "scan/Addresslist.h"
#include "common/IpRange.h"
#include "common/Registry.h"
#include "model/Settings.h"
#include "support/FakeScanWorld.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class AddresslistTest : public ::testing::Test, protected FakeScanWorld {
protected:
    AddresslistTest()
    {
        list.setTickInterval(20);
        settings.BlacklistServers().Add(makeServer("a.test", true, {{"127.0.0.2", "A listed"}}));
        settings.BlacklistServers().Add(makeServer("b.test", true, {{"127.0.0.2", "B listed"}}));
        settings.BlacklistServers().Add(makeServer("c.test", true, {{"127.0.0.2", "C listed"}}));
    }

    QStringList keys() const
    {
        QStringList out;
        for (const auto& a : list) out << a->Key();
        return out;
    }
};

} // namespace

TEST_F(AddresslistTest, EditingAndAnEmptyScanRaiseTheRightEvents)
{
    QSignalSpy added(&list, &Addresslist::AddAddress);
    QSignalSpy deleted(&list, &Addresslist::DeleteAddress);
    QSignalSpy newFile(&list, &Addresslist::NewFile);

    const auto first = list.AddTarget("Mail.Example");
    EXPECT_TRUE(list.Changed());
    list.setChanged(false);
    EXPECT_EQ(list.AddTarget("mail.example"), first); // same address, event again
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(list.Count(), 1);

    list.setChanged(false);
    list.Remove("not.there");
    EXPECT_FALSE(list.Changed());
    EXPECT_EQ(deleted.count(), 0);

    list.AddTarget("192.0.2.1");
    list.AddTarget("192.0.2.2");
    list.Remove("MAIL.EXAMPLE");
    ASSERT_EQ(deleted.count(), 1);
    EXPECT_EQ(deleted.at(0).at(0).value<AddressPtr>(), first);

    deleted.clear();
    list.Clear();
    EXPECT_EQ(newFile.count(), 1);
    EXPECT_EQ(deleted.count(), 0);
    EXPECT_EQ(list.Count(), 0);

    // An empty list's scan completes on the first tick; a stop when idle is still reported.
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    QSignalSpy canceled(&list, &Addresslist::ScanCanceled);
    list.StartScan();
    ASSERT_TRUE(complete.wait(30000));
    list.StopScan();
    EXPECT_EQ(canceled.count(), 1);
    EXPECT_FALSE(list.ScanActive());
}

TEST_F(AddresslistTest, ScanRoutesRepliesAndCompletes)
{
    QSignalSpy updates(&list, &Addresslist::UpdateAddress);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    list.AddTarget("192.0.2.7");
    list.AddTarget("host.example");
    list.StartScan();
    EXPECT_TRUE(list.ScanActive());
    list.Tick();

    // The IP target asked every server; the host name is being resolved.
    ASSERT_EQ(dns.pending.size(), 4u);
    EXPECT_EQ(dns.pending[0].name, "7.2.0.192.a.test.");
    EXPECT_FALSE(dns.pending[3].blacklist);
    // A reply of the add-addresses dialog (tag without ":") is not ours.
    dns.setRequestTag("3");
    dns.Lookup("other.example");
    ASSERT_TRUE(dns.answer("3", "192.0.2.1"));
    EXPECT_EQ(list.Item("host.example")->IP(), "");
    EXPECT_EQ(updates.count(), 0);

    ASSERT_TRUE(dns.answer("192.0.2.7:BlacklistCheck:a.test", "127.0.0.2"));
    ASSERT_TRUE(dns.answer("192.0.2.7:BlacklistCheck:b.test", "", 4));
    ASSERT_TRUE(dns.answer("192.0.2.7:BlacklistCheck:c.test", "127.0.0.3"));
    // A reply whose tag names the target in another letter case still arrives.
    ASSERT_TRUE(dns.answerName("host.example", "198.51.100.9"));
    const auto ip = list.Item("192.0.2.7");
    EXPECT_TRUE(ip->Blacklisted());
    EXPECT_EQ(ip->RespondingServers().Count(), 2);
    EXPECT_EQ(updates.count(), 4) << "three replies and the host's addresses";

    // Successful blacklist replies ask every DNS server for the TXT record.
    QStringList txtQueries;
    for (const auto& q : directDns->sent)
        txtQueries << QStringLiteral("%1 %2 %3 %4").arg(q.tag, q.name, q.server).arg(q.type);
    const QString txtTag = TagByTarget(list, "192.0.2.7:TXTRECORD:a.test:127.0.0.2");
    EXPECT_EQ(
        txtQueries.mid(0, 2),
        (QStringList{txtTag + " 7.2.0.192.a.test. 127.0.0.1:9 16", txtTag + " 7.2.0.192.a.test. 127.0.0.2:9 16"}));
    EXPECT_EQ(txtQueries.size(), 4) << "c.test's answer too";

    // The host name's blacklist queries went out as soon as it resolved.
    ASSERT_EQ(dns.pending.size(), 3u);
    EXPECT_EQ(dns.pending[0].name, "9.100.51.198.a.test.");
    for (const char* zone : {"a.test", "b.test", "c.test"})
        ASSERT_TRUE(dns.answer(QString("host.example:BlacklistCheck:") + zone, "", 3));
    EXPECT_FALSE(list.Item("host.example")->Blacklisted());

    ASSERT_TRUE(complete.wait(30000));
    EXPECT_FALSE(list.ScanActive());
    EXPECT_EQ(complete.count(), 1);

    // TXT replies after completion are still applied.
    updates.clear();
    directDns->reply(txtTag, "7.2.0.192.a.test.",
                     {{"Listed, see http://a.test/?7", DnsRecord::TXT},
                      {"10.0.0.1", DnsRecord::A},
                      {"Second record", DnsRecord::TXT}});
    // Every TXT record of the listing is kept.
    EXPECT_EQ(ip->RespondingServers().Item("a.test")->Responses().Item("127.0.0.2")->TXTRecord(),
              "Listed, see http://a.test/?7 / Second record");
    EXPECT_EQ(updates.count(), 1);
    // Unknown addresses, reset servers and malformed tags are dropped.
    directDns->reply("gone:TXTRECORD:a.test:127.0.0.2", "x", {{"t", DnsRecord::TXT}});
    directDns->reply(TagByTarget(list, "192.0.2.7:TXTRECORD:b.test:127.0.0.2"), "x", {{"t", DnsRecord::TXT}});
    directDns->reply(ip->QueryKey(0), "x", {{"t", DnsRecord::TXT}});
    directDns->reply(txtTag, "x", {});
    EXPECT_EQ(updates.count(), 1);
}

// Replies follow the address, not its text: a rename in the middle of a scan
// keeps each entry's answers on it, and the next scan asks for the new text.
// A removed address's replies are dropped and do not hold the scan back.
TEST_F(AddresslistTest, RepliesFollowTheAddressThroughRenamesAndRemovals)
{
    const auto first = list.AddTarget("192.0.2.1");
    const auto second = list.AddTarget("192.0.2.2");
    const auto removed = list.AddTarget("192.0.2.4");
    list.StartScan();
    list.Tick();
    const QString secondTag = second->QueryKey(0) + ":BlacklistCheck:a.test";
    ASSERT_TRUE(list.Rename(second, "192.0.2.3"));
    list.Remove("192.0.2.4");
    QSignalSpy updates(&list, &Addresslist::UpdateAddress);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    ASSERT_TRUE(dns.answer(removed->QueryKey(0) + ":BlacklistCheck:a.test", "127.0.0.2"));
    EXPECT_EQ(updates.count(), 0);
    EXPECT_EQ(removed->RespondingServers().Count(), 0);
    EXPECT_TRUE(directDns->sent.empty());
    // The renamed one's listing stays its own; the other one gets none of it.
    ASSERT_TRUE(dns.answer(secondTag, "127.0.0.2"));
    ASSERT_TRUE(dns.answer(first->QueryKey(0) + ":BlacklistCheck:a.test", "", 3));
    EXPECT_EQ(updates.count(), 2);
    EXPECT_TRUE(second->Blacklisted());
    EXPECT_FALSE(first->Blacklisted());
    EXPECT_EQ(list.Item("192.0.2.3"), second);
    while (!dns.pending.empty()) ASSERT_TRUE(dns.answer(dns.pending.front().tag, "", 3));
    ASSERT_TRUE(complete.count() == 1 || complete.wait(30000));
    EXPECT_EQ(list.Count(), 2);

    list.StartScan();
    list.Tick();
    QStringList names;
    for (const auto& r : dns.pending) names << r.name;
    EXPECT_TRUE(names.contains("3.2.0.192.a.test.") && !names.contains("2.2.0.192.a.test."))
        << names.join(' ').toStdString();
}

// Addresses added during a scan join it.
TEST_F(AddresslistTest, FreedSlotsRunAPassWithoutWaitingForTheTick)
{
    list.setTickInterval(60000); // only the reply-driven passes can make progress
    settings.setMaxQueries(10);
    for (int i = 1; i <= 40; ++i) list.AddTarget(QString("192.0.2.%1").arg(i));
    dns.autoAnswer = [](const FakeDnsLookup::Request& r) {
        return r.name.startsWith("41.") ? std::make_pair(QString("127.0.0.2"), 0) : std::make_pair(QString(), 3);
    };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    list.StartScan();
    list.AddTarget("192.0.2.41");
    list.Tick();
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(dns.history.size(), 123u);
    EXPECT_EQ(dns.PendingCount(), 0);
    EXPECT_TRUE(list.Item("192.0.2.41")->Complete());
    EXPECT_TRUE(list.Item("192.0.2.41")->Blacklisted());
}

TEST_F(AddresslistTest, SaveAndLoad)
{
    QSignalSpy newFile(&list, &Addresslist::NewFile);
    QSignalSpy added(&list, &Addresslist::AddAddress);
    list.AddTarget(" b.example ");
    list.AddTarget("192.0.2.1");
    EXPECT_FALSE(list.Save()); // never had a name: nothing happens

    const QString path = dir.filePath("one.BlackList");
    ASSERT_TRUE(list.Save(path));
    EXPECT_FALSE(list.Changed());
    EXPECT_EQ(list.Filename(), path);
    EXPECT_EQ(newFile.count(), 1);
    ASSERT_TRUE(list.Save(path)); // same name: no NewFile
    EXPECT_EQ(newFile.count(), 1);

    list.AddTarget("later");
    const QString bad = dir.filePath("missing/dir/x.BlackList");
    EXPECT_FALSE(list.Save(bad));
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.Filename(), bad); // the new name stays
    EXPECT_TRUE(list.LastError().startsWith("Cannot save Address List to " + bad + "\r\n\r\n"));

    newFile.clear();
    added.clear();
    ASSERT_TRUE(list.Load(path));
    EXPECT_EQ(keys(), QStringList({" b.example ", "192.0.2.1"}));
    EXPECT_EQ(list.Filename(), path);
    EXPECT_FALSE(list.Changed());
    // The loaded list replaces the old one in one step.
    EXPECT_EQ(newFile.count(), 1);
    EXPECT_EQ(added.count(), 0);

    // A failed load changes nothing and keeps its message.
    const QString broken = dir.filePath("broken.BlackList");
    spit(broken, "<AddressList><Address Target=\"x\">");
    list.AddTarget("unsaved");
    ASSERT_FALSE(list.Load(broken));
    EXPECT_TRUE(list.LastError().startsWith("Cannot load Address List from " + broken + "\r\n\r\n"));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(list.Filename(), path);
}

// Odd targets, and a stored limit of nothing that would never send a query:
// nothing is left waiting for a reply that cannot come.
TEST_F(AddresslistTest, OddTargetsAndAStoredQueryLimitOfZeroNeverHangAScan)
{
    backend.write(RegistryRoot::LocalMachine, QStringLiteral("Software\\Vantorel\\Vantorel Quarlo\\Settings"),
                  QStringLiteral("Max Queries"), RegistryValue::fromString("0"));
    settings.Refresh();
    settings.setCheckListsBeforeScanning(true);
    for (const char* target : {"192.0.2.1", "2001:db8::1", "missing.example", "mail.example:25", "192.0.2.2"})
        list.AddTarget(target);
    dns.autoAnswer = [](const FakeDnsLookup::Request& r) {
        // The lists pass their test; host lookups of odd names fail; every
        // list answers "not listed".
        if (r.name.startsWith("2.0.0.127.")) return std::make_pair(QString("127.0.0.2"), 0);
        return r.blacklist ? std::make_pair(QString(), 4) : std::make_pair(QString(), 12);
    };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    list.StartScan();
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(list.Item("192.0.2.1")->Verdict(), Verdict::Clean);
    // No list here answers IPv6.
    EXPECT_EQ(list.Item("2001:db8::1")->Verdict(), Verdict::NotApplicable);
    // A host lookup that timed out vouches for nothing: incomplete, not unresolvable.
    EXPECT_EQ(list.Item("missing.example")->Verdict(), Verdict::Incomplete);
    EXPECT_EQ(list.Item("mail.example:25")->Verdict(), Verdict::Unsupported);
}

TEST_F(AddresslistTest, ZoneTestsGateEachZoneAndOnlyAnswersGetATxtQuery)
{
    settings.setCheckListsBeforeScanning(true);
    settings.BlacklistServers().Item("c.test")->setEnabled(false);
    QSignalSpy tested(&list, &Addresslist::ZoneTestComplete);
    list.AddTarget("192.0.2.7");
    list.StartScan();
    list.Tick();
    // Only the test queries are out: two per enabled zone.
    QStringList names;
    for (const auto& r : dns.pending) names << r.name;
    EXPECT_EQ(names, QStringList({"2.0.0.127.a.test.", "1.0.0.127.a.test.", "2.0.0.127.b.test.", "1.0.0.127.b.test."}));

    // a.test passes; its queries go out while b.test is still under test.
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.2", "127.0.0.2"));
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.1", "", 4));
    list.Tick();
    EXPECT_EQ(dns.pending.back().tag, TagByTarget(list, "192.0.2.7:BlacklistCheck:a.test"));
    EXPECT_EQ(tested.count(), 0);
    // b.test lists everything: skipped.
    ASSERT_TRUE(dns.answer(":ZoneTest:b.test:127.0.0.2", "127.0.0.2"));
    ASSERT_TRUE(dns.answer(":ZoneTest:b.test:127.0.0.1", "127.0.0.2"));
    EXPECT_EQ(tested.count(), 1);
    EXPECT_EQ(list.StateOfZone("B.TEST"), ScanHost::ZoneState::Skipped);
    EXPECT_TRUE(list.WhyZoneSkipped("b.test").contains("127.0.0.1"));
    list.Tick();
    EXPECT_EQ(dns.pending.size(), 1u); // b.test never asked about the address

    // A failed query asks for no TXT text.
    ASSERT_TRUE(dns.answer("192.0.2.7:BlacklistCheck:a.test", "", 3));
    EXPECT_TRUE(directDns->sent.empty());
    const auto address = list.Item("192.0.2.7");
    EXPECT_EQ(address->Verdict(), Verdict::Incomplete);
    EXPECT_EQ(address->ZonesWith(ZoneNote::Kind::Failed), QStringList{"a.test"});
    EXPECT_EQ(list.Summary().failed, 1);
    EXPECT_EQ(list.Summary().answered, 4);
}

// A list whose test has not come back holds only its own queries: every
// target is asked of the other lists meanwhile, however many targets there
// are beyond the query limit; and when the test passes, the held ones ask.
TEST_F(AddresslistTest, AListStillUnderTestHoldsBackOnlyItsOwnQueries)
{
    settings.setCheckListsBeforeScanning(true);
    settings.setMaxQueries(4);
    settings.BlacklistServers().Item("c.test")->setEnabled(false);
    constexpr int targets = 30;
    for (int i = 1; i <= targets; ++i) list.AddTarget(QStringLiteral("192.0.2.%1").arg(i));
    // A list passes its test by listing 127.0.0.2 and not 127.0.0.1; every
    // target is not listed; b.test's test stays out until answered below.
    const auto honest = [](const FakeDnsLookup::Request& r) {
        return r.name.startsWith("2.0.0.127.") ? std::make_pair(QString("127.0.0.2"), 0) : std::make_pair(QString(), 4);
    };
    dns.autoAnswer = [&](const FakeDnsLookup::Request& r) {
        return r.tag.contains(":ZoneTest:b.test:") ? std::make_pair(QString(), -1) : honest(r);
    };
    const auto asked = [&](const QString& zone) {
        int count = 0;
        for (const auto& r : dns.history) count += r.tag.contains(":BlacklistCheck:" + zone) ? 1 : 0;
        return count;
    };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    list.StartScan();
    ASSERT_TRUE(QTest::qWaitFor([&] { return asked("a.test") == targets; }, 10000)) << asked("a.test");
    EXPECT_EQ(asked("b.test"), 0);
    EXPECT_EQ(complete.count(), 0);

    for (const auto& r : std::deque<FakeDnsLookup::Request>(dns.pending)) {
        if (!r.tag.contains(":ZoneTest:b.test:")) continue;
        const auto [answer, flag] = honest(r);
        ASSERT_TRUE(dns.answer(r.tag, answer, flag));
    }
    ASSERT_TRUE(complete.wait(10000));
    EXPECT_EQ(asked("b.test"), targets);
    for (int i = 1; i <= targets; ++i)
        EXPECT_EQ(list.Item(QStringLiteral("192.0.2.%1").arg(i))->Verdict(), Verdict::Clean) << i;
}

namespace {

QByteArray listXml(const QStringList& targets)
{
    QByteArray xml = "<AddressList>";
    for (const QString& t : targets) xml += "<Address Target=\"" + t.toUtf8() + "\"/>";
    return xml + "</AddressList>";
}

} // namespace

// A file is counted before anything is made: overlapping entries count once;
// a range typed in that would take the list past the limit is refused.
TEST_F(AddresslistTest, EntriesAreCountedAgainstTheTargetLimit)
{
    const QString overlapping = dir.filePath("overlapping.BlackList");
    spit(overlapping,
         listXml({"10.0.0.0/16", "10.0.0.0-10.0.0.9", "10.0.0.7", "10.0.128.0/17", "10.1.0.0/17", "a.example",
                  "A.EXAMPLE"}));
    ASSERT_TRUE(list.PrepareLoad(overlapping));
    EXPECT_EQ(list.PreparedCount(), 65536 + 32768 + 1);
    list.CancelLoad();

    // A file beyond the limit: ApplicationTest's LargeFilesAreConfirmedAndTooLargeOnesRefused.
    QString why;
    ASSERT_TRUE(list.AddEntry("10.0.0.0/16"));
    EXPECT_FALSE(list.AddEntry("10.1.0.0/16", &why));
    EXPECT_EQ(why, "10.1.0.0/16: the list would hold more than 100,000 addresses");
    EXPECT_EQ(list.Count(), 65536);
}

// From the event loop: the list stays as it was until the last slice, and a
// cancelled load leaves it so; the file is only read.
TEST_F(AddresslistTest, SlicedLoadsReplaceTheListAtTheEndOrNotAtAll)
{
    const QString path = dir.filePath("big.BlackList");
    spit(path, listXml({"host.example", "10.0.0.0/16", "10.1.0.0/17", "2001:db8::/64"}));
    const QByteArray onDisk = slurp(path);
    list.setFilename("mine.BlackList");
    list.AddTarget("kept.example");
    QSignalSpy newFile(&list, &Addresslist::NewFile);
    QSignalSpy added(&list, &Addresslist::AddAddress);
    QSignalSpy finished(&list, &Addresslist::LoadFinished);

    // Cancelled after the first slice.
    QSignalSpy progress(&list, &Addresslist::LoadProgress);
    const auto cancel = QObject::connect(&list, &Addresslist::LoadProgress, &list, &Addresslist::CancelLoad);
    ASSERT_TRUE(list.PrepareLoad(path));
    list.StartLoad();
    EXPECT_TRUE(list.Loading());
    ASSERT_TRUE(finished.wait(30000));
    QObject::disconnect(cancel);
    EXPECT_EQ(finished.at(0).at(0).toBool(), false);
    ASSERT_EQ(progress.count(), 1);
    EXPECT_GT(progress.at(0).at(0).toLongLong(), 0);
    EXPECT_EQ(progress.at(0).at(1).toLongLong(), 1 + 65536 + 32768);
    EXPECT_FALSE(list.Loading());
    EXPECT_EQ(keys(), QStringList{"kept.example"});
    EXPECT_EQ(list.Filename(), "mine.BlackList");
    EXPECT_TRUE(list.Changed());
    EXPECT_EQ(newFile.count(), 0);

    // Run to the end: one NewFile, the file's name, nothing to save.
    ASSERT_TRUE(list.PrepareLoad(path));
    list.StartLoad();
    ASSERT_TRUE(finished.wait(30000));
    EXPECT_EQ(finished.at(1).at(0).toBool(), true);
    EXPECT_GT(progress.count(), 1) << "the load ran in one slice";
    ASSERT_EQ(list.Count(), 1 + 65536 + 32768);
    EXPECT_EQ(list.Item(1)->Key(), "host.example");
    EXPECT_EQ(list.Item(2)->Range(), "10.0.0.0/16");
    EXPECT_EQ(list.Item(list.Count())->Key(), "10.1.127.255");
    EXPECT_EQ(list.LoadWarnings().size(), 1);
    EXPECT_EQ(list.Filename(), path);
    EXPECT_FALSE(list.Changed());
    EXPECT_EQ(newFile.count(), 1);
    EXPECT_EQ(added.count(), 0);
    EXPECT_EQ(slurp(path), onDisk);

    // Emptying the list ends a load that is still running.
    ASSERT_TRUE(list.PrepareLoad(path));
    list.StartLoad();
    list.Clear();
    EXPECT_FALSE(list.Loading());
    EXPECT_EQ(finished.count(), 3);
    EXPECT_EQ(list.Count(), 0);
}

// Ranges: every address once, in order, one event per new address, refusals
// adding nothing.
TEST_F(AddresslistTest, RangeEntriesAddEachNewAddressOnce)
{
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

    // The largest range a list takes is added whole and saved as one entry.
    list.Clear();
    const std::optional<IpRange> range = IpRange::Parse("10.20.0.0/16");
    ASSERT_TRUE(range);
    EXPECT_EQ(list.AddRange(*range), 65536);
    ASSERT_EQ(list.Count(), 65536);
    EXPECT_EQ(list.Item(65536)->Key(), "10.20.255.255");
    EXPECT_EQ(list.FileTargets(), QStringList{"10.20.0.0/16"});
}
