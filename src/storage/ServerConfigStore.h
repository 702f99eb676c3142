#pragma once

#include "model/ServerStore.h"

#include <QString>

namespace quarlo {

// The server configuration file as the servers' store: read from the
// configuration path, written to the save path.
class ServerConfigStore : public ServerStore {
public:
    explicit ServerConfigStore(const QString& configPath, const QString& savePath = QString())
        : configPath_(configPath), savePath_(savePath)
    {
    }

    bool Load(Servers& servers, QString& error) override;
    // Writes to the save path (creating the folder of one set apart), which
    // from then on is also the file Load reads.
    bool Save(const Servers& servers, QString& error) override;

    QString ConfigPath() const { return configPath_; }
    // The configuration file itself unless set apart (an installed copy
    // reads a shared file and saves the user's own).
    QString SavePath() const { return savePath_.isEmpty() ? configPath_ : savePath_; }

private:
    QString configPath_;
    QString savePath_;
};

} // namespace quarlo
