#pragma once

#include "common/RegistryBackend.h"

#include <QHash>

namespace quarlo {

// Reads through to another backend but keeps its own writes in memory, so a
// run can change options (from its command line, say) without storing them.
class VolatileRegistryBackend : public RegistryBackend {
public:
    explicit VolatileRegistryBackend(RegistryBackend* base = nullptr) : base_(base) {}

    std::optional<RegistryValue> read(RegistryRoot root, const QString& keyPath, const QString& valueName) override;
    bool write(RegistryRoot root, const QString& keyPath, const QString& valueName,
               const RegistryValue& value) override;

private:
    static QString key(RegistryRoot root, const QString& keyPath, const QString& valueName);

    RegistryBackend* base_;
    QHash<QString, RegistryValue> written_;
};

} // namespace quarlo
