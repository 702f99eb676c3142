#include "model/RespondingServers.h"

#include "model/Servers.h"

namespace quarlo {

RespondingServerPtr RespondingServers::Add(const QString& serverName)
{
    if (RespondingServerPtr held = items_.Item(serverName)) return held;
    auto record = std::make_shared<RespondingServer>(serverName, servers_);
    if (const ServerPtr server = servers_ ? servers_->Item(serverName) : nullptr)
        record->setServerEnglishName(server->Name());
    items_.Add(serverName, record);
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
