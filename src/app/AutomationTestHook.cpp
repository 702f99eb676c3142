#include "app/AutomationTestHook.h"

#include "app/AutomationServer.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPointer>
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

int AutomationTestHook::OpenDialogs() const
{
    int open = 0;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (qobject_cast<QDialog*>(window) && window->isVisible()) ++open;
    return open;
}

QString AutomationTestHook::CancelDialog()
{
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return QString();
    QString title = dialog->windowTitle();
    // After this call's reply, as a person's click would come. A question
    // is answered with its most careful button: Cancel, else No.
    QPointer<QDialog> target(dialog);
    QTimer::singleShot(0, dialog, [target] {
        if (!target) return;
        if (auto* box = qobject_cast<QMessageBox*>(target.data())) {
            QAbstractButton* button = box->button(QMessageBox::Cancel);
            if (!button) button = box->button(QMessageBox::No);
            if (button) {
                button->click();
                return;
            }
        }
        target->reject();
    });
    return title;
}

void AutomationTestHook::CloseWindow()
{
    if (window_) QTimer::singleShot(0, window_.data(), &QWidget::close);
}

int AutomationTestHook::ExposedObjects() const
{
    return server_.ExposedObjects();
}

} // namespace quarlo
