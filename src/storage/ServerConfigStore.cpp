#include "storage/ServerConfigStore.h"

#include "common/ConfigLocation.h"
#include "model/Servers.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerOverrides.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace quarlo {
namespace {

// The servers of the packaged file with the differences of the user's
// document applied; false (error set) when the packaged file is damaged.
bool ReadMerged(Servers& merged, const QString& packagedPath, const pugi::xml_document& user, ErrorText& error)
{
    const bool read = ServerConfigFile::Read(merged, packagedPath, error);
    ServerOverrides::Apply(merged, user);
    return read;
}

void AddMissing(Servers& servers, const Servers& from)
{
    for (const ServerPtr& server : from) servers.Add(server);
}

} // namespace

bool ServerConfigStore::Load(Servers& servers, ErrorText& error)
{
    Servers merged;
    if (KeepsOverrides()) {
        pugi::xml_document user;
        ErrorText userError;
        const bool userRead = ServerConfigFile::ReadDocument(user, savePath_, userError);
        const bool packagedRead = ReadMerged(merged, configPath_, user, error);
        AddMissing(servers, merged);
        if (!userRead) error = userError;
        return userRead && packagedRead;
    }
    pugi::xml_document doc;
    if (!ServerConfigFile::ReadDocument(doc, configPath_, error)) return false;
    if (!ServerOverrides::IsOverrides(doc)) return ServerConfigFile::Read(servers, configPath_, error);
    // The user's file read on its own: the packaged file it differs from is
    // the one this program's own location names.
    const ConfigLocation location = ConfigLocation::ForExecutable(QCoreApplication::applicationFilePath());
    const QString packaged =
        QFileInfo(configPath_) == QFileInfo(location.SavePath()) ? location.DefaultsPath() : QString();
    const bool read = ReadMerged(merged, packaged, doc, error);
    AddMissing(servers, merged);
    return read;
}

bool ServerConfigStore::Save(const Servers& servers, ErrorText& error)
{
    const QString target = SavePath();
    // A save path set apart is the user's own copy, whose folder may not
    // exist before the first save; the configuration file's own folder is
    // never made up.
    const QString folder = QFileInfo(target).absolutePath();
    if (!savePath_.isEmpty() && !QDir().mkpath(folder)) {
        error = {QString::fromUtf8(ServerConfigFile::kCannotSaveText).arg(target),
                 QString::fromUtf8(kNoFolderText).arg(folder)};
        return false;
    }
    if (KeepsOverrides()) {
        // Compared with the packaged file as it is now; one that cannot be
        // read leaves every server written whole, which loses nothing.
        Servers packaged;
        ErrorText ignored;
        ServerConfigFile::Read(packaged, configPath_, ignored);
        pugi::xml_document doc;
        ServerOverrides::Build(doc, packaged, servers);
        return ServerConfigFile::WriteDocument(doc, target, error);
    }
    if (!ServerConfigFile::Write(servers, target, error)) return false;
    configPath_ = target;
    return true;
}

} // namespace quarlo
