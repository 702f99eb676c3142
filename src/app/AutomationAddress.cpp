#include "app/AutomationAddress.h"

#include "app/AutomationServer.h"
#include "quarlo_address_adaptor.h"
#include "model/Verdict.h"
#include "scan/Addresslist.h"
#include "ui/ResultsModel.h"

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

QString AutomationAddress::Verdict() const
{
    const AddressPtr a = held();
    return a ? VerdictKeyword(a->Verdict()) : QString();
}

QString AutomationAddress::VerdictText() const
{
    const AddressPtr a = held();
    return a ? ResultsModel::StatusText(server_.Settings(), *a) : QString();
}

void AutomationAddress::Query()
{
    if (const AddressPtr a = held()) a->Query();
}

} // namespace quarlo
