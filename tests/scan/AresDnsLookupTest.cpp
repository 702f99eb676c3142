#include "scan/AresDnsLookup.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "scan/AresDriver.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"

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

// One control on a scripted server in this process, and every
// LookupComplete it reports; onReply runs inside the handler, for tests
// that act from there.
class LookupWithFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(fake.start(&error)) << error.toStdString();
        makeLookup({fake.serverSpec()});
    }
    void makeLookup(const QStringList& servers)
    {
        lookup = std::make_unique<AresDnsLookup>(servers);
        QObject::connect(
            lookup.get(), &DnsLookup::LookupComplete, lookup.get(),
            [this](const QString& name, const QString& answer, int failure, const QString& tag, const QVariant&) {
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
    // Queries for name (dotted, no trailing dot) the server has seen.
    static int asked(const FakeDnsServer& server, const QByteArray& name)
    {
        int count = 0;
        for (const Fake::Query& q : server.queries()) count += q.name == name ? 1 : 0;
        return count;
    }

    FakeDnsServer fake;
    std::unique_ptr<AresDnsLookup> lookup;
    QList<Completed> replies;
    std::function<void(const Completed&)> onReply;
};

} // namespace

// Broken packets, records of other types or owners, replies under another
// query's ID and a reply too big for UDP. A name expecting "" must fail.
// (A cut reply and a TXT-only answer: AnswersFailuresTagsAndPendingCount.)
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
        if (q.name == "cname.test") return Fake::Reply(reply({Fake::Cname("target.test")}));
        if (q.name == "chain.test")
            return Fake::Reply(reply({Fake::Cname("target.test"), Fake::A("127.0.0.3", "target.test")}));
        if (q.name == "mixed.test")
            return Fake::Reply(reply(
                {Fake::Txt({"x"}), Fake::A("127.0.0.66", "evil.test"), Fake::A("127.0.0.4"), Fake::Mx(1, "mx.test")}));
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
    const QList<std::pair<QString, QString>> expected = {{"count.test.", ""},
                                                         {"loop.test.", ""},
                                                         {"header.test.", "127.0.0.2"},
                                                         {"empty.test.", "127.0.0.2"},
                                                         {"garbage.test.", "127.0.0.2"},
                                                         {"cname.test.", ""},
                                                         {"stranger.test.", ""},
                                                         {"chain.test.", "127.0.0.3"},
                                                         {"mixed.test.", "127.0.0.4"},
                                                         {"many.test.", manyText.join(' ')},
                                                         {"a.test.", "127.0.0.1"},
                                                         {"b.test.", "127.0.0.2"}};
    lookup->setTuning(DnsTuning{600, 2});
    for (const auto& [name, answer] : expected) submit(name, true, name);
    ASSERT_TRUE(waitFor(expected.size()));
    for (const auto& [name, answer] : expected) {
        const Completed reply = only(name);
        EXPECT_EQ(reply.answer, answer) << name.toStdString();
        EXPECT_EQ(reply.failure != 0, answer.isEmpty()) << name.toStdString();
    }
    EXPECT_EQ(fake.queryCount(true), 1) << "the truncated UDP reply sends the query again over TCP";
}

// Every kind of lookup reads the records of its type, all of them; a chain
// of CNAMEs that loops or runs on is a failure, never "not found"; a name
// is asked as it is, with or without its final dot.
TEST_F(LookupWithFake, TypedLookupsReadEveryRecordAndRefuseCnameLoops)
{
    fake.setScript([](const Fake::Query& q) {
        QList<Fake::Record> answers;
        const QByteArray name = q.name.toLower();
        if (name == "two.test" && q.type == 1) answers = {Fake::A("192.0.2.1"), Fake::A("192.0.2.2")};
        if (name == "two.test" && q.type == 28) answers = {Fake::Aaaa("2001:db8::1")};
        if (name == "mail.test" && q.type == 15)
            answers = {Fake::Mx(20, "b.test"), Fake::Mx(10, "a.test"), Fake::Mx(10, "c.test")};
        if (name == "null.test" && q.type == 15) answers = {Fake::Mx(0, ".")};
        if (name == "loop.test")
            answers = {Fake::Cname("back.test", "loop.test"), Fake::Cname("loop.test", "back.test")};
        if (name == "chain.test") {
            for (int i = 0; i < 12; ++i)
                answers << Fake::Cname("c" + QByteArray::number(i + 1) + ".test",
                                       i == 0 ? QByteArray("chain.test") : "c" + QByteArray::number(i) + ".test");
        }
        if (name == "alias.test") answers = {Fake::Cname("two.test", "alias.test"), Fake::A("192.0.2.1", "two.test")};
        return Fake::Reply(Fake::BuildReply(q, answers.isEmpty() ? Fake::NxDomain : Fake::NoError, answers));
    });
    const struct {
        const char* name;
        DnsLookup::Kind kind;
        QString answer;
        int failure;
    } cases[] = {
        {"two.test", DnsLookup::Kind::HostAddresses, "192.0.2.1 192.0.2.2", 0},
        {"two.test.", DnsLookup::Kind::HostAddresses, "192.0.2.1 192.0.2.2", 0},
        {"two.test", DnsLookup::Kind::HostAddresses6, "2001:db8::1", 0},
        {"mail.test", DnsLookup::Kind::MailExchangers, "10 a.test\n10 c.test\n20 b.test", 0},
        {"null.test", DnsLookup::Kind::MailExchangers, "0 .", 0},
        {"loop.test", DnsLookup::Kind::HostAddresses, "", DnsFailure::CnameLoop},
        {"loop.test", DnsLookup::Kind::Blacklist, "", DnsFailure::CnameLoop},
        {"chain.test", DnsLookup::Kind::HostAddresses, "", DnsFailure::CnameLoop},
        {"alias.test", DnsLookup::Kind::HostAddresses, "192.0.2.1", 0},
        {"none.test", DnsLookup::Kind::HostAddresses, "", DnsFailure::NotFound},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        lookup->setRequestTag(QString::number(i));
        lookup->setLookupKind(cases[i].kind);
        lookup->Lookup(cases[i].name);
    }
    ASSERT_TRUE(waitFor(std::size(cases)));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        const Completed reply = only(QString::number(i));
        EXPECT_EQ(reply.answer, cases[i].answer);
        EXPECT_EQ(reply.failure, cases[i].failure);
    }
    // Asked as given: no search domain was tried.
    for (const Fake::Query& q : fake.queries()) EXPECT_TRUE(q.name.endsWith(".test")) << q.name.toStdString();
}

TEST_F(LookupWithFake, DestroyingTheControlWithQueriesInFlight)
{
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 100);
    });
    // Destroyed before the event loop ran, and after only the literal's
    // reply was out: the network reply comes later and must go nowhere. (The
    // TXT component owns its drivers the same way.)
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
        EXPECT_FALSE(QTest::qWaitFor([&, limit = expected] { return reported > limit; }, 300))
            << "waited " << waitMs << " ms";
    }
}

// Every kind of answer gets its own flag, in both modes, and a server failure
// is reported at once: with one server there is nobody else to ask. Each
// reply carries the tag and mode its request had when it was made, and comes
// from the event loop with PendingCount already down by one, even for those
// settled inside Lookup (literals, hosts file, bad names), which never reach
// the server.
TEST_F(LookupWithFake, AnswersFailuresTagsAndPendingCount)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        const QByteArray label = q.name.left(q.name.indexOf('.'));
        const auto reply = [&](int rcode, const QList<Fake::Record>& records = {}) {
            return Fake::Reply(Fake::BuildReply(q, rcode, records));
        };
        // In served order: a text sort would put .10 first.
        if (label == "two") return reply(Fake::NoError, {Fake::A("127.0.0.2"), Fake::A("127.0.0.10")});
        if (label == "xn--bcher-kva") return reply(Fake::NoError, {Fake::A("192.0.2.11")});
        if (label == "nx") return reply(Fake::NxDomain);
        if (label == "empty") return reply(Fake::NoError);
        if (label == "txtonly") return reply(Fake::NoError, {Fake::Txt({"127.0.0.2"})});
        if (label == "servfail") return reply(Fake::ServFail);
        if (label == "formerr") return reply(Fake::FormErr);
        if (label == "notimp") return reply(4);
        if (label == "cut") {
            const QByteArray good = Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")});
            return Fake::Reply(good.left(good.size() - 3));
        }
        if (label == "silent") return {};
        return reply(Fake::Refused); // a zone the server does not serve
    });
    lookup->setTuning(DnsTuning{400, 2});
    constexpr int AnyFailure = -1; // the server's answer after the search domains, whichever
    struct Case {
        QString name;
        bool blacklist;
        QString answer;
        QList<int> flags; // any of these
        int tries;        // -1: not counted
    };
    QList<Case> cases;
    const struct {
        const char* label;
        QString blacklistAnswer, hostAnswer; // a host lookup gives every address too
        QList<int> flags;
        int tries;
    } kinds[] = {
        {"two", "127.0.0.2 127.0.0.10", "127.0.0.2 127.0.0.10", {DnsFailure::None}, 1},
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
    for (const auto& k : kinds) {
        cases.append({QStringLiteral("%1.bl.test.").arg(k.label), true, k.blacklistAnswer, k.flags, k.tries});
        cases.append({QStringLiteral("%1.host.test.").arg(k.label), false, k.hostAnswer, k.flags, k.tries});
    }
    cases.append(
        {"localhost.", true, "", {DnsFailure::Refused}, -1}); // the server, not the hosts file (asked twice: see below)
    cases.append(
        {QString::fromUtf8("b\u00fccher.hosts.test."), false, "192.0.2.11", {0}, 1}); // asked in its ASCII form
    cases.append({"missing.hosts.test", false, "", {AnyFailure}, -1});
    // Never the hosts file nor a search domain: the server is asked the name as it is.
    cases.append({"localhost", false, "", {DnsFailure::Refused, DnsFailure::ConnectionRefused}, -1});
    cases.append({"198.51.100.7", false, "198.51.100.7", {0}, 0});
    // Bad names never reach the server; names at the length limits do.
    const QString label63(63, QLatin1Char('a'));
    const QString tooLong = QStringList{label63, label63, label63, label63}.join(QLatin1Char('.')); // 255
    for (const QString& name :
         QStringList{"", ".", "a..b.test.", "..",
                     "a\x01"
                     "b.test.",
                     "a b.test.", "a\\.b.test.", "tab\tname.", label63 + "a.test.", tooLong, tooLong + "."})
        for (bool blacklist : {true, false}) cases.append({name, blacklist, "", {DnsFailure::BadName}, 0});
    cases.append({label63 + ".test.", true, "", {DnsFailure::Refused}, 1});
    cases.append(
        {QStringList{label63, label63, label63, QString(61, 'b')}.join('.') + ".", true, "", {DnsFailure::Refused}, 1});

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
        if (c.flags.first() == AnyFailure) {
            EXPECT_TRUE(reply.failure != 0 && reply.failure != DnsFailure::BadName) << reply.failure;
            continue;
        }
        EXPECT_TRUE(c.flags.contains(reply.failure)) << "flag " << reply.failure;
        EXPECT_EQ(DnsFailure::IsNegativeAnswer(reply.failure),
                  c.flags.first() == DnsFailure::NotFound || c.flags.first() == DnsFailure::NoData);
        QByteArray wire = AresDriver::EncodeName(c.name);
        if (wire.endsWith('.')) wire.chop(1);
        if (c.tries >= 0) {
            EXPECT_EQ(asked(fake, wire), c.tries);
        }
    }
}

// A blacklist query's zone is its path: a list that stays silent while
// another on the same server answers soon has its lookups end without a
// query, and the other list is asked as before. (The rule in numbers: the
// driver's virtual-time tests.)
TEST_F(LookupWithFake, EachListIsAPathOfItsOwn)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name.endsWith("dead.test")) return {};
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}));
    });
    lookup->setTuning(DnsTuning{300, 2});
    const auto ask = [&](const QString& zone, int i) {
        submit(QStringLiteral("%1.%2.").arg(i).arg(zone), true, QueryTag::BlacklistCheck(QString::number(i), zone));
        EXPECT_TRUE(waitFor(replies.size() + 1));
        return replies.last();
    };
    EXPECT_EQ(ask("near.test", 0).answer, "127.0.0.2");
    // One by one: each waits its tries until the list is found silent.
    int unasked = -1;
    for (int i = 0; i < 20 && unasked < 0; ++i) {
        EXPECT_EQ(ask("dead.test", i).failure, DnsFailure::Timeout);
        if (asked(fake, QStringLiteral("%1.dead.test").arg(i).toLatin1()) == 0) unasked = i;
    }
    EXPECT_GT(unasked, 0) << "a silent list's lookups were all sent";
    EXPECT_EQ(ask("near.test", 1).answer, "127.0.0.2");
}

// Giving up reports each outstanding lookup once, as timed out, and the
// driver's own deadlines report nothing more.
TEST_F(LookupWithFake, ExpireAllReportsEachLookupOnceAsTimedOut)
{
    lookup->setTuning(DnsTuning{200, 2});
    EXPECT_EQ(lookup->LongestWaitMs(), 400);
    for (int i = 0; i < 3; ++i) submit(QStringLiteral("%1.mute.test.").arg(i), true, QString::number(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() == 3; }, 5000));
    lookup->ExpireAll();
    EXPECT_TRUE(replies.isEmpty()) << "reported from the event loop";
    ASSERT_TRUE(waitFor(3, 100));
    EXPECT_FALSE(waitFor(4, 800));
    for (const QString tag : {"0", "1", "2"}) EXPECT_EQ(only(tag).failure, DnsFailure::Timeout);
    EXPECT_EQ(lookup->PendingCount(), 0);
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
    second.setScript(
        [](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.7")})); });
    makeLookup(QStringList{fake.serverSpec(), second.serverSpec()});
    lookup->setTuning(DnsTuning{400, 2});
    // One after the other: the third must start at the server that answered.
    for (const QString tag : {"servfail", "silent", "after"}) {
        submit(tag + ".test.", true, tag);
        ASSERT_TRUE(waitFor(replies.size() + 1));
        EXPECT_EQ(replies.last().answer, "127.0.0.7") << tag.toStdString();
    }
    EXPECT_EQ((QList<qsizetype>{asked(fake, "servfail.test"), asked(fake, "silent.test"), asked(fake, "after.test"),
                                second.queries().size()}),
              (QList<qsizetype>{1, 1, 0, 3}));
}

// Cancelled lookups never report, whether their reply is on the way, another
// try is due or (a literal's) result is already queued, also when CancelAll
// comes from inside the handler; lookups made there (blacklist query, host
// lookup, literal) are reported later, never from inside Lookup.
TEST_F(LookupWithFake, CancelAllFromTheHandlerDropsQueriesInFlightAndTheirTries)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name.endsWith("silent.test")) return {};
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}),
                           q.name.endsWith("late.test") ? 1000 : 0);
    });
    lookup->setTuning(DnsTuning{200, 5});
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.silent.test.").arg(i));
    for (int i = 0; i < 5; ++i) submit(QStringLiteral("%1.late.test.").arg(i));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() >= 12; }, 30000)) << "retries went out";
    qsizetype sent = -1;
    bool insideLookup = false;
    int reportedInside = 0;
    onReply = [&](const Completed& reply) {
        reportedInside += insideLookup ? 1 : 0;
        if (reply.tag != "first") return;
        insideLookup = true;
        lookup->CancelAll();
        EXPECT_EQ(lookup->PendingCount(), 0);
        sent = fake.queries().size();
        submit("again.test.", true, "again");
        submit("localhost", false, "again");
        submit("192.0.2.77", false, "again");
        EXPECT_EQ(lookup->PendingCount(), 3);
        insideLookup = false;
    };
    // Two literals: the first one's handler cancels the second one's queued result.
    submit("192.0.2.1", false, "first");
    submit("192.0.2.2", false, "first");
    ASSERT_TRUE(waitFor(4));
    // The late replies arrive and the remaining tries would be due within this wait.
    EXPECT_FALSE(waitFor(5, 1200)) << "a cancelled lookup reported, or a reply came twice";
    EXPECT_EQ(fake.queries().size(), sent + 2) << "a try after CancelAll (again.test and localhost are the queries)";
    EXPECT_EQ(reportedInside, 0);
    EXPECT_EQ(lookup->PendingCount(), 0);
    EXPECT_EQ(replies[0].tag, "first");
    const QHash<QString, QString> answers{
        {"again.test.", "127.0.0.2"}, {"localhost", "127.0.0.2"}, {"192.0.2.77", "192.0.2.77"}};
    for (const Completed& reply : replies.mid(1)) {
        EXPECT_EQ(reply.tag, "again");
        EXPECT_EQ(reply.answer, answers.value(reply.name)) << reply.name.toStdString();
    }
}
