#pragma once

#include "app/AutomationObject.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariant>
#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace quarlo {

// /Application: the file, print and scan commands, carried out by the same
// application object as the window's own. Commands that may show a dialog
// or a save prompt answer later, so the bus is served while a dialog is open.
//
// One such command at a time: each would open its dialog inside the one
// before (a nested event loop apiece), so a flood of them would pile up
// dialogs until the stack gave out. Until the one accepted has answered,
// the others fail at once with kErrorBusy. Its caller leaving the bus
// cancels it: its dialog is closed as if cancelled (AutomationPrompts).
class AutomationApplication : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath Addresslist READ Addresslist)
    Q_PROPERTY(QDBusObjectPath Settings READ Settings)
public:
    static inline const QString kErrorBusy = QStringLiteral("com.vantorel.Quarlo.Error.Busy");

    AutomationApplication(AutomationServer& server, QObject* parent);
    ~AutomationApplication() override;

    QDBusObjectPath Addresslist() const;
    QDBusObjectPath Settings() const;
    void ShowFileOpenDialog();
    void FileOpen(const QString& filename);
    void FileNew();
    void FileClose();
    bool FileSave(const QString& filename);
    bool ShowFileSaveDialog();
    void PrintList();
    void PrintPreview();
    void StartScan();
    void StopScan();

private:
    struct Pending;

    // Runs command after the current call has returned to the event loop and
    // sends its result (an invalid QVariant: no result) as the reply; while
    // another command waits, answers kErrorBusy instead.
    void replyLater(std::function<QVariant()> command);
    void run(const std::function<QVariant()>& command);
    void onCallerGone(const QString& busName);

    std::unique_ptr<Pending> pending_; // the command accepted, queued or running
    QDBusServiceWatcher* callerWatcher_;
};

} // namespace quarlo
