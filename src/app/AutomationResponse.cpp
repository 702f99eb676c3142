#include "app/AutomationResponse.h"

#include "app/AutomationServer.h"
#include "quarlo_response_adaptor.h"

namespace quarlo {

AutomationResponse::AutomationResponse(AutomationServer& server, const QString& path, AutomationHandle<Response> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ResponseAdaptor(this);
}

QDBusObjectPath AutomationResponse::Server() const
{
    const ResponsePtr r = held(owner_);
    return r ? server_.PathOf(r->Server()) : AutomationServer::None();
}

QString AutomationResponse::Address() const
{
    return read(owner_, &Response::Address);
}

QString AutomationResponse::Reason() const
{
    return read(owner_, &Response::Reason);
}

QString AutomationResponse::TXTRecord() const
{
    return read(owner_, &Response::TXTRecord);
}

} // namespace quarlo
