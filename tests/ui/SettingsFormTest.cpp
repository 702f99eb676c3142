#include "ui/SettingsForm.h"

#include "ServerEditorDriver.h"
#include "common/Registry.h"
#include "model/Settings.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QComboBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

class SettingsFormTest : public ::testing::Test {
protected:
    SettingsFormTest() : registry(backend), settings(registry, dir.filePath("Quarlo.cfg"))
    {
        settings.BlacklistServers().Add(makeServer("zen.example", true, {{"127.0.0.2", "Listed"}}, false, "Zen"));
        settings.BlacklistServers().Add(makeServer("bl.example", true, {{"127.0.0.3", "Spam"}}));
        settings.BlacklistServers().Add(makeServer("dnsbl.example", false, {{"127.0.0.4", "Proxy"}}, true));
    }

    SettingsForm& open()
    {
        form = std::make_unique<SettingsForm>(settings, prompts);
        form->resize(500, 400);
        form->show();
        form->findChild<QTabWidget*>("Tabs")->setCurrentIndex(1);
        return *form;
    }

    QTableWidget* list() const { return form->findChild<QTableWidget*>("lstServers"); }
    QPoint cellCentre(int row, int column) const { return list()->visualItemRect(list()->item(row, column)).center(); }
    bool ticked(int row) const { return list()->item(row, 0)->checkState() == Qt::Checked; }
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
    // A right click on widget; true when the server popup opened.
    bool rightClick(QWidget* widget, const QPoint& pos)
    {
        QContextMenuEvent event(QContextMenuEvent::Mouse, pos, widget->mapToGlobal(pos));
        QApplication::sendEvent(widget, &event);
        auto* popup = form->findChild<QMenu*>("ServerPopup");
        const bool shown = popup->isVisible();
        popup->close();
        return shown;
    }
    // Runs a popup command on a row as the user does: right click, then the entry.
    void command(int row, const char* action)
    {
        ASSERT_TRUE(rightClick(list()->viewport(), cellCentre(row, 1)));
        form->findChild<QAction*>(action)->trigger();
    }
    void press(const char* button) { QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton); }

    // The servers the configuration file holds now.
    std::unique_ptr<Servers> saved() const
    {
        auto servers = std::make_unique<Servers>(dir.filePath("Quarlo.cfg"));
        servers->Refresh();
        return servers;
    }
    QString savedText() const
    {
        QFile file(dir.filePath("Quarlo.cfg"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    QStringList zones(const Servers& servers) const
    {
        QStringList out;
        for (const ServerPtr& s : servers) out << s->Zone();
        return out;
    }

    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    ScriptedPrompts prompts;
    std::unique_ptr<SettingsForm> form;
    int editorRuns = 0;
};

} // namespace

TEST_F(SettingsFormTest, OptionsOpenAsStoredAndOkWritesThem)
{
    settings.setExpansionLevel(3);
    settings.setMaxQueries(250);
    open();
    auto* tabs = form->findChild<QTabWidget*>("Tabs");
    tabs->setCurrentIndex(0);
    auto* bar = form->findChild<QScrollBar*>("hsbMaxQueries");
    auto* queries = form->findChild<QLabel*>("lblQueries");
    EXPECT_EQ(queries->text(), "250 Queries");
    EXPECT_EQ(bar->value(), 250);
    EXPECT_TRUE(form->findChild<QRadioButton*>("optExpansion2")->isChecked());

    // The label follows the thumb while it is dragged.
    bar->setSliderDown(true);
    bar->setSliderPosition(612);
    EXPECT_EQ(queries->text(), "612 Queries");
    bar->setSliderDown(false);
    auto* none = form->findChild<QRadioButton*>("optExpansion0");
    QTest::mouseClick(none, Qt::LeftButton, {}, QPoint(8, none->height() / 2)); // on its circle

    press("cmdOK");
    EXPECT_EQ(form->result(), QDialog::Accepted);
    // A second settings object reads what went to the registry.
    Settings reread(registry, dir.filePath("other.cfg"));
    EXPECT_EQ(reread.MaxQueries(), 612);
    EXPECT_EQ(reread.ExpansionLevel(), 0);

    // Level 3 is shown as the last option and stored as it.
    settings.setExpansionLevel(3);
    open();
    press("cmdOK");
    EXPECT_EQ(settings.ExpansionLevel(), 2);
}

TEST_F(SettingsFormTest, CheckListsBeforeScanningOpensAsStoredAndOnlyOkWritesIt)
{
    for (const bool stored : {true, false}) {
        for (const char* button : {"cmdOK", "cmdCancel"}) {
            SCOPED_TRACE(std::string(stored ? "stored on, " : "stored off, ") + button);
            settings.setCheckListsBeforeScanning(stored);
            open();
            form->findChild<QTabWidget*>("Tabs")->setCurrentIndex(0);
            auto* box = form->findChild<QCheckBox*>("chkCheckLists");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(box->text(), "Check lists before scanning");
            EXPECT_EQ(box->isChecked(), stored);
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2)); // on its box
            EXPECT_EQ(box->isChecked(), !stored);
            EXPECT_EQ(settings.CheckListsBeforeScanning(), stored); // nothing before OK

            press(button);
            const bool expected = QByteArray(button) == "cmdOK" ? !stored : stored;
            EXPECT_EQ(settings.CheckListsBeforeScanning(), expected);
            // A second settings object reads what went to the registry.
            Settings reread(registry, dir.filePath("other.cfg"));
            EXPECT_EQ(reread.CheckListsBeforeScanning(), expected);
        }
    }
}

TEST_F(SettingsFormTest, QueryLimitsOutsideTheBarStillOpen)
{
    for (const int stored : {5000, 3}) {
        settings.SaveOption("Max Queries", stored);
        settings.Refresh();
        ASSERT_EQ(settings.MaxQueries(), stored);
        open();
        EXPECT_EQ(form->findChild<QLabel*>("lblQueries")->text(), QString::number(stored) + " Queries");
        EXPECT_EQ(form->findChild<QScrollBar*>("hsbMaxQueries")->value(), stored > 800 ? 800 : 10);
        press("cmdOK");
        EXPECT_EQ(settings.MaxQueries(), stored > 800 ? 800 : 10);
    }
}

TEST_F(SettingsFormTest, TabsListAndAddButton)
{
    open();
    auto* tabs = form->findChild<QTabWidget*>("Tabs");
    auto* add = form->findChild<QPushButton*>("cmdAdd");
    tabs->setCurrentIndex(0);
    EXPECT_FALSE(add->isVisible());
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(add->isVisible());
    // Every opening starts on the general tab.
    SettingsForm fresh(settings, prompts);
    EXPECT_EQ(fresh.findChild<QTabWidget*>("Tabs")->currentIndex(), 0);
    EXPECT_TRUE(fresh.findChild<QPushButton*>("cmdAdd")->isHidden());

    // Name (or zone when none is stored), zone, enabled flag; in file order.
    EXPECT_EQ(column(1), QStringList({"Zen", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(column(2), QStringList({"zen.example", "bl.example", "dnsbl.example"}));
    EXPECT_TRUE(ticked(0) && ticked(1));
    EXPECT_FALSE(ticked(2));
    EXPECT_EQ(list()->columnWidth(0), form->fontMetrics().horizontalAdvance("XXXX"));
}

TEST_F(SettingsFormTest, CheckBoxesToggleInColumnZeroAndAreWrittenOnlyByOk)
{
    open();
    leftClick(1, 1);
    leftClick(1, 2);
    EXPECT_TRUE(ticked(1));
    leftClick(1, 0);
    leftClick(2, 0);
    EXPECT_FALSE(ticked(1));
    EXPECT_TRUE(ticked(2));
    EXPECT_TRUE(settings.BlacklistServers().Item("bl.example")->Enabled());
    press("cmdCancel");
    EXPECT_EQ(form->result(), QDialog::Rejected);
    EXPECT_TRUE(settings.BlacklistServers().Item("bl.example")->Enabled());
    EXPECT_FALSE(settings.BlacklistServers().Item("dnsbl.example")->Enabled());
    EXPECT_FALSE(QFile::exists(dir.filePath("Quarlo.cfg")));

    open();
    EXPECT_TRUE(ticked(1));
    leftClick(1, 0);
    press("cmdOK");
    EXPECT_FALSE(settings.BlacklistServers().Item("bl.example")->Enabled());
    const auto file = saved();
    ASSERT_EQ(file->Count(), 3);
    EXPECT_FALSE(file->Item("bl.example")->Enabled());
    EXPECT_TRUE(file->Item("zen.example")->Enabled());
    EXPECT_TRUE(savedText().contains("Enabled=\"FALSE\""));
}

TEST_F(SettingsFormTest, PopupOpensOnlyOverServerRows)
{
    open();
    QHeaderView* header = list()->horizontalHeader();
    EXPECT_FALSE(rightClick(header->viewport(), QPoint(header->sectionPosition(1) + 5, header->height() / 2)));
    const QPoint below(cellCentre(2, 1).x(), list()->viewport()->height() - 3);
    ASSERT_EQ(list()->rowAt(below.y()), -1);
    EXPECT_FALSE(rightClick(list()->viewport(), below));
    EXPECT_TRUE(rightClick(list()->viewport(), cellCentre(2, 0)));
}

TEST_F(SettingsFormTest, AddTakesTheEditorsEntriesAtOnce)
{
    open();
    form->setEditorRunner([this](AddEditServer& editor) {
        ++editorRuns;
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        if (editorRuns == 1) { // changes its mind
            QTest::keyClicks(drive.box("txtServerName"), "Abandoned");
            QTest::mouseClick(drive.button("cmdCancel"), Qt::LeftButton);
            return;
        }
        QTest::keyClicks(drive.box("txtServerName"), "New List");
        QTest::keyClick(drive.box("txtServerName"), Qt::Key_Tab);
        QTest::keyClicks(drive.box("txtServer"), "new.example");
        QTest::keyClick(drive.box("txtServer"), Qt::Key_Tab);
        QTest::keyClicks(drive.box("txtURL"), "new.example/");
        drive.box("txtURL")->setFocus();
        editor.findChild<QCheckBox*>("chkBitMapped")->click();
        ASSERT_TRUE(drive.addCode("127.0.0.2", "Listed"));
        ASSERT_TRUE(drive.addCode("127.0.0.8", "Dynamic"));
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });

    press("cmdAdd");
    EXPECT_EQ(list()->rowCount(), 3);
    EXPECT_EQ(settings.BlacklistServers().Count(), 3);

    command(0, "Add");
    ASSERT_EQ(editorRuns, 2);
    EXPECT_EQ(column(1).last(), "New List");
    EXPECT_EQ(column(2).last(), "new.example");
    EXPECT_TRUE(ticked(3));
    const ServerPtr added = settings.BlacklistServers().Item("new.example");
    ASSERT_TRUE(added);
    EXPECT_TRUE(added->Enabled()); // before OK
    EXPECT_EQ(added->StoredName(), "New List");
    EXPECT_EQ(added->URL(), "http://new.example/");
    EXPECT_TRUE(added->BitMapCodedResults());
    ASSERT_EQ(added->ResultCodes().Count(), 2);
    EXPECT_EQ(added->ResultCodes().Item("127.0.0.8")->Reason(), "Dynamic");
    EXPECT_FALSE(QFile::exists(dir.filePath("Quarlo.cfg")));
}

TEST_F(SettingsFormTest, AddingAHeldZoneKeepsTheFirstDefinition)
{
    open();
    form->setEditorRunner([](AddEditServer& editor) {
        editor.setServerName("Impostor");
        editor.setServer("ZEN.example");
    });
    press("cmdAdd");
    EXPECT_EQ(list()->rowCount(), 4);
    EXPECT_EQ(settings.BlacklistServers().Count(), 3);
    EXPECT_EQ(settings.BlacklistServers().Item("zen.example")->StoredName(), "Zen");

    // Once the server goes with its first row, the extra row finds nothing:
    // Edit ignores it and OK passes over it.
    command(0, "Delete");
    form->setEditorRunner([this](AddEditServer&) { ++editorRuns; });
    command(2, "Edit");
    EXPECT_EQ(editorRuns, 0);
    press("cmdOK");
    EXPECT_EQ(zones(*saved()), QStringList({"bl.example", "dnsbl.example"}));
}

TEST_F(SettingsFormTest, EditIsAppliedOnlyWhenTheEditorChangedSomething)
{
    open();
    const ServerPtr server = settings.BlacklistServers().Item("dnsbl.example");
    // Filled in before it is shown; values set by the program are no change.
    form->setEditorRunner([this](AddEditServer& editor) {
        ++editorRuns;
        EXPECT_EQ(editor.ServerName(), "dnsbl.example");
        EXPECT_EQ(editor.URL(), "https://dnsbl.example/");
        EXPECT_TRUE(editor.BitMapped());
        ResultCodes shown;
        editor.SyncResultCodes(shown);
        EXPECT_EQ(shown.Count(), 1);
        editor.setServerName("Ignored");
        editor.accept();
    });
    command(2, "Edit");
    EXPECT_EQ(editorRuns, 1);
    EXPECT_EQ(server->StoredName(), "");
    EXPECT_FALSE(ticked(2));

    form->setEditorRunner([](AddEditServer& editor) {
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        drive.retype("txtServerName", "DNSBL");
        drive.retype("txtURL", "http://www.dnsbl.example/");
        ASSERT_TRUE(drive.editCell(0, 1, "Open proxy"));
        editor.findChild<QCheckBox*>("chkBitMapped")->click();
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });
    command(2, "Edit");
    EXPECT_EQ(server->StoredName(), "DNSBL");
    EXPECT_EQ(server->URL(), "http://www.dnsbl.example/");
    EXPECT_FALSE(server->BitMapCodedResults());
    EXPECT_EQ(server->ResultCodes().Item("127.0.0.4")->Reason(), "Open proxy");
    EXPECT_EQ(column(1).at(2), "DNSBL");
    // The edit ticks the row, so OK enables the server.
    EXPECT_TRUE(ticked(2));
    EXPECT_FALSE(server->Enabled());
    press("cmdOK");
    EXPECT_TRUE(server->Enabled());
}

TEST_F(SettingsFormTest, NotAListingBoxTickedInTheEditorReachesTheFile)
{
    open();
    const ServerPtr server = settings.BlacklistServers().Item("zen.example");
    server->ResultCodes().Add("127.255.255.254", "Refused")->setListing(false);
    form->setEditorRunner([](AddEditServer& editor) {
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        EXPECT_FALSE(drive.notListing(0));
        EXPECT_TRUE(drive.notListing(1));
        // Ticking a box is the only change, and enough of one.
        drive.clickNotListing(0);
        drive.clickNotListing(1);
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });
    command(0, "Edit");
    EXPECT_FALSE(server->ResultCodes().Item("127.0.0.2")->Listing());
    EXPECT_TRUE(server->ResultCodes().Item("127.255.255.254")->Listing());

    press("cmdOK");
    const auto file = saved();
    ASSERT_NE(file->Item("zen.example"), nullptr);
    EXPECT_FALSE(file->Item("zen.example")->ResultCodes().Item("127.0.0.2")->Listing());
    EXPECT_TRUE(file->Item("zen.example")->ResultCodes().Item("127.255.255.254")->Listing());
    EXPECT_EQ(savedText().count("Listing=\"False\""), 1);
}

TEST_F(SettingsFormTest, EditedZoneStaysReachableAndReachesTheFile)
{
    open();
    const ServerPtr server = settings.BlacklistServers().Item("bl.example");
    form->setEditorRunner([](AddEditServer& editor) {
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        drive.retype("txtServer", "moved.example");
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });
    command(1, "Edit");
    EXPECT_EQ(settings.BlacklistServers().Item("moved.example"), server);
    EXPECT_FALSE(settings.BlacklistServers().Item("bl.example"));
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"zen.example", "moved.example", "dnsbl.example"}));
    EXPECT_EQ(column(2).at(1), "moved.example");

    // Later commands on the row find it under its new zone.
    leftClick(1, 0);
    press("cmdOK");
    EXPECT_FALSE(server->Enabled());
    const auto file = saved();
    EXPECT_EQ(zones(*file), QStringList({"zen.example", "moved.example", "dnsbl.example"}));
    EXPECT_FALSE(file->Item("moved.example")->Enabled());
}

TEST_F(SettingsFormTest, EditToAZoneHeldByAnotherServerReopensWithTheUsersEntries)
{
    open();
    const ServerPtr server = settings.BlacklistServers().Item("bl.example");
    // The first run clashes; the second finds every entry as typed and
    // either gives up or fixes the zone.
    bool fixZone = false;
    form->setEditorRunner([&](AddEditServer& editor) {
        ++editorRuns;
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        if (editorRuns % 2 == 1) {
            drive.retype("txtServerName", "Renamed");
            drive.retype("txtServer", "Zen.Example");
            ASSERT_TRUE(drive.editCell(0, 1, "Spam source"));
            ASSERT_TRUE(drive.addCode("127.0.0.9", "Added"));
            QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
            return;
        }
        EXPECT_EQ(QApplication::focusWidget(), drive.box("txtServer")); // the entry to correct
        EXPECT_EQ(editor.ServerName(), "Renamed");
        EXPECT_EQ(editor.Server(), "Zen.Example");
        EXPECT_EQ(drive.cell(0, 1), "Spam source");
        EXPECT_EQ(drive.cell(1, 0), "127.0.0.9");
        if (!fixZone) {
            QTest::mouseClick(drive.button("cmdCancel"), Qt::LeftButton);
            return;
        }
        drive.retype("txtServer", "renamed.example");
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });
    command(1, "Edit");
    EXPECT_EQ(editorRuns, 2);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Zen.Example is already in the list of blacklist servers.");
    EXPECT_EQ(prompts.messages[0].icon, UserPrompts::Icon::Exclamation);
    // Given up: nothing changed.
    EXPECT_EQ(server->Zone(), "bl.example");
    EXPECT_EQ(server->StoredName(), "");
    EXPECT_EQ(server->ResultCodes().Item("127.0.0.3")->Reason(), "Spam");
    EXPECT_EQ(settings.BlacklistServers().Item("zen.example")->StoredName(), "Zen");
    EXPECT_EQ(column(1), QStringList({"Zen", "bl.example", "dnsbl.example"}));
    EXPECT_EQ(column(2), QStringList({"zen.example", "bl.example", "dnsbl.example"}));

    fixZone = true;
    command(1, "Edit");
    EXPECT_EQ(editorRuns, 4);
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(settings.BlacklistServers().Item("renamed.example"), server);
    EXPECT_EQ(server->StoredName(), "Renamed");
    ASSERT_NE(server->ResultCodes().Item("127.0.0.3"), nullptr);
    EXPECT_EQ(server->ResultCodes().Item("127.0.0.3")->Reason(), "Spam source");
    ASSERT_NE(server->ResultCodes().Item("127.0.0.9"), nullptr);
    EXPECT_EQ(server->ResultCodes().Item("127.0.0.9")->Reason(), "Added");
    EXPECT_EQ(column(2).at(1), "renamed.example");

    // Its own zone in other letters is no conflict.
    form->setEditorRunner([](AddEditServer& editor) {
        ServerEditorDriver drive{editor};
        ASSERT_TRUE(drive.open());
        drive.retype("txtServer", "RENAMED.example");
        QTest::mouseClick(drive.button("cmdOK"), Qt::LeftButton);
    });
    command(1, "Edit");
    EXPECT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(settings.BlacklistServers().Item("renamed.example"), server);
    EXPECT_EQ(server->Zone(), "RENAMED.example");
}

TEST_F(SettingsFormTest, DeleteActsOnTheLiveCollectionAtOnce)
{
    open();
    command(0, "Delete");
    EXPECT_EQ(column(2), QStringList({"bl.example", "dnsbl.example"}));
    EXPECT_EQ(zones(settings.BlacklistServers()), QStringList({"bl.example", "dnsbl.example"}));
    press("cmdCancel");
    EXPECT_FALSE(settings.BlacklistServers().Item("zen.example"));
    EXPECT_FALSE(QFile::exists(dir.filePath("Quarlo.cfg")));

    open();
    command(1, "Delete");
    press("cmdOK");
    EXPECT_EQ(zones(*saved()), QStringList({"bl.example"}));
    EXPECT_FALSE(savedText().contains("dnsbl.example"));
}

TEST_F(SettingsFormTest, FailedSaveIsReportedAndKeepsTheDialogOpen)
{
    // The folder of the configuration file is a plain file: no writer gets past that.
    const QString blocker = dir.filePath("blocked");
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Settings blocked(registry, blocker + "/Quarlo.cfg");
    blocked.BlacklistServers().Add(makeServer("zen.example", true, {{"127.0.0.2", "Listed"}}));
    SettingsForm dialog(blocked, prompts);
    dialog.show();
    dialog.findChild<QTabWidget*>("Tabs")->setCurrentIndex(1);
    auto* servers = dialog.findChild<QTableWidget*>("lstServers");
    QTest::mouseClick(servers->viewport(), Qt::LeftButton, {},
                      servers->visualItemRect(servers->item(0, 0)).center());

    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(blocked.BlacklistServers().LastError().isEmpty());
    EXPECT_TRUE(prompts.messages[0].text.contains(blocked.BlacklistServers().LastError()));
    EXPECT_EQ(prompts.messages[0].icon, UserPrompts::Icon::Exclamation);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(blocked.BlacklistServers().Item("zen.example")->Enabled());

    // Once the folder is there, OK again saves and closes.
    ASSERT_TRUE(QFile::remove(blocker));
    ASSERT_TRUE(QDir(dir.path()).mkdir("blocked"));
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    Servers file(blocker + "/Quarlo.cfg");
    file.Refresh();
    ASSERT_NE(file.Item("zen.example"), nullptr);
    EXPECT_FALSE(file.Item("zen.example")->Enabled());
}

TEST_F(SettingsFormTest, SpaceTogglesTheCurrentRowsBox)
{
    open();
    list()->setFocus();
    list()->setCurrentCell(1, 2);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_FALSE(ticked(1));
    EXPECT_TRUE(ticked(0));
    QTest::keyClick(list(), Qt::Key_Down);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_TRUE(ticked(2));
    QTest::keyClick(list(), Qt::Key_Up);
    QTest::keyClick(list(), Qt::Key_Space);
    EXPECT_TRUE(ticked(1));
    // Only OK takes it over.
    EXPECT_FALSE(settings.BlacklistServers().Item("dnsbl.example")->Enabled());
    press("cmdOK");
    EXPECT_TRUE(settings.BlacklistServers().Item("dnsbl.example")->Enabled());
}

TEST_F(SettingsFormTest, TabOrderFollowsTheLayoutAndReachesTheQueryLimit)
{
    open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    auto* tabs = form->findChild<QTabWidget*>("Tabs");
    // The names of the controls Tab passes through, from the tab bar round to it again.
    const auto chain = [&] {
        QStringList names;
        tabs->tabBar()->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < 20; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            if (!now || now == tabs->tabBar()) break;
            names << now->objectName();
        }
        return names;
    };
    tabs->setCurrentIndex(0);
    EXPECT_EQ(chain(), QStringList({"hsbMaxQueries", "optExpansion1", "chkCheckLists", "txtDnsServers", "cmdOK",
                                    "cmdCancel"}));
    tabs->setCurrentIndex(1);
    EXPECT_EQ(chain(), QStringList({"lstServers", "cmdAdd", "cmdOK", "cmdCancel"}));

    // The bar works from the keyboard once it has the focus.
    tabs->setCurrentIndex(0);
    auto* bar = form->findChild<QScrollBar*>("hsbMaxQueries");
    bar->setFocus(Qt::TabFocusReason);
    const int before = bar->value();
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(bar->value(), before + 1);
    EXPECT_EQ(form->findChild<QLabel*>("lblQueries")->text(), QString::number(before + 1) + " Queries");
}

TEST_F(SettingsFormTest, AddedServerIsSelectedAndScrolledIntoView)
{
    for (int i = 0; i < 40; ++i)
        settings.BlacklistServers().Add(makeServer(QString("list%1.example").arg(i), true, {{"127.0.0.2", "Listed"}}));
    open();
    ASSERT_GT(list()->verticalScrollBar()->maximum(), 0);
    list()->scrollToTop();
    form->setEditorRunner([](AddEditServer& editor) {
        editor.setServerName("New List");
        editor.setServer("new.example");
    });
    press("cmdAdd");
    const int last = list()->rowCount() - 1;
    ASSERT_EQ(list()->item(last, 2)->text(), "new.example");
    EXPECT_EQ(list()->currentRow(), last);
    EXPECT_TRUE(list()->item(last, 1)->isSelected());
    EXPECT_TRUE(list()->viewport()->rect().contains(list()->visualItemRect(list()->item(last, 2))));
}

TEST_F(SettingsFormTest, DefaultSizeShowsTheDomainColumnWhole)
{
    settings.BlacklistServers().Add(makeServer("cbl.example", true, {{"127.0.0.2", "Listed"}}, false,
                                               "Example Composite Blocking List of Hosts"));
    for (int i = 0; i < 40; ++i)
        settings.BlacklistServers().Add(makeServer(QString("list%1.example").arg(i), true, {{"127.0.0.2", "Listed"}}));
    SettingsForm dialog(settings, prompts);
    dialog.show();
    dialog.findChild<QTabWidget*>("Tabs")->setCurrentIndex(1);
    auto* servers = dialog.findChild<QTableWidget*>("lstServers");
    ASSERT_TRUE(QTest::qWaitFor([&] { return servers->isVisible(); }, 10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(servers->verticalScrollBar()->isVisible());
    EXPECT_FALSE(servers->horizontalScrollBar()->isVisible());
    EXPECT_EQ(servers->horizontalScrollBar()->maximum(), 0);
    const int domainEnd = servers->columnViewportPosition(2) + servers->columnWidth(2);
    EXPECT_LE(domainEnd, servers->viewport()->width());
    EXPECT_GE(servers->columnWidth(2), dialog.fontMetrics().horizontalAdvance(QString(21, 'X')));
}

TEST_F(SettingsFormTest, DnsServersAreCheckedAndStoredByOk)
{
    struct Case {
        QString typed;
        bool accepted;
        QString stored;
    };
    const Case cases[] = {
        {"192.0.2.1", true, "192.0.2.1"},
        {" 192.0.2.1:5353 ,, [2001:db8::1]:53 ", true, "192.0.2.1:5353, [2001:db8::1]:53"},
        {"", true, ""},
        {"192.0.2.1, dns.example", false, ""},
        {"192.0.2.1:70000", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        settings.SaveOption("DNS Servers", "198.51.100.7");
        QFile::remove(dir.filePath("Quarlo.cfg"));
        prompts.messages.clear();
        open();
        form->findChild<QTabWidget*>("Tabs")->setCurrentIndex(1);
        auto* box = form->findChild<QLineEdit*>("txtDnsServers");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->text(), "198.51.100.7");
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, c.typed);
        press("cmdOK");
        if (c.accepted) {
            EXPECT_TRUE(prompts.messages.empty());
            EXPECT_FALSE(form->isVisible());
            EXPECT_EQ(settings.RetrieveOption("DNS Servers"), c.stored);
            continue;
        }
        // Refused before anything is written; the user is shown the field.
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_TRUE(prompts.messages[0].text.contains(c.typed.split(',').last().trimmed()));
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(form->findChild<QTabWidget*>("Tabs")->currentIndex(), 0);
        EXPECT_EQ(form->focusWidget(), box);
        EXPECT_EQ(settings.RetrieveOption("DNS Servers"), "198.51.100.7");
        EXPECT_FALSE(QFile::exists(dir.filePath("Quarlo.cfg")));
        press("cmdCancel");
        EXPECT_EQ(settings.RetrieveOption("DNS Servers"), "198.51.100.7");
    }
    open();
    const QString hint = form->findChild<QLabel*>("lblDnsServersHint")->text();
    EXPECT_TRUE(hint.contains("public resolvers", Qt::CaseInsensitive));
    EXPECT_TRUE(hint.contains("next start", Qt::CaseInsensitive));
}

TEST_F(SettingsFormTest, OptionsTheStoreRefusesAreReported)
{
    open();
    backend.failWrites = true;
    form->findChild<QCheckBox*>("chkCheckLists")->setChecked(!settings.CheckListsBeforeScanning());
    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_TRUE(prompts.messages[0].text.startsWith("Cannot save the option \"Check Lists Before Scanning\""))
        << prompts.messages[0].text.toStdString();
    EXPECT_EQ(prompts.messages[0].icon, UserPrompts::Icon::Exclamation);

    // A store that takes the write again says nothing.
    backend.failWrites = false;
    prompts.messages.clear();
    open();
    form->findChild<QCheckBox*>("chkCheckLists")->setChecked(!settings.CheckListsBeforeScanning());
    QTest::mouseClick(form->findChild<QPushButton*>("cmdOK"), Qt::LeftButton);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SettingsFormTest, KindColumnShowsAndTheEditorChangesEachListsKind)
{
    settings.BlacklistServers().Item("zen.example")->setAnswersIPv6(true);
    settings.BlacklistServers().Item("dnsbl.example")->setKind(Server::ListKind::DomainList);
    open();
    EXPECT_EQ(column(3), QStringList({"IP list, IPv6", "IP list", "Domain list"}));

    // The editor opens with the list's kind and hands back what was chosen.
    bool sawIPv6 = false;
    form->setEditorRunner([&](AddEditServer& editor) {
        sawIPv6 = editor.AnswersIPv6();
        editor.findChild<QComboBox*>("cboListKind")->setCurrentIndex(1);
    });
    command(0, "Edit");
    EXPECT_TRUE(sawIPv6);
    const ServerPtr zen = settings.BlacklistServers().Item("zen.example");
    EXPECT_TRUE(zen->IsDomainList());
    EXPECT_FALSE(zen->AnswersIPv6());
    EXPECT_EQ(column(3).at(0), "Domain list");

    form->setEditorRunner([](AddEditServer& editor) {
        editor.setServer("six.example");
        editor.findChild<QCheckBox*>("chkIPv6")->setChecked(true);
    });
    press("cmdAdd");
    const ServerPtr six = settings.BlacklistServers().Item("six.example");
    ASSERT_TRUE(six);
    EXPECT_TRUE(six->AnswersIPv6());
    EXPECT_FALSE(six->IsDomainList());
    EXPECT_EQ(column(3).last(), "IP list, IPv6");
}
