#include "scan/AresDirectDns.h"
#include "support/FakeDnsServer.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;

// One instance and the replies it emitted; onReply runs inside the handler.
class DirectDnsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(fake.start(&error)) << error.toStdString();
        makeDns(fake.serverSpec());
    }
    void makeDns(const QString& server)
    {
        dns = std::make_unique<AresDirectDns>(QStringList{server});
        QObject::connect(dns.get(), &DirectDns::Reply, dns.get(), [this](const DnsResponse& response) {
            replies.append(response);
            if (onReply) onReply(response);
        });
    }
    void query(const QString& name, int type) { dns->Query(name, name, fake.serverSpec(), type); }
    bool waitFor(qsizetype count)
    {
        return QTest::qWaitFor([&] { return replies.size() >= count; }, 30000);
    }
    DnsResponse byTag(const QString& tag) const
    {
        int count = 0;
        DnsResponse found;
        for (const DnsResponse& response : replies)
            if (response.Tag() == tag) found = response, ++count;
        EXPECT_EQ(count, 1) << "replies tagged " << tag.toStdString();
        return found;
    }
    // The texts of the answers, which must all be of that type.
    QStringList data(const QString& tag, int type) const
    {
        QStringList texts;
        const DnsResponse response = byTag(tag);
        for (int i = 0; i < response.AnswerCount(); ++i) {
            EXPECT_EQ(response.Answer(DnsResponse::AnswerSection, i)->RecordType, type) << tag.toStdString();
            texts.append(response.Answer(DnsResponse::AnswerSection, i)->Data);
        }
        return texts;
    }

    FakeDnsServer fake;
    std::unique_ptr<AresDirectDns> dns;
    QList<DnsResponse> replies;
    std::function<void(const DnsResponse&)> onReply;
};

} // namespace

// The first record is the exchanger to use: lowest preference first, equal
// ones in the order served. A null MX says the domain takes no mail. Answers
// and negative answers alike give a Reply, never from inside Query, and the
// count has dropped by the time the handler sees it.
TEST_F(DirectDnsTest, MailExchangersInPreferenceOrder)
{
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "several.test")
            return Fake::Reply(Fake::BuildReply(q, 0,
                                                {Fake::Mx(20, "b.several.test"), Fake::Mx(10, "a.several.test"),
                                                 Fake::Mx(20, "c.several.test"), Fake::Mx(65535, "z.several.test"),
                                                 Fake::Mx(5, "first.several.test"), Fake::Mx(20, "d.several.test")}));
        if (q.name == "null.test") return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Mx(0, ".")}));
        if (q.name == "one.test") return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Mx(10, "mx.one.test")}));
        return Fake::Reply(Fake::BuildReply(q, Fake::NxDomain));
    });
    const struct {
        const char* name;
        QStringList expected;
    } cases[] = {
        {"several.test",
         {"first.several.test", "a.several.test", "b.several.test", "c.several.test", "d.several.test",
          "z.several.test"}},
        {"null.test", {""}},
        {"one.test", {"mx.one.test"}},
        {"none.test", {}},
    };
    QList<int> seen;
    onReply = [&](const DnsResponse&) { seen.append(dns->OutstandingCount()); };
    for (const auto& c : cases) query(c.name, DnsRecord::MX);
    EXPECT_TRUE(replies.isEmpty());
    ASSERT_TRUE(waitFor(std::size(cases)));
    EXPECT_EQ(seen, (QList<int>{3, 2, 1, 0}));
    for (const auto& c : cases) EXPECT_EQ(data(c.name, DnsRecord::MX), c.expected) << c.name;
}

// Tries and time-outs are the driver's (see the lookup control's tests): here
// each server gets its own queries (a blank one the default's), setTuning
// reaches the channels already open and those opened later, silence and a
// query that cannot be sent end without a Reply, a server failure is a Reply
// without answers, and the count drops either way; Settled says when it is 0.
TEST_F(DirectDnsTest, UnansweredQueriesEndWithoutReplyOnEveryChannel)
{
    FakeDnsServer later;
    QString error;
    ASSERT_TRUE(later.start(&error)) << error.toStdString();
    fake.setScript([](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "servfail.test") return Fake::Reply(Fake::BuildReply(q, Fake::ServFail));
        if (q.name == "answered.test") return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"yes"})}));
        return {}; // silence
    });
    QSignalSpy settled(dns.get(), &DirectDns::Settled);
    query("answered.test", DnsRecord::TXT); // opens the channel to fake
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(settled.count(), 1);
    dns->setTuning(DnsTuning{300, 3});
    for (const char* name : {"silent.test", "servfail.test"}) query(name, DnsRecord::TXT);
    dns->Query("silent.test", "later", later.serverSpec(), DnsRecord::TXT);
    dns->Query("silent.test", "later, blanks around", " " + later.serverSpec() + " ", DnsRecord::TXT);
    dns->Query("silent.test", "default", "", DnsRecord::TXT);
    dns->Query("x.test", "bad server", "dns.example", DnsRecord::TXT);
    dns->Query("bad..name", "bad name", fake.serverSpec(), DnsRecord::TXT);
    dns->Query("x.test", "bad type", fake.serverSpec(), 255);
    EXPECT_EQ(dns->OutstandingCount(), 8);
    ASSERT_TRUE(settled.wait(30000));
    EXPECT_EQ(dns->OutstandingCount(), 0);
    EXPECT_EQ(settled.count(), 2) << "said before the last query ended";
    ASSERT_EQ(replies.size(), 2);
    EXPECT_EQ(byTag("servfail.test").AnswerCount(), 0);
    EXPECT_EQ(data("answered.test", DnsRecord::TXT), QStringList{"yes"});
    EXPECT_EQ(later.queries().size(), 2 * 3);
    EXPECT_EQ(fake.queries().size(), 1 + 3 + 3 + 1)
        << "answered, silent and the default's silent thrice, servfail once";
}

// A TXT record's strings join into one text, however long; records of other
// types never count. (Cut replies and replies under another query's ID are
// dropped below both DNS components: see the lookup control's tests.)
TEST_F(DirectDnsTest, RecordsHostileAndOversizedAnswers)
{
    QList<QByteArray> strings; // 62 KB: over TCP after the truncated UDP reply
    for (int i = 0; i < 250; ++i) strings.append(QByteArray::number(1000 + i) + QByteArray(251, char('a' + i % 26)));
    const QString big = QString::fromLatin1(strings.join());
    fake.setScript([&](const Fake::Query& q) -> QList<Fake::Send> {
        if (q.name == "big.test") return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt(strings)}));
        if (q.name == "txt.test")
            return Fake::Reply(
                Fake::BuildReply(q, 0,
                                 {Fake::Txt({"v=spf1 ", "include:a.test ", "-all"}), Fake::Txt({"second"}),
                                  Fake::A("127.0.0.9"), Fake::Txt({"", "third"})}));
        // wrongtype.test: TXT answered to an MX query
        return Fake::Reply(Fake::BuildReply(q, 0, {Fake::Txt({"mx1.evil.test"})}));
    });
    const struct {
        const char* name;
        int type;
        QStringList expected;
    } cases[] = {
        {"txt.test", DnsRecord::TXT, {"v=spf1 include:a.test -all", "second", "third"}},
        {"wrongtype.test", DnsRecord::MX, {}},
        {"big.test", DnsRecord::TXT, {big}},
    };
    for (const auto& c : cases) query(c.name, c.type);
    ASSERT_TRUE(waitFor(std::size(cases)));
    for (const auto& c : cases) EXPECT_EQ(data(c.name, c.type), c.expected) << c.name;
    EXPECT_EQ(fake.queryCount(true), 1) << "big.test again over TCP";

    // A server that ignores the UDP limit sends the whole 64 KB datagram.
    replies.clear();
    fake.setTruncateUdp(false);
    query("big.test", DnsRecord::TXT);
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(data("big.test", DnsRecord::TXT), QStringList{big});
    EXPECT_EQ(dns->OutstandingCount(), 0);
}
