// Every scan ends, whatever the DNS path does: a list that answers its own
// test and then falls silent, a server that loses replies at random and in
// bursts, and a lookup control that never reports at all. A hang fails the
// test through its generous limit; the results must be exact or incomplete,
// never a wrong verdict.
#include "model/DnsFailure.h"
#include "scan/AresDriver.h"
#include "support/FakeDnsServer.h"
#include "support/FakeScanWorld.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdScan.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

using namespace quarlo;
using Fake = FakeDnsServer;

namespace {

constexpr int kTargets = 1024;
constexpr int kHangLimitMs = 180000; // far beyond any honest scan here

QString target(int i)
{
    return QStringLiteral("10.7.%1.%2").arg(i / 256).arg(i % 256);
}

// "10.7.x.y" is listed by a zone when y is a multiple of seven.
bool listedTarget(int i)
{
    return (i % 256) % 7 == 0;
}

// The zone of a blacklist query name and the reversed address before it.
std::pair<QByteArray, QByteArray> split(const QByteArray& name)
{
    const QList<QByteArray> labels = name.toLower().split('.');
    if (labels.size() < 5) return {};
    return {labels.mid(4).join('.'), labels.mid(0, 4).join('.')};
}

// Answers as a healthy list would: the test entry 127.0.0.2 and every
// listed target get 127.0.0.2, the rest NXDOMAIN; TXT queries a text.
QList<Fake::Send> honestAnswer(const Fake::Query& q)
{
    if (q.type == 16) return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::Txt({"listed for the test"})}));
    const auto [zone, reversed] = split(q.name);
    const QList<QByteArray> octets = reversed.split('.');
    const bool listed = reversed == "2.0.0.127"
        || (octets.size() == 4 && octets[2] == "7" && octets[3] == "10" && octets[0].toInt() % 7 == 0);
    if (listed) return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}));
    return Fake::Reply(Fake::BuildReply(q, Fake::NxDomain));
}

class ScanCompletion : public RbldnsdScan {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dns.start());
        settings.setMaxQueries(250);
        settings.setCheckListsBeforeScanning(true);
        connect(QStringList{dns.serverSpec()});
        // Short waits: the point is that scans end, not how long tries wait.
        lookup->setTuning(DnsTuning{60, 3});
        direct->setTuning(DnsTuning{60, 3});
    }

    void addTargets(int count)
    {
        targets = count;
        for (int i = 0; i < count; ++i) list->AddTarget(target(i));
    }

    // Runs a scan; false when it did not end within the hang limit.
    bool scanEnds()
    {
        QSignalSpy complete(list.get(), &Addresslist::ScanComplete);
        list->StartScan();
        list->Tick();
        if (complete.count() == 0 && !complete.wait(kHangLimitMs)) return false;
        return QTest::qWaitFor([&] { return direct->OutstandingCount() == 0; }, kHangLimitMs);
    }

    // Every address is either what the lists say or incomplete: never clean
    // when it is listed, never listed when it is not.
    void expectExactOrIncomplete(int* incomplete)
    {
        for (int i = 0; i < targets; ++i) {
            const AddressPtr address = list->Item(target(i));
            const Verdict verdict = address->Verdict();
            const Verdict exact = listedTarget(i) ? Verdict::Listed : Verdict::Clean;
            if (verdict == Verdict::Incomplete)
                ++*incomplete;
            else
                EXPECT_EQ(verdict, exact) << target(i).toStdString();
        }
    }

    Fake dns;
    int targets = 0;
};

} // namespace

TEST_F(ScanCompletion, ListSilentAfterItsTestEndsEveryScanIncomplete)
{
    settings.BlacklistServers().Add(makeServer("healthy.test", true, {{"127.0.0.2", "Spam source"}}));
    settings.BlacklistServers().Add(makeServer("mute.test", true, {{"127.0.0.2", "Spam source"}}));
    dns.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        const auto [zone, reversed] = split(q.name);
        const bool testEntry = reversed == "2.0.0.127" || reversed == "1.0.0.127";
        if (zone == "mute.test" && !testEntry) return {};
        return honestAnswer(q);
    });
    addTargets(kTargets);
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(scanEnds()) << "scan " << run << " hung";
        for (const ZoneTest& test : list->ZoneTests()) EXPECT_EQ(test.health(), ZoneTest::Health::Ok);
        int incomplete = 0;
        expectExactOrIncomplete(&incomplete);
        // The silent list vouches for nobody: only the listed stay exact.
        int listed = 0;
        for (int i = 0; i < kTargets; ++i) listed += listedTarget(i) ? 1 : 0;
        EXPECT_EQ(incomplete, kTargets - listed);
        const AddressPtr clean = list->Item(target(1));
        EXPECT_EQ(clean->ZonesWith(ZoneNote::Kind::Failed), QStringList{"mute.test"});
    }
}

TEST_F(ScanCompletion, LossyServerScansEndExactOrIncomplete)
{
    settings.BlacklistServers().Add(makeServer("lossy.test", true, {{"127.0.0.2", "Spam source"}}));
    QRandomGenerator random(20261206);
    double lossRate = 0;
    int burstLeft = 0;
    dns.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        // Bursts: a run of consecutive replies lost, as when a queue fills.
        if (burstLeft == 0 && random.bounded(1000) < 3) burstLeft = 20 + int(random.bounded(60));
        if (burstLeft > 0) {
            --burstLeft;
            return {};
        }
        if (random.generateDouble() < lossRate) return {};
        return honestAnswer(q);
    });
    addTargets(kTargets);
    int exactScans = 0;
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        lossRate = 0.01 + 0.29 * run / 19.0;
        ASSERT_TRUE(scanEnds()) << "scan " << run << " hung at loss " << lossRate;
        int incomplete = 0;
        expectExactOrIncomplete(&incomplete);
        exactScans += incomplete == 0 ? 1 : 0;
    }
    // Three tries get through most losses: the checks above are not vacuous.
    EXPECT_GT(exactScans, 0);
}

// A list that answers every query, but three times the shortest wait late
// while the resolver's other answers come at once: its waits follow its own
// round trip, so every address completes, the list's test included.
TEST_F(ScanCompletion, SlowButAnsweringListCompletes)
{
    for (const char* zone : {"fast1.test", "fast2.test", "fast3.test", "fast4.test", "slow.test"})
        settings.BlacklistServers().Add(makeServer(zone, true, {{"127.0.0.2", "Spam source"}}));
    dns.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        QList<Fake::Send> reply = honestAnswer(q);
        if (split(q.name).first == "slow.test") reply.first().delayMs = 3 * AresDriver::MinTimeoutMs;
        return reply;
    });
    lookup->setTuning(DnsTuning{});
    direct->setTuning(DnsTuning{});
    addTargets(256);
    ASSERT_TRUE(scanEnds());
    for (const ZoneTest& test : list->ZoneTests())
        EXPECT_EQ(test.health(), ZoneTest::Health::Ok) << test.zone.toStdString();
    int incomplete = 0;
    expectExactOrIncomplete(&incomplete);
    EXPECT_EQ(incomplete, 0);
    EXPECT_EQ(list->Item(target(7))->ListingServerCount(), 5);
}

// A list that never answers, asked first, beside one that answers: once a
// try to it has timed out its queries leave the scan's limit to the other,
// which is done long before the silent one is given up. With the lists
// tested first, its test holds its own queries and none of the other's,
// however many targets there are beyond the limit.
TEST_F(ScanCompletion, ListThatNeverAnswersDoesNotHoldTheOthersBack)
{
    settings.setMaxQueries(20);
    for (const char* zone : {"dead.test", "healthy.test"})
        settings.BlacklistServers().Add(makeServer(zone, true, {{"127.0.0.2", "Spam source"}}));
    QElapsedTimer clock;
    qint64 firstDeadMs = -1, lastHealthyMs = -1;
    dns.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        const QByteArray zone = split(q.name).first;
        if (zone == "dead.test") {
            if (firstDeadMs < 0) firstDeadMs = clock.elapsed();
            return {};
        }
        if (q.type == 1) lastHealthyMs = clock.elapsed();
        return honestAnswer(q);
    });
    for (const bool tested : {false, true}) {
        SCOPED_TRACE(tested ? "lists tested first" : "lists asked untested");
        settings.setCheckListsBeforeScanning(tested);
        // A driver of its own each time: one that knows the list is silent
        // would not wait on it at all.
        connect(QStringList{dns.serverSpec()});
        lookup->setTuning(DnsTuning{});
        direct->setTuning(DnsTuning{});
        addTargets(kTargets);
        firstDeadMs = lastHealthyMs = -1;
        clock.start();
        ASSERT_TRUE(scanEnds());
        ASSERT_GE(firstDeadMs, 0);
        EXPECT_LT(lastHealthyMs - firstDeadMs, AresDriver::PathSilenceMs)
            << "the silent list held the other's queries until it was given up";
        int incomplete = 0;
        expectExactOrIncomplete(&incomplete);
        int listed = 0;
        for (int i = 0; i < kTargets; ++i) listed += listedTarget(i) ? 1 : 0;
        EXPECT_EQ(incomplete, kTargets - listed);
    }
}

// A lookup control that never reports: the scan gives its lookups up after
// their longest wait and ends, its addresses incomplete, and says so.
TEST(ScanStallGuard, SilentLookupControlEndsTheScanIncomplete)
{
    FakeScanWorld world;
    world.dns.longestWaitMs = 100;
    world.settings.BlacklistServers().Add(makeServer("bl.test", true, {{"127.0.0.2", "Spam source"}}));
    world.list.setTickInterval(50);
    const AddressPtr address = world.list.AddTarget("192.0.2.1");
    QSignalSpy complete(&world.list, &Addresslist::ScanComplete);
    world.list.StartScan();
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(world.dns.expireCalls, 1);
    EXPECT_EQ(address->Verdict(), Verdict::Incomplete);
    EXPECT_EQ(address->ZonesWith(ZoneNote::Kind::Failed), QStringList{"bl.test"});
    EXPECT_EQ(world.list.Summary().abandoned, 1);
    EXPECT_TRUE(StallWarning(world.list.Summary()).contains("1 queries were given up"))
        << StallWarning(world.list.Summary()).toStdString();

    // Replies keep the guard away: a slow but answering control is waited for.
    world.dns.autoAnswer = [](const FakeDnsLookup::Request&) {
        return std::pair<QString, int>{QString(), DnsFailure::NotFound};
    };
    world.list.StartScan();
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(world.dns.expireCalls, 1);
    EXPECT_EQ(address->Verdict(), Verdict::Clean);
    EXPECT_EQ(world.list.Summary().abandoned, 0);
}
