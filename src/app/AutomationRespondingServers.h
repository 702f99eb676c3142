#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/Address.h"

#include <QList>

namespace quarlo {

// <address path>/RespondingServers: the servers that listed one address.
class AutomationRespondingServers : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)
public:
    AutomationRespondingServers(AutomationServer& server, const QString& path, AutomationHandle<Address> owner);

    void Remove(const QDBusVariant& index);
    QDBusObjectPath Item(const QDBusVariant& index);
    int Count() const;
    void Clear();
    QDBusObjectPath Add(const QString& serverName);
    QList<QDBusObjectPath> NewEnum();

private:
    AutomationHandle<Address> owner_;
};

} // namespace quarlo
