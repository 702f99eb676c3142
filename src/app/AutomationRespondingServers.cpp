#include "app/AutomationRespondingServers.h"

#include "app/AutomationServer.h"
#include "quarlo_respondingservers_adaptor.h"

namespace quarlo {

AutomationRespondingServers::AutomationRespondingServers(AutomationServer& server, const QString& path,
                                                         AutomationHandle<Address> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new RespondingServersAdaptor(this);
}

void AutomationRespondingServers::Remove(const QDBusVariant& index)
{
    const AddressPtr a = held(owner_);
    Key key;
    if (!a || !readKey(index, key)) return;
    const bool removed = std::holds_alternative<int>(key) ? a->RespondingServers().Remove(std::get<int>(key))
                                                          : a->RespondingServers().Remove(std::get<QString>(key));
    if (!removed) replyError(AutomationServer::kErrorNoSuchItem, QStringLiteral("No responding server under that key"));
    server_.Sweep();
}

QDBusObjectPath AutomationRespondingServers::Item(const QDBusVariant& index)
{
    const AddressPtr a = held(owner_);
    Key key;
    if (!a || !readKey(index, key)) return AutomationServer::None();
    return server_.PathOf(a,
                          std::holds_alternative<int>(key) ? a->RespondingServers().Item(std::get<int>(key))
                                                           : a->RespondingServers().Item(std::get<QString>(key)));
}

int AutomationRespondingServers::Count() const
{
    const AddressPtr a = held(owner_);
    return a ? a->RespondingServers().Count() : 0;
}

void AutomationRespondingServers::Clear()
{
    if (const AddressPtr a = held(owner_)) {
        a->RespondingServers().Clear();
        server_.Sweep();
    }
}

QDBusObjectPath AutomationRespondingServers::Add(const QString& serverName)
{
    const AddressPtr a = held(owner_);
    if (!a || !acceptZone(serverName, "ServerName")) return AutomationServer::None();
    return server_.PathOf(a, a->RespondingServers().Add(serverName));
}

QList<QDBusObjectPath> AutomationRespondingServers::NewEnum()
{
    QList<QDBusObjectPath> paths;
    if (const AddressPtr a = held(owner_))
        for (const RespondingServerPtr& s : a->RespondingServers()) paths.append(server_.PathOf(a, s));
    return paths;
}

} // namespace quarlo
