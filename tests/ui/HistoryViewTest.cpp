#include "ui/HistoryView.h"
#include "MainFormWorld.h"
#include "storage/HistoryStore.h"
#include "support/HistoryRecords.h"
#include "support/TestFiles.h"
#include "ui/HistoryTips.h"
#include "ui/ResultsTable.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quarlo;
using Outcome = ScanObservation::Outcome;

namespace {

const QDateTime kStart(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
QDateTime at(int day)
{
    return kStart.addDays(day);
}

ScanObservation seen(const char* target, const char* zone, Outcome outcome, const QString& reason = QString())
{
    ScanObservation o;
    o.target = QString::fromLatin1(target);
    o.zone = QString::fromLatin1(zone);
    o.listName = o.zone.startsWith(QLatin1Char('a')) ? QStringLiteral("A BL") : QStringLiteral("B BL");
    o.outcome = outcome;
    if (outcome == Outcome::Listed) {
        o.codes = QStringList{QStringLiteral("127.0.0.2")};
        o.reasons = QStringList{reason.isEmpty() ? QStringLiteral("Spam source") : reason};
        o.txt = QStringList{QStringLiteral("See http://") + o.zone + QStringLiteral("/why")};
    }
    return o;
}

bool record(const QString& path, int day, std::vector<ScanObservation> observations)
{
    HistoryStore store;
    return store.Open(path) && store.Record(scanRecord(at(day), std::move(observations)), nullptr);
}

// 192.0.2.1: listed by A on day 1, by B on day 2; A fails on day 3 (which
// is no delisting) and delists it on day 4. 192.0.2.2: listed by B from day 0.
void writeStory(const QString& path)
{
    const Outcome byA[] = {Outcome::NotListed, Outcome::Listed, Outcome::Listed, Outcome::Failed, Outcome::NotListed};
    const Outcome byB[] = {Outcome::NotListed, Outcome::NotListed, Outcome::Listed, Outcome::Listed, Outcome::Listed};
    for (int day = 0; day < 5; ++day)
        ASSERT_TRUE(record(path, day,
                           {seen("192.0.2.1", "a.test", byA[day], "Open relay"),
                            seen("192.0.2.1", "b.test", byB[day], day == 2 ? "<b>Spam</b>" : ""),
                            seen("192.0.2.2", "b.test", Outcome::Listed)}));
}

} // namespace

TEST(HistoryView, ShowsTheCountOfListingListsAndEachListingAndDelistingOrWhyItCannot)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    writeStory(path);
    HistoryView view;
    view.setHistoryPath(path);
    view.setTarget("192.0.2.1");
    view.loadNow();

    EXPECT_EQ(view.message(), QString());
    EXPECT_EQ(view.changeLines(), QStringList({"Listed by A BL", "Listed by B BL", "Delisted by A BL"}));
    // (time, count): from none, a step at each scan that changed the count,
    // and on to now at the last count.
    const QList<QPointF> steps = view.steps();
    ASSERT_EQ(steps.size(), 8);
    const auto ms = [](int day) { return double(at(day).toMSecsSinceEpoch()); };
    EXPECT_EQ(steps.mid(0, 7),
              QList<QPointF>({{ms(0), 0}, {ms(1), 0}, {ms(1), 1}, {ms(2), 1}, {ms(2), 2}, {ms(4), 2}, {ms(4), 1}}));
    EXPECT_EQ(steps.back().y(), 1);
    EXPECT_GE(steps.back().x(), double(QDateTime::currentDateTimeUtc().addSecs(-60).toMSecsSinceEpoch()));

    // Hovering a mark names the list, the code with its reason and the TXT text.
    const QString hover = view.hoverText(at(1).addSecs(600));
    EXPECT_TRUE(hover.startsWith("Listed by A BL on " + HistoryTips::DateText(at(1)))) << hover.toStdString();
    EXPECT_TRUE(hover.contains("127.0.0.2: Open relay")) << hover.toStdString();
    EXPECT_TRUE(hover.contains("TXT: See http://a.test/why")) << hover.toStdString();
    // The event list carries the same words, never taken for markup.
    const auto* events = view.findChild<QListWidget*>("HistoryEvents");
    ASSERT_NE(events, nullptr);
    ASSERT_EQ(events->count(), 3);
    EXPECT_TRUE(events->item(1)->toolTip().contains("127.0.0.2: &lt;b&gt;Spam&lt;/b&gt;"))
        << events->item(1)->toolTip().toStdString();

    // Another address, in another letter case; one nobody scanned.
    view.setTarget("192.0.2.2");
    view.loadNow();
    EXPECT_EQ(view.changeLines(), QStringList({"Listed by B BL"}));
    view.setTarget("192.0.2.99");
    view.loadNow();
    EXPECT_TRUE(view.message().contains("No scan of 192.0.2.99")) << view.message().toStdString();
    EXPECT_TRUE(view.changes().empty());

    // A file that cannot be read, or none, is one line, shows nothing of the
    // last one and is not created (every kind of unusable file, and that it
    // is left as it was, is the store's test).
    const QString damaged = dir.filePath("damaged.sqlite"), missing = dir.filePath("missing.sqlite");
    spit(damaged, QByteArray("not,a,database\n").repeated(500));
    view.setTarget("192.0.2.1");
    for (const auto& [file, says] : {std::pair{damaged, "damaged"}, std::pair{missing, "No history yet"}}) {
        view.setHistoryPath(file);
        view.loadNow();
        EXPECT_TRUE(view.message().contains(QLatin1String(says))) << view.message().toStdString();
        EXPECT_FALSE(view.message().contains(QLatin1Char('\n'))) << says;
        EXPECT_TRUE(view.changes().empty()) << says;
        EXPECT_TRUE(view.steps().isEmpty()) << says;
    }
    EXPECT_FALSE(QFile::exists(missing));
}

// Scans that could ask no list about the address (a host name that does not
// resolve, a target that cannot be checked) are scans of it all the same:
// the view shows them instead of saying none is recorded.
TEST(HistoryView, ScansOfAnUnresolvableOrInvalidTargetAreShown)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    const auto notAsked = [](const char* target, Outcome outcome, const char* why) {
        ScanObservation o = seen(target, "a.test", outcome);
        o.detail = QString::fromLatin1(why);
        return o;
    };
    for (int day = 0; day < 2; ++day)
        ASSERT_TRUE(record(path, day,
                           {notAsked("gone.example", Outcome::Unresolvable, "name not found"),
                            notAsked("bad entry", Outcome::Invalid, "not an address or host name")}));
    HistoryView view;
    view.setHistoryPath(path);
    view.setTarget("gone.example");
    view.loadNow();
    EXPECT_EQ(view.message(), QString());
    // The history keeps changes: the note says since when.
    EXPECT_EQ(view.LastScanNote(),
              "Since " + HistoryTips::DateText(at(0)) + ": not checked, the host name was not found");
    const auto* events = view.findChild<QListWidget*>("HistoryEvents");
    ASSERT_NE(events, nullptr);
    ASSERT_EQ(events->count(), 2);
    EXPECT_EQ(events->item(1)->text(), view.LastScanNote());

    view.setTarget("bad entry");
    view.loadNow();
    EXPECT_EQ(view.LastScanNote(),
              "Since " + HistoryTips::DateText(at(0)) + ": not checked, not an address or host name");

    // Answered again later: the note goes.
    ASSERT_TRUE(record(path, 2, {seen("gone.example", "a.test", Outcome::NotListed)}));
    view.setTarget("gone.example");
    view.loadNow();
    EXPECT_EQ(view.LastScanNote(), QString());
}

TEST(HistoryTips, ListedSinceAndDelistedOnPerList)
{
    const QDateTime d1 = at(1), d2 = at(2), d4 = at(4);
    const auto standing = [](const char* list, Outcome answer, QDateTime since, QDateTime delisted) {
        ZoneStanding s;
        s.latest.listName = QString::fromLatin1(list);
        s.answer = answer;
        s.answerSince = since;
        s.delistedOn = delisted;
        return s;
    };
    struct Case {
        const char* name;
        std::vector<ZoneStanding> standing;
        QString expected;
    };
    const std::vector<Case> cases{
        {"never listed", {standing("A BL", Outcome::NotListed, d1, QDateTime())}, ""},
        {"listed, oldest first, then delisted",
         {standing("B BL", Outcome::Listed, d2, QDateTime()), standing("A BL", Outcome::NotListed, d2, d4),
          standing("C BL", Outcome::Listed, d1, QDateTime())},
         "Listed since " + HistoryTips::DateText(d1) + " by C BL\nListed since " + HistoryTips::DateText(d2)
             + " by B BL\nDelisted on " + HistoryTips::DateText(d4) + " by A BL"},
        // Listed again after a delisting: only the listing counts.
        {"relisted",
         {standing("A BL", Outcome::Listed, d4, d2)},
         "Listed since " + HistoryTips::DateText(d4) + " by A BL"},
    };
    for (const Case& c : cases) EXPECT_EQ(HistoryTips::Text(c.standing), c.expected) << c.name;
}

namespace {

class HistoryWindowTest : public ::testing::Test, protected MainFormWorld<> {
protected:
    HistoryWindowTest() : path(dir.filePath("history.sqlite"))
    {
        writeStory(path);
        form = makeForm();
        form->setHistoryPath(path);
        list.AddTarget("192.0.2.1");
        list.AddTarget("192.0.2.2");
    }

    QString path;
    std::unique_ptr<MainForm> form;
};

} // namespace

TEST_F(HistoryWindowTest, TheViewFollowsTheGridsCurrentAddressReloadsAfterARecordAndReopensAtTheNextStart)
{
    form->show();
    HistoryView& view = form->History();
    EXPECT_TRUE(view.isHidden());
    form->RunTool("View:History");
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.isVisible(); }, 20000));

    ResultsTable& table = form->Table();
    table.setCurrentIndex(table.resultsModel().indexOfKey("192.0.2.1", 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.changes().size() == 3; }, 20000)) << view.message().toStdString();
    table.setCurrentIndex(table.resultsModel().indexOfKey("192.0.2.2"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.changeLines() == QStringList{"Listed by B BL"}; }, 20000));

    // B delists it in a later scan: the view shows it once the window hears.
    ASSERT_TRUE(record(path, 5, {seen("192.0.2.2", "b.test", Outcome::NotListed)}));
    form->HistoryRecorded({});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return view.changeLines() == QStringList({"Listed by B BL", "Delisted by B BL"});
        },
        20000));

    // Closed with the dock open: open again at the next start, until switched off.
    list.setChanged(false);
    EXPECT_TRUE(form->close());
    form = makeForm();
    form->show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->History().isVisible(); }, 20000));
    form->RunTool("View:History");
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->History().isHidden(); }, 20000));
    EXPECT_FALSE(form->Tool("View:History")->isChecked());
    list.setChanged(false);
}

TEST_F(HistoryWindowTest, TheStatusTooltipSaysSinceWhenAndByWhichListAndFollowsRecords)
{
    const QString tip = cell(*form, "192.0.2.1", 1, Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.contains("Listed since " + HistoryTips::DateText(at(2)) + " by B BL")) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Delisted on " + HistoryTips::DateText(at(4)) + " by A BL")) << tip.toStdString();
    // Only the status cell of the address row.
    EXPECT_FALSE(cell(*form, "192.0.2.1", 0, Qt::ToolTipRole).toString().contains("Listed since"));

    ASSERT_TRUE(record(path, 6, {seen("192.0.2.1", "b.test", Outcome::NotListed)}));
    // Looked up once until the next record...
    EXPECT_EQ(cell(*form, "192.0.2.1", 1, Qt::ToolTipRole).toString(), tip);
    form->HistoryRecorded({});
    const QString after = cell(*form, "192.0.2.1", 1, Qt::ToolTipRole).toString();
    EXPECT_FALSE(after.contains("Listed since")) << after.toStdString();
    EXPECT_TRUE(after.contains("Delisted on " + HistoryTips::DateText(at(6)) + " by B BL")) << after.toStdString();

    // A history that cannot be read leaves the tooltip as the scan made it.
    spit(path, QByteArray("garbage").repeated(1000));
    form->setHistoryPath(dir.filePath("elsewhere.sqlite"));
    form->setHistoryPath(path);
    EXPECT_FALSE(cell(*form, "192.0.2.1", 1, Qt::ToolTipRole).toString().contains("since"));
}
