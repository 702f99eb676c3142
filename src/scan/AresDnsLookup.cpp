#include "scan/AresDnsLookup.h"

#include <algorithm>

#include "model/DnsFailure.h"
#include "model/QueryTag.h"
#include "scan/AresDriver.h"
#include "scan/DnsReplyParser.h"

#include <arpa/inet.h>
#include <netdb.h>

namespace quarlo {

// The engine reads the failure flags through DnsFailure; they are passed on
// from c-ares unchanged.
static_assert(DnsFailure::None == ARES_SUCCESS);
static_assert(DnsFailure::NoData == ARES_ENODATA);
static_assert(DnsFailure::FormatError == ARES_EFORMERR);
static_assert(DnsFailure::ServerFailure == ARES_ESERVFAIL);
static_assert(DnsFailure::NotFound == ARES_ENOTFOUND);
static_assert(DnsFailure::NotImplemented == ARES_ENOTIMP);
static_assert(DnsFailure::Refused == ARES_EREFUSED);
static_assert(DnsFailure::BadName == ARES_EBADNAME);
static_assert(DnsFailure::BadResponse == ARES_EBADRESP);
static_assert(DnsFailure::ConnectionRefused == ARES_ECONNREFUSED);
static_assert(DnsFailure::Timeout == ARES_ETIMEOUT);

AresDnsLookup::AresDnsLookup(const QStringList& servers, QObject* parent)
    : DnsLookup(parent), driver_(new AresDriver(servers, 0, this)),
      finished_(this, [this](Result&& outcome) { deliver(std::move(outcome)); })
{
}

AresDnsLookup::~AresDnsLookup() = default;

void AresDnsLookup::Lookup(const QString& name)
{
    const quint64 id = nextId_++;
    pending_.insert(id, Request{name, RequestTag(), LookupKind()});
    // A blacklist query's zone is its path: each list gets its own waits.
    const QString zone = takeRequestZone();
    QByteArray path;
    if (BlacklistQuery()) path = zone.isEmpty() ? pathOf(QueryTag::ZoneOf(RequestTag())) : pathOfZone(zone);
    typedQuery(id, name, LookupKind(), path);
}

QByteArray AresDnsLookup::pathOfZone(const QString& zone)
{
    // Every query of a scan asks one of a few zones: each is folded once.
    if (const auto it = zonePaths_.constFind(zone); it != zonePaths_.cend()) return *it;
    if (zonePaths_.size() >= 4096) zonePaths_.clear();
    return *zonePaths_.insert(zone, pathOf(zone));
}

QByteArray AresDnsLookup::pathOf(QStringView zone)
{
    // Folded in one pass: this runs for every query of a scan.
    QByteArray path(zone.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < zone.size(); ++i) {
        const char16_t c = zone[i].unicode();
        if (c >= 0x80) return zone.toString().toCaseFolded().toUtf8();
        path[i] = char(c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c);
    }
    return path;
}

int AresDnsLookup::BusyCount() const
{
    return std::max(0, PendingCount() - driver_->overdueCount());
}

void AresDnsLookup::setTuning(const DnsTuning& tuning)
{
    driver_->setTuning(tuning);
}

qint64 AresDnsLookup::QueriesSent() const
{
    return driver_->triesSent();
}

void AresDnsLookup::CancelAll()
{
    pending_.clear();
    finished_.clear();
    driver_->cancelAll();
}

void AresDnsLookup::ExpireAll()
{
    driver_->cancelAll();
    // Results already queued are delivered first; these then find nothing.
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        finished_.push(Result{it.key(), QString(), ARES_ETIMEOUT});
}

int AresDnsLookup::LongestWaitMs() const
{
    // No try waits longer than the cap, and the tries follow one another.
    const DnsTuning tuning = driver_->tuning();
    return tuning.tries * tuning.maxTimeoutMs;
}

void AresDnsLookup::typedQuery(quint64 id, const QString& name, Kind kind, const QByteArray& path)
{
    in_addr literal{};
    if (kind == Kind::HostAddresses && inet_pton(AF_INET, name.toLatin1().constData(), &literal) == 1) {
        finish(id, name, ARES_SUCCESS); // an address is its own A record
        return;
    }
    const QByteArray encoded = AresDriver::EncodeName(name);
    if (encoded.isEmpty()) {
        finish(id, QString(), ARES_EBADNAME);
        return;
    }
    const int type = kind == Kind::HostAddresses6 ? 28 /* AAAA */
        : kind == Kind::MailExchangers            ? 15 /* MX */
                                                  : 1 /* A */;
    // Only the request's id is carried: the callback stays small enough to
    // need no allocation of its own, and the kind is read when it is used.
    driver_->query(
        encoded, type,
        [this, id](int status, const unsigned char* answer, int length) { replied(id, status, answer, length); }, path);
}

void AresDnsLookup::replied(quint64 id, int status, const unsigned char* answer, int length)
{
    const auto it = pending_.constFind(id);
    if (it == pending_.cend()) return; // cancelled: nothing to read it for
    const Kind kind = it->kind;
    if (status != ARES_SUCCESS && status != ARES_ENODATA) {
        finish(id, QString(), status);
        return;
    }
    // NODATA may still hold a chain of CNAMEs that goes nowhere.
    if (DnsReplyParser::CnameChainBroken(answer, length)) {
        finish(id, QString(), DnsFailure::CnameLoop);
        return;
    }
    if (status != ARES_SUCCESS) {
        finish(id, QString(), status);
        return;
    }
    QStringList texts;
    switch (kind) {
    case Kind::Blacklist:
    case Kind::HostAddresses: status = DnsReplyParser::Addresses(answer, length, texts); break;
    case Kind::HostAddresses6: status = DnsReplyParser::Addresses6(answer, length, texts); break;
    case Kind::MailExchangers: {
        QList<int> preferences;
        status = DnsReplyParser::MailExchangers(answer, length, texts, &preferences);
        for (qsizetype i = 0; i < texts.size(); ++i)
            texts[i] = QString::number(preferences.value(i)) + QLatin1Char(' ')
                + (texts[i].isEmpty() ? QStringLiteral(".") : texts[i]);
        finish(id, texts.join(QLatin1Char('\n')), status);
        return;
    }
    }
    if (status != ARES_SUCCESS) {
        finish(id, QString(), status);
        return;
    }
    finish(id, texts.join(QLatin1Char(' ')), ARES_SUCCESS);
}

void AresDnsLookup::finish(quint64 id, const QString& answer, int failure)
{
    if (pending_.contains(id)) finished_.push(Result{id, answer, failure}); // else cancelled
}

void AresDnsLookup::deliver(Result&& result)
{
    const auto it = pending_.find(result.id);
    if (it == pending_.end()) return; // cancelled meanwhile
    const Request request = std::move(it.value());
    pending_.erase(it); // PendingCount no longer counts what the handler sees
    emit LookupComplete(request.name, result.answer, result.failure, request.tag, QVariant());
}

} // namespace quarlo
