#pragma once

#include <QString>
#include <QStringList>

namespace quarlo {

// One command that the export or send-to lists put into a menu or toolbar.
struct ExportMenuEntry {
    QString id; // prefix + key: the tool ID the dispatcher routes
    QString caption;
    QString tag;             // the engine's key, handed back when chosen
    QStringList imageKeys;   // icon names to try, in order
    bool beginGroup = false; // a separator stands above it
};

} // namespace quarlo
