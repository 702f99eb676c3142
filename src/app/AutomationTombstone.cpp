#include "app/AutomationTombstone.h"

#include "app/AutomationServer.h"

#include <QDBusConnection>
#include <QDBusMessage>

namespace quarlo {

QString AutomationTombstone::introspect(const QString&) const
{
    return QString();
}

bool AutomationTombstone::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    if (!message.isReplyRequired()) return true;
    QDBusConnection(connection)
        .send(message.createErrorReply(AutomationServer::kErrorObjectGone, AutomationServer::GoneText(message.path())));
    return true;
}

} // namespace quarlo
