#pragma once

#include <QDBusMessage>
#include <QList>
#include <QObject>

namespace quarlo {

// Keeps every D-Bus signal it is connected to, for tests to wait on.
class SignalRecorder : public QObject {
    Q_OBJECT
public:
    QList<QDBusMessage> received;

    int count(const QString& member) const
    {
        int n = 0;
        for (const QDBusMessage& m : received)
            if (m.member() == member) ++n;
        return n;
    }

public slots:
    void record(const QDBusMessage& message) { received.append(message); }
};

} // namespace quarlo
