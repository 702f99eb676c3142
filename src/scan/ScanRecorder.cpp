#include "scan/ScanRecorder.h"

#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/DirectDns.h"
#include "storage/HistoryStore.h"

#include <QFileInfo>

namespace quarlo {
namespace {

constexpr int kTxtPollMs = 100;

ScanObservation::Outcome outcomeOf(ZoneNote::Kind kind)
{
    switch (kind) {
    case ZoneNote::Kind::Failed: return ScanObservation::Outcome::Failed;
    case ZoneNote::Kind::Refused: return ScanObservation::Outcome::Refused;
    case ZoneNote::Kind::Skipped: return ScanObservation::Outcome::Skipped;
    case ZoneNote::Kind::NotApplicable: return ScanObservation::Outcome::NotApplicable;
    }
    return ScanObservation::Outcome::Failed;
}

} // namespace

ScanRecorder::ScanRecorder(Addresslist& list, const QString& source, QObject* parent)
    : QObject(parent), list_(list), source_(source)
{
    txtWait_.setInterval(kTxtPollMs);
    connect(&txtWait_, &QTimer::timeout, this, &ScanRecorder::onTxtWait);
    connect(&list_, &Addresslist::ScanComplete, this, &ScanRecorder::onScanComplete);
    // A new scan resets the addresses: what was not recorded by then is lost.
    connect(&list_, &Addresslist::ScanStarted, &txtWait_, &QTimer::stop);
}

QString ScanRecorder::historyPath() const { return path_.isEmpty() ? HistoryStore::DefaultPath() : path_; }

ScanRecord ScanRecorder::Header(Addresslist& list, const QString& source, const QString& listFile)
{
    ScanRecord record;
    record.started = list.Summary().started.isValid() ? list.Summary().started : QDateTime::currentDateTimeUtc();
    record.finished = QDateTime::currentDateTimeUtc();
    record.source = source;
    const QString file = listFile.isEmpty() ? list.Filename() : listFile;
    record.listFile = file.isEmpty() ? QString() : QFileInfo(file).absoluteFilePath();
    record.targets = list.Count();
    return record;
}

ScanRecord ScanRecorder::Observe(Addresslist& list, const QString& source, const QString& listFile)
{
    ScanRecord record = Header(list, source, listFile);
    ObserveEach(list, [&](const ScanObservation& seen) { record.observations.push_back(seen); });
    return record;
}

void ScanRecorder::ObserveEach(Addresslist& list, const std::function<void(const ScanObservation&)>& sink)
{
    std::vector<ServerPtr> servers;
    for (const ServerPtr& server : list.settings().BlacklistServers())
        if (server->Enabled()) servers.push_back(server);

    for (const AddressPtr& address : list) {
        if (!address->Complete() || address->Stopped()) continue;
        const Verdict verdict = address->Verdict();
        if (verdict == Verdict::NotChecked || verdict == Verdict::NoMail || verdict == Verdict::NotScanned
            || verdict == Verdict::Scanning)
            continue;
        // A target no list could be asked about is recorded too, once per
        // list, so its history says what became of every scan of it.
        const auto observation = [&address](const ServerPtr& server) {
            ScanObservation seen;
            seen.target = address->Target();
            seen.zone = server->Zone();
            seen.listName = server->Name();
            seen.link = server->URL();
            return seen;
        };
        if (verdict == Verdict::Unresolvable || verdict == Verdict::Unsupported) {
            const bool unresolvable = verdict == Verdict::Unresolvable;
            for (const ServerPtr& server : servers) {
                ScanObservation seen = observation(server);
                seen.outcome = unresolvable ? ScanObservation::Outcome::Unresolvable : ScanObservation::Outcome::Invalid;
                seen.detail = unresolvable ? address->HostLookupProblem() : address->InvalidReason();
                sink(seen);
            }
            continue;
        }
        for (const ServerPtr& server : servers) {
            ScanObservation seen = observation(server);
            seen.outcome = ScanObservation::Outcome::NotListed;
            const ZoneNote* note = nullptr;
            for (const ZoneNote& n : address->ZoneNotes())
                if (n.zone.compare(seen.zone, Qt::CaseInsensitive) == 0) note = &n;
            // One record per thing the list answered for (a host's addresses):
            // the target is listed when any of them is.
            const std::vector<RespondingServerPtr> responding = address->RespondingServersOf(seen.zone);
            bool listing = false;
            for (const RespondingServerPtr& server : responding) listing = listing || server->Listing();
            if (listing) {
                seen.outcome = ScanObservation::Outcome::Listed;
                for (const RespondingServerPtr& server : responding) {
                    for (const ResponsePtr& response : server->Responses()) {
                        if (!response->Listing() || seen.codes.contains(response->Address())) continue;
                        seen.codes.append(response->Address());
                        seen.reasons.append(response->Reason());
                        if (!response->TXTRecord().isEmpty() && !seen.txt.contains(response->TXTRecord()))
                            seen.txt.append(response->TXTRecord());
                    }
                }
            } else if (note) {
                seen.outcome = outcomeOf(note->kind);
                seen.detail = note->detail;
            } else if (!responding.empty()) {
                // Only answers the list marks as refusals.
                seen.outcome = ScanObservation::Outcome::Refused;
                QStringList reasons;
                for (const RespondingServerPtr& server : responding)
                    for (const ResponsePtr& response : server->Responses()) reasons.append(response->Reason());
                seen.detail = reasons.join(QStringLiteral(", "));
            }
            sink(seen);
        }
    }
}

bool ScanRecorder::RecordList(Addresslist& list, const QString& source, const QString& listFile, const QString& path,
                              int retentionDays, std::vector<HistoryChange>* changes, QString* error)
{
    HistoryStore store;
    bool ok = store.Open(path) && store.BeginScan(Header(list, source, listFile), changes != nullptr);
    if (ok) ObserveEach(list, [&](const ScanObservation& seen) { ok = ok && store.Add(seen); });
    if (!ok || !store.FinishScan(changes)) {
        if (error) *error = store.LastError();
        return false;
    }
    if (retentionDays > 0) store.Prune(retentionDays, QDateTime::currentDateTimeUtc());
    return true;
}

bool ScanRecorder::Record(const ScanRecord& record, const QString& path, int retentionDays,
                          std::vector<HistoryChange>* changes, QString* error, QDateTime* previousScan)
{
    HistoryStore store;
    if (!store.Open(path) || !store.Record(record, changes)) {
        if (error) *error = store.LastError();
        return false;
    }
    if (previousScan) *previousScan = store.PreviousScanTime();
    if (retentionDays > 0) store.Prune(retentionDays, QDateTime::currentDateTimeUtc());
    return true;
}

bool ScanRecorder::recordNow()
{
    txtWait_.stop();
    const int days = list_.settings().RetrieveOption(kRetentionOption, 0).toInt();
    std::vector<HistoryChange> changes;
    QString error;
    if (!RecordList(list_, source_, QString(), historyPath(), days, &changes, &error)) {
        emit RecordFailed(error);
        return false;
    }
    emit Recorded(changes);
    return true;
}

void ScanRecorder::onScanComplete()
{
    txtWaited_ = 0;
    onTxtWait();
}

void ScanRecorder::onTxtWait()
{
    // TXT texts come after the listing answers; a list that never sends
    // them does not hold the record back for long.
    if (list_.directDns().OutstandingCount() > 0 && txtWaited_ < kTxtWaitMs) {
        txtWaited_ += kTxtPollMs;
        if (!txtWait_.isActive()) txtWait_.start();
        return;
    }
    recordNow();
}

} // namespace quarlo
