// Recording on a thread of its own: what is handed over is recorded once,
// whatever ends the job early leaves the history as it was, and the
// callback comes on the caller's thread. (A file the job cannot use: the
// scan recorder's tests, which report it through this job.)
#include "storage/HistoryRecordJob.h"
#include "support/HistoryRecords.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

using namespace quarlo;
using Outcome = ScanObservation::Outcome;

namespace {

const QDateTime kStart(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);

// A /24 against three lists, handed over in batches of 100; host 7 is
// listed on the first list when listed is set.
void handOver(HistoryRecordJob& job, bool listed)
{
    std::vector<ScanObservation> batch;
    for (int host = 0; host < 256; ++host)
        for (int zone = 0; zone < 3; ++zone) {
            const bool hit = listed && host == 7 && zone == 0;
            batch.push_back(seen(QStringLiteral("192.0.2.%1").arg(host), QStringLiteral("z%1.test").arg(zone),
                                 hit ? Outcome::Listed : Outcome::NotListed,
                                 hit ? QStringList{"127.0.0.2"} : QStringList{}));
            if (batch.size() == 100) job.Add(std::exchange(batch, {}));
        }
    job.Add(std::move(batch));
}

qint64 scanCount(const QString& path)
{
    HistoryStore store;
    qint64 count = -1;
    if (!store.Open(path, true) || !store.ScanCount(&count)) return -1;
    return count;
}

} // namespace

TEST(HistoryRecordJob, RecordsWhatIsHandedOverAndEndsEarlyWithoutATrace)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("history.sqlite");
    {
        HistoryRecordJob job(path, scanRecord(kStart, {}), 0);
        handOver(job, false);
        const HistoryRecordJob::Result result = job.Finish();
        ASSERT_TRUE(result.written) << result.error.toStdString();
        EXPECT_TRUE(result.changes.empty());
    }
    {
        HistoryRecordJob job(path, scanRecord(kStart.addSecs(3600), {}), 0);
        handOver(job, true);
        const HistoryRecordJob::Result result = job.Finish();
        ASSERT_TRUE(result.written) << result.error.toStdString();
        ASSERT_EQ(result.changes.size(), 1u);
        EXPECT_EQ(result.changes[0].target + " " + result.changes[0].zone, "192.0.2.7 z0.test");
        EXPECT_EQ(result.previousScan, kStart);
    }
    ASSERT_EQ(scanCount(path), 2);

    // Cancelled, or gone before Finish: nothing of the scan stays, and the
    // next scan still sees the listing as known.
    {
        HistoryRecordJob job(path, scanRecord(kStart.addSecs(7200), {}), 0);
        handOver(job, false);
        job.Cancel();
        EXPECT_FALSE(job.Finish().written);
    }
    {
        HistoryRecordJob job(path, scanRecord(kStart.addSecs(7200), {}), 0);
        handOver(job, false);
    }
    EXPECT_EQ(scanCount(path), 2);

    // Finished in the background, the result comes on the caller's thread.
    QObject context;
    bool called = false;
    HistoryRecordJob job(path, scanRecord(kStart.addSecs(10800), {}), 0);
    handOver(job, true);
    job.FinishLater(&context, [&](const HistoryRecordJob::Result& result) {
        called = true;
        EXPECT_TRUE(result.written) << result.error.toStdString();
        EXPECT_TRUE(result.changes.empty()) << "the listing is known from before";
        EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return called; }, 30000));
    EXPECT_EQ(scanCount(path), 3);
}
