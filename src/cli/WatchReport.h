#pragma once

#include "cli/CheckTarget.h"
#include "model/HistoryChange.h"
#include "model/ScanRecord.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
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
        QString error;        // why it was not written
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

    // Critical or Warning by the most lists any target is on, else Unknown
    // when some target could not be vouched for, else Ok.
    Status status() const { return status_; }
    static QString StatusWord(Status status);
    const std::vector<HistoryChange>& changes() const { return changes_; }
    bool hasChanges() const { return !changes_.empty(); }
    // The scan, with its listings as observations.
    const ScanRecord& record() const { return record_; }
    const History& history() const { return history_; }
    int listedTargets() const { return listedTargets_; }
    int mostLists() const { return mostLists_; }

    // The first line is the verdict, as monitoring systems show it.
    QString text() const;
    QByteArray json() const;
    // One line for a mail's subject.
    QString subject() const;

private:
    QString summaryLine() const;

    ScanRecord record_; // its observations: the listings only
    std::vector<HistoryChange> changes_;
    History history_;
    int warning_ = 1;
    int critical_ = 2;
    Status status_ = Ok;
    QHash<QString, int> listsPerTarget_; // case-folded target -> lists listing it
    int listedTargets_ = 0;
    int mostLists_ = 0;
    bool incomplete_ = false;
};

} // namespace quarlo
