#pragma once

#include "export/ExportBackend.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QPrinter;

namespace quarlo {

// Everything the export engine asks of the user or the desktop: file and
// format choices, the print and preview dialogs, messages, and starting
// other programs. The engine never touches a widget or a process itself, so
// tests answer these from a script and record what would have happened.
class ExportDialogs {
public:
    enum class Severity { Information, Warning, Critical };

    virtual ~ExportDialogs() = default;

    // The file to write, starting at suggestedPath; empty when cancelled.
    // The answer is final: asking before replacing an existing file is the
    // dialog's job.
    virtual QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter) = 0;
    // Lets the user pick one of choices; inOut holds the preselected key and
    // receives the chosen one. False when cancelled.
    virtual bool ChooseMethod(const QString& caption, const QList<ExportBackend::Choice>& choices, QString& inOut) = 0;
    // The print dialog on printer; false when cancelled.
    virtual bool SetUpPrinter(QPrinter& printer) = 0;
    // Shows a preview of printer's output; paint renders the pages onto the
    // printer it is given, as often as the preview needs. False when no
    // preview could be shown.
    virtual bool Preview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) = 0;
    virtual void Message(const QString& text, Severity severity) = 0;

    // Starts program detached with args; false with *error (naming what is
    // missing) when it cannot start.
    virtual bool StartProgram(const QString& program, const QStringList& args, QString* error) = 0;
    // Runs program to its end and returns what it printed on standard
    // output; empty when it cannot run.
    virtual QString RunAndRead(const QString& program, const QStringList& args) = 0;
    // Runs a program that hands a file on (the mail program) and waits a
    // while for its verdict: its exit code, 0 when it is still running
    // after the wait (it has taken over), -1 with *error when it cannot
    // start.
    virtual int RunProgram(const QString& program, const QStringList& args, QString* error)
    {
        return StartProgram(program, args, error) ? 0 : -1;
    }
    // Tells the user what went wrong with the file at path, with a way to
    // show the file in its folder.
    virtual void FileProblem(const QString& text, const QString& path)
    {
        Q_UNUSED(path);
        Message(text, Severity::Warning);
    }
};

} // namespace quarlo
