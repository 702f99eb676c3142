#pragma once

#include <QString>

namespace quarlo {

// Directory holding the registry files: $QUARLO_REGISTRY_DIR when set and not
// empty, else "Vantorel" below the user's configuration directory
// ($XDG_CONFIG_HOME, or ~/.config when that is unset, empty or relative).
QString DefaultRegistryDirectory();

} // namespace quarlo
