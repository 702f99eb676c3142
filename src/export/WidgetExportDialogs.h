#pragma once

#include "export/ExportDialogs.h"

#include <QPointer>

class QWidget;

namespace quarlo {

// The export engine's dialogs as the desktop program shows them, and
// external programs started with QProcess.
class WidgetExportDialogs : public ExportDialogs {
public:
    // parent: the window the dialogs belong to (the active window when
    // none); may go away before this does.
    explicit WidgetExportDialogs(QWidget* parent = nullptr);

    QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter) override;
    bool ChooseMethod(const QString& caption, const QList<ExportBackend::Choice>& choices, QString& inOut) override;
    bool SetUpPrinter(QPrinter& printer) override;
    bool Preview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) override;
    void Message(const QString& text, Severity severity) override;
    bool StartProgram(const QString& program, const QStringList& args, QString* error) override;
    QString RunAndRead(const QString& program, const QStringList& args) override;
    int RunProgram(const QString& program, const QStringList& args, QString* error) override;
    void FileProblem(const QString& text, const QString& path) override;

    // How long RunProgram waits for a verdict.
    static constexpr int kProgramWaitMs = 15000;

private:
    // The given parent while it lives, else the active window.
    QWidget* owner() const;

    QPointer<QWidget> parent_;
};

} // namespace quarlo
