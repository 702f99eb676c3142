#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/Response.h"

#include <QList>

namespace quarlo {

// /Response/<id>: one answer of a server, with its reason and TXT text (read-only).
class AutomationResponse : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath Server READ Server)
    Q_PROPERTY(QString Address READ Address)
    Q_PROPERTY(QString Reason READ Reason)
    Q_PROPERTY(QString TXTRecord READ TXTRecord)
public:
    AutomationResponse(AutomationServer& server, const QString& path, AutomationHandle<Response> owner);

    QDBusObjectPath Server() const;
    QString Address() const;
    QString Reason() const;
    QString TXTRecord() const;

private:
    AutomationHandle<Response> owner_;
};

} // namespace quarlo
