#pragma once

#include "cli/CheckTarget.h"
#include "model/HistoryChange.h"
#include "model/ScanRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <vector>

namespace quarlo {

// What `quarlo-check --watch` reports: the changes since the last recorded
// scan, and a verdict with monitoring-plugin exit codes.
class WatchReport {
public:
    enum Status { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

    struct History {
        bool written = false;
        QString path;
        QString error;          // why it was not written
        bool locked = false;    // another run held it for longer than the wait: changes unknown
        QDateTime previousScan; // invalid on the first recorded scan
    };

    // scan: the scan's own fields (its observations come through add());
    // warning and critical: the number of lists a target must be on.
    WatchReport(ScanRecord scan, const std::vector<CheckTarget>& targets, int warning, int critical);
    // Takes in one observation of the scan: only listings are kept, so a
    // large scan is not held in memory twice.
    void add(const ScanObservation& observation);
    // Once every observation was added: what the history made of them.
    void finish(std::vector<HistoryChange> changes, History history);

    // Critical by the most lists any target is on; else Unknown when another
    // run held the history so that this run's changes are unknown; else
    // Warning by the lists; else Unknown when some target could not be
    // vouched for; else Ok.
    Status status() const { return status_; }
    static QString StatusWord(Status status);
    const std::vector<HistoryChange>& changes() const { return changes_; }
    bool hasChanges() const { return !changes_.empty(); }
    // The scan, with its listings as observations.
    const ScanRecord& record() const { return record_; }
    const History& history() const { return history_; }
    // The watch this run belongs to (see --watch-name).
    QString watch() const { return watch_; }
    void setWatch(const QString& watch) { watch_ = watch; }
    int listedTargets() const { return listedTargets_; }
    int mostLists() const { return mostLists_; }

    // Monitoring-plugin output: the first line is the verdict, naming up to
    // kNamedTargets listed targets and their lists, with performance data
    // after "|"; then one line per listing, then the changes.
    static constexpr int kNamedTargets = 3;
    QString text() const;
    // The performance data: most lists per target against -w and -c, the
    // targets listed and checked, the lists that answered and those that
    // failed, the scan's duration.
    QString perfData() const;
    // The one line a run that could not start prints (UNKNOWN).
    static QString StartupFailure(const QString& message);
    QByteArray json() const;
    // One line for a mail's subject.
    QString subject() const;

private:
    QString summaryLine() const;
    // "192.0.2.7 on 2 lists (a.test, b.test), ..., 1 more"; empty when none.
    QString listedNames() const;

    ScanRecord record_; // its observations: the listings only
    std::vector<HistoryChange> changes_;
    History history_;
    QString watch_;
    int warning_ = 1;
    int critical_ = 2;
    Status status_ = Ok;
    QHash<QString, int> listsPerTarget_;         // case-folded target -> lists listing it
    QStringList listedOrder_;                    // listed targets as first seen
    QHash<QString, QStringList> zonesPerTarget_; // case-folded target -> zones listing it
    QSet<QString> zones_, failingZones_;         // case-folded zones asked, and those that failed somewhere
    int listedTargets_ = 0;
    int mostLists_ = 0;
    bool incomplete_ = false;
};

} // namespace quarlo
