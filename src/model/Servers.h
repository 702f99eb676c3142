#pragma once

#include "model/ObjectCollection.h"
#include "model/Server.h"
#include "model/ServerStore.h"

#include <QString>

namespace quarlo {

// Every blacklist server the program knows, keyed by zone, in file order.
// Refresh reads the store (the server configuration file) into the
// collection and Sync writes the whole collection back.
class Servers : public ObjectCollection<Server> {
public:
    // Without a store, Refresh adds nothing and Sync fails.
    explicit Servers(ServerStore* store = nullptr) : store_(store) {}

    // The held server when its zone is already present (the given one is not
    // added); otherwise the given server, appended under its zone.
    ServerPtr Add(const ServerPtr& server);

    // Gives a held server a new zone and files it under that zone, in the
    // same position, so it stays reachable by every look-up by zone. False
    // (and nothing changed) when the server is not held or another held
    // server already has the new zone.
    bool ChangeZone(const ServerPtr& server, const QString& zone);

    // As the object model gives it: the reason below the failure.
    QString LastError() const { return lastError_.Boxed(); }
    const ErrorText& LastErrorText() const { return lastError_; }

    // Adds the stored servers whose zones are not held yet.
    void Refresh();
    // Writes the whole collection to the store.
    bool Sync();

private:
    ServerStore* store_;
    ErrorText lastError_;
};

} // namespace quarlo
