#include "common/Registry.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeDirectDns.h"
#include "support/FakeDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "ui/ResultsTable.h"
#include "ui/SkullIcon.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

constexpr int kTarget = ResultsTable::kTargetColumn;
constexpr int kReason = ResultsTable::kReasonColumn;
constexpr int kUrl = ResultsTable::kUrlColumn;

class ResultsTableTest : public ::testing::Test {
protected:
    ResultsTableTest() : registry(backend), settings(registry, dir.filePath("none.cfg"))
    {
        auto direct = std::make_unique<FakeDirectDns>();
        directDns = direct.get();
        list = std::make_unique<Addresslist>(settings, dns, std::move(direct));
        settings.BlacklistServers().Add(makeServer(
            "a.test", true, {{"127.0.0.2", "Spam source"}, {"127.0.0.3", "Open proxy"}, {"127.0.0.4", "Dynamic range"}},
            false, "Alpha List"));
        settings.BlacklistServers().Add(makeServer("b.test", true, {{"127.0.0.2", "Beta listed"}}, false, "Beta List"));
        settings.BlacklistServers().Add(makeServer("c.test", true, {{"127.0.0.2", "Gamma listed"}}, false, "Gamma List"));
        table = std::make_unique<ResultsTable>(*list);
        // Wired as the window wires it.
        QObject::connect(list.get(), &Addresslist::AddAddress, table.get(), &ResultsTable::UpdateRow);
        QObject::connect(list.get(), &Addresslist::UpdateAddress, table.get(), &ResultsTable::UpdateRow);
        QObject::connect(list.get(), &Addresslist::DeleteAddress, table.get(),
                         [this](const AddressPtr& address) { table->RemoveAddress(address->Key()); });
    }

    // Starts a scan and sends the first pass of queries.
    void scan()
    {
        list->StartScan();
        list->Tick();
        table->RefreshData();
    }

    void reply(const QString& target, const QString& zone, const QString& answer, int flag = 0)
    {
        ASSERT_TRUE(dns.answer(target + ":BlacklistCheck:" + zone, answer, flag)) << target.toStdString() << " " << zone.toStdString();
    }

    QStringList topLevelKeys() const
    {
        QStringList keys;
        for (int row = 0; row < table->model()->rowCount(); ++row) keys << table->KeyAt(table->model()->index(row, 0));
        return keys;
    }

    QStringList childKeys(const QString& key) const
    {
        QStringList keys;
        const QModelIndex parent = table->IndexOfKey(key);
        for (int row = 0; row < table->model()->rowCount(parent); ++row)
            keys << table->KeyAt(table->model()->index(row, 0, parent));
        return keys;
    }

    void showTable()
    {
        table->resize(1600, 500);
        table->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(table.get()));
    }

    void click(const QString& key, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QModelIndex index = table->IndexOfKey(key, column);
        ASSERT_TRUE(index.isValid()) << key.toStdString();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(index).center());
    }

    QTemporaryDir dir;
    MemoryRegistryBackend backend;
    Registry registry;
    Settings settings;
    FakeDnsLookup dns;
    FakeDirectDns* directDns = nullptr;
    std::unique_ptr<Addresslist> list;
    std::unique_ptr<ResultsTable> table;
};

} // namespace

TEST_F(ResultsTableTest, AddressRowFollowsTheScanState)
{
    // Five addresses of three queries each against a limit of ten: the
    // first three send all theirs, the fourth stops halfway, the fifth waits.
    settings.setMaxQueries(10);
    for (int i = 1; i <= 5; ++i) list->AddTarget(QString("192.0.2.%1").arg(i));
    list->AddTarget("host.example");
    scan();
    EXPECT_EQ(table->CellText("192.0.2.1", kTarget), "192.0.2.1");
    EXPECT_EQ(table->IndexOfKey("192.0.2.1").data(Qt::FontRole).value<QFont>().pointSize(), 10);
    EXPECT_EQ(table->CellText("192.0.2.3", kReason), "Not on any Blacklist");
    EXPECT_EQ(table->CellColor("192.0.2.3", kReason), QColor(0, 128, 0));
    EXPECT_FALSE(table->CellBold("192.0.2.3", kReason));
    EXPECT_EQ(table->CellText("192.0.2.4", kReason), "Scanning ...");
    EXPECT_EQ(table->CellColor("192.0.2.4", kReason), QColor(0, 0, 200));
    EXPECT_EQ(table->CellText("192.0.2.5", kReason), "");
    EXPECT_EQ(table->CellColor("192.0.2.5", kReason), QColor(0, 0, 0));

    reply("192.0.2.1", "a.test", "127.0.0.2");
    EXPECT_EQ(table->CellText("192.0.2.1", kReason), "Blacklisted by 1 servers");
    EXPECT_EQ(table->CellColor("192.0.2.1", kReason), QColor(255, 0, 0));
    EXPECT_TRUE(table->CellBold("192.0.2.1", kReason));
    reply("192.0.2.1", "c.test", "127.0.0.2");
    EXPECT_EQ(table->CellText("192.0.2.1", kReason), "Blacklisted by 2 servers");

    // A resolved host name shows its address beside it.
    list->StopScan();
    const AddressPtr host = list->Item("host.example");
    host->ProcessDNSReply({"host.example", "LookupIP"}, "host.example", "198.51.100.9");
    table->UpdateRow(host);
    EXPECT_EQ(table->CellText("host.example", kTarget), "host.example (198.51.100.9)");
    EXPECT_EQ(table->CellText("host.example", kReason), "Not on any Blacklist");
    EXPECT_EQ(table->AddressRowCount(), 6);
}

TEST_F(ResultsTableTest, CleanAddressIsWrittenOnce)
{
    const AddressPtr address = list->AddTarget("192.0.2.9");
    scan();
    ASSERT_EQ(table->CellText("192.0.2.9", kReason), "Not on any Blacklist");

    QSignalSpy changed(table->model(), &QAbstractItemModel::dataChanged);
    table->UpdateRow(address);
    reply("192.0.2.9", "a.test", "", 3); // a negative reply raises another update
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(table->CellText("192.0.2.9", kReason), "Not on any Blacklist");
    EXPECT_EQ(table->CellColor("192.0.2.9", kReason), QColor(0, 128, 0));
    EXPECT_FALSE(table->CellBold("192.0.2.9", kReason));
}

TEST_F(ResultsTableTest, ServerAndAnswerRowsCarryTheirTextsAndStyles)
{
    list->AddTarget("192.0.2.7");
    scan();
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3 127.0.0.4");
    reply("192.0.2.7", "b.test", "127.0.0.2");

    EXPECT_EQ(childKeys("192.0.2.7"), QStringList({"192.0.2.7:a.test", "192.0.2.7:b.test"}));
    EXPECT_EQ(childKeys("192.0.2.7:a.test"),
              QStringList({"192.0.2.7:a.test:127.0.0.2", "192.0.2.7:a.test:127.0.0.3", "192.0.2.7:a.test:127.0.0.4"}));

    const QString server = "192.0.2.7:a.test";
    EXPECT_EQ(table->CellText(server, kTarget), "Alpha List");
    EXPECT_EQ(table->CellText(server, kReason), "   Received 3 reasons");
    EXPECT_EQ(table->CellText("192.0.2.7:b.test", kReason), "   Received 1 reason");
    EXPECT_EQ(table->CellText(server, kUrl), "https://a.test/");
    EXPECT_EQ(table->CellColor(server, kUrl), QColor(0, 0, 255));
    EXPECT_TRUE(table->CellUnderline(server, kUrl));
    for (int column : {kTarget, kReason, kUrl})
        EXPECT_EQ(table->IndexOfKey(server, column).data(Qt::BackgroundRole).value<QBrush>().color(),
                  QColor(255, 240, 240));
    EXPECT_FALSE(table->IndexOfKey(server, kTarget).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(table->IndexOfKey(server, kReason).data(Qt::DecorationRole).isValid());

    const QString answer = "192.0.2.7:a.test:127.0.0.3";
    EXPECT_EQ(table->CellText(answer, kTarget), "   127.0.0.3");
    EXPECT_EQ(table->CellText(answer, kReason), "      Open proxy");
    EXPECT_EQ(table->CellColor(answer, kReason), QColor(200, 0, 0));
    EXPECT_EQ(table->CellToolTip(answer, kReason), "DNS returned the response of 127.0.0.3");
    EXPECT_EQ(table->CellToolTip(answer, kTarget), "");
    EXPECT_EQ(table->CellToolTip(answer, kUrl), "");
    EXPECT_EQ(table->CellToolTip(server, kReason), "");
    EXPECT_EQ(table->CellText(answer, kUrl), "      ");
    EXPECT_FALSE(table->IndexOfKey(answer).data(Qt::BackgroundRole).isValid());

    // Keys are found in any letter case, as the list finds its addresses.
    EXPECT_EQ(table->IndexOfKey("192.0.2.7:A.TEST:127.0.0.3"), table->IndexOfKey(answer));
    EXPECT_FALSE(table->IndexOfKey("192.0.2.7:a.test:127.0.0.9").isValid());
}

TEST_F(ResultsTableTest, TxtArrivingLaterFillsTheExistingRow)
{
    list->AddTarget("192.0.2.7");
    scan();
    reply("192.0.2.7", "a.test", "127.0.0.2");
    const QString answer = "192.0.2.7:a.test:127.0.0.2";
    ASSERT_TRUE(table->IndexOfKey(answer).isValid());

    QSignalSpy inserted(table->model(), &QAbstractItemModel::rowsInserted);
    directDns->reply("192.0.2.7:TXTRECORD:a.test:127.0.0.2", "7.2.0.192.a.test.",
                     {{"Listed, see http://a.test/?ip=192.0.2.7", DnsRecord::TXT}});
    EXPECT_EQ(table->CellText(answer, kUrl), "      Listed, see http://a.test/?ip=192.0.2.7");
    EXPECT_EQ(table->CellText(answer, kReason), "      Spam source");
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(childKeys("192.0.2.7:a.test"), QStringList({answer}));
}

TEST_F(ResultsTableTest, ServerGoneFromTheSettingsLeavesTheUrlEmpty)
{
    list->AddTarget("192.0.2.7");
    scan();
    reply("192.0.2.7", "c.test", "127.0.0.2");
    settings.BlacklistServers().Remove("c.test");

    table->GridReset();
    table->RefreshData();
    EXPECT_EQ(table->CellText("192.0.2.7:c.test", kTarget), "Gamma List");
    EXPECT_EQ(table->CellText("192.0.2.7:c.test", kUrl), "");
    EXPECT_EQ(table->CellText("192.0.2.7:c.test:127.0.0.2", kReason), "      Gamma listed");
}

TEST_F(ResultsTableTest, ExpansionLevelDecidesWhatNewRowsShow)
{
    for (const char* target : {"192.0.2.1", "192.0.2.2", "192.0.2.3"}) list->AddTarget(target);
    scan();

    // Level 0: the address closes over its first server, the server over
    // its answers. Level 1: servers shown, answers hidden. Level 2:
    // everything shown.
    settings.setExpansionLevel(0);
    reply("192.0.2.1", "a.test", "127.0.0.2");
    EXPECT_FALSE(table->IsExpanded("192.0.2.1"));
    EXPECT_FALSE(table->IsExpanded("192.0.2.1:a.test"));

    settings.setExpansionLevel(1);
    reply("192.0.2.2", "a.test", "127.0.0.2");
    EXPECT_TRUE(table->IsExpanded("192.0.2.2"));
    EXPECT_FALSE(table->IsExpanded("192.0.2.2:a.test"));

    settings.setExpansionLevel(2);
    reply("192.0.2.3", "a.test", "127.0.0.2 127.0.0.3");
    EXPECT_TRUE(table->IsExpanded("192.0.2.3"));
    EXPECT_TRUE(table->IsExpanded("192.0.2.3:a.test"));

    // Once a row has children the user's choice stands, whatever the level.
    settings.setExpansionLevel(0);
    table->setExpanded(table->IndexOfKey("192.0.2.1"), true);
    table->setExpanded(table->IndexOfKey("192.0.2.3"), false);
    reply("192.0.2.1", "b.test", "127.0.0.2");
    reply("192.0.2.3", "b.test", "127.0.0.2");
    EXPECT_TRUE(table->IsExpanded("192.0.2.1"));
    EXPECT_FALSE(table->IsExpanded("192.0.2.1:b.test")); // new server, level 0
    EXPECT_FALSE(table->IsExpanded("192.0.2.3"));
    settings.setExpansionLevel(2);
    reply("192.0.2.3", "c.test", "127.0.0.2");
    EXPECT_FALSE(table->IsExpanded("192.0.2.3"));

    // A server the user opened stays open as more answers come in.
    table->setExpanded(table->IndexOfKey("192.0.2.2:a.test"), true);
    settings.setExpansionLevel(0);
    list->Item("192.0.2.2")->ProcessDNSReply({"192.0.2.2", "BlacklistCheck", "a.test"}, "", "127.0.0.4");
    EXPECT_EQ(childKeys("192.0.2.2:a.test").size(), 2);
    EXPECT_TRUE(table->IsExpanded("192.0.2.2:a.test"));
}

TEST_F(ResultsTableTest, ExpansionSurvivesTheLastChildBeingRemoved)
{
    for (const char* target : {"192.0.2.1", "192.0.2.2"}) list->AddTarget(target);
    scan();
    settings.setExpansionLevel(0);
    reply("192.0.2.1", "a.test", "127.0.0.2");
    settings.setExpansionLevel(2);
    reply("192.0.2.2", "a.test", "127.0.0.2");
    ASSERT_FALSE(table->IsExpanded("192.0.2.1"));
    ASSERT_TRUE(table->IsExpanded("192.0.2.2"));

    // Whatever way the user went about it (these two need not say so), the
    // state outlives the rows that gave the row its expander.
    table->expandAll();
    table->collapse(table->IndexOfKey("192.0.2.2"));
    table->RemoveRow("192.0.2.1:a.test");
    table->RemoveRow("192.0.2.2:a.test");
    EXPECT_TRUE(childKeys("192.0.2.1").isEmpty());
    reply("192.0.2.1", "b.test", "127.0.0.2"); // brings back a.test and adds b.test
    reply("192.0.2.2", "b.test", "127.0.0.2");
    EXPECT_EQ(childKeys("192.0.2.1").size(), 2);
    EXPECT_TRUE(table->IsExpanded("192.0.2.1"));
    EXPECT_FALSE(table->IsExpanded("192.0.2.2"));
}

TEST_F(ResultsTableTest, RemovingRowsTakesTheirSubtrees)
{
    list->AddTarget("192.0.2.1");
    list->AddTarget("192.0.2.2");
    scan();
    reply("192.0.2.1", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.1", "b.test", "127.0.0.2");
    reply("192.0.2.2", "a.test", "127.0.0.2");

    table->RemoveRow("192.0.2.1:A.test");
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:a.test").isValid());
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:a.test:127.0.0.3").isValid());
    EXPECT_EQ(childKeys("192.0.2.1"), QStringList({"192.0.2.1:b.test"}));
    EXPECT_EQ(list->Item("192.0.2.1")->RespondingServers().Count(), 2); // the grid only

    list->Remove("192.0.2.1");
    EXPECT_EQ(topLevelKeys(), QStringList({"192.0.2.2"}));
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:b.test").isValid());
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:b.test:127.0.0.2").isValid());
    // Rows after a removed one are still found at their new places.
    EXPECT_EQ(table->IndexOfKey("192.0.2.2:a.test:127.0.0.2").parent(), table->IndexOfKey("192.0.2.2:a.test"));
    EXPECT_EQ(table->IndexOfKey("192.0.2.2").row(), 0);
    table->RemoveAddress("192.0.2.2:a.test"); // not an address row
    EXPECT_TRUE(table->IndexOfKey("192.0.2.2:a.test").isValid());
}

TEST_F(ResultsTableTest, ResetAndRefreshShowTheListInOrder)
{
    for (const char* target : {"192.0.2.1", "mail.example", "192.0.2.2"}) list->AddTarget(target);
    list->Remove("mail.example");
    list->AddTarget("mail.example");
    EXPECT_EQ(topLevelKeys(), QStringList({"192.0.2.1", "192.0.2.2", "mail.example"}));

    table->GridReset();
    EXPECT_EQ(table->AddressRowCount(), 0);
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1").isValid());
    list->Remove("192.0.2.1");
    list->AddTarget("192.0.2.1");
    table->GridReset();
    table->RefreshData();
    table->RefreshData(); // refreshing again adds nothing
    EXPECT_EQ(topLevelKeys(), QStringList({"192.0.2.2", "mail.example", "192.0.2.1"}));

    EXPECT_EQ(table->model()->headerData(0, Qt::Horizontal).toString(), "Target");
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "Reason(s) for being Blacklisted");
    EXPECT_EQ(table->model()->headerData(2, Qt::Horizontal).toString(), "URL");
}

TEST_F(ResultsTableTest, GeometryFollowsTheFont)
{
    settings.setExpansionLevel(2);
    list->AddTarget("192.0.2.1");
    scan();
    reply("192.0.2.1", "a.test", "127.0.0.2");
    directDns->reply("192.0.2.1:TXTRECORD:a.test:127.0.0.2", "1.2.0.192.a.test.",
                     {{"First line\r\nsecond line\nthird line", DnsRecord::TXT}});
    showTable();

    const QFontMetrics metrics(table->font());
    const int x = metrics.horizontalAdvance(QLatin1Char('X'));
    EXPECT_EQ(table->columnWidth(kTarget), 38 * x);
    EXPECT_EQ(table->columnWidth(kReason), 40 * x);
    EXPECT_EQ(table->columnWidth(kUrl), 40 * x);
    EXPECT_EQ(table->header()->height(), qRound(2.5 * metrics.height()));
    const int addressHeight = table->visualRect(table->IndexOfKey("192.0.2.1")).height();
    const int serverHeight = table->visualRect(table->IndexOfKey("192.0.2.1:a.test")).height();
    EXPECT_GE(addressHeight, qRound(1.5 * metrics.height()));
    EXPECT_GT(addressHeight, serverHeight);
    // Text with line breaks stays on one line.
    EXPECT_LT(table->visualRect(table->IndexOfKey("192.0.2.1:a.test:127.0.0.2")).height(), 2 * metrics.height());
}

TEST_F(ResultsTableTest, SelectionCoversTheShownRowsBetweenItsEnds)
{
    settings.setExpansionLevel(2);
    for (const char* target : {"192.0.2.1", "192.0.2.2", "192.0.2.3"}) list->AddTarget(target);
    scan();
    reply("192.0.2.2", "a.test", "127.0.0.2");
    reply("192.0.2.3", "b.test", "127.0.0.2");
    auto* selection = table->selectionModel();

    // From the second address's status to the answer under it, two columns.
    selection->select(QItemSelection(table->IndexOfKey("192.0.2.2", kReason), table->IndexOfKey("192.0.2.2", kUrl)),
                      QItemSelectionModel::ClearAndSelect);
    selection->select(table->IndexOfKey("192.0.2.2:a.test:127.0.0.2", kReason), QItemSelectionModel::Select);
    EXPECT_EQ(table->SelectedKeys(),
              QStringList({"192.0.2.2", "192.0.2.2:a.test", "192.0.2.2:a.test:127.0.0.2"}));
    EXPECT_EQ(table->SelectionText(),
              "Blacklisted by 1 servers\t\r\n   Received 1 reason\thttps://a.test/\r\n      Spam source\t      ");

    // Rows under a collapsed row are not shown and so not included.
    table->collapse(table->IndexOfKey("192.0.2.2"));
    selection->select(table->IndexOfKey("192.0.2.1"), QItemSelectionModel::ClearAndSelect);
    selection->select(table->IndexOfKey("192.0.2.3"), QItemSelectionModel::Select);
    EXPECT_EQ(table->SelectedKeys(), QStringList({"192.0.2.1", "192.0.2.2", "192.0.2.3"}));
    EXPECT_EQ(table->SelectionText(), "192.0.2.1\r\n192.0.2.2\r\n192.0.2.3");

    table->SelectAll();
    EXPECT_EQ(table->SelectedKeys(), QStringList({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.3:b.test",
                                                  "192.0.2.3:b.test:127.0.0.2"}));
    EXPECT_TRUE(selection->isSelected(table->IndexOfKey("192.0.2.3:b.test:127.0.0.2", kUrl)));
    EXPECT_TRUE(table->SelectionText().startsWith("192.0.2.1\tNot on any Blacklist\t\r\n"));

    selection->clearSelection();
    EXPECT_TRUE(table->SelectedKeys().isEmpty());
    EXPECT_EQ(table->SelectionText(), "");
}

TEST_F(ResultsTableTest, LinksAreTakenFromTheText)
{
    EXPECT_EQ(ResultsTable::LinkFromText("https://a.test/"), "https://a.test/");
    EXPECT_EQ(ResultsTable::LinkFromText("      Listed, see HTTP://a.test/q?ip=1 for details"), "HTTP://a.test/q?ip=1");
    EXPECT_EQ(ResultsTable::LinkFromText("see Https://b.test/x"), "Https://b.test/x");
    // The earlier of the two schemes wins.
    EXPECT_EQ(ResultsTable::LinkFromText("https://one.test/ and http://two.test/"), "https://one.test/");
    // Line breaks inside the address are dropped before the cut.
    EXPECT_EQ(ResultsTable::LinkFromText("info:\r\nhttp://c.test/very/\r\nlong/path more"),
              "http://c.test/very/long/path");
    EXPECT_EQ(ResultsTable::LinkFromText("no link here"), "");
    EXPECT_EQ(ResultsTable::LinkFromText("ftp://d.test/"), "");
}

TEST_F(ResultsTableTest, ClickOnALinkInTheUrlColumnRaisesLinkClicked)
{
    settings.setExpansionLevel(2);
    list->AddTarget("192.0.2.7");
    scan();
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    directDns->reply("192.0.2.7:TXTRECORD:a.test:127.0.0.2", "7.2.0.192.a.test.",
                     {{"Listed; see hTTps://a.test/lookup?ip=192.0.2.7 for details", DnsRecord::TXT}});
    directDns->reply("192.0.2.7:TXTRECORD:a.test:127.0.0.3", "7.2.0.192.a.test.",
                     {{"Listed without a web page", DnsRecord::TXT}});
    showTable();
    QSignalSpy links(table.get(), &ResultsTable::LinkClicked);

    click("192.0.2.7:a.test", kUrl);
    click("192.0.2.7:a.test:127.0.0.2", kUrl);
    ASSERT_EQ(links.count(), 2);
    EXPECT_EQ(links.at(0).at(0).toString(), "https://a.test/");
    EXPECT_EQ(links.at(1).at(0).toString(), "hTTps://a.test/lookup?ip=192.0.2.7");

    links.clear();
    click("192.0.2.7:a.test:127.0.0.3", kUrl); // no address in the text
    click("192.0.2.7:a.test", kReason);        // not the URL column
    EXPECT_EQ(links.count(), 0);

    // A selection running down the URL column still opens the link; one
    // spanning rows and columns at once does not.
    click("192.0.2.7:a.test", kUrl);
    click("192.0.2.7:b.test", kUrl, Qt::ShiftModifier);
    ASSERT_EQ(links.count(), 2);
    EXPECT_EQ(links.at(1).at(0).toString(), "https://b.test/");
    links.clear();
    click("192.0.2.7", kTarget);
    click("192.0.2.7:b.test", kUrl, Qt::ControlModifier);
    EXPECT_EQ(links.count(), 0);
}

namespace {

// Records where the viewport gets painted.
class PaintRecorder : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) painted += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
    QRegion painted;
};

} // namespace

TEST_F(ResultsTableTest, ChangesRepaintTheRowsInSight)
{
    for (int i = 0; i < 300; ++i) list->AddTarget(QString("10.0.1.%1").arg(i));
    showTable();
    QCoreApplication::processEvents();
    PaintRecorder recorder;
    table->viewport()->installEventFilter(&recorder);

    // Sending its queries makes an address complete: its status changes.
    const AddressPtr near = list->Item("10.0.1.2");
    near->BlacklistCheck();
    table->UpdateRow(near);
    QCoreApplication::processEvents();
    ASSERT_EQ(table->CellText("10.0.1.2", kReason), "Not on any Blacklist");
    EXPECT_TRUE(recorder.painted.intersects(table->visualRect(table->IndexOfKey("10.0.1.2", kReason))));

    recorder.painted = QRegion();
    const AddressPtr far = list->Item("10.0.1.250");
    far->BlacklistCheck();
    table->UpdateRow(far);
    QCoreApplication::processEvents();
    EXPECT_EQ(table->CellText("10.0.1.250", kReason), "Not on any Blacklist");
    EXPECT_TRUE(recorder.painted.isEmpty());
}

TEST_F(ResultsTableTest, SkullIsDrawnClear)
{
    // A light skull with dark eye sockets on a see-through ground, at any size.
    for (const int size : {16, 32}) {
        const QImage skull = SkullPixmap(size).toImage();
        const auto at = [&](double x, double y) { return skull.pixelColor(int(x * size / 16), int(y * size / 16)); };
        EXPECT_EQ(at(0, 15).alpha(), 0);
        EXPECT_GT(at(8, 3).lightness(), 200);  // forehead
        EXPECT_LT(at(5.4, 6.9).lightness(), 80); // left eye
        EXPECT_LT(at(10.6, 6.9).lightness(), 80);
    }
}

TEST_F(ResultsTableTest, LongListUpdatesOnlyTheChangedRows)
{
    settings.setExpansionLevel(2);
    constexpr int kCount = 10000;
    for (int i = 0; i < kCount; ++i) list->AddTarget(QString("10.0.%1.%2").arg(i / 256).arg(i % 256));
    table->GridReset();
    table->RefreshData();
    ASSERT_EQ(table->AddressRowCount(), kCount);
    showTable();

    QAbstractItemModel* model = table->model();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy layoutChanged(model, &QAbstractItemModel::layoutChanged);
    QSignalSpy aboutToChangeLayout(model, &QAbstractItemModel::layoutAboutToBeChanged);
    QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy inserted(model, &QAbstractItemModel::rowsInserted);
    // Every row the model reports, changed or added, must be one of the
    // address being updated.
    QStringList touched;
    QObject::connect(model, &QAbstractItemModel::dataChanged, table.get(),
                     [&](const QModelIndex& topLeft) { touched << table->KeyAt(topLeft); });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, table.get(),
                     [&](const QModelIndex& parent, int first, int last) {
                         for (int row = first; row <= last; ++row) touched << table->KeyAt(model->index(row, 0, parent));
                     });

    int position = 0;
    for (const AddressPtr& address : *list) {
        if (++position % 100 != 0) continue;
        touched.clear();
        address->BlacklistCheck(); // sends its queries: complete
        address->ProcessDNSReply({address->Key(), "BlacklistCheck", "a.test"}, "", "127.0.0.2 127.0.0.3");
        ASSERT_EQ(touched.size(), 4); // its status, one server, two answers
        for (const QString& key : touched)
            ASSERT_TRUE(key == address->Key() || key.startsWith(address->Key() + ":")) << key.toStdString();
        if (position % 1000 == 0) QCoreApplication::processEvents(); // let the view lay out and paint
    }
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(layoutChanged.count(), 0);
    EXPECT_EQ(aboutToChangeLayout.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(inserted.count(), (kCount / 100) * 3); // one server and two answers each
    EXPECT_EQ(table->AddressRowCount(), kCount);
    // The 1000th address (10.0.3.231) is one of those listed.
    EXPECT_EQ(table->IndexOfKey("10.0.3.231").row(), 999);
    EXPECT_EQ(table->CellText("10.0.3.231", kReason), "Blacklisted by 1 servers");
    EXPECT_EQ(table->CellText("10.0.3.231:a.test", kReason), "   Received 2 reasons");
    EXPECT_TRUE(table->IsExpanded("10.0.3.231:a.test"));
}
