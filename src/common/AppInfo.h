#pragma once

#include <QString>

namespace quarlo {

// The program's display title: it titles message boxes, names the program's
// registry sub-key and is handed to other components as the program name.
inline QString DisplayTitle()
{
    return QStringLiteral("Vantorel Quarlo");
}

// Key below a registry root that holds the program's own sections.
inline QString ProgramKeyPath(const QString& appName, const QString& section)
{
    return QStringLiteral("Software\\Vantorel\\") + appName + QLatin1Char('\\') + section;
}

inline QString ProgramVersion()
{
    return QStringLiteral(QUARLO_VERSION);
}

} // namespace quarlo
