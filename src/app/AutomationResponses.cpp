#include "app/AutomationResponses.h"

#include "app/AutomationServer.h"
#include "quarlo_responses_adaptor.h"

namespace quarlo {

AutomationResponses::AutomationResponses(AutomationServer& server, const QString& path,
                                         AutomationHandle<RespondingServer> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ResponsesAdaptor(this);
}

void AutomationResponses::AddTXTInfo(const QString& serverName, const QString& address, const QString& txtData)
{
    const RespondingServerPtr s = held(owner_);
    if (s && acceptZone(serverName, "ServerName") && acceptText(address, "Address", kMaxName)
        && acceptText(txtData, "TXTData"))
        s->Responses().AddTXTInfo(serverName, address, txtData);
}

void AutomationResponses::Add(const QString& serverName, const QString& address)
{
    const RespondingServerPtr s = held(owner_);
    if (s && acceptZone(serverName, "ServerName") && acceptText(address, "Address", kMaxName))
        s->Responses().Add(serverName, address);
}

void AutomationResponses::Clear()
{
    if (const RespondingServerPtr s = held(owner_)) {
        s->Responses().Clear();
        server_.Sweep();
    }
}

QDBusObjectPath AutomationResponses::Item(const QDBusVariant& key)
{
    const RespondingServerPtr s = held(owner_);
    Key k;
    if (!s || !readKey(key, k)) return AutomationServer::None();
    return server_.PathOf(s,
                          std::holds_alternative<int>(k) ? s->Responses().Item(std::get<int>(k))
                                                         : s->Responses().Item(std::get<QString>(k)));
}

int AutomationResponses::Count() const
{
    const RespondingServerPtr s = held(owner_);
    return s ? s->Responses().Count() : 0;
}

void AutomationResponses::Remove(const QDBusVariant& key)
{
    const RespondingServerPtr s = held(owner_);
    Key k;
    if (!s || !readKey(key, k)) return;
    const bool removed = std::holds_alternative<int>(k) ? s->Responses().Remove(std::get<int>(k))
                                                        : s->Responses().Remove(std::get<QString>(k));
    if (!removed) replyError(AutomationServer::kErrorNoSuchItem, QStringLiteral("No response under that key"));
    server_.Sweep();
}

QList<QDBusObjectPath> AutomationResponses::NewEnum()
{
    QList<QDBusObjectPath> paths;
    if (const RespondingServerPtr s = held(owner_))
        for (const ResponsePtr& r : s->Responses()) paths.append(server_.PathOf(s, r));
    return paths;
}

} // namespace quarlo
