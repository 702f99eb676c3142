#pragma once

#include <QString>

namespace quarlo {

class Registry;

// Associates files with the extension with the program under
// HKEY_CLASSES_ROOT: the program's file type named after its executable file,
// described by description, opened by the executable with the document path
// as its one argument and shown with the executable's first icon. Any
// registration already there is overwritten; refused writes are skipped.
//
// With desktopDataHome (the user's $XDG_DATA_HOME), the desktop is told too:
// the MIME package and desktop entry are written there when missing or
// different and the desktop's databases updated (DesktopFileType). That part
// runs in the background and returns at once; its failures are ignored.
void RegisterFileType(Registry& registry, const QString& executablePath, const QString& extension,
                      const QString& description, const QString& desktopDataHome = QString());

} // namespace quarlo
