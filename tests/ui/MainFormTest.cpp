#include "app/Application.h"
#include "common/Registry.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeScanWorld.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"
#include "ui/MainForm.h"
#include "ui/ResultsTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace quarlo;
using Answer = UserPrompts::Answer;

namespace {

class MainFormTest : public ::testing::Test, protected FakeScanWorld {
protected:
    MainFormTest() : app(list, settings, prompts)
    {
        settings.BlacklistServers().Add(makeServer("a.test", true, {{"127.0.0.2", "A listed"}}, false, "A BL"));
        settings.BlacklistServers().Add(makeServer("b.test", true, {{"127.0.0.2", "B listed"}}, false, "B BL"));
        form = std::make_unique<MainForm>(MainForm::Services{app, list, settings, dns, registry, prompts,
                                                             [] { return std::make_unique<FakeDirectDns>(); },
                                                             dir.path(), QStringLiteral("quarlo")});
        list.setTickInterval(10);
    }

    bool enabled(const char* id) const { return form->Tool(id)->isEnabled(); }
    QAbstractButton* button(const char* name) const { return form->findChild<QAbstractButton*>(name); }
    bool menuVisible(const char* id) const { return form->findChild<QMenu*>(id)->menuAction()->isVisible(); }

    ScriptedPrompts prompts;
    Application app;
    std::unique_ptr<MainForm> form;
};

} // namespace

TEST_F(MainFormTest, WithoutAListOnlyFileHelpAndWebCommandsWork)
{
    EXPECT_EQ(form->windowTitle(), "Quarlo");
    EXPECT_TRUE(form->StartPageShown());
    for (const char* id : {"Main:New", "Main:Open", "Main:Settings", "Main:Exit", "Help:About", "Web:FAQ"})
        EXPECT_TRUE(enabled(id)) << id;
    for (const char* id : {"Main:Save", "Main:SaveAs", "Main:Close", "Main:Print", "Main:PrintPreview", "Main:Publish",
                           "Main:Scan", "Main:StopScan", "Edit:Add", "Edit:Copy", "Export:PDF"})
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_FALSE(menuVisible("Main:EditMenu"));
    EXPECT_FALSE(menuVisible("Main:AddressMenu"));
    EXPECT_TRUE(button("cmdNew")->isEnabled());
    EXPECT_FALSE(button("cmdAddServers")->isEnabled());
    EXPECT_FALSE(button("cmdScan")->isEnabled());
    EXPECT_FALSE(button("cmdStop")->isEnabled());
    EXPECT_EQ(form->OutstandingText(), "0");
}

TEST_F(MainFormTest, TitleAndCommandsFollowTheList)
{
    form->RunTool("Main:New");
    // The grid redraws on the list's NewFile while the emptied list still
    // counts as changed; the flag is cleared afterwards without an event.
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List *]");
    EXPECT_FALSE(list.Changed());
    EXPECT_FALSE(form->StartPageShown());
    EXPECT_TRUE(menuVisible("Main:EditMenu"));
    // An open list without addresses: the menu entry works, the button not.
    EXPECT_TRUE(enabled("Main:Scan"));
    EXPECT_FALSE(button("cmdScan")->isEnabled());
    EXPECT_TRUE(button("cmdAddServers")->isEnabled());

    list.AddTarget("192.0.2.1");
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List *]");
    EXPECT_TRUE(button("cmdScan")->isEnabled());

    list.setFilename("C:\\Lists\\Relays.BlackList");
    form->SetupForm();
    EXPECT_EQ(form->windowTitle(), "Quarlo [Relays *]");

    form->RunTool("Help:QuickStart"); // closes the list, start page again
    EXPECT_EQ(form->windowTitle(), "Quarlo");
    EXPECT_TRUE(form->StartPageShown());
}

TEST_F(MainFormTest, ScanningStateAndCompletionMessage)
{
    form->RunTool("Main:New");
    for (int i = 0; i < 130; ++i) list.AddTarget(QString("192.0.2.%1").arg(i));
    button("cmdScan")->click();
    EXPECT_EQ(form->StatusText(), "Scanning Blacklist servers ...");
    EXPECT_FALSE(button("cmdScan")->isEnabled());
    EXPECT_FALSE(button("cmdNew")->isEnabled());
    EXPECT_FALSE(button("cmdAddServers")->isEnabled());
    EXPECT_TRUE(button("cmdStop")->isEnabled());
    EXPECT_FALSE(enabled("Main:Scan"));
    EXPECT_TRUE(enabled("Main:StopScan"));

    list.Tick(); // 250 lookups pending
    ASSERT_GE(dns.PendingCount(), 250);
    dns.answer("192.0.2.0:BlacklistCheck:a.test", "127.0.0.2");
    // Rows redraw in batches during a scan.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Table().CellText("192.0.2.0", 1) != ""; }, 2000));
    EXPECT_EQ(form->OutstandingText(), QString::number(dns.PendingCount()));
    EXPECT_EQ(form->OutstandingPercent(), 100);
    EXPECT_EQ(form->Table().CellText("192.0.2.0", 1), "Blacklisted by 1 servers"); // all its queries are out
    EXPECT_EQ(form->Table().CellText("192.0.2.129", 1), "");                        // not reached yet

    dns.autoAnswer = [](const FakeDnsLookup::Request&) { return std::make_pair(QString(), 3); };
    for (auto pending = dns.pending; const auto& r : pending) dns.answer(r.tag, "", 3);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    ASSERT_TRUE(complete.wait(3000));
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan complete");
    EXPECT_EQ(prompts.messages.back().icon, UserPrompts::Icon::Information);
    EXPECT_EQ(form->StatusText(), "");
    EXPECT_EQ(form->Table().CellText("192.0.2.0", 1), "Blacklisted by 1 servers");
    EXPECT_EQ(form->Table().CellText("192.0.2.1", 1), "Not on any Blacklist");
    EXPECT_EQ(form->OutstandingText(), "0");

    button("cmdScan")->click();
    button("cmdStop")->click();
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan canceled");
    EXPECT_EQ(prompts.messages.back().icon, UserPrompts::Icon::Exclamation);
}

TEST_F(MainFormTest, DeleteRemovesAddressesFromTheListAndOtherRowsFromTheGridOnly)
{
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    list.AddTarget("192.0.2.2");
    list.StartScan();
    list.Tick();
    dns.answer("192.0.2.2:BlacklistCheck:a.test", "127.0.0.2");
    dns.answer("192.0.2.2:BlacklistCheck:b.test", "127.0.0.2");
    ResultsTable& table = form->Table();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table.IndexOfKey("192.0.2.2:b.test").isValid(); }, 2000));

    // The first address row and the second address's b.test server row.
    table.selectionModel()->select(table.IndexOfKey("192.0.2.1"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.selectionModel()->select(table.IndexOfKey("192.0.2.2:b.test"),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.setCurrentIndex(table.IndexOfKey("192.0.2.1"));
    table.selectionModel()->select(table.IndexOfKey("192.0.2.1"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QStringList selected = table.SelectedKeys();
    ASSERT_TRUE(selected.contains("192.0.2.1"));
    // Delete in column 0 removes; the rows between first and last selected
    // row go too, as the grid's range selection would have it.
    QTest::keyClick(&table, Qt::Key_Delete);
    EXPECT_EQ(list.Item("192.0.2.1"), nullptr);
    EXPECT_NE(list.Item("192.0.2.2"), nullptr);
    EXPECT_EQ(list.Item("192.0.2.2")->RespondingServers().Count(), 2); // results stay in the address

    // Select all + Delete empties the list.
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Delete");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(table.AddressRowCount(), 0);
}

TEST_F(MainFormTest, CopyPutsTheSelectionOnTheClipboard)
{
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    list.AddTarget("mail.example");
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Copy");
    const QString text = QApplication::clipboard()->text();
    EXPECT_TRUE(text.startsWith("192.0.2.1\t")) << text.toStdString();
    EXPECT_TRUE(text.contains("\r\nmail.example\t"));
}

TEST_F(MainFormTest, ClosePromptCancelKeepsEverythingAndYesSaves)
{
    form->show();
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    prompts.answers = {Answer::Cancel};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(prompts.messages.back().text, "Do you want to save changes to New List ?");
    EXPECT_EQ(prompts.messages.back().buttons, UserPrompts::Buttons::YesNoCancel);
    EXPECT_FALSE(QFile::exists(form->ToolbarLayoutPath()));

    prompts.answers = {Answer::Yes};
    prompts.paths = {dir.filePath("kept.BlackList")};
    EXPECT_TRUE(form->close());
    EXPECT_TRUE(QFile::exists(dir.filePath("kept.BlackList")));
    // The window's place and the bars' layout are kept for the next start.
    EXPECT_TRUE(QFile::exists(form->ToolbarLayoutPath()));
    const auto state = backend.read(RegistryRoot::CurrentUser, "Software\\Vantorel\\Vantorel Quarlo\\Settings",
                                    "WindowState_MainFormVantorel Quarlo");
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->text, "0");
}

TEST_F(MainFormTest, StartPageLinksRunCommands)
{
    QString started;
    form->setProgramStarter([&](const QString& program) { started = program; });
    auto* browser = form->findChild<QTextBrowser*>("WebBrowser");
    ASSERT_NE(browser, nullptr);
    emit browser->anchorClicked(QUrl("internal:Main:New"));
    EXPECT_EQ(list.Filename(), "New List");
    form->RunTool("Main:Close");
    emit browser->anchorClicked(QUrl("INTERNAL:EXECUTE?Program=quarlo-check"));
    EXPECT_EQ(started, "quarlo-check");
    QSignalSpy ran(form.get(), &MainForm::ToolRun);
    emit browser->anchorClicked(QUrl("internal:No:SuchTool"));
    EXPECT_EQ(ran.count(), 0);
}

TEST_F(MainFormTest, AddDialogConfirmedStartsAScanWhenAutoStartIsOn)
{
    form->RunTool("Main:New");
    form->setDialogRunner([](QDialog& dialog) {
        auto* grid = dialog.findChild<QTableWidget*>("Table");
        grid->item(0, 0)->setText("192.0.2.77");
        dialog.findChild<QPushButton*>("cmdOK")->click();
        return true;
    });
    QSignalSpy started(&list, &Addresslist::ScanStarted);
    button("cmdAddServers")->click();
    EXPECT_NE(list.Item("192.0.2.77"), nullptr);
    EXPECT_EQ(started.count(), 1);
    list.StopScan();

    settings.setAutoStartScan(false);
    form->setDialogRunner([](QDialog& dialog) {
        dialog.findChild<QCheckBox*>("chkAutoStartScan")->setChecked(false);
        dialog.findChild<QPushButton*>("cmdOK")->click();
        return true;
    });
    form->RunTool("Edit:Add");
    EXPECT_EQ(started.count(), 1);
}

TEST(MainFormLayout, OldLayoutFilesAreDiscarded)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quarlo.Toolbars");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("stale");
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2003, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
    f.close();
    MemoryRegistryBackend backend;
    Registry registry(backend);
    Settings settings(registry, dir.filePath("none.cfg"));
    FakeDnsLookup dns;
    Addresslist list(settings, dns, std::make_unique<FakeDirectDns>());
    ScriptedPrompts prompts;
    Application app(list, settings, prompts);
    MainForm form(MainForm::Services{app, list, settings, dns, registry, prompts,
                                     [] { return std::make_unique<FakeDirectDns>(); }, dir.path(), "quarlo"});
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(MainFormTest, SettingsCommandOpensTheSettingsDialog)
{
    QString shown;
    form->setDialogRunner([&](QDialog& dialog) {
        shown = dialog.windowTitle();
        return false;
    });
    form->RunTool("Main:Settings");
    EXPECT_EQ(shown, "Quarlo Settings");
}

TEST_F(MainFormTest, HelpAndWebCommandsOpenTheirPagesAndDialogs)
{
    std::vector<QUrl> opened;
    QStringList dialogs;
    form->setUrlOpener([&](const QUrl& url) { opened.push_back(url); });
    form->setDialogRunner([&](QDialog& dialog) {
        dialogs << dialog.metaObject()->className();
        return false;
    });
    form->RunTool("Web:FAQ");
    form->RunTool("Help:Contents");
    form->RunTool("Web:NoSuchPage");
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], form->Help().WebAddress("FAQ"));
    EXPECT_TRUE(opened[1].isLocalFile() || opened[1].scheme() == "file");
    form->RunTool("Help:About");
    form->RunTool("Help:TipOfTheDay");
    EXPECT_EQ(dialogs.size(), 2);
}
