#include "app/AutomationTestHook.h"

#include "app/AutomationServer.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace quarlo {

AutomationTestHook::AutomationTestHook(AutomationServer& server, QWidget* window, QObject* parent)
    : QObject(parent), server_(server), window_(window)
{
}

QString AutomationTestHook::DialogTitle() const
{
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal->windowTitle() : QString();
}

QString AutomationTestHook::CancelDialog()
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return QString();
    const QString title = dialog->windowTitle();
    // After this call's reply, as a person's click would come.
    QTimer::singleShot(0, dialog, &QDialog::reject);
    return title;
}

void AutomationTestHook::CloseWindow()
{
    if (window_) QTimer::singleShot(0, window_.data(), &QWidget::close);
}

int AutomationTestHook::ExposedObjects() const { return server_.ExposedObjects(); }

} // namespace quarlo
