#include "model/Servers.h"

#include "storage/ServerConfigFile.h"

namespace quarlo {

ServerPtr Servers::Add(const ServerPtr& server)
{
    if (!server) return nullptr;
    if (ServerPtr held = items_.Item(server->Zone())) return held;
    items_.Add(server->Zone(), server);
    return server;
}

void Servers::Refresh()
{
    lastError_.clear();
    ServerConfigFile::Read(*this, configPath_, lastError_);
}

bool Servers::Sync()
{
    return ServerConfigFile::Write(*this, configPath_, lastError_);
}

} // namespace quarlo
