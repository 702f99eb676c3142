#pragma once

#include <QString>

class QWidget;

namespace quarlo {

class ExportEngine;
class UserPrompts;

// Connects the export engine adapter to the desktop: our engine with its
// dialogs, the adapter's messages through the program's message boxes, and
// the system's printer list.
class DesktopExports {
public:
    static void Install(ExportEngine& engine, UserPrompts& prompts, const QString& programDir,
                        QWidget* dialogParent = nullptr);
};

} // namespace quarlo
