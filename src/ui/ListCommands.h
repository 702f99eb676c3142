#pragma once

#include "common/ErrorText.h"

#include <QString>
#include <QVariant>
#include <functional>

namespace quarlo {

class ExportEngine;

// The file, print and scan commands the window's menus and buttons carry
// out. The application object implements them (automation clients call the
// same members), so the window never works on the list itself.
class ListCommands {
public:
    // The results grid as the export engine takes it (a snapshot taken when
    // called); the window provides it.
    using GridSource = std::function<QVariant()>;

    virtual ~ListCommands() = default;

    virtual void ShowFileOpenDialog() = 0;
    virtual void FileNew() = 0;
    virtual void FileClose() = 0;
    // Saves under filename, or the list's own name; false when not saved.
    virtual bool FileSave(const QString& filename = QString()) = 0;
    virtual bool ShowFileSaveDialog() = 0;
    virtual void PrintList() = 0;
    virtual void PrintPreview() = 0;
    // Starts a scan, unless the server configuration could not be loaded:
    // then it says why and scans nothing.
    virtual void StartScan() = 0;
    virtual void StopScan() = 0;

    // The blacklist server configuration could not be loaded at start-up.
    struct ServerConfigProblem {
        ErrorText message; // the reader's message, naming the file
        // The file a save of the server list would replace although it
        // could not be read; empty when the list is saved elsewhere.
        QString savedOver;
        bool isEmpty() const { return message.isEmpty(); }
    };
    // Empty once the configuration loaded, or once the server list has been
    // saved since (ServerConfigSaved): then the servers in use are the file's.
    virtual ServerConfigProblem ServerConfigurationProblem() const = 0;
    virtual void ServerConfigSaved() = 0;
    // Asks whether to save the list's changes, when it has any. False when
    // the command that asked must stop: Cancel (offered only when
    // withCancel), or Yes and the save did not happen.
    virtual bool SaveChangesPrompt(bool withCancel) = 0;

    virtual void setGridSource(GridSource source) = 0;
    virtual ExportEngine& Exports() const = 0;
};

} // namespace quarlo
