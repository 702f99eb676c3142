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

QString AutomationResultCode::Address() const
{
    return read(owner_, &ResultCode::Address);
}

void AutomationResultCode::setAddress(const QString& address)
{
    const ResultCodePtr c = held(owner_);
    if (c && acceptText(address, "Address", kMaxName)) c->setAddress(address);
}

QString AutomationResultCode::Reason() const
{
    return read(owner_, &ResultCode::Reason);
}

void AutomationResultCode::setReason(const QString& reason)
{
    const ResultCodePtr c = held(owner_);
    if (c && acceptText(reason, "Reason")) c->setReason(reason);
}

bool AutomationResultCode::Listing() const
{
    return read(owner_, &ResultCode::Listing, true);
}

void AutomationResultCode::setListing(bool on)
{
    if (const ResultCodePtr c = held(owner_)) c->setListing(on);
}

} // namespace quarlo
