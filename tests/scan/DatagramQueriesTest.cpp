// The datagram transport's own rules, on virtual time: what a query looks
// like on the wire, which replies count, and how every try ends exactly once.
#include "scan/DatagramQueries.h"
#include "support/VirtualAresRuntime.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <unistd.h>

#include <map>
#include <set>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;
constexpr quint16 Port = 5302;
constexpr qint64 Ms = 1'000'000;

QByteArray built(const QByteArray& name, int type = 1, quint16 id = 0x1234)
{
    unsigned char packet[DatagramQueries::MaxQuery];
    const int length = DatagramQueries::BuildQuery(packet, id, name, type);
    return QByteArray(reinterpret_cast<const char*>(packet), length);
}

TEST(DatagramQuery, IsWhatAResolverExpectsAndRefusesNamesDnsCannotCarry)
{
    // Byte for byte what the test server's own builder makes, with or
    // without the final dot.
    EXPECT_EQ(built("2.0.0.127.zen.example"), Fake::BuildQuery(0x1234, "2.0.0.127.zen.example", 1));
    EXPECT_EQ(built("2.0.0.127.zen.example."), Fake::BuildQuery(0x1234, "2.0.0.127.zen.example", 1));
    EXPECT_EQ(built("x.test", 16, 0xfffe), Fake::BuildQuery(0xfffe, "x.test", 16));
    Fake::Query parsed;
    ASSERT_TRUE(Fake::ParseQuery(built("x.test", 16), &parsed));
    EXPECT_EQ(parsed.name, "x.test");
    EXPECT_EQ(parsed.type, 16);
    EXPECT_EQ(uchar(built("x.test")[2]) & 0x01, 1) << "recursion desired";

    const QByteArray label63(63, 'a'), label64(64, 'a');
    EXPECT_FALSE(built(label63 + ".test").isEmpty());
    // 4 labels of 63 and the root: 4 * 64 + 1 = 257 bytes, over the 255 a name may take.
    const QByteArray tooLong = label63 + '.' + label63 + '.' + label63 + '.' + label63;
    const QByteArray longest = label63 + '.' + label63 + '.' + label63 + '.' + QByteArray(61, 'b');
    EXPECT_FALSE(built(longest).isEmpty()) << "253 characters fit";
    for (const QByteArray& bad : {QByteArray(), QByteArray("."), QByteArray("a..b"), QByteArray(".a"),
                                  QByteArray("a.."), label64 + ".test", tooLong})
        EXPECT_TRUE(built(bad).isEmpty()) << bad.toStdString();
}

TEST(DatagramQuery, ReplyMustAskTheSameQuestion)
{
    const QByteArray query = built("Mixed.Case.test");
    Fake::Query asked;
    ASSERT_TRUE(Fake::ParseQuery(query, &asked));
    const auto same = [&](const QByteArray& reply) {
        return DatagramQueries::SameQuestion(reinterpret_cast<const uchar*>(query.constData()), int(query.size()),
                                             reinterpret_cast<const uchar*>(reply.constData()), int(reply.size()));
    };
    const QByteArray good = Fake::BuildReply(asked, Fake::NoError, {Fake::A("127.0.0.2")});
    EXPECT_TRUE(same(good));
    // Letter case is no difference; a name, type or class that differs is.
    QByteArray upper = good;
    for (int i = 12; i < 12 + 16; ++i) upper[i] = char(toupper(uchar(upper[i])));
    EXPECT_TRUE(same(upper));
    Fake::Query other = asked;
    other.question = Fake::BuildQuery(0, "mixed.case.tesu", 1).mid(12);
    EXPECT_FALSE(same(Fake::BuildReply(other, Fake::NoError)));
    other.question = Fake::BuildQuery(0, "mixed.case.test", 16).mid(12);
    EXPECT_FALSE(same(Fake::BuildReply(other, Fake::NoError)));
    QByteArray chaos = good;
    chaos[12 + 17 + 3] = 3; // class CH
    EXPECT_FALSE(same(chaos));
    // No question, two questions, a question cut short, a pointer for a name.
    QByteArray none = good;
    none[5] = 0;
    EXPECT_FALSE(same(none));
    QByteArray two = good;
    two[5] = 2;
    EXPECT_FALSE(same(two));
    EXPECT_FALSE(same(good.left(12 + 10)));
    QByteArray pointer = good.left(12);
    pointer.append("\xc0\x0c\x00\x01\x00\x01", 6);
    EXPECT_FALSE(same(pointer));
}

class DatagramQueriesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sockaddr_in in{};
        in.sin_family = AF_INET;
        in.sin_port = htons(Port);
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        std::memcpy(&address, &in, sizeof in);
    }
    void make()
    {
        queries = std::make_unique<DatagramQueries>(
            runtime, nullptr, address, socklen_t(sizeof(sockaddr_in)),
            [this](void* tag, int status, const unsigned char* answer, int length) {
                Ended& ended = ends[reinterpret_cast<quintptr>(tag)];
                ++ended.count;
                ended.status = status;
                ended.answer = answer ? QByteArray(reinterpret_cast<const char*>(answer), length) : QByteArray();
                ended.atNs = runtime.nowNs();
            },
            [this](void* tag) { truncated.push_back(reinterpret_cast<quintptr>(tag)); }, [this] { ++drains; });
    }
    bool ask(quintptr tag, const QByteArray& name, qint64 lingerMs = 1000)
    {
        return queries->send(reinterpret_cast<void*>(tag), name, 1, runtime.nowNs(), lingerMs * Ms);
    }
    void run()
    {
        while (runtime.step()) {}
    }
    struct Ended {
        int count = 0;
        int status = -1;
        QByteArray answer;
        qint64 atNs = -1;
    };
    VirtualAresRuntime runtime;
    sockaddr_storage address{};
    std::unique_ptr<DatagramQueries> queries;
    std::map<quintptr, Ended> ends;
    std::vector<quintptr> truncated;
    int drains = 0;
};

TEST_F(DatagramQueriesTest, EachTryEndsOnceWithItsOwnReplyOrItsStatus)
{
    std::map<QByteArray, quint16> ids;
    runtime.setServer(Port, [&](const Fake::Query& q) -> QList<Fake::Send> {
        ids[q.name] = q.id;
        if (q.name == "listed.test") return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}));
        if (q.name == "empty.test") return Fake::Reply(Fake::BuildReply(q, Fake::NoError));
        if (q.name == "absent.test") return Fake::Reply(Fake::BuildReply(q, Fake::NxDomain));
        if (q.name == "failing.test") return Fake::Reply(Fake::BuildReply(q, Fake::ServFail));
        if (q.name == "refusing.test") return Fake::Reply(Fake::BuildReply(q, Fake::Refused));
        if (q.name == "long.test") return Fake::Reply(Fake::BuildReply(q, Fake::NoError, {}, -1, true));
        // Strays first: a wrong ID, the right ID with another question, a
        // bare header; then the real reply, once more, and late.
        const QByteArray real = Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.4")});
        Fake::Query other = q;
        other.question = Fake::BuildQuery(0, "other.test", 1).mid(12);
        return {Fake::Send{Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.66")}, quint16(q.id ^ 1))},
                Fake::Send{Fake::BuildReply(other, Fake::NoError, {Fake::A("127.0.0.67")})}, Fake::Send{real.left(11)},
                Fake::Send{real, 5}, Fake::Send{real, 6}};
    });
    make();
    const QList<QByteArray> names = {"listed.test",   "empty.test", "absent.test", "failing.test",
                                     "refusing.test", "long.test",  "noisy.test"};
    for (int i = 0; i < names.size(); ++i) ASSERT_TRUE(ask(quintptr(i + 1), names[i]));
    EXPECT_TRUE(runtime.received(Port).empty()) << "nothing goes out before the flush";
    EXPECT_EQ(queries->flush(), 0);
    EXPECT_EQ(runtime.received(Port).size(), size_t(names.size()));
    EXPECT_EQ(queries->pending(), names.size());
    run();

    const std::map<quintptr, int> status = {{1, ARES_SUCCESS},   {2, ARES_ENODATA},  {3, ARES_ENOTFOUND},
                                            {4, ARES_ESERVFAIL}, {5, ARES_EREFUSED}, {7, ARES_SUCCESS}};
    for (const auto& [tag, expected] : status) {
        EXPECT_EQ(ends[tag].count, 1) << names[int(tag) - 1].toStdString();
        EXPECT_EQ(ends[tag].status, expected) << names[int(tag) - 1].toStdString();
    }
    EXPECT_TRUE(ends[7].answer.endsWith(QByteArray("\x7f\x00\x00\x04", 4))) << "only the real reply counts";
    EXPECT_EQ(ends[7].atNs, 5 * Ms + 100'000) << "the strays before it were dropped, the copy after it too";
    EXPECT_EQ(ends.count(6), 0u) << "a truncated reply is handed back, not reported";
    EXPECT_EQ(truncated, std::vector<quintptr>{6});
    EXPECT_EQ(queries->pending(), 0);
    EXPECT_GT(drains, 0);
    std::set<quint16> distinct;
    for (const auto& [name, id] : ids) distinct.insert(id);
    EXPECT_EQ(distinct.size(), ids.size());
}

TEST_F(DatagramQueriesTest, UnansweredTriesLingerThenTimeOutAndDroppedOnesEndSilently)
{
    std::vector<quint16> ids;
    runtime.setServer(Port, [&](const Fake::Query& q) {
        ids.push_back(q.id);
        return QList<Fake::Send>();
    });
    make();
    // Thousands held at once: no two share an ID, and the IDs follow no count.
    constexpr int Held = 3000;
    for (int i = 0; i < Held; ++i) ASSERT_TRUE(ask(quintptr(i + 1), "q" + QByteArray::number(i) + ".test", 1000));
    EXPECT_EQ(queries->flush(), 0);
    run();
    ASSERT_EQ(ids.size(), size_t(Held));
    EXPECT_EQ(std::set<quint16>(ids.begin(), ids.end()).size(), size_t(Held));
    int steps = 0;
    for (size_t i = 1; i < ids.size(); ++i) steps += quint16(ids[i] - ids[i - 1]) == 1 ? 1 : 0;
    EXPECT_LT(steps, 10);

    queries->expire(999 * Ms);
    EXPECT_TRUE(ends.empty()) << "nothing ends before its linger";
    EXPECT_EQ(queries->nextExpiryNs(), 1000 * Ms);
    queries->expire(1000 * Ms);
    ASSERT_EQ(ends.size(), size_t(Held));
    for (const auto& [tag, ended] : ends) {
        EXPECT_EQ(ended.count, 1);
        EXPECT_EQ(ended.status, ARES_ETIMEOUT);
    }
    EXPECT_EQ(queries->nextExpiryNs(), -1);

    // Dropped tries end without a report, and a reply that comes for one
    // afterwards finds nothing.
    ends.clear();
    std::vector<Fake::Query> asked;
    runtime.setServer(Port, [&](const Fake::Query& q) {
        asked.push_back(q);
        return QList<Fake::Send>{Fake::Send{Fake::BuildReply(q, Fake::NoError, {Fake::A("127.0.0.2")}), 10}};
    });
    ASSERT_TRUE(ask(1, "late.test"));
    queries->flush();
    std::vector<quintptr> dropped;
    queries->dropAll([&](void* tag) { dropped.push_back(reinterpret_cast<quintptr>(tag)); });
    run();
    EXPECT_EQ(dropped, std::vector<quintptr>{1});
    EXPECT_TRUE(ends.empty());
    EXPECT_EQ(asked.size(), 1u);

    queries.reset();
    EXPECT_EQ(runtime.openSockets(), 0);
}

TEST_F(DatagramQueriesTest, NameThatCannotBeAskedIsLeftToTheCaller)
{
    runtime.setServer(Port, [](const Fake::Query&) { return QList<Fake::Send>(); });
    make();
    EXPECT_FALSE(ask(1, "a..b"));
    EXPECT_EQ(queries->pending(), 0);
    EXPECT_TRUE(runtime.received(Port).empty());
}

} // namespace

// On the kernel's sockets: a server whose port is closed answers with an
// ICMP error, and every try held ends refused, not timed out.
TEST(DatagramQueriesOnKernelSockets, ClosedPortEndsEveryTryRefusedAndTheNextTryOpensAgain)
{
    // A port nobody listens on: bound for a moment, then closed.
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(probe, 0);
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&in), sizeof in), 0);
    socklen_t length = sizeof in;
    ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&in), &length), 0);
    ::close(probe);
    sockaddr_storage address{};
    std::memcpy(&address, &in, sizeof in);

    std::map<quintptr, int> status;
    QObject context; // whose thread reads the socket
    DatagramQueries queries(
        AresRuntime::System(), &context, address, socklen_t(sizeof in),
        [&](void* tag, int code, const unsigned char*, int) { status[reinterpret_cast<quintptr>(tag)] = code; },
        [](void*) {}, [] {});
    const auto waitFor = [&](size_t count) {
        QDeadlineTimer deadline(5000);
        while (status.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return status.size() >= count;
    };
    ASSERT_TRUE(queries.send(reinterpret_cast<void*>(quintptr(1)), "a.test", 1, 0, 10'000 * Ms));
    queries.flush();
    ASSERT_TRUE(waitFor(1));
    EXPECT_EQ(status[1], ARES_ECONNREFUSED);
    EXPECT_EQ(queries.pending(), 0);
    ASSERT_TRUE(queries.send(reinterpret_cast<void*>(quintptr(2)), "b.test", 1, 0, 10'000 * Ms));
    queries.flush();
    ASSERT_TRUE(waitFor(2));
    EXPECT_EQ(status[2], ARES_ECONNREFUSED);
}

// Hundreds of tries in one flush go out in batches and every reply is read,
// many per call, each to its own try.
TEST(DatagramQueriesOnKernelSockets, BatchesOfTriesAndRepliesEachReachTheirOwn)
{
    FakeDnsServer server;
    ASSERT_TRUE(server.start());
    server.setScript([](const Fake::Query& q) {
        // The query's number, in the answer: 127.0.N/256.N%256.
        const int n = q.name.split('.').first().mid(1).toInt();
        return Fake::Reply(Fake::BuildReply(
            q, n % 7 == 0 ? Fake::NxDomain : Fake::NoError,
            n % 7 == 0 ? QList<Fake::Record>{}
                       : QList<Fake::Record>{Fake::A(QByteArrayLiteral("127.0.") + QByteArray::number(n / 256) + '.'
                                                     + QByteArray::number(n % 256))}));
    });
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(server.port());
    in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sockaddr_storage address{};
    std::memcpy(&address, &in, sizeof in);
    std::map<quintptr, std::pair<int, QByteArray>> ends;
    QObject context;
    DatagramQueries queries(
        AresRuntime::System(), &context, address, socklen_t(sizeof in),
        [&](void* tag, int status, const unsigned char* answer, int length) {
            ends[reinterpret_cast<quintptr>(tag)] = {status, QByteArray(reinterpret_cast<const char*>(answer), length)};
        },
        [](void*) {}, [] {});
    // More than three batches of sends, fewer than the test server's socket holds.
    constexpr int Tries = 200;
    for (int n = 0; n < Tries; ++n)
        ASSERT_TRUE(queries.send(reinterpret_cast<void*>(quintptr(n + 1)), "q" + QByteArray::number(n) + ".batch.test",
                                 1, 0, 10'000 * Ms));
    EXPECT_EQ(queries.flush(), 0);
    QDeadlineTimer deadline(10000);
    while (ends.size() < size_t(Tries) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QList<int> missing;
    for (int n = 0; n < Tries; ++n)
        if (!ends.count(quintptr(n + 1))) missing << n;
    ASSERT_EQ(ends.size(), size_t(Tries))
        << "asked " << server.queryCount(false) << ", missing from " << (missing.isEmpty() ? -1 : missing.first());
    for (int n = 0; n < Tries; ++n) {
        const auto& [status, answer] = ends[quintptr(n + 1)];
        EXPECT_EQ(status, n % 7 == 0 ? ARES_ENOTFOUND : ARES_SUCCESS) << n;
        if (n % 7 != 0) {
            EXPECT_TRUE(answer.endsWith(QByteArray::fromRawData("\x7f\x00", 2) + char(n / 256) + char(n % 256))) << n;
        }
    }
    EXPECT_EQ(queries.pending(), 0);
}
