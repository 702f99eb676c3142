#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/Address.h"

namespace quarlo {

// /Address/<id>: one entry of the address list.
class AutomationAddress : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QString Key READ Key)
    Q_PROPERTY(QString Target READ Target WRITE setTarget)
    Q_PROPERTY(QString IP READ IP)
    Q_PROPERTY(QDBusObjectPath RespondingServers READ RespondingServers)
    Q_PROPERTY(QString Caption READ Caption)
    Q_PROPERTY(bool Scanning READ Scanning)
    Q_PROPERTY(bool Complete READ Complete)
    Q_PROPERTY(QString Results READ Results)
    Q_PROPERTY(bool Blacklisted READ Blacklisted)
    Q_PROPERTY(QString Verdict READ Verdict)
    Q_PROPERTY(QString VerdictText READ VerdictText)
public:
    AutomationAddress(AutomationServer& server, const QString& path, AutomationHandle<Address> address);

    QString Key() const;
    QString Target() const;
    void setTarget(const QString& target);
    QString IP() const;
    QDBusObjectPath RespondingServers() const;
    QString Caption() const;
    bool Scanning() const;
    bool Complete() const;
    QString Results() const;
    bool Blacklisted() const;
    // VerdictKeyword of the address's verdict.
    QString Verdict() const;
    // The results grid's status text for the address.
    QString VerdictText() const;
    void Query();

private:
    AutomationHandle<Address> address_;
};

} // namespace quarlo
