#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

namespace quarlo {

class Addresslist;
class ExportEngine;
class Settings;
class UserPrompts;

// The root of the object model and the one place where the file and scan
// commands are carried out: the window's menus and buttons (and automation
// clients) call these members rather than working on the list themselves.
// It keeps no state of its own beyond references to the program's objects.
class Application : public QObject {
    Q_OBJECT
public:
    // The results grid as the export engine takes it (a snapshot taken when
    // called); the window provides it.
    using GridSource = std::function<QVariant()>;

    Application(quarlo::Addresslist& list, quarlo::Settings& settings, UserPrompts& prompts, QObject* parent = nullptr);

    quarlo::Addresslist& Addresslist() { return list_; }
    quarlo::Settings& Settings() { return settings_; }

    void ShowFileOpenDialog();
    void FileOpen(const QString& filename);
    void FileNew();
    void FileClose();
    bool FileSave(const QString& filename = QString());
    bool ShowFileSaveDialog();
    void PrintList();
    void PrintPreview();
    void StartScan();
    void StopScan();

    void setGridSource(GridSource source) { grid_ = std::move(source); }
    // The export engine adapter for printing; the process's one adapter
    // unless set.
    void setExports(ExportEngine& engine) { exports_ = &engine; }
    ExportEngine& Exports() const;

    static inline const QString kNewList = QStringLiteral("New List");
    static QString FileFilter();
    // The name a user sees for a list path: the bare file name.
    static QString DisplayName(const QString& path, bool stripExtension);
    // Where the file dialogs start: the folder of the open list's file, else
    // the user's documents folder (the home folder when there is none).
    QString DialogFolder() const;

private:
    // False when the user wanted the changes saved and they were not (the
    // save dialog was cancelled or the save failed): the command stops.
    bool savePrompt();
    void print(bool preview);

    quarlo::Addresslist& list_;
    quarlo::Settings& settings_;
    UserPrompts& prompts_;
    GridSource grid_;
    ExportEngine* exports_ = nullptr;
};

} // namespace quarlo
