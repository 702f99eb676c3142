#pragma once

#include "cli/CheckTarget.h"
#include "model/HistoryChange.h"
#include "model/ScanRecord.h"

#include <QByteArray>
#include <QDateTime>
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

    // warning and critical: the number of lists a target must be on.
    WatchReport(ScanRecord record, std::vector<HistoryChange> changes, const std::vector<CheckTarget>& targets,
                int warning, int critical, History history);

    // Critical or Warning by the most lists any target is on, else Unknown
    // when some target could not be vouched for, else Ok.
    Status status() const { return status_; }
    static QString StatusWord(Status status);
    const std::vector<HistoryChange>& changes() const { return changes_; }
    bool hasChanges() const { return !changes_.empty(); }
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

    ScanRecord record_;
    std::vector<HistoryChange> changes_;
    History history_;
    Status status_ = Ok;
    int listedTargets_ = 0;
    int mostLists_ = 0;
    bool incomplete_ = false;
};

} // namespace quarlo
