#include "common/ConfigLocation.h"

#include <QDir>
#include <QFileInfo>

namespace quarlo {

namespace {

const QString kVendorFolder = QStringLiteral("Vantorel");

QString configFile(const QString& directory)
{
    return QDir(directory).filePath(QString::fromLatin1(ConfigLocation::kConfigFileName));
}

} // namespace

ConfigLocation::ConfigLocation(Places places) : places_(std::move(places))
{
    // Whatever is at the portable path (even something unreadable) decides,
    // so a broken portable file is reported rather than silently bypassed.
    portable_ = !places_.portableConfig.isEmpty() && QFileInfo::exists(places_.portableConfig);
}

ConfigLocation ConfigLocation::ForExecutable(const QString& executablePath, const QString& portableConfig)
{
    const QFileInfo executable(executablePath);
    Places places;
    places.programDir = executable.absolutePath();
    places.portableConfig = portableConfig.isEmpty() ? configFile(places.programDir) : portableConfig;
    places.userConfigDir = UserConfigDirectory();
    places.systemConfigDirs = SystemConfigDirectories();
    places.installedDataDir = QDir::cleanPath(places.programDir + QStringLiteral("/../share/quarlo"));
    return ConfigLocation(std::move(places));
}

QString ConfigLocation::UserConfigDirectory()
{
    // The base directory rules say a relative XDG_CONFIG_HOME is invalid and
    // must be ignored; an empty one would otherwise put the files below "/".
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir(xdg).filePath(kVendorFolder);
    return QDir(QDir::homePath()).filePath(QStringLiteral(".config/") + kVendorFolder);
}

QString ConfigLocation::UserDataDirectory()
{
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return QDir::cleanPath(xdg);
    return QDir(QDir::homePath()).filePath(QStringLiteral(".local/share"));
}

QStringList ConfigLocation::SystemConfigDirectories()
{
    QStringList result;
    for (const QString& base : qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (QDir::isAbsolutePath(base)) result << QDir(base).filePath(kVendorFolder);
    if (result.isEmpty()) result << QStringLiteral("/etc/xdg/") + kVendorFolder;
    return result;
}

QString ConfigLocation::ReadPath() const
{
    if (portable_) return places_.portableConfig;
    QStringList candidates{configFile(places_.userConfigDir)};
    for (const QString& directory : places_.systemConfigDirs) candidates << configFile(directory);
    for (const QString& candidate : std::as_const(candidates))
        if (QFileInfo::exists(candidate)) return candidate;
    return configFile(places_.installedDataDir);
}

QString ConfigLocation::DefaultsPath() const
{
    if (portable_) return places_.portableConfig;
    for (const QString& directory : places_.systemConfigDirs)
        if (QString candidate = configFile(directory); QFileInfo::exists(candidate)) return candidate;
    return configFile(places_.installedDataDir);
}

QString ConfigLocation::SavePath() const
{
    return portable_ ? places_.portableConfig : configFile(places_.userConfigDir);
}

QString ConfigLocation::WritableDirectory() const
{
    return portable_ ? places_.programDir : places_.userConfigDir;
}

QString ConfigLocation::DataDirectory() const
{
    if (QFileInfo(QDir(places_.programDir).filePath(QStringLiteral("Help"))).isDir()) return places_.programDir;
    return places_.installedDataDir;
}

} // namespace quarlo
