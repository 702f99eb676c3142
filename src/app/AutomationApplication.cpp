#include "app/AutomationApplication.h"

#include "app/Application.h"
#include "app/AutomationServer.h"
#include "quarlo_application_adaptor.h"

#include <QDBusMessage>
#include <QPointer>
#include <QTimer>

namespace quarlo {

AutomationApplication::AutomationApplication(AutomationServer& server, QObject* parent)
    : AutomationObject(server, QStringLiteral("/Application"), parent)
{
    new ApplicationAdaptor(this);
}

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
    setDelayedReply(true);
    const QDBusMessage call = message();
    QDBusConnection bus = connection();
    // Outside the bus's dispatch: a modal dialog's event loop then goes on
    // serving other calls.
    QTimer::singleShot(0, this, [call, bus, command = std::move(command)]() mutable {
        const QVariant result = command();
        bus.send(result.isValid() ? call.createReply(result) : call.createReply());
    });
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
    server_.Application().StartScan();
}

void AutomationApplication::StopScan()
{
    noteCaller();
    server_.Application().StopScan();
}

} // namespace quarlo
