#include "app/AutomationAddresslist.h"

#include "app/AutomationServer.h"
#include "quarlo_addresslist_adaptor.h"
#include "scan/Addresslist.h"

namespace quarlo {

AutomationAddresslist::AutomationAddresslist(AutomationServer& server, QObject* parent)
    : AutomationObject(server, QStringLiteral("/Addresslist"), parent)
{
    new AddresslistAdaptor(this);
    quarlo::Addresslist& list = server_.Addresslist();
    // Until a client has called nobody listens, and 65,536 addresses added
    // from the window should not each get a path.
    connect(&list, &Addresslist::NewFile, this, [this] {
        server_.Sweep();
        if (server_.Used()) emit NewFile();
    });
    connect(&list, &Addresslist::AddAddress, this, [this](const AddressPtr& address) {
        if (server_.Used()) emit AddAddress(server_.PathOf(address));
    });
    connect(&list, &Addresslist::DeleteAddress, this, [this](const AddressPtr& address) {
        // The address has left the list: the signal names the path it had
        // (now answering "gone"), or "/" when no client ever saw it.
        const QDBusObjectPath path = server_.ExistingPath(address.get());
        // Only this address at once: removing thousands one by one must not
        // look at every handed-out path each time.
        server_.Retire(address.get());
        if (server_.Used()) emit DeleteAddress(path);
    });
    connect(&list, &Addresslist::UpdateAddress, this, [this](const AddressPtr& address) {
        if (server_.Used()) emit UpdateAddress(server_.PathOf(address));
    });
    connect(&list, &Addresslist::ScanStarted, this, [this] {
        // A new scan drops every address's earlier results.
        server_.QueueSweep();
        if (server_.Used()) emit ScanStarted();
    });
    connect(&list, &Addresslist::ScanCanceled, this, [this] {
        if (server_.Used()) emit ScanCanceled();
    });
    connect(&list, &Addresslist::ScanComplete, this, [this] {
        if (server_.Used()) emit ScanComplete();
    });
}

QString AutomationAddresslist::Filename() const
{
    noteCaller();
    return server_.Addresslist().Filename();
}

bool AutomationAddresslist::Changed() const
{
    noteCaller();
    return server_.Addresslist().Changed();
}

QDBusObjectPath AutomationAddresslist::AddTarget(const QString& target)
{
    noteCaller();
    if (!acceptTarget(target)) return AutomationServer::None();
    return server_.PathOf(server_.Addresslist().AddTarget(target));
}

void AutomationAddresslist::Clear()
{
    noteCaller();
    server_.Addresslist().Clear();
    server_.Sweep();
}

QDBusObjectPath AutomationAddresslist::Item(const QDBusVariant& key)
{
    noteCaller();
    Key k;
    if (!readKey(key, k)) return AutomationServer::None();
    const quarlo::Addresslist& list = server_.Addresslist();
    return server_.PathOf(std::holds_alternative<int>(k) ? list.Item(std::get<int>(k))
                                                         : list.Item(std::get<QString>(k)));
}

int AutomationAddresslist::Count() const
{
    noteCaller();
    return server_.Addresslist().Count();
}

void AutomationAddresslist::Remove(const QDBusVariant& key)
{
    noteCaller();
    Key k;
    if (!readKey(key, k)) return;
    quarlo::Addresslist& list = server_.Addresslist();
    if (std::holds_alternative<int>(k))
        list.Remove(std::get<int>(k));
    else
        list.Remove(std::get<QString>(k));
}

QList<QDBusObjectPath> AutomationAddresslist::NewEnum()
{
    noteCaller();
    QList<QDBusObjectPath> paths;
    paths.reserve(server_.Addresslist().Count());
    for (const AddressPtr& address : server_.Addresslist()) paths.append(server_.PathOf(address));
    return paths;
}

QString AutomationAddresslist::LastError() const
{
    noteCaller();
    return server_.Addresslist().LastError();
}

bool AutomationAddresslist::Save(const QString& filename)
{
    noteCaller();
    if (!acceptText(filename, "Filename")) return false;
    return server_.Addresslist().Save(filename);
}

bool AutomationAddresslist::ScanActive() const
{
    noteCaller();
    return server_.Addresslist().ScanActive();
}

} // namespace quarlo
