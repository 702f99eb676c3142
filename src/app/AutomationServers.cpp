#include "app/AutomationServers.h"

#include "app/Application.h"
#include "app/AutomationServer.h"
#include "model/Settings.h"
#include "quarlo_servers_adaptor.h"

#include <QDBusError>
#include <QRegularExpression>

namespace quarlo {

AutomationServers::AutomationServers(AutomationServer& server, QObject* parent)
    : AutomationObject(server, QStringLiteral("/Servers"), parent)
{
    new ServersAdaptor(this);
}

QDBusObjectPath AutomationServers::Add(const QDBusVariant& server)
{
    noteCaller();
    const QVariant v = server.variant();
    ServerPtr toAdd;
    if (v.typeId() == qMetaTypeId<QDBusObjectPath>()) {
        const QString path = v.value<QDBusObjectPath>().path();
        // Only a server's own path names a server; an address or a result
        // code is the wrong kind, not a gone server.
        static const QRegularExpression serverPath(QStringLiteral("^/Server/[0-9]+$"));
        if (!serverPath.match(path).hasMatch()) {
            replyInvalid(
                QStringLiteral("Server must be a server's object path (/Server/<n>), not %1").arg(excerpt(path)));
            return AutomationServer::None();
        }
        toAdd = server_.ServerAt(path);
        if (!toAdd) {
            replyError(AutomationServer::kErrorObjectGone, AutomationServer::GoneText(path));
            return AutomationServer::None();
        }
    } else if (v.typeId() == QMetaType::QString) {
        const QString zone = v.toString().trimmed();
        if (!acceptZone(zone, "Server")) return AutomationServer::None();
        toAdd = std::make_shared<quarlo::Server>();
        toAdd->setZone(zone);
    } else {
        replyError(QDBusError::errorString(QDBusError::InvalidArgs),
                   QStringLiteral("Server must be a server's object path or a zone text"));
        return AutomationServer::None();
    }
    return server_.PathOf(server_.Settings().BlacklistServers().Add(toAdd));
}

QDBusObjectPath AutomationServers::Item(const QDBusVariant& key)
{
    noteCaller();
    Key k;
    if (!readKey(key, k)) return AutomationServer::None();
    const Servers& servers = server_.Settings().BlacklistServers();
    return server_.PathOf(std::holds_alternative<int>(k) ? servers.Item(std::get<int>(k))
                                                         : servers.Item(std::get<QString>(k)));
}

int AutomationServers::Count() const
{
    noteCaller();
    return server_.Settings().BlacklistServers().Count();
}

void AutomationServers::Remove(const QDBusVariant& key)
{
    noteCaller();
    Key k;
    if (!readKey(key, k)) return;
    Servers& servers = server_.Settings().BlacklistServers();
    if (std::holds_alternative<int>(k))
        servers.Remove(std::get<int>(k));
    else
        servers.Remove(std::get<QString>(k));
}

void AutomationServers::Clear()
{
    noteCaller();
    server_.Settings().BlacklistServers().Clear();
}

QList<QDBusObjectPath> AutomationServers::NewEnum()
{
    noteCaller();
    QList<QDBusObjectPath> paths;
    for (const ServerPtr& s : server_.Settings().BlacklistServers()) paths.append(server_.PathOf(s));
    return paths;
}

QString AutomationServers::LastError() const
{
    noteCaller();
    return server_.Settings().BlacklistServers().LastError();
}

void AutomationServers::Refresh()
{
    noteCaller();
    server_.Settings().BlacklistServers().Refresh();
}

bool AutomationServers::Sync()
{
    noteCaller();
    if (!server_.Settings().BlacklistServers().Sync()) return false;
    // As from the settings dialog: the servers in use are the file's now,
    // so a configuration that failed to load no longer stops scans.
    server_.Application().ServerConfigSaved();
    return true;
}

} // namespace quarlo
