#include "ui/SettingsForm.h"

#include "ServerEditorDriver.h"
#include "common/Registry.h"
#include "model/Settings.h"
#include "storage/ServerConfigFile.h"
#include "storage/ServerConfigStore.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class SettingsFormTest : public ::testing::Test {
protected:
    SettingsFormTest() : store(dir.filePath("Quarlo.cfg")), registry(backend), settings(registry, &store)
    {
        settings.BlacklistServers().Add(makeServer("zen.example", true, {{"127.0.0.2", "Listed"}}, false, "Zen"));
        settings.BlacklistServers().Add(makeServer("bl.example", true, {{"127.0.0.3", "Spam"}}));
        settings.BlacklistServers().Add(makeServer("dnsbl.example", false, {{"127.0.0.4", "Proxy"}}, true));
    }

    // Opens the dialog on the given tab (0 options, 1 servers).
    SettingsForm& open(int tab = 1, Settings* of = nullptr, bool defaultSize = false)
    {
        form.reset();
        form = std::make_unique<SettingsForm>(of ? *of : settings, prompts);
        if (!defaultSize) form->resize(500, 400);
        form->show();
        tabs()->setCurrentIndex(tab);
        return *form;
    }
    template <typename T = QWidget>
    T* child(const char* name) const
    {
        return form->findChild<T*>(name);
    }
    QTabWidget* tabs() const { return child<QTabWidget>("Tabs"); }
    QTableWidget* list() const { return child<QTableWidget>("lstServers"); }
    QPoint cellCentre(int row, int column) const { return list()->visualItemRect(list()->item(row, column)).center(); }
    std::vector<bool> ticks() const
    {
        std::vector<bool> out;
        for (int r = 0; r < list()->rowCount(); ++r) out.push_back(list()->item(r, 0)->checkState() == Qt::Checked);
        return out;
    }
    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < list()->rowCount(); ++r) out << list()->item(r, c)->text();
        return out;
    }
    void leftClick(int row, int column)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, cellCentre(row, column));
    }
    // Clicks a check box or radio button on its indicator.
    static void tick(QWidget* box) { QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); }
    // A right click on widget; true when the server popup opened.
    bool rightClick(QWidget* widget, const QPoint& pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &event);
        auto* popup = child<QMenu>("ServerPopup");
        const bool shown = popup->isVisible();
        popup->close();
        return shown;
    }
    // Runs a popup command on a row as the user does: right click, then the entry.
    void command(int row, const char* action)
    {
        ASSERT_TRUE(rightClick(list()->viewport(), cellCentre(row, 1)));
        child<QAction>(action)->trigger();
    }
    void press(const char* button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    // The editor the next Add or Edit opens is shown and worked by the user.
    void whenEditorOpens(std::function<void(AddEditServer&, ServerEditorDriver&)> work)
    {
        form->setEditorRunner([this, work](AddEditServer& editor) {
            ++editorRuns;
            ServerEditorDriver drive{editor};
            ASSERT_TRUE(drive.open());
            work(editor, drive);
        });
    }
    static void ok(ServerEditorDriver& drive) { QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton); }

    // The servers the configuration file holds now.
    std::unique_ptr<Servers> saved(const QString& path = QString()) const
    {
        auto servers = std::make_unique<Servers>();
        ErrorText error;
        ServerConfigFile::Read(*servers, path.isEmpty() ? dir.filePath("Quarlo.cfg") : path, error);
        return servers;
    }
    bool fileWritten() const { return QFile::exists(dir.filePath("Quarlo.cfg")); }
    static QStringList zones(const Servers& servers)
    {
        QStringList out;
        for (const ServerPtr& s : servers) out << s->Zone();
        return out;
    }
    ServerPtr server(const char* zone) { return settings.BlacklistServers().Item(zone); }
    // A server in one line: stored name, zone, home page, kind, bit mask, enabled, codes.
    static QString describe(const ServerPtr& s)
    {
        if (!s) return "(none)";
        QStringList codes;
        for (const ResultCodePtr& c : s->ResultCodes())
            codes << c->Address() + "=" + c->Reason() + (c->Listing() ? "" : " (not)");
        const QString kind = QString(s->IsDomainList() ? "domains" : "IPs") + (s->AnswersIPv6() ? "+IPv6" : "");
        return QStringList({s->StoredName(), s->Zone(), s->URL(), kind, s->BitMapCodedResults() ? "bits" : "",
                            s->Enabled() ? "on" : "off", codes.join(',')})
            .join('|');
    }

    QTemporaryDir dir;
    ServerConfigStore store;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsForm> form;
    int editorRuns = 0;
};

} // namespace

TEST_F(SettingsFormTest, OptionsOpenAsStoredAndOnlyOkWritesThem)
{
    settings.setExpansionLevel(1);
    settings.setMaxQueries(250);
    settings.setCheckListsBeforeScanning(true);
    for (const char* button : {"cmdCancel", "cmdOK"}) {
        SCOPED_TRACE(button);
        open(0);
        auto* bar = child<QScrollBar>("hsbMaxQueries");
        EXPECT_EQ(child<QLabel>("lblQueries")->text(), "250 Queries");
        EXPECT_EQ(bar->value(), 250);
        EXPECT_TRUE(child<QRadioButton>("optExpansion1")->isChecked());
        EXPECT_TRUE(child<QCheckBox>("chkCheckLists")->isChecked());
        bar->setValue(612);
        tick(child("optExpansion0"));
        tick(child("chkCheckLists"));
        EXPECT_TRUE(settings.CheckListsBeforeScanning()); // nothing before OK
        press(button);
    }
    // That they reach the registry is SettingsTest's.
    EXPECT_EQ(settings.MaxQueries(), 612);
    EXPECT_EQ(settings.ExpansionLevel(), 0);
    EXPECT_FALSE(settings.CheckListsBeforeScanning());

    // Values the controls cannot show open at the nearest they can, and OK stores that.
    const struct {
        int queries, level, shownQueries, shownLevel;
    } outside[] = {{5000, 3, 800, 2}, {3, 0, 10, 0}};
    for (const auto& c : outside) {
        settings.SaveOption("Max Queries", c.queries);
        settings.setExpansionLevel(c.level);
        settings.Refresh();
        ASSERT_EQ(settings.MaxQueries(), c.queries);
        open(0);
        EXPECT_EQ(child<QLabel>("lblQueries")->text(), QString::number(c.queries) + " Queries");
        EXPECT_EQ(child<QScrollBar>("hsbMaxQueries")->value(), c.shownQueries);
        press("cmdOK");
        EXPECT_EQ(settings.MaxQueries(), c.shownQueries);
        EXPECT_EQ(settings.ExpansionLevel(), c.shownLevel);
    }

    // The stores above took every write and nothing was said; one that
    // refuses is reported (the wording is SettingsTest's).
    EXPECT_TRUE(prompts.messages.empty());
    backend.failWrites = true;
    open(0);
    child<QCheckBox>("chkCheckLists")->setChecked(!settings.CheckListsBeforeScanning());
    press("cmdOK");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("Cannot save the option"))
        << prompts.messages[0].text.toStdString();
}

TEST_F(SettingsFormTest, ServerListShowsTheFileItsTicksAreWrittenOnlyByOkAndCancelTakesEverythingBack)
{
    open();
    // Every opening starts on the general tab, where the server buttons have no place.
    EXPECT_EQ(SettingsForm(settings, prompts).findChild<QTabWidget*>("Tabs")->currentIndex(), 0);
    for (const char* button : {"cmdAdd", "cmdEdit", "cmdDelete"}) EXPECT_TRUE(child(button)->isVisible()) << button;
    tabs()->setCurrentIndex(0);
    for (const char* button : {"cmdAdd", "cmdEdit", "cmdDelete"}) EXPECT_FALSE(child(button)->isVisible()) << button;
    tabs()->setCurrentIndex(1);

    // Name (or zone when none is stored), zone, enabled flag; in file order.
    EXPECT_EQ(column(1), QStringList({"Zen", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(column(2), QStringList({"zen.example", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(ticks(), std::vector<bool>({true, true, false}));

    // The popup belongs to the rows only.
    const QPoint below(cellCentre(2, 1).x(), list()->viewport()->height() - 3);
    ASSERT_EQ(list()->rowAt(below.y()), -1);
    EXPECT_FALSE(rightClick(list()->viewport(), below));
    EXPECT_TRUE(rightClick(list()->viewport(), cellCentre(2, 0)));

    // Clicks toggle in column 0 only. Delete asks, then acts on the live
    // collection at once; Cancel takes the ticks and the deletion back.
    leftClick(1, 1);
    leftClick(1, 2);
    leftClick(1, 0);
    leftClick(2, 0);
    command(0, "Delete");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Delete the blacklist server Zen (zen.example)?");
    EXPECT_EQ(column(2), QStringList({"zen.example", "bl.example", "dnsbl.example"})); // No keeps it
    prompts.answers = {UserPrompts::Answer::Yes};
    command(0, "Delete");
    EXPECT_EQ(column(2), QStringList({"bl.example", "dnsbl.example"}));
    EXPECT_EQ(ticks(), std::vector<bool>({false, true}));
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"bl.example", "dnsbl.example"}));
    press("cmdCancel");
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(describe(server("zen.example")), "Zen|zen.example|https://zen.example/|IPs||on|127.0.0.2=Listed");
    EXPECT_TRUE(server("bl.example")->Enabled());
    EXPECT_FALSE(server("dnsbl.example")->Enabled());
    EXPECT_FALSE(fileWritten());

    // The Delete key and button work on the current row.
    open();
    prompts.answers = {UserPrompts::Answer::Yes};
    list()->setFocus();
    list()->setCurrentCell(0, 1);
    QTest::keyClick(list(), Qt::Key_Delete);
    EXPECT_EQ(column(2), QStringList({"bl.example", "dnsbl.example"}));
    list()->setCurrentCell(1, 1);
    press("cmdDelete"); // No
    EXPECT_EQ(column(2), QStringList({"bl.example", "dnsbl.example"}));
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"bl.example", "dnsbl.example"}));
    press("cmdOK");
    EXPECT_EQ(zones(*saved()), QStringList({"bl.example", "dnsbl.example"}));

    // Space toggles the current row, wherever the keyboard moved it.
    open();
    EXPECT_EQ(ticks(), std::vector<bool>({true, false}));
    list()->setFocus();
    list()->setCurrentCell(0, 2);
    QTest::keyClick(list(), Qt::Key_Space);
    QTest::keyClick(list(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_EQ(ticks(), std::vector<bool>({false, true}));
    press("cmdOK");
    EXPECT_FALSE(server("bl.example")->Enabled());
    EXPECT_TRUE(server("dnsbl.example")->Enabled());
    const auto file = saved();
    EXPECT_EQ(zones(*file), QStringList({"bl.example", "dnsbl.example"}));
    EXPECT_FALSE(file->Item("bl.example")->Enabled());
    EXPECT_TRUE(file->Item("dnsbl.example")->Enabled());
}

TEST_F(SettingsFormTest, AddTakesTheEditorsEntriesAtOnceAndCancelTakesThemBack)
{
    // A refused or abandoned editor adds nothing: the next test.
    open();
    whenEditorOpens([](AddEditServer&, ServerEditorDriver& drive) {
        QTest::keyClicks(drive.box("txtServerName"), "New List");
        QTest::keyClick(drive.box("txtServerName"), Qt::Key_Tab);
        QTest::keyClicks(drive.box("txtServer"), "new.example");
        QTest::keyClick(drive.box("txtServer"), Qt::Key_Tab);
        QTest::keyClicks(drive.box("txtURL"), "new.example/");
        drive.form.findChild<QCheckBox*>("chkBitMapped")->click();
        drive.form.findChild<QCheckBox*>("chkIPv6")->setChecked(true);
        drive.form.findChild<QCheckBox*>("chkSelfTest")->click();
        ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
        ASSERT_TRUE(drive.addCode("127.0.0.8", "Dynamic"));
        ok(drive);
    });
    command(0, "Add");
    ASSERT_EQ(editorRuns, 1);
    EXPECT_EQ(QStringList({column(1).last(), column(2).last(), column(3).last()}),
              QStringList({"New List", "new.example", "IP list, IPv6"}));
    EXPECT_TRUE(ticks().back());
    // Enabled at once, before OK.
    EXPECT_EQ(describe(server("new.example")),
              "New List|new.example|http://new.example/|IPs+IPv6|bits|on|127.0.0.2=Listed,127.0.0.8=Dynamic");
    EXPECT_FALSE(server("new.example")->SelfTest());
    EXPECT_FALSE(fileWritten());

    // Cancel takes the added server back out of the live collection.
    press("cmdCancel");
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "bl.example", "dnsbl.example"}));
    EXPECT_FALSE(fileWritten());
}

// The checks are the editor's (AddEditServerTest); here that Add and Edit
// both apply them against the servers held, and that a refused editor adds
// or changes nothing.
TEST_F(SettingsFormTest, AddAndEditRefuseAZoneHeldByAnotherServerAndAPlaceholderServer)
{
    open();
    QStringList said;
    whenEditorOpens([&](AddEditServer&, ServerEditorDriver& drive) {
        if (editorRuns == 1) {
            // Add, then Enter at once: the placeholders are refused.
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            said << prompts.messages.back().text;
            EXPECT_TRUE(drive.form.isVisible());
            drive.retype("txtServerName", "Copy");
            drive.retype("txtServer", "ZEN.example");
            ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
            ok(drive);
            said << prompts.messages.back().text;
            EXPECT_TRUE(drive.form.isVisible());
            prompts.answers = {UserPrompts::Answer::Yes};
            QTest::mouseClick(drive.button("cmdCancel"), Qt::LeftButton);
            return;
        }
        // Edit of bl.example to the zone zen.example holds.
        drive.retype("txtServerName", "Renamed");
        drive.retype("txtServer", "Zen.Example");
        ok(drive);
        said << prompts.messages.back().text;
        EXPECT_TRUE(drive.form.isVisible());
        // Its own zone is no clash.
        drive.retype("txtServer", "bl.example");
        ok(drive);
        EXPECT_FALSE(drive.form.isVisible());
    });
    press("cmdAdd");
    ASSERT_EQ(said.size(), 2);
    EXPECT_EQ(said[0], "Fill in the Blacklist Server Name.");
    EXPECT_EQ(said[1], "ZEN.example is already in the list of blacklist servers.");
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(list()->rowCount(), 3);
    EXPECT_EQ(describe(server("zen.example")), "Zen|zen.example|https://zen.example/|IPs||on|127.0.0.2=Listed");

    command(1, "Edit");
    ASSERT_EQ(said.size(), 3);
    EXPECT_EQ(said[2], "Zen.Example is already in the list of blacklist servers.");
    EXPECT_EQ(describe(server("bl.example")), "Renamed|bl.example|https://bl.example/|IPs||on|127.0.0.3=Spam");
    EXPECT_EQ(server("zen.example")->StoredName(), "Zen");
}

// Every way to open the editor on a row: the popup, a double click, F2 and
// the Edit button; a double click on the tick box does not edit.
TEST_F(SettingsFormTest, DoubleClickF2AndTheEditButtonEditTheRow)
{
    open();
    QStringList edited;
    form->setEditorRunner([&](AddEditServer& editor) { edited << editor.Server(); });
    // A double click: the first click's press, then the second one.
    const auto doubleClick = [this](const QPoint& at) {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(cellCentre(1, 1));
    list()->setFocus();
    list()->setCurrentCell(2, 1);
    QTest::keyClick(list(), Qt::Key_F2);
    list()->setCurrentCell(0, 2);
    press("cmdEdit");
    command(1, "Edit");
    EXPECT_EQ(edited, QStringList({"bl.example", "dnsbl.example", "zen.example", "bl.example"}));
    doubleClick(cellCentre(2, 0));
    EXPECT_EQ(edited.size(), 4);
}

TEST_F(SettingsFormTest, EditIsAppliedOnlyWhenTheEditorChangedSomething)
{
    const ServerPtr dnsbl = server("dnsbl.example");
    dnsbl->setAnswersIPv6(true);
    dnsbl->setSelfTest(false);
    dnsbl->ResultCodes().Add("127.255.255.254", "Refused")->setListing(false);
    open();
    EXPECT_EQ(column(3), QStringList({"IP list", "IP list", "IP list, IPv6"}));
    // Filled in before it is shown; values set by the program are no change.
    form->setEditorRunner([this](AddEditServer& editor) {
        ++editorRuns;
        EXPECT_EQ(QStringList({editor.ServerName(), editor.URL()}),
                  QStringList({"dnsbl.example", "https://dnsbl.example/"}));
        EXPECT_TRUE(editor.BitMapped() && editor.AnswersIPv6());
        editor.setServerName("Ignored");
        editor.accept();
    });
    command(2, "Edit");
    EXPECT_EQ(editorRuns, 1);
    EXPECT_EQ(dnsbl->StoredName(), "");
    EXPECT_FALSE(ticks()[2]);

    // Every entry of the editor reaches the server, the list's kind, the
    // "Not a listing" boxes and the self-test switch included.
    whenEditorOpens([](AddEditServer& editor, ServerEditorDriver& drive) {
        EXPECT_EQ(std::vector<bool>({drive.notListing(0), drive.notListing(1)}), std::vector<bool>({false, true}));
        EXPECT_FALSE(editor.findChild<QCheckBox*>("chkSelfTest")->isChecked());
        editor.findChild<QCheckBox*>("chkSelfTest")->click();
        drive.retype("txtServerName", "DNSBL");
        drive.retype("txtURL", "http://www.dnsbl.example/");
        ASSERT_TRUE(drive.editCell(0, 1, "Open proxy"));
        editor.findChild<QCheckBox*>("chkBitMapped")->click();
        drive.clickNotListing(0);
        drive.clickNotListing(1);
        editor.findChild<QComboBox*>("cboListKind")->setCurrentIndex(1);
        ok(drive);
    });
    command(2, "Edit");
    const QString edited =
        "DNSBL|dnsbl.example|http://www.dnsbl.example/|domains||%1|127.0.0.4=Open proxy (not),127.255.255.254=Refused";
    EXPECT_EQ(describe(dnsbl), edited.arg("off"));
    EXPECT_TRUE(dnsbl->SelfTest());
    EXPECT_EQ(QStringList({column(1).at(2), column(3).at(2)}), QStringList({"DNSBL", "Domain list"}));
    // The edit ticks the row, so OK enables the server.
    EXPECT_TRUE(ticks()[2]);
    press("cmdOK");
    EXPECT_EQ(describe(saved()->Item("dnsbl.example")), edited.arg("on"));
    EXPECT_TRUE(saved()->Item("dnsbl.example")->SelfTest());
}

TEST_F(SettingsFormTest, EditToANewZoneKeepsTheServerAndCancelPutsItBack)
{
    open();
    const ServerPtr bl = server("bl.example");
    const auto rename = [](AddEditServer&, ServerEditorDriver& drive) {
        drive.retype("txtServerName", "Renamed");
        drive.retype("txtServer", "renamed.example");
        ASSERT_TRUE(drive.editCell(0, 1, "Spam source"));
        ASSERT_TRUE(drive.addCode("127.0.0.9", "Added"));
        ok(drive);
    };
    whenEditorOpens(rename);
    command(1, "Edit");
    EXPECT_EQ(server("renamed.example"), bl);
    EXPECT_EQ(describe(bl),
              "Renamed|renamed.example|https://bl.example/|IPs||on|127.0.0.3=Spam source,127.0.0.9=Added");
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "renamed.example", "dnsbl.example"}));
    EXPECT_EQ(column(2).at(1), "renamed.example");

    // Cancel: the same server object, as it was, under its old zone.
    press("cmdCancel");
    EXPECT_EQ(server("bl.example"), bl);
    EXPECT_EQ(describe(bl), "|bl.example|https://bl.example/|IPs||on|127.0.0.3=Spam");
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "bl.example", "dnsbl.example"}));

    // Again, then OK: later commands on the row find it under its new zone.
    open();
    whenEditorOpens(rename);
    command(1, "Edit");
    leftClick(1, 0);
    press("cmdOK");
    EXPECT_FALSE(bl->Enabled());
    const auto file = saved();
    EXPECT_EQ(zones(*file), QStringList({"zen.example", "renamed.example", "dnsbl.example"}));
    EXPECT_FALSE(file->Item("renamed.example")->Enabled());
}

TEST_F(SettingsFormTest, FailedSaveIsReportedAndKeepsTheDialogOpen)
{
    // The folder of the configuration file is a plain file: no writer gets past that.
    const QString blocker = dir.filePath("blocked");
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ServerConfigStore blockedFile(blocker + "/Quarlo.cfg");
    Settings blocked(registry, &blockedFile);
    blocked.BlacklistServers().Add(makeServer("zen.example", true, {{"127.0.0.2", "Listed"}}));
    open(1, &blocked);
    leftClick(0, 0);
    press("cmdOK");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(blocked.BlacklistServers().LastError().isEmpty());
    EXPECT_TRUE(prompts.messages[0].text.contains(blocked.BlacklistServers().LastError()));
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(blocked.BlacklistServers().Item("zen.example")->Enabled());

    // Once the folder is there, OK again saves and closes.
    ASSERT_TRUE(QFile::remove(blocker));
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked"));
    press("cmdOK");
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Accepted);
    const ServerPtr stored = saved(blocker + "/Quarlo.cfg")->Item("zen.example");
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(stored->Enabled());
}

// The query limit is a scroll bar, which takes no keyboard focus unless
// told to; from the server list, Tab reaches every button in reading order.
TEST_F(SettingsFormTest, TabReachesTheQueryLimitAndWalksFromTheServerListThroughItsButtons)
{
    open(0);
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get(), 20000));
    tabs()->tabBar()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(tabs()->tabBar(), Qt::Key_Tab);
    auto* bar = child<QScrollBar>("hsbMaxQueries");
    ASSERT_EQ(QApplication::focusWidget(), bar);
    const int before = bar->value();
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(child<QLabel>("lblQueries")->text(), QString::number(before + 1) + " Queries");

    tabs()->setCurrentIndex(1);
    list()->setFocus(Qt::TabFocusReason);
    QStringList walked;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(walked, QStringList({"cmdAdd", "cmdEdit", "cmdDelete", "cmdOK", "cmdCancel"}));
}

// Which entries are server addresses is DnsServersTest's; here a refused
// one stops OK before anything is written, and a good list is stored tidied.
TEST_F(SettingsFormTest, DnsServersAreCheckedAndStoredByOk)
{
    settings.SaveOption("DNS Servers", "198.51.100.7");
    open();
    auto* box = child<QLineEdit>("txtDnsServers");
    EXPECT_EQ(box->text(), "198.51.100.7");
    const auto enter = [&](const QString& typed) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, typed);
        press("cmdOK");
    };
    enter("192.0.2.1, dns.example"); // from the servers tab
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.contains("dns.example"));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(tabs()->currentIndex(), 0); // the user is shown the field
    EXPECT_FALSE(fileWritten());
    EXPECT_EQ(settings.RetrieveOption("DNS Servers"), "198.51.100.7");

    enter(" 192.0.2.1:5353 ,, [2001:db8::1]:53 ");
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(settings.RetrieveOption("DNS Servers"), "192.0.2.1:5353, [2001:db8::1]:53");
}

// An installed copy: OK writes only what the user changed against the
// packaged servers, and the next start still sees every packaged server.
TEST_F(SettingsFormTest, OkOfAnInstalledCopyWritesOnlyTheUsersChanges)
{
    const QString packaged = dir.filePath("share/quarlo.cfg");
    const QString user = dir.filePath("home/quarlo.cfg");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("share")));
    ErrorText error;
    ASSERT_TRUE(ServerConfigFile::Write(settings.BlacklistServers(), packaged, error)) << error.Boxed().toStdString();
    ServerConfigStore installed(packaged, user);
    Settings local(registry, &installed);
    ASSERT_EQ(zones(local.BlacklistServers()), QStringList({"zen.example", "bl.example", "dnsbl.example"}));

    open(1, &local);
    leftClick(1, 0); // bl.example off
    prompts.answers = {UserPrompts::Answer::Yes};
    command(2, "Delete"); // dnsbl.example
    press("cmdOK");
    const QByteArray written = [&] {
        QFile f(user);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    EXPECT_FALSE(written.contains("zen.example")) << written.toStdString();
    EXPECT_TRUE(written.contains("Server=\"bl.example\"")) << written.toStdString();
    EXPECT_TRUE(written.contains("Deleted")) << written.toStdString();
    EXPECT_FALSE(written.contains("ResultCode")) << "no server written whole: " << written.toStdString();

    Settings again(registry, &installed);
    EXPECT_EQ(zones(again.BlacklistServers()), QStringList({"zen.example", "bl.example"}));
    EXPECT_FALSE(again.BlacklistServers().Item("bl.example")->Enabled());
}

// What the editor adds for a list's access travels with the server into
// the configuration file and back; the key itself goes to the user's
// settings and never into the file.
TEST_F(SettingsFormTest, ListAccessRoundTripsThroughTheFileAndTheKeyOnlyThroughTheRegistry)
{
    open();
    whenEditorOpens([](AddEditServer&, ServerEditorDriver& drive) {
        drive.retype("txtServerName", "Keyed");
        drive.retype("txtServer", "{key}.keyed.example");
        drive.form.findChild<QCheckBox*>("chkPublic")->setChecked(true);
        drive.retype("txtDnsServers", "192.0.2.53,192.0.2.54:5353");
        drive.retype("txtKeyName", "Operator");
        drive.retype("txtKey", "s3cret-key");
        ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
        ok(drive);
    });
    press("cmdAdd");
    ASSERT_EQ(editorRuns, 1);
    press("cmdOK");
    ASSERT_TRUE(form->ServersSaved());

    QFile file(dir.filePath("Quarlo.cfg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("s3cret")) << "the key reached the configuration file";
    EXPECT_EQ(settings.StoredAccessKey("Operator"), "s3cret-key");
    const ServerPtr read = saved()->Item("{key}.keyed.example");
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->Public());
    EXPECT_EQ(read->DnsServers(), "192.0.2.53, 192.0.2.54:5353");
    EXPECT_EQ(read->StoredKeyName(), "Operator");
    EXPECT_EQ(settings.ZoneToAsk(*read), "s3cret-key.keyed.example");

    // Opened again, the editor shows all of it, the key masked.
    open();
    whenEditorOpens([](AddEditServer& editor, ServerEditorDriver& drive) {
        EXPECT_TRUE(drive.form.findChild<QCheckBox*>("chkPublic")->isChecked());
        EXPECT_EQ(drive.box("txtDnsServers")->text(), "192.0.2.53, 192.0.2.54:5353");
        EXPECT_EQ(drive.box("txtKeyName")->text(), "Operator");
        EXPECT_EQ(drive.box("txtKey")->echoMode(), QLineEdit::Password);
        EXPECT_EQ(editor.AccessKey(), "s3cret-key");
        // Taking the tick away reaches the file too.
        drive.form.findChild<QCheckBox*>("chkPublic")->setChecked(false);
        drive.retype("txtDnsServers", "");
        ok(drive);
    });
    const int row = int(column(2).indexOf("{key}.keyed.example"));
    ASSERT_GE(row, 0);
    list()->setCurrentCell(row, 1);
    press("cmdEdit");
    ASSERT_EQ(editorRuns, 2);
    press("cmdOK");
    const ServerPtr again = saved()->Item("{key}.keyed.example");
    ASSERT_TRUE(again);
    EXPECT_FALSE(again->Public());
    EXPECT_TRUE(again->DnsServers().isEmpty());
}

// A key-based list without its key is marked in the list; a key set in the
// editor clears the mark, and Cancel takes the key back as it takes back
// every server change.
TEST_F(SettingsFormTest, AMissingKeyIsMarkedAndCancelPutsKeysBack)
{
    settings.BlacklistServers().Add(makeServer("{key}.nokey.example", true, {{"127.0.0.2", "Listed"}}));
    settings.BlacklistServers().Add(makeServer("{key}.old.example", true, {{"127.0.0.2", "Listed"}}));
    ASSERT_TRUE(settings.SaveAccessKey("old", "first-key"));
    open();
    const int row = int(column(2).indexOf("{key}.nokey.example"));
    ASSERT_GE(row, 0);
    EXPECT_TRUE(list()->item(row, 3)->text().contains("no key")) << qPrintable(list()->item(row, 3)->text());
    EXPECT_TRUE(list()->item(row, 1)->toolTip().contains("skipped")) << qPrintable(list()->item(row, 1)->toolTip());
    const int keyed = int(column(2).indexOf("{key}.old.example"));
    EXPECT_FALSE(list()->item(keyed, 3)->text().contains("no key"));

    whenEditorOpens([this](AddEditServer&, ServerEditorDriver& drive) {
        drive.retype("txtKey", QString("key-%1").arg(editorRuns));
        ok(drive);
    });
    list()->setCurrentCell(row, 1);
    press("cmdEdit");
    EXPECT_FALSE(list()->item(row, 3)->text().contains("no key"));
    EXPECT_EQ(settings.StoredAccessKey("nokey"), "key-1");
    // The same key changed twice in one opening still ends as it began.
    for (int i = 0; i < 2; ++i) {
        list()->setCurrentCell(keyed, 1);
        press("cmdEdit");
    }
    EXPECT_EQ(settings.StoredAccessKey("old"), "key-3");

    press("cmdCancel");
    EXPECT_EQ(settings.StoredAccessKey("nokey"), "");
    EXPECT_TRUE(settings.ZoneToAsk(*server("{key}.nokey.example")).isEmpty());
    EXPECT_EQ(settings.StoredAccessKey("old"), "first-key");
    EXPECT_EQ(settings.ZoneToAsk(*server("{key}.old.example")), "first-key.old.example");
}
