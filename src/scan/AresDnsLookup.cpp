#include "scan/AresDnsLookup.h"

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
    pending_.insert(id, Request{name, RequestTag()});
    if (BlacklistQuery())
        blacklistQuery(id, name, QueryTag::Parse(RequestTag()).Zone().toCaseFolded().toUtf8());
    else
        hostLookup(id, name);
}

void AresDnsLookup::setTuning(const DnsTuning& tuning) { driver_->setTuning(tuning); }

qint64 AresDnsLookup::QueriesSent() const { return driver_->triesSent(); }

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

void AresDnsLookup::hostLookup(quint64 id, const QString& name)
{
    in_addr literal{};
    if (inet_pton(AF_INET, name.toLatin1().constData(), &literal) == 1) {
        finish(id, name, ARES_SUCCESS);
        return;
    }
    const QByteArray encoded = AresDriver::EncodeName(name);
    if (encoded.isEmpty()) {
        finish(id, QString(), ARES_EBADNAME);
        return;
    }
    driver_->getHostByName(encoded, [this, id](int status, const hostent* host) {
        if (status == ARES_SUCCESS && host && host->h_addrtype == AF_INET && host->h_addr_list &&
            host->h_addr_list[0]) {
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, host->h_addr_list[0], text, sizeof text);
            finish(id, QString::fromLatin1(text), ARES_SUCCESS);
        } else {
            finish(id, QString(), status == ARES_SUCCESS ? ARES_ENODATA : status);
        }
    });
}

void AresDnsLookup::blacklistQuery(quint64 id, const QString& name, const QByteArray& zone)
{
    const QByteArray encoded = AresDriver::EncodeName(name);
    if (encoded.isEmpty()) {
        finish(id, QString(), ARES_EBADNAME);
        return;
    }
    driver_->query(encoded, 1 /* A */, [this, id](int status, const unsigned char* answer, int length) {
        if (status != ARES_SUCCESS) {
            finish(id, QString(), status);
            return;
        }
        QStringList texts;
        status = DnsReplyParser::Addresses(answer, length, texts);
        if (status != ARES_SUCCESS) {
            finish(id, QString(), status);
            return;
        }
        finish(id, texts.join(QLatin1Char(' ')), ARES_SUCCESS);
    }, zone);
}

void AresDnsLookup::finish(quint64 id, const QString& answer, int failure)
{
    if (pending_.contains(id)) finished_.push(Result{id, answer, failure}); // else cancelled
}

void AresDnsLookup::deliver(Result&& result)
{
    const auto it = pending_.constFind(result.id);
    if (it == pending_.constEnd()) return; // cancelled meanwhile
    const Request request = it.value();
    pending_.erase(it); // PendingCount no longer counts what the handler sees
    emit LookupComplete(request.name, result.answer, result.failure, request.tag, QVariant());
}

} // namespace quarlo
