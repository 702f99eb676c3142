#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/Server.h"

#include <QList>

namespace quarlo {

// <server path>/ResultCodes: a blacklist server's answer table.
class AutomationResultCodes : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)
public:
    AutomationResultCodes(AutomationServer& server, const QString& path, AutomationHandle<Server> owner);

    QDBusObjectPath Add(const QString& address, const QString& reason);
    QDBusObjectPath Item(const QDBusVariant& key);
    int Count() const;
    void Remove(const QDBusVariant& key);
    void Clear();
    QList<QDBusObjectPath> NewEnum();

private:
    AutomationHandle<Server> owner_;
};

} // namespace quarlo
