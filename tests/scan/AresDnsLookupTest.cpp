#include "model/DnsFailure.h"
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
    void makeLookup(const QString& server) { makeLookup(QStringList{server}); }
    void makeLookup(const QStringList& servers)
    {
        lookup = std::make_unique<AresDnsLookup>(servers);
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
    bool waitFor(qsizetype count, int timeoutMs = 30000)
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
        server.addZone("hosts.test", "generic",
                       "mx1 A 192.0.2.10\n@ MX 10 mx1.hosts.test\nxn--bcher-kva A 192.0.2.11\n");
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
// for those settled inside Lookup (literals, hosts file, bad names). Every
// kind of failure in both modes: FailureFlagsForEveryKindOfAnswer.
TEST_F(LookupWithRbldnsd, AnswersFailuresTagsAndPendingCount)
{
    constexpr int Refused = DnsFailure::Refused;
    constexpr int AnyFailure = -1; // the server's answer after the search domains, whichever
    struct Case { QString name; bool blacklist; QString answer; int failure; };
    QList<Case> cases = {
        {"2.0.0.127.bl.test.", true, "127.0.0.2", 0},
        {"10.2.0.192.bl.test.", true, "127.0.0.4", 0},
        // In served order: a text sort would put .10 first.
        {"2.0.0.127.multi.test.", true, "127.0.0.2 127.0.0.10", 0},
        {"3.0.0.127.bl.test.", true, "", DnsFailure::NotFound},
        {"2.0.0.127.elsewhere.test.", true, "", Refused},
        {"localhost.", true, "", Refused}, // the server, not the hosts file
        {"mx1.hosts.test.", false, "192.0.2.10", 0},
        {QString::fromUtf8("b\u00fccher.hosts.test."), false, "192.0.2.11", 0}, // asked in its ASCII form
        {"missing.hosts.test", false, "", AnyFailure},
        {"localhost", false, "127.0.0.1", 0},
        {"198.51.100.7", false, "198.51.100.7", 0},
    };
    // Bad names never reach the server; names at the length limits do.
    const QString label63(63, QLatin1Char('a'));
    const QString tooLong = QStringList{label63, label63, label63, label63}.join(QLatin1Char('.')); // 255
    for (const QString& name : QStringList{"", ".", "a..b.test.", "..", "a\x01" "b.test.", "a b.test.", "a\\.b.test.",
                                           "tab\tname.", label63 + "a.test.", tooLong, tooLong + "."})
        for (bool blacklist : {true, false}) cases.append({name, blacklist, "", DnsFailure::BadName});
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
    for (int left = int(cases.size()) - 1; left >= 0; --left) expected.append(left);
    EXPECT_EQ(seen, expected);
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const Completed reply = only(QString::number(i));
        SCOPED_TRACE(c.name.toStdString() + (c.blacklist ? " (blacklist)" : " (host)"));
        EXPECT_EQ(reply.name, c.name);
        EXPECT_EQ(reply.answer, c.answer);
        if (c.failure != AnyFailure) {
            EXPECT_EQ(reply.failure, c.failure);
        } else {
            EXPECT_TRUE(reply.failure != 0 && reply.failure != DnsFailure::BadName) << reply.failure;
        }
    }
}

// From inside the handler CancelAll drops the other lookups (a literal's
// queued result too), and new lookups are reported later, never from inside
// Lookup.
TEST_F(LookupWithRbldnsd, HandlerMayCancelAndLookUpAgain)
{
    bool insideLookup = false;
    int reportedInside = 0;
    onReply = [&](const Completed& reply) {
        reportedInside += insideLookup ? 1 : 0;
        if (reply.tag != "first") return;
        insideLookup = true;
        lookup->CancelAll();
        EXPECT_EQ(lookup->PendingCount(), 0);
        // One network query, one hosts-file hit and one literal.
        submit("2.0.0.127.bl.test.", true, "again");
        submit("localhost", false, "again");
        submit("192.0.2.77", false, "again");
        EXPECT_EQ(lookup->PendingCount(), 3);
        insideLookup = false;
    };
    for (int i = 0; i < 20; ++i) submit(loadName(i), true, "first");
    submit("192.0.2.1", false, "first");
    ASSERT_TRUE(waitFor(4));
    EXPECT_FALSE(waitFor(5, 300)) << "a cancelled lookup reported, or a reply came twice";
    EXPECT_EQ(reportedInside, 0);
    EXPECT_EQ(lookup->PendingCount(), 0);
    EXPECT_EQ(replies[0].tag, "first");
    const QHash<QString, QString> answers{{"2.0.0.127.bl.test.", "127.0.0.2"}, {"localhost", "127.0.0.1"}, {"192.0.2.77", "192.0.2.77"}};
    for (const Completed& reply : replies.mid(1)) {
        EXPECT_EQ(reply.tag, "again");
        EXPECT_EQ(reply.answer, answers.value(reply.name)) << reply.name.toStdString();
    }
}

TEST_F(LookupWithRbldnsd, ThousandLookupsAtOnceAreThrottled)
{
    for (int i = 0; i < 1000; ++i) submit(loadName(i), true, QString::number(i));
    EXPECT_EQ(lookup->PendingCount(), 1000);
    ASSERT_TRUE(waitFor(1000)) << replies.size() << " replies";
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
    // those lookups are sent again after their time-out.
    EXPECT_EQ(lookup->QueriesSent(), 1000);
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
    // Queries for name (dotted, no trailing dot) the server has seen.
    static int asked(const FakeDnsServer& server, const QByteArray& name)
    {
        int count = 0;
        for (const Fake::Query& q : server.queries()) count += q.name == name ? 1 : 0;
        return count;
    }

    FakeDnsServer fake;
};

} // namespace

// Broken packets, records of other types or owners, replies under another
// query's ID and a reply too big for UDP. A name expecting "" must fail.
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
    lookup->setTuning(DnsTuning{600, 2});
    for (const auto& [name, answer] : expected) submit(name, true, name);
    ASSERT_TRUE(waitFor(expected.size()));
    for (const auto& [name, answer] : expected) {
        const Completed reply = only(name);
        EXPECT_EQ(reply.answer, answer) << name.toStdString();
        EXPECT_EQ(reply.failure != 0, answer.isEmpty()) << name.toStdString();
    }
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
            if (waitMs >= 0) {
                EXPECT_TRUE(QTest::qWaitFor([&] { return reported == 1; }, 20000));
            }
        }
        EXPECT_FALSE(QTest::qWaitFor([&, limit = expected] { return reported > limit; }, 300)) << "waited " << waitMs << " ms";
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
    ASSERT_TRUE(waitFor(1200));
    for (const Completed& reply : replies) EXPECT_EQ(reply.answer, "127.0.0.2");
    // Queries at the server at once: those that arrived in the last 40 ms.
    size_t maxAtServer = 0;
    for (size_t i = 0, first = 0; i < arrivals.size(); ++i) {
        while (arrivals[i] - arrivals[first] >= 40) ++first;
        maxAtServer = std::max(maxAtServer, i - first + 1);
    }
    EXPECT_GT(maxAtServer, 150u);
}

// Every kind of answer gets its own flag, in both modes, and a server failure
// is reported at once: with one server there is nobody else to ask.
TEST_F(LookupWithFake, FailureFlagsForEveryKindOfAnswer)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        const QByteArray label = q.name.left(q.name.indexOf('.'));
        const auto reply = [&](int rcode, const QList<Fake::Record>& records = {}) {
            return Fake::Reply(Fake::BuildReply(q, rcode, records));
        };
        if (label == "two") return reply(Fake::NoError, {Fake::A("127.0.0.2"), Fake::A("127.0.0.10")});
        if (label == "nx") return reply(Fake::NxDomain);
        if (label == "empty") return reply(Fake::NoError);
        if (label == "txtonly") return reply(Fake::NoError, {Fake::Txt({"127.0.0.2"})});
        if (label == "servfail") return reply(Fake::ServFail);
        if (label == "refused") return reply(Fake::Refused);
        if (label == "formerr") return reply(Fake::FormErr);
        if (label == "notimp") return reply(4);
        if (label == "cut") {
            const QByteArray good = Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")});
            return Fake::Reply(good.left(good.size() - 3));
        }
        return {}; // silent
    });
    lookup->setTuning(DnsTuning{400, 2});
    struct Case {
        const char* label;
        QString blacklistAnswer, hostAnswer; // a host lookup gives the first address only
        QList<int> flags;                    // any of these
        int tries;
    };
    const QList<Case> cases = {
        {"two", "127.0.0.2 127.0.0.10", "127.0.0.2", {DnsFailure::None}, 1},
        {"nx", "", "", {DnsFailure::NotFound}, 1},
        {"empty", "", "", {DnsFailure::NoData}, 1},
        {"txtonly", "", "", {DnsFailure::NoData}, 1},
        {"servfail", "", "", {DnsFailure::ServerFailure}, 1},
        {"refused", "", "", {DnsFailure::Refused, DnsFailure::ConnectionRefused}, 1},
        {"formerr", "", "", {DnsFailure::FormatError}, 1},
        {"notimp", "", "", {DnsFailure::NotImplemented}, 1},
        {"cut", "", "", {DnsFailure::BadResponse}, 1},
        {"silent", "", "", {DnsFailure::Timeout}, 2},
    };
    for (const Case& c : cases)
        for (bool blacklist : {true, false})
            submit(QStringLiteral("%1.%2.test.").arg(c.label, blacklist ? "bl" : "host"), blacklist,
                   QStringLiteral("%1 %2").arg(c.label).arg(blacklist));
    ASSERT_TRUE(waitFor(cases.size() * 2));
    for (const Case& c : cases) {
        for (bool blacklist : {true, false}) {
            SCOPED_TRACE(std::string(c.label) + (blacklist ? " (blacklist)" : " (host)"));
            const Completed reply = only(QStringLiteral("%1 %2").arg(c.label).arg(blacklist));
            EXPECT_EQ(reply.answer, blacklist ? c.blacklistAnswer : c.hostAnswer);
            EXPECT_TRUE(c.flags.contains(reply.failure)) << "flag " << reply.failure;
            EXPECT_EQ(DnsFailure::IsNegativeAnswer(reply.failure),
                      c.flags.first() == DnsFailure::NotFound || c.flags.first() == DnsFailure::NoData);
            EXPECT_EQ(asked(fake, QByteArray(c.label) + (blacklist ? ".bl.test" : ".host.test")), c.tries);
        }
    }
    EXPECT_EQ(lookup->PendingCount(), 0);
}

TEST_F(LookupWithFake, ClosedPortIsRefused)
{
    QString server;
    {
        FakeDnsServer closed; // started and gone: nobody listens on its port
        QString error;
        ASSERT_TRUE(closed.start(&error)) << error.toStdString();
        server = closed.serverSpec();
    }
    makeLookup(server);
    submit("x.bl.test.", true, "blacklist");
    submit("x.host.test.", false, "host");
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(only("blacklist").failure, DnsFailure::ConnectionRefused);
    EXPECT_EQ(only("host").failure, DnsFailure::ConnectionRefused);
}

// A path slower than the old fixed second: the first queries wait the
// initial time-out, later ones the measured round trip plus a margin.
// Nothing is sent twice.
TEST_F(LookupWithFake, SlowServerIsAskedOnceAndAnswered)
{
    constexpr int DelayMs = 1500;
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), DelayMs);
    });
    for (int wave = 0; wave < 2; ++wave) {
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 10; ++i) submit(QStringLiteral("w%1-%2.slow.test.").arg(wave).arg(i));
        ASSERT_TRUE(waitFor(10 * (wave + 1)));
        EXPECT_GE(clock.elapsed(), DelayMs - 50);
    }
    for (const Completed& reply : replies) {
        EXPECT_EQ(reply.answer, "127.0.0.2") << reply.name.toStdString();
        EXPECT_EQ(reply.failure, 0);
        EXPECT_EQ(asked(fake, reply.name.chopped(1).toLatin1()), 1) << reply.name.toStdString();
    }
    EXPECT_EQ(fake.queries().size(), 20);
    EXPECT_EQ(lookup->QueriesSent(), 20);
    EXPECT_EQ(lookup->PendingCount(), 0);
}

// After replies from a near server the wait is the floor of a second. The
// second try waits as long again (the first one still listens), the third
// twice as long, up to the tuning's cap. Then Timeout, once.
TEST_F(LookupWithFake, RetryScheduleThenTimeout)
{
    std::vector<qint64> arrivals;
    QElapsedTimer clock;
    clock.start();
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name != "near.test") {
            arrivals.push_back(clock.elapsed());
            return {};
        }
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}));
    });
    lookup->setTuning(DnsTuning{1500, 3});
    for (int i = 0; i < 5; ++i) submit("near.test.", true, "near");
    ASSERT_TRUE(waitFor(5));
    submit("silent.test.", true, "silent");
    ASSERT_TRUE(waitFor(6));
    const qint64 reported = clock.elapsed();
    ASSERT_EQ(arrivals.size(), 3u);
    EXPECT_GE(arrivals[1] - arrivals[0], 1000 - 20);
    EXPECT_LT(arrivals[1] - arrivals[0], 2500) << "the measured round trip, not the initial 3 s";
    EXPECT_GE(arrivals[2] - arrivals[1], 1000 - 20);
    EXPECT_GE(reported - arrivals[2], 1500 - 20) << "doubled, then capped";
    EXPECT_EQ(only("silent").failure, DnsFailure::Timeout);
    EXPECT_EQ(lookup->PendingCount(), 0);
    EXPECT_FALSE(waitFor(7, 300));
}

// A query sent before any reply came waits the initial guess only until the
// first reply brings a measurement: a zone that never answers, asked along
// with the first queries, costs seconds less.
TEST_F(LookupWithFake, FirstMeasurementShortensTheInitialWait)
{
    std::vector<qint64> arrivals;
    QElapsedTimer clock;
    clock.start();
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "dead.test") {
            arrivals.push_back(clock.elapsed());
            return {};
        }
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 50);
    });
    submit("dead.test.", true, "dead");
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.live.test.").arg(i), true, "live");
    ASSERT_TRUE(waitFor(6));
    EXPECT_EQ(only("dead").failure, DnsFailure::Timeout);
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_GE(arrivals[1] - arrivals[0], 1000 - 20);
    EXPECT_LT(arrivals[1] - arrivals[0], 2500) << "still the initial 3 s";
}

// Each try is a query of its own: a late reply to an earlier try still
// answers, the first reply wins and the others are dropped.
TEST_F(LookupWithFake, FirstReplyToAnyTryWins)
{
    QHash<QByteArray, int> seen;
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        const int tryNumber = ++seen[q.name];
        const QByteArray address = "127.0.0." + QByteArray::number(tryNumber);
        if (q.name == "late.test") // each reply comes after the next try went out
            return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A(address)}), 450);
        if (q.name == "lost.test" && tryNumber == 1) return {};
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A(address)}));
    });
    lookup->setTuning(DnsTuning{300, 3});
    QList<int> pendingSeen;
    onReply = [&](const Completed&) { pendingSeen.append(lookup->PendingCount()); };
    submit("late.test.", true, "late");
    submit("lost.test.", true, "lost");
    ASSERT_TRUE(waitFor(2));
    EXPECT_FALSE(waitFor(3, 1000)) << "a reply to a later try was reported too";
    EXPECT_EQ(only("late").answer, "127.0.0.1");
    EXPECT_EQ(only("lost").answer, "127.0.0.2");
    EXPECT_EQ(seen.value("late.test"), 2) << "answered before a third try";
    EXPECT_EQ(seen.value("lost.test"), 2);
    EXPECT_EQ(pendingSeen, (QList<int>{1, 0}));
}

// Servers are asked in turn: a failure moves on to the next, and later
// queries start at the one that answered.
TEST_F(LookupWithFake, NextServerAfterAFailure)
{
    FakeDnsServer second;
    QString error;
    ASSERT_TRUE(second.start(&error)) << error.toStdString();
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name.startsWith("servfail")) return Fake::Reply(Fake::BuildReply(q, Fake::ServFail));
        return {}; // anything else: silence
    });
    second.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.7")}));
    });
    makeLookup(QStringList{fake.serverSpec(), second.serverSpec()});
    lookup->setTuning(DnsTuning{400, 2});
    submit("servfail.test.", true, "servfail");
    ASSERT_TRUE(waitFor(1));
    submit("silent.test.", true, "silent");
    ASSERT_TRUE(waitFor(2));
    submit("after.test.", true, "after");
    ASSERT_TRUE(waitFor(3));
    for (const char* tag : {"servfail", "silent", "after"}) {
        EXPECT_EQ(only(tag).answer, "127.0.0.7") << tag;
        EXPECT_EQ(only(tag).failure, 0) << tag;
    }
    EXPECT_EQ(asked(fake, "servfail.test"), 1);
    EXPECT_EQ(asked(fake, "silent.test"), 1);
    EXPECT_EQ(asked(fake, "after.test"), 0) << "the silent server is no longer asked first";
    EXPECT_EQ(second.queries().size(), 3);
}

// Cancelled lookups never report, whether their reply is on the way, another
// try is due or (a literal's) result is already queued; later lookups work.
TEST_F(LookupWithFake, CancelAllDropsQueriesInFlightAndTheirTries)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name.endsWith("silent.test")) return {};
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), q.name.endsWith("late.test") ? 1000 : 0);
    });
    lookup->setTuning(DnsTuning{200, 5});
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.silent.test.").arg(i));
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.late.test.").arg(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() >= 12; }, 30000)) << "retries went out";
    submit("192.0.2.1", false);
    lookup->CancelAll();
    EXPECT_EQ(lookup->PendingCount(), 0);
    const qsizetype sent = fake.queries().size();
    // The late replies arrive and the remaining tries would be due within this wait.
    EXPECT_FALSE(QTest::qWaitFor([&] { return fake.queries().size() > sent || !replies.isEmpty(); }, 1200))
        << "a try or a reply after CancelAll";

    submit("again.test.", true, "again");
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(only("again").answer, "127.0.0.2");
    EXPECT_EQ(replies.size(), 1);
    EXPECT_EQ(lookup->PendingCount(), 0);
}
