#include "scan/ScanRecorder.h"

#include "model/Settings.h"
#include "scan/Addresslist.h"
#include "scan/DirectDns.h"
#include "storage/HistoryStore.h"

#include <QFileInfo>

#include <utility>

namespace quarlo {
namespace {

constexpr int kTxtPollMs = 100;
// Observations handed to the store at a time, and entries read per
// event-loop turn (50 lists: some 20 ms).
constexpr size_t kBatch = 1024;
constexpr size_t kSliceEntries = 1000;

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
    slice_.setSingleShot(true);
    connect(&slice_, &QTimer::timeout, this, &ScanRecorder::onSlice);
    // A new scan resets the addresses: what was not recorded by then is lost.
    connect(&list_, &Addresslist::ScanStarted, this, [this] {
        txtWait_.stop();
        slice_.stop();
        pending_.clear();
        if (job_) job_->Cancel();
        job_.reset();
    });
}

QString ScanRecorder::historyPath() const
{
    return path_.isEmpty() ? HistoryStore::DefaultPath() : path_;
}

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
    ObserveEach(list, [&](ScanObservation&& seen) { record.observations.push_back(std::move(seen)); });
    return record;
}

std::vector<ServerPtr> ScanRecorder::ObservedServers(Addresslist& list)
{
    std::vector<ServerPtr> servers;
    for (const ServerPtr& server : list.settings().BlacklistServers())
        if (server->Enabled()) servers.push_back(server);
    return servers;
}

void ScanRecorder::ObserveEach(Addresslist& list, const Sink& sink)
{
    const std::vector<ServerPtr> servers = ObservedServers(list);
    for (const AddressPtr& address : list) ObserveAddress(*address, servers, sink);
}

void ScanRecorder::ObserveAddress(const Address& address, const std::vector<ServerPtr>& servers, const Sink& sink)
{
    if (!address.Complete() || address.Stopped()) return;
    const Verdict verdict = address.Verdict();
    if (verdict == Verdict::NotChecked || verdict == Verdict::NoMail || verdict == Verdict::NotScanned
        || verdict == Verdict::Scanning)
        return;
    const auto observation = [&address](const ServerPtr& server) {
        ScanObservation seen;
        seen.target = address.Target();
        seen.zone = server->Zone();
        seen.listName = server->Name();
        seen.link = server->URL();
        return seen;
    };
    // A target no list could be asked about is recorded too, once per list,
    // so its history says what became of every scan of it.
    if (verdict == Verdict::Unresolvable || verdict == Verdict::Unsupported) {
        const bool unresolvable = verdict == Verdict::Unresolvable;
        for (const ServerPtr& server : servers) {
            ScanObservation seen = observation(server);
            seen.outcome = unresolvable ? ScanObservation::Outcome::Unresolvable : ScanObservation::Outcome::Invalid;
            seen.detail = unresolvable ? address.HostLookupProblem() : address.InvalidReason();
            sink(std::move(seen));
        }
        return;
    }
    for (const ServerPtr& server : servers) {
        ScanObservation seen = observation(server);
        seen.outcome = ScanObservation::Outcome::NotListed;
        const ZoneNote* note = nullptr;
        for (const ZoneNote& n : address.ZoneNotes())
            if (n.zone.size() == seen.zone.size() && n.zone.compare(seen.zone, Qt::CaseInsensitive) == 0) note = &n;
        // One record per thing the list answered for (a host's addresses):
        // the target is listed when any of them is.
        const std::vector<RespondingServerPtr> responding = address.RespondingServersOf(seen.zone);
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
        sink(std::move(seen));
    }
}

bool ScanRecorder::RecordList(Addresslist& list, const QString& source, const QString& listFile, const QString& path,
                              int retentionDays, std::vector<HistoryChange>* changes, QString* error)
{
    // The store writes on its own thread while the entries are read here.
    HistoryRecordJob job(path, Header(list, source, listFile), retentionDays, changes != nullptr);
    std::vector<ScanObservation> batch;
    ObserveEach(list, [&](ScanObservation&& seen) {
        batch.push_back(std::move(seen));
        if (batch.size() >= kBatch) job.Add(std::exchange(batch, {}));
    });
    job.Add(std::move(batch));
    HistoryRecordJob::Result result = job.Finish();
    if (!result.written) {
        if (error) *error = result.error;
        return false;
    }
    if (changes) *changes = std::move(result.changes);
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

void ScanRecorder::recordNow()
{
    txtWait_.stop();
    slice_.stop();
    job_.reset();
    const int days = list_.settings().RetrieveOption(kRetentionOption, 0).toInt();
    job_ = std::make_unique<HistoryRecordJob>(historyPath(), Header(list_, source_, QString()), days);
    servers_ = ObservedServers(list_);
    pending_.clear();
    pending_.reserve(size_t(list_.Count()));
    for (const AddressPtr& address : list_) pending_.push_back(address);
    next_ = 0;
    onSlice();
}

bool ScanRecorder::observeSlice(size_t count)
{
    std::vector<ScanObservation> batch;
    const size_t end = std::min(pending_.size(), next_ + count);
    for (; next_ < end; ++next_)
        ObserveAddress(*pending_[next_], servers_, [&](ScanObservation&& seen) { batch.push_back(std::move(seen)); });
    job_->Add(std::move(batch));
    return next_ >= pending_.size();
}

void ScanRecorder::onSlice()
{
    if (!job_) return;
    // A slice takes a few milliseconds; while the store is behind, the
    // window waits a turn instead of the store's thread.
    if (job_->Full()) {
        slice_.start(5);
        return;
    }
    if (!observeSlice(kSliceEntries)) {
        slice_.start(0);
        return;
    }
    pending_.clear();
    servers_.clear();
    job_->FinishLater(this, [this](const HistoryRecordJob::Result& result) {
        job_.reset();
        if (result.written)
            emit Recorded(result.changes);
        else
            emit RecordFailed(result.error);
    });
}

ScanRecorder::~ScanRecorder()
{
    if (!job_ || pending_.empty()) return; // done, or finishing on its own
    // Closing while reading the entries: the record is finished here, not lost.
    slice_.stop();
    observeSlice(pending_.size());
    job_->Finish();
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
