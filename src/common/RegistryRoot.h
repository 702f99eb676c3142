#pragma once

#include <QString>

namespace quarlo {

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine };

// "HKEY_CLASSES_ROOT" and so on: the names used in stored files.
QString RegistryRootName(RegistryRoot root);

} // namespace quarlo
