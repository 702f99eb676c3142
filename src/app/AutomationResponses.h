#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/RespondingServer.h"

#include <QList>

namespace quarlo {

// <responding server path>/Responses: one server's answers for an address.
class AutomationResponses : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(int Count READ Count)
public:
    AutomationResponses(AutomationServer& server, const QString& path, AutomationHandle<RespondingServer> owner);

    void AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData);
    void Add(const QString& serverName, const QString& address);
    void Clear();
    QDBusObjectPath Item(const QDBusVariant& key);
    int Count() const;
    void Remove(const QDBusVariant& key);
    QList<QDBusObjectPath> NewEnum();

private:
    AutomationHandle<RespondingServer> owner_;
};

} // namespace quarlo
