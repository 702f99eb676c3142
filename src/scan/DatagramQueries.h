#pragma once

#include "scan/AresRuntime.h"

#include <QByteArray>

#include <array>
#include <functional>
#include <memory>
#include <sys/socket.h>
#include <vector>

namespace quarlo {

// One server's queries over UDP, without c-ares: a scan asks hundreds of
// thousands of them, and c-ares' per-query copies, lists and name
// expansions cost more than the rest of the query. What c-ares checks is
// checked the same way: a reply counts only under the ID of a try still
// held and with the question that try asked (one question, same name
// without regard to case, same type and class); anything else is dropped
// and the try keeps listening. IDs are random and never shared by two tries
// held at once; the socket is connected, so the kernel drops datagrams from
// anyone but the server.
//
// Each try is held until its reply or until it is lingerNs old, and ends
// exactly once through done(): with the reply and the status c-ares would
// give it (NOERROR with answers: success; NOERROR without: ENODATA; FORMERR,
// SERVFAIL, NXDOMAIN, NOTIMP, REFUSED their own), with ARES_ETIMEOUT when
// it is dropped unanswered, ARES_ECONNREFUSED when the server's port is
// closed, or through truncated() when the reply did not fit in a datagram:
// the caller then asks again over a connection.
//
// Sockets come from the runtime; the socket is opened on the first try and
// again after the server refused.
class DatagramQueries {
public:
    using Done = std::function<void(void* tag, int status, const unsigned char* answer, int length)>;
    using Truncated = std::function<void(void* tag)>;

    // drained: after the replies that came were read, once per turn.
    DatagramQueries(AresRuntime& runtime, QObject* context, const sockaddr_storage& server, socklen_t length, Done done,
                    Truncated truncated, std::function<void()> drained);
    ~DatagramQueries();
    DatagramQueries(const DatagramQueries&) = delete;
    DatagramQueries& operator=(const DatagramQueries&) = delete;

    // Takes one try of an IN-class query; false when no socket could be
    // opened (nothing is sent, done() does not run). The try goes out with
    // the next flush(). name: as AresDriver::EncodeName gives it.
    bool send(void* tag, const QByteArray& name, int type, qint64 nowNs, qint64 lingerNs);
    // Sends the tries taken since the last flush, many per system call. A
    // datagram the kernel refuses ends its try at once with
    // ARES_ECONNREFUSED, from inside this call, as c-ares does; the number
    // of those is returned. Tries taken by those callbacks wait for the
    // next flush.
    int flush();
    // Tries held.
    int pending() const { return count_; }
    // When the oldest try held passes its linger; -1 when none is held.
    qint64 nextExpiryNs() const;
    // Ends the tries past their linger with ARES_ETIMEOUT.
    void expire(qint64 nowNs);
    // Ends every try held without done(); each tag goes to dropped.
    void dropAll(const std::function<void(void* tag)>& dropped);

    // Writes the query for name into packet (at least MaxQuery bytes);
    // its length, or 0 when name cannot be asked.
    static constexpr int MaxQuery = 12 + 255 + 4;
    static int BuildQuery(unsigned char* packet, quint16 id, const QByteArray& name, int type);
    // Whether reply asks the question query asked; both are whole messages.
    static bool SameQuestion(const unsigned char* query, int queryLength, const unsigned char* reply, int replyLength);

private:
    struct Held {
        void* tag = nullptr;
        qint64 expiresNs = 0;
        int length = 0;    // of the query, kept for the question check
        bool sent = false; // by flush()
        unsigned char query[MaxQuery];
    };
    bool open();
    void close();
    void readAll();
    // Takes try id out of the held ones and returns its tag; null when
    // none is held.
    void* release(quint16 id);
    // Ends try id, if still held, with status and no reply.
    void fail(quint16 id, int status);
    // Reads one reply.
    void received(const unsigned char* reply, int length);
    quint16 freshId();
    quint16 randomId();

    AresRuntime& runtime_;
    QObject* context_;
    sockaddr_storage server_{};
    socklen_t serverLength_ = 0;
    Done done_;
    Truncated truncated_;
    std::function<void()> drained_;
    ares_socket_t fd_ = ARES_SOCKET_BAD;
    std::unique_ptr<AresRuntime::Watch> watch_;
    // Indexed by ID, made on the first try: no search and no allocation
    // per reply.
    std::vector<std::unique_ptr<Held>> held_;
    // Which IDs are held, one bit each: small enough to stay in the cache,
    // where a look at held_ for a random ID would miss it.
    std::array<quint64, 65536 / 64> inUse_{};
    bool inUse(quint16 id) const { return (inUse_[id >> 6] >> (id & 63)) & 1; }
    // Calls each(id) for every ID held, in order.
    template <typename Each>
    void forEachHeld(Each each);
    int count_ = 0;
    std::vector<quint16> queued_; // taken, not sent yet
    // No try held expires before this; tries past their linger are looked
    // for at most every ExpiryStepNs, so that a lossy path does not turn
    // each lost datagram into a walk over every ID.
    static constexpr qint64 ExpiryStepNs = 100'000'000;
    qint64 earliestNs_ = 0;
    unsigned char random_[4096];
    size_t randomFill_ = 0, randomUsed_ = 0;
    // Spare records, so that a scan allocates none per try.
    std::vector<std::unique_ptr<Held>> spare_;
};

} // namespace quarlo
