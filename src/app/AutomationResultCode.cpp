#include "app/AutomationResultCode.h"

#include "app/AutomationServer.h"
#include "quarlo_resultcode_adaptor.h"

namespace quarlo {

AutomationResultCode::AutomationResultCode(AutomationServer& server, const QString& path,
                                           AutomationHandle<ResultCode> owner)
    : AutomationObject(server, path), owner_(std::move(owner))
{
    new ResultCodeAdaptor(this);
}

ResultCodePtr AutomationResultCode::held() const
{
    noteCaller();
    ResultCodePtr code = owner_.get();
    if (!code) replyGone();
    return code;
}

QString AutomationResultCode::Address() const
{
    const ResultCodePtr c = held();
    return c ? c->Address() : QString();
}

void AutomationResultCode::setAddress(const QString& address)
{
    const ResultCodePtr c = held();
    if (c && acceptText(address, "Address", kMaxName)) c->setAddress(address);
}

QString AutomationResultCode::Reason() const
{
    const ResultCodePtr c = held();
    return c ? c->Reason() : QString();
}

void AutomationResultCode::setReason(const QString& reason)
{
    const ResultCodePtr c = held();
    if (c && acceptText(reason, "Reason")) c->setReason(reason);
}

bool AutomationResultCode::Listing() const
{
    const ResultCodePtr c = held();
    return c ? c->Listing() : true;
}

void AutomationResultCode::setListing(bool on)
{
    if (const ResultCodePtr c = held()) c->setListing(on);
}

} // namespace quarlo
