#include "common/WindowPlacement.h"

#include "common/AppInfo.h"
#include "common/Registry.h"

#include <QStringList>
#include <algorithm>

namespace quarlo {

namespace {

const QString kNothingStored = QStringLiteral("0,0,0,0");

// The visible part must exceed this in both directions for a saved rectangle
// to be restored where it was; it is also the default distance from the
// screen's corner.
constexpr int kMinimumVisible = 400;
constexpr int kDefaultInset = 400;
constexpr int kDefaultWidthMargin = 800;
constexpr int kDefaultHeightMargin = 1500;

std::optional<QRect> ParseSizeText(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) return std::nullopt;
    int n[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        n[i] = parts[i].toInt(&ok);
        if (!ok) return std::nullopt;
    }
    return QRect(n[0], n[1], n[2], n[3]);
}

} // namespace

QString PlacementKeyPath()
{
    return ProgramKeyPath(DisplayTitle(), QStringLiteral("Settings"));
}

QString FormSizeValueName(const QString& formName, const QString& suffix)
{
    return QStringLiteral("FormSize_") + formName + suffix;
}

QString WindowStateValueName(const QString& formName, const QString& suffix)
{
    return QStringLiteral("WindowState_") + formName + suffix;
}

RestoredPlacement PlanRestore(const QString& sizeText, const QString& stateText, const QRect& screen, bool keepDesign)
{
    RestoredPlacement plan;
    bool unplaced = true;
    bool partlyVisible = false;

    const std::optional<QRect> saved = sizeText == kNothingStored ? std::nullopt : ParseSizeText(sizeText);
    if (saved) {
        // Right and bottom edges are exclusive, as in the platform's
        // rectangles; 64 bits because stored numbers can be anything.
        const qint64 left = std::max<qint64>(saved->x(), screen.x());
        const qint64 top = std::max<qint64>(saved->y(), screen.y());
        const qint64 right = std::min<qint64>(qint64(saved->x()) + saved->width(), qint64(screen.x()) + screen.width());
        const qint64 bottom =
            std::min<qint64>(qint64(saved->y()) + saved->height(), qint64(screen.y()) + screen.height());
        const qint64 visibleWidth = right - left;
        const qint64 visibleHeight = bottom - top;
        if (visibleWidth > 0 && visibleHeight > 0) {
            if (visibleWidth > kMinimumVisible && visibleHeight > kMinimumVisible) {
                plan.geometry = *saved;
                unplaced = false;
            } else {
                partlyVisible = true;
            }
        }
    }

    // A maximised window opens maximised over whatever normal rectangle it
    // got above; a minimised one opens normal.
    if (stateText.trimmed().toInt() == static_cast<int>(WindowShowState::Maximised)) {
        plan.maximise = true;
        return plan;
    }
    if (!unplaced) return plan;

    const int x = screen.x() + kDefaultInset;
    const int y = screen.y() + kDefaultInset;
    if (partlyVisible) {
        plan.geometry = QRect(x, y, saved->width(), saved->height());
        return plan;
    }
    if (keepDesign) return plan;
    plan.geometry = QRect(x, y, screen.width() - kDefaultWidthMargin, screen.height() - kDefaultHeightMargin);
    return plan;
}

SavedPlacement PlanSave(const QRect& normalGeometry, WindowShowState state)
{
    SavedPlacement texts;
    if (state == WindowShowState::Normal) {
        texts.sizeText = QStringList{QString::number(normalGeometry.x()), QString::number(normalGeometry.y()),
                                     QString::number(normalGeometry.width()), QString::number(normalGeometry.height())}
                             .join(QLatin1Char(','));
    }
    texts.stateText = QString::number(static_cast<int>(state));
    return texts;
}

RestoredPlacement LoadPlacement(Registry& registry, const QString& formName, const QString& suffix, const QRect& screen,
                                bool keepDesign)
{
    const QString key = PlacementKeyPath();
    const QString sizeText =
        registry.GetValue(RegistryRoot::CurrentUser, key, FormSizeValueName(formName, suffix), kNothingStored);
    const QString stateText =
        registry.GetValue(RegistryRoot::CurrentUser, key, WindowStateValueName(formName, suffix), QStringLiteral("0"));
    return PlanRestore(sizeText, stateText, screen, keepDesign);
}

void StorePlacement(Registry& registry, const QString& formName, const QString& suffix, const QRect& normalGeometry,
                    WindowShowState state)
{
    const SavedPlacement texts = PlanSave(normalGeometry, state);
    const QString key = PlacementKeyPath();
    if (texts.sizeText)
        registry.SetValue(RegistryRoot::CurrentUser, key, FormSizeValueName(formName, suffix), *texts.sizeText);
    registry.SetValue(RegistryRoot::CurrentUser, key, WindowStateValueName(formName, suffix), texts.stateText);
}

} // namespace quarlo
