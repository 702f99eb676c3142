#pragma once

#include "scan/AresRuntime.h"
#include "scan/DatagramQueries.h"
#include "scan/DnsTuning.h"

#include <ares.h>

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <unordered_map>
#include <vector>

namespace quarlo {

// c-ares channels driven by the Qt event loop of the thread that owns the
// driver: socket notifiers for the channels' sockets and precise single-shot
// timers for time-outs and pacing. No threads, no polling. Clock, timers and
// sockets come from an AresRuntime, the system's unless one is given.
//
// Typed queries (A, AAAA, MX, TXT) go out over a datagram socket of the
// driver's own per server (DatagramQueries), with c-ares' checks but none of
// its per-query work; a reply too long for a datagram is asked again over a
// TCP-only c-ares channel. Host lookups, and queries the socket cannot take,
// go through c-ares itself.
//
// The driver retransmits by itself. c-ares 1.18 waits the same fixed time
// for every query of a channel, which either resends every query on a slow
// path or waits seconds for a lost one on a fast path. Each try is a fresh
// query (its own ID) that is never retried by what carries it; the driver gives
// each try a deadline from the round-trip times it measured (smoothed round
// trip plus four deviations, at least MinTimeoutMs, at most
// DnsTuning::maxTimeoutMs, InitialTimeoutMs before the first sample), sends
// the next try when it passes, and takes the first reply to any try. The
// second try waits as long as the first (the first keeps listening, so its
// reply is taken for twice the time-out); from the third on each wait
// doubles, up to the cap. Deadlines follow the estimate: those set from the
// initial guess move when the server's first reply comes, and one that
// passes after the time-out grew is pushed out. A query is reported once:
// with the first reply, or ARES_ETIMEOUT when the last try's deadline passes
// unanswered.
//
// There is one channel per server. Tries go to the servers in turn, starting
// at the one that failed least recently; SERVFAIL, REFUSED and NOTIMP move on
// to the next server while one is left and a try remains, otherwise they are
// the result (the raw reply comes with them).
//
// Callbacks run from inside c-ares, from a timer slot, sometimes
// synchronously from inside query() or getHostByName() (hosts-file hits, an
// unusable driver). They must not emit signals to arbitrary code, destroy the
// driver or spin an event loop: record the result and queue the emission.
// cancelAll() and setTuning() are safe anywhere.
class AresDriver : public QObject {
    Q_OBJECT
public:
    // status is an ARES_* code; answer and length are the raw reply (null and
    // 0 when no reply arrived).
    using QueryCallback = std::function<void(int status, const unsigned char* answer, int length)>;
    using HostCallback = std::function<void(int status, const hostent* host)>;

    // New queries go out at most Burst at a time, a millisecond apart
    // unless replies come back sooner, and no more than the congestion
    // window are in flight: a burst of several hundred datagrams overflows
    // a server's receive buffer, and every lost one costs a full time-out.
    // The window starts at a size servers take without loss until the first
    // reply, then opens fully: the caller's own limit of queries in flight
    // governs, however far away the server is. Round-trip times do not move
    // it (the jitter of a busy machine or a far path is no queue). Losses
    // do: when tries to paths that have answered time out in numbers
    // (LossShare of the tries sent when they were, at least LossFloor), the window drops
    // to half of what was in flight, at most once per round trip, and grows
    // back by one per reply up to there, then by one per eighth of a window.
    // A single lost datagram on a lossy path, or a list that never answers,
    // is no congestion. Retransmissions are paced the same way but need no
    // room in the window.
    static constexpr int Burst = 64;
    static constexpr int BurstGapMs = 1;
    static constexpr int InitialWindow = 100;
    static constexpr int MinWindow = 32;
    static constexpr int MaxWindow = 1024;
    static constexpr int LossShare = 10; // one in ten of the tries sent in a quarter of a second
    static constexpr int LossFloor = 8;
    // Bounds of the wait for one try (the upper one is the tuning's).
    static constexpr int MinTimeoutMs = 500;
    static constexpr int InitialTimeoutMs = 3000;
    // The least margin over the smoothed round trip. Replies come by the
    // hundred per round trip, so the deviation estimate decays within a
    // fraction of a second and would otherwise leave no room for the jitter
    // of a busy event loop.
    static constexpr int MinDeviationMarginMs = 250;
    // A path not heard from yet may just be slower than the resolver's
    // other answers: the last try of its queries waits until the path's
    // first query is silenceNs() old: PathSilenceMs, or twice the longest
    // any path took to give its first answer when that is longer. A path
    // that has not answered by then, while the resolver answers others, is
    // silent: its queries are reported unanswered at once, but for one
    // every ProbeIntervalMs that is asked to see whether it came back.
    // Waiting on a list that does not answer would only hold the scan.
    static constexpr int PathSilenceMs = 2000;
    static constexpr int ProbeIntervalMs = 5000;
    // Round-trip estimates kept for at most this many paths.
    static constexpr int MaxPaths = 4096;

    // servers: entries as DnsServerToAres accepts them; invalid ones are
    // dropped with a warning. An empty list means the system's configuration;
    // a list with no valid entry leaves the driver unusable (status() tells
    // why) rather than falling back to the system's resolvers. flags: extra
    // ARES_FLAG_* bits (ARES_FLAG_NOCHECKRESP is always set: the driver
    // decides itself what a server failure means; so is ARES_FLAG_STAYOPEN:
    // one socket per channel for the driver's life).
    explicit AresDriver(const QStringList& servers, int flags = 0, QObject* parent = nullptr);
    // The same on runtime's clock, timers and sockets instead of the
    // system's; runtime outlives the driver.
    AresDriver(const QStringList& servers, AresRuntime& runtime, int flags = 0, QObject* parent = nullptr);
    ~AresDriver() override;

    // ARES_SUCCESS when the channels are usable; queries on an unusable
    // driver fail with this status.
    int status() const { return status_; }
    // The servers as FormatDnsServer writes them.
    QStringList servers() const;

    // Applies to every try sent from now on: its wait and how many tries a
    // query gets. Values out of range are brought into it (tries 1..20,
    // maxTimeoutMs 10..600000).
    void setTuning(const DnsTuning& tuning);
    DnsTuning tuning() const { return tuning_; }
    // The pacing above in numbers. Scans keep the defaults; tests and the
    // fuzzer shrink them so that a handful of queries fills a burst or the
    // window and cuts it.
    struct Pacing {
        int burst = Burst;
        int initialWindow = InitialWindow;
        int minWindow = MinWindow;
        int maxWindow = MaxWindow;
        int lossFloor = LossFloor;
    };
    // Before the first query. Every value is brought to at least 1, the
    // initial window to at most the largest, the least to at most the
    // initial one.
    void setPacing(const Pacing& pacing);
    Pacing pacing() const { return pacing_; }
    // The wait for a first try to server index (0-based) as things stand.
    int retryTimeoutMs(int server = 0) const;
    // Tries handed to c-ares since the driver was made, retransmissions
    // included.
    qint64 triesSent() const { return triesSent_; }
    // Queries not reported yet that are not expected to be answered soon:
    // one of their tries timed out, or their path has not answered since a
    // try to it went out that timed out, while the resolver answers. They
    // keep their tries but hold no room in the window: a list that does not
    // answer would otherwise fill it, and the caller's limit, with queries
    // that wait seconds, and starve the lists that do.
    int overdueCount() const { return overdue_; }

    // An IN-class query of type for name, sent as given (no search domains).
    // path names what answers it beyond the resolver (a blacklist's zone):
    // queries of one path share a round-trip estimate of their own, so a
    // list that answers slower than the resolver's other answers gets its
    // own, longer waits. Empty: the server's estimate alone.
    void query(const QByteArray& name, int type, QueryCallback done, const QByteArray& path = {});
    // The first IPv4 addresses of name as the system resolves it (hosts
    // file, search domains).
    void getHostByName(const QByteArray& name, HostCallback done);
    // Drops every query; no callback runs for them.
    void cancelAll();

    // name as c-ares should see it, or empty when it is no usable DNS name:
    // empty, control characters, blanks or backslashes, an empty label,
    // labels over 63 or names over 253 characters. A single trailing dot is
    // kept. Non-ASCII names are converted to their ACE form.
    static QByteArray EncodeName(const QString& name);

private:
    struct Request;
    struct Attempt;
    struct Server;
    struct Rtt {
        qint64 srttNs = -1; // smoothed round trip; -1 before the first sample
        qint64 rttvarNs = 0;
        // Adds one sample; true for the first.
        bool add(qint64 rttNs);
    };
    struct Path {
        Rtt rtt;
        qint64 firstSentNs = -1; // its first try
        qint64 lastProbeNs = -1; // the last query let through while silent
        bool swept = false;      // its lookups were ended when it fell silent
        qint64 lastReplyNs = -1; // when it last answered
        bool quiet = false;      // a try timed out, no answer since it went out
    };
    struct Deadline {
        qint64 atNs;
        quint64 request;
        bool operator>(const Deadline& other) const { return atNs > other.atNs; }
    };
    struct Notifiers {
        std::unique_ptr<AresRuntime::Watch> watch;
        Server* server = nullptr;
        bool stream = false; // a TCP connection
    };

    static void onSocketState(void* data, ares_socket_t fd, int readable, int writable);
    static void onQueryDone(void* arg, int status, int timeouts, unsigned char* answer, int length);
    static void onHostDone(void* arg, int status, int timeouts, hostent* host);

    // stream: the server's TCP-only channel rather than its own.
    bool openChannel(Server* server, bool stream = false);
    // Sends a try of a query over the server's own datagram socket
    // (DatagramQueries) rather than through c-ares; false when it cannot,
    // and c-ares takes the try.
    bool sendDatagram(Server* server, Attempt* attempt, qint64 nowNs);
    // A reply that did not fit in a datagram: c-ares asks again, and moves
    // to TCP when the reply is truncated again.
    void askOverConnection(Server* server, Attempt* attempt);
    // Ends the tries still inside server's channel; no callback reports them.
    void dropTries(Server* server);
    void enqueue(std::unique_ptr<Request> request);
    void submitWaiting();
    // Sends the retries due and the new queries there is room for.
    void sendDue();
    // Sends the tries gathered on the datagram sockets; how many of them
    // were refused at once.
    int flushDatagrams();
    void sendTry(Request* request);
    // One try ended. replied: a response came (the status may still be an
    // error); retryable: nothing came but another try may get through.
    // Whether the try's request is to be reported now (finish).
    bool tryEnded(const Attempt& attempt, int status, bool replied, bool retryable);
    void queueRetry(Request* request);
    // Reports the request with the callback it was made with: answer for a
    // query, host for a host lookup.
    void finish(quint64 id, int status, const unsigned char* answer, int length, const hostent* host);
    std::unique_ptr<Request> newRequest();
    void recycle(std::unique_ptr<Request> request);
    static constexpr size_t SpareRequests = 1024;
    std::vector<std::unique_ptr<Request>> spareRequests_;
    void expireDeadlines();
    void sample(Server* server, qint64 rttNs);
    // A reply to a query still waited for; a try of one that timed out.
    void learn(qint64 rttNs);
    void lost(const QByteArray& path, qint64 sentAtNs);
    // The longest smoothed round trip of the servers, at least 100 ms.
    qint64 roundTripNs() const;
    // Tries sent, and lost, per quarter of a second they were sent in: a
    // time-out comes long after its try, and is weighed against what went
    // out with it.
    struct LossBucket {
        qint64 index = -1;
        int sent = 0, lost = 0;
    };
    static constexpr qint64 LossBucketNs = 250'000'000;
    static constexpr int LossBuckets = 64;
    LossBucket* lossBucket(qint64 atNs, bool create);
    qint64 tryWaitNs(int server, int tryIndex, qint64 tryStartNs, const QByteArray& path = {}) const;
    // Not one answer although its first query is silenceNs() old and the
    // resolver answers others.
    bool silent(const Path& path, qint64 nowNs) const;
    qint64 silenceNs() const;
    int triesFor(const Request& request) const;
    // Ends the waits of path's lookups now, but for a probe's.
    void endSilent(const QByteArray& path, qint64 now);
    int timeoutMs(const Rtt& rtt) const;
    // After a first sample, tries waiting the old guess get the new one
    // when it is shorter.
    void tightenDeadlines(const std::function<bool(const Request&)>& affected);
    void samplePath(const QByteArray& path, qint64 rttNs, qint64 nowNs);
    int lingerMs() const;

    void process(Server* server, ares_socket_t readFd, ares_socket_t writeFd);
    void processTimeouts();
    // After every turn: send what may go, drop leftover tries when idle,
    // re-arm the timers.
    void settle();
    void rearmTimers();
    // Retries due, or new queries with room in the window.
    bool hasSendableWork() const;

    std::vector<std::unique_ptr<Server>> servers_;
    int flags_ = 0;
    int status_ = ARES_SUCCESS;
    DnsTuning tuning_;
    int channelLingerMs_ = 0; // c-ares' own time-out of the open channels
    AresRuntime& runtime_;
    qint64 epochNs_ = 0; // the runtime's clock when the driver was made
    qint64 nowNs() const { return runtime_.nowNs() - epochNs_; }
    std::unique_ptr<AresRuntime::Timer> timer_;         // c-ares' time-outs
    std::unique_ptr<AresRuntime::Timer> deadlineTimer_; // the tries' deadlines
    qint64 armedDeadlineNs_ = 0;                        // the deadline it was last set for
    std::unique_ptr<AresRuntime::Timer> burstTimer_;
    std::unordered_map<ares_socket_t, Notifiers> notifiers_;
    QHash<QByteArray, Path> paths_;
    qint64 slowestFirstAnswerNs_ = 0;              // the longest a path took from its first try to its first answer
    std::deque<std::unique_ptr<Request>> waiting_; // not yet sent
    std::unordered_map<quint64, std::unique_ptr<Request>> requests_;                 // sent, not reported
    std::deque<quint64> retries_;                                                    // due for another try
    std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> deadlines_; // stale ones skipped
    quint64 nextId_ = 1;
    int inFlight_ = 0;        // requests_ and nothing else: leftover tries do not count
    int overdue_ = 0;         // of requests_ and waiting_
    int overdueInFlight_ = 0; // of requests_ alone
    void markOverdue(Request& request);
    // A try to path sent at sentAtNs timed out. No answer from the path
    // since: its queries are overdue until it answers again, those waiting
    // too.
    void pathQuiet(const QByteArray& path, qint64 sentAtNs);
    Pacing pacing_;
    int window_ = InitialWindow;
    int threshold_ = MaxWindow; // where growth slows down, after a cut
    int credit_ = 0;            // replies towards the next step above it
    bool opened_ = false;       // a reply came
    std::vector<LossBucket> lossBuckets_ = std::vector<LossBucket>(LossBuckets);
    qint64 lastCutNs_ = -1;
    qint64 triesSent_ = 0;
    int aresDepth_ = 0; // nesting of calls into c-ares
    bool submitting_ = false;
    int burstSent_ = 0; // new tries since the last reply or burst gap
};

} // namespace quarlo
