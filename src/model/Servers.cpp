#include "model/Servers.h"

namespace quarlo {

ServerPtr Servers::Add(const ServerPtr& server)
{
    if (!server) return nullptr;
    if (ServerPtr held = items_.Item(server->Zone())) return held;
    items_.Add(server->Zone(), server);
    return server;
}

bool Servers::ChangeZone(const ServerPtr& server, const QString& zone)
{
    // Looked up by identity: the key it was filed under may differ from its
    // zone text in letter case.
    const std::optional<QString> heldKey = items_.KeyOf(server);
    if (!server || !heldKey || !items_.Rekey(*heldKey, zone)) return false;
    server->setZone(zone);
    return true;
}

void Servers::Refresh()
{
    lastError_ = {};
    if (store_) store_->Load(*this, lastError_);
}

bool Servers::Sync()
{
    if (!store_) {
        lastError_ = {QStringLiteral(
                          QT_TRANSLATE_NOOP("quarlo::EngineText", "There is no server configuration file to save to.")),
                      {}};
        return false;
    }
    return store_->Save(*this, lastError_);
}

} // namespace quarlo
