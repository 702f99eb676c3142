#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/RespondingServer.h"

#include <QList>

namespace quarlo {

// /RespondingServer/<id>: a server that answered for an address.
class AutomationRespondingServer : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QString ServerName READ ServerName WRITE setServerName)
    Q_PROPERTY(QString ServerEnglishName READ ServerEnglishName WRITE setServerEnglishName)
    Q_PROPERTY(QDBusObjectPath Responses READ Responses)
public:
    AutomationRespondingServer(AutomationServer& server, const QString& path, AutomationHandle<RespondingServer> owner);

    QString ServerName() const;
    void setServerName(const QString& name);
    QString ServerEnglishName() const;
    void setServerEnglishName(const QString& name);
    void AddTXTInfo(const QString& address, const QString& txtData);
    QDBusObjectPath Responses() const;

private:
    AutomationHandle<RespondingServer> owner_;
};

} // namespace quarlo
