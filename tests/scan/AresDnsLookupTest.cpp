#include "scan/AresDnsLookup.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdServer.h"

#include <ares.h>

#include <QElapsedTimer>
#include <QHash>
#include <QTest>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;

struct Completed {
    QString name, answer;
    int failure = 0;
    QString tag;
};

// The address a load-test name answers: unique per index, so a reply
// attached to the wrong request shows.
QString loadAnswer(int i) { return QStringLiteral("127.1.%1.%2").arg(i / 256).arg(i % 256); }
QString loadName(int i) { return QStringLiteral("h%1.load.test.").arg(i); }

// One control and every LookupComplete it reports; onReply runs inside the
// handler, for tests that act from there.
class LookupTest : public ::testing::Test {
protected:
    void makeLookup(const QString& server)
    {
        lookup = std::make_unique<AresDnsLookup>(QStringList{server});
        QObject::connect(lookup.get(), &DnsLookup::LookupComplete, lookup.get(),
                         [this](const QString& name, const QString& answer, int failure, const QString& tag,
                                const QVariant&) {
                             replies.append(Completed{name, answer, failure, tag});
                             if (onReply) onReply(replies.last());
                         });
    }
    void submit(const QString& name, bool blacklist = true, const QString& tag = "t")
    {
        lookup->setRequestTag(tag);
        lookup->setBlacklistQuery(blacklist);
        lookup->setRequestFlag(true);
        lookup->Lookup(name);
    }
    bool waitFor(qsizetype count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return replies.size() >= count; }, timeoutMs);
    }
    // The one reply tagged tag; fails the test when there is not exactly one.
    Completed only(const QString& tag) const
    {
        Completed found;
        int count = 0;
        for (const Completed& reply : replies)
            if (reply.tag == tag) found = reply, ++count;
        EXPECT_EQ(count, 1) << "replies tagged " << tag.toStdString();
        return found;
    }

    std::unique_ptr<AresDnsLookup> lookup;
    QList<Completed> replies;
    std::function<void(const Completed&)> onReply;
};

class LookupWithRbldnsd : public LookupTest {
protected:
    void SetUp() override
    {
        server.addZone("bl.test", "ip4set",
                       "$SOA 0 ns.bl.test hostmaster.bl.test 0 1h 10m 1d 1m\n$NS 0 ns.bl.test\n"
                       ":127.0.0.2:Listed in bl.test, see http://bl.test/lookup?ip=$\n"
                       "127.0.0.2\n192.0.2.10 :127.0.0.4:Spam source $ (code 4)\n");
        server.addZone("multi.test", "generic", "2.0.0.127 A 127.0.0.2\n2.0.0.127 A 127.0.0.10\n");
        server.addZone("hosts.test", "generic", "mx1 A 192.0.2.10\nwww TXT \"v=spf1 -all\"\n@ MX 10 mx1.hosts.test\n");
        QString load;
        for (int i = 0; i < 1000; ++i) load += QStringLiteral("h%1 A %2\n").arg(i).arg(loadAnswer(i));
        server.addZone("load.test", "generic", load);
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
        makeLookup(server.serverSpec());
    }

    RbldnsdServer server;
};

} // namespace

// Each reply carries the tag and mode its request had when it was made, and
// comes from the event loop with PendingCount already down by one, even
// for those settled inside Lookup (literals, hosts file, bad names).
TEST_F(LookupWithRbldnsd, AnswersFailuresTagsAndPendingCount)
{
    constexpr int Refused = -1; // some failure from the server, whichever
    struct Case { QString name; bool blacklist; QString answer; int failure; };
    QList<Case> cases = {
        {"2.0.0.127.bl.test.", true, "127.0.0.2", 0},
        {"10.2.0.192.bl.test.", true, "127.0.0.4", 0},
        // In served order: a text sort would put .10 first.
        {"2.0.0.127.multi.test.", true, "127.0.0.2 127.0.0.10", 0},
        {"3.0.0.127.bl.test.", true, "", ARES_ENOTFOUND},
        {"www.hosts.test.", true, "", ARES_ENODATA}, // a TXT record only
        {"2.0.0.127.elsewhere.test.", true, "", Refused},
        {"localhost.", true, "", Refused}, // the server, not the hosts file
        {"mx1.hosts.test.", false, "192.0.2.10", 0},
        {"missing.hosts.test.", false, "", Refused},
        {"localhost", false, "127.0.0.1", 0},
        {"198.51.100.7", false, "198.51.100.7", 0},
    };
    // Bad names never reach the server; names at the length limits do.
    const QString label63(63, QLatin1Char('a'));
    const QString tooLong = QStringList{label63, label63, label63, label63}.join(QLatin1Char('.')); // 255
    for (const QString& name : QStringList{"", ".", "a..b.test.", "..", "a\x01" "b.test.", "a b.test.", "a\\.b.test.",
                                           "tab\tname.", label63 + "a.test.", tooLong, tooLong + "."})
        for (bool blacklist : {true, false}) cases.append({name, blacklist, "", ARES_EBADNAME});
    cases.append({label63 + ".test.", true, "", Refused});
    cases.append({QStringList{label63, label63, label63, QString(61, 'b')}.join('.') + ".", true, "", Refused});

    for (qsizetype i = 0; i < cases.size(); ++i) submit(cases[i].name, cases[i].blacklist, QString::number(i));
    lookup->setRequestTag("changed");
    lookup->setBlacklistQuery(false);
    EXPECT_EQ(lookup->PendingCount(), cases.size());
    EXPECT_TRUE(replies.isEmpty()) << "nothing is reported from inside Lookup";
    QList<int> seen, expected;
    onReply = [&](const Completed&) { seen.append(lookup->PendingCount()); };
    ASSERT_TRUE(waitFor(cases.size()));
    QTest::qWait(100);
    for (int left = int(cases.size()) - 1; left >= 0; --left) expected.append(left);
    EXPECT_EQ(seen, expected);
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Completed reply = only(QString::number(i));
        SCOPED_TRACE(c.name.toStdString() + (c.blacklist ? " (blacklist)" : " (host)"));
        EXPECT_EQ(reply.name, c.name);
        EXPECT_EQ(reply.answer, c.answer);
        if (c.failure != Refused) EXPECT_EQ(reply.failure, c.failure);
        else EXPECT_TRUE(reply.failure != 0 && reply.failure != ARES_EBADNAME) << reply.failure;
    }
}

TEST_F(LookupWithRbldnsd, HandlerMayLookUpAgain)
{
    bool insideLookup = false;
    int reportedInside = 0;
    onReply = [&](const Completed& reply) {
        reportedInside += insideLookup ? 1 : 0;
        if (reply.tag != "first") return;
        insideLookup = true;
        // One network query, one hosts-file hit and one literal per reply.
        submit(reply.name, true, "again");
        submit("localhost", false, "again");
        submit("192.0.2.77", false, "again");
        insideLookup = false;
    };
    QHash<QString, QString> answers{{"localhost", "127.0.0.1"}, {"192.0.2.77", "192.0.2.77"}};
    for (int i = 0; i < 5; ++i) submit(loadName(i), true, "first"), answers.insert(loadName(i), loadAnswer(i));
    ASSERT_TRUE(waitFor(20));
    QTest::qWait(100);
    EXPECT_EQ(replies.size(), 20);
    EXPECT_EQ(reportedInside, 0);
    EXPECT_EQ(lookup->PendingCount(), 0);
    for (const Completed& reply : replies) EXPECT_EQ(reply.answer, answers.value(reply.name)) << reply.name.toStdString();
}

TEST_F(LookupWithRbldnsd, CancelAllInsideHandler)
{
    onReply = [&](const Completed& reply) {
        if (reply.tag != "first") return;
        lookup->CancelAll();
        EXPECT_EQ(lookup->PendingCount(), 0);
        submit("2.0.0.127.bl.test.", true, "after");
        EXPECT_EQ(lookup->PendingCount(), 1);
    };
    for (int i = 0; i < 20; ++i) submit(loadName(i), true, "first");
    submit("192.0.2.1", false, "first");
    ASSERT_TRUE(waitFor(2));
    QTest::qWait(300);
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(replies[0].tag, "first");
    EXPECT_EQ(replies[1].tag, "after");
    EXPECT_EQ(replies[1].answer, "127.0.0.2");
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithRbldnsd, ThousandLookupsAtOnceAreThrottled)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 1000; ++i) submit(loadName(i), true, QString::number(i));
    EXPECT_EQ(lookup->PendingCount(), 1000);
    ASSERT_TRUE(waitFor(1000, 20000)) << replies.size() << " replies";
    const qint64 elapsed = clock.elapsed();
    QSet<int> seen;
    for (const Completed& reply : replies) {
        const int i = reply.tag.toInt();
        EXPECT_EQ(reply.name, loadName(i));
        EXPECT_EQ(reply.answer, loadAnswer(i));
        seen.insert(i);
    }
    EXPECT_EQ(seen.size(), 1000);
    EXPECT_EQ(lookup->PendingCount(), 0);
    // Without the in-flight limit the server drops part of the burst and
    // those lookups wait for a retry after a second.
    EXPECT_LT(elapsed, 1000);
}

// From here on a scripted server in this process.
namespace {

class LookupWithFake : public LookupTest {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(fake.start(&error)) << error.toStdString();
        makeLookup(fake.serverSpec());
    }

    FakeDnsServer fake;
};

} // namespace

TEST_F(LookupWithFake, CancelAllDropsQueriesInFlight)
{
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 200);
    });
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.bl.test.").arg(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() == 5; }, 2000));
    EXPECT_EQ(lookup->PendingCount(), 5);
    submit("192.0.2.1", false); // its result is already queued
    lookup->CancelAll();
    EXPECT_EQ(lookup->PendingCount(), 0);
    QTest::qWait(500); // the delayed replies arrive meanwhile
    EXPECT_TRUE(replies.isEmpty());

    submit("again.bl.test.");
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(replies[0].name, "again.bl.test.");
    EXPECT_EQ(replies[0].answer, "127.0.0.2");
    EXPECT_EQ(lookup->PendingCount(), 0);
    QTest::qWait(100);
    EXPECT_EQ(replies.size(), 1);
}

// Broken packets, records of other types or owners, replies under another
// query's ID, a reply too big for UDP and none at all. A name expecting ""
// must fail.
TEST_F(LookupWithFake, HostileOversizedAndMissingReplies)
{
    QList<Fake::Record> many;
    QStringList manyText;
    for (int i = 299; i >= 0; --i) { // descending, so any sorting shows
        manyText.append(QStringLiteral("10.0.%1.%2").arg(i / 256).arg(i % 256));
        many.append(Fake::A(manyText.last().toLatin1()));
    }
    QHash<QByteArray, Fake::Query> seen;
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        seen.insert(q.name, q);
        const auto reply = [&](const QList<Fake::Record>& records) { return Fake::BuildReply(q, 0, records); };
        const QByteArray good = reply({Fake::A("127.0.0.2")});
        if (q.name.startsWith("silent")) return {};
        if (q.name == "cut.test") return Fake::Reply(good.left(good.size() - 3));
        if (q.name == "count.test") {
            QByteArray claimsMore = good;
            claimsMore[7] = 5; // five answers announced, one present
            return Fake::Reply(claimsMore);
        }
        if (q.name == "loop.test") { // the answer's owner name points at itself
            QByteArray looping = good;
            const qsizetype owner = 12 + q.question.size();
            looping[owner] = char(0xC0);
            looping[owner + 1] = char(owner);
            return Fake::Reply(looping);
        }
        // What cannot be a reply is dropped; the real reply behind it counts.
        if (q.name == "header.test") return {Fake::Send{good.left(5)}, Fake::Send{good}};
        if (q.name == "empty.test") return {Fake::Send{QByteArray()}, Fake::Send{good}};
        if (q.name == "garbage.test") {
            QByteArray noise(300, Qt::Uninitialized);
            quint32 seed = 12345;
            for (char& c : noise) c = char((seed = seed * 1103515245 + 12345) >> 16);
            noise[0] = good[0];
            noise[1] = good[1];
            return {Fake::Send{noise}, Fake::Send{good}};
        }
        if (q.name == "txt.test") return Fake::Reply(reply({Fake::Txt({"127.0.0.2"})}));
        if (q.name == "cname.test") return Fake::Reply(reply({Fake::Cname("target.test")}));
        if (q.name == "chain.test") return Fake::Reply(reply({Fake::Cname("target.test"), Fake::A("127.0.0.3", "target.test")}));
        if (q.name == "mixed.test")
            return Fake::Reply(reply({Fake::Txt({"x"}), Fake::A("127.0.0.66", "evil.test"), Fake::A("127.0.0.4"),
                                      Fake::Mx(1, "mx.test")}));
        if (q.name == "stranger.test") return Fake::Reply(reply({Fake::A("127.0.0.66", "evil.test")}));
        if (q.name == "many.test") return Fake::Reply(reply(many));
        // Once both are in: each under the other's ID or a stray one, then the real ones.
        if (!seen.contains("a.test") || !seen.contains("b.test")) return {};
        const Fake::Query a = seen.value("a.test"), b = seen.value("b.test");
        return {Fake::Send{Fake::BuildReply(a, 0, {Fake::A("127.0.0.66")}, b.id)},
                Fake::Send{Fake::BuildReply(b, 0, {Fake::A("127.0.0.67")}, a.id)},
                Fake::Send{Fake::BuildReply(a, 0, {Fake::A("127.0.0.68")}, quint16(a.id ^ b.id ^ 0x5a5a))},
                Fake::Send{Fake::BuildReply(a, 0, {Fake::A("127.0.0.1")}), 50},
                Fake::Send{Fake::BuildReply(b, 0, {Fake::A("127.0.0.2")}), 50}};
    });
    const QList<std::pair<QString, QString>> expected = {
        {"cut.test.", ""},           {"count.test.", ""},          {"loop.test.", ""},
        {"header.test.", "127.0.0.2"}, {"empty.test.", "127.0.0.2"}, {"garbage.test.", "127.0.0.2"},
        {"txt.test.", ""},           {"cname.test.", ""},          {"stranger.test.", ""},
        {"chain.test.", "127.0.0.3"}, {"mixed.test.", "127.0.0.4"}, {"many.test.", manyText.join(' ')},
        {"a.test.", "127.0.0.1"},    {"b.test.", "127.0.0.2"}};
    QElapsedTimer clock;
    clock.start();
    for (const auto& [name, answer] : expected) submit(name, true, name);
    submit("silent.bl.test.", true, "silent");
    submit("silent.host.test.", false, "silent host");
    ASSERT_TRUE(waitFor(expected.size() + 2, 6000));
    // 1 s for the first try, 2 s for the second.
    EXPECT_GE(clock.elapsed(), 2800);
    EXPECT_LE(clock.elapsed(), 4000);
    for (const auto& [name, answer] : expected) {
        const Completed reply = only(name);
        EXPECT_EQ(reply.answer, answer) << name.toStdString();
        EXPECT_EQ(reply.failure != 0, answer.isEmpty()) << name.toStdString();
    }
    for (const char* tag : {"silent", "silent host"}) {
        EXPECT_EQ(only(tag).answer, "");
        EXPECT_EQ(only(tag).failure, ARES_ETIMEOUT);
    }
    int tries = 0;
    for (const Fake::Query& q : fake.queries()) tries += q.name == "silent.bl.test" ? 1 : 0;
    EXPECT_EQ(tries, 2);
    EXPECT_EQ(fake.queryCount(true), 1) << "the truncated UDP reply sends the query again over TCP";
    EXPECT_EQ(lookup->PendingCount(), 0);
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
    fake.setScript([&](const Fake::Query& q) {
        arrivals.push_back(clock.elapsed());
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 40);
    });
    for (int i = 0; i < 1200; ++i) submit(QString("%1.far.test.").arg(i));
    ASSERT_TRUE(waitFor(1200, 20000));
    for (const Completed& reply : replies) EXPECT_EQ(reply.answer, "127.0.0.2");
    // Queries at the server at once: those that arrived in the last 40 ms.
    size_t maxAtServer = 0;
    for (size_t i = 0, first = 0; i < arrivals.size(); ++i) {
        while (arrivals[i] - arrivals[first] >= 40) ++first;
        maxAtServer = std::max(maxAtServer, i - first + 1);
    }
    EXPECT_GT(maxAtServer, 150u);
}
