#pragma once

#include "model/ServerStore.h"

#include <QString>
#include <QtGlobal>

namespace quarlo {

// The server configuration file as the servers' store.
//
// With one file (a portable copy, or only a configuration path given) it
// is read from the configuration path and written whole to the save path.
//
// An installed copy names the packaged (or administrator's) file as the
// configuration path and the user's own file as a save path set apart: the
// servers are the packaged ones with the user's differences applied
// (ServerOverrides), and a save writes only those differences, so package
// updates keep arriving.
//
// A file of differences read on its own (quarlo-check reads the user's file
// when there is one) is applied over the packaged file of the running
// program's configuration location.
class ServerConfigStore : public ServerStore {
public:
    // Why the user's first save found no folder to write in (%1 the folder),
    // below ServerConfigFile::kCannotSaveText; the window reads it back into
    // the user's language (ui/WindowText).
    static constexpr const char* kNoFolderText =
        QT_TRANSLATE_NOOP("quarlo::EngineText", "The folder %1 could not be created.");

    explicit ServerConfigStore(const QString& configPath, const QString& savePath = QString())
        : configPath_(configPath), savePath_(savePath)
    {
    }

    bool Load(Servers& servers, ErrorText& error) override;
    // Writes to the save path (creating the folder of one set apart). With
    // one file, that is from then on also the file Load reads.
    bool Save(const Servers& servers, ErrorText& error) override;

    QString ConfigPath() const { return configPath_; }
    // The configuration file itself unless set apart (an installed copy
    // reads a shared file and saves the user's own).
    QString SavePath() const { return savePath_.isEmpty() ? configPath_ : savePath_; }
    // The user's differences are kept apart from the packaged file.
    bool KeepsOverrides() const { return !savePath_.isEmpty() && savePath_ != configPath_; }

private:
    QString configPath_;
    QString savePath_;
};

} // namespace quarlo
