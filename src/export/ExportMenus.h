#pragma once

#include "export/ExportMenuEntry.h"

#include <QIcon>
#include <QList>
#include <QString>

#include <functional>

class QAction;
class QWidget;

namespace quarlo {

class ExportEngine;

// Puts the export and send-to lists into a menu or toolbar. Each command is
// an action named with its tool ID (prefix + key) carrying the key as data,
// so the window's dispatcher routes it like any other tool.
class ExportMenus {
public:
    // The icon for a name, or a null icon when there is none.
    using IconLookup = std::function<QIcon(const QString& name)>;

    static QList<QAction*> Fill(QWidget* target, const QList<ExportMenuEntry>& entries, const IconLookup& icons = {});
    // Adds nothing when the engine cannot start.
    static QList<QAction*> LoadSendToMenu(ExportEngine& engine, QWidget* target, const QString& prefix = {},
                                          const IconLookup& icons = {});
    static QList<QAction*> LoadExportsMenu(ExportEngine& engine, QWidget* target, const QString& prefix = {},
                                           const IconLookup& icons = {});
};

} // namespace quarlo
