#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace quarlo {

class AutomationServer;

// /Test, registered only when QUARLO_AUTOMATION_TEST is set: lets a test
// play the user who answers a dialog or closes the window.
class AutomationTestHook : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.vantorel.Quarlo.Test")
public:
    AutomationTestHook(AutomationServer& server, QWidget* window, QObject* parent);

public slots:
    // Cancels the open modal dialog; its title, or empty when none is open.
    QString CancelDialog();
    // The title of the open modal dialog, or empty.
    QString DialogTitle() const;
    // How many dialogs are on screen.
    int OpenDialogs() const;
    void CloseWindow();
    int ExposedObjects() const;

private:
    AutomationServer& server_;
    QPointer<QWidget> window_;
};

} // namespace quarlo
