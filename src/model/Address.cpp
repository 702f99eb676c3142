#include "model/Address.h"

#include "common/IpFunctions.h"
#include "common/NameFunctions.h"
#include "common/PublicSuffixList.h"
#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "model/ScanHost.h"
#include "model/Settings.h"

#include <atomic>
#include <charconv>

namespace quarlo {
namespace {

// Listings are answers in 127.0.0.0/8; anything else comes from a broken
// list or a resolver that rewrites answers, and lists nothing.
bool isLoopbackAnswer(const QString& text)
{
    // Answers come from the reply parser as plain dotted quads: read those
    // in place (every listing passes here), anything else the long way.
    int fields = 0, digits = 0, value = 0, first = -1;
    bool plain = !text.isEmpty();
    for (qsizetype i = 0; plain && i <= text.size(); ++i) {
        const char16_t c = i < text.size() ? text[i].unicode() : u'.';
        if (c >= u'0' && c <= u'9') {
            plain = ++digits <= 3 && !(digits == 2 && value == 0);
            value = value * 10 + (c - u'0');
        } else if (c == u'.') {
            plain = digits > 0 && value <= 255 && ++fields <= 4;
            if (first < 0) first = value;
            digits = value = 0;
        } else {
            plain = false;
        }
    }
    if (plain && fields == 4) return first == 127;
    return IsValidIP(text) && CanonicalIP(text).startsWith(QLatin1String("127."));
}

QString shortened(const QString& text)
{
    return text.size() <= 40 ? text : text.left(40) + QStringLiteral("...");
}

} // namespace

namespace {
std::atomic<quint64> nextAddressId{1};
} // namespace

Address::Address(const QString& target, Settings& settings, ScanHost* host)
    : settings_(settings), host_(host), id_(nextAddressId.fetch_add(1, std::memory_order_relaxed)), target_(target),
      respondingServers_(&settings.BlacklistServers())
{
}

QString Address::IP() const
{
    if (!addresses_.empty()) return addresses_.front().address;
    return unresolvable_ ? kUnresolvable : QString();
}

QString Address::Caption() const
{
    QStringList parts;
    if (noMail_) parts << QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "no mail"));
    parts << mailHosts_;
    // A caption stays one readable line whatever a name resolves to.
    constexpr int kShown = 4;
    for (size_t i = 0; i < addresses_.size() && i < kShown; ++i) parts << addresses_[i].address;
    if (addresses_.size() > kShown) parts << QString::fromUtf8(kMoreAddressesText).arg(addresses_.size() - kShown);
    if (unresolvable_ && addresses_.empty()) parts << kUnresolvable;
    if (parts.isEmpty() || (parts.size() == 1 && parts.front().compare(target_, Qt::CaseInsensitive) == 0))
        return target_;
    return target_ + QStringLiteral(" (") + parts.join(QStringLiteral(", ")) + QLatin1Char(')');
}

QString Address::QueryKey(int subject) const
{
    QString key = QString::number(id_);
    if (subject > 0) key += QLatin1Char('#') + QString::number(subject);
    return key;
}

bool Address::ParseQueryKey(QStringView key, quint64* id, int* subject)
{
    const qsizetype hash = key.indexOf(QLatin1Char('#'));
    bool ok = false;
    *id = key.left(hash < 0 ? key.size() : hash).toULongLong(&ok);
    if (!ok) return false;
    *subject = 0;
    if (hash >= 0) {
        *subject = key.mid(hash + 1).toInt(&ok);
        if (!ok || *subject < 0) return false;
    }
    return true;
}

void Address::SetComplete(bool value)
{
    complete_ = value;
    if (value) return;
    serverIndex_ = 1;
    blacklisted_ = false;
    results_.clear();
    respondingServers_.Clear();
    pendingQueries_ = 0;
    zonesChecked_ = 0;
    stopped_ = false;
    unsupported_ = false;
    classified_ = false;
    mailTarget_ = false;
    resolving_ = false;
    resolved_ = false;
    unresolvable_ = false;
    noMail_ = false;
    resolutionProblem_.clear();
    addresses_.clear();
    mailHosts_.clear();
    subjects_.clear();
    notCheckedReason_.clear();
    domain_.clear();
    invalidReason_.clear();
    zonesNotApplicable_ = 0;
    zoneNotes_.clear();
    deferredZones_.clear();
    awaitsTests_ = false;
}

quarlo::Verdict Address::Verdict() const
{
    if (unsupported_) return Verdict::Unsupported;
    if (blacklisted_) return Verdict::Listed;
    if (stopped_) return Verdict::NotChecked;
    if (!complete_ || pendingQueries_ > 0 || resolving_)
        return serverIndex_ > 1 || resolving_ || resolved_ ? Verdict::Scanning : Verdict::NotScanned;
    if (!serverIndex_) return Verdict::NotScanned; // never reset by a scan
    if (noMail_) return Verdict::NoMail;
    // A failed lookup leaves addresses unchecked: nothing vouches for them.
    if (!resolutionProblem_.isEmpty() && !unresolvable_) return Verdict::Incomplete;
    if (unresolvable_) return Verdict::Unresolvable;
    if (!notCheckedReason_.isEmpty()) return Verdict::NotChecked;
    bool refused = false;
    for (const ZoneNote& note : zoneNotes_) {
        if (note.kind == ZoneNote::Kind::NotApplicable) continue;
        if (note.kind != ZoneNote::Kind::Refused) return Verdict::Incomplete;
        refused = true;
    }
    // Clean needs at least one list that could have listed it.
    if (zonesChecked_ == 0) return zonesNotApplicable_ > 0 ? Verdict::NotApplicable : Verdict::NotChecked;
    return refused ? Verdict::Refused : Verdict::Clean;
}

int Address::ListingServerCount() const
{
    // A list that lists several of the target's addresses is one server.
    QStringList zones;
    for (const RespondingServerPtr& server : respondingServers_)
        if (server->Listing() && !zones.contains(server->ServerName(), Qt::CaseInsensitive))
            zones.append(server->ServerName());
    return static_cast<int>(zones.size());
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
    if (complete_ && pendingQueries_ == 0 && !resolving_) return;
    stopped_ = true;
    resolving_ = false;
    pendingQueries_ = 0; // the stop cancelled them
}

void Address::addSubject(const QString& value, bool domain)
{
    for (const Subject& held : subjects_)
        if (held.domain == domain && held.value.compare(value, Qt::CaseInsensitive) == 0) return;
    const bool reserved = !domain && IsSpecialPurposeAddress(value) && !IsListTestAddress(value);
    subjects_.push_back(Subject{value, domain, {}, reserved});
}

QString Address::subjectLabel(int subject) const
{
    if (subject < 0 || subject >= static_cast<int>(subjects_.size())) return QString();
    // A list is asked about one kind of subject (addresses, or domains): when
    // the target has one of that kind, the target says what was asked.
    const Subject& asked = subjects_[static_cast<size_t>(subject)];
    int sameKind = 0;
    for (const Subject& other : subjects_) sameKind += other.domain == asked.domain ? 1 : 0;
    return sameKind < 2 ? QString() : asked.value;
}

bool Address::classifyTarget()
{
    classified_ = true;
    QString target = QueryTarget();
    auto invalid = [this](const QString& why) {
        invalidReason_ = why;
        unsupported_ = true;
        complete_ = true;
        if (host_) host_->NotifyUpdate(*this);
        return false;
    };
    const auto literal = [this](const QString& ip) {
        addresses_.push_back(TargetResolution::Ip{ip, QString()});
        addSubject(ip, false);
        resolved_ = true;
        return true;
    };
    if (IsValidIP(target)) return literal(target);
    if (HasIPv6ZoneIndex(target))
        return invalid(QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText",
                                                        "an IPv6 address with a zone index (%...) names a local "
                                                        "interface; enter the address without it")));
    // An IPv4-mapped address is that IPv4 address; lists know it by that.
    if (const QString mapped = MappedIPv4(target); !mapped.isEmpty()) return literal(mapped);
    if (IsIPv6Literal(target)) return literal(CanonicalIPv6(target));
    QString why;
    if (const qsizetype at = target.lastIndexOf(QLatin1Char('@')); at >= 0) {
        mailTarget_ = true;
        QString domain = target.mid(at + 1).trimmed();
        // An address literal ("user@[192.0.2.1]") names the mail server itself.
        if (domain.startsWith(QLatin1Char('[')) && domain.endsWith(QLatin1Char(']'))) {
            QString ip = domain.mid(1, domain.size() - 2).trimmed();
            if (ip.startsWith(QLatin1String("IPv6:"), Qt::CaseInsensitive)) ip = ip.mid(5);
            if (IsValidIP(ip)) return literal(ip);
            if (IsIPv6Literal(ip) && !HasIPv6ZoneIndex(ip)) return literal(CanonicalIPv6(ip));
            return invalid(QString::fromUtf8(kBadAddressLiteralText).arg(shortened(ip)));
        }
        domain = AsciiHostName(domain, &why);
        if (domain.isEmpty()) return invalid(QString::fromUtf8(kBadMailDomainText).arg(why));
        domain_ = domain;
        request_ = ResolveRequest{ResolveRequest::Kind::Mail, domain};
        return true;
    }
    if (target.contains(QLatin1Char(':')))
        return invalid(
            QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "neither an IPv6 address nor a host name")));
    const QString name = AsciiHostName(target, &why);
    if (name.isEmpty()) return invalid(why);
    domain_ = PublicSuffixList::Shared().RegisteredDomain(name);
    request_ = ResolveRequest{ResolveRequest::Kind::Host, name};
    return true;
}

void Address::Query()
{
    if (complete_) return;
    if (!classified_ && !classifyTarget()) return;
    if (resolved_) {
        BlacklistCheck();
        return;
    }
    if (resolving_ || !host_) return;
    resolving_ = true;
    host_->ResolveTarget(*this, request_);
}

void Address::ApplyResolution(const TargetResolution& resolution)
{
    if (!resolving_) return; // a stopped scan's late answer
    resolving_ = false;
    resolved_ = true;
    mailHosts_ = resolution.mailHosts;
    resolutionProblem_ = resolution.problem;
    switch (resolution.outcome) {
    case TargetResolution::Outcome::Resolved:
        for (const TargetResolution::Ip& ip : resolution.addresses) {
            if (static_cast<int>(addresses_.size()) >= kMaxCheckedAddresses) break;
            addresses_.push_back(ip);
            addSubject(ip.address, false);
        }
        break;
    case TargetResolution::Outcome::Unresolvable: unresolvable_ = true; break;
    case TargetResolution::Outcome::NoMail: noMail_ = true; break;
    case TargetResolution::Outcome::Failed:
        if (resolutionProblem_.isEmpty())
            resolutionProblem_ = QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "lookup failed"));
        break;
    }
    // Domain lists are asked for the target's domain whatever its addresses,
    // and for the registered domain of each mail server.
    if (!noMail_) {
        if (!domain_.isEmpty()) addSubject(domain_, true);
        for (const QString& host : mailHosts_) {
            const QString registered = PublicSuffixList::Shared().RegisteredDomain(host);
            if (!registered.isEmpty()) addSubject(registered, true);
        }
    }
    checkWhatIsLeft();
    if (host_) host_->NotifyUpdate(*this);
}

void Address::checkWhatIsLeft()
{
    if (noMail_ || subjects_.empty() || !host_) {
        complete_ = true;
        return;
    }
    BlacklistCheck();
}

bool Address::answersFor(const Server& server, const Subject& subject)
{
    if (server.IsDomainList() != subject.domain) return false;
    if (subject.domain) return true;
    if (subject.reserved && server.Public()) return false;
    return server.AnswersIPv6() || !subject.value.contains(QLatin1Char(':'));
}

QString Address::queryNameFor(const Server& server, const Subject& subject) const
{
    // A keyed list is asked under the zone with the user's key in it.
    const QString zone = server.NeedsKey() ? settings_.ZoneToAsk(server) : server.Zone();
    if (zone.isEmpty()) return QString();
    // Built in one allocation: this runs once per query of a scan.
    const auto under = [&zone](const QString& label) {
        QString name;
        name.reserve(label.size() + zone.size() + 2);
        name += label;
        name += QLatin1Char('.');
        name += zone;
        name += QLatin1Char('.');
        return name;
    };
    if (!answersFor(server, subject)) return QString();
    if (subject.domain) return under(subject.value);
    const bool ipv6 = subject.value.contains(QLatin1Char(':'));
    // Every list asks for the same reversed address: worked out once per
    // subject, not once per query.
    if (subject.reversed.isEmpty())
        subject.reversed = ipv6 ? ReverseIPv6(subject.value) : ReverseIP(CanonicalIP(subject.value));
    return under(subject.reversed);
}

QString Address::whyNotApplicable(const Server& server) const
{
    bool anyIp = false, anyIpv4 = false, anyDomain = false, anyReserved = false;
    for (const Subject& subject : subjects_) {
        anyReserved = anyReserved || subject.reserved;
        anyDomain = anyDomain || subject.domain;
        anyIp = anyIp || !subject.domain;
        anyIpv4 = anyIpv4 || (!subject.domain && !subject.value.contains(QLatin1Char(':')));
    }
    if (server.IsDomainList())
        return request_.kind == ResolveRequest::Kind::Host && !request_.name.isEmpty() && domain_.isEmpty()
            ? QString::fromUtf8(kPublicSuffixText).arg(request_.name)
            : QStringLiteral(
                QT_TRANSLATE_NOOP("quarlo::EngineText", "a domain list, asked for domain names, not for IP addresses"));
    if (anyReserved && server.Public())
        return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "private/reserved address"));
    if (anyIp && !anyIpv4)
        return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "does not answer IPv6 queries"));
    if (unresolvable_)
        return QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "an IP list; the host name has no address"));
    if (!resolutionProblem_.isEmpty())
        return QStringLiteral(
            QT_TRANSLATE_NOOP("quarlo::EngineText", "an IP list; the target's addresses could not be looked up"));
    return QStringLiteral(
        QT_TRANSLATE_NOOP("quarlo::EngineText", "an IP list; an e-mail address has no address of its own"));
}

bool Address::askZone(const Server& server)
{
    bool any = false;
    for (size_t i = 0; i < subjects_.size(); ++i) {
        const QString name = queryNameFor(server, subjects_[i]);
        if (name.isEmpty()) continue;
        if (!any) ++zonesChecked_;
        any = true;
        submitQuery(server, name, static_cast<int>(i));
    }
    return any;
}

void Address::askOrDefer(const Server& server)
{
    const QString zone = server.Zone();
    // A keyed list without its key is not asked, and says why: the targets
    // it would have vouched for are not clean.
    if (server.NeedsKey() && settings_.ZoneToAsk(server).isEmpty()) {
        ++zonesChecked_;
        note(zone, ZoneNote::Kind::Skipped, settings_.WhyNoKey(server));
        return;
    }
    // Tested without building the names: askZone builds them once.
    bool applies = false;
    if (!zone.isEmpty())
        for (const Subject& subject : subjects_) applies = applies || answersFor(server, subject);
    if (!applies) {
        ++zonesNotApplicable_;
        note(zone, ZoneNote::Kind::NotApplicable, whyNotApplicable(server));
        return;
    }
    switch (host_->StateOfZone(zone)) {
    case ScanHost::ZoneState::Ready: askZone(server); break;
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
    const bool deferredSeen = askDeferredZones();
    const Servers& servers = settings_.BlacklistServers();
    const int count = servers.Count();
    if (serverIndex_ == 1) {
        bool anyEnabled = false;
        for (const ServerPtr& server : servers) anyEnabled = anyEnabled || server->Enabled();
        // Nothing asked is not clean: say so instead.
        if (!anyEnabled)
            notCheckedReason_ =
                QStringLiteral(QT_TRANSLATE_NOOP("quarlo::EngineText", "no blacklist server is enabled"));
    }
    while (serverIndex_ <= count) {
        const ServerPtr server = servers.Item(serverIndex_);
        if (server && server->Enabled() && host_) askOrDefer(*server);
        ++serverIndex_;
        // Tested after every position, disabled ones too, so one pass
        // overshoots the limit by one zone's queries at most.
        if (host_ && host_->BusyDNSLookups() > settings_.ScanQueryLimit()) break;
    }
    // What is still held waits on tests only when every held zone was seen.
    awaitsTests_ = serverIndex_ > count && !deferredZones_.isEmpty() && deferredSeen;
    if (serverIndex_ > count && deferredZones_.isEmpty()) {
        complete_ = true;
        // Every list has been asked: a large scan need not keep these.
        for (const Subject& subject : subjects_) subject.reversed = QString();
    }
}

bool Address::askDeferredZones()
{
    if (!host_) return false;
    for (qsizetype i = 0; i < deferredZones_.size();) {
        if (host_->BusyDNSLookups() > settings_.ScanQueryLimit()) return false;
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
            askZone(*server);
        } else {
            ++zonesChecked_;
            note(zone, ZoneNote::Kind::Skipped, host_->WhyZoneSkipped(zone));
        }
    }
    return true;
}

void Address::submitQuery(const Server& server, const QString& name, int subject)
{
    ++pendingQueries_;
    // QueryKey(subject), written without a string of its own: this runs
    // once per query of a scan.
    char key[48]; // 20 digits, "#", 11 more at most
    char* end = std::to_chars(key, key + 24, id_).ptr;
    if (subject > 0) {
        *end = '#';
        end = std::to_chars(end + 1, key + sizeof key, subject).ptr;
    }
    host_->SubmitBlacklistQuery(QueryTag::BlacklistCheck(QLatin1String(key, end), server.Zone()), name, server);
}

void Address::note(const QString& zone, ZoneNote::Kind kind, const QString& detail)
{
    // Several subjects of one target may meet the same trouble on a list:
    // one note per list and kind, naming them all.
    for (ZoneNote& held : zoneNotes_) {
        if (held.zone != zone || held.kind != kind) continue;
        if (!detail.isEmpty() && !held.detail.contains(detail) && held.detail.size() < 400)
            held.detail += QStringLiteral("; ") + detail;
        return;
    }
    zoneNotes_.push_back(ZoneNote{zone, kind, detail});
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
            if (detail) *detail = QString::fromUtf8(kOutsideLoopbackText).arg(shortened(piece));
            return QueryOutcome::Failed;
        }
    }
    return QueryOutcome::Listed;
}

QueryOutcome Address::ProcessDNSReply(const QStringList& parts, const QString& /*queryName*/, const QString& answer,
                                      int failureFlag)
{
    if (parts.size() < 3 || parts[1].compare(QLatin1String("BLACKLISTCHECK"), Qt::CaseInsensitive) != 0)
        return QueryOutcome::Ignored;
    quint64 id = 0;
    int subject = 0;
    if (!ParseQueryKey(parts[0], &id, &subject)) subject = 0;
    return ProcessBlacklistReply(parts[2], answer, failureFlag, subject);
}

RespondingServerPtr Address::RespondingServerFor(const QString& zone, int subject) const
{
    const QString label = subjectLabel(subject);
    return respondingServers_.Item(label.isEmpty() ? zone : zone + QLatin1Char(' ') + label);
}

std::vector<RespondingServerPtr> Address::RespondingServersOf(const QString& zone) const
{
    // Asked for every list of every target when a scan is recorded: texts
    // of another length are never the same zone, and are passed over
    // without comparing them letter by letter.
    std::vector<RespondingServerPtr> found;
    for (const RespondingServerPtr& server : respondingServers_) {
        const QString& name = server->ServerName();
        if (name.size() == zone.size() && (name == zone || name.compare(zone, Qt::CaseInsensitive) == 0))
            found.push_back(server);
    }
    return found;
}

QueryOutcome Address::ProcessBlacklistReply(QStringView zoneView, const QString& answer, int failureFlag, int subject)
{
    if (pendingQueries_ > 0) --pendingQueries_;
    const QString label = subjectLabel(subject);
    const QueryOutcome outcome = [&] {
        QString detail;
        const QueryOutcome screened = ScreenAnswer(answer, failureFlag, &detail);
        // Most replies are "not listed" and keep nothing of the zone.
        if (screened != QueryOutcome::Failed && screened != QueryOutcome::Listed) return screened;
        const QString zone = zoneView.toString();
        if (screened == QueryOutcome::Failed)
            note(zone, ZoneNote::Kind::Failed, label.isEmpty() ? detail : label + QStringLiteral(": ") + detail);
        if (screened != QueryOutcome::Listed) return screened;
        const RespondingServerPtr record = respondingServers_.Add(zone, label);
        record->Responses().Add(zone, answer);
        if (record->Listing()) {
            blacklisted_ = true;
            return QueryOutcome::Listed;
        }
        if (record->Responses().Count() == 0) return QueryOutcome::Ignored; // no definition for the zone
        QStringList reasons;
        for (const ResponsePtr& response : record->Responses()) reasons.append(response->Reason());
        const QString why = reasons.join(QStringLiteral("; "));
        note(zone, ZoneNote::Kind::Refused, label.isEmpty() ? why : label + QStringLiteral(": ") + why);
        return QueryOutcome::Refused;
    }();
    if (host_) host_->NotifyUpdate(*this);
    return outcome;
}

} // namespace quarlo
