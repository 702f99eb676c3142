#pragma once

#include "scan/AresRuntime.h"
#include "support/FakeDnsServer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <deque>
#include <functional>
#include <map>
#include <queue>
#include <unordered_map>
#include <vector>

namespace quarlo {

// An AresRuntime on virtual time with DNS servers inside it: c-ares' sockets
// are queues in memory, a query reaches the script of the server it was sent
// to at once, replies come back after the server's latency plus their own
// delay, and the clock only moves when step() finds nothing due now, to the
// next timer or reply. A driver's time-outs, retries and pacing run without
// waiting, and the same input always runs the same way.
//
// No packet ever leaves the process: addresses name servers of this runtime
// only (127.0.0.1:port as given to setServer); datagrams to others vanish.
class VirtualAresRuntime : public AresRuntime {
public:
    using Query = FakeDnsServer::Query;
    using Send = FakeDnsServer::Send;
    using Script = FakeDnsServer::Script;

    VirtualAresRuntime();
    ~VirtualAresRuntime() override;

    // The server on 127.0.0.1:port (UDP and TCP). latencyNs: added to every
    // reply's own delay.
    void setServer(quint16 port, Script script, qint64 latencyNs = 100'000);
    static QString ServerEntry(quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port); }
    // What reached the server, and when.
    struct Received {
        Query query;
        qint64 atNs = 0;
    };
    const std::vector<Received>& received(quint16 port) const;
    void clearReceived(quint16 port) { servers_[port].received.clear(); }

    // Runs one thing: a ready socket's callback, else the earliest timer or
    // reply, moving the clock to it. False when nothing is left to run: no
    // ready socket, no armed timer, no reply on its way.
    bool step();
    // A callback of the caller's own at nowNs() + ms.
    void after(qint64 ms, std::function<void()> call);
    // Sockets c-ares has open now.
    int openSockets() const { return int(sockets_.size()); }

    qint64 nowNs() const override { return nowNs_; }
    std::unique_ptr<Timer> timer(QObject* context, std::function<void()> fired) override;
    std::unique_ptr<Watch> watch(ares_socket_t fd, QObject* context, std::function<void()> readable,
                                 std::function<void()> writable) override;
    bool isStream(ares_socket_t fd) const override;
    const ares_socket_functions* socketFunctions() const override;
    // Nothing of the machine's resolver configuration: the same run on
    // every machine.
    bool systemConfiguration() const override { return false; }

private:
    class VirtualTimer;
    class VirtualWatch;
    struct Server {
        Script script;
        qint64 latencyNs = 0;
        std::vector<Received> received;
    };
    struct Socket {
        bool stream = false;
        quint16 port = 0; // where it is connected to; 0: nowhere yet
        std::deque<QByteArray> datagrams;
        QByteArray incoming; // a connection's bytes, framed
        QByteArray outgoing; // what c-ares wrote to a connection, not yet a whole message
    };
    struct Event {
        qint64 atNs = 0;
        quint64 order = 0;
        // A timer's firing (timer, generation), a packet for socket, or call.
        quint64 timer = 0;
        quint64 generation = 0;
        ares_socket_t socket = ARES_SOCKET_BAD;
        QByteArray packet;
        std::function<void()> call;
        bool operator>(const Event& other) const
        {
            return atNs != other.atNs ? atNs > other.atNs : order > other.order;
        }
    };

    static ares_socket_t Open(int domain, int type, int protocol, void* data);
    static int Close(ares_socket_t fd, void* data);
    static int Connect(ares_socket_t fd, const struct sockaddr* address, ares_socklen_t length, void* data);
    static ares_ssize_t ReceiveFrom(ares_socket_t fd, void* buffer, size_t length, int flags, struct sockaddr* from,
                                    ares_socklen_t* fromLength, void* data);
    static ares_ssize_t SendV(ares_socket_t fd, const struct iovec* parts, int count, void* data);
    static VirtualAresRuntime* Self(void* data);
    // Null, with errno EBADF, for a descriptor that is not open.
    Socket* find(ares_socket_t fd);

    void deliver(ares_socket_t fd, const QByteArray& message, const Socket& socket);
    // Replies due by now into their sockets.
    void arrive();
    void schedule(Event event);
    bool readable(const Socket& socket) const;

    qint64 nowNs_ = 0;
    quint64 nextOrder_ = 0;
    quint64 nextTimer_ = 1;
    // Far above any descriptor of the process: a stray system call on one
    // fails instead of touching a real file.
    ares_socket_t nextFd_ = 1 << 24;
    std::map<quint16, Server> servers_;
    std::map<ares_socket_t, Socket> sockets_; // in order: ready ones run lowest first
    std::unordered_map<ares_socket_t, VirtualWatch*> watches_;
    std::unordered_map<quint64, VirtualTimer*> timers_;
    std::priority_queue<Event, std::vector<Event>, std::greater<>> events_;     // timers and calls
    std::priority_queue<Event, std::vector<Event>, std::greater<>> deliveries_; // replies
};

} // namespace quarlo
