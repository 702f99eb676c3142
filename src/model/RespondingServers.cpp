#include "model/RespondingServers.h"

#include "model/Servers.h"

namespace quarlo {

RespondingServerPtr RespondingServers::Add(const QString& serverName)
{
    if (RespondingServerPtr held = items_.Item(serverName)) return held;
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    // Spelt as the reply gave it; the definition's own text when that is the
    // same, so that a large scan's records share one copy of it.
    const QString name = server && server->Zone() == serverName ? server->Zone() : serverName;
    auto record = std::make_shared<RespondingServer>(name, servers_);
    if (server) record->setServerEnglishName(server->Name());
    items_.Add(name, record);
    return record;
}

RespondingServerPtr RespondingServers::Add(const QString& serverName, const QString& subject)
{
    if (subject.isEmpty()) return Add(serverName);
    const QString key = serverName + QLatin1Char(' ') + subject;
    if (RespondingServerPtr held = items_.Item(key)) return held;
    auto record = std::make_shared<RespondingServer>(serverName, servers_);
    record->setSubject(subject);
    const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr;
    record->setServerEnglishName((server ? server->Name() : serverName) + QStringLiteral(" (") + subject
                                 + QLatin1Char(')'));
    items_.Add(key, record);
    return record;
}

} // namespace quarlo
