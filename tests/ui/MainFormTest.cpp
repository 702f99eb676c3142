#include "app/Application.h"
#include "app/ModalDialogs.h"
#include "common/Registry.h"
#include "export/ExportEngine.h"
#include "export/TableSnapshot.h"
#include "model/DnsFailure.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeScanWorld.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RecordingExportBackend.h"
#include "support/ScriptedPrompts.h"
#include "ui/MainForm.h"
#include "ui/ResultsTable.h"
#include "ui/WidgetPrompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->Table().resultsModel().indexOfKey("192.0.2.0", 1).data().toString() != ""; }, 30000));
    EXPECT_EQ(form->OutstandingText(), QString::number(dns.PendingCount()));
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.0", 1).data().toString(), "Blacklisted by 1 servers"); // all its queries are out
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.129", 1).data().toString(), "");                        // not reached yet

    dns.autoAnswer = [](const FakeDnsLookup::Request&) { return std::make_pair(QString(), DnsFailure::NotFound); };
    for (auto pending = dns.pending; const auto& r : pending) dns.answer(r.tag, "", DnsFailure::NotFound);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    ASSERT_TRUE(complete.wait(30000));
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan complete");
    EXPECT_EQ(prompts.messages.back().icon, UserPrompts::Icon::Information);
    EXPECT_EQ(form->StatusText(), "");
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.0", 1).data().toString(), "Blacklisted by 1 servers");
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.1", 1).data().toString(), "Not on any Blacklist");
    EXPECT_EQ(form->OutstandingText(), "0");

    button("cmdScan")->click();
    button("cmdStop")->click();
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan canceled");
    EXPECT_EQ(prompts.messages.back().icon, UserPrompts::Icon::Exclamation);
}

TEST_F(MainFormTest, StopLeavesUnfinishedAddressesNotChecked)
{
    form->RunTool("Main:New");
    for (int i = 1; i <= 7; ++i) list.AddTarget(QString("192.0.2.%1").arg(i));
    // Five addresses' queries fill the limit; the last two are never asked.
    settings.setMaxQueries(10);
    button("cmdScan")->click();
    list.Tick();
    ASSERT_EQ(dns.PendingCount(), 10);
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:a.test", "", DnsFailure::NotFound));
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:b.test", "", DnsFailure::NotFound));
    ASSERT_TRUE(dns.answer("192.0.2.2:BlacklistCheck:a.test", "127.0.0.2"));
    button("cmdStop")->click(); // 192.0.2.2's b.test answer still outstanding
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan canceled");

    // What was found stands; the rest is not called clean.
    ResultsTable& table = form->Table();
    const struct { const char* key; const char* text; QColor color; } rows[] = {
        {"192.0.2.1", "Not on any Blacklist", QColor(0, 128, 0)},
        {"192.0.2.2", "Blacklisted by 1 servers", QColor(255, 0, 0)},
        {"192.0.2.3", "Not checked", QColor(112, 112, 112)}, // asked, no answer
        {"192.0.2.7", "Not checked", QColor(112, 112, 112)}, // never asked
    };
    for (const auto& row : rows) {
        EXPECT_EQ(table.resultsModel().indexOfKey(row.key, 1).data().toString(), row.text) << row.key;
        EXPECT_EQ(table.resultsModel().indexOfKey(row.key, 1).data(Qt::ForegroundRole).value<QBrush>().color(), row.color) << row.key;
    }
    EXPECT_FALSE(table.resultsModel().indexOfKey("192.0.2.7", 1).data(Qt::ToolTipRole).toString().isEmpty());
    EXPECT_EQ(form->StatusText(), "");
}

TEST_F(MainFormTest, StatusBarTellsOnceWhatTheWholeScanMet)
{
    settings.BlacklistServers().Item("b.test")->ResultCodes().Add("127.0.0.255", "Public resolver refused")->setListing(false);
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    list.AddTarget("192.0.2.2");
    using Reply = std::pair<QString, int>;
    const struct {
        const char* name;
        std::function<Reply(const FakeDnsLookup::Request&)> answer;
        QString status;
        QString toolTip;
    } scans[] = {
        {"b refuses", [](const FakeDnsLookup::Request& r) {
             return r.tag.endsWith(":b.test") ? Reply("127.0.0.255", 0) : Reply("", DnsFailure::NotFound);
         },
         "Your DNS resolver is refused by B BL; use your own resolver (DNS Servers option)",
         "B BL: Public resolver refused"},
        {"silence", [](const FakeDnsLookup::Request&) { return Reply("", DnsFailure::Timeout); },
         "No DNS server answered; check your network or the DNS Servers option", ""},
        {"one list answers", [](const FakeDnsLookup::Request& r) {
             return r.tag.endsWith(":a.test") ? Reply("", DnsFailure::NotFound) : Reply("", DnsFailure::Timeout);
         },
         "", ""},
    };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    for (const auto& scan : scans) {
        SCOPED_TRACE(scan.name);
        dns.autoAnswer = scan.answer;
        complete.clear();
        const size_t messages = prompts.messages.size();
        button("cmdScan")->click();
        // The note of the last scan goes as the next one starts.
        EXPECT_EQ(form->StatusText(), "Scanning Blacklist servers ...");
        EXPECT_EQ(form->StatusToolTip(), "");
        ASSERT_TRUE(complete.wait(30000));
        EXPECT_EQ(form->StatusText(), scan.status);
        EXPECT_EQ(form->StatusToolTip(), scan.toolTip);
        // Told in the status bar, not in boxes: the only box is the usual one.
        ASSERT_EQ(prompts.messages.size(), messages + 1);
        EXPECT_EQ(prompts.messages.back().text, "Blacklist scan complete");
        EXPECT_EQ(prompts.messages.back().icon, UserPrompts::Icon::Information);
    }

    // A refusal is not a listing, and the note stays until the next scan.
    dns.autoAnswer = scans[0].answer;
    button("cmdScan")->click();
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.1", 1).data().toString(), "Not completely checked: 1 of 2 lists refused the query");
    list.AddTarget("192.0.2.3");
    EXPECT_EQ(form->StatusText(), scans[0].status);
    button("cmdScan")->click();
    button("cmdStop")->click();
    EXPECT_EQ(form->StatusText(), "");
}

TEST_F(MainFormTest, ZoneTestProblemsShowAboveTheGridUntilTheNextScan)
{
    settings.setCheckListsBeforeScanning(true);
    // b.test and seven more lists never answer; a.test passes its test.
    for (char c = 'c'; c <= 'i'; ++c)
        settings.BlacklistServers().Add(makeServer(QString("%1.test").arg(c), true, {{"127.0.0.2", "x"}}));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Table().setFocus();
    QWidget* const focused = QApplication::focusWidget();
    ASSERT_EQ(focused, &form->Table());

    button("cmdScan")->click();
    EXPECT_TRUE(form->ZoneProblems().isEmpty());
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.2", "127.0.0.2"));
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.1", "", DnsFailure::NotFound));
    for (auto pending = dns.pending; const auto& r : pending) {
        if (!r.tag.startsWith(":ZoneTest:")) continue;
        ASSERT_TRUE(dns.answer(r.tag, "", DnsFailure::Timeout));
    }
    // Shown as soon as the tests are in, while the scan goes on.
    EXPECT_TRUE(list.ScanActive());
    const QStringList problems = form->ZoneProblems();
    ASSERT_EQ(problems.size(), 8);
    EXPECT_EQ(problems[0], "B BL (b.test) did not answer its test query (timed out); skipped in this scan");
    EXPECT_EQ(problems[1], "c.test did not answer its test query (timed out); skipped in this scan");
    EXPECT_EQ(QApplication::focusWidget(), focused);
    // However many lists failed, the panel stays a strip above the grid.
    auto* panel = form->findChild<QListWidget*>("ZoneProblems");
    ASSERT_NE(panel, nullptr);
    EXPECT_LE(panel->height(), 5 * panel->sizeHintForRow(0));
    EXPECT_GT(form->Table().height(), 4 * panel->height());

    dns.autoAnswer = [](const FakeDnsLookup::Request&) { return std::make_pair(QString(), DnsFailure::NotFound); };
    for (auto pending = dns.pending; const auto& r : pending) dns.answer(r.tag, "", DnsFailure::NotFound);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    ASSERT_TRUE(complete.wait(30000));
    EXPECT_EQ(form->ZoneProblems(), problems);
    EXPECT_EQ(prompts.messages.size(), 1u); // the completion box only
    const QString address = form->Table().resultsModel().indexOfKey("192.0.2.1", 1).data(Qt::ToolTipRole).toString();
    EXPECT_EQ(form->Table().resultsModel().indexOfKey("192.0.2.1", 1).data().toString(), "Not completely checked: 8 of 9 lists did not answer");
    EXPECT_TRUE(address.startsWith(problems[0] + "\n")) << address.toStdString();

    button("cmdScan")->click();
    EXPECT_TRUE(form->ZoneProblems().isEmpty());
    EXPECT_TRUE(panel->isHidden());
    list.StopScan();
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return table.resultsModel().indexOfKey("192.0.2.2:b.test").isValid(); }, 30000));

    // The first address row and the second address's b.test server row.
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.1"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.2:b.test"),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table.setCurrentIndex(table.resultsModel().indexOfKey("192.0.2.1"));
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.1"), QItemSelectionModel::Select | QItemSelectionModel::Rows);
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

TEST_F(MainFormTest, SelectAllThenCopyOrDeleteTakesTheWholeGrid)
{
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    list.AddTarget("mail.example");
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Copy");
    // The header line first, then the address rows in list order; rows end in CR LF.
    const QStringList lines = QApplication::clipboard()->text().split("\r\n");
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], "Target\tReason(s) for being Blacklisted\tURL");
    EXPECT_TRUE(lines[1].startsWith("192.0.2.1\t"));
    EXPECT_TRUE(lines[2].startsWith("mail.example\t"));

    // Wherever the current cell was, Select All and Delete empty the list.
    form->Table().setCurrentIndex(form->Table().resultsModel().indexOfKey("mail.example", 2));
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Delete");
    EXPECT_EQ(list.Count(), 0);
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

// Print, export, publish and send-to hand the grid to the export engine
// with the list's name; the send-to destinations become tools at load and
// leave before the toolbar layout is saved.
TEST(MainFormExportTest, CommandsReachTheExportEngineWithTheListsNames)
{
    FakeScanWorld world;
    ScriptedPrompts prompts;
    Application app(world.list, world.settings, prompts);
    EngineLog log;
    log.destinations = {{"MailContent", "Mail recipient"}, {"Mail.MAPIMAIL", "Mail recipient (as attachment)"}};
    ExportEngine engine([&](QString*) { return std::make_unique<RecordingBackend>(log); });
    app.setExports(engine);
    auto form = std::make_unique<MainForm>(MainForm::Services{app, world.list, world.settings, world.dns, world.registry,
                                                              prompts, [] { return std::make_unique<FakeDirectDns>(); },
                                                              world.dir.path(), QStringLiteral("quarlo")});
    QMenu* sendTo = form->findChild<QMenu*>("Menu:SendTo");
    ASSERT_TRUE(sendTo);
    QStringList ids;
    for (QAction* action : sendTo->actions())
        if (!action->isSeparator()) ids << action->objectName();
    EXPECT_EQ(ids, QStringList({"SendTo:MailContent", "SendTo:Mail.MAPIMAIL"}));
    ASSERT_TRUE(form->Tool("SendTo:MailContent"));
    EXPECT_FALSE(form->Tool("SendTo:MailContent")->isEnabled()); // no list yet

    world.list.setFilename(world.dir.filePath("Mail servers.BlackList"));
    world.list.AddTarget("192.0.2.7");
    form->SetupForm();
    EXPECT_TRUE(form->Tool("SendTo:Mail.MAPIMAIL")->isEnabled());

    struct Case {
        const char* tool;
        const char* method;
    };
    for (const Case& c : {Case{"Export:XLS", "XLS"}, Case{"Export:Text", "Text"}, Case{"Main:Publish", "HTML"},
                          Case{"Main:PrintPreview", "PREVIEW"}}) {
        log.exports.clear();
        form->RunTool(c.tool);
        ASSERT_EQ(log.exports.size(), 1u) << c.tool;
        const auto& done = log.exports[0];
        EXPECT_EQ(done.method, c.method);
        EXPECT_EQ(done.thing, ExportBackend::Thing::Table);
        const auto grid = done.item.value<TableSnapshotPtr>();
        ASSERT_TRUE(grid) << c.tool;
        ASSERT_EQ(grid->rows.size(), 1u);
        EXPECT_EQ(grid->rows[0].cells[0].text, "192.0.2.7");
        if (QString(c.method) == "PREVIEW") {
            EXPECT_EQ(done.settings.value("Title").toString(), "Mail servers Blacklist scan results");
        } else {
            EXPECT_EQ(done.settings.value("Title").toString(), "Mail servers.BlackList");
            EXPECT_EQ(done.settings.value("TargetFilename").toString(), world.dir.filePath("Mail servers.BlackList"));
        }
    }

    // An unsaved list exports beside the program.
    world.list.setFilename("New List");
    log.exports.clear();
    form->RunTool("SendTo:Mail.MAPIMAIL");
    ASSERT_EQ(log.exports.size(), 1u);
    EXPECT_EQ(log.exports[0].settings.value("TargetFilename").toString(), world.dir.filePath("New List"));
    EXPECT_EQ(log.exports[0].settings.value("FileFormat").toString(), "MHTML");
    EXPECT_TRUE(log.exports[0].settings.value("Quiet").toBool());
    ASSERT_EQ(log.sent.size(), 1u);
    EXPECT_EQ(log.sent[0].second, "Mail.MAPIMAIL");

    world.list.setChanged(false);
    ASSERT_TRUE(form->close());
    EXPECT_FALSE(form->Tool("SendTo:MailContent"));
    QFile layout(form->ToolbarLayoutPath());
    ASSERT_TRUE(layout.open(QIODevice::ReadOnly));
    EXPECT_FALSE(layout.readAll().contains("SendTo:"));
}

TEST_F(MainFormTest, StartPageLinksRunCommands)
{
    QString started;
    bool starts = true;
    form->setProgramStarter([&](const QString& path) {
        started = path;
        return starts;
    });
    auto* browser = form->findChild<QTextBrowser*>("WebBrowser");
    ASSERT_NE(browser, nullptr);
    emit browser->anchorClicked(QUrl("internal:Main:New"));
    EXPECT_EQ(list.Filename(), "New List");
    form->RunTool("Main:Close");
    // Programs start from the program folder, never from a search of PATH.
    emit browser->anchorClicked(QUrl("INTERNAL:EXECUTE?Program=quarlo-check"));
    EXPECT_EQ(started, dir.path() + "/quarlo-check");
    for (const char* elsewhere : {"../quarlo-check", "/usr/bin/xterm", ".."}) {
        started.clear();
        emit browser->anchorClicked(QUrl(QString("internal:EXECUTE?Program=") + elsewhere));
        EXPECT_EQ(started, "") << elsewhere;
    }
    starts = false;
    emit browser->anchorClicked(QUrl("internal:EXECUTE?Program=missing-tool"));
    ASSERT_FALSE(prompts.messages.empty());
    EXPECT_EQ(prompts.messages.back().text, "Cannot start missing-tool from " + QDir::toNativeSeparators(dir.path()));
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
    bool browserStarts = true;
    form->setUrlOpener([&](const QUrl& url) {
        opened.push_back(url);
        return browserStarts;
    });
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
    EXPECT_TRUE(prompts.messages.empty());

    // Without a browser the user learns the address to open by hand.
    browserStarts = false;
    form->RunTool("Help:Selection");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("No web browser could be started"));
    EXPECT_TRUE(prompts.messages[0].text.contains(QDir::toNativeSeparators(opened.back().toLocalFile())))
        << prompts.messages[0].text.toStdString();
}

// ---- on real widgets: dialogs and message boxes answered as a person would --

namespace {

// The main window with the program's real message boxes and file dialogs.
class MainFormOnWidgetsTest : public ::testing::Test, protected FakeScanWorld {
protected:
    MainFormOnWidgetsTest() : app(list, settings, prompts)
    {
        settings.BlacklistServers().Add(makeServer("a.test", true, {{"127.0.0.2", "A listed"}}));
        form = std::make_unique<MainForm>(MainForm::Services{app, list, settings, dns, registry, prompts,
                                                             [] { return std::make_unique<FakeDirectDns>(); },
                                                             dir.path(), QStringLiteral("quarlo")});
        prompts.setParent(form.get());
        list.setTickInterval(10);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    ~MainFormOnWidgetsTest() override
    {
        list.setChanged(false);
        form->close();
    }

    static ModalDialogs::Handler answer(QMessageBox::StandardButton button, QString* text = nullptr)
    {
        return [button, text](QWidget& window) {
            auto* box = qobject_cast<QMessageBox*>(&window);
            ASSERT_NE(box, nullptr) << window.metaObject()->className();
            if (text) *text = box->text();
            box->button(button)->click();
        };
    }
    static ModalDialogs::Handler cancelFileDialog(QString* folder = nullptr)
    {
        return [folder](QWidget& window) {
            auto* dialog = qobject_cast<QFileDialog*>(&window);
            ASSERT_NE(dialog, nullptr) << window.metaObject()->className();
            if (folder) *folder = dialog->directory().absolutePath();
            dialog->reject();
        };
    }
    // Types a name into the file dialog and presses its Save (or Open) button.
    static ModalDialogs::Handler typeFileName(const QString& name, QString* folder = nullptr)
    {
        return [name, folder](QWidget& window) {
            auto* dialog = qobject_cast<QFileDialog*>(&window);
            ASSERT_NE(dialog, nullptr) << window.metaObject()->className();
            if (folder) *folder = dialog->directory().absolutePath();
            dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            auto* buttons = dialog->findChild<QDialogButtonBox*>("buttonBox");
            QPushButton* accept = buttons->button(QDialogButtonBox::Save);
            if (!accept) accept = buttons->button(QDialogButtonBox::Open);
            ASSERT_NE(accept, nullptr);
            accept->click();
        };
    }

    WidgetPrompts prompts;
    Application app;
    std::unique_ptr<MainForm> form;
};

} // namespace

TEST_F(MainFormOnWidgetsTest, YesToTheSavePromptThenCancelInTheSaveDialogKeepsTheList)
{
    const struct {
        const char* command;
        std::function<void(MainForm&)> run;
    } commands[] = {
        {"close the window", [](MainForm& f) { EXPECT_FALSE(f.close()); }},
        {"Main:New", [](MainForm& f) { f.Tool("Main:New")->trigger(); }},
        {"Main:Open", [](MainForm& f) { f.Tool("Main:Open")->trigger(); }},
        {"Main:Close", [](MainForm& f) { f.Tool("Main:Close")->trigger(); }},
    };
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    for (const auto& command : commands) {
        SCOPED_TRACE(command.command);
        ModalDialogs dialogs;
        QString question;
        dialogs.expect(answer(QMessageBox::Yes, &question));
        dialogs.expect(cancelFileDialog());
        command.run(*form);
        EXPECT_EQ(question, "Do you want to save changes to New List ?");
        EXPECT_TRUE(dialogs.allHandled());
        // No further dialog (such as Open's) once the save did not happen.
        EXPECT_EQ(dialogs.unexpected, 0) << dialogs.titles.join(" | ").toStdString();
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(list.Filename(), "New List");
        EXPECT_EQ(list.Count(), 1);
        EXPECT_TRUE(list.Changed());
        EXPECT_EQ(form->windowTitle(), "Quarlo [New List *]");
    }
}

TEST_F(MainFormOnWidgetsTest, SaveAsStartsInTheListsFolderAddsTheExtensionAndAsksBeforeReplacing)
{
    QDir(dir.path()).mkpath("lists");
    const QString folder = dir.filePath("lists");
    list.setFilename(folder + "/current.BlackList");
    list.AddTarget("192.0.2.1");
    form->SetupForm();
    QFile taken(folder + "/taken.BlackList");
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("kept");
    taken.close();

    // A name without extension gets the list extension.
    QString shownFolder;
    {
        ModalDialogs dialogs;
        dialogs.expect(typeFileName(folder + "/fresh", &shownFolder));
        form->Tool("Main:SaveAs")->trigger();
        EXPECT_TRUE(dialogs.allHandled());
        EXPECT_EQ(dialogs.unexpected, 0) << dialogs.titles.join(" | ").toStdString();
    }
    EXPECT_EQ(shownFolder, folder);
    EXPECT_TRUE(QFile::exists(folder + "/fresh.BlackList"));
    EXPECT_FALSE(QFile::exists(folder + "/fresh"));
    EXPECT_EQ(list.Filename(), folder + "/fresh.BlackList");
    EXPECT_EQ(form->windowTitle(), "Quarlo [fresh]");

    // An existing file: No goes back to the dialog, Yes replaces it.
    for (const QMessageBox::StandardButton reply : {QMessageBox::No, QMessageBox::Yes}) {
        list.AddTarget(reply == QMessageBox::No ? "192.0.2.2" : "192.0.2.3");
        ModalDialogs dialogs;
        QString question;
        dialogs.expect(typeFileName(folder + "/taken"));
        dialogs.expect(answer(reply, &question));
        if (reply == QMessageBox::No) dialogs.expect(cancelFileDialog());
        form->Tool("Main:SaveAs")->trigger();
        EXPECT_TRUE(dialogs.allHandled());
        EXPECT_EQ(dialogs.unexpected, 0) << dialogs.titles.join(" | ").toStdString();
        EXPECT_TRUE(question.contains("taken.BlackList")) << question.toStdString();
        ASSERT_TRUE(taken.open(QIODevice::ReadOnly));
        const QByteArray content = taken.readAll();
        taken.close();
        if (reply == QMessageBox::No) {
            EXPECT_EQ(content, "kept");
            EXPECT_EQ(list.Filename(), folder + "/fresh.BlackList");
        } else {
            EXPECT_TRUE(content.contains("192.0.2.3"));
            EXPECT_EQ(list.Filename(), folder + "/taken.BlackList");
        }
    }

    // The open dialog starts in the list's folder too.
    ModalDialogs dialogs;
    dialogs.expect(cancelFileDialog(&shownFolder));
    shownFolder.clear();
    form->Tool("Main:Open")->trigger();
    EXPECT_EQ(shownFolder, folder);
}

TEST_F(MainFormOnWidgetsTest, AddCommandShowsTheDialogOnlyAndNeverStartsOrRestartsAScan)
{
    ASSERT_TRUE(settings.AutoStartScan());
    form->RunTool("Main:New");
    list.AddTarget("192.0.2.1");
    auto addAddress = [](const QString& target) {
        return [target](QWidget& window) {
            auto* grid = window.findChild<QTableWidget*>("Table");
            ASSERT_NE(grid, nullptr) << window.metaObject()->className();
            grid->item(0, 0)->setText(target);
            window.findChild<QPushButton*>("cmdOK")->click();
        };
    };
    QSignalSpy started(&list, &Addresslist::ScanStarted);
    {
        ModalDialogs dialogs;
        dialogs.expect(addAddress("192.0.2.77"));
        form->Tool("Edit:Add")->trigger();
        EXPECT_TRUE(dialogs.allHandled());
    }
    EXPECT_NE(list.Item("192.0.2.77"), nullptr);
    EXPECT_EQ(started.count(), 0);
    EXPECT_FALSE(list.ScanActive());

    // During a scan, adding keeps what the scan found so far.
    form->findChild<QAbstractButton*>("cmdScan")->click();
    list.Tick();
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:a.test", "127.0.0.2"));
    ASSERT_EQ(list.Item("192.0.2.1")->RespondingServers().Count(), 1);
    {
        ModalDialogs dialogs;
        dialogs.expect(addAddress("192.0.2.78"));
        form->Tool("Edit:Add")->trigger();
        EXPECT_TRUE(dialogs.allHandled());
    }
    EXPECT_NE(list.Item("192.0.2.78"), nullptr);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(list.Item("192.0.2.1")->RespondingServers().Count(), 1);
    ModalDialogs dialogs;
    dialogs.expect(answer(QMessageBox::Ok)); // scan canceled
    list.StopScan();
}

TEST_F(MainFormOnWidgetsTest, RightClickKeepsTheSelectionUnlessItIsOneCellInTheFirstColumn)
{
    form->RunTool("Main:New");
    for (int i = 1; i <= 4; ++i) list.AddTarget(QString("192.0.2.%1").arg(i));
    ResultsTable& table = form->Table();
    QMenu* popup = form->findChild<QMenu*>("Main:Popup");
    ASSERT_NE(popup, nullptr);
    auto cell = [&](int row, int column) { return table.model()->index(row, column); };

    const struct {
        const char* name;
        QModelIndex from, to; // the selection before the click
        QModelIndex clicked;
        bool follows;         // the click's cell becomes the selection
    } cases[] = {
        {"two rows", cell(0, 0), cell(1, 0), cell(3, 1), false},
        {"one row up to column 2", cell(0, 0), cell(0, 2), cell(3, 0), false},
        {"one cell in column 1", cell(1, 1), cell(1, 1), cell(3, 0), false},
        {"one cell in column 0", cell(1, 0), cell(1, 0), cell(3, 1), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        table.setCurrentIndex(c.from);
        table.selectionModel()->select(QItemSelection(c.from, c.to), QItemSelectionModel::ClearAndSelect);
        const QModelIndexList before = table.selectionModel()->selectedIndexes();
        const QPoint at = table.visualRect(c.clicked).center();
        ASSERT_EQ(table.indexAt(at), c.clicked);

        QTest::mousePress(table.viewport(), Qt::RightButton, Qt::NoModifier, at);
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &menuEvent);
        QTest::mouseRelease(table.viewport(), Qt::RightButton, Qt::NoModifier, at);
        EXPECT_TRUE(popup->isVisible());
        popup->hide();

        const QModelIndexList after = table.selectionModel()->selectedIndexes();
        if (c.follows) {
            EXPECT_EQ(table.currentIndex(), c.clicked);
            EXPECT_EQ(after, QModelIndexList{c.clicked});
        } else {
            EXPECT_EQ(table.currentIndex(), c.from);
            EXPECT_EQ(QSet<QModelIndex>(after.begin(), after.end()), QSet<QModelIndex>(before.begin(), before.end()));
        }
    }
}

TEST_F(MainFormOnWidgetsTest, StatusBarCountsCheckedAddressesAndStatusTipsDoNotMoveIt)
{
    form->RunTool("Main:New");
    for (int i = 1; i <= 12; ++i) list.AddTarget(QString("192.0.2.%1").arg(i));
    auto* text = form->findChild<QLabel*>("ScanProgressText");
    auto* bar = form->findChild<QProgressBar*>("ScanProgress");
    ASSERT_NE(text, nullptr);
    ASSERT_NE(bar, nullptr);
    auto* outstanding = form->findChild<QLabel*>("Outstanding");

    form->findChild<QAbstractButton*>("cmdScan")->click();
    list.Tick();
    ASSERT_EQ(dns.PendingCount(), 12);
    EXPECT_EQ(text->text(), "Checked 0 of 12 addresses");
    EXPECT_EQ(bar->maximum(), 12);
    EXPECT_EQ(bar->value(), 0);
    // Laid out: the text stands left of its bar.
    ASSERT_TRUE(QTest::qWaitFor([&] { return text->isVisible() && text->geometry().right() < bar->geometry().left(); }, 30000));
    const QRect textPlace = text->geometry();
    const QRect barPlace = bar->geometry();
    const QRect outstandingPlace = outstanding->geometry();

    // A menu entry's status tip takes the message area, not these.
    QStatusTipEvent tip(form->Tool("Main:New")->statusTip());
    QApplication::sendEvent(form.get(), &tip);
    EXPECT_EQ(form->statusBar()->currentMessage(), "Creates a new document.");

    // Listed by one list, clean at both: 9 addresses done, 3 to go.
    for (int i = 1; i <= 9; ++i)
        ASSERT_TRUE(dns.answer(QString("192.0.2.%1:BlacklistCheck:a.test").arg(i), "", DnsFailure::NotFound));
    EXPECT_TRUE(QTest::qWaitFor([&] { return text->text() == "Checked 9 of 12 addresses"; }, 30000)) << text->text().toStdString();
    ASSERT_TRUE(dns.answer("192.0.2.10:BlacklistCheck:a.test", "127.0.0.2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return text->text() == "Checked 10 of 12 addresses"; }, 30000)) << text->text().toStdString();
    // Once a rate is known the bar tells the time left.
    EXPECT_TRUE(QTest::qWaitFor([&] { return bar->isTextVisible() && bar->text().contains(QRegularExpression("^about \\d+ s left$")); }, 30000))
        << bar->text().toStdString();
    EXPECT_TRUE(bar->toolTip().startsWith("Checked 10 of 12 addresses, about ")) << bar->toolTip().toStdString();
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(outstanding->text(), QString::number(dns.PendingCount()));
    QApplication::processEvents();
    EXPECT_TRUE(text->isVisible());
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(text->geometry(), textPlace);
    EXPECT_EQ(bar->geometry(), barPlace);
    EXPECT_EQ(outstanding->geometry(), outstandingPlace);

    form->statusBar()->clearMessage();
    ModalDialogs dialogs;
    dialogs.expect(answer(QMessageBox::Ok)); // scan canceled
    list.StopScan();
    // Stopped before they were answered: not counted as checked.
    EXPECT_EQ(text->text(), "Checked 10 of 12 addresses");
    EXPECT_FALSE(bar->isTextVisible()); // no time left once stopped
}
