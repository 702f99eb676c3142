#include "export/ExportEngine.h"

#include "common/AppInfo.h"
#include "common/LogCategories.h"
#include "common/NameFunctions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtDebug>

namespace quarlo {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Until the program carries an engine of its own, every operation reports
// that none can start.
std::unique_ptr<ExportBackend> NoBackend(QString* error)
{
    if (error) *error = QStringLiteral("No export engine is installed.");
    return nullptr;
}

bool IsMapiMail(const QString& destination)
{
    return destination.contains(QStringLiteral(".MAPIMAIL"), Qt::CaseInsensitive);
}

} // namespace

ExportEngine::ExportEngine(ExportBackendFactory factory) : factory_(std::move(factory))
{
    Reset();
}

ExportEngine& ExportEngine::Instance()
{
    static ExportEngine engine;
    return engine;
}

QString ExportEngine::programDir() const
{
    return programDir_.isEmpty() ? QCoreApplication::applicationDirPath() : programDir_;
}

void ExportEngine::tell(const QString& text, const QString& title, Icon icon) const
{
    if (sink_)
        sink_(text, title, icon);
    else
        qCWarning(lcExport).noquote() << text;
}

std::unique_ptr<ExportBackend> ExportEngine::createBackend(bool quiet)
{
    QString error;
    std::unique_ptr<ExportBackend> backend = factory_ ? factory_(&error) : NoBackend(&error);
    if (!backend && !quiet) {
        tell(QStringLiteral("Cannot start Vantorel Export Engine.") + kCrLf
                 + QStringLiteral("You may need to reinstall the Vantorel software.") + kCrLf + kCrLf
                 + QStringLiteral("Error= ") + error,
             DisplayTitle(), Icon::Exclamation);
    }
    return backend;
}

void ExportEngine::transferSettings(ExportBackend& backend) const
{
    // The engine may know only some of these; a refused one is simply left out.
    const std::pair<const char*, QVariant> settings[] = {
        {"ProgramName", programName_},
        {"ProgramVersion", programVersion_},
        {"Title", title_},
        {"SubTitle", subTitle_},
        {"Paragraph", paragraph_},
        {"Footer", footer_},
        {"ImageHeight", imageHeight_},
        {"ImageWidth", imageWidth_},
        {"ImageFormat", imageFormat_},
        {"FileFormat", fileFormat_},
        {"Orientation", orientation_},
        {"TargetFilename", targetFilename_},
        {"InitDir", initDir_},
        {"ColumnList", columnList_},
        {"SelectMethod", selectMethod_},
        {"SkipFieldSelection", skipFieldSelection_},
        {"SkipFilenameSelection", skipFilenameSelection_},
        {"Quiet", quiet_},
        {"DefaultPrinter", defaultPrinter_},
    };
    for (const auto& [name, value] : settings) backend.SetProperty(QString::fromLatin1(name), value);
}

bool ExportEngine::runExport(const QVariant& table, const QString& method)
{
    auto backend = createBackend(false);
    if (!backend) return false;
    transferSettings(*backend);
    const bool ok = backend->Export(table, method, programDir());
    Reset();
    targetFilename_ = backend->TargetFilename();
    return ok;
}

static QString PrintMethod(bool preview)
{
    return preview ? QStringLiteral("PREVIEW") : QStringLiteral("PRINTER");
}

bool ExportEngine::PrintTable(const QVariant& table, bool preview)
{
    return ExportTable(table, PrintMethod(preview));
}

bool ExportEngine::ExportTable(const QVariant& table, const QString& method)
{
    return runExport(table, method);
}

QString ExportEngine::sendTarget()
{
    // A file made only to be sent goes to a folder of its own under the
    // temporary location, never beside the list: nobody asked for it there.
    const QString name = QFileInfo(targetFilename_.isEmpty() ? QStringLiteral("Export") : targetFilename_).fileName();
    const QString root =
        QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/quarlo-exports");
    QDir().mkpath(root);
    QTemporaryDir folder(root + QStringLiteral("/send-XXXXXX"));
    if (!folder.isValid()) return programDir() + QLatin1Char('/') + name; // the engine reports what fails there
    // The file must outlive this call: the mail program reads it later.
    folder.setAutoRemove(false);
    return folder.path() + QLatin1Char('/') + name;
}

void ExportEngine::ExportAndSendTable(const QVariant& table, const QString& destination)
{
    targetFilename_ = sendTarget();
    QString format = BestExportMethod(destination);
    // Mail with the results as the message body wants them inline as the
    // aligned text table, so the engine must not ask for another format.
    if (destination.compare(QStringLiteral("MailContent"), Qt::CaseInsensitive) != 0) {
        fileFormat_ = format;
        selectMethod_ = true;
    } else {
        format = fileFormat_ = QStringLiteral("TXT");
        selectMethod_ = false;
    }
    skipFilenameSelection_ = true;
    quiet_ = true;
    // The message is named after the report's title, which the export forgets.
    const QString title = title_;
    if (runExport(table, format)) {
        title_ = title;
        SendTo(targetFilename_, destination);
    }
    Reset();
}

QVariant ExportEngine::SendTo(const QString& fileName, const QString& destination)
{
    auto backend = createBackend(false);
    if (!backend) return {};
    transferSettings(*backend);
    QVariant answer = backend->SendTo(fileName, destination);
    Reset();
    return answer;
}

QList<ExportBackend::Choice> ExportEngine::ExportMethods()
{
    auto backend = createBackend(true);
    return backend ? backend->ExportMethods() : QList<ExportBackend::Choice>{};
}

QString ExportEngine::MethodName(const QString& method)
{
    auto backend = createBackend(true);
    return backend ? backend->MethodName(method) : QString();
}

QList<ExportBackend::Choice> ExportEngine::SendToMethods()
{
    auto backend = createBackend(true);
    return backend ? backend->SentToMethods() : QList<ExportBackend::Choice>{};
}

QString ExportEngine::BestExportMethod(const QString& destination)
{
    // Mail attachments must be self-contained.
    return IsMapiMail(destination) ? QStringLiteral("MHTML") : QStringLiteral("HTML");
}

QList<ExportMenuEntry> ExportEngine::SendToMenuEntries(const QString& prefix)
{
    const QString idPrefix = prefix.isEmpty() ? QStringLiteral("SendTo:") : prefix;
    QList<ExportMenuEntry> entries;
    for (const auto& choice : SendToMethods()) {
        ExportMenuEntry entry;
        entry.id = idPrefix + choice.key;
        entry.caption = choice.caption;
        entry.tag = choice.key;
        // Icons are named after the destination's program ("Outlook" for
        // "Microsoft Outlook Recipient"), else after the key's last part.
        QString byCaption = choice.caption;
        byCaption.remove(QLatin1Char('&')); // the accelerator's mark is not part of the name
        byCaption.remove(QStringLiteral("Microsoft "));
        const qsizetype blank = byCaption.indexOf(QLatin1Char(' '));
        if (blank >= 0) byCaption.truncate(blank);
        entry.imageKeys << byCaption;
        const qsizetype colon = choice.key.indexOf(QLatin1Char(':'));
        if (colon >= 0) entry.imageKeys << choice.key.mid(colon + 1);
        // Mail, folders and programs form separate groups in the menu.
        const QString bare = FileName(choice.key, false).toUpper();
        entry.beginGroup = bare == QLatin1String("MAILCONTENT") || bare == QLatin1String("MYDOCUMENTS")
            || bare == QLatin1String("EXCEL.EXE");
        entries << entry;
    }
    return entries;
}

QList<ExportMenuEntry> ExportEngine::ExportsMenuEntries(const QString& prefix)
{
    const QString idPrefix = prefix.isEmpty() ? QStringLiteral("Export:") : prefix;
    QList<ExportMenuEntry> entries;
    for (const auto& choice : ExportMethods()) {
        ExportMenuEntry entry;
        entry.id = idPrefix + choice.key;
        entry.caption = choice.caption;
        entry.tag = choice.key;
        entry.imageKeys << choice.caption << choice.key;
        entries << entry;
    }
    return entries;
}

bool ExportEngine::NoPrinters(bool* printToPdf)
{
    // Without a way to list printers, leave the decision to the print dialog.
    if (!printers_ || !printers_().isEmpty()) return false;
    if (printToPdf) *printToPdf = false;
    // The report can still go on paper later: as a PDF file now.
    if (printToPdf && ask_) {
        *printToPdf = ask_(QStringLiteral("No printer is installed.") + kCrLf + kCrLf
                               + QStringLiteral("Print to PDF instead? The report is saved as a PDF file you can "
                                                "print wherever there is a printer."),
                           DisplayTitle());
        return true;
    }
    tell(QStringLiteral("You do not have a Printer installed.") + kCrLf
             + QStringLiteral("You must install a Printer before you can print."),
         DisplayTitle(), Icon::Critical);
    return true;
}

void ExportEngine::Reset()
{
    programName_ = DisplayTitle();
    programVersion_ = quarlo::ProgramVersion();
    title_.clear();
    subTitle_.clear();
    paragraph_.clear();
    footer_.clear();
    orientation_ = 1;
    imageHeight_ = 400;
    imageWidth_ = 640;
    targetFilename_.clear();
    initDir_.clear();
    imageFormat_ = QStringLiteral("GIF");
    selectMethod_ = false;
    skipFilenameSelection_ = false;
    skipFieldSelection_ = false;
    columnList_.clear();
    fileFormat_.clear();
    quiet_ = false;
    defaultPrinter_.clear();
}

} // namespace quarlo
