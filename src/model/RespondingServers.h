#pragma once

#include "common/KeyedCollection.h"
#include "model/RespondingServer.h"

namespace quarlo {

// The servers that listed one address, keyed by zone.
class RespondingServers {
public:
    explicit RespondingServers(const Servers* servers) : servers_(servers) {}

    // The record for the zone, created (with the server's display name when
    // a definition with that zone exists) when not yet held.
    RespondingServerPtr Add(const QString& serverName);

    RespondingServerPtr Item(const QString& key) const { return items_.Item(key); }
    RespondingServerPtr Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    bool Remove(const QString& key) { return items_.Remove(key) != nullptr; }
    bool Remove(int position) { return items_.Remove(position) != nullptr; }
    void Clear() { items_.Clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    const Servers* servers_;
    KeyedCollection<RespondingServer> items_;
};

} // namespace quarlo
