// The DNS transport as a scan drives it: an AresDriver with tiny time-outs
// talks to one or two servers, and the input scripts both sides. Whatever the
// servers do (answer, fail, drop, delay, truncate, send garbage, a wrong ID
// or a reply twice) and whatever the callbacks do (query again, cancel
// everything, change the tuning), every query is reported exactly once, or
// not at all after cancelAll(), with the bytes a server sent for it. While
// queries are pending a callback comes within a bound derived from the
// tuning; past it the driver hangs: abort() so that libFuzzer keeps the
// input. So does a driver with queries pending and nothing left to wake it,
// and one that spins without letting time pass.
//
// The driver runs on virtual time with its sockets in memory
// (VirtualAresRuntime): time-outs and retries cost no waiting, so one run
// takes well under a millisecond and the same input always runs the same way.
// c-ares' own time-out (on the real clock) is longer than every deadline of
// the driver's, so within a run it never fires: the driver's deadlines decide.
//
// Most runs pace the driver in small numbers (AresDriver::Pacing): a burst of
// a few queries, a window of a few more, a cut after a loss or two. A handful
// of queries then reaches the burst gap, a full window and its cuts, which at
// the scan's own numbers would take a crowd of a hundred per run.
//
// Input, every field optional (missing bytes read as 0):
//   byte 0   bit 0: two servers; bits 1-2: tries - 1; bits 3-4: every
//            (n+1)th query is a host lookup (0: none); bits 5-6: the
//            queries are spread over n paths (blacklist zones with round
//            trips of their own; 0: none)
//   byte 1   maxTimeoutMs = 10 + b % 41
//   byte 2   pacing: bit 0 set keeps the scan's; otherwise burst 1 + bits
//            1-2, initial window burst + bits 3-4, loss floor 1 + bits 5-6,
//            least window 1 + bit 7, largest twice the initial one
//   byte 3   queries to issue, b % 9
//   byte 4   bits 0-1: waves - 1 the queries are split into; bits 2-7: ms
//            between waves
//   byte 5   n, the number of server actions that follow
//   n bytes  what the server does with each query it receives, in turn,
//            cycled (none: answer): low nibble the action, high nibble its
//            argument (see serverAction)
//   rest     what each callback does, in turn, cycled (none: nothing): low
//            three bits the action, the rest its argument (see clientAction)
#include "scan/AresDriver.h"
#include "support/FakeDnsServer.h"
#include "support/VirtualAresRuntime.h"

#include <ares.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <netdb.h>
#include <vector>

using namespace quarlo;

namespace {

using Fake = FakeDnsServer;

constexpr int MaxQueries = 8;
// Queries the callbacks may add on top.
constexpr int MaxExtraQueries = 16;
constexpr int MaxTries = 4;
constexpr int MaxTimeoutMs = 50;
constexpr quint16 FirstPort = 5301;
// Steps without a callback and without the clock moving: a driver that
// turns in place.
constexpr int MaxStepsInPlace = 100000;

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    QByteArray bytes(size_t count)
    {
        count = std::min(count, size_ - at_);
        const QByteArray out(reinterpret_cast<const char*>(data_ + at_), static_cast<qsizetype>(count));
        at_ += count;
        return out;
    }
    QByteArray rest() { return bytes(size_ - at_); }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

[[noreturn]] void fail(const char* what, int query)
{
    std::fprintf(stderr, "DnsTransportFuzz: %s (query %d)\n", what, query);
    std::abort();
}

// One execution: the servers, the driver and what each query has seen.
class Run {
public:
    enum State : uint8_t { Pending, Reported, Cancelled };

    explicit Run(Reader& in)
    {
        const uint8_t shape = in.byte();
        twoServers_ = shape & 1;
        tuning_.tries = 1 + ((shape >> 1) & 3);
        hostEvery_ = (shape >> 3) & 3;
        paths_ = (shape >> 5) & 3;
        tuning_.maxTimeoutMs = 10 + in.byte() % 41;
        const uint8_t pacing = in.byte();
        if (!(pacing & 1)) {
            pacing_.burst = 1 + ((pacing >> 1) & 3);
            pacing_.initialWindow = pacing_.burst + ((pacing >> 3) & 3);
            pacing_.lossFloor = 1 + ((pacing >> 5) & 3);
            pacing_.minWindow = 1 + (pacing >> 7);
            pacing_.maxWindow = 2 * pacing_.initialWindow;
        }
        total_ = in.byte() % (MaxQueries + 1);
        const uint8_t waves = in.byte();
        waves_ = 1 + (waves & 3);
        waveGapMs_ = waves >> 2;
        serverScript_ = in.bytes(in.byte());
        clientScript_ = in.rest();
    }

    void execute()
    {
        for (int i = 0; i < (twoServers_ ? 2 : 1); ++i) {
            const quint16 port = quint16(FirstPort + i);
            runtime_.setServer(port, [this](const Fake::Query& query) { return serve(query); });
            serverEntries_.append(VirtualAresRuntime::ServerEntry(port));
        }
        driver_ = std::make_unique<AresDriver>(serverEntries_, runtime_);
        if (driver_->status() != ARES_SUCCESS) fail("driver unusable", -1);
        driver_->setTuning(tuning_);
        driver_->setPacing(pacing_);
        maxTries_ = tuning_.tries;
        maxTimeout_ = tuning_.maxTimeoutMs;

        const int perWave = (total_ + waves_ - 1) / waves_;
        for (int wave = 0; wave < waves_; ++wave) {
            const int count = std::min(perWave, total_ - wave * perWave);
            if (count <= 0) break;
            if (wave == 0) {
                issue(count);
                continue;
            }
            ++issuing_;
            runtime_.after(wave * waveGapMs_, [this, count] {
                --issuing_;
                issue(count);
            });
        }

        while (pending_ > 0 || issuing_ > 0) {
            if (pending_ > 0 && runtime_.nowNs() - progressNs_ > boundNs()) hang("no callback in time");
            const qint64 before = runtime_.nowNs();
            if (!runtime_.step()) hang("nothing left to wake the driver");
            if (runtime_.nowNs() != before) stepsInPlace_ = 0;
            if (++stepsInPlace_ > MaxStepsInPlace) hang("spinning without time passing");
        }
        // Whatever the driver still has in hand runs out: a late second
        // callback shows up here. An idle driver must come to rest.
        for (int steps = 0; runtime_.step(); ++steps)
            if (steps > MaxStepsInPlace) fail("busy while idle", -1);
        driver_.reset();
    }

private:
    static QByteArray nameOf(int query) { return QByteArray("q") + QByteArray::number(query) + ".fuzz.test"; }
    // The query a name the servers see belongs to; -1: none of ours.
    static int queryOf(const QByteArray& name)
    {
        if (!name.startsWith('q')) return -1;
        bool ok = false;
        const int query = name.mid(1, name.indexOf('.') - 1).toInt(&ok);
        return ok ? query : -1;
    }

    void issue(int count)
    {
        ++issuing_;
        for (int n = 0; n < count && int(states_.size()) < total_ + MaxExtraQueries; ++n) {
            const int query = int(states_.size());
            states_.push_back(Pending);
            sent_.emplace_back();
            if (pending_ == 0) progressNs_ = runtime_.nowNs();
            ++pending_;
            const QByteArray name = nameOf(query) + '.';
            if (hostEvery_ != 0 && query % (hostEvery_ + 1) == hostEvery_) {
                driver_->getHostByName(name, [this, query](int status, const hostent* host) {
                    reported(query);
                    if (status == ARES_SUCCESS && !host) fail("host lookup succeeded without a host", query);
                    clientAction();
                });
            } else {
                const QByteArray path = paths_ ? "zone" + QByteArray::number(query % paths_) : QByteArray();
                driver_->query(
                    name, 1,
                    [this, query](int status, const unsigned char* answer, int length) {
                        reported(query);
                        checkAnswer(query, status, answer, length);
                        clientAction();
                    },
                    path);
            }
        }
        --issuing_;
    }

    // A query in flight is reported within its tries' waits, each at most
    // the largest time-out, and a waiting one goes out as soon as one in
    // flight ends or the burst gap passes: so while queries are pending, some
    // callback comes at least that often. Virtual time needs no slack for a
    // busy machine; the factor covers pacing.
    qint64 boundNs() const { return (50 + 2 * qint64(maxTries_) * maxTimeout_) * 1'000'000; }

    void reported(int query)
    {
        // A deadline set too far out ends in a callback too, just too late.
        if (runtime_.nowNs() - progressNs_ > boundNs()) hang("callback too late");
        if (states_[size_t(query)] == Reported) fail("second callback", query);
        if (states_[size_t(query)] == Cancelled) fail("callback after cancelAll", query);
        states_[size_t(query)] = Reported;
        --pending_;
        progressNs_ = runtime_.nowNs();
        stepsInPlace_ = 0;
    }

    [[noreturn]] void hang(const char* what)
    {
        std::fprintf(stderr,
                     "DnsTransportFuzz: hang: %s: %d of %d queries unreported, no callback for %lld ms "
                     "(tries %d, maxTimeoutMs %d, %d server(s), %lld tries sent)\n",
                     what, pending_, int(states_.size()),
                     static_cast<long long>((runtime_.nowNs() - progressNs_) / 1'000'000), driver_->tuning().tries,
                     driver_->tuning().maxTimeoutMs, int(serverEntries_.size()),
                     static_cast<long long>(driver_->triesSent()));
        std::abort();
    }

    void cancelAll()
    {
        driver_->cancelAll();
        for (State& state : states_)
            if (state == Pending) state = Cancelled;
        pending_ = 0;
    }

    // A reply handed over must be one the servers sent for this query. What
    // the parser makes of its bytes is the dns_reply target's business.
    void checkAnswer(int query, int status, const unsigned char* answer, int length)
    {
        if (!answer) {
            if (length != 0) fail("length without a reply", query);
            if (status == ARES_SUCCESS) fail("success without a reply", query);
            return;
        }
        if (length < 12) fail("reply shorter than a header", query);
        const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(answer), length);
        if (!sent_[size_t(query)].contains(bytes)) fail("reply not sent for this query", query);
    }

    QList<Fake::Send> serve(const Fake::Query& query)
    {
        const uint8_t action = serverScript_.isEmpty() ? 0 : uint8_t(serverScript_[received_++ % serverScript_.size()]);
        if (query.question.isEmpty()) return {}; // not a query the driver sends
        const int arg = action >> 4;
        QList<Fake::Send> sends;
        const int sentFor = queryOf(query.name);
        auto reply = [&](const QByteArray& packet, int delayMs = 0) {
            if (sentFor >= 0 && sentFor < int(sent_.size())) sent_[size_t(sentFor)].append(packet);
            sends.append(Fake::Send{packet, delayMs});
        };
        // One to four addresses, made once.
        static const QList<Fake::Record> addresses[] = {
            {Fake::A("127.0.0.2")},
            {Fake::A("127.0.0.2"), Fake::A("127.0.0.3")},
            {Fake::A("127.0.0.2"), Fake::A("127.0.0.3"), Fake::A("127.0.0.4")},
            {Fake::A("127.0.0.2"), Fake::A("127.0.0.3"), Fake::A("127.0.0.4"), Fake::A("127.0.0.5")}};
        auto answer = [&] { return Fake::BuildReply(query, Fake::NoError, addresses[arg % 4]); };
        switch (action & 0x0f) {
        case 0: reply(answer()); break;
        case 1: reply(Fake::BuildReply(query, Fake::NxDomain)); break;
        case 2: reply(Fake::BuildReply(query, Fake::ServFail)); break;
        case 3: reply(Fake::BuildReply(query, Fake::Refused)); break;
        case 4: reply(Fake::BuildReply(query, 4 /* NOTIMP */)); break;
        case 5: reply(Fake::BuildReply(query, Fake::NoError)); break;               // no data
        case 6: reply(answer().left(arg * 4)); break;                               // cut short
        case 7: reply(Fake::BuildReply(query, Fake::NoError, {}, -1, true)); break; // over TCP, please
        case 8:
            reply(Fake::BuildReply(query, Fake::NoError, {Fake::A("127.0.0.9")}, (query.id + 1 + arg) & 0xffff));
            break;
        case 9:
            reply(answer());
            reply(answer(), arg);
            break;                                // twice
        case 10: break;                           // dropped
        case 11: reply(answer(), arg * 4); break; // late
        case 12: reply(damaged(query, arg)); break;
        case 13: reply(Fake::BuildReply(query, Fake::NoError, {Fake::Cname("elsewhere.fuzz.test")})); break;
        case 14: { // the right ID for another question
            Fake::Query other = query;
            other.question = Fake::EncodeName("other.fuzz.test") + query.question.right(4);
            reply(Fake::BuildReply(other, Fake::NoError, {Fake::A("127.0.0.8")}));
            break;
        }
        default: reply(Fake::BuildReply(query, Fake::ServFail), arg * 4); break; // late failure
        }
        return sends;
    }

    // A reply with the right ID and question whose answer section is broken.
    static QByteArray damaged(const Fake::Query& query, int arg)
    {
        QByteArray packet = Fake::BuildReply(query, Fake::NoError, {Fake::A("127.0.0.7")});
        const qsizetype answer = 12 + query.question.size();
        switch (arg % 4) {
        case 0: // the owner name points at itself
            packet[answer] = char(0xC0 | ((answer >> 8) & 0x3f));
            packet[answer + 1] = char(answer & 0xff);
            break;
        case 1: packet[answer + 11] = char(0x40); break; // rdlength past the end
        case 2:
            packet[answer + 11] = char(3);
            packet.chop(1);
            break;                           // an A record of three bytes
        default: packet[7] = char(5); break; // five answers, one there
        }
        return packet;
    }

    void clientAction()
    {
        if (clientScript_.isEmpty()) return;
        const uint8_t action = uint8_t(clientScript_[callbacks_++ % clientScript_.size()]);
        const int arg = action >> 3;
        switch (action & 7) {
        case 3: issue(1 + arg % 4); break;
        case 4: cancelAll(); break;
        case 5: runtime_.after(arg, [this] { cancelAll(); }); break;
        case 6: {
            DnsTuning tuning;
            tuning.tries = 1 + arg % MaxTries;
            tuning.maxTimeoutMs = 10 + (arg * 7) % (MaxTimeoutMs - 9);
            driver_->setTuning(tuning);
            maxTries_ = std::max(maxTries_, tuning.tries);
            maxTimeout_ = std::max(maxTimeout_, tuning.maxTimeoutMs);
            break;
        }
        case 7:
            ++issuing_;
            runtime_.after(arg, [this] {
                --issuing_;
                issue(1);
            });
            break;
        default: break;
        }
    }

    bool twoServers_ = false;
    DnsTuning tuning_;
    AresDriver::Pacing pacing_;
    int maxTries_ = 1; // the largest tuning so far
    int maxTimeout_ = 10;
    int hostEvery_ = 0;
    int paths_ = 0;
    int total_ = 0;
    int waves_ = 1;
    int waveGapMs_ = 0;
    QByteArray serverScript_;
    QByteArray clientScript_;

    VirtualAresRuntime runtime_; // outlives the driver
    QStringList serverEntries_;
    std::unique_ptr<AresDriver> driver_;
    std::vector<State> states_;
    int pending_ = 0;
    int issuing_ = 0; // issue() running, or a query promised by a timer
    qsizetype received_ = 0;
    qsizetype callbacks_ = 0;
    qint64 progressNs_ = 0; // the last callback, or the first query after none was pending
    int stepsInPlace_ = 0;
    std::vector<QList<QByteArray>> sent_; // by query
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader in(data, size);
    Run run(in);
    run.execute();
    return 0;
}
