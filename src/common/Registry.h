#pragma once

#include "common/RegistryBackend.h"

#include <QVariant>

namespace quarlo {

// The program's registry functions over one backend. Every call catches its
// own failures: reads fall back to the default, writes are skipped, and
// LastError() tells why the last one failed.
class Registry {
public:
    explicit Registry(RegistryBackend& backend) : backend_(backend) {}

    // String options below "Software\Vantorel\<appName>\<section>", under
    // HKEY_CURRENT_USER when currentUser is true, else HKEY_LOCAL_MACHINE.
    // False when the store could not be written (LastError() says why).
    bool SaveSetting(const QString& appName, const QString& section, const QString& name, const QVariant& value,
                     bool currentUser);
    QString GetSetting(const QString& appName, const QString& section, const QString& name, const QVariant& def,
                       bool currentUser);

    // Any key below a root. Only REG_SZ values are read; anything else gives def.
    QString GetValue(RegistryRoot root, const QString& keyPath, const QString& valueName, const QVariant& def);
    // Text becomes REG_SZ, 16/32-bit integers REG_DWORD, byte arrays
    // REG_BINARY; any other kind of value (Boolean, floating point, date,
    // empty) and an empty key path write nothing.
    void SetValue(RegistryRoot root, const QString& keyPath, const QString& valueName, const QVariant& value);

    // Text form of a value as the registry functions write it ("True" and
    // "False" for Booleans).
    static QString ValueText(const QVariant& value);

    // Why the last write through this registry's backend failed; empty
    // after one that succeeded.
    QString LastError() const { return backend_.lastError(); }

    RegistryBackend& backend() { return backend_; }

private:
    RegistryBackend& backend_;
};

} // namespace quarlo
