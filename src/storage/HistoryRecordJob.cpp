#include "storage/HistoryRecordJob.h"

#include "storage/HistoryStore.h"

#include <QMetaObject>

namespace quarlo {

HistoryRecordJob::HistoryRecordJob(const QString& path, const ScanRecord& header, int retentionDays,
                                   bool collectChanges, const QString& watch)
    : path_(path), header_(header), retentionDays_(retentionDays), collect_(collectChanges), watch_(watch)
{
    header_.observations.clear();
    thread_ = std::thread([this] { run(); });
}

HistoryRecordJob::~HistoryRecordJob()
{
    {
        std::lock_guard lock(mutex_);
        if (!finishing_) cancelled_ = true;
        context_.clear();
        onDone_ = nullptr;
    }
    changed_.notify_all();
    thread_.join();
}

void HistoryRecordJob::Add(std::vector<ScanObservation>&& batch)
{
    if (batch.empty()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < MaxQueued || done_ || cancelled_; });
    if (done_ || cancelled_ || finishing_) return;
    queue_.push_back(std::move(batch));
    changed_.notify_all();
}

bool HistoryRecordJob::Full() const
{
    std::lock_guard lock(mutex_);
    return queue_.size() >= MaxQueued && !done_;
}

HistoryRecordJob::Result HistoryRecordJob::Finish()
{
    std::unique_lock lock(mutex_);
    finishing_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return done_; });
    return result_;
}

void HistoryRecordJob::FinishLater(QObject* context, Done done)
{
    std::lock_guard lock(mutex_);
    context_ = context;
    onDone_ = std::move(done);
    finishing_ = true;
    changed_.notify_all();
}

void HistoryRecordJob::Cancel()
{
    {
        std::lock_guard lock(mutex_);
        if (done_) return;
        cancelled_ = true;
        context_.clear();
        onDone_ = nullptr;
    }
    changed_.notify_all();
}

void HistoryRecordJob::run()
{
    HistoryStore store;
    Result result;
    bool ok = store.Open(path_);
    if (ok) ok = watch_.isEmpty() ? store.BeginScan(header_, collect_) : store.BeginWatchScan(header_, watch_);
    for (;;) {
        std::vector<ScanObservation> batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || finishing_ || cancelled_; });
            if (cancelled_) break;
            if (queue_.empty()) break; // finishing, and everything is in
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        changed_.notify_all(); // room for the caller
        // After a failure the rest is only taken off the queue.
        for (const ScanObservation& seen : batch) ok = ok && store.Add(seen);
    }

    bool cancelled;
    {
        std::lock_guard lock(mutex_);
        cancelled = cancelled_;
    }
    if (cancelled) {
        store.CancelScan();
        result.error = QStringLiteral("the scan was not recorded: it was replaced before recording ended");
    } else {
        result.written = ok && store.FinishScan(collect_ ? &result.changes : nullptr);
        if (result.written) {
            result.previousScan = store.PreviousScanTime();
            // Pruning problems are no failure of the record.
            if (retentionDays_ > 0) store.Prune(retentionDays_, QDateTime::currentDateTimeUtc());
        } else {
            result.error = store.LastError();
            result.locked = store.LastProblem() == HistoryStore::Problem::Locked;
        }
    }
    store.Close();

    std::unique_lock lock(mutex_);
    result_ = std::move(result);
    done_ = true;
    if (context_ && onDone_) {
        // Runs on the context's thread; the job may be gone by then, so
        // the callback gets its own copy.
        QMetaObject::invokeMethod(
            context_.data(), [done = onDone_, copy = result_] { done(copy); }, Qt::QueuedConnection);
    }
    lock.unlock();
    changed_.notify_all();
}

} // namespace quarlo
