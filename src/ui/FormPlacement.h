#pragma once

#include <QSize>
#include <QString>

class QWidget;

namespace quarlo {

class Registry;

// Remembers a top-level window's normal rectangle and window state between
// runs, under "FormSize_" / "WindowState_" + formName + suffix in the
// current user's settings.

// Stores the window's normal rectangle (only while it is in the normal
// state, so closing minimised or maximised keeps the last normal one) and
// its state.
void SaveFormSize(QWidget& form, const QString& formName, const QString& suffix, Registry& registry);

// Places the window as it was stored, against the primary screen's available
// area; see PlanRestore. keepDesign leaves a window with nothing usable
// stored at its own position and size.
void RestoreFormSize(QWidget& form, const QString& formName, const QString& suffix, bool keepDesign,
                     Registry& registry);

// A dialog's first size: what its layout asks for (its grids ask for room
// for ten rows), at least least, at most nine tenths of its screen. Then,
// with a registry, the size and place the user last left it at.
void PlaceDialog(QWidget& dialog, const QString& formName, const QSize& least, Registry* registry);
// Stores the dialog's size and place for the next opening; nothing without a
// registry.
void KeepDialogPlace(QWidget& dialog, const QString& formName, Registry* registry);

} // namespace quarlo
