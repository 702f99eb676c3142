#pragma once

#include "model/ObjectCollection.h"
#include "model/Response.h"

#include <QtGlobal>

namespace quarlo {

class Servers;

// The reason of an answer its list has no result code for (%1 the answer):
// English in reports and automation; the window reads it back into the
// user's language (ui/WindowText). Every other reason is the list's own.
inline constexpr const char* kUndefinedCodeText =
    QT_TRANSLATE_NOOP("quarlo::EngineText", "Undefined return code of %1");

// The responses of one responding server, keyed by answer address.
class Responses : public ObjectCollection<Response> {
public:
    explicit Responses(const Servers* servers) : servers_(servers) {}

    // Turns one answer of the server with zone serverName into responses:
    // bit by bit against its result codes for a bit-mask coded server,
    // otherwise one response per space-separated answer address.
    void Add(const QString& serverName, const QString& address);
    // Attaches TXT text to the responses that the same answer produced.
    void AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData);

private:
    void addRecord(const ServerPtr& server, const QString& key);
    void setText(const QString& key, const QString& txtData);

    const Servers* servers_;
};

} // namespace quarlo
