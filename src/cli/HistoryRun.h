#pragma once

#include "cli/CheckOptions.h"
#include "cli/CheckTarget.h"

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
    // Records the finished scan; warns when the history could not be written.
    static void Record(Addresslist& list, Settings& settings, const CheckOptions& options);
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
