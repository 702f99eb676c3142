#include "scan/AresDirectDns.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"
#include "support/RbldnsdServer.h"

#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>
#include <iostream>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;

// Collects the replies of one instance; onReply runs inside the handler.
struct Replies {
    explicit Replies(AresDirectDns& dns)
    {
        QObject::connect(&dns, &DirectDns::Reply, &dns, [this](const DnsResponse& response) {
            list.append(response);
            if (onReply) onReply(response);
        });
    }
    bool waitFor(qsizetype count, int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return list.size() >= count; }, timeoutMs);
    }
    DnsResponse byTag(const QString& tag) const
    {
        int count = 0;
        DnsResponse found;
        for (const DnsResponse& response : list)
            if (response.Tag() == tag) found = response, ++count;
        EXPECT_EQ(count, 1) << "replies tagged " << tag.toStdString();
        return found;
    }
    QStringList data(const QString& tag) const
    {
        QStringList texts;
        const DnsResponse response = byTag(tag);
        for (int i = 0; i < response.AnswerCount(); ++i) texts.append(response.Answer(1, i)->Data);
        return texts;
    }

    QList<DnsResponse> list;
    std::function<void(const DnsResponse&)> onReply;
};

class DirectDnsWithRbldnsd : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.addZone("bl.test", "ip4set",
                       ":127.0.0.2:Listed in bl.test, see http://bl.test/lookup?ip=$\n127.0.0.2\n");
        server.addZone("hosts.test", "generic", "mx1 A 192.0.2.10\n@ MX 10 mx1.hosts.test\n");
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
    }
    RbldnsdServer server;
};

} // namespace

TEST_F(DirectDnsWithRbldnsd, TxtMxAndA)
{
    AresDirectDns dns({server.serverSpec()});
    Replies replies(dns);
    const QString at = server.serverSpec();
    dns.Query("2.0.0.127.bl.test", "txt", at, DnsRecord::TXT);
    dns.Query("hosts.test", "mx", at, DnsRecord::MX);
    dns.Query("mx1.hosts.test", "a", at, DnsRecord::A);
    EXPECT_EQ(dns.OutstandingCount(), 3);
    ASSERT_TRUE(replies.waitFor(3));

    const DnsResponse txt = replies.byTag("txt");
    EXPECT_EQ(txt.QueryName(), "2.0.0.127.bl.test");
    ASSERT_EQ(txt.AnswerCount(), 1);
    EXPECT_EQ(txt.Answer(1, 0)->RecordType, DnsRecord::TXT);
    EXPECT_EQ(txt.Answer(1, 0)->Data, "Listed in bl.test, see http://bl.test/lookup?ip=127.0.0.2");

    const DnsResponse mx = replies.byTag("mx");
    ASSERT_NE(mx.FindRecord(1, DnsRecord::MX, 0), nullptr);
    EXPECT_EQ(mx.FindRecord(1, DnsRecord::MX, 0)->Data, "mx1.hosts.test");
    EXPECT_EQ(mx.FindRecord(1, DnsRecord::A, 0), nullptr);

    const DnsResponse a = replies.byTag("a");
    ASSERT_NE(a.FindRecord(1, DnsRecord::A, 0), nullptr);
    EXPECT_EQ(a.FindRecord(1, DnsRecord::A, 0)->Data, "192.0.2.10");
    EXPECT_EQ(dns.OutstandingCount(), 0);
}

TEST_F(DirectDnsWithRbldnsd, NegativeAnswersStillReply)
{
    AresDirectDns dns({server.serverSpec()});
    Replies replies(dns);
    dns.Query("3.0.0.127.bl.test", "nxdomain", server.serverSpec(), DnsRecord::TXT);
    dns.Query("mx1.hosts.test", "nodata", server.serverSpec(), DnsRecord::MX);
    dns.Query("www.elsewhere.test", "refused", server.serverSpec(), DnsRecord::TXT);
    ASSERT_TRUE(replies.waitFor(3));
    for (const char* tag : {"nxdomain", "nodata", "refused"}) EXPECT_EQ(replies.byTag(tag).AnswerCount(), 0) << tag;
    EXPECT_EQ(replies.byTag("nxdomain").QueryName(), "3.0.0.127.bl.test");
    EXPECT_EQ(dns.OutstandingCount(), 0);
}

TEST_F(DirectDnsWithRbldnsd, OutstandingCountDropsBeforeEachReply)
{
    AresDirectDns dns({server.serverSpec()});
    Replies replies(dns);
    QList<int> seen;
    replies.onReply = [&](const DnsResponse&) { seen.append(dns.OutstandingCount()); };
    for (int i = 0; i < 4; ++i) dns.Query("2.0.0.127.bl.test", QString::number(i), server.serverSpec(), 16);
    EXPECT_EQ(dns.OutstandingCount(), 4);
    EXPECT_TRUE(replies.list.isEmpty()) << "never a Reply from inside Query";
    ASSERT_TRUE(replies.waitFor(4));
    EXPECT_EQ(seen, (QList<int>{3, 2, 1, 0}));
}

TEST(DirectDns, ServersTextIsTheConfiguredList)
{
    AresDirectDns configured({" 127.0.0.1:5353", "[::1]:5454", "not-an-address"});
    EXPECT_EQ(configured.DNSServers(), "127.0.0.1:5353,[::1]:5454");

    // The system's resolvers: only read, never asked.
    AresDirectDns system({});
    EXPECT_FALSE(system.DNSServers().isEmpty());
    EXPECT_EQ(system.OutstandingCount(), 0);
}

namespace {

class DirectDnsWithFake : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(fake.start(&error)) << error.toStdString();
        dns = std::make_unique<AresDirectDns>(QStringList{fake.serverSpec()});
        replies = std::make_unique<Replies>(*dns);
    }
    void query(const QString& name, int type) { dns->Query(name, name, fake.serverSpec(), type); }

    FakeDnsServer fake;
    std::unique_ptr<AresDirectDns> dns;
    std::unique_ptr<Replies> replies;
};

} // namespace

TEST_F(DirectDnsWithFake, TxtStringsJoinPerRecord)
{
    fake.setScript([](const Fake::Query& q) {
        return Fake::Reply(Fake::BuildReply(q, Fake::NoError,
                                            {Fake::Txt({"v=spf1 ", "include:a.test ", "-all"}), Fake::Txt({"second"}),
                                             Fake::A("127.0.0.9"), Fake::Txt({"", "third"})}));
    });
    query("txt.test", DnsRecord::TXT);
    ASSERT_TRUE(replies->waitFor(1));
    EXPECT_EQ(replies->data("txt.test"), (QStringList{"v=spf1 include:a.test -all", "second", "third"}));
    const DnsResponse response = replies->byTag("txt.test");
    EXPECT_EQ(response.FindRecord(1, DnsRecord::TXT, 1)->Data, "second");
    EXPECT_EQ(response.FindRecord(1, DnsRecord::A, 0), nullptr) << "an A record in a TXT answer is not kept";
}

TEST_F(DirectDnsWithFake, EachServerGetsItsOwnQueries)
{
    FakeDnsServer other;
    QString error;
    ASSERT_TRUE(other.start(&error)) << error.toStdString();
    fake.setScript([](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"from one"})})); });
    other.setScript([](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"from two"})})); });

    dns->Query("x.test", "one", fake.serverSpec(), DnsRecord::TXT);
    dns->Query("x.test", "two", other.serverSpec(), DnsRecord::TXT);
    dns->Query("x.test", "two again", " " + other.serverSpec() + " ", DnsRecord::TXT);
    dns->Query("x.test", "default", "", DnsRecord::TXT);
    ASSERT_TRUE(replies->waitFor(4));
    EXPECT_EQ(replies->data("one"), QStringList{"from one"});
    EXPECT_EQ(replies->data("two"), QStringList{"from two"});
    EXPECT_EQ(replies->data("two again"), QStringList{"from two"});
    EXPECT_EQ(replies->data("default"), QStringList{"from one"});
    EXPECT_EQ(fake.queries().size(), 2);
    EXPECT_EQ(other.queries().size(), 2);
}

TEST_F(DirectDnsWithFake, UnansweredQueriesEndWithoutReply)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "servfail.test") return Fake::Reply(Fake::BuildReply(q, Fake::ServFail));
        if (q.name == "answered.test") return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"late"})}), 1500);
        return {}; // silence
    });
    QElapsedTimer clock;
    clock.start();
    query("silent.test", DnsRecord::TXT);
    query("servfail.test", DnsRecord::TXT);
    query("answered.test", DnsRecord::TXT); // answered after the first try timed out
    dns->Query("x.test", "bad server", "dns.example", DnsRecord::TXT);
    dns->Query("bad..name", "bad name", fake.serverSpec(), DnsRecord::TXT);
    dns->Query("x.test", "bad type", fake.serverSpec(), 28);
    EXPECT_EQ(dns->OutstandingCount(), 6);

    ASSERT_TRUE(QTest::qWaitFor([&] { return dns->OutstandingCount() == 0; }, 6000));
    const qint64 elapsed = clock.elapsed();
    std::cout << "last query given up after " << elapsed << " ms\n";
    EXPECT_GE(elapsed, 2800);
    EXPECT_LE(elapsed, 4000);
    ASSERT_EQ(replies->list.size(), 2);
    EXPECT_EQ(replies->byTag("servfail.test").AnswerCount(), 0);
    EXPECT_EQ(replies->data("answered.test"), QStringList{"late"});
}

TEST_F(DirectDnsWithFake, BigTxtComesWhole)
{
    QList<QByteArray> strings;
    QByteArray expected;
    for (int i = 0; i < 250; ++i) {
        QByteArray chunk(255, char('a' + i % 26));
        chunk.replace(0, 4, QByteArray::number(1000 + i));
        strings.append(chunk);
        expected.append(chunk);
    }
    fake.setScript([&](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt(strings)})); });
    query("big.test", DnsRecord::TXT);
    ASSERT_TRUE(replies->waitFor(1));
    ASSERT_EQ(replies->data("big.test"), QStringList{QString::fromLatin1(expected)});
    EXPECT_EQ(fake.queryCount(true), 1) << "over TCP after the truncated UDP reply";

    // A server that ignores the UDP limit sends the whole 64 KB datagram.
    fake.setTruncateUdp(false);
    query("huge-datagram.test", DnsRecord::TXT);
    ASSERT_TRUE(replies->waitFor(2));
    EXPECT_EQ(replies->data("huge-datagram.test"), QStringList{QString::fromLatin1(expected)});
    EXPECT_EQ(dns->OutstandingCount(), 0);
}

TEST_F(DirectDnsWithFake, HostileAnswers)
{
    QHash<QByteArray, Fake::Query> seen;
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        seen.insert(q.name, q);
        if (q.name == "cut.test") {
            const QByteArray good = Fake::BuildReply(q, 0, {Fake::Txt({"complete text"})});
            return Fake::Reply(good.left(good.size() - 4));
        }
        if (q.name == "wrongtype.test") // TXT answered to an MX query
            return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"mx1.evil.test"})}));
        if (q.name == "many.test") {
            QList<Fake::Record> records;
            for (int i = 0; i < 300; ++i)
                records.append(Fake::A(QStringLiteral("10.1.%1.%2").arg(i / 256).arg(i % 256).toLatin1()));
            return Fake::Reply(Fake::BuildReply(q, 0, records));
        }
        if (q.name == "a.test" || q.name == "b.test") {
            if (!seen.contains("a.test") || !seen.contains("b.test")) return {};
            const Fake::Query a = seen.value("a.test"), b = seen.value("b.test");
            return {Fake::Send{Fake::BuildReply(a, 0, {Fake::Txt({"crossed"})}, b.id)},
                    Fake::Send{Fake::BuildReply(b, 0, {Fake::Txt({"crossed"})}, a.id)},
                    Fake::Send{Fake::BuildReply(a, 0, {Fake::Txt({"for a"})}), 50},
                    Fake::Send{Fake::BuildReply(b, 0, {Fake::Txt({"for b"})}), 50}};
        }
        return {};
    });
    query("cut.test", DnsRecord::TXT);
    query("wrongtype.test", DnsRecord::MX);
    query("many.test", DnsRecord::A);
    query("a.test", DnsRecord::TXT);
    query("b.test", DnsRecord::TXT);
    ASSERT_TRUE(replies->waitFor(5));
    EXPECT_EQ(replies->byTag("cut.test").AnswerCount(), 0);
    EXPECT_EQ(replies->byTag("wrongtype.test").AnswerCount(), 0);
    const QStringList many = replies->data("many.test");
    ASSERT_EQ(many.size(), 300);
    EXPECT_EQ(many.first(), "10.1.0.0");
    EXPECT_EQ(many.last(), "10.1.1.43");
    EXPECT_EQ(replies->data("a.test"), QStringList{"for a"});
    EXPECT_EQ(replies->data("b.test"), QStringList{"for b"});
    EXPECT_EQ(dns->OutstandingCount(), 0);
}

TEST_F(DirectDnsWithFake, DestroyedWithQueriesOutstanding)
{
    fake.setScript([](const Fake::Query& q) { return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"t"})}), 50); });
    int reported = 0;
    {
        AresDirectDns doomed({fake.serverSpec()});
        QObject::connect(&doomed, &DirectDns::Reply, [&] { ++reported; });
        doomed.Query("x.test", "x", fake.serverSpec(), 16);
        doomed.Query("y.test", "y", "", 16);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake.queries().size() == 2; }, 2000));
    }
    QTest::qWait(200);
    EXPECT_EQ(reported, 0);
}
