#pragma once

#include <ares.h>

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <unordered_set>

class QSocketNotifier;

namespace quarlo {

// One c-ares channel driven by the Qt event loop of the thread that owns it:
// socket notifiers for the channel's sockets and one precise single-shot timer
// for its time-outs. No threads, no polling.
//
// Callbacks run from inside c-ares, sometimes synchronously from inside
// query() or getHostByName() (hosts-file hits, bad names). They must not emit
// signals to arbitrary code, destroy the driver or spin an event loop: record
// the result and queue the emission. cancelAll() is safe anywhere.
class AresDriver : public QObject {
    Q_OBJECT
public:
    // status is an ARES_* code; answer and length are the raw reply (null and
    // 0 when no reply arrived).
    using QueryCallback = std::function<void(int status, const unsigned char* answer, int length)>;
    using HostCallback = std::function<void(int status, const hostent* host)>;

    // New queries go out at most Burst at a time, a millisecond apart, and
    // no more than the congestion window are in flight: a burst of several
    // hundred datagrams overflows a server's receive buffer, and every lost
    // one costs a full time-out. The window starts at a size servers take
    // without loss and follows the round-trip times: it grows while replies
    // come back as fast as the fastest seen (the server keeps up, however
    // far away it is), shrinks while they come back late (they queue at the
    // server) and halves when a query needed a retry.
    static constexpr int Burst = 64;
    static constexpr int BurstGapMs = 1;
    static constexpr int InitialWindow = 100;
    static constexpr int MinWindow = 32;
    static constexpr int MaxWindow = 1024;
    // Per try; the second try waits twice as long, so a query to a server
    // that never answers gives up after about 3 s.
    static constexpr int TimeoutMs = 1000;
    static constexpr int Tries = 2;

    // servers: entries as DnsServerToAres accepts them; invalid ones are
    // dropped with a warning. An empty list means the system's configuration;
    // a list with no valid entry leaves the driver unusable (status() tells
    // why) rather than falling back to the system's resolvers. flags: extra
    // ARES_FLAG_* bits.
    explicit AresDriver(const QStringList& servers, int flags = 0, QObject* parent = nullptr);
    ~AresDriver() override;

    // ARES_SUCCESS when the channel is usable; queries on an unusable driver
    // fail with this status.
    int status() const { return status_; }
    // The channel's servers as FormatDnsServer writes them.
    QStringList servers() const;

    // An IN-class query of type for name, sent as given (no search domains).
    void query(const QByteArray& name, int type, QueryCallback done);
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

    static void onSocketState(void* data, ares_socket_t fd, int readable, int writable);
    static void onQueryDone(void* arg, int status, int timeouts, unsigned char* answer, int length);
    static void onHostDone(void* arg, int status, int timeouts, hostent* host);
    // Takes a finished request out of the books; false when its callback
    // must not run.
    bool retire(Request* request, int timeouts);
    // Adjusts the window after a reply to a query sent at sentAtNs.
    void learn(qint64 sentAtNs, int timeouts);

    void enqueue(std::unique_ptr<Request> request);
    void submitWaiting();
    void process(ares_socket_t readFd, ares_socket_t writeFd);
    void rearmTimer();

    struct Notifiers {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
    };

    ares_channel channel_ = nullptr;
    int status_ = ARES_SUCCESS;
    QTimer timer_;
    QTimer burstTimer_;
    std::unordered_map<ares_socket_t, Notifiers> notifiers_;
    std::deque<std::unique_ptr<Request>> waiting_;
    std::unordered_set<Request*> live_;  // handed to c-ares, callback pending
    int inFlight_ = 0;                   // in c-ares, cancelled ones included
    int window_ = InitialWindow;
    qint64 baseRttNs_ = -1;              // fastest round trip seen
    QElapsedTimer clock_;
    int aresDepth_ = 0;                  // nesting of calls into c-ares
    bool submitting_ = false;
};

} // namespace quarlo
