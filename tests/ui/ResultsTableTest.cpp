#include "common/Registry.h"
#include "model/DnsFailure.h"
#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "support/FakeDirectDns.h"
#include "support/FakeDnsLookup.h"
#include "support/MemoryRegistryBackend.h"
#include "support/ModelBuilders.h"
#include "support/QtPrinters.h"
#include "ui/ResultsTable.h"
#include "ui/SkullIcon.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QIcon>
#include <QImage>
#include <QPaintEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <functional>
#include <gtest/gtest.h>

using namespace quarlo;

namespace {

constexpr int kTarget = ResultsTable::kTargetColumn;
constexpr int kReason = ResultsTable::kReasonColumn;
constexpr int kUrl = ResultsTable::kUrlColumn;
constexpr int kNoData = DnsFailure::NoData;
constexpr int kServFail = DnsFailure::ServerFailure;
constexpr int kNxDomain = DnsFailure::NotFound;
constexpr int kTimeout = DnsFailure::Timeout;

class ResultsTableTest : public ::testing::Test {
protected:
    ResultsTableTest() : registry(backend), settings(registry, dir.filePath("none.cfg"))
    {
        auto direct = std::make_unique<FakeDirectDns>();
        directDns = direct.get();
        list = std::make_unique<Addresslist>(settings, dns, std::move(direct));
        // Addresses ask every list at once; the tests before a scan have a
        // test of their own.
        settings.setCheckListsBeforeScanning(false);
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

    // Adds the targets, starts a scan and sends the first pass of queries.
    void scan(const QStringList& targets = {})
    {
        for (const QString& target : targets) list->AddTarget(target);
        list->StartScan();
        list->Tick();
        table->RefreshData();
    }

    // Marks an answer of the list as the operator's refusal, not a listing.
    void refuseWith(const QString& zone, const QString& address, const QString& reason)
    {
        const ResultCodePtr code = settings.BlacklistServers().Item(zone)->ResultCodes().Add(address, reason);
        ASSERT_TRUE(code);
        code->setListing(false);
    }

    void reply(const QString& target, const QString& zone, const QString& answer, int flag = 0)
    {
        ASSERT_TRUE(dns.answer(target + ":BlacklistCheck:" + zone, answer, flag)) << target.toStdString() << " " << zone.toStdString();
    }

    void txt(const QString& answerKey, const QString& text)
    {
        const QStringList parts = answerKey.split(':'); // address, zone, answer
        directDns->reply(parts[0] + ":TXTRECORD:" + parts[1] + ":" + parts[2], "", {{text, DnsRecord::TXT}});
    }

    // The keys of the rows under the row with that key; the address rows for no key.
    QStringList childKeys(const QString& key = {}) const
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

    // Resizes the shown table and waits until the window system agrees.
    void resizeTable(int width)
    {
        table->resize(width, 400);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->width() == width; }, 10000)) << table->width();
        QCoreApplication::processEvents();
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
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5", "host.example"});
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.3", zone, "", kNxDomain);
    const struct { const char* key; const char* text; QColor color; } states[] = {
        {"192.0.2.3", "Not on any Blacklist", QColor(0, 128, 0)},
        {"192.0.2.2", "Scanning ...", QColor(0, 0, 200)}, // every query out, no answer yet
        {"192.0.2.4", "Scanning ...", QColor(0, 0, 200)},
        {"192.0.2.5", "", QColor(0, 0, 0)}};
    for (const auto& state : states) {
        EXPECT_EQ(table->CellText(state.key, kReason), state.text) << state.key;
        EXPECT_EQ(table->CellColor(state.key, kReason), state.color) << state.key;
        EXPECT_FALSE(table->CellBold(state.key, kReason)) << state.key;
    }
    EXPECT_EQ(table->IndexOfKey("192.0.2.1").data(Qt::FontRole).value<QFont>().pointSize(), 10);

    // A clean result is final: written once, then left alone.
    QSignalSpy changed(table->model(), &QAbstractItemModel::dataChanged);
    table->UpdateRow(list->Item("192.0.2.3"));
    EXPECT_EQ(changed.count(), 0);

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
}

TEST_F(ResultsTableTest, AddressRowTellsWhyItIsNotClean)
{
    refuseWith("b.test", "127.0.0.255", "Query refused: public resolver");
    settings.BlacklistServers().Item("c.test")->setAnswersIPv6(true);
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5", "host.invalid", "2001:db8::1",
          "fe80::1%eth0"});
    // Listed by a, refused by b: one listing server, not two.
    reply("192.0.2.1", "a.test", "127.0.0.2");
    reply("192.0.2.1", "b.test", "127.0.0.255");
    reply("192.0.2.1", "c.test", "", kTimeout);
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.2", zone, "", kNoData);
    reply("192.0.2.3", "a.test", "", kTimeout);
    reply("192.0.2.3", "b.test", "", kNxDomain);
    reply("192.0.2.3", "c.test", "", kServFail);
    reply("192.0.2.4", "a.test", "", kNxDomain);
    reply("192.0.2.4", "b.test", "127.0.0.255");
    reply("192.0.2.4", "c.test", "", kNxDomain);
    reply("192.0.2.5", "a.test", "", kNxDomain);
    reply("2001:db8::1", "c.test", "", kNxDomain);
    ASSERT_TRUE(dns.answer("host.invalid:LookupIP", "", kTimeout));
    list->AddTarget("192.0.2.9"); // after the scan's passes: not reached

    const QColor red(255, 0, 0), green(0, 128, 0), blue(0, 0, 200), black(0, 0, 0);
    const QColor amber(176, 96, 0), grey(112, 112, 112);
    const struct {
        const char* key;
        const char* text;
        QColor color;
        bool bold;
        QStringList toolTip; // lines, in order; empty: no tooltip
    } rows[] = {
        {"192.0.2.1", "Blacklisted by 1 servers", red, true,
         {"Not every list answered:", "Beta List refused the query: Query refused: public resolver",
          "Gamma List: no usable answer (timed out)"}},
        {"192.0.2.2", "Not on any Blacklist", green, false, {}},
        {"192.0.2.3", "Not completely checked: 2 of 3 lists did not answer", amber, false,
         {"Alpha List: no usable answer (timed out)", "Gamma List: no usable answer (server failure (SERVFAIL))"}},
        {"192.0.2.4", "Not completely checked: 1 of 3 lists refused the query", amber, false,
         {"Beta List refused the query: Query refused: public resolver"}},
        {"192.0.2.5", "Scanning ...", blue, false, {}},
        {"host.invalid", "Host name not found", grey, false, {"Host name lookup: timed out"}},
        // Only one list answers IPv6: clean, but saying how far that goes.
        {"2001:db8::1",
         "Not on any Blacklist; IPv6: checked against 1 of 3 lists (the others do not support IPv6)", green, false,
         {"Alpha List: not applicable (does not answer IPv6 queries)",
          "Beta List: not applicable (does not answer IPv6 queries)"}},
        {"fe80::1%eth0",
         "Not checked: an IPv6 address with a zone index (%...) names a local interface; enter the address without it",
         grey, false, {}},
        {"192.0.2.9", "", black, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(table->CellText(row.key, kReason), row.text);
        EXPECT_EQ(table->CellColor(row.key, kReason), row.color);
        EXPECT_EQ(table->CellBold(row.key, kReason), row.bold);
        EXPECT_EQ(table->CellToolTip(row.key, kReason), row.toolTip.join('\n'));
    }
}

TEST_F(ResultsTableTest, RefusingServerRowHasNoSkullAndNoListingStyle)
{
    settings.setExpansionLevel(2);
    refuseWith("b.test", "127.0.0.255", "Query refused: public resolver");
    scan({"192.0.2.1"});
    reply("192.0.2.1", "a.test", "127.0.0.2");
    reply("192.0.2.1", "b.test", "127.0.0.255");
    txt("192.0.2.1:b.test:127.0.0.255", "Query refused: your DNS resolver is a public resolver. This is not a listing");
    EXPECT_EQ(childKeys("192.0.2.1"), QStringList({"192.0.2.1:a.test", "192.0.2.1:b.test"}));

    // The listing server as always, the refusing one without skull or tint.
    // Whether the row's icon draws anything (the refusing row's holds only
    // the place, so the names line up).
    const auto decorated = [&](const char* key) {
        const QImage icon = table->IndexOfKey(key, kTarget).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
        for (int y = 0; y < icon.height(); ++y)
            for (int x = 0; x < icon.width(); ++x)
                if (icon.pixelColor(x, y).alpha() > 0) return true;
        return false;
    };
    const auto background = [&](const char* key) { return table->IndexOfKey(key, kUrl).data(Qt::BackgroundRole); };
    EXPECT_TRUE(decorated("192.0.2.1:a.test"));
    EXPECT_EQ(background("192.0.2.1:a.test").value<QBrush>().color(), QColor(255, 240, 240));
    EXPECT_EQ(table->CellText("192.0.2.1:a.test", kReason), "   Received 1 reason");
    EXPECT_FALSE(decorated("192.0.2.1:b.test"));
    EXPECT_FALSE(background("192.0.2.1:b.test").isValid());

    const QColor amber(176, 96, 0);
    EXPECT_EQ(table->CellText("192.0.2.1:b.test", kReason), "   Query refused");
    EXPECT_EQ(table->CellColor("192.0.2.1:b.test", kReason), amber);
    EXPECT_EQ(table->CellText("192.0.2.1:b.test", kUrl), "https://b.test/");
    EXPECT_TRUE(table->CellUnderline("192.0.2.1:b.test", kUrl));
    const QString answer = "192.0.2.1:b.test:127.0.0.255";
    EXPECT_EQ(table->CellText(answer, kReason), "      Query refused: public resolver");
    EXPECT_EQ(table->CellColor(answer, kReason), amber);
    EXPECT_EQ(table->CellText(answer, kUrl),
              "      Query refused: your DNS resolver is a public resolver. This is not a listing");
    EXPECT_EQ(table->CellColor("192.0.2.1:a.test:127.0.0.2", kReason), QColor(200, 0, 0));

    // Tooltips name the list by its display name, or by its zone without one.
    EXPECT_EQ(table->CellToolTip(answer, kReason), "DNS returned the response of 127.0.0.255, by which Beta List "
                                                   "refuses the query. This is not a listing.");
    EXPECT_EQ(table->CellToolTip("192.0.2.1:b.test", kReason),
              "Beta List refused the query: Query refused: public resolver. This is not a listing.");
    settings.BlacklistServers().Item("b.test")->setName("");
    table->GridReset();
    table->RefreshData();
    EXPECT_TRUE(table->CellToolTip(answer, kReason).contains("by which b.test refuses"))
        << table->CellToolTip(answer, kReason).toStdString();
    EXPECT_EQ(table->CellText("192.0.2.1", kReason), "Blacklisted by 1 servers");
}

TEST_F(ResultsTableTest, ServerAndAnswerRowsCarryTheirTextsAndStyles)
{
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3 127.0.0.4");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    reply("192.0.2.7", "c.test", "127.0.0.2");
    EXPECT_EQ(childKeys("192.0.2.7"), QStringList({"192.0.2.7:a.test", "192.0.2.7:b.test", "192.0.2.7:c.test"}));
    EXPECT_EQ(childKeys("192.0.2.7:a.test"),
              QStringList({"192.0.2.7:a.test:127.0.0.2", "192.0.2.7:a.test:127.0.0.3", "192.0.2.7:a.test:127.0.0.4"}));

    const QString server = "192.0.2.7:a.test";
    EXPECT_EQ(table->CellText(server, kTarget), "Alpha List");
    EXPECT_EQ(table->CellText(server, kReason), "   Received 3 reasons");
    EXPECT_EQ(table->CellText("192.0.2.7:b.test", kReason), "   Received 1 reason");
    EXPECT_EQ(table->CellText(server, kUrl), "https://a.test/");
    EXPECT_EQ(table->CellColor(server, kUrl), QColor(0, 0, 255));
    EXPECT_TRUE(table->CellUnderline(server, kUrl));
    EXPECT_EQ(table->IndexOfKey(server, kUrl).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(255, 240, 240));
    EXPECT_FALSE(table->IndexOfKey(server, kTarget).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(table->IndexOfKey(server, kReason).data(Qt::DecorationRole).isValid());

    const QString answer = "192.0.2.7:a.test:127.0.0.3";
    EXPECT_EQ(table->CellText(answer, kTarget), "   127.0.0.3");
    EXPECT_EQ(table->CellText(answer, kReason), "      Open proxy");
    EXPECT_EQ(table->CellColor(answer, kReason), QColor(200, 0, 0));
    EXPECT_EQ(table->CellToolTip(answer, kReason), "DNS returned the response of 127.0.0.3");
    EXPECT_FALSE(table->IndexOfKey(answer).data(Qt::BackgroundRole).isValid());
    // Keys are found in any letter case, as the list finds its addresses.
    EXPECT_EQ(table->IndexOfKey("192.0.2.7:A.TEST:127.0.0.3"), table->IndexOfKey(answer));

    // TXT text arriving later fills the existing row.
    QSignalSpy inserted(table->model(), &QAbstractItemModel::rowsInserted);
    EXPECT_EQ(table->CellText(answer, kUrl), "      ");
    txt(answer, "Listed, see http://a.test/?ip=192.0.2.7");
    EXPECT_EQ(table->CellText(answer, kUrl), "      Listed, see http://a.test/?ip=192.0.2.7");
    EXPECT_EQ(inserted.count(), 0);

    // A server gone from the settings since has no home page.
    settings.BlacklistServers().Remove("c.test");
    table->GridReset();
    table->RefreshData();
    EXPECT_EQ(table->CellText("192.0.2.7:c.test", kTarget), "Gamma List");
    EXPECT_EQ(table->CellText("192.0.2.7:c.test", kUrl), "");
    EXPECT_EQ(table->CellText("192.0.2.7:c.test:127.0.0.2", kReason), "      Gamma listed");
    EXPECT_EQ(table->CellText("192.0.2.7:b.test", kUrl), "https://b.test/");
}

TEST_F(ResultsTableTest, ExpansionLevelDecidesWhatNewRowsShow)
{
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3"});
    // Level 0: the address closes over its first server, the server over
    // its answers. Level 1: servers shown, answers hidden. Level 2:
    // everything shown.
    for (int level : {0, 1, 2}) {
        const QString address = QString("192.0.2.%1").arg(level + 1);
        settings.setExpansionLevel(level);
        reply(address, "a.test", "127.0.0.2 127.0.0.3");
        EXPECT_EQ(table->IsExpanded(address), level >= 1) << level;
        EXPECT_EQ(table->IsExpanded(address + ":a.test"), level >= 2) << level;
    }

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
    EXPECT_EQ(childKeys("192.0.2.2:a.test").size(), 3);
    EXPECT_TRUE(table->IsExpanded("192.0.2.2:a.test"));

}

// What print and export receive: every row in grid order with its level,
// the user's folding, the grid's texts and styles, and the links a click
// would open.
TEST_F(ResultsTableTest, SnapshotIsTheGridAsShown)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.7", "192.0.2.8"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    reply("192.0.2.7", "c.test", "", kNxDomain);
    txt("192.0.2.7:a.test:127.0.0.2", "Listed, see http://a.test/?ip=192.0.2.7 today");
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.8", zone, "", kNxDomain);
    table->setExpanded(table->IndexOfKey("192.0.2.7:b.test"), false);

    const TableSnapshot snapshot = table->Snapshot();
    EXPECT_EQ(snapshot.headers, QStringList({"Target", "Reason(s) for being Blacklisted", "URL"}));
    ASSERT_EQ(snapshot.columnWidths.size(), 3);
    EXPECT_EQ(snapshot.columnWidths[0], table->columnWidth(0));

    struct Expect {
        int level;
        const char* target;
        bool shown;
        bool expanded;
    };
    const Expect rows[] = {{0, "192.0.2.7", true, true},        {1, "Alpha List", true, true},
                           {2, "   127.0.0.2", true, true},     {2, "   127.0.0.3", true, true},
                           {1, "Beta List", true, false},       {2, "   127.0.0.2", false, true},
                           {0, "192.0.2.8", true, true}};
    ASSERT_EQ(snapshot.rows.size(), std::size(rows));
    for (size_t i = 0; i < std::size(rows); ++i) {
        const SnapshotRow& row = snapshot.rows[i];
        EXPECT_EQ(row.level, rows[i].level) << i;
        EXPECT_EQ(row.cells.at(kTarget).text, rows[i].target) << i;
        EXPECT_EQ(row.shown, rows[i].shown) << i;
        if (row.hasChildren) EXPECT_EQ(row.expanded, rows[i].expanded) << i;
    }
    const SnapshotRow& address = snapshot.rows[0];
    EXPECT_EQ(address.cells[kReason].text, table->CellText("192.0.2.7", kReason));
    EXPECT_EQ(address.cells[kReason].color, table->CellColor("192.0.2.7", kReason));
    EXPECT_TRUE(address.cells[kReason].bold);
    // The listing server's row is tinted and links to its home page.
    const SnapshotRow& server = snapshot.rows[1];
    EXPECT_EQ(server.cells[kUrl].link, "https://a.test/");
    EXPECT_TRUE(server.cells[kUrl].underline);
    EXPECT_EQ(server.cells[kTarget].background, QColor(255, 240, 240));
    EXPECT_FALSE(snapshot.rows[2].cells[kTarget].background.isValid());
    // A link in a TXT text ends at the first blank, as a click takes it.
    EXPECT_EQ(snapshot.rows[2].cells[kUrl].link, "http://a.test/?ip=192.0.2.7");
    EXPECT_EQ(snapshot.rows[3].cells[kUrl].link, "");
    EXPECT_EQ(snapshot.rows[6].cells[kReason].text, "Not on any Blacklist");
}

TEST_F(ResultsTableTest, ExpansionSurvivesTheLastChildBeingRemoved)
{
    scan({"192.0.2.1", "192.0.2.2"});
    settings.setExpansionLevel(0);
    reply("192.0.2.1", "a.test", "127.0.0.2");
    settings.setExpansionLevel(2);
    reply("192.0.2.2", "a.test", "127.0.0.2");
    ASSERT_FALSE(table->IsExpanded("192.0.2.1"));

    // Whatever way the user went about it (these two need not say so), the
    // state outlives the rows that gave the row its expander.
    table->expandAll();
    table->collapse(table->IndexOfKey("192.0.2.2"));
    table->RemoveRow("192.0.2.1:a.test");
    table->RemoveRow("192.0.2.2:a.test");
    ASSERT_TRUE(childKeys("192.0.2.1").isEmpty());
    reply("192.0.2.1", "b.test", "127.0.0.2"); // brings back a.test and adds b.test
    reply("192.0.2.2", "b.test", "127.0.0.2");
    EXPECT_EQ(childKeys("192.0.2.1").size(), 2);
    EXPECT_TRUE(table->IsExpanded("192.0.2.1"));
    EXPECT_FALSE(table->IsExpanded("192.0.2.2"));
}

TEST_F(ResultsTableTest, RowsFollowTheListThroughRemovalsAndResets)
{
    scan({"192.0.2.1", "192.0.2.2"});
    reply("192.0.2.1", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.1", "b.test", "127.0.0.2");
    reply("192.0.2.2", "a.test", "127.0.0.2");

    table->RemoveRow("192.0.2.1:A.test");
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:a.test").isValid());
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:a.test:127.0.0.3").isValid());
    EXPECT_EQ(childKeys("192.0.2.1"), QStringList({"192.0.2.1:b.test"}));
    EXPECT_EQ(list->Item("192.0.2.1")->RespondingServers().Count(), 2); // the grid only

    list->Remove("192.0.2.1");
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2"}));
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:b.test").isValid());
    EXPECT_FALSE(table->IndexOfKey("192.0.2.1:b.test:127.0.0.2").isValid());
    // Rows after a removed one are still found at their new places.
    EXPECT_EQ(table->IndexOfKey("192.0.2.2:a.test:127.0.0.2").parent(), table->IndexOfKey("192.0.2.2:a.test"));
    EXPECT_EQ(table->IndexOfKey("192.0.2.2").row(), 0);
    table->RemoveAddress("192.0.2.2:a.test"); // not an address row
    EXPECT_TRUE(table->IndexOfKey("192.0.2.2:a.test").isValid());

    // An address added again goes to the end; a reset empties the grid and
    // a refresh, however often, brings back the list in its order.
    list->AddTarget("mail.example");
    list->AddTarget("192.0.2.1");
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2", "mail.example", "192.0.2.1"}));
    table->GridReset();
    EXPECT_EQ(table->AddressRowCount(), 0);
    table->RefreshData();
    table->RefreshData();
    EXPECT_EQ(childKeys(), QStringList({"192.0.2.2", "mail.example", "192.0.2.1"}));
    EXPECT_EQ(childKeys("192.0.2.2"), QStringList({"192.0.2.2:a.test"}));
}

TEST_F(ResultsTableTest, SelectionCoversTheShownRowsBetweenItsEnds)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3"});
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.1", zone, "", kNxDomain);
    reply("192.0.2.2", "a.test", "127.0.0.2");
    reply("192.0.2.3", "b.test", "127.0.0.2");
    auto* selection = table->selectionModel();

    // From the second address's status to the answer under it, two columns.
    selection->select(QItemSelection(table->IndexOfKey("192.0.2.2", kReason), table->IndexOfKey("192.0.2.2", kUrl)),
                      QItemSelectionModel::ClearAndSelect);
    selection->select(table->IndexOfKey("192.0.2.2:a.test:127.0.0.2", kReason), QItemSelectionModel::Select);
    EXPECT_EQ(table->SelectedKeys(), QStringList({"192.0.2.2", "192.0.2.2:a.test", "192.0.2.2:a.test:127.0.0.2"}));
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
    EXPECT_TRUE(table->SelectionText().startsWith(
        "Target\tReason(s) for being Blacklisted\tURL\r\n192.0.2.1\tNot on any Blacklist\t\r\n"));

    selection->clearSelection();
    EXPECT_EQ(table->SelectionText(), "");
}

TEST_F(ResultsTableTest, SelectAllMakesTheFirstCellCurrentAndCopiesTheHeaders)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.1", "192.0.2.2"});
    reply("192.0.2.2", "a.test", "127.0.0.2");
    showTable();
    const QStringList everyKey{"192.0.2.1", "192.0.2.2", "192.0.2.2:a.test", "192.0.2.2:a.test:127.0.0.2"};
    const QString headers = "Target\tReason(s) for being Blacklisted\tURL";

    // The window deletes only when the current cell is in the first column,
    // so select all must put it there wherever it was.
    const struct {
        const char* how;
        std::function<void()> selectAll;
    } ways[] = {
        {"keyboard", [&] { QTest::keyClick(table.get(), Qt::Key_A, Qt::ControlModifier); }},
        {"command", [&] { table->SelectAll(); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        click("192.0.2.2:a.test", kUrl);
        ASSERT_EQ(table->currentIndex(), table->IndexOfKey("192.0.2.2:a.test", kUrl));
        way.selectAll();
        EXPECT_EQ(table->currentIndex(), table->IndexOfKey("192.0.2.1", kTarget));
        EXPECT_EQ(table->SelectedKeys(), everyKey);
        for (const QString& key : everyKey)
            for (int column : {kTarget, kReason, kUrl})
                EXPECT_TRUE(table->selectionModel()->isSelected(table->IndexOfKey(key, column)))
                    << key.toStdString() << " " << column;
        const QStringList lines = table->SelectionText().split("\r\n");
        ASSERT_EQ(lines.size(), 5);
        EXPECT_EQ(lines.at(0), headers);
        EXPECT_EQ(lines.at(1), "192.0.2.1\tScanning ...\t");
    }

    // Every row but not every column is not the whole grid: no headers.
    table->selectionModel()->select(
        QItemSelection(table->IndexOfKey("192.0.2.1", kTarget), table->IndexOfKey("192.0.2.2", kReason)),
        QItemSelectionModel::ClearAndSelect);
    table->selectionModel()->select(table->IndexOfKey("192.0.2.2:a.test:127.0.0.2", kTarget),
                                    QItemSelectionModel::Select);
    EXPECT_TRUE(table->SelectionText().startsWith("192.0.2.1\tScanning ...\r\n"))
        << table->SelectionText().toStdString();
}

TEST_F(ResultsTableTest, LastColumnFillsTheViewAndNeverShrinksBelowItsWidth)
{
    scan({"192.0.2.1"});
    showTable();
    const int x = QFontMetrics(table->font()).horizontalAdvance(QLatin1Char('X'));
    const auto rightEdge = [&] { return table->header()->sectionViewportPosition(kUrl) + table->columnWidth(kUrl); };

    resizeTable(118 * x + 400);
    EXPECT_EQ(rightEdge(), table->viewport()->width());
    EXPECT_GT(table->columnWidth(kUrl), 40 * x);

    // A wider first column takes its room from the last one.
    const int before = table->columnWidth(kUrl);
    table->setColumnWidth(kTarget, 48 * x);
    EXPECT_EQ(table->columnWidth(kUrl), before - 10 * x);
    EXPECT_EQ(rightEdge(), table->viewport()->width());

    // Narrower than the columns: the last keeps its width and the view scrolls.
    resizeTable(60 * x);
    EXPECT_EQ(table->columnWidth(kUrl), 40 * x);

    resizeTable(118 * x + 400);
    table->GridReset();
    EXPECT_EQ(table->columnWidth(kTarget), 38 * x);
    EXPECT_EQ(rightEdge(), table->viewport()->width());
}

TEST_F(ResultsTableTest, CutTextShowsInFullAsTooltip)
{
    settings.setExpansionLevel(2);
    const QString longReason = "Listed for sending mail through " + QStringList(12, "a relay that was abused").join(", ");
    ASSERT_TRUE(settings.BlacklistServers().Item("a.test")->ResultCodes().Add("127.0.0.9", longReason));
    const QString longTxt = "Blocked, see http://a.test/lookup?ip=192.0.2.7 " + QStringList(30, "and more text").join(" ");
    const QString markupTxt = "<b>Blocked</b> " + QStringList(30, "for the reasons given").join(" ");
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3 127.0.0.9");
    txt("192.0.2.7:a.test:127.0.0.2", longTxt);
    txt("192.0.2.7:a.test:127.0.0.3", markupTxt);
    txt("192.0.2.7:a.test:127.0.0.9", "Short");
    showTable();
    const int x = QFontMetrics(table->font()).horizontalAdvance(QLatin1Char('X'));
    resizeTable(118 * x + 200);

    // What the pointer resting on the cell shows; empty for no tooltip.
    const auto tip = [&](const QString& key, int column) -> QString {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 10000)) return "(tooltip stuck)";
        const QPoint pos = table->visualRect(table->IndexOfKey(key, column)).center();
        QHelpEvent event(QEvent::ToolTip, pos, table->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(table->viewport(), &event);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    const QString answer = "192.0.2.7:a.test:127.0.0.";
    const struct {
        QString key;
        int column;
        QString toolTip;
    } cells[] = {
        {answer + "2", kUrl, longTxt},
        {answer + "9", kReason, "DNS returned the response of 127.0.0.9\n" + longReason},
        {answer + "2", kReason, "DNS returned the response of 127.0.0.2"}, // whole: its own only
        {answer + "9", kUrl, ""},
        {"192.0.2.7", kTarget, ""},
    };
    for (const auto& cell : cells)
        EXPECT_EQ(tip(cell.key, cell.column), cell.toolTip) << cell.key.toStdString() << " " << cell.column;

    // Text from DNS is shown as it is, never as markup.
    const QString shown = tip(answer + "3", kUrl);
    EXPECT_TRUE(shown.contains("&lt;b&gt;Blocked&lt;/b&gt;")) << shown.toStdString();

    // Given room, the text is whole again.
    table->setColumnWidth(kTarget, 10 * x);
    table->setColumnWidth(kReason, 10 * x);
    resizeTable(1000 * x);
    ASSERT_GT(table->columnWidth(kUrl), 900 * x);
    EXPECT_EQ(tip(answer + "2", kUrl), "");
}

TEST_F(ResultsTableTest, LinksAreTakenFromTheText)
{
    const QString cases[][2] = {
        {"https://a.test/", "https://a.test/"},
        {"      Listed, see HTTP://a.test/q?ip=1 for details", "HTTP://a.test/q?ip=1"},
        {"see Https://b.test/x", "Https://b.test/x"},
        {"https://one.test/ and http://two.test/", "https://one.test/"}, // the earlier wins
        // Line breaks inside the address are dropped before the cut.
        {"info:\r\nhttp://c.test/very/\r\nlong/path more", "http://c.test/very/long/path"},
        {"no link here", ""},
        {"ftp://d.test/", ""},
    };
    for (const auto& [text, link] : cases) EXPECT_EQ(ResultsTable::LinkFromText(text), link) << text.toStdString();
}

TEST_F(ResultsTableTest, GeometryAndClicksOnLinks)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    txt("192.0.2.7:a.test:127.0.0.2", "Listed;\r\nsee hTTps://a.test/lookup?ip=192.0.2.7 for details\nor mail");
    txt("192.0.2.7:a.test:127.0.0.3", "Listed without a web page");
    showTable();

    const QFontMetrics metrics(table->font());
    const int x = metrics.horizontalAdvance(QLatin1Char('X'));
    EXPECT_EQ(table->columnWidth(kTarget), 38 * x);
    EXPECT_EQ(table->columnWidth(kReason), 40 * x);
    EXPECT_GE(table->columnWidth(kUrl), 40 * x);
    EXPECT_EQ(table->header()->height(), qRound(2.5 * metrics.height()));
    const auto height = [&](const char* key) { return table->visualRect(table->IndexOfKey(key)).height(); };
    EXPECT_GE(height("192.0.2.7"), qRound(1.5 * metrics.height()));
    EXPECT_GT(height("192.0.2.7"), height("192.0.2.7:a.test"));
    // Text with line breaks stays on one line.
    EXPECT_LT(height("192.0.2.7:a.test:127.0.0.2"), 2 * metrics.height());

    QSignalSpy links(table.get(), &ResultsTable::LinkClicked);
    const auto clicked = [&] {
        QStringList urls;
        for (const QList<QVariant>& signal : links) urls << signal.at(0).toString();
        links.clear();
        return urls;
    };

    click("192.0.2.7:a.test", kUrl);
    click("192.0.2.7:a.test:127.0.0.2", kUrl);
    click("192.0.2.7:a.test:127.0.0.3", kUrl); // no address in the text
    click("192.0.2.7:a.test", kReason);        // not the URL column
    EXPECT_EQ(clicked(), QStringList({"https://a.test/", "hTTps://a.test/lookup?ip=192.0.2.7"}));

    // A selection running down the URL column still opens the link; one
    // spanning rows and columns at once does not.
    click("192.0.2.7:a.test", kUrl);
    click("192.0.2.7:b.test", kUrl, Qt::ShiftModifier);
    EXPECT_EQ(clicked(), QStringList({"https://a.test/", "https://b.test/"}));
    click("192.0.2.7", kTarget);
    click("192.0.2.7:b.test", kUrl, Qt::ControlModifier);
    EXPECT_EQ(clicked(), QStringList());
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

    // Sending its queries starts an address's scan: its status changes.
    const auto complete = [&](const QString& key) {
        recorder.painted = QRegion();
        const AddressPtr address = list->Item(key);
        address->BlacklistCheck();
        table->UpdateRow(address);
        QCoreApplication::processEvents();
        EXPECT_EQ(table->CellText(key, kReason), "Scanning ...");
    };
    complete("10.0.1.2");
    EXPECT_TRUE(recorder.painted.intersects(table->visualRect(table->IndexOfKey("10.0.1.2", kReason))));
    complete("10.0.1.250");
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
    // A long list fills the grid a slice at a time. An address whose turn
    // has not come is not drawn out of its place when it changes meanwhile.
    EXPECT_TRUE(table->Drawing());
    EXPECT_LT(table->AddressRowCount(), kCount);
    table->UpdateRow(list->Item(kCount));
    EXPECT_FALSE(table->IndexOfKey(list->Item(kCount)->Key()).isValid());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !table->Drawing(); }, 30000));
    ASSERT_EQ(table->AddressRowCount(), kCount);
    for (int position : {1, 4096, 4097, kCount})
        EXPECT_EQ(table->IndexOfKey(list->Item(position)->Key()).row(), position - 1) << position;
    showTable();

    QAbstractItemModel* model = table->model();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    QSignalSpy layoutChanged(model, &QAbstractItemModel::layoutChanged);
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
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(inserted.count(), (kCount / 100) * 3); // one server and two answers each
    EXPECT_EQ(table->IndexOfKey("10.0.3.231").row(), 999); // the 1000th address, one of those listed
}
