#include "common/RegistryRoot.h"

namespace quarlo {

QString RegistryRootName(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::ClassesRoot: return QStringLiteral("HKEY_CLASSES_ROOT");
    case RegistryRoot::CurrentUser: return QStringLiteral("HKEY_CURRENT_USER");
    case RegistryRoot::LocalMachine: return QStringLiteral("HKEY_LOCAL_MACHINE");
    }
    // Only reachable through a cast of an out-of-range number; callers treat an
    // empty name as "no such root".
    return QString();
}

} // namespace quarlo
