#include "ui/FormPlacement.h"

#include "common/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace quarlo {

namespace {

QRect ToTwips(const QRect& pixels)
{
    return QRect(pixels.x() * TwipsPerPixel, pixels.y() * TwipsPerPixel, pixels.width() * TwipsPerPixel,
                 pixels.height() * TwipsPerPixel);
}

int ToPixels(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / TwipsPerPixel));
}

QRect ToPixels(const QRect& twips)
{
    return QRect(ToPixels(twips.x()), ToPixels(twips.y()), ToPixels(twips.width()), ToPixels(twips.height()));
}

WindowShowState ShowState(const QWidget& form)
{
    const Qt::WindowStates state = form.windowState();
    if (state & Qt::WindowMinimized) return WindowShowState::Minimised;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) return WindowShowState::Maximised;
    return WindowShowState::Normal;
}

} // namespace

void SaveFormSize(QWidget& form, const QString& formName, const QString& suffix, Registry& registry)
{
    // The frameless client rectangle: restoring it with setGeometry puts the
    // window back without drifting by the frame's size on every run.
    StorePlacement(registry, formName, suffix, ToTwips(form.normalGeometry()), ShowState(form));
}

void RestoreFormSize(QWidget& form, const QString& formName, const QString& suffix, bool keepDesign, Registry& registry)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return; // nothing to place against
    // The available area rather than the whole screen, so the default
    // placement keeps clear of panels and task bars.
    const RestoredPlacement plan =
        LoadPlacement(registry, formName, suffix, ToTwips(screen->availableGeometry()), keepDesign);
    if (plan.geometry) form.setGeometry(ToPixels(*plan.geometry));
    if (plan.maximise) form.setWindowState((form.windowState() & ~Qt::WindowMinimized) | Qt::WindowMaximized);
}

void PlaceDialog(QWidget& dialog, const QString& formName, const QSize& least, Registry* registry)
{
    QSize size = dialog.sizeHint().expandedTo(least);
    if (const QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableGeometry().size() * 9 / 10);
    dialog.resize(size.expandedTo(dialog.minimumSizeHint()));
    if (registry) RestoreFormSize(dialog, formName, QString(), true, *registry);
}

void KeepDialogPlace(QWidget& dialog, const QString& formName, Registry* registry)
{
    if (registry) SaveFormSize(dialog, formName, QString(), *registry);
}

} // namespace quarlo
