#pragma once

#include "common/KeyedCollection.h"
#include "model/Response.h"

namespace quarlo {

class Servers;

// The responses of one responding server, keyed by answer address.
class Responses {
public:
    explicit Responses(const Servers* servers) : servers_(servers) {}

    // Turns one answer of the server with zone serverName into responses:
    // bit by bit against its result codes for a bit-mask coded server,
    // otherwise one response per space-separated answer address.
    void Add(const QString& serverName, const QString& address);
    // Attaches TXT text to the responses that the same answer produced.
    void AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData);

    ResponsePtr Item(const QString& key) const { return items_.Item(key); }
    ResponsePtr Item(int position) const { return items_.Item(position); }
    int Count() const { return items_.Count(); }
    bool Remove(const QString& key) { return items_.Remove(key) != nullptr; }
    bool Remove(int position) { return items_.Remove(position) != nullptr; }
    void Clear() { items_.Clear(); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    void addRecord(const ServerPtr& server, const QString& key);
    void setText(const QString& key, const QString& txtData);

    const Servers* servers_;
    KeyedCollection<Response> items_;
};

} // namespace quarlo
