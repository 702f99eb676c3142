#include "scan/Addresslist.h"

#include "model/Settings.h"
#include "scan/DirectDns.h"
#include "scan/DnsLookup.h"
#include "storage/AddressListFile.h"

namespace quarlo {

Addresslist::Addresslist(Settings& settings, DnsLookup& dns, std::unique_ptr<DirectDns> directDns, QObject* parent)
    : QObject(parent), settings_(settings), dns_(dns), directDns_(std::move(directDns))
{
    directDns_->setOption1(true);
    directDns_->setOption2(true);
    for (const QString& server : directDns_->DNSServers().split(QLatin1Char(','), Qt::SkipEmptyParts))
        dnsServerList_.append(server.trimmed());

    scanTimer_.setInterval(1000);
    connect(&scanTimer_, &QTimer::timeout, this, &Addresslist::Tick);
    connect(&dns_, &DnsLookup::LookupComplete, this,
            [this](const QString& name, const QString& answer, int failureFlag, const QString& tag, const QVariant&) {
                onLookupComplete(name, answer, failureFlag, tag);
            });
    connect(directDns_.get(), &DirectDns::Reply, this, &Addresslist::onDirectDnsReply);
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
    }
    changed_ = true;
    emit AddAddress(address);
    return address;
}

void Addresslist::Clear()
{
    while (items_.Count() >= 1) detach(items_.Remove(items_.Count()));
    firstIncomplete_ = 1;
    changed_ = true;
    emit NewFile();
}

void Addresslist::Remove(const QString& key)
{
    if (!items_.Contains(key)) return;
    changed_ = true;
    const AddressPtr address = items_.Remove(key);
    firstIncomplete_ = 1;
    detach(address);
    emit DeleteAddress(address);
}

void Addresslist::Remove(int position)
{
    if (const AddressPtr address = items_.Item(position)) Remove(address->Key());
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

    QStringList targets;
    targets.reserve(items_.Count());
    for (const AddressPtr& address : items_) targets.append(address->Target());
    QString description;
    const bool saved = AddressListFile::Write(targets, filename_, description);
    if (saved) {
        changed_ = false;
    } else {
        lastError_ = QStringLiteral("Cannot save Address List to ") + filename_ + QStringLiteral("\r\n\r\n") + description;
    }
    if (renamed) emit NewFile();
    return saved;
}

bool Addresslist::Load(const QString& filename)
{
    QStringList targets;
    QString description;
    if (!AddressListFile::Read(filename, targets, description)) {
        lastError_ = QStringLiteral("Cannot load Address List from ") + filename + QStringLiteral("\r\n\r\n") + description;
        return false;
    }
    Clear();
    filename_ = filename;
    items_.reserve(targets.size());
    for (const QString& target : targets) AddTarget(target);
    changed_ = false;
    emit NewFile();
    return true;
}

void Addresslist::StartScan()
{
    dns_.CancelAll();
    scanTimer_.stop();
    for (const AddressPtr& address : items_) address->SetComplete(false);
    firstIncomplete_ = 1;
    scanTimer_.start();
    emit ScanStarted();
}

void Addresslist::StopScan()
{
    dns_.CancelAll();
    scanTimer_.stop();
    emit ScanCanceled();
}

void Addresslist::Tick()
{
    bool anyTurn = false;
    bool progressed = false;
    const int pendingBefore = dns_.PendingCount();
    while (firstIncomplete_ <= items_.Count() && items_.Item(firstIncomplete_)->Complete()) ++firstIncomplete_;
    for (int position = firstIncomplete_; position <= items_.Count(); ++position) {
        // Replies never arrive inside a pass, so once the limit is reached no
        // later address could get a turn in this pass.
        if (dns_.PendingCount() >= settings_.MaxQueries()) break;
        const AddressPtr address = items_.Item(position);
        if (!address->Complete()) {
            address->Query();
            anyTurn = true;
            progressed = progressed || address->Complete();
        }
    }
    if (!anyTurn && dns_.PendingCount() == 0) {
        scanTimer_.stop();
        emit ScanComplete();
        return;
    }
    // A pass that moved the scan on may have left nothing in flight (say, the
    // last addresses completed without a query): the next pass then finds the
    // end at once instead of a second later.
    if (progressed || dns_.PendingCount() != pendingBefore) schedulePass();
}

void Addresslist::schedulePass()
{
    if (passQueued_ || !ScanActive() || dns_.PendingCount() >= settings_.MaxQueries()) return;
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
    dns_.setRequestTag(tag);
    dns_.setBlacklistQuery(blacklistQuery);
    dns_.setRequestFlag(true);
    dns_.Lookup(name);
}

int Addresslist::PendingDNSLookups() const { return dns_.PendingCount(); }

void Addresslist::NotifyUpdate(Address& address)
{
    if (const AddressPtr held = address.weak_from_this().lock()) emit UpdateAddress(held);
}

void Addresslist::onLookupComplete(const QString& name, const QString& answer, int failureFlag, const QString& tag)
{
    // Tags without ":" belong to the add-addresses dialog.
    if (tag.contains(QLatin1Char(':'))) {
        const QStringList parts = tag.split(QLatin1Char(':'));
        if (const AddressPtr address = items_.Item(parts[0])) {
            address->ProcessDNSReply(parts, name, answer);
            if (parts.size() >= 3 && failureFlag == 0)
                QueryTXT(name, parts[0] + QStringLiteral(":TXTRECORD:") + parts[2] + QLatin1Char(':') + answer);
        }
    }
    schedulePass();
}

void Addresslist::QueryTXT(const QString& name, const QString& tag)
{
    for (const QString& server : dnsServerList_) directDns_->Query(name, tag, server, 16, nullptr);
}

void Addresslist::onDirectDnsReply(const DnsResponse& response)
{
    if (response.AnswerCount() < 1) return;
    for (int index = 0; index < response.AnswerCount(); ++index) {
        const DnsRecord* record = response.Answer(1, index);
        if (!record || record->RecordType != DnsRecord::TXT) continue;
        const QStringList parts = response.Tag().split(QLatin1Char(':'));
        if (parts.size() < 4) continue;
        const AddressPtr address = items_.Item(parts[0]);
        if (!address) continue;
        const RespondingServerPtr server = address->RespondingServers().Item(parts[2]);
        if (!server) continue;
        server->AddTXTInfo(parts[3], record->Data);
        NotifyUpdate(*address);
    }
}

} // namespace quarlo
