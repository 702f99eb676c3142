#include "storage/ServerConfigStore.h"

#include "storage/ServerConfigFile.h"

#include <QDir>
#include <QFileInfo>

namespace quarlo {

bool ServerConfigStore::Load(Servers& servers, QString& error) { return ServerConfigFile::Read(servers, configPath_, error); }

bool ServerConfigStore::Save(const Servers& servers, QString& error)
{
    const QString target = SavePath();
    // A save path set apart is the user's own copy, whose folder may not
    // exist before the first save; the configuration file's own folder is
    // never made up.
    const QString folder = QFileInfo(target).absolutePath();
    if (!savePath_.isEmpty() && !QDir().mkpath(folder)) {
        error = QStringLiteral("Cannot save ") + target + QStringLiteral("\r\n\r\nThe folder ") + folder
                + QStringLiteral(" could not be created.");
        return false;
    }
    if (!ServerConfigFile::Write(servers, target, error)) return false;
    configPath_ = target;
    return true;
}

} // namespace quarlo
