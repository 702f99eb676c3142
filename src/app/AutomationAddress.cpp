#include "app/AutomationAddress.h"

#include "app/AutomationServer.h"
#include "quarlo_address_adaptor.h"

namespace quarlo {

AutomationAddress::AutomationAddress(AutomationServer& server, const QString& path, AutomationHandle<Address> address)
    : AutomationObject(server, path), address_(std::move(address))
{
    new AddressAdaptor(this);
}

AddressPtr AutomationAddress::held() const
{
    noteCaller();
    AddressPtr address = address_.get();
    if (!address) replyGone();
    return address;
}

QString AutomationAddress::Key() const
{
    const AddressPtr a = held();
    return a ? a->Key() : QString();
}

QString AutomationAddress::Target() const
{
    const AddressPtr a = held();
    return a ? a->Target() : QString();
}

void AutomationAddress::setTarget(const QString& target)
{
    const AddressPtr a = held();
    if (a && acceptText(target, "Target")) a->setTarget(target);
}

QString AutomationAddress::IP() const
{
    const AddressPtr a = held();
    return a ? a->IP() : QString();
}

QDBusObjectPath AutomationAddress::RespondingServers() const
{
    const AddressPtr a = held();
    return a ? server_.RespondingServersOf(a) : AutomationServer::None();
}

QString AutomationAddress::Caption() const
{
    const AddressPtr a = held();
    return a ? a->Caption() : QString();
}

bool AutomationAddress::Scanning() const
{
    const AddressPtr a = held();
    return a && a->Scanning();
}

bool AutomationAddress::Complete() const
{
    const AddressPtr a = held();
    return a && a->Complete();
}

QString AutomationAddress::Results() const
{
    const AddressPtr a = held();
    return a ? a->Results() : QString();
}

bool AutomationAddress::Blacklisted() const
{
    const AddressPtr a = held();
    return a && a->Blacklisted();
}

void AutomationAddress::Query()
{
    if (const AddressPtr a = held()) a->Query();
}

} // namespace quarlo
