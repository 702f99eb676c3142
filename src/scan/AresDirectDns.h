#pragma once

#include "scan/DeferredQueue.h"
#include "scan/DirectDns.h"
#include "scan/DnsTuning.h"

#include <QHash>
#include <QStringList>

#include <optional>

namespace quarlo {

class AresDriver;

// Typed queries on c-ares, one channel per named server.
//
// A Reply follows every query that the server answered, whatever its
// response code: NXDOMAIN, SERVFAIL and REFUSED give a Reply without
// records, and so does an answer that cannot be parsed. A query that nobody
// answered after every try (see AresDriver and setTuning), or that could not
// be sent, ends without a Reply. Either way OutstandingCount drops. Replies
// are emitted from the event loop, never from inside Query() or c-ares.
//
// MX records come in order of preference, lowest first (equal preferences
// in answer order), so the first is the preferred mail exchanger.
// A null MX ("0 .") gives a record with empty Data.
class AresDirectDns : public DirectDns {
    Q_OBJECT
public:
    // servers: the default servers, also used for an empty server argument;
    // see AresDriver.
    explicit AresDirectDns(const QStringList& servers, QObject* parent = nullptr);
    ~AresDirectDns() override;

    QString DNSServers() const override;
    void Query(const QString& name, const QString& tag, const QString& server, int type,
               QObject* reserved = nullptr) override;
    int OutstandingCount() const override { return outstanding_; }

    // For every channel, open and future: the longest wait of one try and
    // the tries per query.
    void setTuning(const DnsTuning& tuning);

private:
    // The channel for server, created on first use; null when server is
    // not an IP address with an optional port.
    AresDriver* driverFor(const QString& server);
    // Schedules the end of one query: with a reply, or silently.
    void finish(std::optional<DnsResponse> response) { finished_.push(std::move(response)); }
    void deliver(std::optional<DnsResponse>&& response);

    QStringList servers_;
    DnsTuning tuning_;
    AresDriver* defaultDriver_;
    QHash<QString, AresDriver*> drivers_;
    // The same drivers by the server text as callers give it: every TXT
    // query of a scan names its server, and reading it each time costs.
    QHash<QString, AresDriver*> byGiven_;
    DeferredQueue<std::optional<DnsResponse>> finished_;
    int outstanding_ = 0;
};

} // namespace quarlo
