#pragma once

#include "model/Server.h"

#include <initializer_list>
#include <utility>

// Builds a server definition in one expression.
inline quarlo::ServerPtr makeServer(const QString& zone, bool enabled,
                                    std::initializer_list<std::pair<const char*, const char*>> codes,
                                    bool bitMask = false, const QString& name = QString())
{
    auto server = std::make_shared<quarlo::Server>();
    server->setZone(zone);
    server->setEnabled(enabled);
    server->setBitMapCodedResults(bitMask);
    server->setName(name);
    server->setURL(QStringLiteral("https://") + zone + QStringLiteral("/"));
    for (const auto& [address, reason] : codes)
        server->ResultCodes().Add(QString::fromUtf8(address), QString::fromUtf8(reason));
    return server;
}

// A domain list as the shipped ones are: 127.0.1.2 lists, 127.0.0.1 is the
// list refusing the query.
inline quarlo::ServerPtr makeDomainList(const QString& zone)
{
    auto server = makeServer(zone, true, {{"127.0.1.2", "Spam domain"}, {"127.0.0.1", "Refused"}});
    server->setKind(quarlo::Server::ListKind::DomainList);
    server->ResultCodes().Item(QStringLiteral("127.0.0.1"))->setListing(false);
    return server;
}
