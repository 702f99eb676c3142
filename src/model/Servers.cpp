#include "model/Servers.h"

#include "storage/ServerConfigFile.h"

#include <QDir>
#include <QFileInfo>

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
    lastError_.clear();
    ServerConfigFile::Read(*this, configPath_, lastError_);
}

bool Servers::Sync()
{
    const QString target = SavePath();
    // A save path set apart is the user's own copy, whose folder may not
    // exist before the first save; the configuration file's own folder is
    // never made up.
    const QString folder = QFileInfo(target).absolutePath();
    if (!savePath_.isEmpty() && !QDir().mkpath(folder)) {
        lastError_ = QStringLiteral("Cannot save ") + target + QStringLiteral("\r\n\r\nThe folder ") + folder
                     + QStringLiteral(" could not be created.");
        return false;
    }
    if (!ServerConfigFile::Write(*this, target, lastError_)) return false;
    configPath_ = target;
    return true;
}

} // namespace quarlo
