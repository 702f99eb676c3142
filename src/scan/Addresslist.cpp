#include "scan/Addresslist.h"

#include "common/IpFunctions.h"
#include "common/IpRange.h"
#include "common/LogCategories.h"
#include "common/TargetLimits.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/Settings.h"
#include "scan/DirectDns.h"
#include "scan/DnsLookup.h"
#include "scan/DnsServers.h"
#include "scan/TargetLookup.h"
#include "storage/AddressListFile.h"

#include <QElapsedTimer>
#include <QSet>
#include <algorithm>
#include <climits>
#include <optional>

namespace quarlo {

// A file being loaded: its entries, where the expansion stands, and the
// addresses made so far, held apart from the list until the end.
struct Addresslist::LoadJob {
    QString filename;
    QStringList entries;
    qint64 total = 0;             // distinct addresses the entries stand for
    int next = 0;                 // the next entry to take
    std::optional<IpRange> range; // the range being expanded
    QString rangeText;
    qint64 rangeAt = 0;
    KeyedCollection<Address> items;
    QStringList warnings;
    bool running = false;
};

namespace {

// A slice of a load keeps the window answering; several fit between two
// frames of the progress dialog.
constexpr qint64 kLoadSliceMs = 20;

// The distinct addresses entries stand for, without making one: ranges and
// plain IPv4 addresses as merged runs of numbers, other targets by key.
// *exact is false when counting stopped past the limit.
qint64 distinctAddresses(const QStringList& entries, bool* exact)
{
    std::vector<std::pair<quint32, quint32>> runs;
    QSet<QString> others;
    *exact = true;
    for (const QString& entry : entries) {
        if (IpRange::LooksLikeRange(entry)) {
            if (const std::optional<IpRange> range = IpRange::Parse(entry))
                runs.emplace_back(range->First(), range->Last());
            continue;
        }
        // Only the canonical spelling is the same key as a range's address.
        const std::optional<quint32> number = IpRange::ParseAddress(entry);
        if (number && IpRange::ToText(*number) == entry) {
            runs.emplace_back(*number, *number);
        } else {
            others.insert(entry.toCaseFolded());
            if (others.size() > TargetLimits::kMaxTargets) {
                *exact = false;
                return others.size();
            }
        }
    }
    std::sort(runs.begin(), runs.end());
    qint64 count = others.size();
    qint64 end = -1; // the last number counted
    for (const auto& [first, last] : runs) {
        const qint64 from = std::max<qint64>(first, end + 1);
        if (qint64(last) >= from) {
            count += qint64(last) - from + 1;
            end = last;
        }
    }
    return count;
}

} // namespace

Addresslist::Addresslist(Settings& settings, DnsLookup& dns, std::unique_ptr<DirectDns> directDns, QObject* parent)
    : QObject(parent), settings_(settings), dns_(dns), directDns_(std::move(directDns)),
      resolver_([this](const QString& tag, const QString& name, DnsLookup::Kind kind) {
          dns_.setRequestTag(tag);
          dns_.setLookupKind(kind);
          dns_.setRequestFlag(true);
          dns_.Lookup(name);
      })
{
    dnsServerList_ = directDns_->ServerList();

    scanTimer_.setInterval(1000);
    connect(&scanTimer_, &QTimer::timeout, this, &Addresslist::Tick);
    connect(&dns_, &DnsLookup::LookupComplete, this,
            [this](const QString& name, const QString& answer, int failureFlag, const QString& tag, const QVariant&) {
                onLookupComplete(name, answer, failureFlag, tag);
            });
    connect(directDns_.get(), &DirectDns::Reply, this, &Addresslist::onDirectDnsReply);
    connect(directDns_.get(), &DirectDns::Settled, this, &Addresslist::TxtQueriesSettled);
    loadTimer_.setSingleShot(true);
    loadTimer_.setInterval(0);
    connect(&loadTimer_, &QTimer::timeout, this, &Addresslist::loadSlice);
}

Addresslist::~Addresslist()
{
    for (const AddressPtr& address : items_) address->setHost(nullptr);
}

AddressPtr Addresslist::AddTarget(const QString& target)
{
    AddressPtr address = items_.Item(target);
    if (!address) {
        address = std::make_shared<Address>(target, settings_, this);
        items_.Add(target, address);
        byId_.insert(address->Id(), address);
    }
    changed_ = true;
    emit AddAddress(address);
    return address;
}

bool Addresslist::AddEntry(const QString& text, QString* why)
{
    if (!IpRange::LooksLikeRange(text)) {
        AddTarget(text);
        return true;
    }
    const std::optional<IpRange> range = IpRange::Parse(text, why);
    if (!range) return false;
    if (Count() + range->Count() > TargetLimits::kMaxTargets) {
        if (why)
            *why = QStringLiteral("%1: the list would hold more than %2 addresses")
                       .arg(range->Text(), IpRange::Grouped(TargetLimits::kMaxTargets));
        return false;
    }
    AddRange(*range);
    return true;
}

int Addresslist::AddRange(const IpRange& range)
{
    const QString rangeText = range.Text();
    items_.reserve(items_.Count() + static_cast<int>(range.Count()));
    int added = 0;
    for (qint64 i = 0; i < range.Count(); ++i) {
        const QString target = range.AddressAt(i);
        if (items_.Contains(target)) continue;
        auto address = std::make_shared<Address>(target, settings_, this);
        address->setRange(rangeText);
        items_.Add(target, address);
        byId_.insert(address->Id(), address);
        ++added;
        emit AddAddress(address);
    }
    changed_ = changed_ || added > 0;
    return added;
}

QStringList Addresslist::FileTargets() const
{
    // A range is whole when every one of its addresses is still listed under
    // its own text; the addresses are counted, not trusted to be unique,
    // since a target can be renamed after it was added.
    struct Seen {
        std::optional<IpRange> range;
        QSet<quint32> members;
        bool written = false;
    };
    QHash<QString, Seen> ranges;
    for (const AddressPtr& address : items_) {
        const QString name = address->Range();
        if (name.isEmpty()) continue;
        auto it = ranges.find(name);
        if (it == ranges.end()) it = ranges.insert(name, Seen{IpRange::Parse(name), {}, false});
        const std::optional<IpRange>& range = it->range;
        if (!range) continue;
        const std::optional<quint32> member = IpRange::ParseAddress(address->Target());
        if (member && *member >= range->First() && *member <= range->Last()) it->members.insert(*member);
    }
    QStringList targets;
    targets.reserve(items_.Count());
    for (const AddressPtr& address : items_) {
        const auto it = ranges.find(address->Range());
        if (it == ranges.end() || !it->range || it->members.size() != it->range->Count()) {
            targets.append(address->Target());
        } else if (!it->written) {
            it->written = true;
            targets.append(it->range->Text());
        }
    }
    return targets;
}

void Addresslist::Clear()
{
    CancelLoad();
    byId_.clear();
    std::vector<AddressPtr> gone = items_.TakeAll();
    while (!gone.empty()) {
        detach(gone.back());
        gone.pop_back();
    }
    rewindPasses();
    changed_ = true;
    emit NewFile();
}

void Addresslist::Remove(const QString& key)
{
    if (!items_.Contains(key)) return;
    changed_ = true;
    const AddressPtr address = items_.Remove(key);
    if (address) byId_.remove(address->Id());
    rewindPasses();
    detach(address);
    emit DeleteAddress(address);
}

void Addresslist::Remove(int position)
{
    if (const AddressPtr address = items_.Item(position)) Remove(address->Key());
}

bool Addresslist::Rename(const AddressPtr& address, const QString& target)
{
    // By identity: the key it was filed under may differ from its text in
    // letter case.
    const std::optional<QString> key = address ? items_.KeyOf(address) : std::nullopt;
    if (!key || !items_.Rekey(*key, target)) return false;
    address->setTarget(target);
    changed_ = true;
    return true;
}

AddressPtr Addresslist::addressById(quint64 id)
{
    if (byIdStale_) {
        // A load replaced the whole list: indexed once, on the first reply.
        byId_.clear();
        byId_.reserve(items_.Count());
        for (const AddressPtr& address : items_) byId_.insert(address->Id(), address);
        byIdStale_ = false;
    }
    const auto it = byId_.constFind(id);
    if (it == byId_.constEnd()) return nullptr;
    AddressPtr address = it.value().lock();
    // One that left the list gets nothing more.
    return address && address->host() == this ? address : nullptr;
}

AddressPtr Addresslist::addressByQueryKey(QStringView key, int* subject)
{
    quint64 id = 0;
    return Address::ParseQueryKey(key, &id, subject) ? addressById(id) : nullptr;
}

std::unique_ptr<TargetLookup> Addresslist::NewTargetLookup()
{
    auto lookup = std::make_unique<TargetLookup>(dns_);
    lookup->setOptions(resolver_.options());
    return lookup;
}

void Addresslist::ResolveTarget(Address& address, const ResolveRequest& request)
{
    resolver_.Start(QString::number(address.Id()), request);
}

void Addresslist::detach(const AddressPtr& address)
{
    // Replies for a removed address are dropped by key; it must not reach the
    // list through its own pointer either.
    if (address) address->setHost(nullptr);
}

bool Addresslist::Save(const QString& filename)
{
    bool renamed = false;
    if (!filename.isEmpty()) {
        renamed = filename.compare(filename_, Qt::CaseInsensitive) != 0;
        filename_ = filename;
    }
    if (filename_.isEmpty()) return false;

    QString description;
    const bool saved = AddressListFile::Write(FileTargets(), filename_, description);
    if (saved) {
        changed_ = false;
    } else {
        lastError_ = {QString::fromUtf8(AddressListFile::kCannotSaveText).arg(filename_), description};
    }
    if (renamed) emit NewFile();
    return saved;
}

bool Addresslist::Load(const QString& filename)
{
    if (!PrepareLoad(filename)) return false;
    // Nothing can cancel this load, so the held addresses go first: the
    // two lists are never in memory at once.
    byId_.clear();
    std::vector<AddressPtr> gone = items_.TakeAll();
    while (!gone.empty()) {
        detach(gone.back());
        gone.pop_back();
    }
    expand(*load_, -1);
    finishLoad();
    return true;
}

bool Addresslist::PrepareLoad(const QString& filename)
{
    CancelLoad();
    auto job = std::make_unique<LoadJob>();
    QString description;
    if (!AddressListFile::Read(filename, job->entries, description)) {
        lastError_ = {QString::fromUtf8(AddressListFile::kCannotLoadText).arg(filename), description};
        return false;
    }
    bool exact = true;
    job->total = distinctAddresses(job->entries, &exact);
    if (job->total > TargetLimits::kMaxTargets) {
        lastError_ = {QString::fromUtf8(AddressListFile::kCannotLoadText).arg(filename),
                      QString::fromUtf8(exact ? AddressListFile::kTooManyText : AddressListFile::kMoreThanTooManyText)
                          .arg(IpRange::Grouped(exact ? job->total : TargetLimits::kMaxTargets),
                               IpRange::Grouped(TargetLimits::kMaxTargets))};
        return false;
    }
    job->filename = filename;
    job->items.reserve(static_cast<int>(job->total));
    load_ = std::move(job);
    return true;
}

qint64 Addresslist::PreparedCount() const
{
    return load_ ? load_->total : 0;
}

bool Addresslist::Loading() const
{
    return load_ && load_->running;
}

void Addresslist::StartLoad()
{
    if (!load_ || load_->running) return;
    load_->running = true;
    loadTimer_.start();
}

void Addresslist::CancelLoad()
{
    if (!load_) return;
    const bool running = load_->running;
    loadTimer_.stop();
    load_.reset();
    if (running) emit LoadFinished(false);
}

void Addresslist::loadSlice()
{
    if (!load_) return;
    if (expand(*load_, kLoadSliceMs)) {
        finishLoad();
        return;
    }
    const LoadJob* const job = load_.get();
    emit LoadProgress(job->items.Count(), job->total);
    // Whoever shows the progress may have let the user cancel meanwhile.
    if (load_.get() == job) loadTimer_.start();
}

bool Addresslist::expand(LoadJob& job, qint64 budgetMs)
{
    QElapsedTimer clock;
    clock.start();
    int sinceCheck = 0;
    const auto add = [&](const QString& target, const QString& range) {
        if (job.items.Contains(target)) return;
        auto address = std::make_shared<Address>(target, settings_, this);
        address->setRange(range);
        job.items.Add(target, std::move(address));
    };
    for (;;) {
        if (budgetMs >= 0 && ++sinceCheck >= 512) {
            sinceCheck = 0;
            if (clock.elapsed() >= budgetMs) return false;
        }
        if (job.range) {
            if (job.rangeAt < job.range->Count()) {
                add(job.range->AddressAt(job.rangeAt++), job.rangeText);
                continue;
            }
            job.range.reset();
        }
        if (job.next >= job.entries.size()) return true;
        const QString& entry = job.entries[job.next++];
        if (!IpRange::LooksLikeRange(entry)) {
            add(entry, QString());
            continue;
        }
        QString why;
        job.range = IpRange::Parse(entry, &why);
        if (!job.range) {
            job.warnings.append(why);
            continue;
        }
        job.rangeText = job.range->Text();
        job.rangeAt = 0;
    }
}

void Addresslist::finishLoad()
{
    std::unique_ptr<LoadJob> job = std::move(load_);
    loadTimer_.stop();
    std::vector<AddressPtr> gone = items_.TakeAll();
    items_ = std::move(job->items);
    byIdStale_ = true;
    while (!gone.empty()) {
        detach(gone.back());
        gone.pop_back();
    }
    rewindPasses();
    filename_ = job->filename;
    loadWarnings_ = job->warnings;
    changed_ = false;
    emit NewFile();
    if (job->running) emit LoadFinished(true);
}

void Addresslist::StartScan()
{
    cancelLookups();
    resolver_.Clear();
    scanTimer_.stop();
    for (const AddressPtr& address : items_) address->SetComplete(false);
    rewindPasses();
    summary_ = ScanSummary{};
    summary_.started = QDateTime::currentDateTimeUtc();
    zoneTests_.clear();
    zoneTestIndex_.clear();
    zoneTestsPending_ = 0;
    zoneTestQueue_.clear();
    lastReply_.start();
    if (settings_.CheckListsBeforeScanning() && items_.Count() > 0) startZoneTests();
    scanTimer_.start();
    qCDebug(lcScan, "scan of %d targets starts", int(items_.Count()));
    emit ScanStarted();
}

void Addresslist::CancelLookups()
{
    cancelLookups();
    resolver_.Clear();
}

void Addresslist::StopScan()
{
    cancelLookups();
    resolver_.Clear();
    zoneTestQueue_.clear();
    scanTimer_.stop();
    for (const AddressPtr& address : items_) address->MarkStopped();
    emit ScanCanceled();
}

void Addresslist::startZoneTests()
{
    for (const ServerPtr& server : settings_.BlacklistServers()) {
        // A list the user marked as having no test entry is asked untested.
        if (!server->Enabled() || !server->SelfTest() || zoneTestIndex_.contains(server->Zone().toCaseFolded()))
            continue;
        // A keyed list without its key is never asked, not even its test.
        const QString askZone = settings_.ZoneToAsk(*server);
        if (askZone.isEmpty()) continue;
        zoneTestIndex_.insert(server->Zone().toCaseFolded(), static_cast<int>(zoneTests_.size()));
        ZoneTest test;
        test.zone = server->Zone();
        test.name = server->Name();
        test.askZone = askZone;
        test.domainList = server->IsDomainList();
        zoneTests_.push_back(test);
    }
    zoneTestsPending_ = static_cast<int>(zoneTests_.size()) * 2;
    for (const ZoneTest& test : zoneTests_)
        for (const QString& testEntry : {test.listedEntry(), test.unlistedEntry()})
            zoneTestQueue_.emplace_back(test.zone, testEntry);
    sendZoneTests();
}

void Addresslist::sendZoneTests()
{
    // Test queries keep to the same limit as the addresses' queries.
    while (!zoneTestQueue_.empty() && busyLookups() <= settings_.ScanQueryLimit()) {
        const auto [zone, testAddress] = zoneTestQueue_.front();
        zoneTestQueue_.pop_front();
        // Domain lists' test entries are names, asked as they are.
        const QString entry = IsValidIP(testAddress) ? ReverseIP(testAddress) : testAddress;
        const ZoneTest* test = zoneTest(zone);
        const QString asked = test && !test->askZone.isEmpty() ? test->askZone : zone;
        SubmitDNSLookup(QueryTag::ZoneTest(zone, testAddress), entry + QLatin1Char('.') + asked + QLatin1Char('.'),
                        true);
    }
}

const ZoneTest* Addresslist::zoneTest(const QString& zone) const
{
    const auto it = zoneTestIndex_.constFind(zone.toCaseFolded());
    return it == zoneTestIndex_.constEnd() ? nullptr : &zoneTests_[static_cast<size_t>(it.value())];
}

ScanHost::ZoneState Addresslist::StateOfZone(const QString& zone) const
{
    // Zones enabled after the scan started have no test: ask them.
    const ZoneTest* test = zoneTest(zone);
    if (!test) return ZoneState::Ready;
    if (test->health() == ZoneTest::Health::Pending) return ZoneState::Pending;
    return test->skipped() ? ZoneState::Skipped : ZoneState::Ready;
}

QString Addresslist::WhyZoneSkipped(const QString& zone) const
{
    const ZoneTest* test = zoneTest(zone);
    return test ? test->description() : QString();
}

void Addresslist::onZoneTestReply(const QString& zone, const QString& testAddress, const QString& answer,
                                  int failureFlag)
{
    const auto it = zoneTestIndex_.constFind(zone.toCaseFolded());
    if (it == zoneTestIndex_.constEnd()) return;
    ZoneTest& test = zoneTests_[static_cast<size_t>(it.value())];
    QueryOutcome& probe = ZoneTest::IsListedEntry(testAddress) ? test.listedProbe : test.unlistedProbe;
    if (probe != QueryOutcome::Ignored) return;

    QString detail;
    probe = Address::ScreenAnswer(answer, failureFlag, &detail);
    if (probe == QueryOutcome::Listed) {
        // The list's own result codes tell a listing from a refusal.
        Responses responses(&settings_.BlacklistServers());
        responses.Add(zone, answer);
        bool listing = responses.Count() == 0;
        QStringList reasons;
        for (const ResponsePtr& response : responses) {
            listing = listing || response->Listing();
            reasons.append(response->Reason());
        }
        if (!listing) {
            probe = QueryOutcome::Refused;
            detail = reasons.join(QStringLiteral("; "));
        }
    }
    if (!detail.isEmpty() && test.detail.isEmpty()) test.detail = detail;
    qCDebug(lcScan) << "list test" << zone << testAddress << "answers" << answer << detail;
    count(probe, zone, detail);
    // The addresses that held this zone aside may ask it now.
    resumeAt_ = firstIncomplete_;
    if (--zoneTestsPending_ == 0) emit ZoneTestComplete();
}

void Addresslist::count(QueryOutcome outcome, QStringView zone, const QString& detail)
{
    switch (outcome) {
    case QueryOutcome::Listed:
    case QueryOutcome::NotListed: ++summary_.answered; break;
    case QueryOutcome::Refused:
        ++summary_.answered;
        if (const QString key = zone.toString(); !summary_.refusingZones.contains(key))
            summary_.refusingZones.insert(key, detail);
        break;
    case QueryOutcome::Failed: ++summary_.failed; break;
    case QueryOutcome::Ignored: break;
    }
}

void Addresslist::checkForStall()
{
    const int outstanding = pendingLookups();
    // Replies are counted as they come and timed here, once per pass,
    // rather than with a clock read for each of them.
    if (replies_ != repliesTimed_) {
        repliesTimed_ = replies_;
        lastReply_.start();
    }
    if (outstanding == 0 || !lastReply_.isValid()) return;
    const qint64 silentMs = lastReply_.elapsed();
    if (silentMs <= qint64(longestWaitMs()) + kStallSlackMs) return;
    qCWarning(lcScan, "No DNS reply for %lld ms with %d lookups outstanding: giving them up as unanswered", silentMs,
              outstanding);
    summary_.abandoned += outstanding;
    summary_.stalledForMs = static_cast<int>(std::min<qint64>(silentMs, INT_MAX));
    lastReply_.start();
    expireLookups();
}

void Addresslist::Tick()
{
    checkForStall();
    sendZoneTests();
    bool anyTurn = !zoneTestQueue_.empty();
    bool progressed = false;
    const int pendingBefore = pendingLookups();
    while (firstIncomplete_ <= items_.Count() && items_.Item(firstIncomplete_)->Complete()) ++firstIncomplete_;
    resumeAt_ = std::max(resumeAt_, firstIncomplete_);
    int visited = 0;
    for (int position = resumeAt_; position <= items_.Count(); ++position) {
        // Replies never arrive inside a pass, so once the limit is reached no
        // later address could get a turn in this pass.
        if (busyLookups() >= settings_.ScanQueryLimit()) break;
        const AddressPtr address = items_.Item(position);
        if (!address->Complete()) {
            // While the zones' tests are out, an address puts its zones aside
            // without asking anything, so the limit above would never end
            // the pass: it would walk the whole list, and every address
            // would hold a copy of every zone. The tests' replies bring the
            // next passes.
            if (zoneTestsPending_ > 0 && ++visited > settings_.ScanQueryLimit()) break;
            address->Query();
            anyTurn = true;
            progressed = progressed || address->Complete();
        }
        // One left waiting on tests only needs no turn until a test ends:
        // walking it would spend the visits above on nothing, and the
        // addresses after it would wait on that test too.
        if (position == resumeAt_ && (address->Complete() || address->AwaitsListTests())) ++resumeAt_;
    }
    if (!anyTurn && pendingLookups() == 0) {
        scanTimer_.stop();
        qCDebug(lcScan, "scan complete: %lld ms",
                static_cast<long long>(summary_.started.msecsTo(QDateTime::currentDateTimeUtc())));
        emit ScanComplete();
        return;
    }
    // A pass that moved the scan on may have left nothing in flight (say, the
    // last addresses completed without a query): the next pass then finds the
    // end at once instead of a second later.
    if (progressed || pendingLookups() != pendingBefore) schedulePass();
}

void Addresslist::rewindPasses()
{
    firstIncomplete_ = 1;
    resumeAt_ = 1;
}

void Addresslist::schedulePass()
{
    if (passQueued_ || !ScanActive() || busyLookups() >= settings_.ScanQueryLimit()) return;
    passQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            passQueued_ = false;
            if (ScanActive()) Tick();
        },
        Qt::QueuedConnection);
}

void Addresslist::SubmitDNSLookup(const QString& tag, const QString& name, bool blacklistQuery)
{
    if (blacklistQuery) {
        const QString zone = QueryTag::ZoneOf(tag).toString();
        // A zone without a definition is asked all the same, of the shared servers.
        const ServerPtr server = zone.isEmpty() ? nullptr : settings_.BlacklistServers().Item(zone);
        submitBlacklistQuery(tag, name, zone, server ? &lookupFor(*server) : &dns_);
        return;
    }
    dns_.setRequestTag(tag);
    dns_.setLookupKind(DnsLookup::Kind::HostAddresses);
    dns_.setRequestFlag(true);
    dns_.Lookup(name);
}

void Addresslist::SubmitBlacklistQuery(const QString& tag, const QString& name, const Server& server)
{
    submitBlacklistQuery(tag, name, server.Zone(), &lookupFor(server));
}

void Addresslist::submitBlacklistQuery(const QString& tag, const QString& name, const QString& zone, DnsLookup* lookup)
{
    DnsLookup& dns = *lookup;
    dns.setRequestTag(tag);
    dns.setRequestZone(zone);
    dns.setLookupKind(DnsLookup::Kind::Blacklist);
    dns.setRequestFlag(true);
    dns.Lookup(name);
}

int Addresslist::OutstandingTxtQueries() const
{
    return directDns_->OutstandingCount();
}

int Addresslist::PendingDNSLookups() const
{
    return pendingLookups();
}

void Addresslist::NotifyUpdate(Address& address)
{
    if (const AddressPtr held = address.weak_from_this().lock()) emit UpdateAddress(held);
}

void Addresslist::onLookupComplete(const QString& name, const QString& answer, int failureFlag, const QString& tag)
{
    if (ScanActive()) ++replies_;
    // Tags without ":" belong to the add-addresses dialog.
    const QueryTag::Fields fields = QueryTag::Read(tag);
    if (fields.Is(QueryTag::kZoneTest)) {
        onZoneTestReply(fields.zone.toString(), fields.extra.toString(), answer, failureFlag);
    } else if (const QueryTag parsed = fields.Is(QueryTag::kResolve) ? QueryTag::Parse(tag) : QueryTag();
               parsed.IsValid() && resolver_.Knows(parsed.Key())) {
        // Lookups of targets tell whether the resolver answers at all, too.
        count(failureFlag == DnsFailure::None || DnsFailure::IsNegativeAnswer(failureFlag) ? QueryOutcome::NotListed
                                                                                           : QueryOutcome::Failed,
              QString(), QString());
        if (const std::optional<TargetResolution> resolution = resolver_.Reply(parsed, answer, failureFlag)) {
            bool ok = false;
            if (const AddressPtr address = addressById(parsed.Key().toULongLong(&ok)); address && ok)
                address->ApplyResolution(*resolution);
        }
    } else if (fields.Is(QueryTag::kBlacklistCheck)) {
        int subject = 0;
        if (const AddressPtr address = addressByQueryKey(fields.key, &subject)) {
            const QueryOutcome outcome = address->ProcessBlacklistReply(fields.zone, answer, failureFlag, subject);
            qCDebug(lcScan) << name << "answers" << answer << "failure" << failureFlag << "outcome" << int(outcome);
            const ZoneNote* note = address->ZoneNotes().empty() ? nullptr : &address->ZoneNotes().back();
            count(outcome, fields.zone, note && note->zone == fields.zone ? note->detail : QString());
            // The TXT text explains a listing or a refusal; other answers have none.
            if (outcome == QueryOutcome::Listed || outcome == QueryOutcome::Refused)
                QueryTXT(name, QueryTag::TxtRecord(fields.key.toString(), fields.zone.toString(), answer));
        }
    }
    schedulePass();
}

void Addresslist::QueryTXT(const QString& name, const QString& tag)
{
    // A list with servers of its own is asked for its texts there too.
    const QStringList own = ownDnsServers(QueryTag::Read(tag).zone.toString());
    for (const QString& server : own.isEmpty() ? dnsServerList_ : own)
        directDns_->Query(name, tag, server, DnsRecord::TXT, nullptr);
}

void Addresslist::onDirectDnsReply(const DnsResponse& response)
{
    const QString& tagText = response.Tag();
    const QueryTag::Fields tag = QueryTag::Read(tagText);
    if (!tag.Is(QueryTag::kTxtRecord)) return;
    // A listing may be explained by several TXT records: all are kept.
    QStringList texts;
    for (int index = 0; index < response.AnswerCount(); ++index) {
        const DnsRecord* record = response.Answer(DnsResponse::AnswerSection, index);
        if (record && record->RecordType == DnsRecord::TXT && !texts.contains(record->Data)) texts.append(record->Data);
    }
    if (texts.isEmpty()) return;
    int subject = 0;
    const AddressPtr address = addressByQueryKey(tag.key, &subject);
    if (!address) return;
    const RespondingServerPtr server = address->RespondingServerFor(tag.zone.toString(), subject);
    if (!server) return;
    server->AddTXTInfo(tag.extra.toString(), texts.join(QStringLiteral(" / ")));
    NotifyUpdate(*address);
}

QStringList Addresslist::ownDnsServers(const QString& zone) const
{
    if (zone.isEmpty()) return {};
    const ServerPtr server = settings_.BlacklistServers().Item(zone);
    return server ? ownDnsServers(*server) : QStringList();
}

QStringList Addresslist::ownDnsServers(const Server& server)
{
    if (server.DnsServers().trimmed().isEmpty()) return {};
    // Entries c-ares cannot use are dropped; a list with none left keeps to
    // the shared servers rather than the system's.
    QStringList servers;
    for (const QString& entry : SplitDnsServers(server.DnsServers()))
        if (!DnsServerToAres(entry).isEmpty()) servers.append(entry);
    return servers;
}

DnsLookup& Addresslist::lookupFor(const Server& server)
{
    if (!lookupFactory_) return dns_;
    const QStringList servers = ownDnsServers(server);
    if (servers.isEmpty()) return dns_;
    const QString set = servers.join(QLatin1Char(','));
    auto it = ownLookups_.find(set);
    if (it == ownLookups_.end()) {
        std::unique_ptr<DnsLookup> made = lookupFactory_(servers);
        if (!made) return dns_;
        connect(made.get(), &DnsLookup::LookupComplete, this,
                [this](const QString& name, const QString& answer, int failureFlag, const QString& tag,
                       const QVariant&) { onLookupComplete(name, answer, failureFlag, tag); });
        it = ownLookups_.emplace(set, std::move(made)).first;
    }
    return *it->second;
}

int Addresslist::pendingLookups() const
{
    int count = dns_.PendingCount();
    for (const auto& [set, dns] : ownLookups_) count += dns->PendingCount();
    return count;
}

int Addresslist::busyLookups() const
{
    int count = dns_.BusyCount();
    for (const auto& [set, dns] : ownLookups_) count += dns->BusyCount();
    return count;
}

int Addresslist::longestWaitMs() const
{
    int longest = dns_.LongestWaitMs();
    for (const auto& [set, dns] : ownLookups_) longest = std::max(longest, dns->LongestWaitMs());
    return longest;
}

void Addresslist::cancelLookups()
{
    dns_.CancelAll();
    for (const auto& [set, dns] : ownLookups_) dns->CancelAll();
}

void Addresslist::expireLookups()
{
    dns_.ExpireAll();
    for (const auto& [set, dns] : ownLookups_) dns->ExpireAll();
}

} // namespace quarlo
