#include "ui/DesktopNotifier.h"

#include "common/AppInfo.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSet>
#include <QStringList>
#include <QVariantMap>

namespace quarlo {
namespace {

// How long the desktop shows it, in milliseconds (-1 would leave it to the
// server, which keeps some for ever).
constexpr int kExpireMs = 10000;

bool counted(const HistoryChange& change)
{
    return change.kind == HistoryChange::Kind::Listed || change.kind == HistoryChange::Kind::Delisted;
}

} // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : DesktopNotifier(QDBusConnection::sessionBus(), parent) {}

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus, QObject* parent) : QObject(parent), bus_(bus) {}

QString DesktopNotifier::Summary(const std::vector<HistoryChange>& changes)
{
    QSet<QString> listed, delisted;
    for (const HistoryChange& change : changes) {
        if (!counted(change)) continue;
        (change.kind == HistoryChange::Kind::Listed ? listed : delisted).insert(change.target.toCaseFolded());
    }
    QStringList parts;
    if (!listed.isEmpty())
        parts << (listed.size() == 1 ? tr("1 address newly listed")
                                     : tr("%1 addresses newly listed").arg(listed.size()));
    if (!delisted.isEmpty()) {
        if (!listed.isEmpty())
            parts << tr("%1 delisted").arg(delisted.size());
        else
            parts << (delisted.size() == 1 ? tr("1 address delisted")
                                           : tr("%1 addresses delisted").arg(delisted.size()));
    }
    return parts.join(QStringLiteral(", "));
}

QString DesktopNotifier::Body(const std::vector<HistoryChange>& changes)
{
    QStringList lines;
    int more = 0;
    for (const HistoryChange& change : changes) {
        if (!counted(change)) continue;
        if (lines.size() >= kNamed) {
            ++more;
            continue;
        }
        const QString list = change.listName.isEmpty() ? change.zone : change.listName;
        lines << (change.kind == HistoryChange::Kind::Listed ? tr("%1 listed by %2") : tr("%1 delisted by %2"))
                     .arg(change.target, list);
    }
    if (more > 0) lines << tr("and %1 more").arg(more);
    return lines.join(QLatin1Char('\n'));
}

bool DesktopNotifier::Notify(const std::vector<HistoryChange>& changes)
{
    const QString summary = Summary(changes);
    if (summary.isEmpty() || !bus_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // Servers take the body as simple markup: the targets and list names
    // are plain text.
    QString body = Body(changes).toHtmlEscaped();
    call << DisplayTitle() << uint(0) << QStringLiteral("dialog-warning") << summary << body << QStringList()
         << QVariantMap{{QStringLiteral("category"), QStringLiteral("network")}} << kExpireMs;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusPendingReply<uint> reply = *done;
        emit Answered(!reply.isError(), reply.isError() ? reply.error().message() : QString());
    });
    return true;
}

} // namespace quarlo
