// The scan history: it grows by changes, reports what changed, dates a
// listing across failures, prunes without losing the present, and leaves a
// file it cannot use exactly as it found it.
#include "storage/HistoryStore.h"
#include "storage/HistoryRecordJob.h"

#include "support/EnvGuard.h"
#include "support/HistoryRecords.h"
#include "support/QtPrinters.h"
#include "support/TestFiles.h"
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <sqlite3.h>
#include <sys/resource.h>
#include <thread>
#include <tuple>

using namespace quarlo;
using Outcome = ScanObservation::Outcome;
using Kind = HistoryChange::Kind;

namespace {

const QDateTime kStart = QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);

ScanRecord scanAt(int hour, std::vector<ScanObservation> observations)
{
    return scanRecord(kStart.addSecs(3600LL * hour), std::move(observations));
}

// A /24 against n zones, everything clean apart from what `listed` says.
ScanRecord network(int hour, int zones, const std::function<Outcome(int host, int zone)>& outcome)
{
    std::vector<ScanObservation> all;
    for (int host = 0; host < 256; ++host)
        for (int zone = 0; zone < zones; ++zone) {
            const Outcome o = outcome(host, zone);
            all.push_back(seen(QStringLiteral("192.0.2.%1").arg(host), QStringLiteral("z%1.test").arg(zone), o,
                               o == Outcome::Listed ? QStringList{QStringLiteral("127.0.0.2")} : QStringList{}));
        }
    return scanAt(hour, std::move(all));
}

qint64 scans(const QString& path)
{
    HistoryStore store;
    qint64 count = -1;
    if (!store.Open(path, true) || !store.ScanCount(&count)) return -1;
    return count;
}

// Hours after kStart, -1 for an invalid time: dates in one comparison.
int hourOf(const QDateTime& t)
{
    return t.isValid() ? int(kStart.secsTo(t) / 3600) : -1;
}

// A history file that holds one recorded scan.
void seed(const QString& path, const ScanRecord& scan)
{
    HistoryStore store;
    ASSERT_TRUE(store.Open(path)) << store.LastError().toStdString();
    ASSERT_TRUE(store.Record(scan, nullptr)) << store.LastError().toStdString();
}

std::vector<Kind> kinds(const std::vector<HistoryChange>& changes)
{
    std::vector<Kind> k;
    for (const HistoryChange& c : changes) k.push_back(c.kind);
    return k;
}

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // Characters a URI would take for its own: read-only opens go through one.
        path = dir.filePath("kept #1?%41/history.sqlite");
        ASSERT_TRUE(store.Open(path)) << store.LastError().toStdString();
    }

    std::vector<HistoryChange> record(const ScanRecord& r)
    {
        std::vector<HistoryChange> changes;
        EXPECT_TRUE(store.Record(r, &changes)) << store.LastError().toStdString();
        return changes;
    }

    QTemporaryDir dir;
    QString path;
    HistoryStore store;
};

} // namespace

// One pair's outcomes over successive scans, and the changes each scan reports.
TEST_F(History, ChangesFollowTheAnswerAcrossFailures)
{
    struct Step {
        Outcome outcome;
        QStringList codes;
        std::vector<Kind> expected;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const QStringList c2{"127.0.0.2"}, c4{"127.0.0.4"};
    const std::vector<Case> cases{
        {"first scan listed", {{Outcome::Listed, c2, {Kind::Listed}}, {Outcome::Listed, c2, {}}}},
        {"first scan clean", {{Outcome::NotListed, {}, {}}, {Outcome::NotListed, {}, {}}}},
        {"listed then delisted",
         {{Outcome::NotListed, {}, {}},
          {Outcome::Listed, c2, {Kind::Listed}},
          {Outcome::NotListed, {}, {Kind::Delisted}}}},
        {"failure in the middle is no new listing",
         {{Outcome::Listed, c2, {Kind::Listed}},
          {Outcome::Failed, {}, {Kind::Failing}},
          {Outcome::Listed, c2, {Kind::Recovered}}}},
        {"delisted while the list was failing",
         {{Outcome::Listed, c2, {Kind::Listed}},
          {Outcome::Skipped, {}, {Kind::Failing}},
          {Outcome::NotListed, {}, {Kind::Delisted, Kind::Recovered}}}},
        {"refusal counts as failing",
         {{Outcome::NotListed, {}, {}}, {Outcome::Refused, {}, {Kind::Failing}}, {Outcome::Refused, {}, {}}}},
        {"another code while listed is recorded, not reported",
         {{Outcome::Listed, c2, {Kind::Listed}}, {Outcome::Listed, c4, {}}}},
        {"not applicable is neither", {{Outcome::NotApplicable, {}, {}}, {Outcome::NotListed, {}, {}}}},
    };
    int hour = 0;
    int pair = 0;
    for (const Case& c : cases) {
        const QString target = QStringLiteral("198.51.100.%1").arg(++pair);
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const auto changes =
                record(scanAt(++hour, {seen(target, "bl.test", c.steps[i].outcome, c.steps[i].codes)}));
            EXPECT_EQ(kinds(changes), c.steps[i].expected) << c.name << ", scan " << i + 1;
        }
    }
}

TEST_F(History, ChangesCarryTheListingAndListFailuresComeOncePerList)
{
    auto changes = record(network(0, 3, [](int, int) { return Outcome::NotListed; }));
    EXPECT_TRUE(changes.empty());
    changes = record(network(1, 3, [](int host, int zone) {
        if (zone == 2) return Outcome::Failed;
        return host == 7 && zone == 0 ? Outcome::Listed : Outcome::NotListed;
    }));
    ASSERT_EQ(kinds(changes), (std::vector<Kind>{Kind::Listed, Kind::Failing}));
    const HistoryChange& l = changes[0];
    EXPECT_EQ(
        QStringList({l.target, l.zone, l.listName, l.codes.join(','), l.reasons.join(','), l.txt.join(','), l.link}),
        QStringList({"192.0.2.7", "z0.test", "Z0.TEST", "127.0.0.2", "reason 127.0.0.2", "listed, see http://z0.test/",
                     "http://z0.test/remove"}));
    EXPECT_EQ(QStringLiteral("%1 %2 %3").arg(changes[1].zone).arg(changes[1].targets).arg(changes[1].detail),
              "z2.test 256 timed out");
    EXPECT_EQ(store.PreviousScanTime(), kStart);

    changes = record(network(2, 3, [](int, int) { return Outcome::NotListed; }));
    ASSERT_EQ(kinds(changes), (std::vector<Kind>{Kind::Delisted, Kind::Recovered}));
    EXPECT_EQ(std::make_tuple(hourOf(changes[0].since), hourOf(changes[1].since), changes[1].targets),
              std::make_tuple(1, 1, 256));
}

// The first scan is recorded without collecting its changes, as a plain
// command-line run of a whole network is: it stores the same outcomes, so the
// scans after it, which compare against them, find nothing new.
TEST_F(History, GrowsByChangesNotByScansEvenWhenChangesAreNotCollected)
{
    const auto oneListing = [](int host, int zone) {
        return host == 1 && zone == 1 ? Outcome::Listed : Outcome::NotListed;
    };
    const ScanRecord first = network(0, 20, oneListing);
    ASSERT_TRUE(store.BeginScan(first, false));
    for (const ScanObservation& o : first.observations) ASSERT_TRUE(store.Add(o));
    std::vector<HistoryChange> changes{HistoryChange{}};
    ASSERT_TRUE(store.FinishScan(&changes)) << store.LastError().toStdString();
    EXPECT_TRUE(changes.empty());
    const qint64 sizeAfterFirst = QFileInfo(path).size() + QFileInfo(path + "-wal").size();
    for (int hour = 1; hour <= 48; ++hour) EXPECT_TRUE(record(network(hour, 20, oneListing)).empty());
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline("192.0.2.1", &events));
    EXPECT_EQ(events.size(), 20u) << "one row per list from the first scan; unchanged outcomes add none";
    EXPECT_EQ(scans(path), 49);
    store.Close();
    // Forty-eight scans of 5120 outcomes each cost the scan rows only.
    HistoryStore checkpoint;
    ASSERT_TRUE(checkpoint.Open(path));
    checkpoint.Close();
    EXPECT_LT(QFileInfo(path).size(), sizeAfterFirst + 64 * 1024);
}

TEST_F(History, TimelineAndStandingDateTheListing)
{
    const QString t = "192.0.2.9";
    record(scanAt(0, {seen(t, "a.test", Outcome::NotListed), seen(t, "b.test", Outcome::Listed, {"127.0.0.2"})}));
    record(scanAt(1, {seen(t, "a.test", Outcome::Listed, {"127.0.0.3"}), seen(t, "b.test", Outcome::Failed)}));
    record(scanAt(
        2, {seen(t, "a.test", Outcome::Listed, {"127.0.0.3"}), seen(t, "b.test", Outcome::Listed, {"127.0.0.2"})}));
    record(scanAt(3, {seen(t, "a.test", Outcome::NotListed), seen(t, "b.test", Outcome::Listed, {"127.0.0.2"})}));

    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline("192.0.2.9", &events));
    std::vector<std::pair<int, Outcome>> got;
    for (const HistoryEvent& e : events) got.emplace_back(int(kStart.secsTo(e.when) / 3600), e.observation.outcome);
    const std::vector<std::pair<int, Outcome>> expected{{0, Outcome::NotListed}, {0, Outcome::Listed},
                                                        {1, Outcome::Listed},    {1, Outcome::Failed},
                                                        {2, Outcome::Listed},    {3, Outcome::NotListed}};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(events[2].observation.codes, QStringList{"127.0.0.3"});
    EXPECT_EQ(events[3].observation.detail, "timed out");

    std::vector<ZoneStanding> standing;
    ASSERT_TRUE(store.Standing("192.0.2.9", &standing));
    // zone, answer, then hours: answer since, latest since, delisted on. b.test
    // is listed since the first scan, across the failure.
    std::vector<std::tuple<QString, Outcome, int, int, int>> got2;
    for (const ZoneStanding& z : standing)
        got2.emplace_back(z.latest.zone, z.answer, hourOf(z.answerSince), hourOf(z.latestSince), hourOf(z.delistedOn));
    EXPECT_EQ(got2, (decltype(got2){{"a.test", Outcome::NotListed, 3, 3, 3}, {"b.test", Outcome::Listed, 0, 2, -1}}));
    // Targets match in any letter case, as the address list's keys do.
    record(scanAt(4, {seen("Mail.Example.COM", "a.test", Outcome::Listed, {"127.0.0.2"})}));
    ASSERT_TRUE(store.Standing("mail.example.com", &standing));
    EXPECT_EQ(standing.size(), 1u);
    // So do lists, spelled the other way round within one scan.
    record(scanAt(5,
                  {seen("mail.example.com", "A.Test", Outcome::Listed, {"127.0.0.2"}),
                   seen("mail.example.com", "B.TEST", Outcome::NotListed),
                   seen("mail.example.com", "b.test", Outcome::NotListed)}));
    ASSERT_TRUE(store.Standing("mail.example.com", &standing));
    ASSERT_EQ(standing.size(), 2u);
    EXPECT_EQ(standing[0].answer, Outcome::Listed);
    EXPECT_EQ(hourOf(standing[0].answerSince), 4) << "A.Test is the a.test listed since scan 4";
}

TEST_F(History, PruneKeepsThePresentSoNothingLooksNew)
{
    const QString t = "192.0.2.5";
    // u never changes: its first answers are all its history holds.
    const QString u = "192.0.2.6";
    record(scanAt(0, {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"}), seen(t, "b.test", Outcome::NotListed)}));
    record(scanAt(1, {seen(t, "a.test", Outcome::Failed), seen(t, "b.test", Outcome::Listed, {"127.0.0.2"})}));
    record(scanAt(2, {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"}), seen(t, "b.test", Outcome::NotListed)}));
    record(scanAt(3, {seen(u, "a.test", Outcome::NotListed), seen(u, "b.test", Outcome::NotListed)}));
    for (int day = 1; day <= 30; ++day)
        record(scanAt(24 * day,
                      {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"}), seen(t, "b.test", Outcome::NotListed)}));

    qint64 removed = 0;
    ASSERT_TRUE(store.Prune(7, kStart.addDays(31), &removed)) << store.LastError().toStdString();
    EXPECT_GT(removed, 0);
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline(t, &events));
    ASSERT_EQ(events.size(), 2u) << "only the rows that hold the present stay";
    EXPECT_LT(scans(path), 34);

    std::vector<ZoneStanding> standing;
    ASSERT_TRUE(store.Standing(t, &standing));
    ASSERT_EQ(standing.size(), 2u);
    // The scan that dates the listing is kept.
    EXPECT_EQ(std::make_pair(hourOf(standing[0].answerSince), hourOf(standing[1].delistedOn)), std::make_pair(0, 2));
    ASSERT_TRUE(store.Timeline(u, &events));
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(std::make_tuple(hourOf(events[0].when), events[0].observation.zone, events[1].observation.outcome),
              std::make_tuple(3, QString("a.test"), Outcome::NotListed));
    ASSERT_TRUE(store.Standing(u, &standing));
    ASSERT_EQ(standing.size(), 2u);
    EXPECT_EQ(std::make_pair(hourOf(standing[1].answerSince), hourOf(standing[1].latestSince)), std::make_pair(3, 3));

    EXPECT_TRUE(
        record(
            scanAt(24 * 31, {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"}), seen(t, "b.test", Outcome::NotListed)}))
            .empty());
    EXPECT_FALSE(store.Prune(-1, kStart));
}

// Watches measure their changes against their own last run; a file written
// before watches had state of their own keeps its history and starts each
// watch from the latest outcomes, so nothing looks new after the update.
TEST_F(History, WatchesKeepTheirOwnChangesAndOldFilesMigrate)
{
    const QString t = "192.0.2.7";
    const auto watchRun = [&](const QString& watch, Outcome outcome, int hour) {
        std::vector<HistoryChange> changes;
        EXPECT_TRUE(store.BeginWatchScan(scanAt(hour, {}), watch)) << store.LastError().toStdString();
        EXPECT_TRUE(store.Add(
            seen(t, "a.test", outcome, outcome == Outcome::Listed ? QStringList{"127.0.0.2"} : QStringList{})));
        EXPECT_TRUE(store.FinishScan(&changes)) << store.LastError().toStdString();
        return kinds(changes);
    };
    record(scanAt(0, {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"})}));
    store.Close();
    {
        // As the first version left it: no watch state, and the latest
        // outcomes only by reference.
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db,
                               "DROP TABLE watch_state; ALTER TABLE current DROP COLUMN kind;"
                               " ALTER TABLE current DROP COLUMN codes; ALTER TABLE current DROP COLUMN reasons;"
                               " ALTER TABLE current DROP COLUMN scan_id; PRAGMA user_version=1;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_TRUE(store.Open(path)) << store.LastError().toStdString();
    std::vector<HistoryEvent> events;
    ASSERT_TRUE(store.Timeline(t, &events));
    EXPECT_EQ(events.size(), 1u) << "the history survives the update";
    // The same listing again is no new outcome: the update carried the
    // latest one over in full.
    EXPECT_TRUE(record(scanAt(0, {seen(t, "a.test", Outcome::Listed, {"127.0.0.2"})})).empty());
    ASSERT_TRUE(store.Timeline(t, &events));
    EXPECT_EQ(events.size(), 1u);

    EXPECT_TRUE(watchRun("A", Outcome::Listed, 1).empty()) << "a new watch starts from the latest outcomes";
    EXPECT_TRUE(watchRun("B", Outcome::Listed, 2).empty());
    // Delisted, seen first by an ad-hoc scan: each watch still reports it.
    EXPECT_TRUE(record(scanAt(3, {seen(t, "a.test", Outcome::NotListed)})).size() == 1);
    EXPECT_EQ(watchRun("A", Outcome::NotListed, 4), std::vector<Kind>{Kind::Delisted});
    EXPECT_EQ(watchRun("B", Outcome::NotListed, 5), std::vector<Kind>{Kind::Delisted});
    EXPECT_TRUE(watchRun("A", Outcome::NotListed, 6).empty());
    // A failure is no delisting and no listing for a watch either.
    EXPECT_EQ(watchRun("A", Outcome::Failed, 7), std::vector<Kind>{Kind::Failing});
    EXPECT_EQ(watchRun("A", Outcome::Listed, 8), (std::vector<Kind>{Kind::Listed, Kind::Recovered}));
}

// Files the store must not use: each is refused with a message naming the
// problem, and left byte for byte as it was.
TEST(HistoryProblems, UnusableFilesAreNamedAndLeftAlone)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.sqlite");
    seed(good, network(0, 4, [](int h, int) { return h == 3 ? Outcome::Listed : Outcome::NotListed; }));
    const QByteArray bytes = slurp(good);
    ASSERT_GT(bytes.size(), 8192);

    struct Case {
        const char* name;
        QByteArray contents;
        HistoryStore::Problem problem;
        const char* says;
    };
    QByteArray newer = bytes;
    newer[60] = 0, newer[61] = 0, newer[62] = 0, newer[63] = 9; // user_version, big-endian
    QByteArray truncatedMidway = bytes.left(bytes.size() / 2 + 100);
    const std::vector<Case> cases{
        {"newer schema", newer, HistoryStore::Problem::NewerSchema, "newer version of Quarlo (schema 9"},
        {"truncated", truncatedMidway, HistoryStore::Problem::Damaged, "is damaged"},
        {"not a database", QByteArray("time,target\n1,2\n").repeated(400), HistoryStore::Problem::Damaged,
         "is damaged"},
    };
    for (const Case& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name) + ".sqlite");
        spit(path, c.contents);
        const QByteArray before = slurp(path);
        for (bool readOnly : {false, true}) {
            HistoryStore store;
            EXPECT_FALSE(store.Open(path, readOnly)) << c.name;
            EXPECT_EQ(store.LastProblem(), c.problem) << c.name;
            EXPECT_TRUE(store.LastError().contains(QLatin1String(c.says)))
                << c.name << ": " << store.LastError().toStdString();
            EXPECT_TRUE(store.LastError().contains(path)) << c.name;
            EXPECT_FALSE(store.Record(scanAt(1, {}), nullptr)) << c.name;
        }
        EXPECT_EQ(slurp(path), before) << c.name << " was changed";
    }
}

// A full disk (a file size limit, under which writes fail with EFBIG as on a
// full file system): the record fails and says so, and what was recorded
// before is intact.
TEST(HistoryProblems, FullDiskFailsTheRecordAndKeepsWhatWasThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    seed(path, network(0, 1, [](int h, int) { return h == 1 ? Outcome::Listed : Outcome::NotListed; }));
    ASSERT_EQ(scans(path), 1);
    {
        HistoryStore store;
        ASSERT_TRUE(store.Open(path)) << store.LastError().toStdString();
        rlimit old{};
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, old.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        const bool recorded = store.Record(
            network(1, 20, [](int h, int z) { return h == z ? Outcome::Listed : Outcome::Failed; }), nullptr);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        EXPECT_FALSE(recorded);
        EXPECT_TRUE(store.LastError().contains("the disk is full")) << store.LastError().toStdString();
        EXPECT_EQ(store.LastProblem(), HistoryStore::Problem::DiskFull);
    }
    EXPECT_EQ(scans(path), 1);
    HistoryStore store;
    ASSERT_TRUE(store.Open(path)) << store.LastError().toStdString();
    std::vector<ZoneStanding> standing;
    ASSERT_TRUE(store.Standing("192.0.2.1", &standing));
    ASSERT_EQ(standing.size(), 1u);
    EXPECT_EQ(standing[0].latest.outcome, Outcome::Listed);
}

// Two watchers on one file at once: every scan of both is recorded and the
// file stays sound.
TEST(HistoryProblems, TwoWritersAtOnceKeepEveryScan)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    constexpr int kScans = 25;
    std::atomic<int> failures{0};
    std::string firstError;
    auto writer = [&](int which) {
        HistoryStore store;
        store.setBusyTimeoutMs(20000);
        if (!store.Open(path)) {
            if (failures++ == 0) firstError = store.LastError().toStdString();
            return;
        }
        for (int i = 0; i < kScans; ++i) {
            // Both touch the same targets, each on its own list.
            ScanRecord mine =
                network(i, 1, [&](int h, int) { return (h + i) % 50 == 0 ? Outcome::Listed : Outcome::NotListed; });
            for (ScanObservation& o : mine.observations) o.zone = QStringLiteral("w%1.test").arg(which);
            if (!store.Record(mine, nullptr)) {
                if (failures++ == 0) firstError = store.LastError().toStdString();
            }
        }
    };
    std::thread a(writer, 1), b(writer, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0) << firstError;
    EXPECT_EQ(scans(path), 2 * kScans);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_stmt* check = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
    sqlite3_finalize(check);
    sqlite3_close(db);
}

// Recording on a thread of its own: what is handed over is recorded once,
// whatever ends the job early leaves the history as it was, and the
// callback comes on the caller's thread. (A file the job cannot use: the
// scan recorder's tests, which report it through this job.)
TEST(HistoryRecordJob, RecordsWhatIsHandedOverAndEndsEarlyWithoutATrace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    // A /24 against three lists, handed over in batches of 100; host 7 is
    // listed on the first list when listed is set.
    const auto handOver = [](HistoryRecordJob& job, bool listed) {
        const auto all = network(0, 3, [&](int host, int zone) {
                             return listed && host == 7 && zone == 0 ? Outcome::Listed : Outcome::NotListed;
                         }).observations;
        for (size_t i = 0; i < all.size(); i += 100)
            job.Add({all.begin() + i, all.begin() + std::min(i + 100, all.size())});
    };
    for (const bool listed : {false, true}) {
        HistoryRecordJob job(path, scanAt(listed, {}), 0);
        handOver(job, listed);
        const HistoryRecordJob::Result result = job.Finish();
        ASSERT_TRUE(result.written) << result.error.toStdString();
        EXPECT_EQ(result.changes.size(), listed ? 1u : 0u);
        if (listed) {
            EXPECT_EQ(result.changes[0].target + " " + result.changes[0].zone, "192.0.2.7 z0.test");
            EXPECT_EQ(result.previousScan, kStart);
        }
    }
    ASSERT_EQ(scans(path), 2);

    // Cancelled, or gone before Finish: nothing of the scan stays, and the
    // next scan still sees the listing as known.
    {
        HistoryRecordJob job(path, scanAt(2, {}), 0);
        handOver(job, false);
        job.Cancel();
        EXPECT_FALSE(job.Finish().written);
    }
    {
        HistoryRecordJob job(path, scanAt(2, {}), 0);
        handOver(job, false);
    }
    EXPECT_EQ(scans(path), 2);

    // Finished in the background, the result comes on the caller's thread.
    QObject context;
    bool called = false;
    HistoryRecordJob job(path, scanAt(3, {}), 0);
    handOver(job, true);
    job.FinishLater(&context, [&](const HistoryRecordJob::Result& result) {
        called = true;
        EXPECT_TRUE(result.written) << result.error.toStdString();
        EXPECT_TRUE(result.changes.empty()) << "the listing is known from before";
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return called; }, 30000));
    EXPECT_EQ(scans(path), 3);
}

// (The data folder's own rules: ConfigLocation's tests.)
TEST(HistoryPath, EnvironmentDecidesTheDefault)
{
    EnvGuard env;
    env.unset("QUARLO_HISTORY");
    env.set("XDG_DATA_HOME", "/data/home");
    EXPECT_EQ(HistoryStore::DefaultPath(), "/data/home/quarlo/history.sqlite");
    env.set("QUARLO_HISTORY", "/elsewhere/h.sqlite");
    EXPECT_EQ(HistoryStore::DefaultPath(), "/elsewhere/h.sqlite");
}
