#pragma once

#include "scan/DeferredQueue.h"
#include "scan/DnsLookup.h"
#include "scan/DnsTuning.h"

#include <QHash>
#include <QStringList>

namespace quarlo {

class AresDriver;

// The lookup control on c-ares. Replies are emitted from the event loop,
// never from inside Lookup() or from inside c-ares, so a handler may call
// Lookup, CancelAll or delete the control.
//
// The failure flag is the c-ares status (see DnsFailure): NXDOMAIN gives
// NotFound, NOERROR without an address NoData, SERVFAIL ServerFailure,
// REFUSED Refused (ConnectionRefused when the server's port is closed), an
// unreadable reply BadResponse, and no reply after every try Timeout. With
// several servers, SERVFAIL and REFUSED first move on to the next server
// (see AresDriver).
class AresDnsLookup : public DnsLookup {
    Q_OBJECT
public:
    // servers: see AresDriver; empty means the system's resolvers.
    explicit AresDnsLookup(const QStringList& servers, QObject* parent = nullptr);
    ~AresDnsLookup() override;

    void Lookup(const QString& name) override;
    int PendingCount() const override { return static_cast<int>(pending_.size()); }
    int BusyCount() const override;
    void CancelAll() override;
    void ExpireAll() override;
    int LongestWaitMs() const override;

    // How long each try waits at most and how many tries a lookup gets;
    // applies to lookups from now on.
    void setTuning(const DnsTuning& tuning);
    // Tries handed to c-ares so far, retransmissions included; literals and
    // bad names never get there.
    qint64 QueriesSent() const;

private:
    // The driver's path for a list's zone: the zone without regard to case.
    static QByteArray pathOf(QStringView zone);
    QByteArray pathOfZone(const QString& zone);
    struct Request {
        QString name;
        QString tag;
        Kind kind = Kind::Blacklist;
    };
    struct Result {
        quint64 id = 0;
        QString answer;
        int failure = 0;
    };

    // A typed query (A, AAAA, MX) whose records make the answer text.
    void typedQuery(quint64 id, const QString& name, Kind kind, const QByteArray& path);
    // The reply to request id's query, or the driver's failure.
    void replied(quint64 id, int status, const unsigned char* answer, int length);
    // zone: the list asked, whose answers are timed on their own (see
    // AresDriver::query); empty when the tag names none.
    // Records the outcome of request id (ignored when it was cancelled) and
    // schedules its emission.
    void finish(quint64 id, const QString& answer, int failure);
    void deliver(Result&& result);

    AresDriver* driver_;
    QHash<quint64, Request> pending_; // looked up, not yet reported
    QHash<QString, QByteArray> zonePaths_;
    DeferredQueue<Result> finished_;
    quint64 nextId_ = 1;
};

} // namespace quarlo
