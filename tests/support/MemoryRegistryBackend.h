#pragma once

#include "common/VolatileRegistryBackend.h"

// An in-memory registry that counts writes and can refuse them, for tests of
// the write-through and silent-failure rules.
class MemoryRegistryBackend : public quarlo::VolatileRegistryBackend {
public:
    bool write(quarlo::RegistryRoot root, const QString& keyPath, const QString& valueName,
               const quarlo::RegistryValue& value) override
    {
        ++writes;
        if (failWrites) return false;
        return VolatileRegistryBackend::write(root, keyPath, valueName, value);
    }

    int writes = 0;
    bool failWrites = false;
};
