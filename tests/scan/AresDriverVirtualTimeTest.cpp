// The driver's timing, measured exactly: on virtual time with servers in
// memory, a retry schedule of seconds runs in microseconds and every try's
// moment is known to the nanosecond.
#include "scan/AresDriver.h"
#include "support/VirtualAresRuntime.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;
constexpr quint16 Port = 5301;
constexpr qint64 Ms = 1'000'000;

struct Outcome {
    int status = -1;
    QByteArray answer;
    qint64 atNs = -1;
};

Fake::Send answerWith(const Fake::Query& query, const QByteArray& address, int delayMs = 0)
{
    return Fake::Send{Fake::BuildReply(query, Fake::NoError, {Fake::A(address)}), delayMs};
}

class AresDriverVirtualTime : public ::testing::Test {
protected:
    // At the tuning a lookup control starts with, unless given.
    void makeDriver(int tries = DnsTuning{}.tries, int maxTimeoutMs = DnsTuning{}.maxTimeoutMs)
    {
        driver = std::make_unique<AresDriver>(QStringList{VirtualAresRuntime::ServerEntry(Port)}, runtime);
        ASSERT_EQ(driver->status(), ARES_SUCCESS);
        if (tries != DnsTuning{}.tries || maxTimeoutMs != DnsTuning{}.maxTimeoutMs)
            driver->setTuning(DnsTuning{maxTimeoutMs, tries});
    }
    // The server answers 127.0.0.2 to every query that silent (if given)
    // does not drop, delayMs (if given) late.
    void serve(std::function<bool(const Fake::Query&)> silent, qint64 latencyNs = 100'000,
               std::function<int(const Fake::Query&)> delayMs = nullptr)
    {
        runtime.setServer(
            Port,
            [silent, delayMs](const Fake::Query& query) {
                if (silent && silent(query)) return QList<Fake::Send>();
                return QList<Fake::Send>{answerWith(query, "127.0.0.2", delayMs ? delayMs(query) : 0)};
            },
            latencyNs);
    }
    static bool all(const Fake::Query&) { return true; }
    // Queries name (on path, a list's zone); its outcome lands in outcomes[index].
    void ask(const QByteArray& name, const QByteArray& path = {})
    {
        const size_t index = outcomes.size();
        outcomes.emplace_back();
        driver->query(
            name, 1,
            [this, index](int status, const unsigned char* answer, int length) {
                ++callbacks;
                outcomes[index].status = status;
                outcomes[index].answer =
                    answer ? QByteArray(reinterpret_cast<const char*>(answer), length) : QByteArray();
                outcomes[index].atNs = runtime.nowNs();
            },
            path);
    }
    // Tries of names ending in suffix that reached the server.
    int askedFor(const QByteArray& suffix) const
    {
        int count = 0;
        for (const auto& received : runtime.received(Port)) count += received.query.name.endsWith(suffix) ? 1 : 0;
        return count;
    }
    // Until nothing is left to run; false when that takes unreasonably long.
    bool runToRest(int maxSteps = 100000)
    {
        for (int steps = 0; steps < maxSteps; ++steps)
            if (!runtime.step()) return true;
        return false;
    }
    std::vector<qint64> arrivals() const
    {
        std::vector<qint64> times;
        for (const auto& received : runtime.received(Port)) times.push_back(received.atNs);
        return times;
    }

    VirtualAresRuntime runtime;
    std::unique_ptr<AresDriver> driver;
    std::vector<Outcome> outcomes;
    int callbacks = 0;
};

TEST_F(AresDriverVirtualTime, UnansweredQueryIsRetriedOnScheduleThenTimesOut)
{
    // Before any reply the wait is the initial guess (3 s, under the cap of
    // 5 s); the second try waits as long as the first, the third doubles up
    // to the cap, and the query ends when the last try's wait runs out.
    serve(all);
    makeDriver(4, 5000);
    ask("silent.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(arrivals(), (std::vector<qint64>{0, 3000 * Ms, 6000 * Ms, 11000 * Ms}));
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(outcomes[0].status, ARES_ETIMEOUT);
    EXPECT_TRUE(outcomes[0].answer.isEmpty());
    EXPECT_EQ(outcomes[0].atNs, 16000 * Ms);
    EXPECT_EQ(driver->triesSent(), 4);
}

TEST_F(AresDriverVirtualTime, LateReplyToTheFirstTryEndsTheQueryOnce)
{
    // The first try is answered after 4 s, the retry sent at 3 s never: the
    // first try keeps listening, and its reply is the result.
    int seen = 0;
    QByteArray sent;
    runtime.setServer(Port, [&](const Fake::Query& query) {
        if (seen++ > 0) return QList<Fake::Send>();
        const Fake::Send late = answerWith(query, "127.0.0.2", 4000);
        sent = late.packet;
        return QList<Fake::Send>{late};
    });
    makeDriver(3, 5000);
    ask("late.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(seen, 2);
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(outcomes[0].status, ARES_SUCCESS);
    EXPECT_EQ(outcomes[0].answer, sent);
    EXPECT_EQ(outcomes[0].atNs, 4000 * Ms + 100'000); // the delay and the server's latency
}

TEST_F(AresDriverVirtualTime, MeasuredRoundTripSetsTheNextWait)
{
    // The wait becomes the round trip plus four deviations (half the first
    // sample each), never less than the floor: a lost try is resent exactly
    // that long after it went out, and the query ends as long after the last.
    const struct {
        qint64 latencyMs;
        int waitMs;
    } cases[] = {{600, 600 + 4 * 300}, {1, AresDriver::MinTimeoutMs}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latencyMs);
        bool answer = true;
        runtime.clearReceived(Port);
        serve([&](const Fake::Query&) { return !answer; }, c.latencyMs * Ms);
        makeDriver(2, 10000);
        outcomes.clear();
        ask("first.test");
        ASSERT_TRUE(runToRest());
        ASSERT_EQ(outcomes[0].status, ARES_SUCCESS);
        EXPECT_EQ(driver->retryTimeoutMs(), c.waitMs);

        answer = false;
        const qint64 sentAt = runtime.nowNs();
        ask("second.test");
        ASSERT_TRUE(runToRest());
        const std::vector<qint64> times = arrivals();
        ASSERT_EQ(times.size(), 3u);
        EXPECT_EQ(times[2] - times[1], c.waitMs * Ms);
        EXPECT_EQ(outcomes[1].status, ARES_ETIMEOUT);
        EXPECT_EQ(outcomes[1].atNs - sentAt, 2 * c.waitMs * Ms);
    }
}

// A path slower than the old fixed second, at the tuning a lookup control
// starts with: the first queries wait the initial time-out, later ones the
// measured round trip plus a margin. Nothing is sent twice.
TEST_F(AresDriverVirtualTime, SlowServerIsAskedOnceAtTheDefaultTuning)
{
    serve(nullptr, 1500 * Ms);
    makeDriver();
    for (int wave = 0; wave < 2; ++wave) {
        for (int i = 0; i < 10; ++i) ask("w" + QByteArray::number(wave) + "-" + QByteArray::number(i) + ".test");
        ASSERT_TRUE(runToRest());
    }
    EXPECT_EQ(runtime.received(Port).size(), 20u) << "twenty names, each asked once";
    ASSERT_EQ(callbacks, 20);
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.status, ARES_SUCCESS);
}

// A list two seconds slower than the server's other answers, at the
// default tuning: once it has answered, its queries wait its own round trip,
// not the server's, and are asked once.
TEST_F(AresDriverVirtualTime, SlowListGetsWaitsOfItsOwn)
{
    serve(nullptr, 100'000, [](const Fake::Query& query) { return query.name.endsWith("slow.test") ? 2000 : 0; });
    makeDriver();
    for (int i = 0; i < 10; ++i) ask(QByteArray::number(i) + ".fast.test", "fast.test");
    ask("first.slow.test", "slow.test");
    ASSERT_TRUE(runToRest());
    for (int i = 0; i < 10; ++i) ask(QByteArray::number(i) + ".slow.test", "slow.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(askedFor(".slow.test") - askedFor("first.slow.test"), 10) << "a slow list's queries were sent again";
    ASSERT_EQ(callbacks, 21);
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.status, ARES_SUCCESS);
}

// A list that answers its own test and then falls silent, beside a healthy
// one, at a scan's numbers: its losses count against the window, yet
// every query ends, the healthy list's answered and the silent one's timed out.
TEST_F(AresDriverVirtualTime, ListSilentAfterItsTestStillEndsEveryQuery)
{
    int muteAnswers = 2;
    serve([&](const Fake::Query& query) { return query.name.endsWith("mute.test") && muteAnswers-- <= 0; }, 5 * Ms);
    makeDriver(3, 60);
    ask("2.0.0.127.mute.test", "mute.test");
    ask("1.0.0.127.mute.test", "mute.test");
    ASSERT_TRUE(runToRest());
    for (int i = 0; i < 1024; ++i)
        for (const QByteArray zone : {"healthy.test", "mute.test"}) ask(QByteArray::number(i) + "." + zone, zone);
    ASSERT_TRUE(runToRest(10'000'000)) << "the queries never came to rest";
    ASSERT_EQ(callbacks, 2 + 2048);
    for (size_t i = 2; i < outcomes.size(); ++i)
        EXPECT_EQ(outcomes[i].status, i % 2 == 0 ? ARES_SUCCESS : ARES_ETIMEOUT) << i;
    EXPECT_EQ(askedFor(".mute.test"), 2 + 3 * 1024) << "each silent query gets its three tries";
}

TEST_F(AresDriverVirtualTime, NewQueriesGoOutInBurstsAndWithinTheWindow)
{
    // Half again as many queries as the initial window, at once, to a server
    // that has not answered yet: a burst now, the rest of the window a burst
    // gap later, nothing more until the time-outs make room. At the scan's
    // pacing and at a small one, which must behave the same way.
    AresDriver::Pacing small;
    small.burst = 2;
    small.initialWindow = 5;
    for (const AresDriver::Pacing& pacing : {AresDriver::Pacing{}, small}) {
        SCOPED_TRACE(pacing.burst);
        runtime.clearReceived(Port);
        serve(all);
        makeDriver(1, 1000);
        driver->setPacing(pacing);
        callbacks = 0;
        outcomes.clear();
        const int total = pacing.initialWindow * 3 / 2;
        for (int i = 0; i < total; ++i) ask("q" + QByteArray::number(i) + ".test");
        std::vector<qint64> early; // before the first time-out
        runtime.after(500, [&] { early = arrivals(); });
        ASSERT_TRUE(runToRest());
        const qint64 start = early.empty() ? 0 : early.front();
        std::map<qint64, int> at; // ms after the first try: tries sent then
        for (qint64 time : early) ++at[(time - start) / Ms];
        // Bursts a gap apart until the window is full.
        std::map<qint64, int> expected;
        for (int sent = 0, gap = 0; sent < pacing.initialWindow; ++gap) {
            expected[gap * AresDriver::BurstGapMs] = std::min(pacing.burst, pacing.initialWindow - sent);
            sent += pacing.burst;
        }
        EXPECT_EQ(at, expected);
        EXPECT_EQ(callbacks, total);
        for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.status, ARES_ETIMEOUT);
    }
}

TEST_F(AresDriverVirtualTime, LossesInNumbersCutTheWindowAndRepliesGrowItBack)
{
    // Small numbers: window 8 from the first reply, a cut after two losses
    // that are a tenth of the tries. A list that never answers and a lost
    // datagram now and then are no congestion: the window stays open. After
    // the server dropped a whole window, fewer new queries go out at once
    // than before; once it answers again the window grows back.
    bool drop = false;
    int seen = 0;
    serve(
        [&](const Fake::Query& query) {
            const bool lossy = query.name.endsWith("lossy.test") && ++seen % 20 == 0;
            return drop || lossy || query.name.endsWith("dead.test");
        },
        10 * Ms);
    makeDriver(1, 1000);
    AresDriver::Pacing pacing;
    pacing.burst = 100;
    pacing.initialWindow = 8;
    pacing.maxWindow = 8;
    pacing.minWindow = 1;
    pacing.lossFloor = 2;
    driver->setPacing(pacing);
    // How many of count new queries are at the server before any is answered.
    auto atOnce = [&](int count) {
        runtime.clearReceived(Port);
        for (int i = 0; i < count; ++i) ask("n" + QByteArray::number(outcomes.size()) + ".test");
        int sent = -1;
        runtime.after(5, [&] { sent = int(arrivals().size()); });
        EXPECT_TRUE(runToRest());
        return sent;
    };
    // Queries of a list of their own, all at once, to the end.
    auto onPath = [&](const QByteArray& zone, int count) {
        for (int i = 0; i < count; ++i) ask(QByteArray::number(i) + "." + zone, zone);
        EXPECT_TRUE(runToRest());
    };
    EXPECT_EQ(atOnce(1), 1); // opens the window
    EXPECT_EQ(atOnce(12), 8);
    onPath("dead.test", 8);
    EXPECT_EQ(atOnce(12), 8) << "a silent list's time-outs closed the window";
    onPath("lossy.test", 40);
    EXPECT_EQ(seen, 40);
    EXPECT_EQ(atOnce(12), 8) << "one lost datagram in twenty closed the window";
    drop = true;
    EXPECT_EQ(atOnce(8), 8); // all lost
    drop = false;
    const int cut = atOnce(12);
    EXPECT_GE(cut, 1);
    EXPECT_LE(cut, 4) << "eight losses in eight tries left the window open";
    int grown = cut;
    for (int round = 0; round < 8; ++round) grown = atOnce(12);
    EXPECT_EQ(grown, 8) << "replies did not grow the window back";
    for (const Outcome& outcome : outcomes) EXPECT_NE(outcome.status, -1);
}

// A list that has not answered PathSilenceMs after its first query, while
// the server answers others, is silent: its queries end then, even one
// asked just before, and those asked later end at once, but for one every
// ProbeIntervalMs that asks whether it came back. Waiting, they hold no
// place in flight. Answering again, it is asked as before.
TEST_F(AresDriverVirtualTime, SilentListFailsFastButIsProbedAndNoticedWhenItComesBack)
{
    bool deadAnswers = false;
    serve([&](const Fake::Query& query) { return query.name.endsWith("dead.test") && !deadAnswers; }, 10 * Ms);
    makeDriver(2, 5000);
    ask("1.near.test", "near.test");
    ASSERT_TRUE(runToRest());
    const qint64 firstAt = runtime.nowNs();
    ask("1.dead.test", "dead.test");
    int overdue = -1;
    runtime.after(AresDriver::MinTimeoutMs + 100, [&] { overdue = driver->overdueCount(); });
    runtime.after(AresDriver::PathSilenceMs - 300, [&] { ask("2.dead.test", "dead.test"); });
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(overdue, 1) << "a query whose first try timed out still holds a place";
    for (size_t i : {1, 2}) {
        EXPECT_EQ(outcomes[i].status, ARES_ETIMEOUT);
        EXPECT_EQ(outcomes[i].atNs - firstAt, AresDriver::PathSilenceMs * Ms) << "a new list gets time to answer";
    }
    EXPECT_EQ(askedFor("2.dead.test"), 1) << "asked again after its list fell silent";

    deadAnswers = true; // back, but nobody knows yet
    const int askedBefore = askedFor("dead.test");
    const qint64 probedAt = runtime.nowNs();
    for (int i = 0; i < 10; ++i) ask(QByteArray::number(i) + ".3.dead.test", "dead.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(askedFor("dead.test") - askedBefore, 1) << "one asked, nine reported at once";
    int answered = 0;
    for (size_t i = 3; i < outcomes.size(); ++i) {
        answered += outcomes[i].status == ARES_SUCCESS ? 1 : 0;
        EXPECT_TRUE(outcomes[i].status == ARES_SUCCESS || outcomes[i].atNs == probedAt) << i;
    }
    EXPECT_EQ(answered, 1);
    ask("4.dead.test", "dead.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(outcomes.back().status, ARES_SUCCESS) << "answering again, it is asked as before";
}

// However many tries a query gets, a list that never answers is given up
// when it falls silent: a later try does not wait past that moment.
TEST_F(AresDriverVirtualTime, SilentListEndsWhenItFallsSilentWhateverTheTries)
{
    serve([](const Fake::Query& query) { return query.name.endsWith("dead.test"); }, 10 * Ms);
    for (int tries : {2, 3, 4, 6}) {
        SCOPED_TRACE(tries);
        makeDriver(tries, 5000);
        ask("1.near.test", "near.test");
        ASSERT_TRUE(runToRest());
        const qint64 firstAt = runtime.nowNs();
        const size_t index = outcomes.size();
        ask("1.dead.test", "dead.test");
        ASSERT_TRUE(runToRest());
        EXPECT_EQ(outcomes[index].status, ARES_ETIMEOUT);
        EXPECT_EQ(outcomes[index].atNs - firstAt, AresDriver::PathSilenceMs * Ms);
        EXPECT_LE(askedFor("1.dead.test"), tries);
        runtime.clearReceived(Port);
    }
}

// Where every list is slow to give its first answer (a far resolver, cold
// caches), silence is measured against the slowest of them: twice its first
// answer's time, so a list a little slower than that one is still waited for.
TEST_F(AresDriverVirtualTime, SilenceIsJudgedAgainstHowSlowTheListsThatAnsweredWere)
{
    serve([](const Fake::Query& query) { return query.name.endsWith("dead.test"); }, 10 * Ms,
          [](const Fake::Query& query) {
              return query.name.endsWith("slow1.test") ? AresDriver::PathSilenceMs - 200
                                                       : AresDriver::PathSilenceMs + 600;
          });
    makeDriver();
    ask("1.slow1.test", "slow1.test");
    ASSERT_TRUE(runToRest());
    ASSERT_EQ(outcomes[0].status, ARES_SUCCESS);
    const qint64 slowest = outcomes[0].atNs;
    const qint64 firstAt = runtime.nowNs();
    ask("1.dead.test", "dead.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(outcomes[1].status, ARES_ETIMEOUT);
    EXPECT_EQ(outcomes[1].atNs - firstAt, 2 * slowest);
    ask("1.slow2.test", "slow2.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(outcomes[2].status, ARES_SUCCESS) << "a list slower than PathSilenceMs, but not than the others, was cut";

    // With lists that answer quickly the floor holds.
    makeDriver();
    serve([](const Fake::Query& query) { return query.name.endsWith("dead.test"); }, 10 * Ms);
    ask("1.near.test", "near.test");
    ASSERT_TRUE(runToRest());
    const qint64 nearAt = runtime.nowNs();
    ask("2.dead.test", "dead.test");
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(outcomes.back().status, ARES_ETIMEOUT);
    EXPECT_EQ(outcomes.back().atNs - nearAt, AresDriver::PathSilenceMs * Ms);
}

// Queries to a list that does not answer hold room only until a try to it
// times out unanswered: from then on they, and the list's queries asked
// later, are overdue and leave the window to the lists that answer. Once
// the list answers again its new queries hold room as before.
TEST_F(AresDriverVirtualTime, ListThatDoesNotAnswerGivesUpItsRoomInTheWindow)
{
    bool deadAnswers = false;
    serve([&](const Fake::Query& query) { return query.name.endsWith("dead.test") && !deadAnswers; }, 10 * Ms);
    makeDriver(3, 5000);
    AresDriver::Pacing pacing;
    pacing.burst = 100;
    pacing.initialWindow = 8;
    pacing.maxWindow = 8;
    driver->setPacing(pacing);
    ask("1.near.test", "near.test"); // opens the window
    ASSERT_TRUE(runToRest());
    for (int i = 0; i < 8; ++i) ask(QByteArray::number(i) + ".dead.test", "dead.test");
    for (int i = 0; i < 4; ++i) ask(QByteArray::number(i) + ".a.near.test", "near.test");
    int nearBefore = -1, nearAfter = -1, overdueAfter = -1, overdueOfNew = -1, overdueOfAnswering = -1;
    runtime.after(AresDriver::MinTimeoutMs - 20, [&] { nearBefore = askedFor(".a.near.test"); });
    runtime.after(AresDriver::MinTimeoutMs + 50, [&] {
        nearAfter = askedFor(".a.near.test");
        overdueAfter = driver->overdueCount();
        ask("8.dead.test", "dead.test");
        overdueOfNew = driver->overdueCount() - overdueAfter;
        deadAnswers = true;
    });
    // The next tries to it are answered.
    runtime.after(3 * AresDriver::MinTimeoutMs, [&] {
        const int before = driver->overdueCount();
        ask("9.dead.test", "dead.test");
        overdueOfAnswering = driver->overdueCount() - before;
    });
    ASSERT_TRUE(runToRest());
    EXPECT_EQ(nearBefore, 0) << "the window was full of the silent list's first tries";
    EXPECT_EQ(nearAfter, 4) << "its time-outs did not free the window";
    EXPECT_EQ(overdueAfter, 8);
    EXPECT_EQ(overdueOfNew, 1) << "a new query to a list that does not answer held room";
    EXPECT_EQ(overdueOfAnswering, 0) << "the list answers again, its queries are expected";
    for (const Outcome& outcome : outcomes) EXPECT_EQ(outcome.status, ARES_SUCCESS);
}

TEST_F(AresDriverVirtualTime, TruncatedReplyIsFetchedOverAConnection)
{
    QByteArray whole;
    runtime.setServer(Port, [&](const Fake::Query& query) {
        if (!query.tcp) return Fake::Reply(Fake::BuildReply(query, Fake::NoError, {}, -1, true));
        whole = Fake::BuildReply(query, Fake::NoError, {Fake::A("127.0.0.2"), Fake::A("127.0.0.3")});
        return Fake::Reply(whole);
    });
    makeDriver(2, 1000);
    ask("big.test");
    ASSERT_TRUE(runToRest());
    ASSERT_EQ(runtime.received(Port).size(), 2u);
    EXPECT_FALSE(runtime.received(Port)[0].query.tcp);
    EXPECT_TRUE(runtime.received(Port)[1].query.tcp);
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(outcomes[0].status, ARES_SUCCESS);
    EXPECT_EQ(outcomes[0].answer, whole);

    driver.reset();
    EXPECT_EQ(runtime.openSockets(), 0);
}

TEST_F(AresDriverVirtualTime, CancelAllSilencesRepliesOnTheirWayAndTheDriverComesToRest)
{
    serve(nullptr, 100'000, [](const Fake::Query&) { return 100; });
    makeDriver(3, 1000);
    for (int i = 0; i < 10; ++i) ask("q" + QByteArray::number(i) + ".test");
    runtime.after(50, [this] { driver->cancelAll(); });
    ASSERT_TRUE(runToRest(1000));
    EXPECT_EQ(callbacks, 0);
    EXPECT_EQ(runtime.received(Port).size(), 10u); // no retries after the cancel

    // Still usable afterwards.
    ask("after.test");
    ASSERT_TRUE(runToRest(1000));
    ASSERT_EQ(callbacks, 1);
    EXPECT_EQ(outcomes.back().status, ARES_SUCCESS);
}

} // namespace
