#pragma once

#include "scan/DnsResponse.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace quarlo {

// Typed DNS queries (TXT, MX, A) against a named DNS server. Each owner
// creates its own instance and receives only its own replies.
class DirectDns : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DirectDns() override = default;

    // The DNS servers to ask, separated by ",".
    virtual QString DNSServers() const = 0;
    // The same, one server each, without blanks; empty when none is named
    // (a query to the server "" goes to the default servers).
    QStringList ServerList() const
    {
        QStringList servers;
        for (const QString& server : DNSServers().split(QLatin1Char(','), Qt::SkipEmptyParts))
            if (const QString trimmed = server.trimmed(); !trimmed.isEmpty()) servers.append(trimmed);
        return servers;
    }
    // Sends one query of type (a DnsRecord::Type: A, MX or TXT) for name to server; reserved is
    // always null. One Reply follows for each answered query.
    virtual void Query(const QString& name, const QString& tag, const QString& server, int type,
                       QObject* reserved = nullptr) = 0;
    // Queries sent and not yet answered or given up.
    virtual int OutstandingCount() const = 0;

signals:
    void Reply(const quarlo::DnsResponse& response);
    // The last outstanding query has been answered or given up.
    void Settled();
};

} // namespace quarlo
