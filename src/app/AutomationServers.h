#pragma once

#include "app/AutomationObject.h"

#include <QList>

namespace quarlo {

// /Servers: every blacklist server the program knows.
class AutomationServers : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)
    Q_PROPERTY(QString LastError READ LastError)
public:
    AutomationServers(AutomationServer& server, QObject* parent);

    // server: the path of a server handed out earlier, or a zone text for a
    // new server with that zone and nothing else set.
    QDBusObjectPath Add(const QDBusVariant& server);
    QDBusObjectPath Item(const QDBusVariant& key);
    int Count() const;
    void Remove(const QDBusVariant& key);
    void Clear();
    QList<QDBusObjectPath> NewEnum();
    QString LastError() const;
    void Refresh();
    bool Sync();
};

} // namespace quarlo
