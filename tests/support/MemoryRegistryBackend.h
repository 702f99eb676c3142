#pragma once

#include "common/RegistryBackend.h"

#include <QHash>

// An in-memory registry for tests that only need typed values to round-trip.
class MemoryRegistryBackend : public quarlo::RegistryBackend {
public:
    std::optional<quarlo::RegistryValue> read(quarlo::RegistryRoot root, const QString& keyPath,
                                              const QString& valueName) override
    {
        const auto it = values.constFind(key(root, keyPath, valueName));
        if (it == values.cend()) return std::nullopt;
        return it.value();
    }
    bool write(quarlo::RegistryRoot root, const QString& keyPath, const QString& valueName,
               const quarlo::RegistryValue& value) override
    {
        ++writes;
        if (failWrites) return false;
        values.insert(key(root, keyPath, valueName), value);
        return true;
    }

    static QString key(quarlo::RegistryRoot root, const QString& keyPath, const QString& valueName)
    {
        return QString::number(static_cast<int>(root)) + QLatin1Char('|') + keyPath.toCaseFolded()
               + QLatin1Char('|') + valueName.toCaseFolded();
    }

    QHash<QString, quarlo::RegistryValue> values;
    int writes = 0;
    bool failWrites = false;
};
