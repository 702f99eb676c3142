#pragma once

#include "export/ExportBackend.h"
#include "export/ExportLayout.h"
#include "export/TableFileWriter.h"
#include "export/TableSnapshot.h"

#include <QByteArray>
#include <QString>

#include <memory>

class QPrinter;

namespace quarlo {

class ExportDialogs;

// The program's export engine: writes, prints and previews the results grid,
// and hands written files to mail, folders or the
// spreadsheet program. Dialogs and external programs go through
// ExportDialogs, so the engine itself runs headless.
//
// What each format holds: print, preview, PDF and Text render the rows shown
// in the grid (row.shown); HTML, MHTML, CSV and XLSX hold every row (XLSX as
// outline groups keeping the grid's expand state, CSV with a level column).
// Column widths follow the texts (ContentColumnWidths, TablePainter), not
// the window's.
//
// Files are never half-written: byte formats go through AtomicFileWriter,
// the workbook is written to a temporary name in the target folder and
// renamed over the target. A failure leaves the old file and no temporary.
//
// Delivery problems of SendTo are always told to the user, even when Quiet
// (which silences only the export's own dialogs), with the path of the
// exported file, which stays where it is.
class GridExportBackend : public ExportBackend {
public:
    explicit GridExportBackend(std::shared_ptr<ExportDialogs> dialogs);
    ~GridExportBackend() override;

    // A factory for ExportEngine::setBackendFactory making a fresh engine per
    // operation, all sharing dialogs. Without dialogs it makes none.
    static ExportBackendFactory Factory(std::shared_ptr<ExportDialogs> dialogs);

    bool SetProperty(const QString& name, const QVariant& value) override;
    QString TargetFilename() const override { return targetFilename_; }
    bool Export(const QVariant& table, const QString& method, const QString& programDir) override;
    QVariant SendTo(const QString& fileName, const QString& destination) override;
    QList<Choice> ExportMethods() override;
    QString MethodName(const QString& method) override;
    QList<Choice> SentToMethods() override;

    const ExportLayout& layout() const { return layout_; }

    // The body texts of mails longer than this (UTF-8 bytes) are attached
    // instead: command lines take at most 128 KB per argument.
    static constexpr qsizetype kMaxMailBody = 60 * 1024;

    // The HTML of an exported web page: an MHTML file's first HTML part
    // decoded, an HTML file as it is. Empty when the bytes hold neither.
    static QString HtmlOfWebPage(const QByteArray& bytes);
    // The command line of a desktop entry's Exec key opening fileName: the
    // file goes where a file or URL field code stands (at the end when there
    // is none), other field codes are dropped. Empty when exec is.
    static QStringList DesktopCommand(const QString& exec, const QString& fileName);

private:
    enum class Format { None, Html, Mhtml, Text, Csv, Xlsx, Excel, Pdf };
    struct FormatInfo;
    static const FormatInfo* Info(Format format);
    static Format FormatOf(const QString& key);

    bool exportTable(const TableSnapshot& table, const QString& method, const QString& programDir);
    bool printTable(const TableSnapshot& table, bool preview);
    void setUpPrinter(QPrinter& printer) const;
    // The format to write (FileFormat, else method), after the method choice
    // when asked for; None when cancelled or unknown (told).
    Format chooseFormat(const QString& method);
    // The file to write; empty when cancelled.
    QString chooseTarget(Format format, const QString& programDir);
    // Renders a byte format; false with *error when the writer fails.
    static TableFileWriter::Format fileFormat(Format format);
    bool openInSpreadsheet(const QString& fileName);

    bool mailContent(const QString& fileName);
    // Runs the mail helper; a failure is told with the file's path.
    bool runMailProgram(const QStringList& args, const QString& fileName);
    bool mailAttachment(const QString& fileName);
    bool copyToFolder(const QString& fileName, int location);
    QString mailSubject(const QString& fileName) const;
    // The desktop's spreadsheet program opening fileName; empty when none.
    QStringList spreadsheetCommand(const QString& fileName);

    // Export problems: silent when Quiet.
    void fail(const QString& text);
    // Delivery problems: always shown.
    void tell(const QString& text);
    // Delivery problems of the file at path: shown with the way to its folder.
    void tellAbout(const QString& text, const QString& path);

    std::shared_ptr<ExportDialogs> dialogs_;
    ExportLayout layout_;
    QString targetFilename_;
    QString initDir_;
    QString fileFormat_;
    QString defaultPrinter_;
    QString imageFormat_;
    QString columnList_;
    int imageHeight_ = 400;
    int imageWidth_ = 640;
    bool selectMethod_ = false;
    bool skipFieldSelection_ = false;
    bool skipFilenameSelection_ = false;
    bool quiet_ = false;
};

} // namespace quarlo
