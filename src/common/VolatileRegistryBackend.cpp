#include "common/VolatileRegistryBackend.h"

namespace quarlo {

std::optional<RegistryValue> VolatileRegistryBackend::read(RegistryRoot root, const QString& keyPath,
                                                           const QString& valueName)
{
    const auto it = written_.constFind(key(root, keyPath, valueName));
    if (it != written_.cend()) return it.value();
    return base_ ? base_->read(root, keyPath, valueName) : std::nullopt;
}

bool VolatileRegistryBackend::write(RegistryRoot root, const QString& keyPath, const QString& valueName,
                                    const RegistryValue& value)
{
    written_.insert(key(root, keyPath, valueName), value);
    return true;
}

QString VolatileRegistryBackend::key(RegistryRoot root, const QString& keyPath, const QString& valueName)
{
    return QString::number(static_cast<int>(root)) + QLatin1Char('\n') + keyPath.toCaseFolded() + QLatin1Char('\n')
        + valueName.toCaseFolded();
}

} // namespace quarlo
