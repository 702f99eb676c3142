#pragma once

#include "common/UserPrompts.h"

#include <QDialog>
#include <QObject>
#include <QPointer>

namespace quarlo {

// The prompts of one automation command, for as long as it runs: the
// program's own, until Cancel. Then the dialog the command has open is
// closed, and that question and every one after it are answered as
// cancelled (a file dialog: nothing chosen). The command stops where a
// user's Cancel stops it: nothing accepted, the list as it was, even where
// the question itself offers no Cancel ("Save changes?" answered No would
// throw the list away). Dialogs that do not go through the prompts (print
// and preview) are closed the same way.
//
// The command's own dialogs are told from others (a message box the window
// opens when a scan ends while the dialog is up) by the event loop they are
// shown from: the command's run at the level it started at, others inside
// the command's dialog.
class AutomationPrompts : public QObject, public UserPrompts {
    Q_OBJECT
public:
    // Create it where the command starts.
    explicit AutomationPrompts(UserPrompts& inner);

    void Cancel();
    bool Cancelled() const { return cancelled_; }

    Answer Message(const QString& text, const QString& title, Buttons buttons, Icon icon) override;
    std::optional<QString> OpenFile(const QString& title, const QString& filter) override;
    std::optional<QString> SaveFile(const QString& title, const QString& filter) override;
    std::optional<QString> OpenFileIn(const QString& folder, const QString& title, const QString& filter) override;
    std::optional<QString> SaveFileIn(const QString& folder, const QString& title, const QString& filter) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::optional<QString> chosen(const std::optional<QString>& path) const;

    UserPrompts& inner_;
    int level_;
    QPointer<QDialog> dialog_; // the command's dialog last shown
    bool cancelled_ = false;
};

} // namespace quarlo
