#pragma once

#include "cli/CheckOptions.h"
#include "cli/CheckTarget.h"
#include "storage/HistoryRecordJob.h"

#include <functional>
#include <memory>
#include <vector>

namespace quarlo {

class Addresslist;

class Settings;

// What quarlo-check does with the scan history: records every finished
// scan, reports a watch run's changes (and passes them on), prunes and
// exports. Problems with the history are warnings: the scan's report and
// exit status stand regardless.
class HistoryRun {
public:
    // A record being written beside the report; going out of scope waits
    // for it and warns when the history could not be written.
    class Pending {
    public:
        explicit Pending(std::unique_ptr<HistoryRecordJob> job) : job_(std::move(job)) {}
        ~Pending();
        Pending(const Pending&) = delete;
        Pending& operator=(const Pending&) = delete;

    private:
        std::unique_ptr<HistoryRecordJob> job_;
    };
    // Starts recording the finished scan; null with --no-history. While the
    // record is behind, meanwhile (if given) is called to do other work, as
    // long as it says there is more.
    static std::unique_ptr<Pending> Record(Addresslist& list, Settings& settings, const CheckOptions& options,
                                           const std::function<bool()>& meanwhile = {});
    // Records, writes the changes report and notifies; returns the
    // monitoring exit status (0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN).
    // metrics: the report goes there in the node-exporter format instead
    // of to the output (the service's scheduled watches).
    static int FinishWatch(Addresslist& list, Settings& settings, const CheckOptions& options,
                           const std::vector<CheckTarget>& targets, QByteArray* metrics = nullptr);
    // Whose changes a watch run reports: --watch-name, else its list files'
    // real paths, else its set of targets.
    static QString WatchName(const CheckOptions& options, const std::vector<CheckTarget>& targets);
    // --history-prune DAYS; returns the exit status.
    static int Prune(const CheckOptions& options, int days);
    // --history-csv TARGET; returns the exit status.
    static int ExportCsv(const CheckOptions& options, const QString& target);
};

} // namespace quarlo
