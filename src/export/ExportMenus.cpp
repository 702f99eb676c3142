#include "export/ExportMenus.h"

#include "export/ExportEngine.h"

#include <QAction>
#include <QWidget>

namespace quarlo {

QList<QAction*> ExportMenus::Fill(QWidget* target, const QList<ExportMenuEntry>& entries, const IconLookup& icons)
{
    QList<QAction*> added;
    if (!target) return added;
    for (const auto& entry : entries) {
        if (entry.beginGroup) {
            auto* separator = new QAction(target);
            separator->setSeparator(true);
            target->addAction(separator);
        }
        auto* action = new QAction(entry.caption, target);
        action->setObjectName(entry.id);
        action->setData(entry.tag);
        if (icons) {
            for (const auto& name : entry.imageKeys) {
                const QIcon icon = icons(name);
                if (!icon.isNull()) {
                    action->setIcon(icon);
                    break;
                }
            }
        }
        target->addAction(action);
        added << action;
    }
    return added;
}

QList<QAction*> ExportMenus::LoadSendToMenu(ExportEngine& engine, QWidget* target, const QString& prefix,
                                            const IconLookup& icons)
{
    return Fill(target, engine.SendToMenuEntries(prefix), icons);
}

QList<QAction*> ExportMenus::LoadExportsMenu(ExportEngine& engine, QWidget* target, const QString& prefix,
                                             const IconLookup& icons)
{
    return Fill(target, engine.ExportsMenuEntries(prefix), icons);
}

} // namespace quarlo
