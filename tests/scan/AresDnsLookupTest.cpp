#include "scan/AresDnsLookup.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdServer.h"

#include <ares.h>

#include <QElapsedTimer>
#include <QHash>
#include <QTest>

#include <gtest/gtest.h>
#include <iostream>

using namespace quarlo;

namespace {

struct Completed {
    QString name;
    QString answer;
    int failure = 0;
    QString tag;
};

// Collects every LookupComplete of one control; onReply runs inside the
// handler, for tests that act from there.
struct Recorder {
    explicit Recorder(AresDnsLookup& lookup)
    {
        QObject::connect(&lookup, &DnsLookup::LookupComplete, &lookup,
                         [this](const QString& name, const QString& answer, int failure, const QString& tag,
                                const QVariant&) {
                             replies.append(Completed{name, answer, failure, tag});
                             if (onReply) onReply(replies.last());
                         });
    }
    bool waitFor(qsizetype count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return replies.size() >= count; }, timeoutMs);
    }
    // The one reply for name; fails the test when there is not exactly one.
    Completed only(const QString& name) const
    {
        Completed found;
        int count = 0;
        for (const Completed& reply : replies)
            if (reply.name == name) {
                found = reply;
                ++count;
            }
        EXPECT_EQ(count, 1) << "replies for " << name.toStdString();
        return found;
    }

    QList<Completed> replies;
    std::function<void(const Completed&)> onReply;
};

const char* BlZone = "$SOA 0 ns.bl.test hostmaster.bl.test 0 1h 10m 1d 1m\n"
                     "$NS 0 ns.bl.test\n"
                     ":127.0.0.2:Listed in bl.test, see http://bl.test/lookup?ip=$\n"
                     "127.0.0.2\n"
                     "192.0.2.10 :127.0.0.4:Spam source $ (code 4)\n";

// The address a load-test name answers: unique per index, so a reply
// attached to the wrong request shows.
QString loadAnswer(int i) { return QStringLiteral("127.1.%1.%2").arg(i / 256).arg(i % 256); }
QString loadName(int i) { return QStringLiteral("h%1.load.test.").arg(i); }

class LookupWithRbldnsd : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addZone("bl.test", "ip4set", BlZone);
        server.addZone("multi.test", "generic",
                       "2.0.0.127 A 127.0.0.2\n2.0.0.127 A 127.0.0.10\n");
        server.addZone("hosts.test", "generic", "mx1 A 192.0.2.10\nwww TXT \"v=spf1 -all\"\n@ MX 10 mx1.hosts.test\n");
        QString load;
        for (int i = 0; i < 1000; ++i) load += QStringLiteral("h%1 A %2\n").arg(i).arg(loadAnswer(i));
        server.addZone("load.test", "generic", load);
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        lookup = std::make_unique<AresDnsLookup>(QStringList{server.serverSpec()});
        recorder = std::make_unique<Recorder>(*lookup);
    }

    void blacklist(const QString& name, const QString& tag = "t")
    {
        lookup->setRequestTag(tag);
        lookup->setBlacklistQuery(true);
        lookup->setRequestFlag(true);
        lookup->Lookup(name);
    }
    void host(const QString& name, const QString& tag = "t")
    {
        lookup->setRequestTag(tag);
        lookup->setBlacklistQuery(false);
        lookup->setRequestFlag(true);
        lookup->Lookup(name);
    }

    RbldnsdServer server;
    std::unique_ptr<AresDnsLookup> lookup;
    std::unique_ptr<Recorder> recorder;
};

} // namespace

TEST_F(LookupWithRbldnsd, ListedAddressesAnswerTheirCodes)
{
    blacklist("2.0.0.127.bl.test.", "first");
    blacklist("10.2.0.192.bl.test.", "second");
    ASSERT_TRUE(recorder->waitFor(2));

    const Completed listed = recorder->only("2.0.0.127.bl.test.");
    EXPECT_EQ(listed.answer, "127.0.0.2");
    EXPECT_EQ(listed.failure, 0);
    EXPECT_EQ(listed.tag, "first");
    const Completed ownCode = recorder->only("10.2.0.192.bl.test.");
    EXPECT_EQ(ownCode.answer, "127.0.0.4");
    EXPECT_EQ(ownCode.failure, 0);
    EXPECT_EQ(ownCode.tag, "second");
}

// A text sort would put .10 first. rbldnsd does not keep every file order
// (it sorts its entries), so other orders are checked with the scripted
// server's 300 descending addresses below.
TEST_F(LookupWithRbldnsd, SeveralAnswersJoinedInServedOrder)
{
    blacklist("2.0.0.127.multi.test.");
    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->only("2.0.0.127.multi.test.").answer, "127.0.0.2 127.0.0.10");
    EXPECT_EQ(recorder->only("2.0.0.127.multi.test.").failure, 0);
}

TEST_F(LookupWithRbldnsd, NotListedGivesEmptyAnswerAndFailure)
{
    blacklist("3.0.0.127.bl.test.");       // NXDOMAIN
    blacklist("www.hosts.test.");          // a TXT record only: NODATA
    blacklist("2.0.0.127.elsewhere.test."); // outside every zone: REFUSED
    ASSERT_TRUE(recorder->waitFor(3));
    for (const Completed& reply : recorder->replies) {
        EXPECT_EQ(reply.answer, "") << reply.name.toStdString();
        EXPECT_NE(reply.failure, 0) << reply.name.toStdString();
    }
    EXPECT_EQ(recorder->only("3.0.0.127.bl.test.").failure, ARES_ENOTFOUND);
    EXPECT_EQ(recorder->only("www.hosts.test.").failure, ARES_ENODATA);
}

TEST_F(LookupWithRbldnsd, HostLookups)
{
    host("mx1.hosts.test.");
    host("missing.hosts.test.");
    ASSERT_TRUE(recorder->waitFor(2));
    EXPECT_EQ(recorder->only("mx1.hosts.test.").answer, "192.0.2.10");
    EXPECT_EQ(recorder->only("mx1.hosts.test.").failure, 0);
    EXPECT_EQ(recorder->only("missing.hosts.test.").answer, "");
    EXPECT_NE(recorder->only("missing.hosts.test.").failure, 0);
}

TEST_F(LookupWithRbldnsd, TagAndModeAreTakenAtLookupTime)
{
    host("localhost", "as host");
    blacklist("localhost.", "as blacklist"); // asks the server, which refuses it
    lookup->setRequestTag("changed");
    lookup->setBlacklistQuery(false);
    ASSERT_TRUE(recorder->waitFor(2));
    const Completed asHost = recorder->only("localhost");
    EXPECT_EQ(asHost.tag, "as host");
    EXPECT_EQ(asHost.answer, "127.0.0.1");
    const Completed asBlacklist = recorder->only("localhost.");
    EXPECT_EQ(asBlacklist.tag, "as blacklist");
    EXPECT_EQ(asBlacklist.answer, "");
    EXPECT_NE(asBlacklist.failure, 0);
}

TEST_F(LookupWithRbldnsd, PendingCountIsExactThroughout)
{
    EXPECT_EQ(lookup->PendingCount(), 0);
    blacklist("2.0.0.127.bl.test.");
    blacklist("3.0.0.127.bl.test.");
    host("mx1.hosts.test.");
    host("192.0.2.1"); // answered without the network, still counted until reported
    host("bad..name");
    EXPECT_EQ(lookup->PendingCount(), 5);
    EXPECT_TRUE(recorder->replies.isEmpty()) << "nothing is reported from inside Lookup";

    QList<int> seen;
    recorder->onReply = [&](const Completed&) { seen.append(lookup->PendingCount()); };
    ASSERT_TRUE(recorder->waitFor(5));
    EXPECT_EQ(seen, (QList<int>{4, 3, 2, 1, 0}));
    QTest::qWait(100);
    EXPECT_EQ(recorder->replies.size(), 5);
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithRbldnsd, BadNamesFailWithoutCrashing)
{
    const QString longLabel(64, QLatin1Char('a'));
    const QString label63(63, QLatin1Char('a'));
    // 4 x 63 + 3 dots = 255 characters: over the limit of 253.
    const QString tooLong = QStringList{label63, label63, label63, label63}.join(QLatin1Char('.'));
    const QStringList bad{"", ".", "a..b.test.", "..", "a\x01" "b.test.", "a b.test.", "a\\.b.test.",
                          QString("tab\tname."), longLabel + ".test.", tooLong, tooLong + "."};
    for (const QString& name : bad) {
        blacklist(name, "bl");
        host(name, "host");
    }
    ASSERT_TRUE(recorder->waitFor(2 * bad.size()));
    for (const Completed& reply : recorder->replies) {
        EXPECT_EQ(reply.answer, "") << reply.name.toStdString();
        EXPECT_EQ(reply.failure, ARES_EBADNAME) << reply.name.toStdString() << " " << reply.tag.toStdString();
    }

    // At the limits the name goes to the server, which refuses it.
    recorder->replies.clear();
    blacklist(label63 + ".test.");
    blacklist(QStringList{label63, label63, label63, QString(61, QLatin1Char('b'))}.join(QLatin1Char('.')) + ".");
    ASSERT_TRUE(recorder->waitFor(2));
    for (const Completed& reply : recorder->replies) {
        EXPECT_NE(reply.failure, 0);
        EXPECT_NE(reply.failure, ARES_EBADNAME) << reply.name.toStdString();
    }
}

TEST_F(LookupWithRbldnsd, HandlerMayLookUpAgain)
{
    bool insideLookup = false;
    int reportedInside = 0;
    recorder->onReply = [&](const Completed& reply) {
        reportedInside += insideLookup ? 1 : 0;
        if (reply.tag != "first") return;
        insideLookup = true;
        // One network query, one hosts-file hit and one literal per reply.
        blacklist(reply.name, "again");
        host("localhost", "again");
        host("192.0.2.77", "again");
        insideLookup = false;
        EXPECT_GE(lookup->PendingCount(), 3);
    };
    for (int i = 0; i < 5; ++i) blacklist(loadName(i), "first");
    ASSERT_TRUE(recorder->waitFor(20));
    QTest::qWait(100);
    EXPECT_EQ(recorder->replies.size(), 20);
    EXPECT_EQ(reportedInside, 0);
    EXPECT_EQ(lookup->PendingCount(), 0);
    for (const Completed& reply : recorder->replies) {
        if (reply.name == "localhost") EXPECT_EQ(reply.answer, "127.0.0.1");
        else if (reply.name == "192.0.2.77") EXPECT_EQ(reply.answer, "192.0.2.77");
        else EXPECT_EQ(reply.answer, loadAnswer(reply.name.mid(1, reply.name.indexOf('.') - 1).toInt()));
    }
}

TEST_F(LookupWithRbldnsd, CancelAllInsideHandler)
{
    recorder->onReply = [&](const Completed& reply) {
        if (reply.tag != "first") return;
        lookup->CancelAll();
        EXPECT_EQ(lookup->PendingCount(), 0);
        blacklist("2.0.0.127.bl.test.", "after");
        EXPECT_EQ(lookup->PendingCount(), 1);
    };
    for (int i = 0; i < 20; ++i) blacklist(loadName(i), "first");
    host("192.0.2.1", "first");
    ASSERT_TRUE(recorder->waitFor(2));
    QTest::qWait(300);
    ASSERT_EQ(recorder->replies.size(), 2);
    EXPECT_EQ(recorder->replies[0].tag, "first");
    EXPECT_EQ(recorder->replies[1].tag, "after");
    EXPECT_EQ(recorder->replies[1].answer, "127.0.0.2");
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithRbldnsd, ThousandLookupsHundredInFlight)
{
    const int total = 1000, window = 100;
    int next = 0;
    const auto submitNext = [&] {
        blacklist(loadName(next), QString::number(next));
        ++next;
    };
    recorder->onReply = [&](const Completed&) {
        if (next < total) submitNext();
    };
    QElapsedTimer clock;
    clock.start();
    while (next < window) submitNext();
    ASSERT_TRUE(recorder->waitFor(total, 20000)) << recorder->replies.size() << " replies";
    const qint64 elapsed = clock.elapsed();
    std::cout << "1000 lookups, 100 in flight: " << elapsed << " ms\n";
    QTest::qWait(50);

    ASSERT_EQ(recorder->replies.size(), total);
    QSet<QString> names;
    for (const Completed& reply : recorder->replies) {
        const int i = reply.tag.toInt();
        EXPECT_EQ(reply.name, loadName(i));
        EXPECT_EQ(reply.answer, loadAnswer(i)) << reply.name.toStdString();
        EXPECT_EQ(reply.failure, 0);
        names.insert(reply.name);
    }
    EXPECT_EQ(names.size(), total);
    EXPECT_EQ(lookup->PendingCount(), 0);
    EXPECT_LT(elapsed, 1000) << "a lost datagram costs a time-out";
}

TEST_F(LookupWithRbldnsd, ThousandLookupsAtOnceAreThrottled)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) blacklist(loadName(i), QString::number(i));
    EXPECT_EQ(lookup->PendingCount(), 1000);
    ASSERT_TRUE(recorder->waitFor(1000, 20000)) << recorder->replies.size() << " replies";
    const qint64 elapsed = clock.elapsed();
    std::cout << "1000 lookups at once: " << elapsed << " ms\n";
    QSet<int> seen;
    for (const Completed& reply : recorder->replies) {
        EXPECT_EQ(reply.answer, loadAnswer(reply.tag.toInt()));
        seen.insert(reply.tag.toInt());
    }
    EXPECT_EQ(seen.size(), 1000);
    // Without the in-flight limit the server drops part of the burst and
    // those lookups wait for a retry after a second.
    EXPECT_LT(elapsed, 1000);
}

// From here on a scripted server in this process.
namespace {

class LookupWithFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(fake.start(&error)) << error.toStdString();
        lookup = std::make_unique<AresDnsLookup>(QStringList{fake.serverSpec()});
        recorder = std::make_unique<Recorder>(*lookup);
        lookup->setBlacklistQuery(true);
    }
    void blacklist(const QString& name)
    {
        lookup->setRequestTag(name);
        lookup->setBlacklistQuery(true);
        lookup->Lookup(name);
    }

    FakeDnsServer fake;
    std::unique_ptr<AresDnsLookup> lookup;
    std::unique_ptr<Recorder> recorder;
};

using Fake = FakeDnsServer;

} // namespace

TEST_F(LookupWithFake, CancelAllDropsQueriesInFlight)
{
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 200);
    });
    for (int i = 0; i < 5; ++i) blacklist(QStringLiteral("%1.bl.test.").arg(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() == 5; }, 2000));
    EXPECT_EQ(lookup->PendingCount(), 5);
    lookup->setBlacklistQuery(false);
    lookup->Lookup("192.0.2.1"); // its result is already queued
    lookup->CancelAll();
    EXPECT_EQ(lookup->PendingCount(), 0);
    QTest::qWait(500); // the delayed replies arrive meanwhile
    EXPECT_TRUE(recorder->replies.isEmpty());

    blacklist("again.bl.test.");
    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->replies[0].name, "again.bl.test.");
    EXPECT_EQ(recorder->replies[0].answer, "127.0.0.2");
    EXPECT_EQ(lookup->PendingCount(), 0);
    QTest::qWait(100);
    EXPECT_EQ(recorder->replies.size(), 1);
}

// Answered synchronously by c-ares, yet reported from the event loop.
TEST_F(LookupWithFake, HostsFileAndLiteralsNeedNoServer)
{
    fake.setScript([](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, 0, {Fake::A("192.0.2.99")})); });
    lookup->setBlacklistQuery(false);
    lookup->Lookup("localhost");
    lookup->Lookup("198.51.100.7");
    EXPECT_TRUE(recorder->replies.isEmpty());
    ASSERT_TRUE(recorder->waitFor(2));
    EXPECT_EQ(recorder->only("localhost").answer, "127.0.0.1");
    EXPECT_EQ(recorder->only("localhost").failure, 0);
    EXPECT_EQ(recorder->only("198.51.100.7").answer, "198.51.100.7");
    EXPECT_EQ(recorder->only("198.51.100.7").failure, 0);
    EXPECT_TRUE(fake.queries().isEmpty());
}

TEST_F(LookupWithFake, SilentServerFailsAfterTwoTries)
{
    QElapsedTimer clock;
    clock.start();
    blacklist("silent.bl.test.");
    lookup->setBlacklistQuery(false);
    lookup->Lookup("silent.host.test.");
    ASSERT_TRUE(recorder->waitFor(2, 6000));
    const qint64 elapsed = clock.elapsed();
    std::cout << "silent server gave up after " << elapsed << " ms\n";
    for (const Completed& reply : recorder->replies) {
        EXPECT_EQ(reply.answer, "");
        EXPECT_EQ(reply.failure, ARES_ETIMEOUT) << reply.name.toStdString();
    }
    // 1 s for the first try, 2 s for the second.
    EXPECT_GE(elapsed, 2800);
    EXPECT_LE(elapsed, 4000);
    int tries = 0;
    for (const Fake::Query& q : fake.queries()) tries += q.name == "silent.bl.test" ? 1 : 0;
    EXPECT_EQ(tries, 2);
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithFake, MalformedRepliesFailWithoutCrashing)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        const QByteArray good = Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")});
        if (q.name == "cut.test") return Fake::Reply(good.left(good.size() - 3));
        if (q.name == "count.test") {
            QByteArray claimsMore = good;
            claimsMore[7] = 5; // five answers announced, one present
            return Fake::Reply(claimsMore);
        }
        if (q.name == "loop.test") {
            // The answer's owner name points at itself.
            QByteArray looping = good;
            const qsizetype owner = 12 + q.question.size();
            looping[owner] = char(0xC0);
            looping[owner + 1] = char(owner);
            return Fake::Reply(looping);
        }
        if (q.name == "header.test") // a stub of a header first, then the real reply
            return {Fake::Send{good.left(5)}, Fake::Send{good}};
        if (q.name == "garbage.test") {
            QByteArray noise(300, Qt::Uninitialized);
            quint32 seed = 12345;
            for (char& c : noise) c = char((seed = seed * 1103515245 + 12345) >> 16);
            noise[0] = good[0];
            noise[1] = good[1];
            return {Fake::Send{noise}, Fake::Send{good}};
        }
        if (q.name == "empty.test") return {Fake::Send{QByteArray()}, Fake::Send{good}};
        return {};
    });
    for (const char* name : {"cut.test.", "count.test.", "loop.test.", "header.test.", "garbage.test.", "empty.test."})
        blacklist(name);
    ASSERT_TRUE(recorder->waitFor(6));
    for (const char* name : {"cut.test.", "count.test.", "loop.test."}) {
        EXPECT_EQ(recorder->only(name).answer, "") << name;
        EXPECT_NE(recorder->only(name).failure, 0) << name;
    }
    // What could not be a reply was dropped; the real reply behind it counts.
    for (const char* name : {"header.test.", "garbage.test.", "empty.test."}) {
        EXPECT_EQ(recorder->only(name).answer, "127.0.0.2") << name;
        EXPECT_EQ(recorder->only(name).failure, 0) << name;
    }
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithFake, RecordsOfOtherTypesOrNamesAreIgnored)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "txt.test")
            return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::Txt({"127.0.0.2"})}));
        if (q.name == "cname.test")
            return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::Cname("target.test")}));
        if (q.name == "chain.test")
            return Fake::Reply(Fake::BuildReply(
                q, Fake::NoError, {Fake::Cname("target.test"), Fake::A("127.0.0.3", "target.test")}));
        if (q.name == "mixed.test")
            return Fake::Reply(Fake::BuildReply(
                q, Fake::NoError,
                {Fake::Txt({"x"}), Fake::A("127.0.0.66", "evil.test"), Fake::A("127.0.0.4"), Fake::Mx(1, "mx.test")}));
        if (q.name == "stranger.test")
            return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.66", "evil.test")}));
        return {};
    });
    for (const char* name : {"txt.test.", "cname.test.", "chain.test.", "mixed.test.", "stranger.test."})
        blacklist(name);
    ASSERT_TRUE(recorder->waitFor(5));
    for (const char* name : {"txt.test.", "cname.test.", "stranger.test."}) {
        EXPECT_EQ(recorder->only(name).answer, "") << name;
        EXPECT_NE(recorder->only(name).failure, 0) << name;
    }
    EXPECT_EQ(recorder->only("chain.test.").answer, "127.0.0.3");
    EXPECT_EQ(recorder->only("mixed.test.").answer, "127.0.0.4");
}

TEST_F(LookupWithFake, HundredsOfAddressesComeOverTcp)
{
    QList<Fake::Record> records;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        // Descending, so any sorting shows.
        const QString address = QStringLiteral("10.0.%1.%2").arg((299 - i) / 256).arg((299 - i) % 256);
        records.append(Fake::A(address.toLatin1()));
        expected.append(address);
    }
    fake.setScript([&](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, Fake::NoError, records)); });
    blacklist("many.test.");
    ASSERT_TRUE(recorder->waitFor(1));
    EXPECT_EQ(recorder->replies[0].failure, 0);
    EXPECT_EQ(recorder->replies[0].answer, expected.join(' '));
    EXPECT_EQ(fake.queryCount(true), 1) << "the truncated UDP reply sends the query again over TCP";
}

TEST_F(LookupWithFake, RepliesNeverGoToAnotherRequest)
{
    // Only once both queries are in: replies carrying the other query's ID
    // or a stray ID, then the real ones.
    QHash<QByteArray, Fake::Query> seen;
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        seen.insert(q.name, q);
        if (seen.size() < 2) return {};
        const Fake::Query a = seen.value("a.test"), b = seen.value("b.test");
        return {Fake::Send{Fake::BuildReply(a, Fake::NoError, {Fake::A("127.0.0.66")}, b.id)},
                Fake::Send{Fake::BuildReply(b, Fake::NoError, {Fake::A("127.0.0.67")}, a.id)},
                Fake::Send{Fake::BuildReply(a, Fake::NoError, {Fake::A("127.0.0.68")}, quint16(a.id ^ b.id ^ 0x5a5a))},
                Fake::Send{Fake::BuildReply(a, Fake::NoError, {Fake::A("127.0.0.1")}), 50},
                Fake::Send{Fake::BuildReply(b, Fake::NoError, {Fake::A("127.0.0.2")}), 50}};
    });
    blacklist("a.test.");
    blacklist("b.test.");
    ASSERT_TRUE(recorder->waitFor(2));
    EXPECT_EQ(recorder->only("a.test.").answer, "127.0.0.1");
    EXPECT_EQ(recorder->only("b.test.").answer, "127.0.0.2");
    EXPECT_EQ(recorder->only("a.test.").tag, "a.test.");
}

TEST_F(LookupWithFake, DestroyingTheControlWithQueriesInFlight)
{
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 100);
    });
    // Destroyed before the event loop ran, and after only the literal's
    // reply was out: the network reply comes later and must go nowhere.
    for (const auto& [waitMs, expected] : {std::pair{-1, 0}, std::pair{30, 1}}) {
        int reported = 0;
        {
            AresDnsLookup doomed(QStringList{fake.serverSpec()});
            QObject::connect(&doomed, &DnsLookup::LookupComplete, [&] { ++reported; });
            doomed.setBlacklistQuery(true);
            doomed.Lookup("doomed.test.");
            doomed.setBlacklistQuery(false);
            doomed.Lookup("192.0.2.1");
            if (waitMs >= 0) QTest::qWait(waitMs);
        }
        QTest::qWait(200);
        EXPECT_EQ(reported, expected) << "waited " << waitMs << " ms";
    }
}

TEST_F(LookupWithFake, DistantServerGetsMoreQueriesInFlightThanANearOne)
{
    // Every reply takes 40 ms: the server keeps up, the queries are simply
    // on the way. The window must grow past its start, or a far server
    // would be held to a hundred queries per round trip.
    std::vector<qint64> arrivals;
    QElapsedTimer clock;
    clock.start();
    fake.setScript([&](const FakeDnsServer::Query& q) {
        arrivals.push_back(clock.elapsed());
        return FakeDnsServer::Reply(FakeDnsServer::BuildReply(q, FakeDnsServer::NoError, {FakeDnsServer::A("127.0.0.2")}),
                                    40);
    });
    for (int i = 0; i < 1200; ++i) blacklist(QString("%1.far.test.").arg(i));
    ASSERT_TRUE(recorder->waitFor(1200, 20000));
    for (const Completed& reply : recorder->replies) EXPECT_EQ(reply.answer, "127.0.0.2");
    // Queries at the server at once: those that arrived in the last 40 ms.
    size_t maxAtServer = 0;
    for (size_t i = 0, first = 0; i < arrivals.size(); ++i) {
        while (arrivals[i] - arrivals[first] >= 40) ++first;
        maxAtServer = std::max(maxAtServer, i - first + 1);
    }
    EXPECT_GT(maxAtServer, 150u);
}
