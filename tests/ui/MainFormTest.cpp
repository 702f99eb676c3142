#include "GermanTranslation.h"
#include "MainFormWorld.h"
#include "app/ModalDialogs.h"
#include "export/ExportEngine.h"
#include "export/TableSnapshot.h"
#include "model/DnsFailure.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/RecordingExportBackend.h"
#include "support/TestFiles.h"
#include "ui/ElidedLabel.h"
#include "ui/ResultsTable.h"
#include "ui/SettingsForm.h"
#include "ui/WidgetPrompts.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QToolTip>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace quarlo;
using Answer = UserPrompts::Answer;

namespace {

const QString kScanning = "Scanning Blacklist servers ...";

// Two lists, A BL and B BL, both listing 127.0.0.2.
template <typename Prompts>
class MainFormFixture : public ::testing::Test, protected MainFormWorld<Prompts> {
protected:
    using W = MainFormWorld<Prompts>;
    MainFormFixture()
    {
        W::settings.BlacklistServers().Add(makeServer("a.test", true, {{"127.0.0.2", "A listed"}}, false, "A BL"));
        W::settings.BlacklistServers().Add(makeServer("b.test", true, {{"127.0.0.2", "B listed"}}, false, "B BL"));
        form = W::makeForm();
        W::list.setTickInterval(10);
    }

    bool enabled(const char* id) const { return form->Tool(id)->isEnabled(); }
    QAbstractButton* button(const char* name) const { return form->findChild<QAbstractButton*>(name); }
    // A new list holding these addresses.
    void newList(std::initializer_list<QString> targets)
    {
        form->RunTool("Main:New");
        for (const QString& t : targets) W::list.AddTarget(t);
    }
    void newList(int count)
    {
        form->RunTool("Main:New");
        for (int i = 1; i <= count; ++i) W::list.AddTarget(QString("192.0.2.%1").arg(i));
    }
    // Answers every query of the scan with "not listed" and waits for its end.
    bool finishScan()
    {
        QSignalSpy complete(&this->list, &Addresslist::ScanComplete);
        W::dns.autoAnswer = [](const FakeDnsLookup::Request&) {
            return std::make_pair(QString(), DnsFailure::NotFound);
        };
        for (auto pending = W::dns.pending; const auto& r : pending) W::dns.answer(r.tag, "", DnsFailure::NotFound);
        return complete.wait(30000);
    }

    std::unique_ptr<MainForm> form;
};

using MainFormTest = MainFormFixture<ScriptedPrompts>;

} // namespace

TEST_F(MainFormTest, TitleAndCommandsFollowTheList)
{
    EXPECT_EQ(form->windowTitle(), "Quarlo");
    EXPECT_TRUE(form->StartPageShown());
    for (const char* id : {"Main:New", "Main:Open", "Main:Settings", "Main:Exit", "Help:About", "Web:FAQ"})
        EXPECT_TRUE(enabled(id)) << id;
    for (const char* id : {"Main:Save", "Main:SaveAs", "Main:Close", "Main:Print", "Main:PrintPreview", "Main:Publish",
                           "Main:Scan", "Main:StopScan", "Edit:Add", "Edit:Copy", "Export:PDF"})
        EXPECT_FALSE(enabled(id)) << id;
    for (const char* menu : {"Main:EditMenu", "Main:AddressMenu"})
        EXPECT_FALSE(form->findChild<QMenu*>(menu)->menuAction()->isVisible()) << menu;
    for (const char* name : {"cmdAddServers", "cmdScan", "cmdStop"}) EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_EQ(form->OutstandingText(), "0");

    // A new list is unchanged, and the title says so: "*" only after a
    // change, as closing asks only then.
    form->RunTool("Main:New");
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List]");
    EXPECT_FALSE(list.Changed());
    EXPECT_FALSE(form->StartPageShown());
    EXPECT_TRUE(form->findChild<QMenu*>("Main:EditMenu")->menuAction()->isVisible());
    // An open list without addresses: the menu entry works, the button not.
    EXPECT_TRUE(enabled("Main:Scan"));
    EXPECT_FALSE(button("cmdScan")->isEnabled());
    EXPECT_TRUE(button("cmdAddServers")->isEnabled());
    list.AddTarget("192.0.2.1");
    EXPECT_TRUE(button("cmdScan")->isEnabled());
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List *]");
    form->RunTool("Main:Close"); // No to saving
    button("cmdNew")->click();
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List]");
    list.AddTarget("192.0.2.1");

    list.setFilename("C:\\Lists\\Relays.BlackList");
    form->SetupForm();
    EXPECT_EQ(form->windowTitle(), "Quarlo [Relays *]");

    form->RunTool("Help:QuickStart"); // closes the list, start page again
    EXPECT_EQ(form->windowTitle(), "Quarlo");
    EXPECT_TRUE(form->StartPageShown());
}

// A big list file loads under a progress dialog whose Cancel keeps the list;
// emptying a big list resets the grid once instead of removing row by row.
TEST_F(MainFormTest, BigListsLoadUnderProgressAndEmptyInOneReset)
{
    const QString path = dir.filePath("big.BlackList");
    spit(path, "<AddressList><Address Target=\"10.0.0.0/16\"/><Address Target=\"10.1.0.0/17\"/></AddressList>");
    newList({"192.0.2.1"});
    list.setChanged(false);
    prompts.answers = {Answer::Yes};
    prompts.paths = {path};
    bool sawDialog = false;
    const auto cancel = QObject::connect(&list, &Addresslist::LoadProgress, form.get(), [&] {
        if (auto* dialog = form->findChild<QProgressDialog*>("LoadProgress")) {
            sawDialog = dialog->windowModality() == Qt::WindowModal;
            dialog->findChild<QPushButton*>()->click();
        }
    });
    form->RunTool("Main:Open");
    QObject::disconnect(cancel);
    EXPECT_TRUE(sawDialog);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(form->Table().AddressRowCount(), 1);

    prompts.answers = {Answer::Yes};
    prompts.paths = {path};
    form->RunTool("Main:Open");
    ASSERT_EQ(list.Count(), 98304);
    EXPECT_EQ(form->windowTitle(), "Quarlo [big]");

    const ResultsModel& model = form->Table().resultsModel();
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    form->RunTool("Main:New");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(removed.count(), 0);
}

// Rows are drawn in slices during a scan: ResultsTableTest.
TEST_F(MainFormTest, ScanningStateAndStopLeavingUnfinishedAddressesNotChecked)
{
    newList(7);
    // Five addresses' queries fill the limit; the last two are never asked.
    settings.setMaxQueries(10);
    button("cmdScan")->click();
    EXPECT_EQ(form->StatusText(), kScanning);
    for (const char* name : {"cmdScan", "cmdNew", "cmdAddServers"}) EXPECT_FALSE(button(name)->isEnabled()) << name;
    EXPECT_TRUE(button("cmdStop")->isEnabled());
    list.Tick();
    ASSERT_EQ(dns.PendingCount(), 10);
    // The count of queries in flight follows on the window's refresh.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->OutstandingText() == "10"; }, 30000));
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:a.test", "", DnsFailure::NotFound));
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:b.test", "", DnsFailure::NotFound));
    ASSERT_TRUE(dns.answer("192.0.2.2:BlacklistCheck:a.test", "127.0.0.2"));
    button("cmdStop")->click(); // 192.0.2.2's b.test answer still outstanding
    EXPECT_EQ(prompts.messages.back().text, "Blacklist scan canceled");
    EXPECT_EQ(form->StatusText(), "Blacklist scan canceled");
    EXPECT_TRUE(button("cmdScan")->isEnabled());
    EXPECT_EQ(form->OutstandingText(), "0");

    // What was found stands; the rest is not called clean (the colours of
    // each verdict are ResultsModelTest's).
    const std::pair<const char*, const char*> rows[] = {
        {"192.0.2.1", "Not on any Blacklist"},
        {"192.0.2.2", "Blacklisted by 1 servers"},
        {"192.0.2.3", "Not checked"}, // asked, no answer
        {"192.0.2.7", "Not checked"}, // never asked
    };
    for (const auto& [key, text] : rows) EXPECT_EQ(cell(*form, key, 1).toString(), text) << key;
    EXPECT_FALSE(cell(*form, "192.0.2.7", 1, Qt::ToolTipRole).toString().isEmpty());
}

TEST_F(MainFormTest, StatusBarTellsOnceWhatTheWholeScanMet)
{
    settings.BlacklistServers()
        .Item("b.test")
        ->ResultCodes()
        .Add("127.0.0.255", "Public resolver refused")
        ->setListing(false);
    newList({"192.0.2.1", "192.0.2.2"});
    dns.longestWaitMs = 50; // for replies that never come
    const QString givenUp = "No DNS reply came for N s; 2 queries were given up as unanswered and their targets are "
                            "not completely checked";
    // The seconds waited depend on the machine's pace.
    const auto unpaced = [](QString text) {
        return text.replace(QRegularExpression("came for \\d+ s;"), "came for N s;");
    };
    using Reply = std::pair<QString, int>;
    const struct {
        const char* name;
        std::function<Reply(const FakeDnsLookup::Request&)> answer;
        QString status, toolTip, verdict;
    } scans[] = {
        {"b refuses",
         [](const FakeDnsLookup::Request& r) {
             return r.tag.endsWith(":b.test") ? Reply("127.0.0.255", 0) : Reply("", DnsFailure::NotFound);
         },
         "Your DNS resolver is refused by B BL; use your own resolver (DNS Servers option)",
         "B BL: Public resolver refused", "Not completely checked: 1 of 2 lists refused the query"},
        {"silence", [](const FakeDnsLookup::Request&) { return Reply("", DnsFailure::Timeout); },
         "No DNS server answered; check your network or the DNS Servers option", "",
         "Not completely checked: 2 of 2 lists did not answer"},
        {"one list answers",
         [](const FakeDnsLookup::Request& r) {
             return r.tag.endsWith(":a.test") ? Reply("", DnsFailure::NotFound) : Reply("", DnsFailure::Timeout);
         },
         "Blacklist scan complete", "", "Not completely checked: 1 of 2 lists did not answer"},
        // The scan still ends and says how many queries were given up.
        {"b never replies",
         [](const FakeDnsLookup::Request& r) {
             return r.tag.endsWith(":a.test") ? Reply("", DnsFailure::NotFound) : Reply("hold", -1);
         },
         givenUp, givenUp, "Not completely checked: 1 of 2 lists did not answer"},
    };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    for (const auto& scan : scans) {
        SCOPED_TRACE(scan.name);
        dns.autoAnswer = scan.answer;
        complete.clear();
        const size_t messages = prompts.messages.size();
        button("cmdScan")->click();
        // The note of the last scan goes as the next one starts.
        EXPECT_EQ(form->StatusText(), kScanning);
        EXPECT_EQ(form->StatusToolTip(), "");
        ASSERT_TRUE(complete.wait(30000));
        EXPECT_EQ(unpaced(form->StatusText()), scan.status);
        EXPECT_EQ(unpaced(form->StatusToolTip()), scan.toolTip);
        EXPECT_EQ(cell(*form, "192.0.2.1", 1).toString(), scan.verdict);
        // Told in the status bar, not in boxes: the only box is the usual one.
        ASSERT_EQ(prompts.messages.size(), messages + 1);
        EXPECT_EQ(prompts.messages.back().text, "Blacklist scan complete");
    }

    // The note stays until the next scan, whatever the list does meanwhile.
    list.AddTarget("192.0.2.3");
    EXPECT_EQ(unpaced(form->StatusText()), givenUp);
}

// The box at the end of a scan can be turned off from the box itself and
// on again in Settings; the status bar tells the end either way.
TEST_F(MainFormTest, ScanCompleteBoxOffersNotToComeBackAndTheStatusBarSaysItAnyway)
{
    newList({"192.0.2.1"});
    dns.autoAnswer = [](const FakeDnsLookup::Request&) { return std::pair<QString, int>("", DnsFailure::NotFound); };
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    const auto scan = [&] {
        complete.clear();
        const size_t shown = prompts.messages.size();
        button("cmdScan")->click();
        EXPECT_TRUE(complete.wait(30000));
        EXPECT_EQ(form->StatusText(), "Blacklist scan complete");
        return prompts.messages.size() - shown;
    };
    prompts.optOutTicks = {false};
    EXPECT_EQ(scan(), 1u);
    ASSERT_EQ(prompts.optOuts.size(), 1u);
    EXPECT_EQ(prompts.optOuts[0], "Don't show this again");
    EXPECT_TRUE(settings.ShowScanComplete());
    prompts.optOutTicks = {true};
    EXPECT_EQ(scan(), 1u);
    EXPECT_FALSE(settings.ShowScanComplete());
    EXPECT_EQ(scan(), 0u);
    // Kept for the next start.
    EXPECT_FALSE(Settings(registry, nullptr).ShowScanComplete());

    SettingsForm dialog(settings, prompts);
    auto* box = dialog.findChild<QCheckBox*>("chkShowScanComplete");
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(box->isChecked());
    box->setChecked(true);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_TRUE(settings.ShowScanComplete());
    EXPECT_EQ(scan(), 1u);
}

TEST_F(MainFormTest, ZoneTestProblemsShowAboveTheGridUntilTheNextScan)
{
    settings.setCheckListsBeforeScanning(true);
    // b.test and seven more lists never answer; a.test passes its test.
    for (char c = 'c'; c <= 'i'; ++c)
        settings.BlacklistServers().Add(makeServer(QString("%1.test").arg(c), true, {{"127.0.0.2", "x"}}));
    newList({"192.0.2.1"});

    button("cmdScan")->click();
    EXPECT_TRUE(form->ZoneProblems().isEmpty());
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.2", "127.0.0.2"));
    ASSERT_TRUE(dns.answer(":ZoneTest:a.test:127.0.0.1", "", DnsFailure::NotFound));
    for (auto pending = dns.pending; const auto& r : pending)
        if (r.tag.startsWith(":ZoneTest:")) {
            ASSERT_TRUE(dns.answer(r.tag, "", DnsFailure::Timeout));
        }
    // Shown as soon as the tests are in, while the scan goes on.
    EXPECT_TRUE(list.ScanActive());
    const QStringList problems = form->ZoneProblems();
    ASSERT_EQ(problems.size(), 8);
    EXPECT_EQ(problems[0], "B BL (b.test) did not answer its test query (timed out); skipped in this scan");

    ASSERT_TRUE(finishScan());
    EXPECT_EQ(form->ZoneProblems(), problems);
    EXPECT_EQ(prompts.messages.size(), 1u); // the completion box only
    EXPECT_EQ(cell(*form, "192.0.2.1", 1).toString(), "Not completely checked: 8 of 9 lists did not answer");
    EXPECT_TRUE(cell(*form, "192.0.2.1", 1, Qt::ToolTipRole).toString().startsWith(problems[0] + "\n"));

    button("cmdScan")->click();
    EXPECT_TRUE(form->findChild<QListWidget*>("ZoneProblems")->isHidden());
    list.StopScan();
}

// Without an enabled list a scan can call nothing clean: the panel says so
// before the scan (on the start page too), the status bar after it.
TEST_F(MainFormTest, NoEnabledListIsToldBeforeTheScanAndTheStatusBarSaysTheScanCheckedNothing)
{
    const QStringList none{
        "No blacklist server is enabled: a scan checks nothing. Enable or add servers under Settings."};
    EXPECT_TRUE(form->ZoneProblems().isEmpty());
    for (const ServerPtr& server : settings.BlacklistServers()) server->setEnabled(false);
    form->SetupForm();
    EXPECT_TRUE(form->StartPageShown());
    EXPECT_EQ(form->ZoneProblems(), none);

    newList({"192.0.2.1"});
    EXPECT_EQ(form->ZoneProblems(), none);
    QSignalSpy complete(&list, &Addresslist::ScanComplete);
    button("cmdScan")->click();
    // Still there while the scan runs: a new scan clears only the zone tests' lines.
    EXPECT_EQ(form->ZoneProblems(), none);
    ASSERT_TRUE(complete.count() > 0 || complete.wait(30000));
    EXPECT_EQ(form->StatusText(), "The scan checked nothing: no blacklist server is enabled");
    EXPECT_EQ(form->ZoneProblems(), none);
    EXPECT_EQ(dns.PendingCount(), 0);

    // One list enabled: the warning goes with the next redraw of the window,
    // and the next scan's note is its own.
    settings.BlacklistServers().Item("a.test")->setEnabled(true);
    form->SetupForm();
    EXPECT_TRUE(form->ZoneProblems().isEmpty());
    complete.clear();
    button("cmdScan")->click();
    ASSERT_TRUE(finishScan());
    EXPECT_EQ(form->StatusText(), "Blacklist scan complete");

    // No servers at all reads the same.
    settings.BlacklistServers().Clear();
    form->SetupForm();
    EXPECT_EQ(form->ZoneProblems(), none);
}

// The configuration could not be loaded (DamagedServerConfigTest runs the
// whole program's objects over a damaged file): the window says so at once,
// and a scan asks nothing and says why.
TEST_F(MainFormTest, ServerConfigurationThatFailedToLoadIsToldAndScansNothing)
{
    const ErrorText message{"Cannot load Blacklist Servers from /cfg/quarlo.cfg",
                            "It is not well-formed XML: line 2, column 7: Error parsing start element tag."};
    app.setServerConfigurationProblem({message, "/cfg/quarlo.cfg"});
    form = makeForm();
    // On the start page already, in one line.
    const QStringList said{"No scan runs: Cannot load Blacklist Servers from /cfg/quarlo.cfg: It is not well-formed "
                           "XML: line 2, column 7: Error parsing start element tag."};
    EXPECT_EQ(form->ZoneProblems(), said);
    form->ShowStartupWarnings();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith(message.Boxed() + "\r\n\r\nNo scan can run"))
        << prompts.messages[0].text.toStdString();
    EXPECT_EQ(prompts.messages[0].icon, UserPrompts::Icon::Critical);

    // The Scan command's refusal, and the panel going once the file is
    // saved: DamagedServerConfigTest. Here the button's.
    newList({"192.0.2.1"});
    QSignalSpy started(&list, &Addresslist::ScanStarted);
    prompts.messages.clear();
    button("cmdScan")->click();
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(dns.PendingCount(), 0);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("No scan was started: the blacklist servers could not be loaded"));
    EXPECT_TRUE(prompts.messages[0].text.contains(message.Boxed()));
    EXPECT_EQ(form->StatusText(), "No scan: the blacklist servers could not be loaded");
    EXPECT_EQ(form->StatusToolTip(), message.Boxed());
    // No verdict, and certainly not a clean one.
    EXPECT_EQ(cell(*form, "192.0.2.1", 1).toString(), "");
    EXPECT_EQ(form->ZoneProblems(), said);
}

TEST_F(MainFormTest, DeleteRemovesAddressesFromTheListAndSelectAllCopiesOrDeletesTheWholeGrid)
{
    newList({"192.0.2.1", "192.0.2.2", "mail.example"});
    // Select All + Copy: the whole grid's text (what it is: ResultsTableTest) on the clipboard.
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Copy");
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith("Target\t"));
    EXPECT_EQ(QApplication::clipboard()->text(), form->Table().SelectionText());

    list.StartScan();
    list.Tick();
    dns.answer("192.0.2.2:BlacklistCheck:a.test", "127.0.0.2");
    dns.answer("192.0.2.2:BlacklistCheck:b.test", "127.0.0.2");
    ResultsTable& table = form->Table();
    ASSERT_TRUE(QTest::qWaitFor([&] { return table.resultsModel().indexOfKey("192.0.2.2:b.test").isValid(); }, 30000));

    // The first address row and the second address's b.test server row.
    const auto rows = QItemSelectionModel::Select | QItemSelectionModel::Rows;
    table.clearSelection();
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.1"), rows);
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.2:b.test"), rows);
    table.setCurrentIndex(table.resultsModel().indexOfKey("192.0.2.1"));
    table.selectionModel()->select(table.resultsModel().indexOfKey("192.0.2.1"), rows);
    ASSERT_TRUE(table.SelectedKeys().contains("192.0.2.1"));
    // Delete in column 0 removes the address; a server row's address stays.
    QTest::keyClick(&table, Qt::Key_Delete);
    EXPECT_EQ(list.Item("192.0.2.1"), nullptr);
    ASSERT_NE(list.Item("192.0.2.2"), nullptr);
    EXPECT_EQ(list.Item("192.0.2.2")->RespondingServers().Count(), 2); // results stay in the address

    // Wherever the current cell was, Select All and Delete empty the list.
    table.setCurrentIndex(table.resultsModel().indexOfKey("mail.example", 2));
    form->RunTool("Edit:SelectAll");
    form->RunTool("Edit:Delete");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(table.AddressRowCount(), 0);
}

TEST_F(MainFormTest, ClosePromptCancelKeepsEverythingAndClosingKeepsThePlacement)
{
    form->show();
    newList({"192.0.2.1"});
    prompts.answers = {Answer::Cancel};
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(prompts.messages.back().buttons, UserPrompts::Buttons::YesNoCancel);
    EXPECT_FALSE(QFile::exists(form->ToolbarLayoutPath()));

    // Yes saving first is ApplicationTest's.
    prompts.answers = {Answer::No};
    EXPECT_TRUE(form->close());
    // The window's place and the bars' layout are kept for the next start.
    EXPECT_TRUE(QFile::exists(form->ToolbarLayoutPath()));
    const auto state = backend.read(RegistryRoot::CurrentUser, "Software\\Vantorel\\Vantorel Quarlo\\Settings",
                                    "WindowState_MainFormVantorel Quarlo");
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->text, "0");
}

// Print, export, publish and send-to hand the grid to the export engine
// with the list's name (the format and settings of each way out are
// ExportEngineTest's); the send-to destinations become tools at load and
// leave before the toolbar layout is saved.
TEST(MainFormExportTest, CommandsReachTheExportEngineWithTheListsNames)
{
    MainFormWorld<> world;
    EngineLog log;
    log.destinations = {{"MailContent", "Mail recipient"}, {"Mail.MAPIMAIL", "Mail recipient (as attachment)"}};
    ExportEngine engine([&](QString*) { return std::make_unique<RecordingBackend>(log); });
    world.app.setExports(engine);
    auto form = world.makeForm();
    // The menu's entries are ExportMenusTest's; here they are tools of the window.
    ASSERT_TRUE(form->Tool("SendTo:MailContent") && form->Tool("SendTo:Mail.MAPIMAIL"));
    EXPECT_FALSE(form->Tool("SendTo:MailContent")->isEnabled()); // no list yet

    const QString named = world.dir.filePath("Mail servers.BlackList");
    world.list.setFilename(named);
    world.list.AddTarget("192.0.2.7");
    form->SetupForm();
    EXPECT_TRUE(form->Tool("SendTo:Mail.MAPIMAIL")->isEnabled());

    // Print and preview: ApplicationTest.
    for (const char* tool : {"Export:XLS", "Main:Publish"}) form->RunTool(tool);
    ASSERT_EQ(log.exports.size(), 2u);
    for (const auto& done : log.exports) {
        const auto grid = done.item.value<TableSnapshotPtr>();
        ASSERT_TRUE(grid && grid->rows.size() == 1u);
        EXPECT_EQ(grid->rows[0].cells[0].text, "192.0.2.7");
        // The one title of every report: the list, the date, what was checked.
        EXPECT_TRUE(
            QRegularExpression(QString::fromUtf8("^Mail servers \u2014 Blacklist scan results, \\d{4}-\\d\\d-\\d\\d "
                                                 "\\d\\d:\\d\\d, 1 target against \\d+ lists?$"))
                .match(done.settings.value("Title").toString())
                .hasMatch())
            << done.settings.value("Title").toString().toStdString();
        EXPECT_EQ(done.settings.value("TargetFilename").toString(), named);
    }
    EXPECT_EQ(QStringList({log.exports[0].method, log.exports[1].method}), QStringList({"XLS", "HTML"}));

    // What is sent is written to a temporary folder, never beside the list.
    world.list.setFilename("New List");
    log.exports.clear();
    form->RunTool("SendTo:Mail.MAPIMAIL");
    ASSERT_EQ(log.exports.size(), 1u);
    const QString sent = log.exports[0].settings.value("TargetFilename").toString();
    EXPECT_TRUE(sent.startsWith(QStandardPaths::writableLocation(QStandardPaths::TempLocation) + "/quarlo-exports/"))
        << sent.toStdString();
    EXPECT_TRUE(sent.endsWith("/New List")) << sent.toStdString();
    QDir(QFileInfo(sent).path()).removeRecursively();
    ASSERT_EQ(log.sent.size(), 1u);
    EXPECT_EQ(log.sent[0].second, "Mail.MAPIMAIL");

    world.list.setChanged(false);
    ASSERT_TRUE(form->close());
    EXPECT_FALSE(form->Tool("SendTo:MailContent"));
    QFile layout(form->ToolbarLayoutPath());
    ASSERT_TRUE(layout.open(QIODevice::ReadOnly));
    EXPECT_FALSE(layout.readAll().contains("SendTo:"));
}

// Every menu of the window, the send-to list included, can be worked from
// the keyboard: no two entries of one menu share an accelerator.
void expectUniqueAccelerators(quarlo::MainForm& form, const char* language)
{
    SCOPED_TRACE(language);
    QList<QMenu*> menus = form.findChildren<QMenu*>();
    ASSERT_GE(menus.size(), 5);
    int walked = 0;
    for (QMenu* menu : menus) {
        QMap<QChar, QStringList> byKey;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->isVisible()) continue;
            const QString text = action->text();
            const qsizetype amp = text.indexOf(QRegularExpression("&[^&]"));
            EXPECT_GE(amp, 0) << menu->title().toStdString() << ": no accelerator in " << text.toStdString();
            if (amp >= 0) byKey[text.at(amp + 1).toLower()] << text;
            ++walked;
        }
        for (auto it = byKey.cbegin(); it != byKey.cend(); ++it)
            EXPECT_EQ(it.value().size(), 1)
                << menu->title().toStdString() << ": " << it.value().join(" / ").toStdString();
    }
    EXPECT_GT(walked, 25);
    // The menu bar's own titles too.
    QMap<QChar, QStringList> titles;
    for (QAction* action : form.menuBar()->actions()) {
        const qsizetype amp = action->text().indexOf('&');
        if (amp >= 0) titles[action->text().at(amp + 1).toLower()] << action->text();
    }
    for (const QStringList& same : titles) EXPECT_EQ(same.size(), 1) << same.join(" / ").toStdString();
}

struct MenuTexts {
    QString text, toolTip, statusTip;
};

// The window's commands and menus by object name, the send-to list (the
// desktop's own names for its destinations) left out.
QMap<QString, MenuTexts> menuTexts(quarlo::MainForm& form)
{
    QMap<QString, MenuTexts> texts;
    for (QAction* action : form.findChildren<QAction*>()) {
        const QString id = action->objectName();
        if (id.isEmpty() || id.startsWith("SendTo:") || action->isSeparator()) continue;
        texts.insert(id, {action->text(), action->toolTip(), action->statusTip()});
    }
    return texts;
}

// In English and in German the accelerators are unique in every menu, the
// send-to list's included; in German every command and menu of the window
// is German, its tooltip the German caption, and the object names
// automation and layout files use do not change.
TEST(MainFormExportTest, MenusKeepUniqueAcceleratorsAndGermanMenusAreComplete)
{
    MainFormWorld<> world;
    EngineLog log;
    log.destinations = {{"MailContent", "&Mail recipient (results as the message)"},
                        {"Mail.MAPIMAIL", "Mail recipient (as &attachment)"},
                        {"MyDocuments", "&Documents folder"},
                        {"Desktop", "Des&ktop folder"},
                        {"EXCEL.EXE", "&Spreadsheet program"}};
    ExportEngine engine([&](QString*) { return std::make_unique<RecordingBackend>(log); });
    world.app.setExports(engine);
    auto englishForm = world.makeForm();
    expectUniqueAccelerators(*englishForm, "English");
    const QMap<QString, MenuTexts> english = menuTexts(*englishForm);
    englishForm.reset();

    const GermanTranslation german;
    ASSERT_TRUE(german.loaded()) << QUARLO_TRANSLATIONS_DIR;
    auto form = world.makeForm();
    expectUniqueAccelerators(*form, "German");

    const QMap<QString, MenuTexts> translated = menuTexts(*form);
    EXPECT_EQ(translated.keys(), english.keys());
    ASSERT_GT(translated.size(), 30);
    for (auto it = translated.cbegin(); it != translated.cend(); ++it) {
        const MenuTexts& en = english.value(it.key());
        EXPECT_NE(it->text, en.text) << it.key().toStdString() << " is not translated";
        EXPECT_EQ(it->toolTip, QString(it->text).remove('&')) << it.key().toStdString();
        if (!en.statusTip.isEmpty())
            EXPECT_NE(it->statusTip, en.statusTip) << it.key().toStdString();
        else
            EXPECT_EQ(it->statusTip, "") << it.key().toStdString();
    }
    // Commands still run by their ids, whatever the captions say.
    form->RunTool("Main:New");
    EXPECT_EQ(world.list.Filename(), "New List");
}

// The add button starts a scan when the dialog says so; the Add command
// (menu, toolbar, Insert) never starts or restarts one, keeps what a running
// scan found, and so does not show the box.
TEST_F(MainFormTest, AddButtonStartsAScanWhenAutoStartIsOnTheAddCommandNever)
{
    newList({"192.0.2.1"});
    QString adding;
    bool autoStart = true;
    int dialogs = 0;
    std::vector<bool> offered; // whether the dialog showed its box
    form->setDialogRunner([&](QDialog& dialog) {
        ++dialogs;
        dialog.findChild<QTableWidget*>("Table")->item(0, 0)->setText(adding);
        auto* box = dialog.findChild<QCheckBox*>("chkAutoStartScan");
        offered.push_back(!box->isHidden());
        box->setChecked(autoStart);
        dialog.findChild<QPushButton*>("cmdOK")->click();
        return true;
    });
    QSignalSpy started(&list, &Addresslist::ScanStarted);
    // The command shows no box it would not obey, and leaves the option alone.
    adding = "192.0.2.77";
    autoStart = false;
    form->RunTool("Edit:Add");
    EXPECT_NE(list.Item("192.0.2.77"), nullptr);
    EXPECT_EQ(started.count(), 0);
    EXPECT_TRUE(settings.AutoStartScan());
    autoStart = true;

    adding = "192.0.2.78";
    button("cmdAddServers")->click();
    EXPECT_NE(list.Item("192.0.2.78"), nullptr);
    EXPECT_EQ(started.count(), 1);
    list.Tick();
    ASSERT_TRUE(dns.answer("192.0.2.1:BlacklistCheck:a.test", "127.0.0.2"));

    // During the scan, adding keeps what the scan found so far.
    adding = "192.0.2.79";
    form->RunTool("Edit:Add");
    EXPECT_NE(list.Item("192.0.2.79"), nullptr);
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(list.Item("192.0.2.1")->RespondingServers().Count(), 1);
    list.StopScan();

    autoStart = false;
    adding = "192.0.2.80";
    button("cmdAddServers")->click();
    EXPECT_EQ(started.count(), 1);
    EXPECT_EQ(dialogs, 4);
    EXPECT_FALSE(settings.AutoStartScan());
    EXPECT_EQ(offered, std::vector<bool>({false, true, false, true}));
}

TEST_F(MainFormTest, HelpCommandsAndStartPageLinksOpenPagesDialogsAndPrograms)
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
    EXPECT_TRUE(opened[1].isLocalFile());
    form->RunTool("Help:About");
    form->RunTool("Help:TipOfTheDay");
    form->RunTool("Main:Settings");
    EXPECT_EQ(dialogs, QStringList({"quarlo::AboutDialog", "quarlo::TipDialog", "quarlo::SettingsForm"}));
    EXPECT_TRUE(prompts.messages.empty());

    // Without a browser the user learns the address to open by hand.
    browserStarts = false;
    form->RunTool("Help:Selection");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("No web browser could be started"));
    EXPECT_TRUE(prompts.messages[0].text.contains(QDir::toNativeSeparators(opened.back().toLocalFile())))
        << prompts.messages[0].text.toStdString();

    // The start page's links run commands.
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

TEST(MainFormLayout, OldLayoutFilesAreDiscarded)
{
    MainFormWorld<> world;
    const QString path = world.dir.filePath("quarlo.Toolbars");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("stale");
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QDateTime(QDate(2003, 1, 1), QTime(0, 0)), QFileDevice::FileModificationTime));
    f.close();
    world.makeForm();
    EXPECT_FALSE(QFile::exists(path));
}

// Every command that closes the list stops when the wanted save does not
// happen, and Save As names, asks and replaces (ApplicationTest); here the
// one way on the program's real message box and file dialog.
TEST(MainFormOnWidgets, YesToTheSavePromptThenCancelInTheSaveDialogKeepsTheList)
{
    MainFormWorld<WidgetPrompts> world;
    auto form = world.makeForm();
    world.prompts.setParent(form.get());
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 20000));
    form->RunTool("Main:New");
    world.list.AddTarget("192.0.2.1");
    QString question, folder;
    ModalDialogs dialogs;
    dialogs.expect([&](QWidget& window) {
        auto* box = qobject_cast<QMessageBox*>(&window);
        ASSERT_NE(box, nullptr) << window.metaObject()->className();
        question = box->text();
        box->button(QMessageBox::Yes)->click();
    });
    dialogs.expect([&](QWidget& window) {
        auto* dialog = qobject_cast<QFileDialog*>(&window);
        ASSERT_NE(dialog, nullptr) << window.metaObject()->className();
        folder = dialog->directory().absolutePath();
        dialog->reject();
    });
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(dialogs.allHandled());
    EXPECT_EQ(dialogs.unexpected, 0) << dialogs.titles.join(" | ").toStdString();
    EXPECT_EQ(question, "Do you want to save changes to New List ?");
    EXPECT_EQ(folder, world.app.DialogFolder());
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(world.list.Count(), 1);
    EXPECT_EQ(form->windowTitle(), "Quarlo [New List *]");
    world.list.setChanged(false);
    form->close();
}

TEST_F(MainFormTest, RightClickKeepsTheSelectionUnlessItIsOneCellInTheFirstColumn)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 20000));
    newList(4);
    ResultsTable& table = form->Table();
    QMenu* popup = form->findChild<QMenu*>("Main:Popup");
    ASSERT_NE(popup, nullptr);
    auto cell = [&](int row, int column) { return table.model()->index(row, column); };

    const struct {
        const char* name;
        QModelIndex from, to; // the selection before the click
        QModelIndex clicked;
        bool follows; // the click's cell becomes the selection
    } cases[] = {
        {"two rows", cell(0, 0), cell(1, 0), cell(3, 1), false},
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
        EXPECT_EQ(table.currentIndex(), c.follows ? c.clicked : c.from);
        const QModelIndexList expected = c.follows ? QModelIndexList{c.clicked} : before;
        EXPECT_EQ(QSet<QModelIndex>(after.begin(), after.end()), QSet<QModelIndex>(expected.begin(), expected.end()));
    }
}

TEST_F(MainFormTest, StatusBarCountsCheckedAddressesAndStatusTipsDoNotHideIt)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 20000));
    settings.BlacklistServers().Remove("b.test");
    newList(12);
    auto* text = form->findChild<QLabel*>("ScanProgressText");
    auto* bar = form->findChild<QProgressBar*>("ScanProgress");
    auto* outstanding = form->findChild<QLabel*>("Outstanding");
    ASSERT_TRUE(text && bar && outstanding);
    // No empty progress before the first scan.
    EXPECT_TRUE(bar->isHidden() && text->isHidden());

    button("cmdScan")->click();
    list.Tick();
    ASSERT_EQ(dns.PendingCount(), 12);
    EXPECT_EQ(text->text(), "Checked 0 of 12 addresses");
    EXPECT_EQ(std::make_pair(bar->value(), bar->maximum()), std::make_pair(0, 12));
    ASSERT_TRUE(QTest::qWaitFor([&] { return text->isVisible(); }, 30000));

    // A menu entry's status tip takes the message area and hides none of these.
    QStatusTipEvent tip(form->Tool("Main:New")->statusTip());
    QApplication::sendEvent(form.get(), &tip);
    EXPECT_EQ(form->statusBar()->currentMessage(), "Creates a new document.");

    // Listed or clean: 10 addresses done, 2 to go.
    for (int i = 1; i <= 9; ++i)
        ASSERT_TRUE(dns.answer(QString("192.0.2.%1:BlacklistCheck:a.test").arg(i), "", DnsFailure::NotFound));
    ASSERT_TRUE(dns.answer("192.0.2.10:BlacklistCheck:a.test", "127.0.0.2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return text->text() == "Checked 10 of 12 addresses"; }, 30000))
        << text->text().toStdString();
    // Once a rate is known the bar tells the time left.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return bar->isTextVisible() && bar->text().contains(QRegularExpression("^about \\d+ s left$")); }, 30000))
        << bar->text().toStdString();
    EXPECT_TRUE(bar->toolTip().startsWith("Checked 10 of 12 addresses, about ")) << bar->toolTip().toStdString();
    EXPECT_EQ(outstanding->text(), QString::number(dns.PendingCount()));
    EXPECT_TRUE(text->isVisible() && bar->isVisible() && outstanding->isVisible());

    form->statusBar()->clearMessage();
    list.StopScan();
    // Stopped before they were answered: not counted as checked.
    EXPECT_EQ(text->text(), "Checked 10 of 12 addresses");
    EXPECT_FALSE(bar->isTextVisible()); // no time left once stopped
}

// At 640x480 every status-bar widget keeps its own room inside the bar; a
// note longer than its room is cut and its tooltip holds it whole. At
// 1024x768 the same note fits.
TEST_F(MainFormTest, StatusBarWidgetsNeverOverlapAndALongNoteIsCutWithItsWholeTextInTheTooltip)
{
    newList(12);
    button("cmdScan")->click();
    ASSERT_TRUE(finishScan()); // the progress widgets show from now on
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get(), 20000));
    auto* note = form->findChild<ElidedLabel*>("Statusbar");
    ASSERT_NE(note, nullptr);
    const QString text = "Your DNS resolver is refused by A BL, B BL, Some Other List and Yet Another List; use your "
                         "own resolver (DNS Servers option)";
    note->setText(text);

    for (const QSize size : {QSize(640, 480), QSize(1024, 768)}) {
        SCOPED_TRACE(size.width());
        form->resize(size);
        QStatusBar* bar = form->statusBar();
        bar->layout()->activate();
        QCoreApplication::processEvents();
        ASSERT_LE(form->width(), size.width() + 1) << "the status bar widens the window";
        QList<QWidget*> shown;
        for (QWidget* child : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child->isVisible() && !child->inherits("QSizeGrip")) shown << child;
        ASSERT_GE(shown.size(), 5); // the note, progress text and bar, the queries label and count
        for (QWidget* w : shown) {
            EXPECT_TRUE(bar->rect().contains(w->geometry())) << w->objectName().toStdString();
            EXPECT_GE(w->width(), w->minimumSizeHint().width()) << w->objectName().toStdString();
        }
        for (int i = 0; i < shown.size(); ++i)
            for (int j = i + 1; j < shown.size(); ++j)
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << shown[i]->objectName().toStdString() << " / " << shown[j]->objectName().toStdString();
        EXPECT_EQ(note->text(), text);
    }
    form->resize(640, 480);
    form->statusBar()->layout()->activate();
    ASSERT_TRUE(note->IsElided());
    EXPECT_TRUE(note->ShownText().endsWith(QChar(0x2026)));
    QHelpEvent help(QEvent::ToolTip, QPoint(4, 4), note->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(note, &help);
    EXPECT_EQ(QToolTip::text(), text);
    QToolTip::hideText();
}
