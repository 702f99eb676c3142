#pragma once

#include "model/Address.h"
#include "model/HistoryChange.h"
#include "model/ScanRecord.h"
#include "model/Server.h"
#include "storage/HistoryRecordJob.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace quarlo {

class Addresslist;

// Records every completed scan of an address list into the history, so the
// window, the command line and automation all record the same way.
//
// The window and automation attach one to their list and forget it:
//
//     new ScanRecorder(list, QStringLiteral("window"), &list);
//
// It listens for Addresslist::ScanComplete, waits for late TXT replies
// (at most a few seconds) and records; Recorded or RecordFailed then says
// how it went. A failed record never touches the scan's results.
class ScanRecorder : public QObject {
    Q_OBJECT
public:
    // The option (in Settings) that keeps the history this many days; 0 or
    // unset keeps everything.
    static inline const QString kRetentionOption = QStringLiteral("History Days");
    static constexpr int kTxtWaitMs = 5000;

    ScanRecorder(Addresslist& list, const QString& source, QObject* parent = nullptr);

    // Default: HistoryStore::DefaultPath(), read when recording.
    void setHistoryPath(const QString& path) { path_ = path; }
    QString historyPath() const;

    // What the list's last scan found, per entry and enabled list. Entries
    // the scan did not finish, and targets it could not check at all, are
    // left out.
    static ScanRecord Observe(Addresslist& list, const QString& source, const QString& listFile = QString());

    // The same, one observation at a time, for scans too large to hold
    // twice in memory; Header is the scan without its observations.
    static ScanRecord Header(Addresslist& list, const QString& source, const QString& listFile = QString());
    // Each observation is handed over whole: a sink may keep it by moving.
    using Sink = std::function<void(ScanObservation&&)>;
    static void ObserveEach(Addresslist& list, const Sink& sink);
    // The lists a scan of list asks, and one entry's observations on them.
    static std::vector<ServerPtr> ObservedServers(Addresslist& list);
    static void ObserveAddress(const Address& address, const std::vector<ServerPtr>& servers, const Sink& sink);
    // Records the list's last scan without building a whole ScanRecord.
    static bool RecordList(Addresslist& list, const QString& source, const QString& listFile, const QString& path,
                           int retentionDays, std::vector<HistoryChange>* changes, QString* error);

    // Records record into the history at path, then applies the retention
    // option when retentionDays > 0. False with *error set when the
    // history could not be written (pruning problems are not failures).
    static bool Record(const ScanRecord& record, const QString& path, int retentionDays,
                       std::vector<HistoryChange>* changes, QString* error, QDateTime* previousScan = nullptr);

    // Starts recording the list's current results: the entries are read a
    // slice per event-loop turn and written on a thread of their own, so a
    // large network does not freeze the window; Recorded or RecordFailed
    // follows. A new scan before the end drops the record.
    void recordNow();
    bool Recording() const { return job_ != nullptr; }
    ~ScanRecorder() override;

signals:
    void Recorded(const std::vector<quarlo::HistoryChange>& changes);
    void RecordFailed(const QString& message);

private:
    void onScanComplete();
    void onTxtWait();
    // Hands the next slice of entries to the job; true when all are in.
    bool observeSlice(size_t count);
    void onSlice();

    Addresslist& list_;
    QString source_;
    QString path_;
    QTimer txtWait_;
    int txtWaited_ = 0;
    // The record being written.
    std::unique_ptr<HistoryRecordJob> job_;
    std::vector<AddressPtr> pending_; // entries still to observe, in list order
    size_t next_ = 0;
    std::vector<ServerPtr> servers_;
    QTimer slice_;
};

} // namespace quarlo
