#pragma once

#include "app/AutomationHandle.h"
#include "app/AutomationObject.h"
#include "model/Server.h"

#include <QList>

namespace quarlo {

// /Server/<id>: one blacklist server definition.
class AutomationBlacklistServer : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE setName)
    Q_PROPERTY(QString Server READ Zone WRITE setZone)
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setEnabled)
    Q_PROPERTY(bool BitMapCodedResults READ BitMapCodedResults WRITE setBitMapCodedResults)
    Q_PROPERTY(QString ListKind READ ListKind WRITE setListKind)
    Q_PROPERTY(bool IPv6 READ IPv6 WRITE setIPv6)
    Q_PROPERTY(bool SelfTest READ SelfTest WRITE setSelfTest)
    Q_PROPERTY(bool Public READ Public WRITE setPublic)
    Q_PROPERTY(QString DnsServers READ DnsServers WRITE setDnsServers)
    Q_PROPERTY(QString KeyName READ KeyName WRITE setKeyName)
    Q_PROPERTY(bool KeySet READ KeySet)
    Q_PROPERTY(QDBusObjectPath ResultCodes READ ResultCodes)
public:
    AutomationBlacklistServer(AutomationServer& server, const QString& path, AutomationHandle<Server> owner);

    QString Name() const;
    void setName(const QString& name);
    // The property "Server": the zone.
    QString Zone() const;
    void setZone(const QString& zone);
    QString URL() const;
    void setURL(const QString& url);
    bool Enabled() const;
    void setEnabled(bool on);
    bool BitMapCodedResults() const;
    void setBitMapCodedResults(bool on);
    // "IP" or "Domain"; any other text leaves the kind as it is.
    QString ListKind() const;
    void setListKind(const QString& kind);
    bool IPv6() const;
    void setIPv6(bool on);
    bool SelfTest() const;
    void setSelfTest(bool on);
    bool Public() const;
    void setPublic(bool on);
    // Entries the scan's own reader takes, joined by ", "; any other entry
    // is refused with InvalidArgs and the value stays.
    QString DnsServers() const;
    void setDnsServers(const QString& servers);
    // The name the zone's key is kept under; set empty, the name the zone
    // gives.
    QString KeyName() const;
    void setKeyName(const QString& name);
    // The zone holds {key} and a usable key is set for it. The key itself
    // is only ever written (Settings.SetKey), never read.
    bool KeySet() const;
    QDBusObjectPath ResultCodes() const;

private:
    AutomationHandle<Server> owner_;
};

} // namespace quarlo
