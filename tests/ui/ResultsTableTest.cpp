#include "GermanTranslation.h"
#include "ResultsFixture.h"
#include "export/ResultsSnapshot.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QSignalSpy>
#include <QToolTip>

using namespace quarlo;

namespace {

class ResultsTableTest : public ResultsFixture {
protected:
    // Resizes the shown table and waits until the window system agrees.
    void resizeTable(int width)
    {
        table->resize(width, 400);
        ASSERT_TRUE(QTest::qWaitFor([&] { return table->width() == width; }, 10000)) << table->width();
        QCoreApplication::processEvents();
    }

    void click(const QString& key, int column, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QModelIndex at = index(key, column);
        ASSERT_TRUE(at.isValid()) << key.toStdString();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, modifiers, table->visualRect(at).center());
    }
};

} // namespace

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
        EXPECT_EQ(expanded(address), level >= 1) << level;
        EXPECT_EQ(expanded(address + ":a.test"), level >= 2) << level;
    }

    // Once a row has children the user's choice stands, whatever the level.
    settings.setExpansionLevel(0);
    table->setExpanded(index("192.0.2.1"), true);
    table->setExpanded(index("192.0.2.3"), false);
    reply("192.0.2.1", "b.test", "127.0.0.2");
    reply("192.0.2.3", "b.test", "127.0.0.2");
    EXPECT_TRUE(expanded("192.0.2.1"));
    EXPECT_FALSE(expanded("192.0.2.1:b.test")); // new server, level 0
    EXPECT_FALSE(expanded("192.0.2.3"));
    settings.setExpansionLevel(2);
    reply("192.0.2.3", "c.test", "127.0.0.2");
    EXPECT_FALSE(expanded("192.0.2.3"));

    // A server the user opened stays open as more answers come in.
    table->setExpanded(index("192.0.2.2:a.test"), true);
    settings.setExpansionLevel(0);
    list->Item("192.0.2.2")->ProcessDNSReply({"192.0.2.2", "BlacklistCheck", "a.test"}, "", "127.0.0.4");
    EXPECT_EQ(childKeys("192.0.2.2:a.test").size(), 3);
    EXPECT_TRUE(expanded("192.0.2.2:a.test"));

    // Whatever way the user went about it (these two need not say so), the
    // state outlives the rows that gave the row its expander.
    settings.setExpansionLevel(2);
    table->expandAll();
    table->collapse(index("192.0.2.2"));
    for (const char* key : {"192.0.2.3:a.test", "192.0.2.3:b.test", "192.0.2.3:c.test", "192.0.2.2:a.test"})
        model->removeRow(key);
    ASSERT_TRUE(childKeys("192.0.2.3").isEmpty());
    // Rows for every server come back with the next reply.
    list->Item("192.0.2.3")->ProcessDNSReply({"192.0.2.3", "BlacklistCheck", "a.test"}, "", "127.0.0.4");
    reply("192.0.2.2", "b.test", "127.0.0.2");
    EXPECT_EQ(childKeys("192.0.2.3").size(), 3);
    EXPECT_TRUE(expanded("192.0.2.3"));
    EXPECT_FALSE(expanded("192.0.2.2"));
}

// What print and export receive: every row in grid order with its level,
// the user's folding, the grid's texts and styles, and the links a click
// would open. Reports add a row per list that gave an address no usable
// answer, under the address after its servers, folded away with it.
TEST_F(ResultsTableTest, SnapshotIsTheGridAsShownAndReportsNameTheListsThatDidNotAnswer)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.7", "192.0.2.3", "192.0.2.8"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    reply("192.0.2.7", "c.test", "", kTimeout);
    txt("192.0.2.7:a.test:127.0.0.2", "Listed, see http://a.test/?ip=192.0.2.7 today");
    reply("192.0.2.3", "a.test", "", kTimeout);
    reply("192.0.2.3", "b.test", "", kNxDomain);
    reply("192.0.2.3", "c.test", "", kServFail);
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.8", zone, "", kNxDomain);
    table->setExpanded(index("192.0.2.7:b.test"), false);

    TableSnapshot snapshot = table->Snapshot();
    EXPECT_EQ(snapshot.headers, QStringList({"Target", "Reason(s) for being Blacklisted", "URL"}));
    ASSERT_EQ(snapshot.columnWidths.size(), 3);
    EXPECT_EQ(snapshot.columnWidths[0], table->columnWidth(0));
    // Level, target, status; "hidden" under a closed row, "+"/"-" for an open/closed row.
    const auto rows = [&] {
        QStringList out;
        for (const SnapshotRow& row : snapshot.rows)
            out << QString::number(row.level) + " " + row.cells.at(kTarget).text.trimmed() + " | "
                    + row.cells.at(kReason).text.trimmed() + (row.shown ? "" : " hidden")
                    + (row.hasChildren ? (row.expanded ? " +" : " -") : "");
        return out;
    };
    EXPECT_EQ(rows(),
              QStringList({"0 192.0.2.7 | Blacklisted by 2 servers +", "1 Alpha List | Received 2 reasons +",
                           "2 127.0.0.2 | Spam source", "2 127.0.0.3 | Open proxy", "1 Beta List | Received 1 reason -",
                           "2 127.0.0.2 | Beta listed hidden",
                           "0 192.0.2.3 | Not completely checked: 2 of 3 lists did not answer",
                           "0 192.0.2.8 | Not on any Blacklist"}))
        << rows().join("\n").toStdString();
    // The cells carry the grid's styles (the model's, ResultsModelTest) and
    // the links a click opens: a TXT text's ends at the first blank.
    const SnapshotRow &address = snapshot.rows[0], &server = snapshot.rows[1];
    EXPECT_EQ(address.cells[kReason].color, color("192.0.2.7", kReason));
    EXPECT_TRUE(address.cells[kReason].bold && server.cells[kUrl].underline);
    EXPECT_EQ(server.cells[kTarget].background, QColor(255, 240, 240));
    EXPECT_EQ(QStringList({server.cells[kUrl].link, snapshot.rows[2].cells[kUrl].link}),
              QStringList({"https://a.test/", "http://a.test/?ip=192.0.2.7"}));

    table->setExpanded(index("192.0.2.7"), false);
    snapshot = table->Snapshot();
    ResultsSnapshot::AddNoteRows(snapshot, *list, settings);
    EXPECT_EQ(rows(),
              QStringList({"0 192.0.2.7 | Blacklisted by 2 servers -", "1 Alpha List | Received 2 reasons hidden +",
                           "2 127.0.0.2 | Spam source hidden", "2 127.0.0.3 | Open proxy hidden",
                           "1 Beta List | Received 1 reason hidden -", "2 127.0.0.2 | Beta listed hidden",
                           "1 Gamma List | No usable answer: timed out hidden",
                           "0 192.0.2.3 | Not completely checked: 2 of 3 lists did not answer +",
                           "1 Alpha List | No usable answer: timed out",
                           "1 Gamma List | No usable answer: server failure (SERVFAIL)",
                           "0 192.0.2.8 | Not on any Blacklist"}))
        << rows().join("\n").toStdString();
}

// A German user reads the grid's status texts and headers in German; reports
// (the snapshot every print and export is made from) and automation keep
// the English texts their readers and clients know.
TEST_F(ResultsTableTest, GermanGridKeepsReportsAndAutomationInEnglish)
{
    scan({"192.0.2.7", "192.0.2.8", "192.0.2.9", "192.0.2.10", "192.0.2.11"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    reply("192.0.2.7", "c.test", "", kNxDomain);
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.8", zone, "", kNxDomain);
    reply("192.0.2.9", "a.test", "", kTimeout);
    reply("192.0.2.9", "b.test", "", kNxDomain);
    reply("192.0.2.9", "c.test", "", kTimeout);
    reply("192.0.2.10", "a.test", "", kNxDomain); // the other lists still to answer
    reply("192.0.2.11", "a.test", "127.0.0.2");
    for (const char* zone : {"b.test", "c.test"}) reply("192.0.2.11", zone, "", kNxDomain);

    const std::pair<const char*, QString> english[] = {
        {"192.0.2.7", "Blacklisted by 2 servers"},
        {"192.0.2.8", "Not on any Blacklist"},
        {"192.0.2.9", "Not completely checked: 2 of 3 lists did not answer"},
        {"192.0.2.10", "Scanning ..."},
        {"192.0.2.11", "Blacklisted by 1 servers"},
    };
    for (const auto& [key, status] : english) ASSERT_EQ(text(key, kReason), status) << key;

    const GermanTranslation german;
    ASSERT_TRUE(german.loaded()) << QUARLO_TRANSLATIONS_DIR;
    EXPECT_EQ(text("192.0.2.7", kReason), "Von 2 Servern gelistet");
    EXPECT_EQ(text("192.0.2.8", kReason), "Auf keiner Blacklist");
    EXPECT_EQ(text("192.0.2.9", kReason), "Nicht vollständig geprüft: keine Antwort von 2 der 3 Listen");
    EXPECT_EQ(text("192.0.2.10", kReason), "Wird geprüft ...");
    EXPECT_EQ(model->headerData(kTarget, Qt::Horizontal).toString(), "Ziel");
    // One server, in the singular; a server row's status keeps its indent.
    EXPECT_EQ(text("192.0.2.11", kReason), "Von 1 Server gelistet");
    EXPECT_EQ(text("192.0.2.7:a.test", kReason), "   2 Gründe erhalten");
    EXPECT_EQ(text("192.0.2.7:b.test", kReason), "   1 Grund erhalten");
    EXPECT_EQ(index("192.0.2.7:a.test", kReason).data(ResultsModel::SourceTextRole), "   Received 2 reasons");
    // The lists' names and answers are theirs: never translated.
    EXPECT_EQ(text("192.0.2.7:a.test", kTarget), "Alpha List");
    const QModelIndex answer = index("192.0.2.7:a.test:127.0.0.2", kReason);
    EXPECT_EQ(answer.data(Qt::DisplayRole), answer.data(ResultsModel::SourceTextRole));

    // The report's headers; that its statuses stay English is GermanWindowTest's real scan.
    EXPECT_EQ(table->Snapshot().headers, QStringList({"Target", "Reason(s) for being Blacklisted", "URL"}));
    for (const auto& [key, status] : english)
        EXPECT_EQ(ResultsModel::StatusText(settings, *list->Item(QString(key))), status) << key;
    // A status that only starts like a counted one is shown as it is.
    EXPECT_EQ(ResultsModel::ShownText("Blacklisted by many servers"), "Blacklisted by many servers");
}

TEST_F(ResultsTableTest, SelectionCoversTheShownRowsBetweenItsEnds)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.1", "192.0.2.2", "192.0.2.3"});
    for (const char* zone : {"a.test", "b.test", "c.test"}) reply("192.0.2.1", zone, "", kNxDomain);
    reply("192.0.2.2", "a.test", "127.0.0.2");
    reply("192.0.2.3", "b.test", "127.0.0.2");
    showTable();
    auto* selection = table->selectionModel();

    // From the second address's status to the answer under it, two columns.
    selection->select(QItemSelection(index("192.0.2.2", kReason), index("192.0.2.2", kUrl)),
                      QItemSelectionModel::ClearAndSelect);
    selection->select(index("192.0.2.2:a.test:127.0.0.2", kReason), QItemSelectionModel::Select);
    EXPECT_EQ(table->SelectedKeys(), QStringList({"192.0.2.2", "192.0.2.2:a.test", "192.0.2.2:a.test:127.0.0.2"}));
    EXPECT_EQ(table->SelectionText(),
              "Blacklisted by 1 servers\t\r\n   Received 1 reason\thttps://a.test/\r\n      Spam source\t      ");

    // Rows under a collapsed row are not shown and so not included.
    table->collapse(index("192.0.2.2"));
    selection->select(index("192.0.2.1"), QItemSelectionModel::ClearAndSelect);
    selection->select(index("192.0.2.3"), QItemSelectionModel::Select);
    EXPECT_EQ(table->SelectedKeys(), QStringList({"192.0.2.1", "192.0.2.2", "192.0.2.3"}));
    EXPECT_EQ(table->SelectionText(), "192.0.2.1\r\n192.0.2.2\r\n192.0.2.3");

    // Select all from the keyboard (the Select All command's way ends in a
    // delete in MainFormTest): every cell shown, copied under the headers, and
    // the current cell in the first column, where the window deletes.
    const QStringList everyKey{"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.3:b.test", "192.0.2.3:b.test:127.0.0.2"};
    click("192.0.2.3:b.test", kUrl);
    ASSERT_EQ(table->currentIndex(), index("192.0.2.3:b.test", kUrl));
    QTest::keyClick(table.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(table->currentIndex(), index("192.0.2.1", kTarget));
    EXPECT_EQ(table->SelectedKeys(), everyKey);
    const QStringList lines = table->SelectionText().split("\r\n");
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines.mid(0, 2),
              QStringList({"Target\tReason(s) for being Blacklisted\tURL", "192.0.2.1\tNot on any Blacklist\t"}));

    // Every row but not every column is not the whole grid: no headers.
    selection->select(QItemSelection(index("192.0.2.1", kTarget), index("192.0.2.3", kReason)),
                      QItemSelectionModel::ClearAndSelect);
    selection->select(index("192.0.2.3:b.test:127.0.0.2", kTarget), QItemSelectionModel::Select);
    EXPECT_TRUE(table->SelectionText().startsWith("192.0.2.1\tNot on any Blacklist\r\n"))
        << table->SelectionText().toStdString();
    selection->clearSelection();
    EXPECT_EQ(table->SelectionText(), "");
}

TEST_F(ResultsTableTest, CutTextShowsInFullAsTooltip)
{
    settings.setExpansionLevel(2);
    const QString longReason =
        "Listed for sending mail through " + QStringList(12, "a relay that was abused").join(", ");
    ASSERT_TRUE(settings.BlacklistServers().Item("a.test")->ResultCodes().Add("127.0.0.9", longReason));
    const QString longTxt =
        "Blocked, see http://a.test/lookup?ip=192.0.2.7 " + QStringList(30, "and more text").join(" ");
    const QString markupTxt = "<b>Blocked</b> " + QStringList(30, "for the reasons given").join(" ");
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3 127.0.0.9");
    txt("192.0.2.7:a.test:127.0.0.2", longTxt);
    txt("192.0.2.7:a.test:127.0.0.3", markupTxt);
    txt("192.0.2.7:a.test:127.0.0.9", "Short");
    showTable(); // the long texts do not fit

    // What the pointer resting on the cell shows; empty for no tooltip.
    const auto tip = [&](const QString& key, int column) -> QString {
        QToolTip::hideText();
        if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 10000)) return "(tooltip stuck)";
        const QPoint pos = table->visualRect(index(key, column)).center();
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
    };
    for (const auto& cell : cells)
        EXPECT_EQ(tip(cell.key, cell.column), cell.toolTip) << cell.key.toStdString() << " " << cell.column;

    // Text from DNS is shown as it is, never as markup.
    const QString shown = tip(answer + "3", kUrl);
    EXPECT_TRUE(shown.contains("&lt;b&gt;Blocked&lt;/b&gt;")) << shown.toStdString();
}

// The columns' opening widths and the rows' heights are the design's
// constants and go untested.
TEST_F(ResultsTableTest, ClicksOpenLinksAndTheLastColumnFillsTheView)
{
    settings.setExpansionLevel(2);
    scan({"192.0.2.7"});
    reply("192.0.2.7", "a.test", "127.0.0.2 127.0.0.3");
    reply("192.0.2.7", "b.test", "127.0.0.2");
    txt("192.0.2.7:a.test:127.0.0.2", "Listed;\r\nsee hTTps://a.test/lookup?ip=192.0.2.7 for details\nor mail");
    txt("192.0.2.7:a.test:127.0.0.3", "Listed without a web page");
    showTable();

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

    // The last column fills the view; a wider first column takes its room
    // from it; narrower than the columns, it keeps its width and the view scrolls.
    const int x = QFontMetrics(table->font()).horizontalAdvance(QLatin1Char('X'));
    resizeTable(118 * x + 400);
    EXPECT_EQ(table->header()->sectionViewportPosition(kUrl) + table->columnWidth(kUrl), table->viewport()->width());
    const int before = table->columnWidth(kUrl);
    table->setColumnWidth(kTarget, table->columnWidth(kTarget) + 10 * x);
    EXPECT_EQ(table->columnWidth(kUrl), before - 10 * x);
    resizeTable(60 * x);
    EXPECT_EQ(table->columnWidth(kUrl), 40 * x);
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
    EXPECT_FALSE(index(list->Item(kCount)->Key()).isValid());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !table->Drawing(); }, 30000));
    ASSERT_EQ(table->AddressRowCount(), kCount);
    for (int position : {1, 4096, 4097, kCount})
        EXPECT_EQ(index(list->Item(position)->Key()).row(), position - 1) << position;
    showTable();

    QAbstractItemModel* model = table->model();
    QSignalSpy reset(model, &QAbstractItemModel::modelReset);
    // Every row the model reports, changed or added, must be one of the
    // address being updated.
    QStringList touched;
    QObject::connect(model, &QAbstractItemModel::dataChanged, table.get(),
                     [&](const QModelIndex& topLeft) { touched << keyAt(topLeft); });
    QObject::connect(model, &QAbstractItemModel::rowsInserted, table.get(),
                     [&](const QModelIndex& parent, int first, int last) {
                         for (int row = first; row <= last; ++row) touched << keyAt(model->index(row, 0, parent));
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
    EXPECT_EQ(index("10.0.3.231").row(), 999); // the 1000th address, one of those listed
}
