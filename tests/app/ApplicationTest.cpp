#include "app/Application.h"
#include "common/Registry.h"
#include "export/ExportEngine.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeScanWorld.h"
#include "support/QtPrinters.h"
#include "support/RecordingExportBackend.h"
#include "support/ScriptedPrompts.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;
using Answer = UserPrompts::Answer;

namespace {

class ApplicationTest : public ::testing::Test, protected FakeScanWorld {
protected:
    ApplicationTest() : app(list, settings, prompts) {}

    QString writeList(const QString& name, const QByteArray& content)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        return path;
    }

    ScriptedPrompts prompts;
    Application app;
};

} // namespace

TEST_F(ApplicationTest, NewListAsksNothingAndTheSavePromptNamesItAndYesSavesThroughTheDialog)
{
    app.FileNew();
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(list.Filename(), "New List");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(list.Changed());

    list.AddTarget("192.0.2.1");
    const QString target = dir.filePath("saved.BlackList");
    prompts.answers = {Answer::Yes};
    prompts.paths = {target};
    app.FileClose();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Do you want to save changes to New List ?");
    EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
    ASSERT_EQ(prompts.dialogs.size(), 1u);
    EXPECT_EQ(prompts.dialogs[0],
              "Save Address List as ...|Address List (*.BlackList)|*.BlackList|All Files (*.*)|*.*");
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_EQ(list.Filename(), ""); // closed afterwards
}

TEST_F(ApplicationTest, WhenTheWantedSaveDoesNotHappenTheCommandStops)
{
    const QString other = writeList("other.BlackList", "<AddressList><Address Target=\"192.0.2.9\"/></AddressList>");
    const struct {
        const char* name;
        std::function<void()> run;
    } commands[] = {
        {"FileNew", [&] { app.FileNew(); }},
        {"FileClose", [&] { app.FileClose(); }},
        {"FileOpen", [&] { app.FileOpen(other); }},
        {"ShowFileOpenDialog", [&] { app.ShowFileOpenDialog(); }},
    };
    app.FileNew();
    list.AddTarget("192.0.2.1");
    for (const auto& command : commands) {
        SCOPED_TRACE(command.name);
        prompts.dialogs.clear();
        prompts.answers = {Answer::Yes};
        prompts.paths = {std::nullopt, other}; // save dialog cancelled; an open dialog would get other
        command.run();
        EXPECT_EQ(prompts.dialogs.size(), 1u); // the save dialog only
        EXPECT_EQ(list.Filename(), "New List");
        EXPECT_EQ(list.Count(), 1);
        EXPECT_TRUE(list.Changed());
    }
}

TEST_F(ApplicationTest, FileDialogsStartInTheListsFolderElseInTheDocumentsFolder)
{
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty() || !QDir(documents).exists()) documents = QDir::homePath();
    const struct {
        QString filename;
        QString folder;
    } cases[] = {
        {"New List", documents},
        {dir.filePath("mine.BlackList"), dir.path()},
        {dir.filePath("gone/mine.BlackList"), documents},
        {"relative.BlackList", documents},
    };
    for (const auto& c : cases) {
        list.setFilename(c.filename);
        EXPECT_EQ(app.DialogFolder(), c.folder) << c.filename.toStdString();
    }
}

TEST_F(ApplicationTest, SavingNamesTheListEvenWhenItFailsButSaveAsDoesNotAndAsksBeforeReplacing)
{
    // A new list, in any letter case, goes through the dialog; Cancel keeps the name.
    list.setFilename("NEW list");
    list.AddTarget("192.0.2.1");
    EXPECT_FALSE(app.FileSave());
    EXPECT_EQ(prompts.dialogs.size(), 1u);
    EXPECT_EQ(list.Filename(), "NEW list");
    EXPECT_TRUE(list.Changed());

    // A name without an extension gets the list's, one with its own keeps it.
    prompts.paths = {dir.filePath("fresh"), dir.filePath("list.xml")};
    EXPECT_TRUE(app.ShowFileSaveDialog());
    EXPECT_EQ(list.Filename(), dir.filePath("fresh.BlackList"));
    EXPECT_TRUE(QFile::exists(list.Filename()));
    EXPECT_TRUE(app.ShowFileSaveDialog());
    EXPECT_EQ(list.Filename(), dir.filePath("list.xml"));

    // An existing file: one question; No goes back to the dialog, Yes replaces it.
    const QString taken = writeList("taken.BlackList", "kept");
    const auto content = [&] {
        QFile f(taken);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    list.AddTarget("192.0.2.2");
    prompts.paths = {dir.filePath("taken")}; // then Cancel
    EXPECT_FALSE(app.ShowFileSaveDialog());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "taken.BlackList already exists.\nDo you want to replace it?");
    EXPECT_EQ(prompts.dialogs.size(), 5u);
    EXPECT_EQ(content(), "kept");
    prompts.paths = {dir.filePath("taken")};
    prompts.answers = {Answer::Yes};
    EXPECT_TRUE(app.ShowFileSaveDialog());
    EXPECT_TRUE(content().contains("192.0.2.2"));
    EXPECT_EQ(list.Filename(), taken);
    prompts.messages.clear();

    // A list with a name saves silently, even when that fails.
    const QString bad = dir.filePath("missing/dir/b.BlackList");
    EXPECT_FALSE(app.FileSave(bad));
    EXPECT_EQ(list.Filename(), bad);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(app.FileSave(dir.filePath("c.BlackList")));
    EXPECT_FALSE(list.Changed());

    // Save As that fails keeps the name the list had.
    list.AddTarget("192.0.2.3");
    prompts.paths = {bad};
    EXPECT_FALSE(app.ShowFileSaveDialog());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("Cannot save Address List to "));
    EXPECT_EQ(list.Filename(), dir.filePath("c.BlackList"));
    EXPECT_TRUE(list.Changed());
}

TEST_F(ApplicationTest, OpenDialogLoadsCancelKeepsAndFailureNamesTheFile)
{
    const QString good = writeList("good.BlackList", "<AddressList><Address Target=\"192.0.2.9\"/></AddressList>");
    const QString bad = writeList("bad.BlackList", "<AddressList><Address");
    list.setFilename(dir.filePath("current.BlackList"));
    list.AddTarget("keep.example");

    // Cancel: the list stays, whatever the save prompt was answered.
    prompts.answers = {Answer::No};
    app.ShowFileOpenDialog();
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Filename(), dir.filePath("current.BlackList"));

    prompts.answers = {Answer::No};
    prompts.paths = {bad};
    app.ShowFileOpenDialog();
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_TRUE(prompts.messages[2].text.startsWith("Cannot load address list from bad.BlackList\n\n"))
        << prompts.messages[2].text.toStdString();
    EXPECT_EQ(list.Item(1)->Key(), "keep.example");

    prompts.answers = {Answer::No};
    prompts.paths = {good};
    app.ShowFileOpenDialog();
    EXPECT_EQ(list.Filename(), good);
    EXPECT_EQ(list.Item(1)->Key(), "192.0.2.9");
    EXPECT_FALSE(list.Changed());

    // FileOpen reports nothing itself.
    const size_t shown = prompts.messages.size();
    app.FileOpen(bad);
    EXPECT_EQ(prompts.messages.size(), shown);
    EXPECT_FALSE(list.LastError().isEmpty());
}

// Files of many addresses: the window asks above kConfirmAbove and refuses
// beyond the limit; an automation client is asked nothing. FileOpen returns
// when the load ends; cancelled midway, the list is the one it replaced.
// Entries that were not loaded are shown.
TEST_F(ApplicationTest, LargeFilesAreConfirmedTooLargeOnesRefusedAndCancelledOnesKeepTheList)
{
    const QString small = writeList("small.BlackList", "<AddressList><Address Target=\"192.0.2.0/24\"/></AddressList>");
    const QString big = writeList("big.BlackList",
                                  "<AddressList><Address Target=\"10.0.0.0/16\"/>"
                                  "<Address Target=\"10.0.0.0/8\"/></AddressList>");
    QByteArray ranges = "<AddressList>";
    for (int n = 0; n < 256; ++n) ranges += QString("<Address Target=\"10.%1.0.0/16\"/>").arg(n).toUtf8();
    const QString huge = writeList("huge.BlackList", ranges + "</AddressList>");

    app.OpenList(small);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(list.Count(), 256);

    prompts.answers = {Answer::No};
    app.OpenList(big);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Load all 65,536 addresses of big.BlackList?");
    EXPECT_EQ(prompts.messages[0].buttons, UserPrompts::Buttons::YesNo);
    EXPECT_EQ(list.Filename(), small);
    EXPECT_EQ(list.Count(), 256);
    EXPECT_FALSE(list.Loading());

    list.setChanged(false);
    const auto cancel = QObject::connect(&list, &Addresslist::LoadProgress, &list, &Addresslist::CancelLoad);
    app.FileOpen(big);
    QObject::disconnect(cancel);
    EXPECT_FALSE(list.Loading());
    EXPECT_EQ(list.Filename(), small);
    EXPECT_EQ(list.Count(), 256);

    prompts.answers = {Answer::Yes};
    app.OpenList(big);
    EXPECT_EQ(list.Filename(), big);
    EXPECT_EQ(list.Count(), 65536);
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_TRUE(prompts.messages[2].text.startsWith("These entries were not loaded:\n\n"));
    EXPECT_TRUE(prompts.messages[2].text.contains("larger than a /16")) << prompts.messages[2].text.toStdString();

    prompts.messages.clear();
    app.OpenList(huge);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text,
              "Cannot load address list from huge.BlackList\n\nIt stands for 16,777,216 "
              "addresses; a list holds at most 100,000. Split it into smaller lists.");
    EXPECT_EQ(list.Filename(), big);
    EXPECT_EQ(list.Count(), 65536);

    prompts.messages.clear();
    app.FileOpen(huge);
    EXPECT_TRUE(list.LastError().contains("16,777,216"));
    app.FileOpen(small);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(list.Filename(), small);
}

TEST_F(ApplicationTest, PrintHandsTheGridToTheEngineUnderTheListTitle)
{
    EngineLog log;
    ExportEngine engine([&](QString*) { return std::make_unique<RecordingBackend>(log); });
    app.setExports(engine);
    // Without a window there is no grid: nothing is printed.
    app.PrintList();
    EXPECT_TRUE(log.exports.empty());

    app.setGridSource([] { return QVariant(QStringLiteral("the grid")); });
    engine.setOrientation(2);
    list.setFilename("/lists/Mail servers.BlackList");
    app.PrintPreview();
    app.PrintList();
    ASSERT_EQ(log.exports.size(), 2u);
    EXPECT_EQ(QStringList({log.exports[0].method, log.exports[1].method}), QStringList({"PREVIEW", "PRINTER"}));
    for (const auto& done : log.exports) {
        EXPECT_EQ(done.item.toString(), "the grid");
        EXPECT_TRUE(done.settings.value("Title").toString().startsWith(
            QString::fromUtf8("Mail servers \u2014 Blacklist scan results, ")))
            << done.settings.value("Title").toString().toStdString();
        EXPECT_TRUE(done.settings.value("Title").toString().endsWith(", 0 targets against 0 lists"));
        EXPECT_EQ(done.settings.value("Orientation").toInt(), 1);
    }

    // With no printer installed (what the user is told: ExportEngineTest)
    // nothing is printed; preview still works.
    engine.setMessageSink([](const QString&, const QString&, ExportEngine::Icon) {});
    engine.setPrinterSource([] { return QStringList(); });
    app.PrintList();
    EXPECT_EQ(log.exports.size(), 2u);
    app.PrintPreview();
    EXPECT_EQ(log.exports.size(), 3u);

    // Offered to print to PDF instead, the user says yes: the report is
    // exported as a PDF named like the list, with its title.
    engine.setQuestionSink([](const QString&, const QString&) { return true; });
    app.PrintList();
    ASSERT_EQ(log.exports.size(), 4u);
    EXPECT_EQ(log.exports[3].method, "PDF");
    EXPECT_EQ(log.exports[3].settings.value("TargetFilename").toString(), "/lists/Mail servers.BlackList");
    EXPECT_TRUE(log.exports[3].settings.value("Title").toString().startsWith("Mail servers"));
    engine.setQuestionSink([](const QString&, const QString&) { return false; });
    app.PrintList();
    EXPECT_EQ(log.exports.size(), 4u);
}
