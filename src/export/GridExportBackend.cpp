#include "export/GridExportBackend.h"

#include "common/AtomicFileWriter.h"
#include "export/ExportDialogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTextDocument>

#include <system_error>

#include "export/HtmlTableWriter.h"
#include "export/TableFileWriter.h"
#include "export/TablePainter.h"

namespace quarlo {

struct GridExportBackend::FormatInfo {
    Format format;
    const char* key;
    const char* caption;
    const char* extension; // with the dot
    const char* filter;
};

namespace {

const QString kXlsxMime = QStringLiteral("application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
const QString kMailProgram = QStringLiteral("xdg-email");

// Mail bodies come from web pages up to this size; larger ones would take
// long to convert and end up attached anyway.
constexpr qint64 kMaxConvertedPage = 8 * 1024 * 1024;

bool Same(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

QString Quoted(const QString& path)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

QString ExportedFileIs(const QString& path)
{
    return QStringLiteral(" The exported file is %1.").arg(Quoted(path));
}

// A fresh folder of our own under the temporary location; it outlives this
// engine because the file in it is handed to another program.
QString FreshTempFolder(QString* error)
{
    const QString root =
        QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/quarlo-exports");
    if (!QDir().mkpath(root)) {
        *error = QStringLiteral("The folder %1 cannot be created.").arg(Quoted(root));
        return {};
    }
    QTemporaryDir dir(root + QStringLiteral("/XXXXXX"));
    if (!dir.isValid()) {
        *error = QStringLiteral("No folder can be created in %1: %2").arg(Quoted(root), dir.errorString());
        return {};
    }
    dir.setAutoRemove(false);
    return dir.path();
}

// Extensions an export target may carry; another suffix is part of the
// user's name ("results.v2") and keeps it.
bool IsExportExtension(const QString& suffix)
{
    static const QStringList known = {QStringLiteral("html"),  QStringLiteral("htm"), QStringLiteral("mht"),
                                      QStringLiteral("mhtml"), QStringLiteral("txt"), QStringLiteral("csv"),
                                      QStringLiteral("xlsx"),  QStringLiteral("xls"), QStringLiteral("pdf")};
    return known.contains(suffix.toLower());
}

QString WithExtension(const QString& path, const QString& extension)
{
    const QFileInfo info(path);
    // An address list's own extension goes too: "Sample.BlackList" exports
    // as "Sample.html", not "Sample.BlackList.html".
    if (IsExportExtension(info.suffix()) || info.suffix().compare(QLatin1String("BlackList"), Qt::CaseInsensitive) == 0)
        return path.left(path.size() - info.suffix().size() - 1) + extension;
    return path + extension;
}

QByteArray DecodeQuotedPrintable(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c != '=') {
            out += c;
            continue;
        }
        if (i + 1 < in.size() && in[i + 1] == '\n') { // soft line break
            i += 1;
        } else if (i + 2 < in.size() && in[i + 1] == '\r' && in[i + 2] == '\n') {
            i += 2;
        } else if (i + 2 < in.size() && isxdigit(static_cast<unsigned char>(in[i + 1]))
                   && isxdigit(static_cast<unsigned char>(in[i + 2]))) {
            out += static_cast<char>(QByteArray(in.data() + i + 1, 2).toInt(nullptr, 16));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

// Header fields of a MIME entity, names lowered, folded lines joined; the
// body starts at *bodyStart.
QMap<QByteArray, QByteArray> MimeHeaders(QByteArrayView entity, qsizetype* bodyStart)
{
    QMap<QByteArray, QByteArray> headers;
    QByteArray lastName;
    qsizetype pos = 0;
    while (pos < entity.size()) {
        qsizetype end = entity.indexOf('\n', pos);
        if (end < 0) end = entity.size();
        QByteArray line = entity.sliced(pos, end - pos).toByteArray();
        pos = end + 1;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty()) break;
        if ((line[0] == ' ' || line[0] == '\t') && !lastName.isEmpty()) {
            headers[lastName] += ' ' + line.trimmed();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0) continue;
        lastName = line.left(colon).trimmed().toLower();
        headers[lastName] = line.mid(colon + 1).trimmed();
    }
    *bodyStart = qMin(pos, entity.size());
    return headers;
}

QByteArray HeaderParameter(const QByteArray& value, const QByteArray& name)
{
    for (QByteArray part : value.split(';')) {
        part = part.trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq < 0 || part.left(eq).trimmed().toLower() != name) continue;
        QByteArray v = part.mid(eq + 1).trimmed();
        if (v.size() >= 2 && v.startsWith('"') && v.endsWith('"')) v = v.mid(1, v.size() - 2);
        return v;
    }
    return {};
}

QString DecodePart(const QMap<QByteArray, QByteArray>& headers, QByteArrayView body)
{
    const QByteArray encoding = headers.value("content-transfer-encoding").trimmed().toLower();
    QByteArray bytes;
    if (encoding == "quoted-printable")
        bytes = DecodeQuotedPrintable(body);
    else if (encoding == "base64")
        bytes = QByteArray::fromBase64(body.toByteArray());
    else
        bytes = body.toByteArray();
    const QByteArray charset = HeaderParameter(headers.value("content-type"), "charset");
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid()) return decoder.decode(bytes);
    }
    return QString::fromUtf8(bytes);
}

// The first text/html part of a MIME entity, searching nested multiparts.
QString HtmlPart(QByteArrayView entity, int depth)
{
    qsizetype bodyStart = 0;
    const auto headers = MimeHeaders(entity, &bodyStart);
    const QByteArray type = headers.value("content-type").toLower();
    const QByteArrayView body = entity.sliced(bodyStart);
    if (type.startsWith("text/html")) return DecodePart(headers, body);
    if (!type.startsWith("multipart/") || depth > 4) return {};
    const QByteArray boundary = "--" + HeaderParameter(headers.value("content-type"), "boundary");
    if (boundary.size() <= 2) return {};
    qsizetype pos = body.indexOf(boundary);
    while (pos >= 0) {
        qsizetype start = pos + boundary.size();
        if (body.sliced(start).startsWith("--")) break; // closing delimiter
        const qsizetype lineEnd = body.indexOf('\n', start);
        if (lineEnd < 0) break;
        start = lineEnd + 1;
        qsizetype next = body.indexOf(boundary, start);
        const qsizetype end = next < 0 ? body.size() : next;
        QString html = HtmlPart(body.sliced(start, end - start), depth + 1);
        if (!html.isEmpty()) return html;
        pos = next;
    }
    return {};
}

QStringList SplitExec(const QString& exec)
{
    QStringList args;
    QString current;
    bool inQuotes = false, haveArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size()) {
                current += exec[++i];
            } else if (c == u'"') {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == u'"') {
            inQuotes = haveArg = true;
        } else if (c == u' ' || c == u'\t') {
            if (haveArg) args << current;
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg) args << current;
    return args;
}

// The value of a key of a desktop entry's main group, string escapes
// resolved.
QString DesktopEntryValue(const QString& path, const QString& key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (!inEntry || eq <= 0 || line.left(eq).trimmed() != key) continue;
        const QString raw = line.mid(eq + 1).trimmed();
        QString value;
        for (qsizetype i = 0; i < raw.size(); ++i) {
            if (raw[i] != u'\\' || i + 1 == raw.size()) {
                value += raw[i];
                continue;
            }
            const QChar e = raw[++i];
            if (e == u's')
                value += u' ';
            else if (e == u'n')
                value += u'\n';
            else if (e == u't')
                value += u'\t';
            else if (e == u'r')
                value += u'\r';
            else if (e == u'\\')
                value += u'\\';
            else
                value += QStringLiteral("\\") + e; // an Exec quoting escape, resolved later
        }
        return value;
    }
    return {};
}

} // namespace

const GridExportBackend::FormatInfo* GridExportBackend::Info(Format format)
{
    static const FormatInfo formats[] = {
        {Format::Html, "HTML", "Web page (HTML)", ".html", "Web pages (*.html *.htm)"},
        {Format::Mhtml, "MHTML", "Single-file web page (MHTML)", ".mht", "Single-file web pages (*.mht *.mhtml)"},
        {Format::Text, "Text", "Text file", ".txt", "Text files (*.txt)"},
        {Format::Csv, "CDF", "Comma-separated values (CSV)", ".csv", "CSV files (*.csv)"},
        {Format::Xlsx, "XLS", "Spreadsheet workbook (XLSX)", ".xlsx", "Spreadsheet workbooks (*.xlsx)"},
        {Format::Excel, "EXCEL", "Open in the spreadsheet program", ".xlsx", "Spreadsheet workbooks (*.xlsx)"},
        {Format::Pdf, "PDF", "PDF document", ".pdf", "PDF documents (*.pdf)"},
    };
    for (const auto& info : formats)
        if (info.format == format) return &info;
    return nullptr;
}

GridExportBackend::Format GridExportBackend::FormatOf(const QString& key)
{
    static const std::pair<const char*, Format> names[] = {
        {"HTML", Format::Html}, {"HTM", Format::Html},  {"MHTML", Format::Mhtml}, {"MHT", Format::Mhtml},
        {"Text", Format::Text}, {"TXT", Format::Text},  {"CDF", Format::Csv},     {"CSV", Format::Csv},
        {"XLS", Format::Xlsx},  {"XLSX", Format::Xlsx}, {"EXCEL", Format::Excel}, {"PDF", Format::Pdf},
    };
    const QString trimmed = key.trimmed();
    for (const auto& [name, format] : names)
        if (Same(trimmed, name)) return format;
    return Format::None;
}

GridExportBackend::GridExportBackend(std::shared_ptr<ExportDialogs> dialogs) : dialogs_(std::move(dialogs)) {}

GridExportBackend::~GridExportBackend() = default;

ExportBackendFactory GridExportBackend::Factory(std::shared_ptr<ExportDialogs> dialogs)
{
    return [dialogs = std::move(dialogs)](QString* error) -> std::unique_ptr<ExportBackend> {
        if (!dialogs) {
            if (error) *error = QStringLiteral("The export engine has no dialogs to work with.");
            return nullptr;
        }
        return std::make_unique<GridExportBackend>(dialogs);
    };
}

bool GridExportBackend::SetProperty(const QString& name, const QVariant& value)
{
    const QString n = name.trimmed();
    if (Same(n, "ProgramName"))
        layout_.programName = value.toString();
    else if (Same(n, "ProgramVersion"))
        layout_.programVersion = value.toString();
    else if (Same(n, "Title"))
        layout_.title = value.toString();
    else if (Same(n, "SubTitle"))
        layout_.subTitle = value.toString();
    else if (Same(n, "Paragraph"))
        layout_.paragraph = value.toString();
    else if (Same(n, "Footer"))
        layout_.footer = value.toString();
    else if (Same(n, "Orientation"))
        layout_.orientation = value.toInt() == 2 ? 2 : 1;
    // Images, image formats and a field choice do not apply to the grid's
    // formats; they are kept so the adapter's settings are all accepted.
    else if (Same(n, "ImageHeight"))
        imageHeight_ = value.toInt();
    else if (Same(n, "ImageWidth"))
        imageWidth_ = value.toInt();
    else if (Same(n, "ImageFormat"))
        imageFormat_ = value.toString();
    else if (Same(n, "ColumnList"))
        columnList_ = value.toString();
    else if (Same(n, "SkipFieldSelection"))
        skipFieldSelection_ = value.toBool();
    else if (Same(n, "FileFormat"))
        fileFormat_ = value.toString().trimmed();
    else if (Same(n, "TargetFilename"))
        targetFilename_ = value.toString().trimmed();
    else if (Same(n, "InitDir"))
        initDir_ = value.toString().trimmed();
    else if (Same(n, "SelectMethod"))
        selectMethod_ = value.toBool();
    else if (Same(n, "SkipFilenameSelection"))
        skipFilenameSelection_ = value.toBool();
    else if (Same(n, "Quiet"))
        quiet_ = value.toBool();
    else if (Same(n, "DefaultPrinter"))
        defaultPrinter_ = value.toString().trimmed();
    else
        return false;
    return true;
}

QList<ExportBackend::Choice> GridExportBackend::ExportMethods()
{
    QList<Choice> choices;
    for (Format f : {Format::Html, Format::Mhtml, Format::Text, Format::Csv, Format::Xlsx, Format::Excel, Format::Pdf})
        choices.append({QLatin1String(Info(f)->key), QLatin1String(Info(f)->caption)});
    return choices;
}

QString GridExportBackend::MethodName(const QString& method)
{
    const FormatInfo* info = Info(FormatOf(method));
    return info ? QLatin1String(info->caption) : QString();
}

QList<ExportBackend::Choice> GridExportBackend::SentToMethods()
{
    return {
        {QStringLiteral("MailContent"), QStringLiteral("&Mail recipient (results as the message)")},
        {QStringLiteral("Mail.MAPIMAIL"), QStringLiteral("Mail recipient (as &attachment)")},
        {QStringLiteral("MyDocuments"), QStringLiteral("&Documents folder")},
        {QStringLiteral("Desktop"), QStringLiteral("Des&ktop folder")},
        {QStringLiteral("EXCEL.EXE"), QStringLiteral("&Spreadsheet program")},
    };
}

void GridExportBackend::fail(const QString& text)
{
    if (!quiet_ && dialogs_) dialogs_->Message(text, ExportDialogs::Severity::Warning);
}

void GridExportBackend::tell(const QString& text)
{
    if (dialogs_) dialogs_->Message(text, ExportDialogs::Severity::Warning);
}

void GridExportBackend::tellAbout(const QString& text, const QString& path)
{
    if (dialogs_) dialogs_->FileProblem(text + ExportedFileIs(path), path);
}

bool GridExportBackend::Export(const QVariant& item, const QString& method, const QString& programDir)
{
    const TableSnapshotPtr table = item.canConvert<TableSnapshotPtr>() ? item.value<TableSnapshotPtr>() : nullptr;
    if (!table) {
        fail(QStringLiteral("There is no table to export."));
        return false;
    }
    return exportTable(*table, method, programDir);
}

GridExportBackend::Format GridExportBackend::chooseFormat(const QString& method)
{
    const QString asked = fileFormat_.isEmpty() ? method.trimmed() : fileFormat_;
    Format format = FormatOf(asked);
    if (selectMethod_ && !quiet_) {
        QString key = format == Format::None ? asked : QLatin1String(Info(format)->key);
        if (!dialogs_->ChooseMethod(QStringLiteral("Export as"), ExportMethods(), key)) return Format::None;
        format = FormatOf(key);
    }
    if (format == Format::None) {
        fail(QStringLiteral("\"%1\" is not a format this export can write.").arg(asked));
        return Format::None;
    }
    return format;
}

QString GridExportBackend::chooseTarget(Format format, const QString& programDir)
{
    const FormatInfo* info = Info(format);
    const QString extension = QLatin1String(info->extension);
    const QString name = targetFilename_.isEmpty() ? QStringLiteral("Export") : targetFilename_;
    QString error;
    if (format == Format::Excel) {
        const QString folder = FreshTempFolder(&error);
        if (folder.isEmpty()) fail(error);
        return folder.isEmpty() ? QString()
                                : folder + QLatin1Char('/') + WithExtension(QFileInfo(name).fileName(), extension);
    }

    const QString base = !initDir_.isEmpty() ? initDir_ : !programDir.isEmpty() ? programDir : QDir::homePath();
    QString path = QDir::cleanPath(QDir(base).absoluteFilePath(name));
    if (QFileInfo(path).isDir()) path += QStringLiteral("/Export");
    path = WithExtension(path, extension);

    if (!skipFilenameSelection_ && !quiet_) {
        // The dialog opens where the user can save: a suggested folder that
        // is missing or read-only (the program's own, when installed) gives
        // way to the documents folder.
        const QFileInfo suggested(QFileInfo(path).absolutePath());
        if (!suggested.isDir() || !suggested.isWritable()) {
            const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
            path = (documents.isEmpty() ? QDir::homePath() : documents) + QLatin1Char('/') + QFileInfo(path).fileName();
        }
        const QString chosen = dialogs_->SaveFileName(QStringLiteral("Export: %1").arg(QLatin1String(info->caption)),
                                                      path, QLatin1String(info->filter));
        if (chosen.isEmpty()) return {};
        path = QFileInfo(chosen).absoluteFilePath();
        if (QFileInfo(path).suffix().isEmpty()) path += extension;
        return path;
    }

    // A default target in the program's own folder (installed under /usr,
    // say) cannot be written by the user; a temporary folder keeps an
    // export-and-send working there. Folders that do not exist, or names
    // the user picked, fail with the system's reason instead.
    const QFileInfo folder(QFileInfo(path).absolutePath());
    if (folder.isDir() && !folder.isWritable()) {
        const QString temp = FreshTempFolder(&error);
        if (temp.isEmpty()) {
            fail(error);
            return {};
        }
        path = temp + QLatin1Char('/') + QFileInfo(path).fileName();
    }
    return path;
}

bool GridExportBackend::exportTable(const TableSnapshot& table, const QString& method, const QString& programDir)
{
    if (Same(method.trimmed(), "PRINTER")) return printTable(table, false);
    if (Same(method.trimmed(), "PREVIEW")) return printTable(table, true);

    const Format format = chooseFormat(method);
    if (format == Format::None) return false;
    const QString path = chooseTarget(format, programDir);
    if (path.isEmpty()) return false;

    QString error;
    if (!TableFileWriter::Write(table, layout_, fileFormat(format), path, &error, AtomicFileWriter::Links::Follow)) {
        fail(QStringLiteral("The export cannot be saved as %1.\n%2").arg(Quoted(path), error));
        return false;
    }
    targetFilename_ = QFileInfo(path).absoluteFilePath();
    // The workbook was written; a missing program is told to the user with
    // the file's path, so the export itself still succeeded.
    if (format == Format::Excel) openInSpreadsheet(targetFilename_);
    return true;
}

TableFileWriter::Format GridExportBackend::fileFormat(Format format)
{
    switch (format) {
    case Format::Mhtml: return TableFileWriter::Format::Mhtml;
    case Format::Text: return TableFileWriter::Format::Text;
    case Format::Csv: return TableFileWriter::Format::Csv;
    case Format::Xlsx:
    case Format::Excel: return TableFileWriter::Format::Xlsx;
    case Format::Pdf: return TableFileWriter::Format::Pdf;
    default: return TableFileWriter::Format::Html;
    }
}

void GridExportBackend::setUpPrinter(QPrinter& printer) const
{
    if (!defaultPrinter_.isEmpty()) printer.setPrinterName(defaultPrinter_);
    printer.setPageOrientation(layout_.orientation == 2 ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setDocName(layout_.title.isEmpty() ? layout_.programName : layout_.title);
}

bool GridExportBackend::printTable(const TableSnapshot& table, bool preview)
{
    QPrinter printer(QPrinter::HighResolution);
    setUpPrinter(printer);
    QString error;
    if (preview) {
        const bool shown = dialogs_->Preview(printer, [&](QPrinter* target) {
            if (TablePainter::Paint(table, layout_, *target, &error) == 0 && error.isEmpty())
                error = QStringLiteral("Nothing could be drawn.");
        });
        if (!error.isEmpty()) fail(QStringLiteral("The preview failed: %1").arg(error));
        return shown;
    }
    if (!quiet_ && !dialogs_->SetUpPrinter(printer)) return false;
    if (TablePainter::Paint(table, layout_, printer, &error) > 0) return true;
    fail(QStringLiteral("Printing failed: %1").arg(error));
    return false;
}

QString GridExportBackend::HtmlOfWebPage(const QByteArray& bytes)
{
    const QByteArray start = bytes.left(1024).trimmed();
    if (start.startsWith('<') || start.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes);
    if (start.isEmpty()) return {};
    return HtmlPart(bytes, 0);
}

QStringList GridExportBackend::DesktopCommand(const QString& exec, const QString& fileName)
{
    QStringList args;
    bool placed = false;
    for (const QString& arg : SplitExec(exec)) {
        QString out;
        bool hadCode = false, hadFile = false;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] != u'%' || i + 1 == arg.size()) {
                out += arg[i];
                continue;
            }
            const QChar code = arg[++i];
            if (code == u'%') {
                out += u'%';
            } else if (QStringLiteral("fFuU").contains(code)) {
                // One file only: a second file code is dropped.
                if (!placed) {
                    out += fileName;
                    placed = hadFile = true;
                }
                hadCode = true;
            } else {
                hadCode = true; // %i %c %k and the deprecated ones: dropped
            }
        }
        // An argument that was nothing but dropped codes disappears.
        const bool onlyDropped = hadCode && !hadFile && out.isEmpty();
        if (!onlyDropped) args << out;
    }
    if (args.isEmpty()) return {};
    if (!placed) args << fileName;
    return args;
}

QStringList GridExportBackend::spreadsheetCommand(const QString& fileName)
{
    const QString id =
        dialogs_
            ->RunAndRead(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), kXlsxMime})
            .section(u'\n', 0, 0)
            .trimmed();
    if (!id.endsWith(QLatin1String(".desktop"))) return {};
    QString entry = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    // "vendor-app.desktop" may live as "vendor/app.desktop".
    for (qsizetype dash = id.indexOf(u'-'); entry.isEmpty() && dash > 0; dash = id.indexOf(u'-', dash + 1)) {
        QString nested = id;
        nested[dash] = u'/';
        entry = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, nested);
    }
    return entry.isEmpty() ? QStringList() : DesktopCommand(DesktopEntryValue(entry, QStringLiteral("Exec")), fileName);
}

bool GridExportBackend::openInSpreadsheet(const QString& fileName)
{
    QStringList command = spreadsheetCommand(fileName);
    if (command.isEmpty()) {
        tellAbout(QStringLiteral("No spreadsheet program is installed."), fileName);
        return false;
    }
    const QString program = command.takeFirst();
    QString error;
    if (dialogs_->StartProgram(program, command, &error)) return true;
    tellAbout(QStringLiteral("The spreadsheet program cannot be started: %1.").arg(error), fileName);
    return false;
}

QString GridExportBackend::mailSubject(const QString& fileName) const
{
    if (!layout_.title.isEmpty()) return layout_.title;
    const QString name = QFileInfo(fileName).fileName();
    return layout_.programName.isEmpty() ? name : layout_.programName + QStringLiteral(": ") + name;
}

namespace {

// What the desktop's mail helper's exit code means, for the user.
QString MailHelperProblem(int code)
{
    switch (code) {
    case 1: return QStringLiteral("it did not understand the request");
    case 2: return QStringLiteral("it found no file to attach");
    case 3: return QStringLiteral("no mail program is set up on this desktop");
    case 4: return QStringLiteral("the mail program failed");
    case 5: return QStringLiteral("it was not allowed to read the file");
    default: return QStringLiteral("it ended with code %1").arg(code);
    }
}

} // namespace

bool GridExportBackend::runMailProgram(const QStringList& args, const QString& fileName)
{
    QString error;
    const int code = dialogs_->RunProgram(kMailProgram, args, &error);
    if (code == 0) return true;
    if (code < 0)
        tellAbout(QStringLiteral("The mail program cannot be started: %1.").arg(error), fileName);
    else
        tellAbout(QStringLiteral("The results could not be handed to a mail program: %1 (%2 exit code %3).")
                      .arg(MailHelperProblem(code), kMailProgram)
                      .arg(code),
                  fileName);
    return false;
}

bool GridExportBackend::mailAttachment(const QString& fileName)
{
    return runMailProgram({QStringLiteral("--subject"), mailSubject(fileName), QStringLiteral("--attach"), fileName},
                          fileName);
}

bool GridExportBackend::mailContent(const QString& fileName)
{
    const QFileInfo info(fileName);
    const QString suffix = info.suffix().toLower();
    QString body;
    bool attach = true;
    if (info.size() <= kMaxConvertedPage) {
        QFile file(fileName);
        if (!file.open(QIODevice::ReadOnly)) {
            tellAbout(QStringLiteral("The exported file cannot be read: %1.").arg(file.errorString()), fileName);
            return false;
        }
        const QByteArray bytes = file.readAll();
        if (suffix == QLatin1String("txt") || suffix == QLatin1String("csv")) {
            body = QString::fromUtf8(bytes);
            if (body.startsWith(QChar(0xFEFF))) body.remove(0, 1);
            attach = false;
        } else if (suffix.startsWith(QLatin1String("htm")) || suffix.startsWith(QLatin1String("mht"))) {
            const QString html = HtmlOfWebPage(bytes);
            if (!html.isEmpty()) {
                QTextDocument document;
                document.setHtml(html);
                body = document.toPlainText();
                attach = false;
            }
        }
    }
    if (body.toUtf8().size() > kMaxMailBody) {
        body.clear();
        attach = true;
    }
    if (attach) body = QStringLiteral("The results are in the attached file %1.").arg(info.fileName());
    QStringList args = {QStringLiteral("--subject"), mailSubject(fileName), QStringLiteral("--body"), body};
    if (attach) args << QStringLiteral("--attach") << fileName;
    return runMailProgram(args, fileName);
}

bool GridExportBackend::copyToFolder(const QString& fileName, int location)
{
    const auto where = static_cast<QStandardPaths::StandardLocation>(location);
    const QString folder = QStandardPaths::writableLocation(where);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        tellAbout(QStringLiteral("The folder %1 cannot be created.").arg(Quoted(folder)), fileName);
        return false;
    }
    const QFileInfo source(fileName);
    const QString stem = source.completeBaseName();
    const QString suffix = source.suffix().isEmpty() ? QString() : QLatin1Char('.') + source.suffix();
    QString target = folder + QLatin1Char('/') + source.fileName();
    for (int n = 2; QFileInfo::exists(target); ++n)
        target = folder + QLatin1Char('/') + QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);

    QFile file(fileName);
    QByteArray bytes;
    QString error;
    if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) error = file.errorString();
    }
    // A name chosen to be new: a link found there (one pointing nowhere
    // looks free) is not written through.
    if (error.isEmpty() && AtomicFileWriter::Replace(target, bytes, error)) {
        if (!quiet_ && dialogs_)
            dialogs_->Message(QStringLiteral("The exported file was saved as %1.").arg(Quoted(target)),
                              ExportDialogs::Severity::Information);
        return true;
    }
    tellAbout(QStringLiteral("The file cannot be copied to %1: %2").arg(Quoted(folder), error), fileName);
    return false;
}

QVariant GridExportBackend::SendTo(const QString& fileName, const QString& destination)
{
    if (!dialogs_) return false;
    if (fileName.isEmpty() || !QFileInfo(fileName).isFile()) {
        tell(QStringLiteral("There is no exported file to send: %1.").arg(Quoted(fileName)));
        return false;
    }
    const QString path = QFileInfo(fileName).absoluteFilePath();
    const QString key = destination.trimmed();
    // Keys may carry a prefix ("Shell:MyDocuments") or a program's folder.
    const QString bare = key.section(u':', -1).section(u'/', -1).section(u'\\', -1);
    if (Same(key, "MailContent")) return mailContent(path);
    if (key.contains(QLatin1String(".MAPIMAIL"), Qt::CaseInsensitive)) return mailAttachment(path);
    if (Same(bare, "MyDocuments")) return copyToFolder(path, QStandardPaths::DocumentsLocation);
    if (Same(bare, "Desktop")) return copyToFolder(path, QStandardPaths::DesktopLocation);
    if (Same(bare, "EXCEL.EXE")) return openInSpreadsheet(path);
    tellAbout(QStringLiteral("\"%1\" is not a destination files can be sent to.").arg(destination), path);
    return false;
}

} // namespace quarlo
