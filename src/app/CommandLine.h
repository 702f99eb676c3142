#pragma once

#include <QStringList>

namespace quarlo {

// What the program's command line asks for. The only switches for people,
// --help and --version, are answered before the window (see main.cpp): a
// command line naming a ".BlackList" file opens it; automation clients start
// the program with "--automation" first.
class CommandLine {
public:
    explicit CommandLine(const QStringList& arguments) : arguments_(arguments) {}

    bool StartedByAutomation() const
    {
        return !arguments_.isEmpty() && arguments_.first() == QLatin1String("--automation");
    }

    // The whole command line as one path with every double quote removed,
    // when it mentions ".BlackList" in any letter case; otherwise empty.
    QString ListPath() const
    {
        const QString line = arguments_.join(QLatin1Char(' '));
        if (!line.contains(QLatin1String(".BlackList"), Qt::CaseInsensitive)) return QString();
        return QString(line).remove(QLatin1Char('"'));
    }

private:
    QStringList arguments_;
};

} // namespace quarlo
