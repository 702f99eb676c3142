#pragma once

#include "model/HistoryChange.h"
#include "model/ScanRecord.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quarlo {

// Records one scan into the history on a thread of its own: the caller
// hands observations over in batches as it makes them and goes on (drawing
// the window, writing a report); the store's reads and writes, one
// transaction, happen beside it.
//
//     HistoryRecordJob job(path, header, retentionDays);
//     job.Add(std::move(batch));   // as often as needed
//     job.Finish();                // waits; or FinishLater(context, done)
//
// A job that is cancelled, or destroyed unfinished, rolls back: the history
// stays as it was before the scan.
class HistoryRecordJob {
public:
    struct Result {
        bool written = false;
        QString error;                      // why not, when not written
        bool locked = false;                // another program held the file past the wait
        std::vector<HistoryChange> changes; // when written and collected
        QDateTime previousScan;             // the scan before this one
    };
    using Done = std::function<void(const Result&)>;

    // Batches waiting beyond this make Add wait: memory stays bounded when
    // the store is slower than the caller.
    static constexpr size_t MaxQueued = 4;

    // watch: record as that watch's run (its changes against its own last
    // outcomes); empty for a plain scan. collectChanges: whether Finish
    // returns the changes (a plain command-line run needs none).
    HistoryRecordJob(const QString& path, const ScanRecord& header, int retentionDays, bool collectChanges = true,
                     const QString& watch = QString());
    ~HistoryRecordJob();
    HistoryRecordJob(const HistoryRecordJob&) = delete;
    HistoryRecordJob& operator=(const HistoryRecordJob&) = delete;

    void Add(std::vector<ScanObservation>&& batch);
    // Whether Add would wait now.
    bool Full() const;
    // Waits until everything handed over is recorded.
    Result Finish();
    // Returns at once; done runs on context's thread once recorded.
    // context must own the job or outlive it.
    void FinishLater(QObject* context, Done done);
    void Cancel();

private:
    void run();

    QString path_;
    ScanRecord header_;
    int retentionDays_;
    bool collect_;
    QString watch_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<ScanObservation>> queue_;
    bool finishing_ = false, cancelled_ = false, done_ = false;
    QPointer<QObject> context_;
    Done onDone_;
    Result result_;
    std::thread thread_;
};

} // namespace quarlo
