#include "app/AutomationPrompts.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>

namespace quarlo {
namespace {

// Closed once control is back in the dialog's own event loop: a dialog
// closed while it is still being shown would leave its loop running with
// nothing on screen to end it.
void closeLater(QDialog* dialog)
{
    QTimer::singleShot(0, dialog, &QDialog::reject);
}

} // namespace

AutomationPrompts::AutomationPrompts(UserPrompts& inner) : inner_(inner), level_(QThread::currentThread()->loopLevel())
{
    QCoreApplication::instance()->installEventFilter(this);
}

void AutomationPrompts::Cancel()
{
    cancelled_ = true;
    if (dialog_ && dialog_->isVisible()) closeLater(dialog_);
}

bool AutomationPrompts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && QThread::currentThread()->loopLevel() == level_) {
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow()) {
            dialog_ = dialog;
            if (cancelled_) closeLater(dialog);
        }
    }
    return false;
}

UserPrompts::Answer AutomationPrompts::Message(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    if (cancelled_) return Answer::Cancel;
    const Answer answer = inner_.Message(text, title, buttons, icon);
    return cancelled_ ? Answer::Cancel : answer;
}

std::optional<QString> AutomationPrompts::chosen(const std::optional<QString>& path) const
{
    return cancelled_ ? std::nullopt : path;
}

std::optional<QString> AutomationPrompts::OpenFile(const QString& title, const QString& filter)
{
    return cancelled_ ? std::nullopt : chosen(inner_.OpenFile(title, filter));
}

std::optional<QString> AutomationPrompts::SaveFile(const QString& title, const QString& filter)
{
    return cancelled_ ? std::nullopt : chosen(inner_.SaveFile(title, filter));
}

std::optional<QString> AutomationPrompts::OpenFileIn(const QString& folder, const QString& title, const QString& filter)
{
    return cancelled_ ? std::nullopt : chosen(inner_.OpenFileIn(folder, title, filter));
}

std::optional<QString> AutomationPrompts::SaveFileIn(const QString& folder, const QString& title, const QString& filter)
{
    return cancelled_ ? std::nullopt : chosen(inner_.SaveFileIn(folder, title, filter));
}

} // namespace quarlo
