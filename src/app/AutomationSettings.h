#pragma once

#include "app/AutomationObject.h"

namespace quarlo {

// /Settings: the scan options; Changed follows every stored option.
class AutomationSettings : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(int MaxQueries READ MaxQueries WRITE setMaxQueries)
    Q_PROPERTY(int ExpansionLevel READ ExpansionLevel WRITE setExpansionLevel)
    Q_PROPERTY(bool AutoStartScan READ AutoStartScan WRITE setAutoStartScan)
    Q_PROPERTY(QDBusObjectPath BlacklistServers READ BlacklistServers)
public:
    // A key name becomes part of an environment variable's name; the
    // command line takes the same length.
    static constexpr qsizetype kMaxKeyName = 64;

    AutomationSettings(AutomationServer& server, QObject* parent);

    int MaxQueries() const;
    void setMaxQueries(int value);
    int ExpansionLevel() const;
    void setExpansionLevel(int value);
    bool AutoStartScan() const;
    void setAutoStartScan(bool value);
    QDBusObjectPath BlacklistServers() const;
    void Refresh();
    QString RetrieveOption(const QString& name, const QDBusVariant& defaultValue);
    void SaveOption(const QString& name, const QDBusVariant& value);
    // Stores the access key of key-based lists under name in the user's
    // settings (an empty value removes it). Write-only: nothing on the bus
    // reads a key back, and errors never repeat it.
    void SetKey(const QString& name, const QString& value);

signals:
    void Changed(const QString& name, const QDBusVariant& value);

private:
    // The option value as text, or nothing (after an error reply) for a
    // value that is not a plain text, number or Boolean.
    bool plainValue(const QVariant& value, const char* argument) const;
};

} // namespace quarlo
