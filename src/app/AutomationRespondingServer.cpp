#include "app/AutomationRespondingServer.h"

#include "app/AutomationServer.h"
#include "quarlo_respondingserver_adaptor.h"

namespace quarlo {

AutomationRespondingServer::AutomationRespondingServer(AutomationServer& server, const QString& path,
                                                       AutomationHandle<RespondingServer> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new RespondingServerAdaptor(this);
}

QString AutomationRespondingServer::ServerName() const
{
    return read(owner_, &RespondingServer::ServerName);
}

void AutomationRespondingServer::setServerName(const QString& name)
{
    const RespondingServerPtr s = held(owner_);
    if (s && acceptZone(name, "ServerName")) s->setServerName(name);
}

QString AutomationRespondingServer::ServerEnglishName() const
{
    return read(owner_, &RespondingServer::ServerEnglishName);
}

void AutomationRespondingServer::setServerEnglishName(const QString& name)
{
    const RespondingServerPtr s = held(owner_);
    if (s && acceptText(name, "ServerEnglishName", kMaxName)) s->setServerEnglishName(name);
}

void AutomationRespondingServer::AddTXTInfo(const QString& address, const QString& txtData)
{
    const RespondingServerPtr s = held(owner_);
    if (s && acceptText(address, "Address", kMaxName) && acceptText(txtData, "TXTData"))
        s->AddTXTInfo(address, txtData);
}

QDBusObjectPath AutomationRespondingServer::Responses() const
{
    const RespondingServerPtr s = held(owner_);
    return s ? server_.ResponsesOf(s) : AutomationServer::None();
}

} // namespace quarlo
