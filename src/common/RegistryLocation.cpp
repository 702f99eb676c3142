#include "common/RegistryLocation.h"

#include "common/ConfigLocation.h"

namespace quarlo {

QString DefaultRegistryDirectory()
{
    QString overridden = qEnvironmentVariable("QUARLO_REGISTRY_DIR");
    if (!overridden.isEmpty()) return overridden;

    return ConfigLocation::UserConfigDirectory();
}

} // namespace quarlo
