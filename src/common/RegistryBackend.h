#pragma once

#include "common/RegistryRoot.h"
#include "common/RegistryValue.h"

#include <QString>
#include <optional>

namespace quarlo {

// The thin platform layer under the registry functions: typed reads and
// writes of one value below a root. Key paths and value names compare without
// regard to letter case; an empty value name is the key's default value.
// Implementations report failures through their results and lastError().
class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;

    // The value, or nothing when the key or the value does not exist or the
    // store cannot be read.
    virtual std::optional<RegistryValue> read(RegistryRoot root, const QString& keyPath, const QString& valueName) = 0;

    // Creates the key when needed and writes the value; false on failure.
    virtual bool write(RegistryRoot root, const QString& keyPath, const QString& valueName,
                       const RegistryValue& value) = 0;

    // Why the last write failed, for the user; empty after a success or
    // when the backend keeps no reasons.
    virtual QString lastError() const { return QString(); }
};

} // namespace quarlo
