#pragma once

#include <QString>
#include <QStringList>

namespace quarlo {

// Where the programs keep the server configuration, the toolbar layout and
// their bundled data.
//
// A portable copy (a build tree or an unpacked folder) keeps its
// configuration beside the executable: everything is read from and saved
// there. An installed copy never writes its program directory: the
// configuration is read from the user's copy when there is one, else from
// the first administrator's copy in the system configuration folders, else
// from the installed default; it is always saved to the user's copy.
class ConfigLocation {
public:
    struct Places {
        // Directory of the running executable.
        QString programDir;
        // The configuration file a portable copy keeps in programDir.
        QString portableConfig;
        // The user's folder ($XDG_CONFIG_HOME/Vantorel).
        QString userConfigDir;
        // The administrator's folders, most important first
        // (each of $XDG_CONFIG_DIRS, default /etc/xdg, plus "/Vantorel").
        QStringList systemConfigDirs;
        // The installed shared data: <prefix>/share/quarlo.
        QString installedDataDir;
    };

    static constexpr const char* kConfigFileName = "quarlo.cfg";

    explicit ConfigLocation(Places places);
    // The places of the running executable, from the environment. The
    // portable configuration is portableConfig when given, else "quarlo.cfg"
    // beside the executable.
    static ConfigLocation ForExecutable(const QString& executablePath, const QString& portableConfig = QString());

    // The user's configuration folder: "Vantorel" below $XDG_CONFIG_HOME, or
    // below ~/.config when that is unset, empty or relative.
    static QString UserConfigDirectory();
    // The user's data folder: $XDG_DATA_HOME, or ~/.local/share when that is
    // unset, empty or relative.
    static QString UserDataDirectory();
    // Each of $XDG_CONFIG_DIRS (default /etc/xdg) with "/Vantorel".
    static QStringList SystemConfigDirectories();

    bool Portable() const { return portable_; }
    // The configuration to read. When no candidate exists, the installed
    // default's path, so a report names the file that is missing.
    QString ReadPath() const;
    // The servers an installed copy's user starts from and whose
    // differences the user's copy holds: the first administrator's copy,
    // else the installed default. A portable copy's own file.
    QString DefaultsPath() const;
    // Where saving the configuration writes.
    QString SavePath() const;
    // The folder for the program's own files (the toolbar layout): the
    // program directory of a portable copy, else the user's folder.
    QString WritableDirectory() const;
    // The folder holding "Help" and the sample list: the program directory
    // when it holds "Help", else the installed data folder.
    QString DataDirectory() const;

private:
    Places places_;
    bool portable_ = false;
};

} // namespace quarlo
