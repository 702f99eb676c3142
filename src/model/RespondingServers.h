#pragma once

#include "model/ObjectCollection.h"
#include "model/RespondingServer.h"

namespace quarlo {

// The servers that listed one address, keyed by zone.
class RespondingServers : public ObjectCollection<RespondingServer> {
public:
    explicit RespondingServers(const Servers* servers) : servers_(servers) {}

    // The record for the zone, created (with the server's display name when
    // a definition with that zone exists) when not yet held.
    RespondingServerPtr Add(const QString& serverName);
    // The record for the zone's answer about one of several things checked
    // for a target (subject: an address or a domain): kept apart from the
    // others' under "zone subject", and named after both.
    RespondingServerPtr Add(const QString& serverName, const QString& subject);

private:
    const Servers* servers_;
};

} // namespace quarlo
