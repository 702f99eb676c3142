#pragma once

#include "model/HistoryChange.h"
#include "model/HistoryEvent.h"
#include "model/ScanRecord.h"
#include "model/ZoneStanding.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

struct sqlite3;

namespace quarlo {

// The scan history: one SQLite file (WAL mode) that keeps every scan and,
// per target and list, a row only when the outcome differs from the one
// before, so it grows with changes rather than with scans.
//
// Never destructive on trouble: a file that is damaged, from a newer
// version, read-only, locked for longer than the busy timeout or on a full
// disk is left as it is and the call fails with a message naming the
// problem. Several processes may record into the same file at once; each
// record is one transaction.
//
// One store is used from one thread at a time.
class HistoryStore {
public:
    // The schema this version writes; migrations bring older files up to it.
    static constexpr int kSchemaVersion = 3;
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    enum class Problem { None, Locked, ReadOnly, DiskFull, NewerSchema, Damaged, Other };

    HistoryStore();
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    // $QUARLO_HISTORY, else $XDG_DATA_HOME/quarlo/history.sqlite (with
    // ~/.local/share when XDG_DATA_HOME is unset).
    static QString DefaultPath();

    // How long a call waits for another writer before it fails as locked.
    void setBusyTimeoutMs(int ms) { busyTimeoutMs_ = ms; }

    // Opens (creating the file and its folder when missing) and brings the
    // schema up to date. readOnly opens an existing file for queries only
    // and never creates or migrates it.
    bool Open(const QString& path, bool readOnly = false);
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    QString Path() const { return path_; }

    // Records a completed scan and says what changed against each target's
    // previous outcomes (changes may be null). On failure nothing of this
    // scan is kept.
    bool Record(const ScanRecord& scan, std::vector<HistoryChange>* changes);

    // The same in steps, so a large scan need not be held in memory: the
    // scan's own fields (not its observations), then each observation, then
    // FinishScan commits. A failed step abandons the scan; CancelScan (or
    // Close) drops one in progress.
    // collectChanges false: FinishScan reports none, and the changes of a
    // large first scan (every listing is new) are never held in memory.
    bool BeginScan(const ScanRecord& scan, bool collectChanges = true);
    // A watch's run: the changes are those since what this watch last saw,
    // whatever other scans recorded in between (they still make the
    // timeline). A watch never seen before starts from the latest outcomes.
    bool BeginWatchScan(const ScanRecord& scan, const QString& watch);
    bool Add(const ScanObservation& observation);
    bool FinishScan(std::vector<HistoryChange>* changes);
    void CancelScan();

    // When the scan before the last recorded one started; invalid when fewer
    // than two scans are recorded.
    QDateTime PreviousScanTime() const { return previousScan_; }

    // A target's timeline (any letter case), oldest first.
    bool Timeline(const QString& target, std::vector<HistoryEvent>* events);
    // Where a target stands with every list that was asked about it.
    bool Standing(const QString& target, std::vector<ZoneStanding>* standing);
    // Every recorded target, in the order first recorded.
    bool Targets(QStringList* targets);
    // How many scans are recorded.
    bool ScanCount(qint64* count);

    // Forgets scans older than days before now, and outcome rows that only
    // they needed; each pair's latest outcome (and the scans that date it)
    // stays, so later scans still see what changed. removed: rows removed.
    bool Prune(int days, const QDateTime& now, qint64* removed = nullptr);

    // What went wrong in the last failed call, for the user.
    QString LastError() const { return lastError_; }
    Problem LastProblem() const { return problem_; }

private:
    bool exec(const char* sql);
    bool fail(const QString& what);
    bool migrate();
    bool schemaVersion(int* version);
    bool useWal();

    struct Writer;
    bool abandon();

    sqlite3* db_ = nullptr;
    std::unique_ptr<Writer> writer_;
    QString path_;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
    QString lastError_;
    Problem problem_ = Problem::None;
    QDateTime previousScan_;
};

} // namespace quarlo
