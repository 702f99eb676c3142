#include "model/Address.h"

#include "common/IpFunctions.h"
#include "common/NameFunctions.h"
#include "common/PublicSuffixList.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/ScanHost.h"
#include "model/Settings.h"

namespace quarlo {
namespace {

// Listings are answers in 127.0.0.0/8; anything else comes from a broken
// list or a resolver that rewrites answers, and lists nothing.
bool isLoopbackAnswer(const QString& text)
{
    return IsValidIP(text) && CanonicalIP(text).startsWith(QLatin1String("127."));
}

QString shortened(const QString& text)
{
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("...");
}

} // namespace

Address::Address(const QString& target, Settings& settings, ScanHost* host)
    : settings_(settings), host_(host), target_(target), respondingServers_(&settings.BlacklistServers())
{
}

QString Address::Caption() const
{
    if (!ip_.isEmpty() && ip_.compare(target_, Qt::CaseInsensitive) != 0)
        return target_ + QStringLiteral(" (") + ip_ + QLatin1Char(')');
    return target_;
}

void Address::SetComplete(bool value)
{
    complete_ = value;
    if (value) return;
    serverIndex_ = 1;
    retryTime_ = Clock::time_point{};
    blacklisted_ = false;
    results_.clear();
    ip_.clear();
    respondingServers_.Clear();
    lookupsSent_ = 0;
    pendingQueries_ = 0;
    zonesChecked_ = 0;
    stopped_ = false;
    unsupported_ = false;
    classified_ = false;
    mailTarget_ = false;
    lookupName_.clear();
    domain_.clear();
    invalidReason_.clear();
    zonesNotApplicable_ = 0;
    hostLookupProblem_.clear();
    zoneNotes_.clear();
    deferredZones_.clear();
}

quarlo::Verdict Address::Verdict() const
{
    if (unsupported_) return Verdict::Unsupported;
    if (blacklisted_) return Verdict::Listed;
    // A name without an address may still wait for its domain lists.
    if (ip_ == kUnresolvable) return pendingQueries_ > 0 && !stopped_ ? Verdict::Scanning : Verdict::Unresolvable;
    if (stopped_) return Verdict::NotChecked;
    if (!complete_ || pendingQueries_ > 0) return serverIndex_ > 1 || lookupsSent_ > 0 ? Verdict::Scanning : Verdict::NotScanned;
    if (!serverIndex_) return Verdict::NotScanned; // never reset by a scan
    bool refused = false;
    for (const ZoneNote& note : zoneNotes_) {
        if (note.kind == ZoneNote::Kind::NotApplicable) continue;
        if (note.kind != ZoneNote::Kind::Refused) return Verdict::Incomplete;
        refused = true;
    }
    // Clean needs at least one list that could have listed it.
    if (zonesChecked_ == 0 && zonesNotApplicable_ > 0) return Verdict::NotApplicable;
    return refused ? Verdict::Refused : Verdict::Clean;
}

int Address::ListingServerCount() const
{
    int count = 0;
    for (const RespondingServerPtr& server : respondingServers_) count += server->Listing() ? 1 : 0;
    return count;
}

QStringList Address::ZonesWith(ZoneNote::Kind kind) const
{
    QStringList zones;
    for (const ZoneNote& note : zoneNotes_)
        if (note.kind == kind) zones.append(note.zone);
    return zones;
}

void Address::MarkStopped()
{
    // A finished address keeps what it found.
    if (complete_ && pendingQueries_ == 0) return;
    stopped_ = true;
    pendingQueries_ = 0; // the stop cancelled them
}

bool Address::classifyTarget()
{
    classified_ = true;
    const QString target = QueryTarget();
    auto invalid = [this](const QString& why) {
        invalidReason_ = why;
        unsupported_ = true;
        complete_ = true;
        if (host_) host_->NotifyUpdate(*this);
        return false;
    };
    if (IsValidIP(target)) {
        ip_ = target;
        return true;
    }
    if (HasIPv6ZoneIndex(target))
        return invalid(QStringLiteral("an IPv6 address with a zone index (%...) names a local interface; "
                                      "enter the address without it"));
    if (const QString mapped = MappedIPv4(target); !mapped.isEmpty()) {
        // An IPv4-mapped address is that IPv4 address; lists know it by that.
        ip_ = mapped;
        return true;
    }
    if (IsIPv6Literal(target)) {
        ip_ = CanonicalIPv6(target);
        return true;
    }
    QString why;
    if (const qsizetype at = target.lastIndexOf(QLatin1Char('@')); at >= 0) {
        // An e-mail address: domain lists are asked for its domain; it has
        // no address of its own for IP lists.
        const QString domain = AsciiHostName(target.mid(at + 1), &why);
        if (domain.isEmpty()) return invalid(QStringLiteral("e-mail address: ") + why);
        mailTarget_ = true;
        domain_ = domain;
        return true;
    }
    if (target.contains(QLatin1Char(':')))
        return invalid(QStringLiteral("neither an IPv6 address nor a host name"));
    lookupName_ = AsciiHostName(target, &why);
    if (lookupName_.isEmpty()) return invalid(why);
    domain_ = PublicSuffixList::Shared().RegisteredDomain(lookupName_);
    return true;
}

void Address::Query()
{
    if (complete_) return;
    if (!classified_ && !classifyTarget()) return;
    if (!ip_.isEmpty() || mailTarget_) {
        BlacklistCheck();
        return;
    }
    const Clock::time_point now = Clock::now();
    if (retryTime_ < now && host_) {
        if (lookupsSent_ >= kLookupTries) {
            becomeUnresolvable(QStringLiteral("no answer to the host lookup"));
            return;
        }
        // Sent again each time the retry interval passes without a reply.
        retryTime_ = now + kLookupRetry;
        ++lookupsSent_;
        host_->SubmitDNSLookup(QueryTag::LookupIP(Key()), lookupName_, false);
    }
}

QString Address::queryNameFor(const Server& server, QString* why) const
{
    // Built in one allocation: this runs once per query of a scan.
    const auto under = [&server](const QString& label) {
        QString name;
        name.reserve(label.size() + server.Zone().size() + 2);
        name += label;
        name += QLatin1Char('.');
        name += server.Zone();
        name += QLatin1Char('.');
        return name;
    };
    if (server.IsDomainList()) {
        if (!domain_.isEmpty()) return under(domain_);
        *why = !lookupName_.isEmpty()
                   ? QStringLiteral("a domain list; %1 is itself a public suffix").arg(lookupName_)
                   : QStringLiteral("a domain list, asked for domain names, not for IP addresses");
        return QString();
    }
    if (mailTarget_) {
        *why = QStringLiteral("an IP list; an e-mail address has no address of its own");
        return QString();
    }
    if (ip_ == kUnresolvable) {
        *why = QStringLiteral("an IP list; the host name has no address");
        return QString();
    }
    if (IsIPv6()) {
        if (server.AnswersIPv6()) return under(ReverseIPv6(ip_));
        *why = QStringLiteral("does not answer IPv6 queries");
        return QString();
    }
    // Every list asks for the same reversed address: worked out once per
    // address, not once per query.
    if (reversedFor_ != ip_) {
        reversedIp_ = ReverseIP(CanonicalIP(ip_));
        reversedFor_ = ip_;
    }
    return under(reversedIp_);
}

void Address::askOrDefer(const Server& server)
{
    const QString zone = server.Zone();
    QString why;
    const QString name = queryNameFor(server, &why);
    if (name.isEmpty()) {
        ++zonesNotApplicable_;
        note(zone, ZoneNote::Kind::NotApplicable, why);
        return;
    }
    switch (host_->StateOfZone(zone)) {
    case ScanHost::ZoneState::Ready: submitQuery(zone, name); break;
    case ScanHost::ZoneState::Pending: deferredZones_.append(zone); break;
    case ScanHost::ZoneState::Skipped:
        ++zonesChecked_;
        note(zone, ZoneNote::Kind::Skipped, host_->WhyZoneSkipped(zone));
        break;
    }
}

void Address::BlacklistCheck()
{
    scanning_ = true;
    if (serverIndex_ == 0) serverIndex_ = 1;
    askDeferredZones();
    const Servers& servers = settings_.BlacklistServers();
    const int count = servers.Count();
    while (serverIndex_ <= count) {
        const ServerPtr server = servers.Item(serverIndex_);
        if (server && server->Enabled() && host_) askOrDefer(*server);
        ++serverIndex_;
        // Tested after every position, disabled ones too, so one pass
        // overshoots the limit by one query at most.
        if (host_ && host_->PendingDNSLookups() > settings_.ScanQueryLimit()) break;
    }
    if (serverIndex_ > servers.Count() && deferredZones_.isEmpty()) complete_ = true;
}

void Address::askDeferredZones()
{
    if (!host_) return;
    for (qsizetype i = 0; i < deferredZones_.size();) {
        if (host_->PendingDNSLookups() > settings_.ScanQueryLimit()) return;
        const QString zone = deferredZones_[i];
        const ScanHost::ZoneState state = host_->StateOfZone(zone);
        if (state == ScanHost::ZoneState::Pending) {
            ++i;
            continue;
        }
        deferredZones_.removeAt(i);
        // The definition may have gone or been switched off meanwhile.
        const ServerPtr server = settings_.BlacklistServers().Item(zone);
        if (!server || !server->Enabled()) continue;
        if (state == ScanHost::ZoneState::Ready) {
            QString why;
            const QString name = queryNameFor(*server, &why);
            if (!name.isEmpty()) submitQuery(zone, name);
        } else {
            ++zonesChecked_;
            note(zone, ZoneNote::Kind::Skipped, host_->WhyZoneSkipped(zone));
        }
    }
}

void Address::submitQuery(const QString& zone, const QString& name)
{
    ++zonesChecked_;
    ++pendingQueries_;
    host_->SubmitDNSLookup(QueryTag::BlacklistCheck(Key(), zone), name, true);
}

void Address::note(const QString& zone, ZoneNote::Kind kind, const QString& detail)
{
    zoneNotes_.push_back(ZoneNote{zone, kind, detail});
}

void Address::becomeUnresolvable(const QString& problem)
{
    ip_ = kUnresolvable;
    hostLookupProblem_ = problem;
    // A name without an address can still be on a domain list.
    bool domainListEnabled = false;
    if (!domain_.isEmpty())
        for (const ServerPtr& server : settings_.BlacklistServers())
            domainListEnabled = domainListEnabled || (server->Enabled() && server->IsDomainList());
    if (domainListEnabled && host_) {
        BlacklistCheck();
    } else {
        complete_ = true;
    }
    if (host_) host_->NotifyUpdate(*this);
}

QueryOutcome Address::ScreenAnswer(const QString& answer, int failureFlag, QString* detail)
{
    if (failureFlag != DnsFailure::None) {
        if (DnsFailure::IsNegativeAnswer(failureFlag)) return QueryOutcome::NotListed;
        if (detail) *detail = DnsFailure::Text(failureFlag);
        return QueryOutcome::Failed;
    }
    const QStringList pieces = answer.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (pieces.isEmpty()) return QueryOutcome::NotListed;
    for (const QString& piece : pieces) {
        if (!isLoopbackAnswer(piece)) {
            if (detail) *detail = QStringLiteral("answered %1, outside 127.0.0.0/8").arg(shortened(piece));
            return QueryOutcome::Failed;
        }
    }
    return QueryOutcome::Listed;
}

QueryOutcome Address::ProcessDNSReply(const QStringList& parts, const QString& /*queryName*/, const QString& answer,
                                      int failureFlag)
{
    if (parts.size() < 2) return QueryOutcome::Ignored;
    const QString& kind = parts[1];
    if (kind.compare(QLatin1String("LOOKUPIP"), Qt::CaseInsensitive) == 0) {
        // A late reply to a lookup that was sent again changes nothing.
        if (!ip_.isEmpty()) return QueryOutcome::Ignored;
        if (failureFlag == DnsFailure::None && IsValidIP(answer)) {
            ip_ = answer;
            BlacklistCheck();
        } else {
            becomeUnresolvable(failureFlag == DnsFailure::None || DnsFailure::IsNegativeAnswer(failureFlag)
                                   ? QStringLiteral("no IPv4 address")
                                   : DnsFailure::Text(failureFlag));
        }
        return QueryOutcome::Ignored;
    }
    if (kind.compare(QLatin1String("BLACKLISTCHECK"), Qt::CaseInsensitive) != 0 || parts.size() < 3)
        return QueryOutcome::Ignored;
    return ProcessBlacklistReply(parts[2], answer, failureFlag);
}

QueryOutcome Address::ProcessBlacklistReply(const QString& zone, const QString& answer, int failureFlag)
{
    if (pendingQueries_ > 0) --pendingQueries_;
    const QueryOutcome outcome = [&] {
        QString detail;
        const QueryOutcome screened = ScreenAnswer(answer, failureFlag, &detail);
        if (screened == QueryOutcome::Failed) note(zone, ZoneNote::Kind::Failed, detail);
        if (screened != QueryOutcome::Listed) return screened;
        const RespondingServerPtr record = respondingServers_.Add(zone);
        record->Responses().Add(zone, answer);
        if (record->Listing()) {
            blacklisted_ = true;
            return QueryOutcome::Listed;
        }
        if (record->Responses().Count() == 0) return QueryOutcome::Ignored; // no definition for the zone
        QStringList reasons;
        for (const ResponsePtr& response : record->Responses()) reasons.append(response->Reason());
        note(zone, ZoneNote::Kind::Refused, reasons.join(QStringLiteral("; ")));
        return QueryOutcome::Refused;
    }();
    if (host_) host_->NotifyUpdate(*this);
    return outcome;
}

} // namespace quarlo
