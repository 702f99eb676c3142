#include "common/RegistryLocation.h"

#include <QDir>

namespace quarlo {

QString DefaultRegistryDirectory()
{
    const QString overridden = qEnvironmentVariable("QUARLO_REGISTRY_DIR");
    if (!overridden.isEmpty())
        return overridden;

    // The base directory rules say a relative XDG_CONFIG_HOME is invalid and
    // must be ignored; an empty one would otherwise put the files below "/".
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir(xdg).filePath(QStringLiteral("Vantorel"));

    return QDir(QDir::homePath()).filePath(QStringLiteral(".config/Vantorel"));
}

} // namespace quarlo
