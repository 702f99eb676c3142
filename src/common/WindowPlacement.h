#pragma once

#include <QRect>
#include <QString>
#include <optional>

namespace quarlo {

class Registry;

// Window positions and sizes are stored in twips (1/1440 inch); the widgets
// convert at 96 dots per inch.
constexpr int TwipsPerPixel = 15;

// Stored as "0", "1" and "2".
enum class WindowShowState { Normal = 0, Minimised = 1, Maximised = 2 };

// What to do with a window when it opens. All rectangles are in twips.
struct RestoredPlacement {
    // Move and resize the window to this (its normal rectangle); nothing
    // keeps the position and size it has.
    std::optional<QRect> geometry;
    // Then maximise it.
    bool maximise = false;
};

// What to store when a window closes.
struct SavedPlacement {
    // "Left,Top,Width,Height"; nothing when the window is minimised or
    // maximised, so the last normal rectangle stays stored.
    std::optional<QString> sizeText;
    QString stateText; // "0", "1" or "2"
};

// Registry key (below HKEY_CURRENT_USER) and value names of a form's placement.
QString PlacementKeyPath();
QString FormSizeValueName(const QString& formName, const QString& suffix);
QString WindowStateValueName(const QString& formName, const QString& suffix);

// Decides the placement from the stored texts and the screen rectangle:
// a saved rectangle that shows more than 400 twips of itself in both
// directions is restored as saved; one showing less keeps its size at
// (400, 400) from the screen's corner; otherwise, unless keepDesign, the
// window gets that corner with the screen less 800 twips wide and 1500 twips
// high. A stored state "2" maximises (after restoring a qualifying
// rectangle); "1" is never restored. A size text that is not four whole
// numbers counts as nothing stored.
RestoredPlacement PlanRestore(const QString& sizeText, const QString& stateText, const QRect& screen, bool keepDesign);

// The texts to store for a window whose normal rectangle is normalGeometry.
SavedPlacement PlanSave(const QRect& normalGeometry, WindowShowState state);

// The same against the registry: reads the stored texts (defaults "0,0,0,0"
// and "0") and writes them as text values.
RestoredPlacement LoadPlacement(Registry& registry, const QString& formName, const QString& suffix, const QRect& screen,
                                bool keepDesign);
void StorePlacement(Registry& registry, const QString& formName, const QString& suffix, const QRect& normalGeometry,
                    WindowShowState state);

} // namespace quarlo
