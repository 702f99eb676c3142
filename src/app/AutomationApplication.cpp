#include "app/AutomationApplication.h"

#include "app/Application.h"
#include "app/AutomationPrompts.h"
#include "app/AutomationServer.h"
#include "quarlo_application_adaptor.h"

#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QTimer>

namespace quarlo {

struct AutomationApplication::Pending {
    QDBusMessage call;
    QDBusConnection bus;
    bool cancelled = false;               // the caller left: no dialog, no reply
    AutomationPrompts* prompts = nullptr; // while the command runs
};

AutomationApplication::AutomationApplication(AutomationServer& server, QObject* parent)
    : AutomationObject(server, QStringLiteral("/Application"), parent), callerWatcher_(new QDBusServiceWatcher(this))
{
    new ApplicationAdaptor(this);
    callerWatcher_->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    connect(callerWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, &AutomationApplication::onCallerGone);
}

AutomationApplication::~AutomationApplication() = default;

QDBusObjectPath AutomationApplication::Addresslist() const
{
    noteCaller();
    return QDBusObjectPath(QStringLiteral("/Addresslist"));
}

QDBusObjectPath AutomationApplication::Settings() const
{
    noteCaller();
    return QDBusObjectPath(QStringLiteral("/Settings"));
}

void AutomationApplication::replyLater(std::function<QVariant()> command)
{
    noteCaller();
    if (!calledFromDBus()) {
        command();
        return;
    }
    if (pending_) {
        replyError(kErrorBusy,
                   QStringLiteral("Another command is waiting for its dialog; call again once it has closed"));
        return;
    }
    setDelayedReply(true);
    pending_ = std::make_unique<Pending>(Pending{message(), connection()});
    const QString caller = message().service();
    callerWatcher_->setConnection(connection());
    callerWatcher_->setWatchedServices({caller});
    // A caller that left before the watch began would never be seen going.
    QDBusConnectionInterface* bus = connection().interface();
    if (bus && !bus->isServiceRegistered(caller).value()) pending_->cancelled = true;
    // Outside the bus's dispatch: a modal dialog's event loop then goes on
    // serving other calls.
    QTimer::singleShot(0, this, [this, command = std::move(command)] { run(command); });
}

void AutomationApplication::run(const std::function<QVariant()>& command)
{
    QVariant result;
    if (!pending_->cancelled) {
        quarlo::Application& application = server_.Application();
        UserPrompts& own = application.Prompts();
        AutomationPrompts prompts(own);
        pending_->prompts = &prompts;
        application.setPrompts(prompts);
        result = command();
        application.setPrompts(own);
        pending_->prompts = nullptr;
    }
    const std::unique_ptr<Pending> done = std::move(pending_);
    callerWatcher_->setWatchedServices({});
    if (!done->cancelled) done->bus.send(result.isValid() ? done->call.createReply(result) : done->call.createReply());
}

void AutomationApplication::onCallerGone(const QString& busName)
{
    if (!pending_ || pending_->call.service() != busName) return;
    pending_->cancelled = true;
    if (pending_->prompts) pending_->prompts->Cancel();
}

void AutomationApplication::ShowFileOpenDialog()
{
    replyLater([this] {
        server_.Application().ShowFileOpenDialog();
        return QVariant();
    });
}

void AutomationApplication::FileOpen(const QString& filename)
{
    noteCaller();
    if (!acceptText(filename, "Filename")) return;
    replyLater([this, filename] {
        server_.Application().FileOpen(filename);
        return QVariant();
    });
}

void AutomationApplication::FileNew()
{
    replyLater([this] {
        server_.Application().FileNew();
        return QVariant();
    });
}

void AutomationApplication::FileClose()
{
    replyLater([this] {
        server_.Application().FileClose();
        return QVariant();
    });
}

bool AutomationApplication::FileSave(const QString& filename)
{
    noteCaller();
    if (!acceptText(filename, "Filename")) return false;
    replyLater([this, filename] { return QVariant(server_.Application().FileSave(filename)); });
    return false;
}

bool AutomationApplication::ShowFileSaveDialog()
{
    replyLater([this] { return QVariant(server_.Application().ShowFileSaveDialog()); });
    return false;
}

void AutomationApplication::PrintList()
{
    replyLater([this] {
        server_.Application().PrintList();
        return QVariant();
    });
}

void AutomationApplication::PrintPreview()
{
    replyLater([this] {
        server_.Application().PrintPreview();
        return QVariant();
    });
}

void AutomationApplication::StartScan()
{
    noteCaller();
    // A client gets the reason as an error instead of a box in the window.
    if (const QString refusal = server_.Application().ScanRefusal(); !refusal.isEmpty()) {
        replyError(AutomationServer::kErrorFailed, refusal);
        return;
    }
    server_.Application().StartScan();
}

void AutomationApplication::StopScan()
{
    noteCaller();
    server_.Application().StopScan();
}

} // namespace quarlo
