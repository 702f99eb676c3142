#pragma once

#include "app/AutomationObject.h"
#include "model/Address.h"

#include <QList>

namespace quarlo {

// /Addresslist: the program's one address list and its seven events, with
// addresses as object paths.
class AutomationAddresslist : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QString Filename READ Filename)
    Q_PROPERTY(bool Changed READ Changed)
    Q_PROPERTY(int Count READ Count)
    Q_PROPERTY(QString LastError READ LastError)
    Q_PROPERTY(bool ScanActive READ ScanActive)
public:
    AutomationAddresslist(AutomationServer& server, QObject* parent);

    QString Filename() const;
    bool Changed() const;
    QDBusObjectPath AddTarget(const QString& target);
    void Clear();
    QDBusObjectPath Item(const QDBusVariant& key);
    int Count() const;
    void Remove(const QDBusVariant& key);
    QList<QDBusObjectPath> NewEnum();
    QString LastError() const;
    bool Save(const QString& filename);
    bool ScanActive() const;

signals:
    void NewFile();
    void AddAddress(const QDBusObjectPath& address);
    void DeleteAddress(const QDBusObjectPath& address);
    void UpdateAddress(const QDBusObjectPath& address);
    void ScanStarted();
    void ScanCanceled();
    void ScanComplete();
};

} // namespace quarlo
