#pragma once

#include "app/AutomationHandle.h"
#include "model/Address.h"
#include "model/Response.h"
#include "model/ResultCodes.h"
#include "model/Server.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

class QDBusServiceWatcher;

namespace quarlo {

class Addresslist;
class Application;
class AutomationTombstone;
class Settings;

// The program's object model on the session bus under the name
// com.vantorel.Quarlo: the three program-wide objects at /Application,
// /Addresslist and /Settings (with /Servers), and every other object at a
// path handed out the first time a client meets it (/Address/7,
// /Address/7/RespondingServers, /Server/2, /Server/2/ResultCodes,
// /ResultCode/4, /RespondingServer/3, /RespondingServer/3/Responses,
// /Response/9). Ids are never reused; once an object has left the document
// its paths answer kErrorObjectGone.
//
// It also decides when a program started for automation ends: when its
// window has been closed and no client that called it is still on the bus.
class AutomationServer : public QObject {
    Q_OBJECT
public:
    static inline const QString kServiceName = QStringLiteral("com.vantorel.Quarlo");
    static inline const QString kErrorObjectGone = QStringLiteral("com.vantorel.Quarlo.Error.ObjectGone");
    static inline const QString kErrorNoSuchItem = QStringLiteral("com.vantorel.Quarlo.Error.NoSuchItem");
    static inline const QString kErrorFailed = QStringLiteral("com.vantorel.Quarlo.Error.Failed");
    static QString GoneText(const QString& path);
    static QDBusObjectPath None() { return QDBusObjectPath(QStringLiteral("/")); }

    // Gone objects whose paths (and their sub-collections') keep answering
    // kErrorObjectGone; older ones are dropped (the bus then reports an
    // unknown object, still an error). A full list's addresses fit.
    static constexpr size_t kMaxTombstones = 100000;
    // A sweep that finds this many gone objects retires them together.
    static constexpr size_t kRetireTogetherFrom = 64;

    // Create it before the window: it hears the list's events first, so a
    // client learns of a finished scan before the window's message box.
    AutomationServer(quarlo::Application& application, bool startedByAutomation, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Registers the objects and then the bus name. False when there is no
    // session bus or another process owns the name; the program runs on
    // without automation then.
    bool Start(const QDBusConnection& bus = QDBusConnection::sessionBus());
    // The main window, whose closing ends an automation-started program.
    void setWindow(QWidget* window) { window_ = window; }
    QString StartError() const { return startError_; }

    quarlo::Application& Application() { return application_; }
    quarlo::Addresslist& Addresslist();
    quarlo::Settings& Settings();
    QDBusConnection Bus() const { return bus_; }

    QDBusObjectPath PathOf(const AddressPtr& address);
    QDBusObjectPath RespondingServersOf(const AddressPtr& address);
    QDBusObjectPath PathOf(const AddressPtr& owner, const RespondingServerPtr& server);
    QDBusObjectPath ResponsesOf(const RespondingServerPtr& server);
    QDBusObjectPath PathOf(const RespondingServerPtr& owner, const ResponsePtr& response);
    QDBusObjectPath PathOf(const ServerPtr& server);
    QDBusObjectPath ResultCodesOf(const ServerPtr& server);
    QDBusObjectPath PathOf(const ServerPtr& owner, const ResultCodePtr& code);
    // The path handed out for object, without handing out a new one; "/"
    // when it has none.
    QDBusObjectPath ExistingPath(const void* object) const;
    // The server behind a path handed out earlier; null when none.
    ServerPtr ServerAt(const QString& path) const;

    // A client called: it keeps an automation-started program running
    // until it leaves the bus.
    void NoteClient(const QString& busName);
    bool HasClients() const { return !clients_.isEmpty(); }
    // Whether any client ever called; until one did, list events are not
    // turned into paths and signals.
    bool Used() const { return used_; }

    // Replaces the wrappers of objects that have left the document by
    // tombstones; runs once control is back in the event loop.
    void QueueSweep();
    void Sweep();
    // Retires one object's paths at once (an address that left the list);
    // what hung below it goes with the next sweep.
    void Retire(const void* object);
    int ExposedObjects() const { return static_cast<int>(entries_.size()); }

private:
    struct Entry {
        QString path;
        std::weak_ptr<void> object;
        std::function<bool()> alive;
        QObject* wrapper = nullptr;
        QObject* collection = nullptr; // the sub-collection's wrapper, made on demand
        QString collectionPath;
    };

    template <typename T>
    Entry& expose(const std::shared_ptr<T>& object, const QString& kind, std::function<bool()> alive,
                  const std::function<QObject*(const QString& path)>& makeWrapper);
    Entry* find(const void* object);
    QDBusObjectPath collectionOf(const void* object, const std::function<QObject*(const QString& path)>& make);
    std::function<bool()> aliveOf(const void* object);
    using EntryIt = std::unordered_map<const void*, Entry>::iterator;
    void retire(EntryIt it);
    // Retires many objects at once (a list cleared, loaded or scanned again).
    void retireTogether(const std::vector<EntryIt>& gone);
    void bury(const QString& path);
    // Deletes some of the wrappers retireTogether took off the bus.
    void dropSome();
    bool registerFixed(const QString& path, QObject* wrapper);
    void onClientGone(const QString& busName);
    void onLastWindowClosed();
    void quitWhenDone();

    quarlo::Application& application_;
    QPointer<QWidget> window_; // destroyed before this server
    QObject* fixed_[4];
    bool startedByAutomation_;
    QDBusConnection bus_;
    bool started_ = false;
    QString startError_;
    std::unordered_map<const void*, Entry> entries_;
    QHash<QString, const void*> byPath_;
    QHash<QString, quint64> lastId_;
    AutomationTombstone* tombstone_;
    std::deque<QString> tombstones_;
    std::vector<QObject*> unregistered_; // off the bus, deleted a slice at a time
    bool sweepQueued_ = false;
    QDBusServiceWatcher* watcher_;
    QSet<QString> clients_;
    bool used_ = false;
    bool windowClosed_ = false;
};

} // namespace quarlo
