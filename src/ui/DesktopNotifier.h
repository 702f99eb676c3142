#pragma once

#include "model/HistoryChange.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <vector>

namespace quarlo {

// Tells the user through the desktop's notifications service (on the
// session bus) when a scan of the window finds an address newly listed or
// delisted. Without a session bus or a notifications service it does
// nothing, silently: the grid and the history view say the same.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static inline const QString kService = QStringLiteral("org.freedesktop.Notifications");
    static inline const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
    // Targets and lists named in the body; the rest are counted.
    static constexpr int kNamed = 3;

    explicit DesktopNotifier(QObject* parent = nullptr);
    DesktopNotifier(const QDBusConnection& bus, QObject* parent = nullptr);

    // Sends one notification for the listings and delistings among
    // changes; false when there were none or no bus to send on. The call
    // is asynchronous: the window never waits for the service.
    bool Notify(const std::vector<HistoryChange>& changes);

    // "2 addresses newly listed, 1 delisted"; empty without listings or delistings.
    static QString Summary(const std::vector<HistoryChange>& changes);
    // One line per named change ("192.0.2.10 listed by A BL"), then "and N more".
    static QString Body(const std::vector<HistoryChange>& changes);

signals:
    // The service answered a notification: shown with its id, or an error.
    void Answered(bool shown, const QString& error);

private:
    QDBusConnection bus_;
};

} // namespace quarlo
