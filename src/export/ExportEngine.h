#pragma once

#include "export/ExportBackend.h"
#include "export/ExportMenuEntry.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>

namespace quarlo {

// The program's side of printing, previewing, exporting and sending. It keeps
// the layout settings of the next operation, starts a fresh engine for every
// operation, copies the settings into it, and forgets them again afterwards;
// only TargetFilename survives, naming the file the last export wrote.
class ExportEngine {
public:
    enum class Icon { Exclamation, Critical };
    // Shows a message box; without one the text goes to the warning log.
    using MessageSink = std::function<void(const QString& text, const QString& title, Icon icon)>;
    // Names of the installed printers.
    using PrinterSource = std::function<QStringList()>;
    // Asks a yes/no question; true for yes.
    using QuestionSink = std::function<bool(const QString& text, const QString& title)>;

    explicit ExportEngine(ExportBackendFactory factory = {});

    // The process's one adapter, created on first use.
    static ExportEngine& Instance();

    void setBackendFactory(ExportBackendFactory factory) { factory_ = std::move(factory); }
    void setMessageSink(MessageSink sink) { sink_ = std::move(sink); }
    void setPrinterSource(PrinterSource source) { printers_ = std::move(source); }
    void setQuestionSink(QuestionSink sink) { ask_ = std::move(sink); }
    // Folder handed to the engine and used for default targets; the
    // program's own folder unless set.
    void setProgramDir(const QString& dir) { programDir_ = dir; }
    QString programDir() const;

    // The results table (a TableSnapshotPtr) printed, previewed, or
    // exported by method ("PRINTER", "PREVIEW" or a file format).
    bool PrintTable(const QVariant& table, bool preview = false);
    bool ExportTable(const QVariant& table, const QString& method);
    // Export to a temporary target without dialogs, then hand the file to
    // the destination (a key of SendToMethods).
    void ExportAndSendTable(const QVariant& table, const QString& destination);

    // The engine's answer; invalid when no engine could start.
    QVariant SendTo(const QString& fileName, const QString& destination);
    QList<ExportBackend::Choice> ExportMethods();
    QString MethodName(const QString& method);
    QList<ExportBackend::Choice> SendToMethods();

    // The commands for an export menu or a send-to menu; an empty prefix
    // gives "Export:" or "SendTo:". Empty when the engine cannot start.
    QList<ExportMenuEntry> ExportsMenuEntries(const QString& prefix = {});
    QList<ExportMenuEntry> SendToMenuEntries(const QString& prefix = {});

    // The format a table is sent in to destination.
    static QString BestExportMethod(const QString& destination);

    QString ProgramName() const { return programName_; }
    void setProgramName(const QString& v) { programName_ = v; }
    QString ProgramVersion() const { return programVersion_; }
    void setProgramVersion(const QString& v) { programVersion_ = v; }
    QString Title() const { return title_; }
    void setTitle(const QString& v) { title_ = v; }
    QString SubTitle() const { return subTitle_; }
    void setSubTitle(const QString& v) { subTitle_ = v; }
    QString Paragraph() const { return paragraph_; }
    void setParagraph(const QString& v) { paragraph_ = v; }
    QString Footer() const { return footer_; }
    void setFooter(const QString& v) { footer_ = v; }
    qint32 Orientation() const { return orientation_; }
    void setOrientation(qint32 v) { orientation_ = v; }
    qint32 ImageHeight() const { return imageHeight_; }
    void setImageHeight(qint32 v) { imageHeight_ = v; }
    qint32 ImageWidth() const { return imageWidth_; }
    void setImageWidth(qint32 v) { imageWidth_ = v; }
    QString TargetFilename() const { return targetFilename_; }
    void setTargetFilename(const QString& v) { targetFilename_ = v; }
    QString InitDir() const { return initDir_; }
    void setInitDir(const QString& v) { initDir_ = v; }
    QString ImageFormat() const { return imageFormat_; }
    void setImageFormat(const QString& v) { imageFormat_ = v; }
    bool SelectMethod() const { return selectMethod_; }
    void setSelectMethod(bool v) { selectMethod_ = v; }
    bool SkipFilenameSelection() const { return skipFilenameSelection_; }
    void setSkipFilenameSelection(bool v) { skipFilenameSelection_ = v; }
    bool SkipFieldSelection() const { return skipFieldSelection_; }
    void setSkipFieldSelection(bool v) { skipFieldSelection_ = v; }
    QString ColumnList() const { return columnList_; }
    void setColumnList(const QString& v) { columnList_ = v; }
    QString FileFormat() const { return fileFormat_; }
    void setFileFormat(const QString& v) { fileFormat_ = v; }
    bool Quiet() const { return quiet_; }
    void setQuiet(bool v) { quiet_ = v; }
    QString DefaultPrinter() const { return defaultPrinter_; }
    void setDefaultPrinter(const QString& v) { defaultPrinter_ = v; }

    // True, after telling the user, when no printer is installed. With
    // printToPdf (and a way to ask), the user is offered to print to a PDF
    // file instead and *printToPdf says whether they want it.
    bool NoPrinters(bool* printToPdf = nullptr);
    void Reset();

private:
    std::unique_ptr<ExportBackend> createBackend(bool quiet);
    void transferSettings(ExportBackend& backend) const;
    bool runExport(const QVariant& table, const QString& method);
    void tell(const QString& text, const QString& title, Icon icon) const;
    // A fresh temporary place for a file made to be sent, named like the target.
    QString sendTarget();

    ExportBackendFactory factory_;
    MessageSink sink_;
    PrinterSource printers_;
    QuestionSink ask_;
    QString programDir_;

    QString programName_;
    QString programVersion_;
    QString title_;
    QString subTitle_;
    QString paragraph_;
    QString footer_;
    qint32 orientation_ = 1;
    qint32 imageHeight_ = 400;
    qint32 imageWidth_ = 640;
    QString targetFilename_;
    QString initDir_;
    QString imageFormat_;
    bool selectMethod_ = false;
    bool skipFilenameSelection_ = false;
    bool skipFieldSelection_ = false;
    QString columnList_;
    QString fileFormat_;
    bool quiet_ = false;
    QString defaultPrinter_;
};

} // namespace quarlo
