#include "app/AutomationResponse.h"

#include "app/AutomationServer.h"
#include "quarlo_response_adaptor.h"

namespace quarlo {

AutomationResponse::AutomationResponse(AutomationServer& server, const QString& path, AutomationHandle<Response> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ResponseAdaptor(this);
}

ResponsePtr AutomationResponse::held() const
{
    noteCaller();
    ResponsePtr response = owner_.get();
    if (!response) replyGone();
    return response;
}

QDBusObjectPath AutomationResponse::Server() const
{
    const ResponsePtr r = held();
    return r ? server_.PathOf(r->Server()) : AutomationServer::None();
}

QString AutomationResponse::Address() const
{
    const ResponsePtr r = held();
    return r ? r->Address() : QString();
}

QString AutomationResponse::Reason() const
{
    const ResponsePtr r = held();
    return r ? r->Reason() : QString();
}

QString AutomationResponse::TXTRecord() const
{
    const ResponsePtr r = held();
    return r ? r->TXTRecord() : QString();
}

} // namespace quarlo
