#pragma once

#include "common/KeyedCollection.h"
#include "model/Server.h"

#include <QString>

namespace quarlo {

// Every blacklist server the program knows, keyed by zone, in file order.
// Refresh reads the server configuration file into the collection and Sync
// writes the whole collection back.
class Servers {
public:
    explicit Servers(const QString& configPath) : configPath_(configPath) {}

    // The held server when its zone is already present (the given one is not
    // added); otherwise the given server, appended under its zone.
    ServerPtr Add(const ServerPtr& server);

    ServerPtr Item(const QString& zone) const { return items_.Item(zone); }
    ServerPtr Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    // A key that is not held is ignored.
    void Remove(const QString& zone) { items_.Remove(zone); }
    void Remove(int position) { items_.Remove(position); }
    void Clear() { items_.Clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Gives a held server a new zone and files it under that zone, in the
    // same position, so it stays reachable by every look-up by zone. False
    // (and nothing changed) when the server is not held or another held
    // server already has the new zone.
    bool ChangeZone(const ServerPtr& server, const QString& zone);

    QString LastError() const { return lastError_; }

    // Adds the servers of the configuration file whose zones are not held yet.
    void Refresh();
    // Writes the whole collection to the save path (creating the folder of
    // one set apart), which from then on is also the file Refresh reads.
    bool Sync();

    QString ConfigPath() const { return configPath_; }
    // Where Sync writes: the configuration file itself unless set apart
    // (an installed copy reads a shared file and saves the user's own).
    QString SavePath() const { return savePath_.isEmpty() ? configPath_ : savePath_; }
    void setSavePath(const QString& path) { savePath_ = path; }

private:
    KeyedCollection<Server> items_;
    QString configPath_;
    QString savePath_;
    QString lastError_;
};

} // namespace quarlo
