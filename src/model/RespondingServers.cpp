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

} // namespace quarlo
