#include "app/AutomationAddress.h"

#include "app/AutomationServer.h"
#include "model/Verdict.h"
#include "quarlo_address_adaptor.h"
#include "scan/Addresslist.h"
#include "ui/ResultsModel.h"

namespace quarlo {

AutomationAddress::AutomationAddress(AutomationServer& server, const QString& path, AutomationHandle<Address> address)
    : AutomationObject(server, path), address_(std::move(address))
{
    new AddressAdaptor(this);
}

QString AutomationAddress::Key() const
{
    return read(address_, &Address::Key);
}

QString AutomationAddress::Target() const
{
    return read(address_, &Address::Target);
}

void AutomationAddress::setTarget(const QString& target)
{
    const AddressPtr a = held(address_);
    if (!a || !acceptTarget(target)) return;
    Addresslist& list = server_.Addresslist();
    // Replies find their address by target: one renamed in a scan would
    // wait for answers that no longer reach it.
    if (list.ScanActive()) {
        replyError(AutomationServer::kErrorFailed, QStringLiteral("A target cannot be changed while a scan runs"));
        return;
    }
    if (!list.Rename(a, target))
        replyInvalid(QStringLiteral("Another address already has the target %1").arg(excerpt(target.trimmed())));
}

QString AutomationAddress::IP() const
{
    return read(address_, &Address::IP);
}

QDBusObjectPath AutomationAddress::RespondingServers() const
{
    const AddressPtr a = held(address_);
    return a ? server_.RespondingServersOf(a) : AutomationServer::None();
}

QString AutomationAddress::Caption() const
{
    return read(address_, &Address::Caption);
}

bool AutomationAddress::Scanning() const
{
    const AddressPtr a = held(address_);
    return a && a->Scanning();
}

bool AutomationAddress::Complete() const
{
    const AddressPtr a = held(address_);
    return a && a->Complete();
}

QString AutomationAddress::Results() const
{
    return read(address_, &Address::Results);
}

bool AutomationAddress::Blacklisted() const
{
    const AddressPtr a = held(address_);
    return a && a->Blacklisted();
}

QString AutomationAddress::Verdict() const
{
    const AddressPtr a = held(address_);
    return a ? VerdictKeyword(a->Verdict()) : QString();
}

QString AutomationAddress::VerdictText() const
{
    const AddressPtr a = held(address_);
    return a ? ResultsModel::StatusText(server_.Settings(), *a) : QString();
}

void AutomationAddress::Query()
{
    if (const AddressPtr a = held(address_)) a->Query();
}

} // namespace quarlo
