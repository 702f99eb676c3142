#pragma once

#include "app/AutomationObject.h"

#include <QVariant>
#include <functional>

namespace quarlo {

// /Application: the file, print and scan commands, carried out by the same
// application object as the window's own. Commands that may show a dialog
// or a save prompt answer later, so the bus is served while a dialog is open.
class AutomationApplication : public AutomationObject {
    Q_OBJECT
    Q_PROPERTY(QDBusObjectPath Addresslist READ Addresslist)
    Q_PROPERTY(QDBusObjectPath Settings READ Settings)
public:
    AutomationApplication(AutomationServer& server, QObject* parent);

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
    // Runs command after the current call has returned to the event loop and
    // sends its result (an invalid QVariant: no result) as the reply.
    void replyLater(std::function<QVariant()> command);
};

} // namespace quarlo
