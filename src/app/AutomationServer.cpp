#include "app/AutomationServer.h"

#include "app/Application.h"
#include "app/AutomationAddress.h"
#include "app/AutomationAddresslist.h"
#include "app/AutomationApplication.h"
#include "app/AutomationBlacklistServer.h"
#include "app/AutomationRespondingServer.h"
#include "app/AutomationRespondingServers.h"
#include "app/AutomationResponse.h"
#include "app/AutomationResponses.h"
#include "app/AutomationResultCode.h"
#include "app/AutomationResultCodes.h"
#include "app/AutomationServers.h"
#include "app/AutomationSettings.h"
#include "app/AutomationTestHook.h"
#include "app/AutomationTombstone.h"
#include "common/LogCategories.h"
#include "scan/Addresslist.h"

#include <QApplication>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QTimer>
#include <QWidget>
#include <QtDebug>
#include <algorithm>

namespace quarlo {

namespace {

template <typename Collection, typename Pointer>
bool holds(const Collection& collection, const Pointer& item)
{
    for (const auto& held : collection)
        if (held == item) return true;
    return false;
}

// "/Address" for "/Address/7" and "/Address/7/RespondingServers".
QString folderOf(const QString& path)
{
    const qsizetype slash = path.indexOf(QLatin1Char('/'), 1);
    return slash < 0 ? path : path.left(slash);
}

bool inFolder(const QString& path, const QString& folder)
{
    return path.size() > folder.size() && path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/');
}

// A path as the bus orders it: component by component, each compared as
// text ("/Address/10" before "/Address/9"), a path before those below it.
// Paths here have at most three components ("/Address/7/RespondingServers").
struct BusOrder {
    QStringView folder;
    QStringView id;
    QStringView rest;

    explicit BusOrder(const QString& path)
    {
        const qsizetype second = path.indexOf(QLatin1Char('/'), 1);
        const qsizetype third = second < 0 ? -1 : path.indexOf(QLatin1Char('/'), second + 1);
        folder = QStringView(path).mid(1, (second < 0 ? path.size() : second) - 1);
        if (second >= 0) id = QStringView(path).mid(second + 1, (third < 0 ? path.size() : third) - second - 1);
        if (third >= 0) rest = QStringView(path).mid(third + 1);
    }
    bool operator<(const BusOrder& other) const
    {
        if (const int order = folder.compare(other.folder)) return order < 0;
        if (const int order = id.compare(other.id)) return order < 0;
        if (rest.isEmpty() || other.rest.isEmpty()) return rest.isEmpty() && !other.rest.isEmpty();
        return rest.compare(other.rest) < 0;
    }
};

// Deletes a wrapper whose path is no longer registered. The bus hears of
// every registered object's end and then searches its whole object tree
// for it, waiting on its own thread: per address of a big list that made
// retiring them quadratic. The object is no longer in the tree, so the bus
// needs no word of it.
void dropWrapper(QObject* wrapper)
{
    if (!wrapper) return;
    QObject::disconnect(wrapper, &QObject::destroyed, nullptr, nullptr);
    delete wrapper;
}

} // namespace

QString AutomationServer::GoneText(const QString& path)
{
    return QStringLiteral("The object at %1 no longer exists").arg(path);
}

AutomationServer::AutomationServer(quarlo::Application& application, bool startedByAutomation, QObject* parent)
    : QObject(parent), application_(application), startedByAutomation_(startedByAutomation),
      bus_(QStringLiteral("quarlo-none")), tombstone_(new AutomationTombstone(this)),
      watcher_(new QDBusServiceWatcher(this))
{
    fixed_[0] = new AutomationApplication(*this, this);
    fixed_[1] = new AutomationAddresslist(*this, this);
    fixed_[2] = new AutomationSettings(*this, this);
    fixed_[3] = new AutomationServers(*this, this);
    watcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(watcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationServer::onClientGone);
    if (startedByAutomation_) {
        // The window's close alone does not end a program that clients use.
        QApplication::setQuitOnLastWindowClosed(false);
        connect(qApp, &QGuiApplication::lastWindowClosed, this, &AutomationServer::onLastWindowClosed);
    }
}

AutomationServer::~AutomationServer()
{
    if (started_) {
        bus_.unregisterService(kServiceName);
        // Folder by folder: path by path would shift the bus's sorted
        // arrays once per path.
        QSet<QString> folders;
        for (auto& [object, entry] : entries_) folders.insert(folderOf(entry.path));
        for (const QString& path : tombstones_) folders.insert(folderOf(path));
        for (const QString& folder : folders) bus_.unregisterObject(folder, QDBusConnection::UnregisterTree);
    }
    for (auto& [object, entry] : entries_) {
        dropWrapper(entry.collection);
        dropWrapper(entry.wrapper);
    }
    for (QObject* wrapper : unregistered_) dropWrapper(wrapper);
}

quarlo::Addresslist& AutomationServer::Addresslist()
{
    return application_.Addresslist();
}
quarlo::Settings& AutomationServer::Settings()
{
    return application_.Settings();
}

bool AutomationServer::registerFixed(const QString& path, QObject* wrapper)
{
    if (bus_.registerObject(path, wrapper, QDBusConnection::ExportAdaptors)) return true;
    startError_ = QStringLiteral("cannot register the object %1").arg(path);
    return false;
}

bool AutomationServer::Start(const QDBusConnection& bus)
{
    bus_ = bus;
    if (!bus_.isConnected()) {
        startError_ = QStringLiteral("no session bus: %1").arg(bus_.lastError().message());
        return false;
    }
    // Objects first: a client whose call started the program is answered as
    // soon as the name is ours.
    for (QObject* wrapper : fixed_)
        if (!registerFixed(static_cast<AutomationObject*>(wrapper)->path(), wrapper)) return false;
    if (!qEnvironmentVariableIsEmpty("QUARLO_AUTOMATION_TEST"))
        bus_.registerObject(QStringLiteral("/Test"), new AutomationTestHook(*this, window_, this),
                            QDBusConnection::ExportAllSlots);
    started_ = true;
    if (!bus_.registerService(kServiceName)) {
        startError_ = QStringLiteral("the bus name %1 is taken: %2").arg(kServiceName, bus_.lastError().message());
        return false;
    }
    qCDebug(lcAutomation) << "serving" << kServiceName << "on" << bus_.name();
    return true;
}

// Paths and the wrappers behind them ----------------------------------------

AutomationServer::Entry* AutomationServer::find(const void* object)
{
    const auto it = entries_.find(object);
    return it == entries_.end() ? nullptr : &it->second;
}

template <typename T>
AutomationServer::Entry& AutomationServer::expose(const std::shared_ptr<T>& object, const QString& kind,
                                                  std::function<bool()> alive,
                                                  const std::function<QObject*(const QString&)>& makeWrapper)
{
    const void* key = object.get();
    if (auto it = entries_.find(key); it != entries_.end()) {
        // The same object again, or a new one that took a dead one's memory.
        if (it->second.object.lock() == std::static_pointer_cast<const void>(object) && it->second.alive())
            return it->second;
        retire(it);
    }
    const QString path = QStringLiteral("/%1/%2").arg(kind).arg(++lastId_[kind]);
    Entry entry;
    entry.path = path;
    entry.object = object;
    entry.alive = std::move(alive);
    // Owned by the entry, not parented to the server: a QObject finds a
    // leaving child by searching its list of children, which for every
    // address of a big list made emptying it quadratic.
    entry.wrapper = makeWrapper(path);
    if (!bus_.registerObject(path, entry.wrapper, QDBusConnection::ExportAdaptors))
        qCWarning(lcAutomation).noquote() << "cannot register" << path;
    else
        qCDebug(lcAutomation) << "object" << path;
    byPath_.insert(path, key);
    return entries_.emplace(key, std::move(entry)).first->second;
}

std::function<bool()> AutomationServer::aliveOf(const void* object)
{
    if (Entry* entry = find(object)) return entry->alive;
    return [] { return false; };
}

QDBusObjectPath AutomationServer::collectionOf(const void* object, const std::function<QObject*(const QString&)>& make)
{
    Entry* entry = find(object);
    if (!entry) return None();
    if (!entry->collection) {
        entry->collection = make(entry->path); // owned like the wrapper
        entry->collectionPath = static_cast<AutomationObject*>(entry->collection)->path();
        if (!bus_.registerObject(entry->collectionPath, entry->collection, QDBusConnection::ExportAdaptors))
            qCWarning(lcAutomation).noquote() << "cannot register" << entry->collectionPath;
    }
    return QDBusObjectPath(entry->collectionPath);
}

QDBusObjectPath AutomationServer::PathOf(const AddressPtr& address)
{
    if (!address || !address->host()) return None();
    std::weak_ptr<quarlo::Address> weak = address;
    AutomationHandle<quarlo::Address> handle{weak, [weak] {
                                                 const AddressPtr held = weak.lock();
                                                 return held && held->host() != nullptr;
                                             }};
    Entry& entry = expose(address, QStringLiteral("Address"), handle.stillHeld,
                          [&](const QString& path) { return new AutomationAddress(*this, path, handle); });
    // Collections are registered with their owner, so a client may form
    // their paths itself.
    RespondingServersOf(address);
    return QDBusObjectPath(entry.path);
}

QDBusObjectPath AutomationServer::RespondingServersOf(const AddressPtr& address)
{
    if (!address || !find(address.get())) return None();
    AutomationHandle<quarlo::Address> handle{address, aliveOf(address.get())};
    return collectionOf(address.get(), [&](const QString& owner) {
        return new AutomationRespondingServers(*this, owner + QStringLiteral("/RespondingServers"), handle);
    });
}

QDBusObjectPath AutomationServer::PathOf(const AddressPtr& owner, const RespondingServerPtr& server)
{
    if (!owner || !server) return None();
    std::weak_ptr<quarlo::Address> weakOwner = owner;
    std::weak_ptr<RespondingServer> weak = server;
    AutomationHandle<RespondingServer> handle{weak, [weakOwner, weak] {
                                                  const AddressPtr address = weakOwner.lock();
                                                  const RespondingServerPtr held = weak.lock();
                                                  return address && held && address->host()
                                                      && holds(address->RespondingServers(), held);
                                              }};
    if (!handle.alive()) return None();
    Entry& entry = expose(server, QStringLiteral("RespondingServer"), handle.stillHeld,
                          [&](const QString& path) { return new AutomationRespondingServer(*this, path, handle); });
    ResponsesOf(server);
    return QDBusObjectPath(entry.path);
}

QDBusObjectPath AutomationServer::ResponsesOf(const RespondingServerPtr& server)
{
    if (!server || !find(server.get())) return None();
    AutomationHandle<RespondingServer> handle{server, aliveOf(server.get())};
    return collectionOf(server.get(), [&](const QString& owner) {
        return new AutomationResponses(*this, owner + QStringLiteral("/Responses"), handle);
    });
}

QDBusObjectPath AutomationServer::PathOf(const RespondingServerPtr& owner, const ResponsePtr& response)
{
    if (!owner || !response) return None();
    std::weak_ptr<RespondingServer> weakOwner = owner;
    std::weak_ptr<quarlo::Response> weak = response;
    std::function<bool()> ownerAlive = aliveOf(owner.get());
    AutomationHandle<quarlo::Response> handle{weak, [weakOwner, weak, ownerAlive] {
                                                  const RespondingServerPtr server = weakOwner.lock();
                                                  const ResponsePtr held = weak.lock();
                                                  return server && held && ownerAlive()
                                                      && holds(server->Responses(), held);
                                              }};
    if (!handle.alive()) return None();
    Entry& entry = expose(response, QStringLiteral("Response"), handle.stillHeld,
                          [&](const QString& path) { return new AutomationResponse(*this, path, handle); });
    return QDBusObjectPath(entry.path);
}

QDBusObjectPath AutomationServer::PathOf(const ServerPtr& server)
{
    if (!server) return None();
    // A server lives as long as anything holds it: a result still names a
    // server that was taken out of the collection.
    std::weak_ptr<quarlo::Server> weak = server;
    AutomationHandle<quarlo::Server> handle{weak, [weak] { return !weak.expired(); }};
    Entry& entry = expose(server, QStringLiteral("Server"), handle.stillHeld,
                          [&](const QString& path) { return new AutomationBlacklistServer(*this, path, handle); });
    ResultCodesOf(server);
    return QDBusObjectPath(entry.path);
}

QDBusObjectPath AutomationServer::ResultCodesOf(const ServerPtr& server)
{
    if (!server || !find(server.get())) return None();
    AutomationHandle<quarlo::Server> handle{server, aliveOf(server.get())};
    return collectionOf(server.get(), [&](const QString& owner) {
        return new AutomationResultCodes(*this, owner + QStringLiteral("/ResultCodes"), handle);
    });
}

QDBusObjectPath AutomationServer::PathOf(const ServerPtr& owner, const ResultCodePtr& code)
{
    if (!owner || !code) return None();
    std::weak_ptr<quarlo::Server> weakOwner = owner;
    std::weak_ptr<ResultCode> weak = code;
    AutomationHandle<ResultCode> handle{weak, [weakOwner, weak] {
                                            const ServerPtr server = weakOwner.lock();
                                            const ResultCodePtr held = weak.lock();
                                            return server && held && holds(server->ResultCodes(), held);
                                        }};
    if (!handle.alive()) return None();
    Entry& entry = expose(code, QStringLiteral("ResultCode"), handle.stillHeld,
                          [&](const QString& path) { return new AutomationResultCode(*this, path, handle); });
    return QDBusObjectPath(entry.path);
}

QDBusObjectPath AutomationServer::ExistingPath(const void* object) const
{
    const auto it = entries_.find(object);
    return it == entries_.end() ? None() : QDBusObjectPath(it->second.path);
}

ServerPtr AutomationServer::ServerAt(const QString& path) const
{
    if (!path.startsWith(QLatin1String("/Server/"))) return nullptr;
    const auto it = byPath_.constFind(path);
    if (it == byPath_.cend()) return nullptr;
    const auto entry = entries_.find(it.value());
    if (entry == entries_.end() || !entry->second.alive()) return nullptr;
    return std::static_pointer_cast<quarlo::Server>(entry->second.object.lock());
}

// Gone objects -----------------------------------------------------------------

void AutomationServer::QueueSweep()
{
    if (sweepQueued_) return;
    sweepQueued_ = true;
    QTimer::singleShot(0, this, [this] { Sweep(); });
}

void AutomationServer::Sweep()
{
    sweepQueued_ = false;
    std::vector<EntryIt> gone;
    for (auto it = entries_.begin(); it != entries_.end(); ++it)
        if (!it->second.alive()) gone.push_back(it);
    if (gone.size() >= kRetireTogetherFrom) {
        retireTogether(gone);
        return;
    }
    // Erasing one entry leaves the others' iterators valid.
    for (const EntryIt& it : gone) retire(it);
}

void AutomationServer::Retire(const void* object)
{
    const auto it = entries_.find(object);
    if (it != entries_.end()) retire(it);
    QueueSweep();
}

void AutomationServer::retire(EntryIt it)
{
    Entry entry = std::move(it->second);
    entries_.erase(it);
    byPath_.remove(entry.path);
    // The sub-collection's path goes first: nothing may hang below the
    // tombstone, which then answers for both.
    if (entry.collection) bus_.unregisterObject(entry.collectionPath);
    bus_.unregisterObject(entry.path);
    qCDebug(lcAutomation) << "object gone" << entry.path;
    dropWrapper(entry.collection);
    dropWrapper(entry.wrapper);
    bury(entry.path);
}

void AutomationServer::retireTogether(const std::vector<EntryIt>& gone)
{
    // The bus keeps the objects of a folder ("/Address") in one sorted
    // array, so registering or removing a path shifts it: thousands of
    // retirements one by one are quadratic. Instead a folder left without
    // live objects is emptied at once and its tombstones are registered
    // again in the bus's order, which only appends.
    std::vector<Entry> entries;
    entries.reserve(gone.size());
    for (const EntryIt& it : gone) {
        Entry& entry = entries.emplace_back(std::move(it->second));
        entries_.erase(it);
        byPath_.remove(entry.path);
    }
    QSet<QString> live;
    for (const auto& [object, entry] : entries_) live.insert(folderOf(entry.path));
    QSet<QString> emptied;
    for (const Entry& entry : entries) {
        const QString folder = folderOf(entry.path);
        if (live.contains(folder)) {
            // Rare (a whole list goes at once): one by one.
            if (entry.collection) bus_.unregisterObject(entry.collectionPath);
            bus_.unregisterObject(entry.path);
            bury(entry.path);
        } else {
            emptied.insert(folder);
            tombstones_.push_back(entry.path);
        }
        // Off the bus (or soon); deleted a slice at a time, which for a
        // whole list would otherwise hold up the window for a while.
        for (QObject* wrapper : {entry.collection, entry.wrapper})
            if (wrapper) unregistered_.push_back(wrapper);
    }
    if (!unregistered_.empty()) QTimer::singleShot(0, this, &AutomationServer::dropSome);

    const auto inEmptied = [&emptied](const QString& path) {
        for (const QString& folder : emptied)
            if (inFolder(path, folder)) return true;
        return false;
    };
    while (tombstones_.size() > kMaxTombstones) {
        if (!inEmptied(tombstones_.front())) bus_.unregisterObject(tombstones_.front());
        tombstones_.pop_front();
    }
    if (emptied.isEmpty()) return;
    for (const QString& folder : emptied) bus_.unregisterObject(folder, QDBusConnection::UnregisterTree);

    struct Tombstone {
        const QString* path;
        BusOrder order;
    };
    std::vector<Tombstone> again;
    for (const QString& path : tombstones_)
        if (inEmptied(path)) again.push_back({&path, BusOrder(path)});
    std::sort(again.begin(), again.end(), [](const Tombstone& a, const Tombstone& b) { return a.order < b.order; });
    for (const Tombstone& t : again)
        if (!bus_.registerVirtualObject(*t.path, tombstone_, QDBusConnection::SubPath))
            qCWarning(lcAutomation).noquote() << "cannot register" << *t.path;
}

void AutomationServer::dropSome()
{
    constexpr size_t kSlice = 4096;
    for (size_t n = 0; n < kSlice && !unregistered_.empty(); ++n) {
        dropWrapper(unregistered_.back());
        unregistered_.pop_back();
    }
    if (!unregistered_.empty()) QTimer::singleShot(0, this, &AutomationServer::dropSome);
}

void AutomationServer::bury(const QString& path)
{
    // SubPath: the tombstone answers for the object's sub-collection too.
    if (!bus_.registerVirtualObject(path, tombstone_, QDBusConnection::SubPath)) return;
    tombstones_.push_back(path);
    while (tombstones_.size() > kMaxTombstones) {
        bus_.unregisterObject(tombstones_.front());
        tombstones_.pop_front();
    }
}

// Clients and the end of the program -----------------------------------------

void AutomationServer::NoteClient(const QString& busName)
{
    if (busName.isEmpty() || busName == bus_.baseService()) return;
    used_ = true;
    if (clients_.contains(busName)) return;
    clients_.insert(busName);
    watcher_->setConnection(bus_);
    watcher_->addWatchedService(busName);
    // A client that left before the watch began would never be seen going.
    if (bus_.interface() && !bus_.interface()->isServiceRegistered(busName).value()) onClientGone(busName);
}

void AutomationServer::onClientGone(const QString& busName)
{
    watcher_->removeWatchedService(busName);
    if (clients_.remove(busName)) quitWhenDone();
}

void AutomationServer::onLastWindowClosed()
{
    if (window_ && window_->isVisible()) return;
    windowClosed_ = true;
    quitWhenDone();
}

void AutomationServer::quitWhenDone()
{
    if (startedByAutomation_ && windowClosed_ && clients_.isEmpty()) QCoreApplication::quit();
}

} // namespace quarlo
