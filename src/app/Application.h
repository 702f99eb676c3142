#pragma once

#include "ui/ListCommands.h"

#include <QObject>
#include <QString>

namespace quarlo {

class Addresslist;
class ExportEngine;
class Settings;
class UserPrompts;

// The root of the object model and the one place where the file and scan
// commands are carried out: the window's menus and buttons (and automation
// clients) call these members rather than working on the list themselves.
// It keeps no state of its own beyond references to the program's objects.
class Application : public QObject, public ListCommands {
    Q_OBJECT
public:
    Application(quarlo::Addresslist& list, quarlo::Settings& settings, UserPrompts& prompts, QObject* parent = nullptr);

    quarlo::Addresslist& Addresslist() { return list_; }
    quarlo::Settings& Settings() { return settings_; }

    void ShowFileOpenDialog() override;
    // Opens a list for an automation client: nothing is asked beyond saving
    // the open list, and a file that cannot be loaded leaves the list as it
    // was with Addresslist::LastError saying why. Returns once the file has
    // been loaded (a slice at a time, the program serving events meanwhile)
    // or the load was cancelled.
    void FileOpen(const QString& filename);
    // Opens a list for the person at the window (the open dialog, a list
    // named on the command line): a file of more than
    // TargetLimits::kConfirmAbove addresses loads only after a Yes, and
    // what went wrong or was skipped is shown.
    void OpenList(const QString& filename);
    void FileNew() override;
    void FileClose() override;
    bool FileSave(const QString& filename = QString()) override;
    bool SaveChangesPrompt(bool withCancel) override;
    bool ShowFileSaveDialog() override;
    void PrintList() override;
    void PrintPreview() override;
    void StartScan() override;
    void StopScan() override;

    ServerConfigProblem ServerConfigurationProblem() const override { return configProblem_; }
    void setServerConfigurationProblem(const ServerConfigProblem& problem) { configProblem_ = problem; }
    void ServerConfigSaved() override { configProblem_ = {}; }
    // Why StartScan scans nothing now; empty when it scans.
    QString ScanRefusal() const;

    // Where the commands' questions and file dialogs go. Automation swaps in
    // its own for the length of one command, so that a client that leaves
    // has its questions answered as cancelled.
    UserPrompts& Prompts() const { return *prompts_; }
    void setPrompts(UserPrompts& prompts) { prompts_ = &prompts; }

    void setGridSource(GridSource source) override { grid_ = std::move(source); }
    // The export engine adapter for printing; the process's one adapter
    // unless set.
    void setExports(ExportEngine& engine) { exports_ = &engine; }
    ExportEngine& Exports() const override;

    static inline const QString kNewList = QStringLiteral("New List");
    static QString FileFilter();
    // Where the file dialogs start: the folder of the open list's file, else
    // the user's documents folder (the home folder when there is none).
    QString DialogFolder() const;

private:
    void print(bool preview);
    // Runs the prepared load from the event loop until it ends; true when
    // it loaded.
    bool runLoad();

    quarlo::Addresslist& list_;
    quarlo::Settings& settings_;
    UserPrompts* prompts_;
    GridSource grid_;
    ExportEngine* exports_ = nullptr;
    ServerConfigProblem configProblem_;
};

} // namespace quarlo
