#include "export/GridExportBackend.h"
#include "export/ExportDialogs.h"
#include "export/ExportEngine.h"
#include "support/EnvGuard.h"
#include "support/QtPrinters.h"
#include "support/SnapshotRows.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <algorithm>
#include <deque>
#include <gtest/gtest.h>
#include <optional>

using namespace quarlo;

namespace {

// Answers the engine's dialogs from a script and records every request.
class ScriptedExportDialogs : public ExportDialogs {
public:
    struct Shown {
        QString text;
        Severity severity;
    };

    QString SaveFileName(const QString& caption, const QString& suggestedPath, const QString& filter) override
    {
        saveAsked << caption + "|" + suggestedPath + "|" + filter;
        if (saveAnswers.empty()) return suggestedPath;
        const QString answer = saveAnswers.front();
        saveAnswers.pop_front();
        return answer;
    }
    bool ChooseMethod(const QString&, const QList<ExportBackend::Choice>&, QString& inOut) override
    {
        chooseAsked << inOut;
        if (!chooseAnswer) return false;
        inOut = *chooseAnswer;
        return true;
    }
    bool SetUpPrinter(QPrinter& printer) override
    {
        printerDialogs++;
        orientation = printer.pageLayout().orientation();
        printToFile(printer);
        return acceptPrinter;
    }
    bool Preview(QPrinter& printer, const std::function<void(QPrinter*)>& paint) override
    {
        previews++;
        printToFile(printer);
        paint(&printer);
        return true;
    }
    void Message(const QString& text, Severity severity) override { messages.push_back({text, severity}); }
    bool StartProgram(const QString& program, const QStringList& args, QString* error) override
    {
        started.push_back(QStringList{program} + args);
        if (!startError.isEmpty()) *error = startError;
        return startError.isEmpty();
    }
    QString RunAndRead(const QString& program, const QStringList&) override { return outputs.value(program); }
    int RunProgram(const QString& program, const QStringList& args, QString* error) override
    {
        if (!StartProgram(program, args, error)) return -1;
        return exitCode;
    }
    void FileProblem(const QString& text, const QString& path) override
    {
        messages.push_back({text, Severity::Warning});
        problemPaths << path;
    }

    QString messageTexts() const
    {
        QStringList all;
        for (const auto& m : messages) all << m.text;
        return all.join("\n");
    }

    std::deque<QString> saveAnswers;     // empty: accept the suggestion; "" cancels
    std::optional<QString> chooseAnswer; // nullopt cancels
    bool acceptPrinter = true;
    QString printFile; // where the printer's pages go
    QString startError;
    int exitCode = 0; // what a program run to its verdict ends with
    QMap<QString, QString> outputs;
    QStringList problemPaths; // the files a "Show in folder" message was about

    QStringList saveAsked, chooseAsked;
    int printerDialogs = 0, previews = 0;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    std::vector<QStringList> started; // each program with its arguments
    std::vector<Shown> messages;

private:
    void printToFile(QPrinter& printer)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printFile);
    }
};

TableSnapshotPtr SmallTable()
{
    auto t = std::make_shared<TableSnapshot>();
    t->headers = {"Target", "Status", "Text"};
    t->columnWidths = {200, 100, 300};
    t->rows.push_back(textRow(0, {"127.0.0.2", "Listed", ""}, true, true));
    t->rows.push_back(textRow(1, {"zen.example", "Listed", "https://example.org/?q=1&r=<2>"}, true, true));
    t->rows.push_back(textRow(2, {"127.0.0.4", "Spam source", "See https://example.org"}));
    return t;
}

QVariant TableItem()
{
    return QVariant::fromValue(SmallTable());
}

struct Fixture {
    QTemporaryDir dir;
    std::shared_ptr<ScriptedExportDialogs> dialogs = std::make_shared<ScriptedExportDialogs>();
    GridExportBackend backend{dialogs};

    Fixture() { dialogs->printFile = dir.filePath("printed.pdf"); }
    // Settings of an export that shows no dialog.
    void unattended(const QString& target)
    {
        set({{"TargetFilename", target}, {"SkipFilenameSelection", true}, {"Quiet", true}});
    }
    // Properties in the order given.
    void set(const QList<std::pair<QString, QVariant>>& properties)
    {
        for (const auto& [name, value] : properties) backend.SetProperty(name, value);
    }
    QStringList entries(const QString& sub = {}) const
    {
        return QDir(dir.filePath(sub)).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace

TEST(GridExportBackendProperties, SettingsInAnyCaseReachTheLayout)
{
    Fixture f;
    EXPECT_TRUE(f.backend.SetProperty("SKIPFILENAMESELECTION", true));
    EXPECT_FALSE(f.backend.SetProperty("Colour", "red"));
    f.backend.SetProperty("title", "Scan");
    f.backend.SetProperty("Orientation", 2);
    EXPECT_EQ(QVariantList({f.backend.layout().title, f.backend.layout().orientation}), QVariantList({"Scan", 2}));

    // The menus: formats, destinations.
    const auto keys = [](const auto& choices) {
        QStringList out;
        for (const auto& c : choices) out << c.key;
        return out.join(' ');
    };
    EXPECT_EQ(keys(f.backend.ExportMethods()), "HTML MHTML Text CDF XLS EXCEL PDF");
    EXPECT_EQ(keys(f.backend.SentToMethods()), "MailContent Mail.MAPIMAIL MyDocuments Desktop EXCEL.EXE");
}

TEST(GridExportBackendFiles, EachFormatReachesItsWriter)
{
    struct Case {
        QString method, extension;
        QByteArray start;
    };
    const Case cases[] = {
        {"HTML", ".html", "<!DOCTYPE"}, {"MHTML", ".mht", "MIME-Version"},
        {"TXT", ".txt", "Target"},      {"CSV", ".csv", "\xEF\xBB\xBF"},
        {"XLS", ".xlsx", "PK"},         {"pdf", ".pdf", "%PDF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method.toStdString());
        Fixture f;
        // A known extension is replaced, an unknown suffix kept; an old
        // file of that name is replaced.
        const QString expected = f.dir.filePath("results.v2" + c.extension);
        spit(expected, "old contents");
        f.unattended(f.dir.filePath("results.v2.txt"));
        ASSERT_TRUE(f.backend.Export(TableItem(), c.method, "/nonexistent"));
        EXPECT_EQ(f.backend.TargetFilename(), expected);
        const QByteArray bytes = slurp(expected);
        EXPECT_TRUE(bytes.contains(c.start) && bytes.indexOf(c.start) <= 64) << bytes.left(80).toStdString();
        EXPECT_EQ(f.entries(), QStringList{"results.v2" + c.extension});
        EXPECT_TRUE(f.dialogs->saveAsked.isEmpty() && f.dialogs->chooseAsked.isEmpty() && f.dialogs->messages.empty());
    }
}

// Where the file goes: a relative name into InitDir, else the program's
// folder; no name is "Export"; the save dialog suggests the name with the
// format's extension instead of a list's own, and adds it to the answer.
// FileFormat wins over the method and is what the format choice preselects.
TEST(GridExportBackendFiles, TargetFolderNameAndFormat)
{
    const struct {
        const char* what;
        QString target; // "~" stands for the test's folder
        bool skipDialog, initDir;
        QString fileFormat, method;
        std::optional<QString> saveAnswer; // nullopt: take the suggestion; "" cancels
        QString suggested, chooseAsked, written;
    } cases[] = {
        {"program's folder", "out", true, false, "", "HTML", {}, "", "", "~/out.html"},
        {"InitDir", "", true, true, "", "CSV", {}, "", "", "~/init/Export.csv"},
        {"picked in the dialog", "scan", false, false, "", "HTML", "~/picked", "~/scan.html", "", "~/picked.html"},
        {"list's extension", "Sample.BlackList", false, false, "", "HTML", {}, "~/Sample.html", "", "~/Sample.html"},
        {"cancelled", "~/scan", false, false, "", "PDF", "", "~/scan.pdf", "", ""},
        {"FileFormat", "~/r", true, false, "csv", "HTML", {}, "", "CDF", "~/r.pdf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fixture f;
        ASSERT_TRUE(QDir(f.dir.path()).mkdir("init"));
        const auto here = [&](QString text) { return text.replace('~', f.dir.path()); };
        f.set({{"TargetFilename", here(c.target)}, {"SkipFilenameSelection", c.skipDialog}});
        if (c.initDir) f.backend.SetProperty("InitDir", here("~/init"));
        if (!c.fileFormat.isEmpty()) f.set({{"FileFormat", c.fileFormat}, {"SelectMethod", true}});
        if (c.saveAnswer) f.dialogs->saveAnswers = {here(*c.saveAnswer)};
        f.dialogs->chooseAnswer = "PDF";
        EXPECT_EQ(f.backend.Export(TableItem(), c.method, f.dir.path()), !c.written.isEmpty());
        EXPECT_EQ(f.dialogs->saveAsked.value(0).split('|').value(1), here(c.suggested));
        EXPECT_EQ(f.dialogs->chooseAsked.join(','), c.chooseAsked);
        EXPECT_TRUE(f.dialogs->messages.empty());
        if (c.written.isEmpty()) {
            EXPECT_EQ(f.entries(), QStringList{"init"});
        } else {
            EXPECT_EQ(f.backend.TargetFilename(), here(c.written));
            EXPECT_GT(QFileInfo(here(c.written)).size(), 0);
        }
    }
}

TEST(GridExportBackendFiles, BadInputIsRefusedWithAMessage)
{
    Fixture f;
    f.set({{"TargetFilename", f.dir.filePath("r")}, {"SkipFilenameSelection", true}});
    EXPECT_FALSE(f.backend.Export(TableItem(), "GIF", f.dir.path()));
    EXPECT_TRUE(f.dialogs->messageTexts().contains("GIF"));
    EXPECT_FALSE(f.backend.Export(QVariant(), "HTML", f.dir.path()));
    EXPECT_FALSE(f.backend.Export(QVariant::fromValue(TableSnapshotPtr()), "HTML", f.dir.path()));
    ASSERT_EQ(f.dialogs->messages.size(), 3u);
    EXPECT_EQ(f.dialogs->messages[2].text, "There is no table to export.");
    EXPECT_TRUE(f.entries().isEmpty());

    f.backend.SetProperty("Quiet", true);
    EXPECT_FALSE(f.backend.Export(QVariant(), "HTML", f.dir.path()));
    EXPECT_EQ(f.dialogs->messages.size(), 3u);
}

TEST(GridExportBackendFiles, FailedWriteKeepsOldFileAndLeavesNoTemporary)
{
    // Root can write into a read-only folder, so the unwritable folder is
    // a path under a regular file.
    for (const QString method : {"HTML", "XLS", "PDF"}) {
        SCOPED_TRACE(method.toStdString());
        Fixture f;
        spit(f.dir.filePath("plain"), "old");
        f.set({{"TargetFilename", f.dir.filePath("plain/x")}, {"SkipFilenameSelection", true}});
        EXPECT_FALSE(f.backend.Export(TableItem(), method, f.dir.path()));
        EXPECT_TRUE(f.dialogs->messageTexts().contains("Not a directory")) << f.dialogs->messageTexts().toStdString();
        EXPECT_EQ(f.entries(), QStringList{"plain"});
        EXPECT_EQ(slurp(f.dir.filePath("plain")), "old");
    }
    // A folder in the target's place: refused before the workbook is
    // built, and no temporary is left.
    Fixture g;
    ASSERT_TRUE(QDir(g.dir.path()).mkdir("book.xlsx"));
    g.unattended(g.dir.filePath("book"));
    g.backend.SetProperty("Quiet", false);
    EXPECT_FALSE(g.backend.Export(TableItem(), "XLS", g.dir.path()));
    EXPECT_EQ(g.entries(), QStringList{"book.xlsx"});
    EXPECT_TRUE(QFileInfo(g.dir.filePath("book.xlsx")).isDir());
    EXPECT_TRUE(g.dialogs->messageTexts().contains("It is a directory, not a file"))
        << g.dialogs->messageTexts().toStdString();
}

TEST(GridExportBackendPrint, PrinterAndPreviewPaintTheTable)
{
    Fixture f;
    f.set({{"TargetFilename", "/kept/as/set"}, {"Orientation", 2}});
    ASSERT_TRUE(f.backend.Export(TableItem(), "PRINTER", f.dir.path()));
    EXPECT_EQ(f.dialogs->printerDialogs, 1);
    EXPECT_EQ(f.dialogs->orientation, QPageLayout::Landscape);
    EXPECT_TRUE(slurp(f.dialogs->printFile).startsWith("%PDF"));
    EXPECT_EQ(f.backend.TargetFilename(), "/kept/as/set");

    QFile::remove(f.dialogs->printFile);
    f.dialogs->acceptPrinter = false;
    EXPECT_FALSE(f.backend.Export(TableItem(), "printer", f.dir.path()));
    EXPECT_FALSE(QFileInfo::exists(f.dialogs->printFile));

    // The table went to the printer, and previewed. The pages themselves
    // are the PDF writer's tests.
    f.dialogs->acceptPrinter = true;
    EXPECT_TRUE(f.backend.Export(TableItem(), "PREVIEW", f.dir.path()));
    EXPECT_EQ(f.dialogs->previews, 1);
    EXPECT_TRUE(slurp(f.dialogs->printFile).startsWith("%PDF"));
    EXPECT_TRUE(f.dialogs->messages.empty());
}

TEST(GridExportBackendSend, MailDestinationsStartTheMailProgram)
{
    Fixture f;
    f.unattended(f.dir.filePath("Export"));
    f.backend.SetProperty("Title", "Scan of 127.0.0.2");
    ASSERT_TRUE(f.backend.Export(TableItem(), "MHTML", f.dir.path()));
    const QString file = f.backend.TargetFilename();

    EXPECT_EQ(f.backend.SendTo(file, "Outlook.MapiMail"), true);
    EXPECT_EQ(f.dialogs->started,
              (std::vector<QStringList>{{"xdg-email", "--subject", "Scan of 127.0.0.2", "--attach", file}}));

    // The body is the table as plain text, decoded from the web archive.
    EXPECT_EQ(f.backend.SendTo(file, "MailContent"), true);
    ASSERT_EQ(f.dialogs->started.size(), 2u);
    const QStringList args = f.dialogs->started[1].mid(1);
    ASSERT_EQ(args.size(), 4);
    EXPECT_EQ(args[2], "--body");
    EXPECT_TRUE(args[3].contains("Spam source") && args[3].contains("https://example.org/?q=1&r=<2>"))
        << args[3].toStdString();
    EXPECT_FALSE(args[3].contains("<td") || args[3].contains("=3D"));

    // A body too long for a command line goes as an attachment.
    spit(f.dir.filePath("long.txt"), QByteArray(GridExportBackend::kMaxMailBody + 1, 'x'));
    EXPECT_EQ(f.backend.SendTo(f.dir.filePath("long.txt"), "MailContent"), true);
    const QStringList longArgs = f.dialogs->started[2].mid(1);
    EXPECT_EQ(longArgs.mid(4), (QStringList{"--attach", f.dir.filePath("long.txt")}));
    EXPECT_LT(longArgs[3].size(), 200);
}

// A helper that cannot start, an unknown destination, a missing file, and
// xdg-email ending with 3 (no mail program) are told even when quiet; the
// mail failures name the file, so its folder can be shown.
TEST(GridExportBackendSend, FailuresAreToldEvenWhenQuiet)
{
    Fixture f;
    const QString file = f.dir.filePath("Sample.txt");
    spit(file, "Target  Status\n");
    f.backend.SetProperty("Quiet", true);
    f.dialogs->startError = "xdg-email is not installed";
    EXPECT_EQ(f.backend.SendTo(file, "Mail.MAPIMAIL"), false);
    EXPECT_EQ(f.backend.SendTo(file, "Fax"), false);
    EXPECT_EQ(f.backend.SendTo(f.dir.filePath("gone.html"), "MyDocuments"), false);
    const QString told = f.dialogs->messageTexts();
    ASSERT_EQ(f.dialogs->messages.size(), 3u) << told.toStdString();
    for (const QString& part : {QString("xdg-email is not installed"), file, QString("Fax"), QString("gone.html")})
        EXPECT_TRUE(told.contains(part)) << part.toStdString();

    f.dialogs->messages.clear();
    f.dialogs->problemPaths.clear();
    f.dialogs->startError.clear();
    f.dialogs->exitCode = 3;
    EXPECT_EQ(f.backend.SendTo(file, "Mail.MAPIMAIL"), false);
    EXPECT_EQ(f.backend.SendTo(file, "MailContent"), false);
    ASSERT_EQ(f.dialogs->messages.size(), 2u);
    for (const auto& shown : f.dialogs->messages)
        EXPECT_TRUE(shown.text.contains("no mail program") && shown.text.contains(file)) << shown.text.toStdString();
    EXPECT_EQ(f.dialogs->problemPaths, QStringList({file, file}));
    EXPECT_TRUE(QFileInfo::exists(file));

    // A helper that hands over and keeps running (or ends with 0) is success.
    f.dialogs->exitCode = 0;
    EXPECT_EQ(f.backend.SendTo(file, "Mail.MAPIMAIL"), true);
    EXPECT_EQ(f.dialogs->messages.size(), 2u);
}

TEST(GridExportBackendSend, FolderCopiesTakeAFreeName)
{
    Fixture f;
    QTemporaryDir home;
    EnvGuard env;
    env.set("HOME", home.path().toUtf8());
    env.set("XDG_CONFIG_HOME", home.filePath(".config").toUtf8());
    const QString file = f.dir.filePath("Export.html");
    spit(file, "<html>exported</html>");

    for (const char* destination : {"MyDocuments", "MyDocuments", "Desktop"})
        EXPECT_EQ(f.backend.SendTo(file, destination), true);
    for (const char* copy : {"Documents/Export.html", "Documents/Export (2).html", "Desktop/Export.html"})
        EXPECT_EQ(slurp(home.filePath(copy)), "<html>exported</html>") << copy;
    ASSERT_EQ(f.dialogs->messages.size(), 3u);
    EXPECT_EQ(f.dialogs->messages[1].severity, ExportDialogs::Severity::Information);
    EXPECT_TRUE(f.dialogs->messages[1].text.contains(home.filePath("Documents/Export (2).html")));

    f.backend.SetProperty("Quiet", true);
    EXPECT_EQ(f.backend.SendTo(file, "Desktop"), true);
    EXPECT_TRUE(QFileInfo::exists(home.filePath("Desktop/Export (2).html")));
    EXPECT_EQ(f.dialogs->messages.size(), 3u);
}

TEST(GridExportBackendSend, SpreadsheetProgramFromTheDesktopDefault)
{
    Fixture f;
    QTemporaryDir data;
    EnvGuard env;
    env.set("XDG_DATA_HOME", data.path().toUtf8());
    env.set("XDG_DATA_DIRS", data.filePath("none").toUtf8());
    ASSERT_TRUE(QDir(data.path()).mkpath("applications/vendor"));
    spit(data.filePath("applications/vendor/calc.desktop"),
         "[Desktop Action new]\nExec=wrong\n[Desktop Entry]\nName=Calc\n"
         "Exec=\"/opt/my calc/bin/calc\" --calc %U %i\n");
    const QString file = f.dir.filePath("r.xlsx");
    spit(file, "PK");

    f.dialogs->outputs["xdg-mime"] = "vendor-calc.desktop\n";
    EXPECT_EQ(f.backend.SendTo(file, "EXCEL.EXE"), true);
    EXPECT_EQ(f.dialogs->started, (std::vector<QStringList>{{"/opt/my calc/bin/calc", "--calc", file}}));

    f.dialogs->outputs.clear();
    f.backend.SetProperty("Quiet", true);
    EXPECT_EQ(f.backend.SendTo(file, "EXCEL.EXE"), false);
    const QString told = f.dialogs->messageTexts(); // even when quiet
    EXPECT_TRUE(told.startsWith("No spreadsheet program is installed.") && told.contains(file)) << told.toStdString();
}

TEST(GridExportBackendSend, DesktopExecLines)
{
    const std::tuple<QString, QStringList> cases[] = {
        {"calc %f", {"calc", "/f.xlsx"}},
        {"calc", {"calc", "/f.xlsx"}},
        {"calc --open=%u --name %c 100%%", {"calc", "--open=/f.xlsx", "--name", "100%"}},
        {"\"a b\" \"x\\\"y\" %F %F", {"a b", "x\"y", "/f.xlsx"}},
        {"", {}},
    };
    for (const auto& [exec, expected] : cases)
        EXPECT_EQ(GridExportBackend::DesktopCommand(exec, "/f.xlsx"), expected) << exec.toStdString();
}

TEST(GridExportBackendEndToEnd, ExportAndSendThroughTheAdapter)
{
    QTemporaryDir programDir, listDir, temp;
    EnvGuard env;
    env.set("TMPDIR", temp.path().toUtf8());
    auto dialogs = std::make_shared<ScriptedExportDialogs>();
    ExportEngine engine(GridExportBackend::Factory(dialogs));
    engine.setProgramDir(programDir.path());
    engine.setTitle("Results");
    // The window names the export after the list; a file made to be sent
    // still goes to a temporary folder, not beside the list.
    engine.setTargetFilename(listDir.filePath("Sample.BlackList"));
    engine.ExportAndSendTable(TableItem(), "Mail.MAPIMAIL");

    ASSERT_EQ(dialogs->started.size(), 1u);
    const QString written = dialogs->started[0].value(4);
    EXPECT_TRUE(written.startsWith(temp.filePath("quarlo-exports/"))) << written.toStdString();
    EXPECT_TRUE(written.endsWith("/Sample.mht")) << written.toStdString();
    EXPECT_TRUE(slurp(written).contains("MIME-Version"));
    EXPECT_EQ(dialogs->started[0].value(0), "xdg-email");
    // The message is named after the report, not the file.
    EXPECT_EQ(dialogs->started[0].mid(1), (QStringList{"--subject", "Results", "--attach", written}));
    EXPECT_TRUE(dialogs->saveAsked.isEmpty() && dialogs->chooseAsked.isEmpty() && dialogs->messages.empty());
    EXPECT_TRUE(QDir(listDir.path()).isEmpty());
    EXPECT_TRUE(QDir(programDir.path()).isEmpty());

    // The results as the message: the aligned text table, one row a line.
    engine.setTitle("Results again");
    engine.setTargetFilename(listDir.filePath("Sample.BlackList"));
    engine.ExportAndSendTable(TableItem(), "MailContent");
    ASSERT_EQ(dialogs->started.size(), 2u);
    const QStringList mail = dialogs->started[1];
    EXPECT_EQ(mail.mid(1, 2), (QStringList{"--subject", "Results again"}));
    ASSERT_EQ(mail.value(3), "--body");
    const QStringList lines = mail.value(4).split('\n');
    const auto row =
        std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.contains("Spam source"); });
    ASSERT_NE(row, lines.end()) << mail.value(4).toStdString();
    EXPECT_TRUE(row->contains("127.0.0.4") && row->contains("See https://example.org")) << row->toStdString();
    const auto header =
        std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("Target"); });
    ASSERT_NE(header, lines.end());
    EXPECT_EQ(row->indexOf("Spam source"), header->indexOf("Status")) << "columns line up";
    EXPECT_TRUE(QDir(listDir.path()).isEmpty());

    // "Open in the spreadsheet program" writes a fresh temporary workbook.
    engine.setSkipFilenameSelection(true);
    EXPECT_TRUE(engine.ExportTable(TableItem(), "EXCEL"));
    const QString book = engine.TargetFilename();
    EXPECT_TRUE(book.startsWith(temp.filePath("quarlo-exports/"))) << book.toStdString();
    EXPECT_TRUE(slurp(book).startsWith("PK"));
    ASSERT_EQ(dialogs->messages.size(), 1u); // no spreadsheet program in this script
    EXPECT_TRUE(dialogs->messages[0].text.contains(book));

    EXPECT_FALSE(GridExportBackend::Factory(nullptr)(nullptr));
}
